// One of the test launcher's update hosts: the scripted TLS server with the test PKI's server
// certificate on a fixed loopback port (18441 is the first host of the test launcher's list).
#pragma once

#include "tests/support/process.h"
#include "tests/support/tls_server.h"

#include <string>

namespace testsupport {

// The request target of the launcher's version check.
inline const std::string version_target = "/VistalServlet?getVersion=bootstrap&clientVersion=2.0";

inline tls_server_options test_host_options(int port) {
    tls_server_options options;
    options.cert = build_dir() + "/tests/pki/server.pem";
    options.key = build_dir() + "/tests/pki/server.key";
    options.port = port;
    return options;
}

} // namespace testsupport
