// Digests of charts already listed, computed on threads of their own (one
// per core) while the window stays usable: shown when a digest column is
// shown after a search that did not compute them.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tamboro {

class DigestFiller : public QObject {
    Q_OBJECT
public:
    // A chart by its folder (ending in "/") and file name, bytes as found,
    // read at folder + file; and the slot the owner kept it in when it was
    // queued.
    struct Chart {
        uint32_t slot;
        std::string folder;
        std::string file;
    };
    struct Digests {
        Chart chart;
        std::string md5;
        std::string sha256;
    };
    // How long the owner's thread waits for the threads when the work is
    // ended: each sees the stop between two blocks of the file it hashes.
    static constexpr int kStopWaitMs = 100;

    // Starts at once.
    explicit DigestFiller(std::vector<Chart> charts, QObject* parent = nullptr);
    // Stops, waiting at most kStopWaitMs for the threads; a thread still
    // inside a read then (a device that does not answer) ends on its own
    // and its digests are dropped.
    ~DigestFiller() override;

    // The digests computed since the last call.
    std::vector<Digests> Take();
    bool IsRunning() const;

private:
    // The work, held by the threads as well: a thread left to end on its
    // own outlives this object.
    struct Work;
    std::shared_ptr<Work> m_work;
    std::vector<std::thread> m_threads;
};

}  // namespace tamboro
