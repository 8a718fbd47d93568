#include "splash/png_image.h"

#include <cstring>
#include <zlib.h>

namespace splash {
namespace {

constexpr std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                         std::uint8_t(v)};
    out->insert(out->end(), b, b + 4);
}

void put_chunk(std::vector<std::uint8_t>* out, const char* type, const std::uint8_t* data,
               std::size_t size) {
    put32(out, static_cast<std::uint32_t>(size));
    std::size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    if (size)
        out->insert(out->end(), data, data + size);
    uLong crc = crc32(0, out->data() + start, static_cast<uInt>(size + 4));
    put32(out, static_cast<std::uint32_t>(crc));
}

std::uint8_t paeth(int a, int b, int c) {
    int p = a + b - c, pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p,
        pc = p > c ? p - c : c - p;
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes the row filters in place; `bpp` is bytes per complete pixel (at least 1).
bool unfilter(std::uint8_t* data, std::size_t rows, std::size_t stride, std::size_t bpp) {
    const std::uint8_t* prior = nullptr;
    for (std::size_t y = 0; y < rows; ++y) {
        std::uint8_t filter = data[y * (stride + 1)];
        std::uint8_t* row = data + y * (stride + 1) + 1;
        for (std::size_t x = 0; x < stride; ++x) {
            int a = x >= bpp ? row[x - bpp] : 0, b = prior ? prior[x] : 0,
                c = prior && x >= bpp ? prior[x - bpp] : 0;
            switch (filter) {
            case 0:
                break;
            case 1:
                row[x] = static_cast<std::uint8_t>(row[x] + a);
                break;
            case 2:
                row[x] = static_cast<std::uint8_t>(row[x] + b);
                break;
            case 3:
                row[x] = static_cast<std::uint8_t>(row[x] + (a + b) / 2);
                break;
            case 4:
                row[x] = static_cast<std::uint8_t>(row[x] + paeth(a, b, c));
                break;
            default:
                return false;
            }
        }
        prior = row;
    }
    return true;
}

// Sample `i` of a row at `depth` bits, as 8 bits (16-bit samples keep their high byte; lower
// depths are scaled unless they index a palette).
unsigned sample(const std::uint8_t* row, std::size_t i, int depth, bool scale) {
    switch (depth) {
    case 16:
        return row[i * 2];
    case 8:
        return row[i];
    default: {
        unsigned per_byte = 8 / depth, shift = 8 - depth * (i % per_byte + 1);
        unsigned v = (row[i / per_byte] >> shift) & ((1u << depth) - 1);
        return scale ? v * 255 / ((1u << depth) - 1) : v;
    }
    }
}

} // namespace

bool decode_png(const std::uint8_t* data, std::size_t size, rgba_image* out) {
    if (size < 8 || std::memcmp(data, signature, 8) != 0)
        return false;
    std::size_t pos = 8;
    std::uint32_t width = 0, height = 0;
    int depth = 0, colour = -1;
    std::uint8_t palette[256][4];
    std::size_t palette_size = 0;
    bool have_transparent = false;
    unsigned transparent[3] = {};
    std::vector<std::uint8_t> compressed;
    bool ended = false;
    while (!ended) {
        if (size - pos < 12)
            return false;
        std::uint32_t length = be32(data + pos);
        if (length > size - pos - 12)
            return false;
        const std::uint8_t* type = data + pos + 4;
        const std::uint8_t* body = data + pos + 8;
        if (crc32(0, type, length + 4) != be32(body + length))
            return false;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13 || colour >= 0)
                return false;
            width = be32(body);
            height = be32(body + 4);
            depth = body[8];
            colour = body[9];
            if (body[10] != 0 || body[11] != 0 ||
                body[12] != 0) // deflate, adaptive, not interlaced
                return false;
        } else if (colour < 0) {
            return false; // IHDR comes first
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (length % 3 || length / 3 > 256)
                return false;
            palette_size = length / 3;
            for (std::size_t i = 0; i < palette_size; ++i)
                palette[i][0] = body[i * 3], palette[i][1] = body[i * 3 + 1],
                palette[i][2] = body[i * 3 + 2], palette[i][3] = 255;
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            if (colour == 3) {
                for (std::size_t i = 0; i < length && i < palette_size; ++i)
                    palette[i][3] = body[i];
                have_transparent = true;
            } else if ((colour == 0 && length == 2) || (colour == 2 && length == 6)) {
                for (std::uint32_t i = 0; i < length / 2; ++i)
                    transparent[i] = (unsigned(body[i * 2]) << 8 | body[i * 2 + 1]);
                have_transparent = true;
            }
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            compressed.insert(compressed.end(), body, body + length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        }
        pos += std::size_t(length) + 12;
    }

    int channels = 0;
    switch (colour) {
    case 0:
        channels = 1;
        break;
    case 2:
        channels = 3;
        break;
    case 3:
        channels = 1;
        break;
    case 4:
        channels = 2;
        break;
    case 6:
        channels = 4;
        break;
    default:
        return false;
    }
    bool depth_ok = depth == 8 || depth == 16 ||
                    ((colour == 0 || colour == 3) && (depth == 1 || depth == 2 || depth == 4));
    if (!depth_ok || (colour == 3 && (depth == 16 || palette_size == 0)))
        return false;
    if (width == 0 || height == 0 || width > max_png_pixels || height > max_png_pixels ||
        std::size_t(width) * height > max_png_pixels)
        return false;

    const std::size_t bits = std::size_t(channels) * depth;
    const std::size_t stride = (width * bits + 7) / 8;
    const std::size_t bpp = bits < 8 ? 1 : bits / 8;
    std::vector<std::uint8_t> raw((stride + 1) * height);
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (compressed.empty() ||
        uncompress(raw.data(), &raw_size, compressed.data(),
                   static_cast<uLong>(compressed.size())) != Z_OK ||
        raw_size != raw.size() || !unfilter(raw.data(), height, stride, bpp))
        return false;

    out->width = static_cast<int>(width);
    out->height = static_cast<int>(height);
    out->has_alpha = colour == 4 || colour == 6 || have_transparent;
    out->pixels.resize(std::size_t(width) * height * 4);
    const bool wide = depth == 16;
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = raw.data() + y * (stride + 1) + 1;
        std::uint8_t* px = out->pixels.data() + y * width * 4;
        for (std::size_t x = 0; x < width; ++x, px += 4) {
            unsigned r, g, b, a = 255;
            if (colour == 3) {
                unsigned i = sample(row, x, depth, false);
                if (i >= palette_size)
                    return false;
                r = palette[i][0], g = palette[i][1], b = palette[i][2], a = palette[i][3];
            } else if (colour == 0 || colour == 4) {
                std::size_t i = x * (colour == 4 ? 2 : 1);
                r = g = b = sample(row, i, depth, true);
                if (colour == 4)
                    a = sample(row, i + 1, depth, true);
                else if (have_transparent) {
                    unsigned full = wide ? (unsigned(row[i * 2]) << 8 | row[i * 2 + 1])
                                         : sample(row, i, depth, false);
                    a = full == transparent[0] ? 0 : 255;
                }
            } else {
                std::size_t i = x * channels;
                r = sample(row, i, depth, true);
                g = sample(row, i + 1, depth, true);
                b = sample(row, i + 2, depth, true);
                if (colour == 6)
                    a = sample(row, i + 3, depth, true);
                else if (have_transparent) {
                    auto full = [&](std::size_t k) {
                        return wide ? (unsigned(row[k * 2]) << 8 | row[k * 2 + 1]) : row[k];
                    };
                    a = full(i) == transparent[0] && full(i + 1) == transparent[1] &&
                                full(i + 2) == transparent[2]
                            ? 0
                            : 255;
                }
            }
            px[0] = std::uint8_t(r), px[1] = std::uint8_t(g), px[2] = std::uint8_t(b),
            px[3] = std::uint8_t(a);
        }
    }
    return true;
}

bool encode_png(const rgba_image& image, std::vector<std::uint8_t>* out) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != std::size_t(image.width) * image.height * 4)
        return false;
    const std::size_t channels = image.has_alpha ? 4 : 3;
    const std::size_t stride = std::size_t(image.width) * channels;
    std::vector<std::uint8_t> raw((stride + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* row = raw.data() + y * (stride + 1);
        row[0] = 0; // no filter
        const std::uint8_t* px = image.pixels.data() + std::size_t(y) * image.width * 4;
        if (channels == 4) {
            std::memcpy(row + 1, px, stride);
        } else {
            for (int x = 0; x < image.width; ++x, px += 4)
                std::memcpy(row + 1 + x * 3, px, 3);
        }
    }
    std::vector<std::uint8_t> compressed(compressBound(static_cast<uLong>(raw.size())));
    uLongf compressed_size = static_cast<uLongf>(compressed.size());
    if (compress2(compressed.data(), &compressed_size, raw.data(), static_cast<uLong>(raw.size()),
                  Z_NO_COMPRESSION) != Z_OK)
        return false;

    out->clear();
    out->reserve(compressed_size + 64);
    out->insert(out->end(), signature, signature + 8);
    std::uint8_t header[13];
    std::uint32_t w = static_cast<std::uint32_t>(image.width),
                  h = static_cast<std::uint32_t>(image.height);
    for (int i = 0; i < 4; ++i) {
        header[i] = std::uint8_t(w >> (24 - 8 * i));
        header[4 + i] = std::uint8_t(h >> (24 - 8 * i));
    }
    header[8] = 8;
    header[9] = image.has_alpha ? 6 : 2;
    header[10] = header[11] = header[12] = 0;
    put_chunk(out, "IHDR", header, sizeof header);
    put_chunk(out, "IDAT", compressed.data(), compressed_size);
    put_chunk(out, "IEND", nullptr, 0);
    return true;
}

} // namespace splash
