// Helpers of the signer check's tests: the test application's jars and the check over bytes.
#pragma once

#include "config/deployment.h"
#include "update/jar_signature.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline update::jar_verdict check_bytes(const std::string& jar,
                                       const unsigned char* signer = config::signature,
                                       const update::release_stamp* release = nullptr) {
    std::FILE* file = std::tmpfile();
    if (!file)
        return update::jar_verdict::not_archive;
    std::fwrite(jar.data(), 1, jar.size(), file);
    std::fflush(file);
    update::jar_verdict v = update::check_main_class_signature(file, signer, release);
    std::fclose(file);
    return v;
}

inline update::jar_verdict check_file(const std::string& path,
                                      const unsigned char* signer = config::signature) {
    return check_bytes(slurp(path), signer);
}
