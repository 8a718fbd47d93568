// A download that ended early is kept for the next start: its bytes in a temporary of the
// launcher's own (made exclusively, never through a link), and beside it a record of what they
// are: the answered version, the server's validator and the whole body's length. A start that is
// answered the same version asks only for the rest; anything that does not fit the record is
// removed and the download starts over. Only for a launcher holding the data directory's lock.
#pragma once

#include "base/bounds.h"
#include "update/bs_version.h"
#include "update/fetch_sink.h"

#include <cstdio>

namespace update {

// The kept bytes: "app.jar.partial." and an unpredictable part. The record: "app.resume".
constexpr const char* resume_part = "app.jar.partial";
constexpr const char* resume_record = "app.resume";

// A download of `version` into the data directory `dir`: where its file is and, when it goes on
// from kept bytes, what to ask the server for.
struct partial_download {
    const char* dir = nullptr;
    bs_version version = app_ver_default;
    char path[base::app_path_size] = {};
    char validator[validator_size] = {};
    fetch_resume resume; // offset 0: a new download
};

// The file to download into, for reading and writing, positioned at its start: the kept bytes of
// `p.version` (with `p.resume` set to go on after them), else a new temporary, every other kept
// download removed. Null when none could be had.
std::FILE* open_partial(partial_download& p);

// Records the file as the kept bytes of `p.version`, sent with the validator and whole length
// of `head`; without a validator or a length nothing can be resumed and no record is kept.
void record_partial(const partial_download& p, const fetch_report& head);

// Removes the record and every kept download.
void drop_partials(const char* dir);

// Whether a record of kept bytes is there (what is in it is judged by open_partial).
bool has_partial_record(const char* dir);
// Removes the record only: the bytes are no longer kept, whoever holds their file decides.
void forget_partial(const char* dir);

} // namespace update
