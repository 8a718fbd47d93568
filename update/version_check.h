// The bootstrap version check against the update servers, and the purge that forces a new
// download at the next start.
#pragma once

// The update hosts in failover order (deployment value), null-terminated.
#include "launcher/deployment.h"

// Index into server_list of the server that answered; -1 until one does (offline mode).
extern int server;

// Tries the servers in order until one answers; returns the final value of `server`.
int locate_server();
// One check against one host: 1 when it answered, 0 when not. May replace app.jar and app.ver.
int get_bs_version(const wchar_t* host);
// Empties app.ver, so that the next online start downloads app.jar again.
void purge_downloaded_app_files();
