// Where the download strip goes on the splash image, and how often it may be redrawn.
#pragma once

#include <cstdint>

namespace splash {

// The part of a width x height image the strip fills: `received` of `length` bytes, or with no
// length (0) a block that sweeps across the edge once every sweep_ms of `elapsed_ms`. An empty
// rectangle (width 0) when there is nothing to fill.
struct strip_rect {
    int x = 0, y = 0, width = 0, height = 0;
};
constexpr std::uint64_t sweep_ms = 1500;
int strip_height(int image_height);
strip_rect progress_strip(int width, int height, std::uint64_t received, std::uint64_t length,
                          std::uint64_t elapsed_ms);

// At most ten redraws a second: due() is true on its first call and then once interval_ms have
// passed since the last time it was.
class redraw_limit {
  public:
    static constexpr std::uint64_t interval_ms = 100;
    bool due(std::uint64_t now_ms);
    void reset() { started_ = false; }

  private:
    bool started_ = false;
    std::uint64_t last_ = 0;
};

} // namespace splash
