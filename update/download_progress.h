// Who hears how the download of app.jar comes along: nobody until the launcher names someone.
// The update client does not know what shows it (the splash, today).
#pragma once

#include "update/https_fetch.h"

void set_download_progress(const fetch_progress& progress);
// What the download hands to the fetch: null while nobody listens.
const fetch_progress* download_progress();
