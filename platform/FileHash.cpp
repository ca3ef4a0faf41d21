#include "platform/FileHash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <openssl/evp.h>

#include "platform/CryptoLibrary.h"
#include "platform/Eintr.h"

namespace tamboro {
namespace {

const CryptoLibrary& Crypto()
{
    return CryptoLibrary::Get();
}

// Fetched once: looking an algorithm up at every start takes a lock of
// libcrypto's, which readers on every core would meet for every chart.
const EVP_MD* Md5()
{
    static const EVP_MD* const md = Crypto().Loaded() ? Crypto().mdFetch(nullptr, "MD5", nullptr) : nullptr;
    return md;
}

const EVP_MD* Sha256()
{
    static const EVP_MD* const md = Crypto().Loaded() ? Crypto().mdFetch(nullptr, "SHA256", nullptr) : nullptr;
    return md;
}

// Null when libcrypto cannot be loaded: the digests are then empty.
EVP_MD_CTX* NewContext()
{
    if (!Crypto().Loaded())
        return nullptr;
    EVP_MD_CTX* context = Crypto().contextNew();
    if (context == nullptr)
        throw std::bad_alloc();
    return context;
}

void Start(EVP_MD_CTX* context, const EVP_MD* md)
{
    // Fails only for want of memory, or with no such digest in the library.
    if (context != nullptr && (md == nullptr || Crypto().digestInit(context, md, nullptr) != 1))
        throw std::bad_alloc();
}

std::string Hex(const unsigned char* bytes, unsigned int size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(2 * std::size_t{size}, '\0');
    for (unsigned int i = 0; i < size; ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return hex;
}

std::string End(EVP_MD_CTX* context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (context != nullptr)
        Crypto().digestFinal(context, digest, &size);
    return Hex(digest, size);
}

}  // namespace

FileHash::FileHash() : m_md5(NewContext()), m_sha256(NewContext())
{}

FileHash::~FileHash()
{
    for (EVP_MD_CTX* const context : {m_md5, m_sha256}) {
        if (context != nullptr)
            Crypto().contextFree(context);
    }
}

std::string FileHash::Unavailable()
{
    return Crypto().Error();
}

void FileHash::Begin()
{
    Start(m_md5, Md5());
    Start(m_sha256, Sha256());
}

void FileHash::Update(const char* bytes, std::size_t size)
{
    if (m_md5 == nullptr)
        return;
    Crypto().digestUpdate(m_md5, bytes, size);
    Crypto().digestUpdate(m_sha256, bytes, size);
}

void FileHash::Finish(std::string& md5Hex, std::string& sha256Hex)
{
    md5Hex = End(m_md5);
    sha256Hex = End(m_sha256);
}

int FileHash::HashFile(const std::string& path, std::string& md5Hex, std::string& sha256Hex,
                       const std::atomic<bool>* stop)
{
    md5Hex.clear();
    sha256Hex.clear();
    // Opened without waiting, so that a FIFO put in the chart's place never
    // blocks; only a regular file is read.
    const int fd = RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0)
        return errno;
    const int error = HashOpenFile(fd, md5Hex, sha256Hex, stop);
    ::close(fd);
    return error;
}

int FileHash::HashOpenFile(int fd, std::string& md5Hex, std::string& sha256Hex, const std::atomic<bool>* stop)
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return EINVAL;
    const auto block = std::make_unique<char[]>(kFileBlockBytes);
    Begin();
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed))
            return ECANCELED;
        const ssize_t got = RetryOnEintr([&] { return ::read(fd, block.get(), kFileBlockBytes); });
        if (got < 0)
            return errno;
        if (got == 0)
            break;
        Update(block.get(), static_cast<std::size_t>(got));
    }
    Finish(md5Hex, sha256Hex);
    return 0;
}

std::string FileHash::Md5Hex(std::string_view bytes)
{
    FileHash hash;
    hash.Begin();
    hash.Update(bytes.data(), bytes.size());
    std::string md5, sha256;
    hash.Finish(md5, sha256);
    return md5;
}

std::string FileHash::Sha256Hex(std::string_view bytes)
{
    FileHash hash;
    hash.Begin();
    hash.Update(bytes.data(), bytes.size());
    std::string md5, sha256;
    hash.Finish(md5, sha256);
    return sha256;
}

}  // namespace tamboro
