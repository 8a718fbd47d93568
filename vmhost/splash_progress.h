// A progress strip along the bottom edge of the splash image while app.jar downloads. The strip
// is drawn into a copy of the decoded image, which the splash library loads from memory in
// place of the file: its own window shows it. Nothing is read or decoded, and no thread runs,
// until a download does.
#pragma once

#include <cstdint>

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

// ShowSplashScreen: the splash library shows `image` (an absolute path).
void SplashProgressShown(const char* image);
// The download has `received` of `length` bytes (0: no length announced); the strip in `rgb`
// (0xRRGGBB). Cheap: it only records the figures. The first call starts a thread that reads and
// decodes the image and draws until the end; when the image cannot be decoded or the library
// cannot load from memory, that thread ends at once and the splash stays as it is.
void SplashProgress(std::uint64_t received, std::uint64_t length, std::uint32_t rgb);
// The download ended: a whole one leaves the strip full, a failed one takes it away again.
// Returns once the drawing thread has ended.
void SplashProgressEnd(bool complete);
// Forgets everything above: the state of a process that has shown nothing.
void SplashProgressForget();
