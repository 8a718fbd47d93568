// Just enough PNG for the splash progress strip: decode the install's splash image into 8-bit
// RGBA, and encode a changed copy for the splash library to load from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace splash {

struct rgba_image {
    int width = 0;
    int height = 0;
    bool has_alpha = false;           // the source had transparency; encoded with alpha if so
    std::vector<std::uint8_t> pixels; // width * height * 4, rows top down
};

// Every colour type at every bit depth PNG allows, not interlaced. False for anything else
// (interlaced, broken, truncated, a bad check sum, more than max_png_pixels): `out` is then
// unspecified.
constexpr std::size_t max_png_pixels = 16u << 20;
bool decode_png(const std::uint8_t* data, std::size_t size, rgba_image* out);

// A PNG of `image` (colour type 6, or 2 without alpha), its data stored without compression: the
// splash library reads it back several times a second and speed matters more than size.
bool encode_png(const rgba_image& image, std::vector<std::uint8_t>* out);

} // namespace splash
