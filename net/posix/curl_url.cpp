// URLs and texts as curl takes them.
#include "net/posix/curl_request.h"

namespace curl_transport {

std::string url_bytes(const wchar_t* url) {
    std::string utf8;
    for (const wchar_t* p = url; *p; ++p) {
        auto c = static_cast<std::uint32_t>(*p);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | ((c >> 18) & 0x07));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : utf8) {
        if (b <= 0x20 || b >= 0x7F) {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string narrow(const wchar_t* text) {
    std::string out;
    for (const wchar_t* p = text; *p; ++p)
        out += static_cast<unsigned>(*p) < 0x80 ? static_cast<char>(*p) : '?';
    return out;
}

} // namespace curl_transport
