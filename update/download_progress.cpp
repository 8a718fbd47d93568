#include "update/download_progress.h"

namespace {

fetch_progress listener;

} // namespace

void set_download_progress(const fetch_progress& progress) {
    listener = progress;
}

const fetch_progress* download_progress() {
    return listener.report ? &listener : nullptr;
}
