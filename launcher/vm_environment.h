// The VM takes its options from the launcher alone: nothing in the environment may add to them.
#pragma once

namespace launcher {

// Removes every environment variable the Java runtime reads options, or a library to load, from,
// and writes each removal to the support log. At start-up, before any other thread runs.
void clear_vm_environment();

} // namespace launcher
