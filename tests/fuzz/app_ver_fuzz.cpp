// app.ver may hold anything after a crash or a hand edit: reading it from the file and from
// memory must agree, and what is read must be written back as the same version.
#include "update/bs_version.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

using update::app_ver_default;
using update::app_ver_size;
using update::bs_version;
using update::format_app_ver;
using update::is_newer;
using update::read_app_ver;

namespace {

bool same(const bs_version& a, const bs_version& b) {
    return !is_newer(a, b) && !is_newer(b, a);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bs_version from_text = app_ver_default;
    read_app_ver(text, &from_text);

    if (std::FILE* file = std::tmpfile()) {
        std::fwrite(data, 1, size, file);
        std::rewind(file);
        bs_version from_file = app_ver_default;
        read_app_ver(file, &from_file);
        std::fclose(file);
        if (!same(from_text, from_file))
            std::abort();
    }

    char written[app_ver_size];
    std::size_t length = format_app_ver(from_text, written);
    bs_version back = app_ver_default;
    read_app_ver(std::string_view(written, length), &back);
    if (!same(back, from_text))
        std::abort();
    return 0;
}
