// The class file of the signature-validating class loader, carried inside the executable and
// defined into the VM at start-up.
#pragma once

namespace classloader {

extern const unsigned char __svcl_dat[];
// The class file's real length, handed to the VM with the bytes.
extern const int __svcl_dat_length;

// The loader's nested classes, defined beside it by the same loader: the VM finds them there
// when the loader first uses them.
struct svcl_helper {
    const char* name; // internal name, "com/tolvane/classloader/...$..."
    const unsigned char* bytes;
    int length;
};
extern const svcl_helper __svcl_helpers[];
extern const int __svcl_helper_count;

} // namespace classloader
