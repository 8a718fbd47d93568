// Jars made by tests: the smallest whole jar, and builds of a real jar told apart by their
// archive comment (which leaves its signed entries as they are).
#pragma once

#include "tests/support/process.h"
#include "tests/support/test_app.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A zip archive with one stored entry holding `content`, for tests whose downloads must pass the
// update check's archive check without being a real application.
inline std::string tiny_jar(const std::string& content) {
    auto le = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : content) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    const std::string name = "content.txt";
    const auto size = static_cast<std::uint32_t>(content.size());

    std::string out = "PK\x03\x04";
    le(out, 10, 2); // version needed
    le(out, 0, 2);  // flags
    le(out, 0, 2);  // stored
    le(out, 0, 2);  // time
    le(out, 0x21, 2);
    le(out, crc, 4);
    le(out, size, 4);
    le(out, size, 4);
    le(out, static_cast<std::uint32_t>(name.size()), 2);
    le(out, 0, 2);
    out += name + content;

    const auto directory = static_cast<std::uint32_t>(out.size());
    out += "PK\x01\x02";
    le(out, 10, 2); // made by
    le(out, 10, 2); // needed
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, 0x21, 2);
    le(out, crc, 4);
    le(out, size, 4);
    le(out, size, 4);
    le(out, static_cast<std::uint32_t>(name.size()), 2);
    le(out, 0, 2); // extra
    le(out, 0, 2); // comment
    le(out, 0, 2); // disk
    le(out, 0, 2); // internal attributes
    le(out, 0, 4); // external attributes
    le(out, 0, 4); // local header offset
    out += name;

    const auto directory_size = static_cast<std::uint32_t>(out.size()) - directory;
    out += "PK\x05\x06";
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, 1, 2);
    le(out, 1, 2);
    le(out, directory_size, 4);
    le(out, directory, 4);
    le(out, 0, 2);
    return out;
}

// `jar` (as jar and jarsigner write it: no archive comment) with `comment` as its comment.
inline std::string with_comment(std::string jar, const std::string& comment) {
    const std::size_t end = 22; // end-of-central-directory record without a comment
    if (jar.size() < end || jar.compare(jar.size() - end, 4, "PK\x05\x06") != 0 ||
        jar[jar.size() - 2] != 0 || jar[jar.size() - 1] != 0 || comment.size() > 0xFFFF)
        throw std::runtime_error("with_comment: not a jar without a comment");
    jar[jar.size() - 2] = static_cast<char>(comment.size() & 0xFF);
    jar[jar.size() - 1] = static_cast<char>(comment.size() >> 8);
    return jar + comment;
}

// The test application's classes signed with the build's development key, stamped with
// `version` (tools/vistal-sign.sh sign --version) unless it is empty. Throws when signing fails.
inline std::string signed_app_jar(const std::string& version) {
    const std::string work = make_temp_dir("vistal-signed-app");
    const std::string jar = work + "/app.jar";
    write_file(jar, testsupport::test_app_jar("app-unsigned.jar"));
    std::vector<std::string> argv = {"bash", source_dir() + "/tools/vistal-sign.sh", "sign",
                                     build_dir() + "/dev-signing/keystore.p12", jar};
    if (!version.empty())
        argv.insert(argv.end(), {"--version", version});
    const run_result r = run(argv, work, 120000, {"VISTAL_JDK_HOME=" + jdk_home()});
    const std::string bytes = read_file(jar);
    remove_tree(work);
    if (r.exit_code != 0)
        throw std::runtime_error("signed_app_jar: " + r.err);
    return bytes;
}

// A zip archive laid out by hand, stored entries only, for archives no tool writes.
struct zip_layout {
    std::vector<std::pair<std::string, std::string>> entries; // name, content
    std::string after_directory; // bytes between the directory and the end record, not counted
    std::string comment;         // the end record's comment
};

inline std::string zip_of(const zip_layout& layout) {
    auto le = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    auto crc_of = [](const std::string& content) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (unsigned char c : content) {
            crc ^= c;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    std::string out, directory;
    for (const auto& [name, content] : layout.entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        const auto size = static_cast<std::uint32_t>(content.size());
        const auto name_size = static_cast<std::uint32_t>(name.size());
        out += "PK\x03\x04";
        le(out, 10, 2);
        out.append(6, '\0'); // flags, stored, time
        le(out, 0x21, 2);
        le(out, crc_of(content), 4);
        le(out, size, 4);
        le(out, size, 4);
        le(out, name_size, 2);
        le(out, 0, 2);
        out += name + content;

        directory += "PK\x01\x02";
        le(directory, 10, 2);
        le(directory, 10, 2);
        directory.append(6, '\0');
        le(directory, 0x21, 2);
        le(directory, crc_of(content), 4);
        le(directory, size, 4);
        le(directory, size, 4);
        le(directory, name_size, 2);
        directory.append(12, '\0'); // extra, comment, disk, attributes
        le(directory, offset, 4);
        directory += name;
    }
    const auto directory_at = static_cast<std::uint32_t>(out.size());
    // The 16-bit counts wrap as a writer that does not know ZIP64 would let them.
    const auto count = static_cast<std::uint32_t>(layout.entries.size());
    out += directory + layout.after_directory + "PK\x05\x06";
    le(out, 0, 4);
    le(out, count, 2);
    le(out, count, 2);
    le(out, static_cast<std::uint32_t>(directory.size()), 4);
    le(out, directory_at, 4);
    le(out, static_cast<std::uint32_t>(layout.comment.size()), 2);
    return out + layout.comment;
}

} // namespace testsupport
