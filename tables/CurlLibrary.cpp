#include "tables/CurlLibrary.h"

#include <dlfcn.h>

namespace tamboro {
namespace {

constexpr const char* kSoname = "libcurl.so.4";

std::string LastDlError()
{
    const char* text = ::dlerror();
    return text ? text : "unknown error";
}

// Sets `call` to the function `name` of `library`; false when it has none.
template <typename Function>
bool Bind(void* library, const char* name, Function& call)
{
    call = reinterpret_cast<Function>(::dlsym(library, name));
    return call != nullptr;
}

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
    void* library = ::dlopen(kSoname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        m_error = std::string("cannot load ") + kSoname + ": " + LastDlError();
        return;
    }
    CURLcode (*globalInit)(long) = nullptr;
    if (!Resolve(library) || !Bind(library, "curl_global_init", globalInit)) {
        m_error = std::string("cannot load ") + kSoname + ": " + LastDlError();
        return;
    }
    if (const CURLcode code = globalInit(CURL_GLOBAL_DEFAULT); code != CURLE_OK)
        m_error = std::string("cannot set up ") + kSoname + ": " + easyStrerror(code);
}

bool CurlLibrary::Resolve(void* library)
{
    return Bind(library, "curl_easy_init", easyInit) && Bind(library, "curl_easy_cleanup", easyCleanup) &&
           Bind(library, "curl_easy_reset", easyReset) && Bind(library, "curl_easy_setopt", easySetopt) &&
           Bind(library, "curl_easy_perform", easyPerform) && Bind(library, "curl_easy_getinfo", easyGetinfo) &&
           Bind(library, "curl_easy_strerror", easyStrerror);
}

}  // namespace tamboro
