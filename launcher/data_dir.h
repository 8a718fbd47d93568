// Where the launcher's files live: the data directory and the jar list.
#pragma once

constexpr const char* companyName = "Quarlen Zuzidivoravev Vivurezuv";
constexpr const char* appName = "Quarlen Vistal";
constexpr const char* appVersion = "2.0.2";

constexpr int jar_slots = 128;
constexpr int app_path_size = 1024;

// The data directory, without a trailing separator; empty when the folder query failed.
extern char appDataPath[app_path_size];
// The jar list: 0 the data directory's app.npx, 1 its app.jar (the fallback jar offline),
// 2 the install's include jar.
extern char* paths[jar_slots];
extern int jar_count;

void init();
// A jar list entry: a zero-filled heap string sized for its text and the terminator.
char* new_jar_entry(const char* text);
int initjars(char** list);

// Joins `file` to the data directory into `out` (app_path_size bytes), as every user of the
// data directory does. With an empty data directory the result is the bare file name, which
// resolves against the install directory.
void data_file_path(char* out, const char* file);
