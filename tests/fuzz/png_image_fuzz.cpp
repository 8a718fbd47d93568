// The splash image is read from the install directory and decoded by our own code: whatever the
// file holds, decoding stays within its buffers, and what it accepts encodes and decodes back to
// the same pixels. Chunk check sums are put right first, so that mutations reach the pixel data.
#include "splash/png_image.h"

#include <cstdint>
#include <cstdlib>
#include <vector>
#include <zlib.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> file(data, data + size);
    for (std::size_t at = 8; at + 12 <= file.size();) {
        std::size_t length = std::size_t(file[at]) << 24 | std::size_t(file[at + 1]) << 16 |
                             std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (length > file.size() - at - 12)
            break;
        uLong crc = crc32(0, file.data() + at + 4, static_cast<uInt>(length + 4));
        for (int i = 0; i < 4; ++i)
            file[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += length + 12;
    }

    splash::rgba_image image;
    if (!splash::decode_png(file.data(), file.size(), &image))
        return 0;
    std::vector<std::uint8_t> png;
    splash::rgba_image again;
    if (!splash::encode_png(image, &png) || !splash::decode_png(png.data(), png.size(), &again) ||
        again.width != image.width || again.height != image.height ||
        again.has_alpha != image.has_alpha || again.pixels != image.pixels)
        std::abort();
    return 0;
}
