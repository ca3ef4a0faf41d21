// Fetches the bytes of one address: http and https through libcurl, file
// addresses from the disk. Bounded in every way a server could abuse: the
// size of a body, the redirects followed, the time to connect and in all.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "tables/TableResult.h"

namespace tamboro {

struct FetchedBody {
    // Where the bytes came from after redirects: relative addresses in them
    // resolve against this.
    std::string finalAddress;
    std::string bytes;
};

struct FetchLimits {
    std::size_t maxBytes = std::size_t{64} << 20;
    long maxRedirects = 8;
    long connectTimeoutMs = 15'000;
    long totalTimeoutMs = 60'000;
};

// Usable from any thread; one fetch at a time per object.
class TableFetcher {
public:
    explicit TableFetcher(FetchLimits limits = {});
    ~TableFetcher();
    TableFetcher(const TableFetcher&) = delete;
    TableFetcher& operator=(const TableFetcher&) = delete;

    const FetchLimits& Limits() const { return m_limits; }
    // A flag that, once set (from any thread), ends a transfer under way
    // within about 50 ms and fails every later fetch ("stopped"). It must
    // outlive the fetcher.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // `address` is an http, https or file address. A status other than 2xx
    // is a failure. Errors read "ADDRESS: reason".
    TableResult<FetchedBody> Fetch(const std::string& address);

private:
    TableResult<FetchedBody> FetchFile(const std::string& address);
    TableResult<FetchedBody> FetchHttp(const std::string& address);

    struct Curl;
    FetchLimits m_limits;
    const std::atomic<bool>* m_stop = nullptr;
    std::unique_ptr<Curl> m_curl;
};

}  // namespace tamboro
