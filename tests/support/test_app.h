// The signed test application's jars (fixtures/make-test-app.sh), built into <build>/tests/app:
// app.jar, include.jar, app-unsigned.jar, app-other-key.jar, app-without-main.jar. Portable, so
// that the cross-built tests read them too.
#pragma once

#include <string>

namespace testsupport {

// Where the jar `name` lies.
std::string test_app_path(const std::string& name);
// The bytes of the jar `name`; empty when it cannot be read.
std::string test_app_jar(const std::string& name);

} // namespace testsupport
