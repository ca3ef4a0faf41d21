// Reading the header lines of one chart file (the tags of kHeaderTags).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "platform/CachedRead.h"
#include "platform/FileHash.h"
#include "search/ChartHashes.h"
#include "search/HeaderTags.h"

namespace tamboro {

// Reads charts with line rules of a text-mode stream: a line ends at LF, a CR
// directly before that LF is not part of the line, a lone CR is, and a
// Ctrl-Z byte ends the file. A line whose first bytes equal a tag (ASCII
// letters compared without regard to case) gives that tag the rest of the
// line as its value, as raw bytes (at most kMaxValueLength of them); the
// last such line in the file wins. Asked for, the reader also hashes the
// file's whole bytes in the same read (past a Ctrl-Z too).
//
// The file is read in large blocks into one reused buffer; only lines that
// can be header lines are looked at, so a reader is cheap to call for tens
// of thousands of files. One reader per thread.
class HeaderReader {
public:
    static constexpr std::size_t kDefaultBlockSize = 256 * 1024;
    // Values are cut after this many bytes: real titles are a few dozen
    // bytes, and a file that is one endless "#TITLE " line must not take
    // the memory of the machine with it.
    static constexpr std::size_t kMaxValueLength = 64 * 1024;

    explicit HeaderReader(std::size_t blockSize = kDefaultBlockSize);

    // A chart file opened for reading; closed when this goes.
    class OpenFile {
    public:
        OpenFile() = default;
        OpenFile(OpenFile&& other) noexcept
            : m_fd(std::exchange(other.m_fd, -1)), m_error(other.m_error), m_status(other.m_status),
              m_bmson(other.m_bmson)
        {}
        OpenFile& operator=(OpenFile&&) = delete;
        ~OpenFile();

        bool IsOpen() const { return m_fd >= 0; }
        // EMFILE/ENFILE when no descriptor was free to open it, else 0.
        int Error() const { return m_error; }
        // Its size when it was opened (0 when not open).
        std::size_t Size() const { return IsOpen() ? static_cast<std::size_t>(m_status.st_size) : 0; }

    private:
        friend class HeaderReader;
        int m_fd = -1;
        int m_error = 0;
        struct stat m_status {};  // of the file opened
        bool m_bmson = false;     // a bmson chart (JSON), read whole
    };

    // Opens the file `name` relative to the directory descriptor `dirFd`
    // (AT_FDCWD for a plain path) when it is a regular file. Anything else
    // (folder, FIFO, socket, device, dangling link) and a file that cannot
    // be opened are not open, with error 0; never blocks on special files.
    // `listedAsRegular` tells that the directory listing reported a regular
    // file, which saves a look at the entry before opening it.
    static OpenFile Open(int dirFd, const char* name, bool listedAsRegular = false);
    // Fills the values of every tag from an opened file, read to its end,
    // and closes it; with `hashes`, also the digests of its whole bytes. A
    // file that is not open, and a file whose reading fails part way, give
    // empty values and empty digests.
    void Read(OpenFile& file, TagTable& tags, ChartHashes* hashes = nullptr);

    // Open and Read in one. Returns 0, or EMFILE/ENFILE when no descriptor
    // was free to open the file: its values are then not known rather than
    // empty.
    int ReadHeaders(int dirFd, const char* name, TagTable& tags, bool listedAsRegular = false,
                    ChartHashes* hashes = nullptr);
    // The file the last Read (or ReadHeaders) read to its end, as it was
    // when opened; nullptr when it read none (not a regular file, not
    // opened, a read that failed).
    const struct stat* LastFileRead() const { return m_lastReadWhole ? &m_lastRead : nullptr; }
    // The same for a plain path.
    int ReadHeaders(const std::string& path, TagTable& tags, ChartHashes* hashes = nullptr);

    // Reads an already open descriptor to its end. Returns 0, or the errno
    // of a failed read (the values and digests are then empty).
    int ReadFromFd(int fd, TagTable& tags, ChartHashes* hashes = nullptr);

    // From now on, files are read from the page cache where their bytes are
    // there, and a read that has to wait for the device is noted.
    void NoteDeviceWaits() { m_noteDeviceWaits = true; }
    // Whether a file read since the last call had to wait for the device.
    bool TakeDeviceWait() { return std::exchange(m_waitedForDevice, false); }

    // The same block-by-block reading over a file's contents held in memory:
    // the bytes are handed over in blocks of this reader's block size, so
    // the same code as for a file carries lines across block boundaries.
    void ReadFromMemory(std::string_view bytes, TagTable& tags, ChartHashes* hashes = nullptr);

    // The same rules over bytes in memory (a whole file's contents), in one
    // piece.
    static void ParseBytes(std::string_view bytes, TagTable& tags);
    // One piece of a file's lines, for a reader that reads the file itself:
    // whole lines (the file's last may have no line end) before any Ctrl-Z,
    // taken into `tags` as they are, which keep what earlier pieces gave.
    static void ParseLines(std::string_view lines, TagTable& tags);

private:
    // Fills `buffer` with up to `size` next bytes of the file and sets `got`
    // to how many (0 at the end); returns 0, or the errno of a read error.
    using BlockSource = int (*)(void* context, char* buffer, std::size_t size, std::size_t& got);
    // Returns 0, or the errno of the source's read error. With `hashes`,
    // every byte the source gives is hashed, to its end.
    int ReadBlocks(BlockSource source, void* context, TagTable& tags, ChartHashes* hashes);
    // The lines of the source: ReadBlocks without the digests' start and end.
    int ReadLines(BlockSource source, void* context, TagTable& tags, bool hashing);
    // Hashes the rest of the source after the lines ended (a Ctrl-Z),
    // reading it into the buffer past its first `keep` bytes, which stay.
    int HashToEnd(BlockSource source, void* context, std::size_t keep);
    FileHash& Hash();
    // A bmson chart: the whole file parsed as JSON (see BmsonReader.h).
    // Returns 0, or the errno of a failed read (the values are then empty).
    int ReadBmson(int fd, TagTable& tags, ChartHashes* hashes);

    // Page-aligned: the kernel copies file data into it much faster than
    // into a buffer that starts off a cache line.
    struct FreeDeleter {
        void operator()(char* p) const;
    };
    char* Buffer(std::size_t size);

    std::unique_ptr<char, FreeDeleter> m_buffer;
    std::size_t m_bufferSize = 0;
    std::size_t m_blockSize;
    bool m_noteDeviceWaits = false;
    bool m_waitedForDevice = false;
    CachedRead m_cachedRead;
    std::unique_ptr<FileHash> m_hash;  // made the first time digests are asked for
    struct stat m_lastRead {};
    bool m_lastReadWhole = false;
};

}  // namespace tamboro
