// Switchable-graphics drivers look these up by name in the export table of the process's
// executable and, when they read nonzero, run the process (and with it the Java VM's rendering)
// on the high-performance graphics processor. Nothing in the launcher reads them; vistal.def
// exports them.
#include <cstdint>

extern "C" {
std::uint32_t AmdPowerXpressRequestHighPerformance = 1;
std::uint32_t NvOptimusEnablement = 1;
}
