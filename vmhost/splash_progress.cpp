#include "vmhost/splash_progress.h"

#include "base/file_ptr.h"
#include "vmhost/png_image.h"
#include "vmhost/splash.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using splash_load_memory_fn = int (*)(void*, int);

// A splash image beyond this is not read: the library would not show it sensibly either.
constexpr long max_image_bytes = 64L << 20;

enum class stage { idle, drawing, off };

// The download's thread only records where it is; a drawing thread of its own, alive while a
// download runs, decodes the image once and redraws at most ten times a second, so that neither
// decoding nor the library's reload ever holds up the transfer.
struct progress_state {
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

progress_state state;

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
bool prepare() {
    state.load_memory =
        reinterpret_cast<splash_load_memory_fn>(SplashProcAddress("SplashLoadMemory"));
    if (!state.load_memory || !read_image(state.image_path, &state.file) ||
        !decode_png(state.file.data(), state.file.size(), &state.original))
        return false;
    state.canvas = state.original;
    state.started_ms = platform::monotonic_ms();
    return true;
}

void show(const std::vector<std::uint8_t>& png) {
    state.load_memory(const_cast<std::uint8_t*>(png.data()), static_cast<int>(png.size()));
}

// Puts the strip for the given progress into the canvas and has the library show it.
void redraw(std::uint64_t received, std::uint64_t length, std::uint32_t rgb) {
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
        show(state.encoded);
        state.drawn_width = s.width;
    }
}

void draw_while_downloading() {
    if (!prepare()) {
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
            redraw(1, 1, rgb);
            return;
        }
        if (ended < 0) {
            // The install's own file, as the splash first showed it.
            if (state.drawn_width >= 0)
                show(state.file);
            return;
        }
        if (state.limit.due(platform::monotonic_ms()))
            redraw(received, length, rgb);
        hold.lock();
        state.wake.wait_for(hold, std::chrono::milliseconds(redraw_limit::interval_ms),
                            [] { return state.ended != 0; });
    }
}

} // namespace

int strip_height(int image_height) {
    int h = image_height / 40;
    h = h < 3 ? 3 : h > 6 ? 6 : h;
    return h < image_height ? h : image_height;
}

strip_rect progress_strip(int width, int height, std::uint64_t received, std::uint64_t length,
                          std::uint64_t elapsed_ms) {
    strip_rect s;
    if (width <= 0 || height <= 0)
        return s;
    s.height = strip_height(height);
    s.y = height - s.height;
    if (length > 0) {
        std::uint64_t done = received < length ? received : length;
        s.width = static_cast<int>(done * static_cast<std::uint64_t>(width) / length);
        return s;
    }
    // A block a quarter of the edge long enters on the left and leaves on the right.
    const std::int64_t block = width / 4 > 0 ? width / 4 : 1;
    const std::int64_t travel = width + block;
    std::int64_t left = static_cast<std::int64_t>((elapsed_ms % sweep_ms) *
                                                  static_cast<std::uint64_t>(travel) / sweep_ms) -
                        block;
    std::int64_t right = left + block;
    if (left < 0)
        left = 0;
    if (right > width)
        right = width;
    s.x = static_cast<int>(left);
    s.width = right > left ? static_cast<int>(right - left) : 0;
    return s;
}

bool redraw_limit::due(std::uint64_t now_ms) {
    if (started_ && now_ms - last_ < interval_ms)
        return false;
    started_ = true;
    last_ = now_ms;
    return true;
}

void SplashProgressShown(const char* image) {
    state.image_path = image ? image : "";
}

void SplashProgress(std::uint64_t received, std::uint64_t length, std::uint32_t rgb) {
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
            state.drawer = std::thread(draw_while_downloading);
        } catch (...) {
            state.now = stage::off;
        }
        return;
    }
    std::lock_guard<std::mutex> hold(state.lock);
    state.received = received, state.length = length, state.rgb = rgb;
}

void SplashProgressEnd(bool complete) {
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

void SplashProgressForget() {
    if (state.drawer.joinable())
        SplashProgressEnd(false);
    state.now = stage::idle;
    state.image_path.clear();
    std::lock_guard<std::mutex> hold(state.lock);
    state.received = state.length = 0;
    state.rgb = 0;
    state.ended = 0;
    state.unusable = false;
    state.load_memory = nullptr;
    state.file.clear();
    state.original = state.canvas = rgba_image();
    state.limit.reset();
    state.drawn_width = -1;
}
