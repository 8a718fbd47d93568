// Where the launcher's files live: the data directory and the jar list.
#pragma once

#include "base/bounds.h"
#include "base/jar_list.h"

namespace launcher {

using base::app_path_size;
using base::jar_list;
using base::jar_slots;

// Fills `appDataPath` (app_path_size bytes) with the data directory, without a trailing
// separator: the common application-data folder (`posix_root` stands for it on POSIX) joined with
// company, product and version. When the folder query fails, or the names do not fit behind the
// folder, it is the install directory; empty only when the executable's own path cannot be had
// either.
void init(char* appDataPath, const char* posix_root);
// A jar list entry: a zero-filled heap string sized for its text and the terminator.
char* new_jar_entry(const char* text);
// A jar list entry for a file of the install directory: its absolute path, or an empty text
// (which names no jar) when the install directory is unknown or the path does not fit.
char* new_install_entry(const char* relative);
// The jar list, absolute paths, in the entries jar_list names: the data directory's app.npx, its
// app.jar (the install's fallback jar offline), the install's include jar. Returns the count.
int initjars(const char* appDataPath, char** list);

// Joins `file` to the data directory into `out` (app_path_size bytes), as every user of the
// data directory does. Without a data directory the result is empty: a bare file name would
// resolve against the current directory.
void data_file_path(const char* appDataPath, char* out, const char* file);

} // namespace launcher
