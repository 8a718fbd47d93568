// Program entry: the start-up sequence. It never returns.
#pragma once

#include <cstdio>

// The diagnostics stream: standard error, bound first thing at start-up.
extern std::FILE* err;

// The command line and the other arguments change nothing.
extern "C" int WinMain(void* instance, void* previous, char* command_line, int show);
