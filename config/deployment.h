// Values a vendor compiles in (nothing is configured at run time). Each deployment is one small
// generated unit; the shipped launcher and the test launcher differ only in which they link.
#pragma once

namespace config {

// The update hosts in failover order, null-terminated.
extern const wchar_t* const server_list[];
// SHA-1 digest of the DER encoding of the certificate that signs the application jars.
extern const unsigned char signature[20];
// Key block handed to the application.
extern const unsigned char __k_dat[600];
// POSIX stand-in for the common application-data folder.
extern const char* const deployment_common_appdata;
// CA file the HTTPS transport trusts; empty for the system store.
extern const char* const deployment_ca_bundle;
// A transfer that receives nothing for this long ends as failed.
extern const unsigned deployment_receive_timeout_ms;
// Largest download, in bytes: a body announced or grown beyond it is refused.
extern const unsigned long long deployment_max_download;
// How long one transfer may take in all, in milliseconds.
extern const unsigned long long deployment_download_deadline_ms;
// Colour of the splash's download progress strip, 0xRRGGBB.
extern const unsigned deployment_progress_color;
// The vendor's VM options, one text split as launcher/vm_options.h says; empty for none.
extern const char* const deployment_vm_options;

} // namespace config
