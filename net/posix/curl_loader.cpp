// libcurl is opened on the first transfer instead of at program start. Linked the usual way, it
// and the thirty-odd libraries it pulls in (two TLS stacks, Kerberos, LDAP, ...) cost every
// start 10 to 20 ms of dynamic linking before main runs, also the starts that never go online.
// These definitions stand in for the libcurl entries the transport uses and forward to the real
// ones; without the library every call fails the way libcurl reports failure.
#define CURL_DISABLE_TYPECHECK // the type-checking macros would replace the definitions below
#include <cstdarg>
#include <curl/curl.h>
#include <dlfcn.h>

namespace {

void* curl_library() {
    static void* const library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    return library;
}

// The real entry `name`, looked up once per call site.
template <class F> F entry(const char* name) {
    void* library = curl_library();
    return library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    static const auto real = entry<CURLcode (*)(long)>("curl_global_init");
    return real ? real(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    static const auto real = entry<CURL* (*)()>("curl_easy_init");
    return real ? real() : nullptr;
}

// The signatures are curl's own, with an enumeration as the last named parameter; clang warns
// about va_start on such a parameter, but the enumerations are int-sized and curl's own
// definitions do the same.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif

CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    static const auto real = entry<CURLcode (*)(CURL*, CURLoption, ...)>("curl_easy_setopt");
    if (!real)
        return CURLE_FAILED_INIT;
    // The option number tells the type of its one argument.
    va_list arguments;
    va_start(arguments, option);
    CURLcode result;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        result = real(curl, option, va_arg(arguments, long));
    else if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB)
        result = real(curl, option, va_arg(arguments, curl_off_t));
    else
        result = real(curl, option, va_arg(arguments, void*));
    va_end(arguments);
    return result;
}

CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    static const auto real = entry<CURLcode (*)(CURL*, CURLINFO, ...)>("curl_easy_getinfo");
    if (!real)
        return CURLE_FAILED_INIT;
    // Every query takes a pointer to where the answer goes.
    va_list arguments;
    va_start(arguments, info);
    CURLcode result = real(curl, info, va_arg(arguments, void*));
    va_end(arguments);
    return result;
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

CURLcode curl_easy_pause(CURL* curl, int bitmask) {
    static const auto real = entry<CURLcode (*)(CURL*, int)>("curl_easy_pause");
    return real ? real(curl, bitmask) : CURLE_FAILED_INIT;
}

void curl_easy_cleanup(CURL* curl) {
    static const auto real = entry<void (*)(CURL*)>("curl_easy_cleanup");
    if (real)
        real(curl);
}

CURLM* curl_multi_init() {
    static const auto real = entry<CURLM* (*)()>("curl_multi_init");
    return real ? real() : nullptr;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    static const auto real = entry<CURLMcode (*)(CURLM*, CURL*)>("curl_multi_add_handle");
    return real ? real(multi, curl) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    static const auto real = entry<CURLMcode (*)(CURLM*, CURL*)>("curl_multi_remove_handle");
    return real ? real(multi, curl) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    static const auto real = entry<CURLMcode (*)(CURLM*, int*)>("curl_multi_perform");
    return real ? real(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned count, int timeout_ms,
                          int* ready) {
    static const auto real =
        entry<CURLMcode (*)(CURLM*, curl_waitfd[], unsigned, int, int*)>("curl_multi_poll");
    return real ? real(multi, extra, count, timeout_ms, ready) : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    static const auto real = entry<CURLMsg* (*)(CURLM*, int*)>("curl_multi_info_read");
    return real ? real(multi, left) : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    static const auto real = entry<CURLMcode (*)(CURLM*)>("curl_multi_cleanup");
    return real ? real(multi) : CURLM_INTERNAL_ERROR;
}

} // extern "C"
