#include "platform/CryptoLibrary.h"

#include "platform/DynamicLibrary.h"

namespace tamboro {
namespace {

constexpr const char* kSoname = "libcrypto.so.3";

}  // namespace

const CryptoLibrary& CryptoLibrary::Get()
{
    // Built once, by whichever thread comes first; the others wait for it.
    static const CryptoLibrary library;
    return library;
}

CryptoLibrary::CryptoLibrary()
{
    void* const library = DynamicLibrary::Open(kSoname, m_error);
    if (library == nullptr)
        return;
    const auto bind = [&](const char* name, auto& call) {
        return DynamicLibrary::Bind(library, kSoname, name, call, m_error);
    };
    static_cast<void>(bind("EVP_MD_fetch", mdFetch) && bind("EVP_MD_CTX_new", contextNew) &&
                      bind("EVP_MD_CTX_free", contextFree) && bind("EVP_DigestInit_ex", digestInit) &&
                      bind("EVP_DigestUpdate", digestUpdate) && bind("EVP_DigestFinal_ex", digestFinal));
}

}  // namespace tamboro
