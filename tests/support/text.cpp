#include "tests/support/text.h"

#include <algorithm>
#include <cctype>

namespace testsupport {

bool same_name(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string value_of(const std::string& text, const std::string& key) {
    std::size_t at = text.find(key + "=");
    if (at == std::string::npos)
        return "<missing " + key + ">";
    at += key.size() + 1;
    std::string value = text.substr(at, text.find('\n', at) - at);
    return value.erase(value.find_last_not_of(' ') + 1);
}

} // namespace testsupport
