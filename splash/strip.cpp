#include "splash/strip.h"

namespace splash {

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

} // namespace splash
