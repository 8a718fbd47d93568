// The fetch table's agent under Wine: runs each fetch it is asked for over WinINet and reports
// what the fetch gave, one request and one answer line at a time (see fetch_client_wine.cpp):
//   text <host> <path>       -> <null> <status> <has-length> <length> <received> <read-failed>
//   <body> stream <host> <path>     -> the same; resume <host> <path> <held> <total>
//   <validator> -> the same and <resumed> <range-refused>; header <url> <name> <n>  -> <status>
//   <ok> <error> <size> <value> <get-header-null> <get-header>
// Texts go as hex ("-" when empty), so that the console's line ends cannot touch them.
#include "tests/support/fetch_client.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

using update::fetch_report;

namespace {

std::string hex(const std::string& s) {
    if (s.empty())
        return "-";
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size() * 2);
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace

int main() {
    testsupport::fetch_client& client = testsupport::the_fetch_client();
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command, a, b;
        in >> command >> a >> b;
        std::ostringstream out;
        if (command == "text" || command == "stream" || command == "resume") {
            std::string held, validator;
            std::uint64_t total = 0;
            if (command == "resume")
                in >> held >> total >> validator;
            testsupport::fetched f = command == "text" ? client.text(a, b)
                                     : command == "stream"
                                         ? client.stream(a, b)
                                         : client.resume(a, b, held, total, validator);
            const fetch_report& r = f.report;
            out << f.null << ' ' << r.status << ' ' << r.has_content_length << ' '
                << r.content_length << ' ' << r.received << ' ' << r.read_failed << ' '
                << hex(f.body);
            if (command == "resume")
                out << ' ' << r.resumed << ' ' << r.range_refused;
        } else if (command == "header") {
            unsigned long size = 0;
            in >> size;
            testsupport::header_probe p = client.header(a, b, size);
            out << p.status << ' ' << p.ok << ' ' << p.error << ' ' << p.size << ' ' << hex(p.value)
                << ' ' << p.get_header_null << ' ' << hex(p.get_header_value);
        } else {
            out << "?";
        }
        std::cout << out.str() << std::endl;
    }
    return 0;
}
