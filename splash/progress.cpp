#include "splash/progress.h"

#include "base/file_ptr.h"
#include "splash/png_image.h"
#include "splash/strip.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace splash {

namespace {

using splash_load_memory_fn = int (*)(void*, int);

// A splash image beyond this is not read: the library would not show it sensibly either.
constexpr long max_image_bytes = 64L << 20;

enum class stage { idle, drawing, off };

} // namespace

// The download's thread only records where it is; a drawing thread of its own, alive while a
// download runs, decodes the image once and redraws at most ten times a second, so that neither
// decoding nor the library's reload ever holds up the transfer.
struct progress_state {
    explicit progress_state(library& l) : lib(l) {}

    library& lib;
    stage now = stage::idle;
    std::string image_path; // empty: the splash shows nothing
    std::thread drawer;

    std::mutex lock; // guards the figures and flags below, up to the drawing thread's own
    std::condition_variable wake;
    std::uint64_t received = 0, length = 0;
    std::uint32_t rgb = 0;
    int ended = 0;         // 1 complete, -1 failed
    bool unusable = false; // the image or the library's memory load cannot be had

    // The drawing thread's own.
    splash_load_memory_fn load_memory = nullptr;
    std::vector<std::uint8_t> file;    // the image as the install has it
    rgba_image original, canvas;       // decoded; canvas carries the strip
    std::vector<std::uint8_t> encoded; // canvas as PNG
    redraw_limit limit;
    std::uint64_t started_ms = 0;
    int drawn_width = -1; // the strip's width last shown; -1: the original image shows
};

namespace {

bool read_image(const std::string& path, std::vector<std::uint8_t>* out) {
    base::file_ptr f(std::fopen(path.c_str(), "rb"));
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(f.get());
    if (size <= 0 || size > max_image_bytes || std::fseek(f.get(), 0, SEEK_SET) != 0)
        return false;
    out->resize(static_cast<std::size_t>(size));
    return std::fread(out->data(), 1, out->size(), f.get()) == out->size();
}

// Everything the first redraw needs; false leaves the splash alone for the rest of the run.
bool prepare(progress_state& state) {
    state.load_memory =
        reinterpret_cast<splash_load_memory_fn>(SplashProcAddress(state.lib, "SplashLoadMemory"));
    if (!state.load_memory || !read_image(state.image_path, &state.file) ||
        !decode_png(state.file.data(), state.file.size(), &state.original))
        return false;
    state.canvas = state.original;
    state.started_ms = platform::monotonic_ms();
    return true;
}

void show(progress_state& state, const std::vector<std::uint8_t>& png) {
    state.load_memory(const_cast<std::uint8_t*>(png.data()), static_cast<int>(png.size()));
}

// Puts the strip for the given progress into the canvas and has the library show it.
void redraw(progress_state& state, std::uint64_t received, std::uint64_t length,
            std::uint32_t rgb) {
    rgba_image& c = state.canvas;
    std::uint64_t elapsed = platform::monotonic_ms() - state.started_ms;
    strip_rect s = progress_strip(c.width, c.height, received, length, elapsed);
    // A growing strip changes the picture only when it gains a pixel.
    if (length > 0 && s.width == state.drawn_width)
        return;
    const std::size_t row_bytes = std::size_t(c.width) * 4;
    const std::size_t band = std::size_t(c.height - strip_height(c.height)) * row_bytes;
    std::copy(state.original.pixels.begin() + band, state.original.pixels.end(),
              c.pixels.begin() + band);
    for (int y = s.y; y < s.y + s.height; ++y) {
        std::uint8_t* px = c.pixels.data() + y * row_bytes + std::size_t(s.x) * 4;
        for (int x = 0; x < s.width; ++x, px += 4) {
            px[0] = std::uint8_t(rgb >> 16);
            px[1] = std::uint8_t(rgb >> 8);
            px[2] = std::uint8_t(rgb);
            px[3] = 255;
        }
    }
    if (encode_png(c, &state.encoded)) {
        show(state, state.encoded);
        state.drawn_width = s.width;
    }
}

void draw_while_downloading(progress_state& state) {
    if (!prepare(state)) {
        std::lock_guard<std::mutex> hold(state.lock);
        state.unusable = true;
        return;
    }
    for (;;) {
        std::unique_lock<std::mutex> hold(state.lock);
        const std::uint64_t received = state.received, length = state.length;
        const std::uint32_t rgb = state.rgb;
        const int ended = state.ended;
        hold.unlock();
        if (ended > 0) {
            // A whole download leaves the strip full.
            redraw(state, 1, 1, rgb);
            return;
        }
        if (ended < 0) {
            // The install's own file, as the splash first showed it.
            if (state.drawn_width >= 0)
                show(state, state.file);
            return;
        }
        if (state.limit.due(platform::monotonic_ms()))
            redraw(state, received, length, rgb);
        hold.lock();
        state.wake.wait_for(hold, std::chrono::milliseconds(redraw_limit::interval_ms),
                            [&state] { return state.ended != 0; });
    }
}

} // namespace

progress::progress(library& lib) : state_(std::make_unique<progress_state>(lib)) {}

progress::~progress() {
    if (state_->drawer.joinable())
        end(false);
}

void progress::shown(const char* image) {
    state_->image_path = image ? image : "";
}

void progress::update(std::uint64_t received, std::uint64_t length, std::uint32_t rgb) {
    progress_state& state = *state_;
    if (state.now == stage::off)
        return;
    if (state.now == stage::idle) {
        // Only a showing splash gets a strip; one drawing thread for the run.
        state.now = state.image_path.empty() ? stage::off : stage::drawing;
        if (state.now == stage::off)
            return;
        {
            std::lock_guard<std::mutex> hold(state.lock);
            state.received = received, state.length = length, state.rgb = rgb;
        }
        try {
            state.drawer = std::thread(draw_while_downloading, std::ref(state));
        } catch (...) {
            state.now = stage::off;
        }
        return;
    }
    std::lock_guard<std::mutex> hold(state.lock);
    state.received = received, state.length = length, state.rgb = rgb;
}

void progress::end(bool complete) {
    progress_state& state = *state_;
    if (state.now != stage::drawing)
        return;
    {
        std::lock_guard<std::mutex> hold(state.lock);
        state.ended = complete ? 1 : -1;
    }
    state.wake.notify_one();
    state.drawer.join();
    // A later download draws again on a fresh copy of the image.
    std::lock_guard<std::mutex> hold(state.lock);
    state.now = state.unusable ? stage::off : stage::idle;
    state.ended = 0;
    state.drawn_width = -1;
    state.limit.reset();
}

} // namespace splash
