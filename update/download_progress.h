// How a download into a file comes along, for whoever shows it (the splash's strip, today): a
// progress sink that the caller hands down with the download. The update client does not know
// what shows it.
#pragma once

#include <cstdint>

namespace update {

// `report` is called after every block written with the bytes so far and the announced length
// (0: none announced), and once more at the end with `complete` or `failed`. Only a body that
// may become the one kept reports (a 200, or a 206 that continues the kept bytes).
enum class fetch_stage { running, complete, failed };
struct fetch_progress {
    void (*report)(void* context, fetch_stage stage, std::uint64_t received,
                   std::uint64_t length) = nullptr;
    void* context = nullptr;
};

} // namespace update
