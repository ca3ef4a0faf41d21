#include "tables/CurlLibrary.h"

#include "platform/DynamicLibrary.h"

namespace tamboro {
namespace {

constexpr const char* kSoname = "libcurl.so.4";

}  // namespace

const CurlLibrary& CurlLibrary::Get()
{
    // Built once, by whichever thread comes first; the others wait for it.
    static const CurlLibrary library;
    return library;
}

CurlLibrary::CurlLibrary()
{
    // Kept open for the rest of the process: handles may live until its end.
    void* const library = DynamicLibrary::Open(kSoname, m_error);
    if (library == nullptr)
        return;
    CURLcode (*globalInit)(long) = nullptr;
    if (!Resolve(library) || !DynamicLibrary::Bind(library, kSoname, "curl_global_init", globalInit, m_error))
        return;
    if (const CURLcode code = globalInit(CURL_GLOBAL_DEFAULT); code != CURLE_OK)
        m_error = std::string("cannot set up ") + kSoname + ": " + easyStrerror(code);
}

bool CurlLibrary::Resolve(void* library)
{
    const auto bind = [&](const char* name, auto& call) {
        return DynamicLibrary::Bind(library, kSoname, name, call, m_error);
    };
    return bind("curl_easy_init", easyInit) && bind("curl_easy_cleanup", easyCleanup) &&
           bind("curl_easy_reset", easyReset) && bind("curl_easy_setopt", easySetopt) &&
           bind("curl_easy_perform", easyPerform) && bind("curl_easy_getinfo", easyGetinfo) &&
           bind("curl_easy_strerror", easyStrerror) && bind("curl_multi_init", multiInit) &&
           bind("curl_multi_cleanup", multiCleanup) && bind("curl_multi_add_handle", multiAddHandle) &&
           bind("curl_multi_remove_handle", multiRemoveHandle) && bind("curl_multi_perform", multiPerform) &&
           bind("curl_multi_poll", multiPoll) && bind("curl_multi_info_read", multiInfoRead);
}

}  // namespace tamboro
