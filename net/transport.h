// The operations one HTTPS fetch needs of the internet service, shaped after WinINet. The
// Windows build implements them over WinINet (win32/), the Linux build over libcurl (posix/),
// unit tests over a scripted fake; linking decides. The deployment's bounds come in with the
// session, so this room knows nothing of how the program is deployed.
#pragma once

#include "callback.h"

#include <cstdint>

namespace transport {

using handle = void*;
// INTERNET_STATUS_CALLBACK: called with the Win32 calling convention.
using status_callback = void(VISTAL_CALLBACK*)(handle internet, std::uintptr_t context,
                                               unsigned long status, void* information,
                                               unsigned long length);

constexpr unsigned long query_custom = 65535;            // HTTP_QUERY_CUSTOM
constexpr unsigned long error_header_not_found = 12150;  // ERROR_HTTP_HEADER_NOT_FOUND
constexpr unsigned long error_insufficient_buffer = 122; // ERROR_INSUFFICIENT_BUFFER

// What every request of a session keeps to.
struct session_options {
    unsigned receive_timeout_ms = 30000; // a request that receives nothing this long fails
    const char* ca_bundle = nullptr;     // CA file, or hashed directory, trusted instead of
                                         // the system store
    unsigned long long max_download = 0; // no body beyond this many bytes is taken in
    unsigned long long deadline_ms = 0;  // no request outlasts this
};

// InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, no proxy, no bypass, 0), with the receive
// time-out of `options`: null on failure.
handle open_session(const wchar_t* user_agent, const session_options& options);
// InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, 4).
bool set_connect_timeout(handle session, unsigned long ms);
// InternetSetStatusCallback(session, callback).
bool set_status_callback(handle session, status_callback callback);
// InternetOpenUrlW(session, url, headers, INTERNET_FLAG_SECURE, context): sends the GET and
// receives the response head; null on failure. `headers`, when given, are request header lines
// each ended by CRLF (a resumed download's Range and If-Range); 7-bit text.
handle open_url(handle session, const wchar_t* url, std::uintptr_t context,
                const char* headers = nullptr);
// HttpQueryInfoA(request, level, buffer, size, no index): `buffer` holds the header name on
// entry and the value on success. On failure `error` is error_header_not_found, or
// error_insufficient_buffer with `size` set to what the value needs, or another code.
bool query_info(handle request, unsigned long level, char* buffer, unsigned long* size,
                unsigned long* error);
// The response's status code; 0 when there is none.
int status_code(handle request);
// InternetReadFile(request, buffer, size, read): at most `size` bytes; 0 read at the body's end.
bool read(handle request, void* buffer, unsigned long size, unsigned long* read);
// InternetCloseHandle.
bool close(handle internet);

} // namespace transport
