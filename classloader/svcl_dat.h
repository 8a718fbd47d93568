// The class file of the signature-validating class loader, carried inside the executable and
// defined into the VM at start-up.
#pragma once

extern const unsigned char __svcl_dat[];
// The class file's real length, handed to the VM with the bytes.
extern const int __svcl_dat_length;
