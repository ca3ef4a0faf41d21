// The charts a parallel scan has walked past but not yet listed: the walk's
// steps in order, the chart reads handed to reader threads, and the bounds
// that keep all of it small however large a folder or a library is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DirectoryReader.h"
#include "search/ChartHashes.h"
#include "search/ChartValuesRead.h"
#include "search/FolderSlots.h"
#include "search/HeaderTags.h"
#include "search/ReadAheadLimits.h"

namespace tamboro {

// One folder whose charts are read relative to its still open descriptor.
// It holds one of the scan's folder slots until the last chunk lets go of it.
struct FolderCharts {
    FolderCharts(DirectoryListing open, FolderSlots& heldIn) : listing(std::move(open)), slots(heldIn) {}
    ~FolderCharts()
    {
        listing.Close();
        slots.Release();
    }
    FolderCharts(const FolderCharts&) = delete;
    FolderCharts& operator=(const FolderCharts&) = delete;

    DirectoryListing listing;
    std::vector<uint32_t> charts;  // indexes into listing.Entries(), in listing order
    std::string path;              // with an index only: the folder's path
    // With an index that knows every chart of the folder: each chart as
    // the walk looked at it, in chart order (else empty).
    std::vector<ChartLook> looks;
    // With an index that knows every chart of the folder: what it keeps of
    // each, in chart order (else empty).
    std::vector<KeptChartRef> kept;
    FolderSlots& slots;
};

// A run of consecutive charts of one folder, read together by one thread.
struct ChartChunk {
    enum State : int {
        kHeld,     // not handed to the readers: read only if it is listed
        kQueued,   // waiting for a reader
        kClaimed,  // being read
        kDone,     // values hold what a reader read
    };

    std::shared_ptr<const FolderCharts> folder;
    uint32_t begin = 0;
    uint32_t end = 0;
    std::atomic<int> state{kHeld};
    // Set once the charts will not be listed: a reader stops reading them.
    std::atomic<bool> dropped{false};
    std::vector<TagTable> values;  // of charts [begin, end)
    // Their digests, when the scan computes them (else empty).
    std::vector<ChartHashes> hashes;
    // Once done: charts [begin, readEnd) were read by a reader. The lister
    // reads the rest, which a reader left for want of room or descriptors.
    uint32_t readEnd = 0;
    // Guarded by the window: bytes of the values read that are part of
    // the window's total, and bytes reserved for the chart being read.
    std::size_t bytes = 0;
    std::size_t reserved = 0;

    // Takes the chunk for reading if nobody has: true when the caller reads it.
    bool Claim()
    {
        int expected = state.load();
        while (expected == kHeld || expected == kQueued) {
            if (state.compare_exchange_weak(expected, kClaimed))
                return true;
        }
        return false;
    }
};

// One step of the walk, in the walk's order. A folder is named by its own
// name only (the whole root path for the first): steps cost the bytes of
// one name each, however deep the tree, and the lister builds the path.
struct ScanStep {
    enum Kind { kEntered, kCharts, kFinished, kEnd };
    Kind kind = kEnd;
    std::string name;                   // kEntered: the folder's name and "/"
    std::shared_ptr<ChartChunk> chunk;  // kCharts
    int error = 0;                      // kEnd: the walk's result
};

class ReadAheadWindow {
public:
    explicit ReadAheadWindow(ReadAheadLimits limits);

    // A walk hands its steps over in batches of about this many chunks (or
    // this many steps), so that threads meet once per batch, not per chart.
    static constexpr std::size_t kBatchChunks = 16;
    static constexpr std::size_t kBatchSteps = 256;

    // Walk side: appends `steps` once the window is below its bounds (it may
    // pass them by one batch), and clears `steps`. Chunks in state kQueued
    // also go to the readers. Once the window is abandoned the steps are
    // dropped at once.
    void Push(std::vector<ScanStep>& steps, std::size_t chunks);
    // Whether a walk holding this many steps and chunks should push them.
    bool BatchFull(std::size_t steps, std::size_t chunks) const;

    // Lister side: moves every step there is into `out`, waiting for one.
    void PopAll(std::deque<ScanStep>& out);
    // Waits until a chunk claimed by a reader is done.
    void AwaitDone(const ChartChunk& chunk);
    // The lister is through with a chunk, listed or not.
    void Retire(ChartChunk& chunk);

    // Reader side: counts a reader thread about to start, and takes it back
    // when the thread could not be started.
    void AddReader();
    void RemoveReader();
    // A chunk claimed for the caller with the most bytes one chart's values
    // can hold reserved for its first chart, or null once closed.
    std::shared_ptr<ChartChunk> NextWork();
    // The first chart of the chunk, now open, can keep at most `need`
    // bytes (its size): the reservation shrinks to that.
    void Fit(ChartChunk& chunk, std::size_t need);
    // The chart read last kept `used` bytes: they replace its reservation.
    // Then reserves `need` bytes for the next chart (open already, so that
    // its size is known), or returns false when the window has no room for
    // them (nothing is reserved then).
    bool ReserveNext(ChartChunk& chunk, std::size_t used, std::size_t need);
    // The most one chart may reserve: its size, if smaller, is enough.
    std::size_t ChartBytes() const { return m_chartBytes; }
    // The reader is through with the chunk; the chart read last kept `used`
    // bytes.
    void MarkDone(ChartChunk& chunk, std::size_t used);
    // A chart's bytes had to come from the device: put every reader to work
    // for a while, so that the device always has reads waiting.
    void NoteDeviceWait();

    // No more work: readers end.
    void Close();
    // The lister left early: the walk stops pushing, readers end.
    void Abandon();
    bool Abandoned() const { return m_abandoned.load(); }

private:
    bool HasRoom() const;
    bool HasByteRoom() const { return m_bytes + m_chartBytes <= m_limits.bytes; }
    void Settle(ChartChunk& chunk, std::size_t used);
    int ReaderLimit() const;
    void WakeReaders();
    void WakeAllReaders();

    // Chunks done before the readers fall back to one per core, counted from
    // the last read that waited for the device.
    static constexpr std::size_t kDeviceWaitSpan = 2 * kBatchChunks;

    const ReadAheadLimits m_limits;
    const int m_readersWhenCached;
    const std::size_t m_chartBytes;
    std::size_t m_deviceWaitChunks = 0;
    std::mutex m_mutex;
    std::condition_variable m_walkerCv;
    std::condition_variable m_listerCv;
    std::deque<ScanStep> m_steps;
    // Not owned: a chunk the lister is through with before a reader took it
    // is gone, and its folder closed, at once.
    std::deque<std::weak_ptr<ChartChunk>> m_work;
    std::size_t m_chunks = 0;
    std::size_t m_bytes = 0;
    bool m_walkerWaiting = false;
    bool m_listerWaiting = false;
    int m_readers = 0;
    // A reader waiting for work, woken by its own signal.
    struct IdleReader {
        std::condition_variable cv;
        bool woken = false;
    };
    std::vector<IdleReader*> m_idle;  // the one idle the shortest time last
    bool m_closed = false;
    std::atomic<bool> m_abandoned{false};
};

}  // namespace tamboro
