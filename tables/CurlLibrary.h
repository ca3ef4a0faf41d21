// libcurl, opened at the first web fetch instead of at every start: linked
// in, it brings some thirty libraries (TLS, Kerberos, LDAP, SSH...) into each
// process, and most runs of tamboro-scan and the window fetch nothing.
#pragma once

#include <curl/curl.h>

#include <string>

namespace tamboro {

class CurlLibrary {
public:
    // The library, opened and set up (curl_global_init) once for the process
    // by the first call from any thread. When it could not be, Error() says
    // why and the calls below must not be used.
    static const CurlLibrary& Get();

    bool Loaded() const { return m_error.empty(); }
    // "cannot load libcurl.so.4: ..." or the like; empty when loaded.
    const std::string& Error() const { return m_error; }

    // libcurl's calls of the same names. Called through these members (never
    // by the names themselves, which curl.h may define as checking macros).
    CURL* (*easyInit)() = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    void (*easyReset)(CURL*) = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyPerform)(CURL*) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easyStrerror)(CURLcode) = nullptr;
    CURLM* (*multiInit)() = nullptr;
    CURLMcode (*multiCleanup)(CURLM*) = nullptr;
    CURLMcode (*multiAddHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiRemoveHandle)(CURLM*, CURL*) = nullptr;
    CURLMcode (*multiPerform)(CURLM*, int*) = nullptr;
    CURLMcode (*multiPoll)(CURLM*, struct curl_waitfd*, unsigned int, int, int*) = nullptr;
    CURLMsg* (*multiInfoRead)(CURLM*, int*) = nullptr;

private:
    CurlLibrary();
    bool Resolve(void* library);

    std::string m_error;
};

}  // namespace tamboro
