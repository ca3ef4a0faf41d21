// OpenSSL's libcrypto, opened the first time a digest is computed instead of
// at every start: most runs compute none, and a cold start reads every
// library the program links (libcrypto: about 13 ms of a cold start here).
#pragma once

#include <cstddef>
#include <openssl/evp.h>
#include <string>

namespace tamboro {

class CryptoLibrary {
public:
    // The library, opened once for the process by the first call from any
    // thread. When it could not be, Error() says why and the calls below
    // must not be used.
    static const CryptoLibrary& Get();

    bool Loaded() const { return m_error.empty(); }
    // "cannot load libcrypto.so.3: ..." or the like; empty when loaded.
    const std::string& Error() const { return m_error; }

    // libcrypto's calls of the same names (EVP_MD_fetch, EVP_MD_CTX_new...).
    EVP_MD* (*mdFetch)(OSSL_LIB_CTX*, const char*, const char*) = nullptr;
    EVP_MD_CTX* (*contextNew)() = nullptr;
    void (*contextFree)(EVP_MD_CTX*) = nullptr;
    int (*digestInit)(EVP_MD_CTX*, const EVP_MD*, ENGINE*) = nullptr;
    int (*digestUpdate)(EVP_MD_CTX*, const void*, std::size_t) = nullptr;
    int (*digestFinal)(EVP_MD_CTX*, unsigned char*, unsigned int*) = nullptr;

private:
    CryptoLibrary();

    std::string m_error;
};

}  // namespace tamboro
