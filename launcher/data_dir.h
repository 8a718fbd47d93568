// Where the launcher's files live: the data directory and the jar list.
#pragma once

constexpr const char* companyName = "Quarlen Zuzidivoravev Vivurezuv";
constexpr const char* appName = "Quarlen Vistal";
constexpr const char* appVersion = "2.0.2";

constexpr int jar_slots = 128;
constexpr int app_path_size = 1024;

// The data directory, without a trailing separator. When the folder query fails it is the install
// directory; empty only when the executable's own path cannot be had either.
extern char appDataPath[app_path_size];
// The jar list, absolute paths: 0 the data directory's app.npx, 1 its app.jar (the install's
// fallback jar offline), 2 the install's include jar.
extern char* paths[jar_slots];
extern int jar_count;

void init();
// A jar list entry: a zero-filled heap string sized for its text and the terminator.
char* new_jar_entry(const char* text);
// A jar list entry for a file of the install directory: its absolute path, or an empty text
// (which names no jar) when the install directory is unknown or the path does not fit.
char* new_install_entry(const char* relative);
int initjars(char** list);

// Joins `file` to the data directory into `out` (app_path_size bytes), as every user of the
// data directory does. Without a data directory the result is empty: a bare file name would
// resolve against the current directory.
void data_file_path(char* out, const char* file);
