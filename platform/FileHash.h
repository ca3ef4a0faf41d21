// MD5 and SHA-256 of a file's bytes, computed together as the bytes are read
// (OpenSSL's libcrypto, loaded with the first FileHash: CryptoLibrary).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// libcrypto's digest context, kept out of this header.
struct evp_md_ctx_st;

namespace tamboro {

class FileHash {
public:
    FileHash();
    ~FileHash();
    FileHash(const FileHash&) = delete;
    FileHash& operator=(const FileHash&) = delete;

    // Starts both digests afresh.
    void Begin();
    // Adds the next `size` bytes.
    void Update(const char* bytes, std::size_t size);
    // Ends both digests and writes them in lowercase hex.
    void Finish(std::string& md5Hex, std::string& sha256Hex);

    // Why no digests can be computed (libcrypto cannot be loaded; they are
    // then empty), or "". Loads libcrypto.
    static std::string Unavailable();

    // The digests of bytes held in memory, in lowercase hex.
    static std::string Md5Hex(std::string_view bytes);
    static std::string Sha256Hex(std::string_view bytes);

private:
    evp_md_ctx_st* m_md5;
    evp_md_ctx_st* m_sha256;
};

}  // namespace tamboro
