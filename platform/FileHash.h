// MD5 and SHA-256 of a file's bytes, computed together as the bytes are read
// (OpenSSL's libcrypto, loaded with the first FileHash: CryptoLibrary).
#pragma once

#include <atomic>
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

    // The digests of the regular file at `path`, read to its end in blocks
    // of kFileBlockBytes: 0, EINVAL for what is not a regular file, the
    // errno of the open or a read, or ECANCELED once `stop` is seen set
    // between two blocks (checked before each, so that a large file is left
    // within one block's reading and hashing). The digests are empty unless
    // 0 is returned.
    static constexpr std::size_t kFileBlockBytes = std::size_t{1} << 18;
    int HashFile(const std::string& path, std::string& md5Hex, std::string& sha256Hex,
                 const std::atomic<bool>* stop = nullptr);

    // Why no digests can be computed (libcrypto cannot be loaded; they are
    // then empty), or "". Loads libcrypto.
    static std::string Unavailable();

    // The digests of bytes held in memory, in lowercase hex.
    static std::string Md5Hex(std::string_view bytes);
    static std::string Sha256Hex(std::string_view bytes);

private:
    int HashOpenFile(int fd, std::string& md5Hex, std::string& sha256Hex, const std::atomic<bool>* stop);

    evp_md_ctx_st* m_md5;
    evp_md_ctx_st* m_sha256;
};

}  // namespace tamboro
