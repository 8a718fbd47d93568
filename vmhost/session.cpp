#include "vmhost/session.h"

namespace vmhost {

namespace {

// The session handed over at start-up (hand_to_natives).
session* anchor = nullptr;

} // namespace

void hand_to_natives(session& vm) {
    anchor = &vm;
}

session& natives_session() {
    return *anchor;
}

} // namespace vmhost
