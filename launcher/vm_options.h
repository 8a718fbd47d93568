// The vendor's own VM options: one compiled-in text, split into the options the VM is given
// after its four fixed ones.
#pragma once

#include <string>
#include <vector>

namespace launcher {

// Splits `text` at runs of blanks (spaces, tabs, line ends). Double quotes keep blanks inside
// one option and are dropped ("-Dapp.title=My App" in quotes is one option); \" is a quote of the
// option itself. Any other backslash stands for itself, so Windows paths need no doubling. An
// unclosed quote runs to the end of the text (the build refuses one). Empty options are dropped;
// null or blank text gives none.
std::vector<std::string> split_vm_options(const char* text);

} // namespace launcher
