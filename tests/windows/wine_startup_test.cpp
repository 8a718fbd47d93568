// The shipped vistal.exe started as a process under Wine, in staged install directories, on the
// start-up roads that end before a real VM would exist. A stand-in jvm.dll records what the
// launcher hands to JNI_CreateJavaVM. Without a display Wine's MessageBoxA returns at once, so
// the failure roads run to their exit code.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD run_timeout_ms = 60000;

// 8-bit text as the ANSI code page reads it, as the VM reads its options.
std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// Command lines that must change nothing: none, words and option look-alikes, a very long one.
std::vector<std::string> command_lines() {
    return {"", "-Xmx1m --help /? \"quoted words\" C:\\nowhere\\app.jar",
            std::string(20000, 'x') + " " + std::string(5000, '-')};
}

// A staged install directory with the executable in it, as shipped: every file of the install is
// found there, by absolute path.
class install {
  public:
    // `folder` begins the install directory's name; it may hold any character.
    explicit install(const std::string& exe_name = "vistal.exe",
                     const std::wstring& folder = L"vistal-wine") {
        static int serial = 0;
        root_ =
            fs::temp_directory_path() / (folder + L"-" + std::to_wstring(GetCurrentProcessId()) +
                                         L"-" + std::to_wstring(++serial));
        fs::create_directories(root_ / "jre" / "bin" / "server");
        fs::create_directories(root_ / "lib");
        fs::create_directories(root_ / "img");
        exe_ = root_ / exe_name;
        fs::copy_file(VISTAL_EXE, exe_);
    }
    ~install() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    install(const install&) = delete;
    install& operator=(const install&) = delete;

    // Puts the stand-in library at `relative` (a path below the install directory).
    void add_standin(const std::string& relative) { fs::copy_file(STANDIN_JVM, root_ / relative); }

    // Starts the executable with `arguments` in `cwd` (default: here) and returns its exit code
    // (-1 when it did not end in time). `environment` entries (NAME=value) are set for the child
    // only.
    int run(const std::string& arguments, const std::vector<std::string>& environment = {},
            const fs::path& cwd = {}) {
        const fs::path current = cwd.empty() ? root_ : cwd;
        fs::remove(current / "jvm-standin.txt");
        // Wide throughout, so that the executable sees its folder's name as it is.
        std::wstring exe = exe_.wstring();
        std::wstring command =
            L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + wide(arguments));
        std::vector<wchar_t> command_buffer(command.begin(), command.end());
        command_buffer.push_back(L'\0');

        // This process's environment, with `environment` replacing variables of the same name.
        std::vector<std::string> variables = environment;
        char* inherited = GetEnvironmentStringsA();
        for (const char* e = inherited; *e; e += std::strlen(e) + 1) {
            std::string prefix(e, std::strcspn(e + 1, "=") + 2);
            bool replaced = false;
            for (const std::string& v : environment)
                replaced |= _strnicmp(v.c_str(), prefix.c_str(), prefix.size()) == 0;
            if (!replaced)
                variables.emplace_back(e);
        }
        FreeEnvironmentStringsA(inherited);
        std::vector<char> block;
        for (const std::string& v : variables)
            block.insert(block.end(), v.c_str(), v.c_str() + v.size() + 1);
        block.push_back('\0');

        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        std::wstring dir = current.wstring();
        if (!CreateProcessW(exe.c_str(), command_buffer.data(), nullptr, nullptr, FALSE, 0,
                            block.data(), dir.c_str(), &startup, &process)) {
            ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
            return -1;
        }
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(process.hProcess, run_timeout_ms) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &code);
        } else {
            ADD_FAILURE() << exe_.filename() << " did not end within " << run_timeout_ms << " ms";
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return static_cast<int>(code);
    }

    // What the stand-in libraries wrote into the current directory `cwd` (default: here);
    // empty when none was loaded.
    std::string record(const fs::path& cwd = {}) const {
        std::ifstream in((cwd.empty() ? root_ : cwd) / "jvm-standin.txt", std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // What the stand-in VM library records of a VM creation: the class path lies below the
    // executable's file (where nothing can be), the library path is the install's lib.
    std::string vm_creation() const {
        return "version=0x00010004\n"
               "nOptions=4\n"
               "option=-Djava.class.path=" +
               exe_.string() +
               "\\- extraInfo=null\n"
               "option=-Djava.library.path=" +
               (root_ / "lib").string() +
               " extraInfo=null\n"
               "option=-Xms768m extraInfo=null\n"
               "option=-Dsun.java2d.noddraw=true extraInfo=null\n"
               "ignoreUnrecognized=1\n"
               "mutex=exists, not owned\n";
    }

    const fs::path& root() const { return root_; }
    const fs::path& exe() const { return exe_; }

  private:
    fs::path root_;
    fs::path exe_;
};

// Wine supplies msvcr100.dll itself. A per-program override that allows only a native copy of
// it makes the platform search come back empty for `exe_name`, as on a system without it.
class without_system_c_runtime {
  public:
    explicit without_system_c_runtime(const std::string& exe_name)
        : key_("Software\\Wine\\AppDefaults\\" + exe_name + "\\DllOverrides") {
        HKEY key;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, &key, nullptr));
        static const char native[] = "native";
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, "msvcr100", 0, REG_SZ, reinterpret_cast<const BYTE*>(native),
                                 sizeof native));
        RegCloseKey(key);
    }
    ~without_system_c_runtime() { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }
    without_system_c_runtime(const without_system_c_runtime&) = delete;
    without_system_c_runtime& operator=(const without_system_c_runtime&) = delete;

  private:
    std::string key_;
};

TEST(WineStartup, MissingVmLibraryExitsWith1WhateverTheCommandLine) {
    install dir;
    for (const std::string& arguments : command_lines()) {
        SCOPED_TRACE("command line of " + std::to_string(arguments.size()) + " characters");
        EXPECT_EQ(1, dir.run(arguments));
    }
}

TEST(WineStartup, FailedVmCreationSeesTheArgumentsAndTheMutexAndExitsWith1) {
    install dir;
    dir.add_standin("jre\\bin\\server\\jvm.dll");
    for (const std::string& arguments : command_lines()) {
        SCOPED_TRACE("command line of " + std::to_string(arguments.size()) + " characters");
        EXPECT_EQ(1, dir.run(arguments));
        EXPECT_EQ("loaded jvm.dll\n" + dir.vm_creation(), dir.record());
    }
    // Any negative result is a failure, not only -1. The VM sees no options variable.
    EXPECT_EQ(1, dir.run("", {"VISTAL_STANDIN_RESULT=-4", "JAVA_TOOL_OPTIONS=-javaagent:a.jar",
                              "_JAVA_OPTIONS=-Xbootclasspath/a:b", "JDK_JAVA_OPTIONS=-Dc=d"}));
    EXPECT_EQ("loaded jvm.dll\n" + dir.vm_creation(), dir.record());
}

TEST(WineStartup, CRuntimeFromTheInstallWhenTheSystemHasNone) {
    const std::string exe = "vistal-without-crt.exe";
    without_system_c_runtime override(exe);
    install dir(exe);
    dir.add_standin("jre\\bin\\server\\jvm.dll");

    // Neither copy: failure message 1, and the VM library is never loaded.
    EXPECT_EQ(1, dir.run(""));
    EXPECT_EQ("", dir.record());

    // The install's own copy lets the start go on to VM creation.
    dir.add_standin("jre\\bin\\msvcr100.dll");
    EXPECT_EQ(1, dir.run(""));
    EXPECT_EQ("loaded msvcr100.dll\nloaded jvm.dll\n" + dir.vm_creation(), dir.record());
}

// Libraries of the install's names planted in the current directory, below it and in a
// directory on PATH record "planted" if anything loads them.
TEST(WineStartup, LibrariesPlantedInTheCurrentDirectoryOrOnPathAreNotLoaded) {
    const std::string exe = "vistal-hostile.exe";
    without_system_c_runtime override(exe);
    install dir(exe);
    const fs::path hostile = dir.root().string() + "-hostile";
    const fs::path on_path = hostile / "bin";
    fs::create_directories(hostile / "jre" / "bin" / "server");
    fs::create_directories(on_path);
    for (const fs::path& planted :
         {hostile / "jvm.dll", hostile / "msvcr100.dll", hostile / "splashscreen.dll",
          hostile / "jre" / "bin" / "msvcr100.dll", hostile / "jre" / "bin" / "splashscreen.dll",
          hostile / "jre" / "bin" / "server" / "jvm.dll", on_path / "jvm.dll",
          on_path / "msvcr100.dll"})
        fs::copy_file(PLANTED_DLL, planted);
    const char* path = std::getenv("PATH");
    const std::vector<std::string> environment = {"PATH=" + on_path.string() + ";" +
                                                  (path ? path : "")};

    // Neither the install nor the system has a C runtime: failure message 1, nothing loaded.
    EXPECT_EQ(1, dir.run("", environment, hostile));
    EXPECT_EQ("", dir.record(hostile));

    // With the install's own libraries, those and no others.
    dir.add_standin("jre\\bin\\msvcr100.dll");
    dir.add_standin("jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(1, dir.run("", environment, hostile));
    EXPECT_EQ("loaded msvcr100.dll\nloaded jvm.dll\n" + dir.vm_creation(), dir.record(hostile));

    std::error_code ignored;
    fs::remove_all(hostile, ignored);
}

// Install folders named outside the ANSI code page: the libraries load and the VM is handed
// 8-bit paths it can read, which name the install's own files.
TEST(WineStartup, InstallFoldersOutsideTheAnsiCodePageReachVmCreation) {
    for (const wchar_t* folder : {L"\u0416inst", L"\u5b89\u88c5\u76ee\u5f55"}) {
        install dir("vistal.exe", folder);
        SCOPED_TRACE(dir.root().u8string());
        dir.add_standin("jre\\bin\\server\\jvm.dll");
        EXPECT_EQ(1, dir.run(""));
        std::istringstream record(dir.record());
        std::vector<std::string> lines;
        for (std::string line; std::getline(record, line);)
            lines.push_back(line);
        ASSERT_GE(lines.size(), 5u) << record.str();
        EXPECT_EQ(lines[0], "loaded jvm.dll");
        EXPECT_EQ(lines[2], "nOptions=4");
        // "option=<prefix><path><suffix> extraInfo=null": the path, read back as the VM reads it.
        auto path_in = [](const std::string& line, const std::string& prefix,
                          const std::string& suffix) {
            const std::string head = "option=" + prefix, tail = suffix + " extraInfo=null";
            EXPECT_EQ(line.rfind(head, 0), 0u) << line;
            EXPECT_GE(line.size(), head.size() + tail.size()) << line;
            EXPECT_EQ(line.compare(line.size() - tail.size(), tail.size(), tail), 0) << line;
            return fs::path(
                wide(line.substr(head.size(), line.size() - head.size() - tail.size())));
        };
        std::error_code error;
        EXPECT_TRUE(
            fs::equivalent(path_in(lines[3], "-Djava.class.path=", "\\-"), dir.exe(), error));
        EXPECT_TRUE(fs::equivalent(path_in(lines[4], "-Djava.library.path=", ""),
                                   dir.root() / "lib", error));
    }
}

// VISTAL_LOG: the file is made and holds the start's decisions up to the refused VM creation, in
// order; the exit code is the one without it.
TEST(WineStartup, TheSupportLogRecordsTheRoadToTheFailedVmCreation) {
    install dir;
    dir.add_standin("jre\\bin\\server\\jvm.dll");
    const fs::path log = dir.root() / "support.log";
    EXPECT_EQ(1, dir.run("", {"VISTAL_LOG=" + log.string()}));
    std::ifstream in(log, std::ios::binary);
    std::vector<std::string> keywords;
    std::string first;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string time, pid, keyword;
        words >> time >> pid >> keyword;
        keywords.push_back(keyword);
        if (first.empty())
            first = line;
    }
    EXPECT_NE(first.find(" start version="), std::string::npos) << first;
    const std::vector<std::string> tail = {"road", "cruntime", "vmlibrary", "vm", "exit"};
    ASSERT_GE(keywords.size(), 3 + tail.size());
    EXPECT_EQ(keywords[1], "vmoptions");
    EXPECT_EQ(keywords[2], "datadir");
    EXPECT_EQ(std::vector<std::string>(keywords.end() - tail.size(), keywords.end()), tail);
    EXPECT_EQ(1, dir.run(""));
}

} // namespace
