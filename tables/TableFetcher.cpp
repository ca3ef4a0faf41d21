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
    // A transfer stopped while the server's name is being resolved leaves
    // the resolver's thread to end on its own instead of waiting for it.
    curl.easySetopt(handle, CURLOPT_QUICK_EXIT, 1L);
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

// How often a transfer under way looks at the stop flag.
constexpr int kStopCheckMs = 50;

bool Stopped(const std::atomic<bool>* stop)
{
    return stop != nullptr && stop->load();
}

// Runs the transfer of `handle` in `multi` until it ends or the stop flag is
// seen set (CURLE_ABORTED_BY_CALLBACK).
CURLcode RunTransfer(const CurlLibrary& curl, CURLM* multi, CURL* handle, const std::atomic<bool>* stop)
{
    if (curl.multiAddHandle(multi, handle) != CURLM_OK)
        return CURLE_FAILED_INIT;
    CURLcode code = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl.multiPerform(multi, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (const CURLMsg* message = curl.multiInfoRead(multi, &left)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == handle)
                    code = message->data.result;
            }
            break;
        }
        if (Stopped(stop))
            break;
        curl.multiPoll(multi, nullptr, 0, kStopCheckMs, nullptr);
    }
    curl.multiRemoveHandle(multi, handle);
    return code;
}

TableFailure::Kind KindOfCurlError(CURLcode code)
{
    using Kind = TableFailure::Kind;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Kind::HostNotFound;
    case CURLE_COULDNT_CONNECT:
        return Kind::CannotConnect;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
        return Kind::SecureConnection;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return Kind::NotAnAddress;
    default:
        return Kind::Network;
    }
}

struct TransferFailure {
    std::string reason;
    TableFailure failure;
};

// Why a transfer gave no table's file, or nothing when it did.
std::optional<TransferFailure> TransferError(const CurlLibrary& curl, CURL* handle, CURLcode code, const BodySink& sink,
                                             const FetchLimits& limits, const char* errorBuffer)
{
    using Kind = TableFailure::Kind;
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        return TransferFailure{"larger than " + SizeText(limits.maxBytes),
                               {Kind::TooLarge, static_cast<long long>(limits.maxBytes)}};
    if (code == CURLE_TOO_MANY_REDIRECTS)
        return TransferFailure{"more than " + std::to_string(limits.maxRedirects) + " redirects",
                               {Kind::TooManyRedirects, limits.maxRedirects}};
    long status = 0;
    curl.easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_HTTP_RETURNED_ERROR || (code == CURLE_OK && (status < 200 || status > 299)))
        return TransferFailure{"HTTP status " + std::to_string(status), {Kind::HttpStatus, status}};
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return TransferFailure{"stopped", {Kind::Stopped, 0}};
    if (code == CURLE_OPERATION_TIMEDOUT)
        return TransferFailure{std::string("timed out (") + errorBuffer + ")", {Kind::TimedOut, 0}};
    if (code != CURLE_OK)
        return TransferFailure{errorBuffer[0] ? std::string(errorBuffer) : std::string(curl.easyStrerror(code)),
                               {KindOfCurlError(code), code}};
    return std::nullopt;
}

}  // namespace

// The client kept from fetch to fetch (its connections are reused): one
// transfer at a time, in a multi handle of its own so that the stop flag is
// looked at every kStopCheckMs whatever the server does.
struct TableFetcher::Curl {
    CURL* handle = nullptr;
    CURLM* multi = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    ~Curl()
    {
        // Handles were only made with the library loaded.
        if (handle)
            CurlLibrary::Get().easyCleanup(handle);
        if (multi)
            CurlLibrary::Get().multiCleanup(multi);
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
    return TableResult<FetchedBody>::Failed(Failure(address, "not an http, https or file address"),
                                            {TableFailure::Kind::NotAnAddress, 0});
}

TableResult<FetchedBody> TableFetcher::FetchFile(const std::string& address)
{
    using Result = TableResult<FetchedBody>;
    using Kind = TableFailure::Kind;
    const auto path = PathOfFileAddress(address);
    if (!path)
        return Result::Failed(Failure(address, "a file address of another host"), {Kind::NotAnAddress, 0});
    // Opened without waiting, so that a FIFO or device never blocks; only files are read.
    const int fd = RetryOnEintr([&] { return ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        const int error = errno;
        return Result::Failed(Failure(*path, std::strerror(error)), {Kind::FileError, error});
    }
    std::string bytes;
    const int error = ReadWholeFile(fd, m_limits.maxBytes, bytes);
    ::close(fd);
    if (error == EFBIG)
        return Result::Failed(Failure(*path, "larger than " + SizeText(m_limits.maxBytes)),
                              {Kind::TooLarge, static_cast<long long>(m_limits.maxBytes)});
    if (error == EINVAL)
        return Result::Failed(Failure(*path, "not a file"), {Kind::NotAFile, 0});
    if (error != 0)
        return Result::Failed(Failure(*path, std::strerror(error)), {Kind::FileError, error});
    return Result::Ok(FetchedBody{address, std::move(bytes)});
}

TableResult<FetchedBody> TableFetcher::FetchHttp(const std::string& address)
{
    using Result = TableResult<FetchedBody>;
    using Kind = TableFailure::Kind;
    const CurlLibrary& curl = CurlLibrary::Get();
    if (!curl.Loaded())
        return Result::Failed(Failure(address, curl.Error()), {Kind::NoHttpClient, 0});
    if (!m_curl->handle)
        m_curl->handle = curl.easyInit();
    if (!m_curl->multi)
        m_curl->multi = curl.multiInit();
    CURL* handle = m_curl->handle;
    if (!handle || !m_curl->multi)
        return Result::Failed(Failure(address, "cannot start an HTTP client"), {Kind::NoHttpClient, 0});
    if (Stopped(m_stop))
        return Result::Failed(Failure(address, "stopped"), {Kind::Stopped, 0});
    curl.easyReset(handle);
    BodySink sink;
    sink.maxBytes = m_limits.maxBytes;
    m_curl->error[0] = '\0';
    const std::string request = RequestAddress(address);
    SetTransferOptions(curl, handle, request, m_limits, sink, m_curl->error);
    const CURLcode code = RunTransfer(curl, m_curl->multi, handle, m_stop);
    if (auto error = TransferError(curl, handle, code, sink, m_limits, m_curl->error))
        return Result::Failed(Failure(address, error->reason), error->failure);
    const char* finalAddress = nullptr;
    curl.easyGetinfo(handle, CURLINFO_EFFECTIVE_URL, &finalAddress);
    return Result::Ok(FetchedBody{finalAddress ? finalAddress : request, std::move(sink.bytes)});
}

}  // namespace tamboro
