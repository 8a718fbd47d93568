// The bootstrap version check against the update servers, and the purge that forces a new
// download at the next start. The data directory (`appDataPath`) and the server list are the
// caller's.
#pragma once

#include "update/download_progress.h"

namespace update {

// Tries the servers of the null-terminated `server_list` in order until one answers; returns the
// index of the one that answered (the launcher's `server`), or -1 when none did (offline mode).
// Also downloads a newer app.jar and commits it with app.ver; `progress`, when given, hears how
// the download comes along (the caller says what shows it).
int locate_server(const char* appDataPath, const wchar_t* const* server_list,
                  const fetch_progress* progress = nullptr);
// One check against one host: 1 when it answered, 0 when not. Also downloads and commits: may
// replace app.jar and app.ver.
int get_bs_version(const char* appDataPath, const wchar_t* host,
                   const fetch_progress* progress = nullptr);
// Empties app.ver, so that the next online start downloads app.jar again.
void purge_downloaded_app_files(const char* appDataPath);

} // namespace update
