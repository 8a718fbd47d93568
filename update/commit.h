// How app.jar and app.ver change in the data directory: only by renaming complete files over them,
// in an order that keeps app.ver naming the build app.jar holds, or empty. A verified download
// that cannot replace app.jar (another process holds it open) waits beside it as the pending jar
// until a later start can put it in place. Every operation here is for a launcher holding the
// data directory's lock.
#pragma once

#include "update/bs_version.h"
#include "update/version_stamp.h"

#include <cstddef>
#include <cstdio>

namespace update {

// The files of the data directory. Downloads and versions are written under the `_part` names
// with an unpredictable ending, so that nothing another user plants is written through; what a
// killed launcher left under them is removed at the next start that holds the lock (the bare
// names are what older launchers used). The pending jar and its version have fixed names and are
// only ever made by renaming such a file onto them.
constexpr const char* jar_file = "app.jar";
constexpr const char* version_file = "app.ver";
constexpr const char* jar_part = "app.jar.part";
constexpr const char* version_part = "app.ver.part";
constexpr const char* pending_jar = "app.jar.new";
constexpr const char* pending_version = "app.ver.new";

// `dir` joined with `name` into `out` (app_path_size bytes); false, with `out` empty, when there
// is no data directory or the name does not fit behind it.
bool data_file(const char* dir, char* out, const char* name);

// Writes the whole of `text` into a new temporary file next to `prefix` and puts it on the disk;
// its path goes to `path` (empty when none was made).
bool write_new_file(const char* prefix, char* path, const char* text, std::size_t length);

// Puts an empty app.ver in place of `version_path`, never writing through what is there.
bool replace_with_empty_file(const char* dir, const char* version_path);

// A jar the loader will start: a whole archive whose main class is signed by the pinned
// certificate, stamped as `release` when there is one. `file` is open for binary reading.
bool is_startable_jar(std::FILE* file, const release_stamp* release);

// The version app.ver holds, read only from a regular file of its own; the oldest version when
// there is none (absent, empty, or anything else in its place).
bs_version current_app_ver(const char* dir);

// Brings the verified jar at `jar_temp` and the version file at `version_temp` (both temporary
// files of the data directory `dir`, on the disk) into app.jar and app.ver; `current` is what
// app.ver names now. When app.jar cannot be replaced, app.ver is put back to `current` and the
// two files become the pending jar, replacing an older one. Neither temporary file is left.
void commit_jar(const char* dir, const char* jar_temp, const char* version_temp,
                const bs_version& current);

// Puts a pending jar in place, checked again first as a download is. True when one is still
// pending afterwards (app.jar is still held), with its version in `pending`; a pending jar that
// fails its checks, is not newer than app.ver, or lacks a valid version is removed.
bool install_pending_jar(const char* dir, bs_version* pending);

} // namespace update
