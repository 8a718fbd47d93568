#include "tests/support/test_app.h"

#include <fstream>
#include <iterator>

namespace testsupport {

std::string test_app_path(const std::string& name) {
    return std::string(VISTAL_TEST_APP_DIR) + "/" + name;
}

std::string test_app_jar(const std::string& name) {
    std::ifstream in(test_app_path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testsupport
