// The WinINet calls of a GET (net/wininet.h), with the deployment's receive time-out on the
// session, so that no single read outlasts it and the fetch's own deadline, checked between
// reads, holds.
#include "net/wininet.h"

#include <string>
#include <windows.h>
#include <wininet.h>

// The status callback is handed to WinINet as it is: its type is INTERNET_STATUS_CALLBACK
// exactly, calling convention included, so no cast stands between them.
static_assert(sizeof(DWORD) == sizeof(unsigned long), "DWORD is unsigned long");

namespace wininet {

handle open_session(const wchar_t* user_agent, const transport::options& options) {
    HINTERNET session =
        InternetOpenW(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session) {
        DWORD ms = options.receive_timeout_ms;
        InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
    }
    return session;
}

bool set_connect_timeout(handle session, unsigned long ms) {
    DWORD value = ms;
    return InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &value, sizeof value) !=
           FALSE;
}

bool set_status_callback(handle session, status_callback callback) {
    INTERNET_STATUS_CALLBACK native = callback;
    return InternetSetStatusCallback(session, native) != INTERNET_INVALID_STATUS_CALLBACK;
}

// Whether the request ended on an https URL after the redirects WinINet followed. Windows
// refuses a redirect from https to http by default; Wine follows it, so the request's final URL
// is checked here and such an answer is never delivered.
static bool ends_on_https(HINTERNET request) {
    wchar_t url[INTERNET_MAX_URL_LENGTH + 1];
    DWORD length = sizeof url;
    if (!InternetQueryOptionW(request, INTERNET_OPTION_URL, url, &length))
        return false;
    return _wcsnicmp(url, L"https://", 8) == 0;
}

// A ranged request bypasses WinINet's cache: the bytes must come from the server, as asked for,
// and a part of a body must not be kept as if it were the whole.
constexpr DWORD uncached = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

handle open_url(handle session, const wchar_t* url, std::uintptr_t context, const char* headers) {
    // The header lines are 7-bit text, so widening each byte gives the same text.
    std::wstring wide;
    for (const char* p = headers; p && *p; ++p)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    HINTERNET request =
        InternetOpenUrlW(session, url, wide.empty() ? nullptr : wide.c_str(),
                         wide.empty() ? 0 : static_cast<DWORD>(wide.size()),
                         INTERNET_FLAG_SECURE | (wide.empty() ? 0 : uncached), context);
    if (request && !ends_on_https(request)) {
        InternetCloseHandle(request);
        SetLastError(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
        return nullptr;
    }
    return request;
}

bool query_info(handle request, unsigned long level, char* buffer, unsigned long* size,
                unsigned long* error) {
    DWORD length = *size;
    BOOL ok = HttpQueryInfoA(request, level, buffer, &length, nullptr);
    *size = length;
    if (!ok && error)
        *error = GetLastError();
    return ok != FALSE;
}

int status_code(handle request) {
    DWORD code = 0;
    DWORD length = sizeof code;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &length,
                        nullptr))
        return 0;
    return static_cast<int>(code);
}

bool read(handle request, void* buffer, unsigned long size, unsigned long* read) {
    DWORD count = 0;
    BOOL ok = InternetReadFile(request, buffer, size, &count);
    *read = count;
    return ok != FALSE;
}

bool close(handle internet) {
    return InternetCloseHandle(internet) != FALSE;
}

} // namespace wininet
