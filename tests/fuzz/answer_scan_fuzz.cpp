// The version answer comes from the network: its scans must stay inside the text, and whatever
// version they yield must survive a trip through app.ver.
#include "update/bs_version.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using update::app_ver_default;
using update::app_ver_size;
using update::bs_version;
using update::format_app_ver;
using update::is_newer;
using update::read_app_ver;
using update::scan_answer;
using update::version_answer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    version_answer answer = scan_answer(text);

    for (std::string_view part : {answer.path, answer.published})
        if (!part.empty() &&
            (part.data() < text.data() || part.data() + part.size() > text.data() + text.size()))
            std::abort();

    char written[app_ver_size];
    std::size_t length = format_app_ver(answer.version, written);
    if (length >= app_ver_size)
        std::abort();
    bs_version back = app_ver_default;
    read_app_ver(std::string_view(written, length), &back);
    if (is_newer(back, answer.version) || is_newer(answer.version, back))
        std::abort();
    return 0;
}
