// A progress strip along the bottom edge of the splash image while app.jar downloads. The strip
// is drawn into a copy of the decoded image, which the splash library loads from memory in
// place of the file: its own window shows it. Nothing is read or decoded, and no thread runs,
// until a download does.
#pragma once

#include "splash/library.h"

#include <cstdint>
#include <memory>

namespace splash {

struct progress_state;

class progress {
  public:
    // The strip's image goes to `lib`, which must outlive this object.
    explicit progress(library& lib);
    // A drawing that still runs ends as a failed download's would.
    ~progress();
    progress(const progress&) = delete;
    progress& operator=(const progress&) = delete;

    // ShowSplashScreen: the splash library shows `image` (an absolute path).
    void shown(const char* image);
    // The download has `received` of `length` bytes (0: no length announced); the strip in `rgb`
    // (0xRRGGBB). Cheap: it only records the figures. The first call starts a thread that reads
    // and decodes the image and draws until the end; when the image cannot be decoded or the
    // library cannot load from memory, that thread ends at once and the splash stays as it is.
    void update(std::uint64_t received, std::uint64_t length, std::uint32_t rgb);
    // The download ended: a whole one leaves the strip full, a failed one takes it away again.
    // Returns once the drawing thread has ended.
    void end(bool complete);

  private:
    std::unique_ptr<progress_state> state_;
};

} // namespace splash
