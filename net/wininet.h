// The operations a GET needs of WinINet, in its own terms. win32/wininet_calls.cpp makes each
// the Windows call named beside it; wininet_get.cpp drives them in the order the Windows service
// expects; unit tests put a scripted service in their place.
#pragma once

#include "callback.h"
#include "net/transport.h"

#include <cstdint>

namespace wininet {

using handle = void*;
// INTERNET_STATUS_CALLBACK: called with the Win32 calling convention.
using status_callback = void(VISTAL_CALLBACK*)(handle internet, std::uintptr_t context,
                                               unsigned long status, void* information,
                                               unsigned long length);

constexpr unsigned long query_custom = 65535;            // HTTP_QUERY_CUSTOM
constexpr unsigned long error_header_not_found = 12150;  // ERROR_HTTP_HEADER_NOT_FOUND
constexpr unsigned long error_insufficient_buffer = 122; // ERROR_INSUFFICIENT_BUFFER

// InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, no proxy, no bypass, 0), with the receive
// time-out of `options`: null on failure.
handle open_session(const wchar_t* user_agent, const transport::options& options);
// InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &ms, 4).
bool set_connect_timeout(handle session, unsigned long ms);
// InternetSetStatusCallback(session, callback).
bool set_status_callback(handle session, status_callback callback);
// InternetOpenUrlW(session, url, headers, INTERNET_FLAG_SECURE, context): sends the GET and
// receives the response head; null on failure. `headers` as in transport::options.
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

} // namespace wininet

// The value of a response header by name, newly allocated (free()), or null.
char* get_header(void* request, unsigned long level, const char* name);

// The session's status callback: takes no action on any notice.
void VISTAL_CALLBACK InternetStatusCallback(void* internet, std::uintptr_t context,
                                            unsigned long status, void* information,
                                            unsigned long length);
