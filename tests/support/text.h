// Small text rules the test support and the tests share: header names as HTTP compares them, and
// the "key=value" lines the test application reports in.
#pragma once

#include <string>

namespace testsupport {

// Whether two header names are the same, without regard to ASCII case.
bool same_name(const std::string& a, const std::string& b);

// The value of the line "key=value" in `text`, trailing blanks cut; "<missing key>" when there
// is no such line, so that it never equals an expected value.
std::string value_of(const std::string& text, const std::string& key);

} // namespace testsupport
