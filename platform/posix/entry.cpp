// Linux program entry: the same start-up sequence as on Windows. The command line is passed on
// as one text, and like on Windows nothing looks at it.
#include "launcher/startup.h"

#include <string>

int main(int argc, char** argv) {
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            command_line += ' ';
        command_line += argv[i];
    }
    return WinMain(nullptr, nullptr, command_line.data(), 1);
}
