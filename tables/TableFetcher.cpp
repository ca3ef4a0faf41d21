#include "tables/TableFetcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/Eintr.h"
#include "tables/CurlLibrary.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

std::string SizeText(std::size_t bytes)
{
    if (bytes % (std::size_t{1} << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

std::string Failure(const std::string& address, const std::string& reason)
{
    return address + ": " + reason;
}

// Where a transfer's body goes; stops the transfer past the size cap.
struct BodySink {
    std::string bytes;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& sink = *static_cast<BodySink*>(user);
    const std::size_t length = size * count;
    if (length > sink.maxBytes - sink.bytes.size()) {
        sink.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    sink.bytes.append(data, length);
    return length;
}

// Reads a regular file to its end, not to the size it had when opened (a
// file may grow meanwhile): 0, EFBIG past `maxBytes`, EINVAL for what is not
// a regular file, or the errno of the read.
int ReadWholeFile(int fd, std::size_t maxBytes, std::string& bytes)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return errno;
    if (!S_ISREG(info.st_mode))
        return EINVAL;
    if (static_cast<std::size_t>(info.st_size) > maxBytes)
        return EFBIG;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        if (static_cast<std::size_t>(got) > maxBytes - bytes.size())
            return EFBIG;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

void SetTransferOptions(const CurlLibrary& curl, CURL* handle, const std::string& request, const FetchLimits& limits,
                        BodySink& sink, char* errorBuffer)
{
    curl.easySetopt(handle, CURLOPT_URL, request.c_str());
    // Only the web: a table on a server never makes Tamboro read a local file.
    curl.easySetopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easySetopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl.easySetopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easySetopt(handle, CURLOPT_MAXREDIRS, limits.maxRedirects);
    curl.easySetopt(handle, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl.easySetopt(handle, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl.easySetopt(handle, CURLOPT_NOSIGNAL, 1L);
    // An error status ends the transfer before its body.
    curl.easySetopt(handle, CURLOPT_FAILONERROR, 1L);
    curl.easySetopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    // Compressed bodies are welcome; the cap counts the bytes once decoded.
    curl.easySetopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl.easySetopt(handle, CURLOPT_USERAGENT, "Tamboro/" TAMBORO_VERSION);
    curl.easySetopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl.easySetopt(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl.easySetopt(handle, CURLOPT_WRITEDATA, &sink);
}

// Called by libcurl during a transfer (at least once a second): a non-zero
// answer ends it.
int StopRequested(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

// Why a transfer gave no table's file, or nothing when it did.
std::optional<std::string> TransferError(const CurlLibrary& curl, CURL* handle, CURLcode code, const BodySink& sink,
                                         const FetchLimits& limits, const char* errorBuffer)
{
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        return "larger than " + SizeText(limits.maxBytes);
    if (code == CURLE_TOO_MANY_REDIRECTS)
        return "more than " + std::to_string(limits.maxRedirects) + " redirects";
    long status = 0;
    curl.easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && (status < 200 || status > 299)))
        return "HTTP status " + std::to_string(status);
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return std::string("stopped");
    if (code == CURLE_OPERATION_TIMEDOUT)
        return std::string("timed out (") + errorBuffer + ")";
    if (code != CURLE_OK)
        return errorBuffer[0] ? std::string(errorBuffer) : std::string(curl.easyStrerror(code));
    return std::nullopt;
}

}  // namespace

struct TableFetcher::Curl {
    CURL* handle = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    ~Curl()
    {
        // A handle was only made with the library loaded.
        if (handle)
            CurlLibrary::Get().easyCleanup(handle);
    }
};

TableFetcher::TableFetcher(FetchLimits limits) : m_limits(limits), m_curl(std::make_unique<Curl>())
{}

TableFetcher::~TableFetcher() = default;

TableResult<FetchedBody> TableFetcher::Fetch(const std::string& address)
{
    const std::string scheme = SchemeOf(address);
    if (scheme == "file")
        return FetchFile(address);
    if (scheme == "http" || scheme == "https")
        return FetchHttp(address);
    return TableResult<FetchedBody>::Failed(Failure(address, "not an http, https or file address"));
}

TableResult<FetchedBody> TableFetcher::FetchFile(const std::string& address)
{
    using Result = TableResult<FetchedBody>;
    const auto path = PathOfFileAddress(address);
    if (!path)
        return Result::Failed(Failure(address, "a file address of another host"));
    // Opened without waiting, so that a FIFO or device never blocks; only files are read.
    const int fd = RetryOnEintr([&] { return ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0)
        return Result::Failed(Failure(*path, std::strerror(errno)));
    std::string bytes;
    const int error = ReadWholeFile(fd, m_limits.maxBytes, bytes);
    ::close(fd);
    if (error == EFBIG)
        return Result::Failed(Failure(*path, "larger than " + SizeText(m_limits.maxBytes)));
    if (error == EINVAL)
        return Result::Failed(Failure(*path, "not a file"));
    if (error != 0)
        return Result::Failed(Failure(*path, std::strerror(error)));
    return Result::Ok(FetchedBody{address, std::move(bytes)});
}

TableResult<FetchedBody> TableFetcher::FetchHttp(const std::string& address)
{
    using Result = TableResult<FetchedBody>;
    const CurlLibrary& curl = CurlLibrary::Get();
    if (!curl.Loaded())
        return Result::Failed(Failure(address, curl.Error()));
    if (!m_curl->handle)
        m_curl->handle = curl.easyInit();
    CURL* handle = m_curl->handle;
    if (!handle)
        return Result::Failed(Failure(address, "cannot start an HTTP client"));
    curl.easyReset(handle);
    BodySink sink;
    sink.maxBytes = m_limits.maxBytes;
    m_curl->error[0] = '\0';
    const std::string request = RequestAddress(address);
    SetTransferOptions(curl, handle, request, m_limits, sink, m_curl->error);
    if (m_stop != nullptr) {
        if (m_stop->load())
            return Result::Failed(Failure(address, "stopped"));
        curl.easySetopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl.easySetopt(handle, CURLOPT_XFERINFOFUNCTION, &StopRequested);
        curl.easySetopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(m_stop));
    }
    const CURLcode code = curl.easyPerform(handle);
    if (const auto error = TransferError(curl, handle, code, sink, m_limits, m_curl->error))
        return Result::Failed(Failure(address, *error));
    const char* finalAddress = nullptr;
    curl.easyGetinfo(handle, CURLINFO_EFFECTIVE_URL, &finalAddress);
    return Result::Ok(FetchedBody{finalAddress ? finalAddress : request, std::move(sink.bytes)});
}

}  // namespace tamboro
