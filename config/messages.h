// Every text the program shows the user, byte for byte, and where each one goes. The launcher
// decides when one is shown (launcher/report.h); the rooms below only name them.
#pragma once

#include "config/identity.h"

#include <cstdint>

namespace messages {

struct message {
    const char* text;
    const char* caption;
};

// --- start-up: each ends the process with exit code 1 -----------------------------------------
// Each names the vendor's company (VISTAL_COMPANY), its last word on a line of its own.
constexpr message c_runtime = {"Unable to load Microsoft\nruntime C library.\n\nPlease contact " //
                               VISTAL_ID_SUPPORT_CONTACT " technical support.",
                               "Error"};
constexpr message vm_library = {"Unable to load Java VM DLL.\n\nPlease contact " //
                                VISTAL_ID_SUPPORT_CONTACT " technical support.",
                                "Error"};
constexpr message vm_creation = {"Unable to create Java VM\n\nPlease contact " //
                                 VISTAL_ID_SUPPORT_CONTACT " technical support.",
                                 "Warning"};

// --- the shell's answer to shexec: a warning for thirteen of its result codes -----------------
constexpr const char* shell_caption = "Warning";
// The warning for a shell result code, or null for codes that have none (success included).
constexpr const char* shell_warning(std::uint32_t code) {
    switch (code) {
    case 0:
        return "Your operating system is out of memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "Your operating system denied access to the specified file.";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .exe file is invalid (non-Win32 .exe or error in .exe image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return "The file name association is incomplete or invalid.";
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were "
               "being processed.";
    case 31:
        return "There is no application associated with the given file name extension.";
    case 32:
        return "The specified DLL was not found.";
    default:
        return nullptr;
    }
}

// --- once the VM exists: the application's fatal error, shown by the VM's own dialog ----------
// The text is followed by the exception's message (or its toString()).
constexpr message corrupted_files = {
    "\nOne or more application files\nmay have been corrupted.\n\nPlease restart the "
    "application and if the\nproblem persists, reinstall.\n\n",
    "Error"};

// --- diagnostics: a set-up step of the loader bridge that found its input missing -------------
constexpr const char* assertion_format = "Assertion failed! %s, line=%d\n";

} // namespace messages
