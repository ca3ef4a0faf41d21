// Digests of charts already listed, computed on threads of their own (one
// per core) while the window stays usable: shown when a digest column is
// shown after a search that did not compute them.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tamboro {

class DigestFiller : public QObject {
    Q_OBJECT
public:
    struct Chart {
        uint32_t slot;     // where the window keeps its row
        std::string path;  // folder and file name, bytes as found
    };
    struct Digests {
        uint32_t slot;
        std::string md5;
        std::string sha256;
    };

    // Starts at once.
    explicit DigestFiller(std::vector<Chart> charts, QObject* parent = nullptr);
    // Stops and waits for the threads.
    ~DigestFiller() override;

    // The digests computed since the last call.
    std::vector<Digests> Take();
    bool IsRunning() const { return m_running.load() > 0; }

private:
    void Work();

    const std::vector<Chart> m_charts;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_running{0};
    std::mutex m_mutex;
    std::vector<Digests> m_done;
    std::vector<std::thread> m_threads;
};

}  // namespace tamboro
