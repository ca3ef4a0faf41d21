// A chart read for the check in blocks of bounded size: its lines handed on
// in pieces as they come, its size and a quick hash of its bytes. Memory
// stays at a block and one line whatever the file, and a file larger than
// any chart (a disc image, a sparse file of a terabyte given a chart's name)
// is not read at all.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace tamboro {

class ChartLines {
public:
    // A chart larger than this is no chart to check: real ones are at most
    // a few megabytes, and the check reads every chart of a library.
    static constexpr std::int64_t kMaxChartBytes = std::int64_t{64} << 20;
    // Bytes read at a time; a line longer than this is handed on cut there.
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    struct Result {
        // 0, or the errno of what failed; EINVAL for what is not a regular
        // file.
        int error = 0;
        // Larger than kMaxChartBytes when opened, or grown past it while
        // read: not read to its end, the lines handed on are not all.
        bool tooLarge = false;
        // The bytes read (with tooLarge, its size when opened if larger).
        std::int64_t size = 0;
        // Of every byte read: charts whose quick hashes differ cannot have
        // the same bytes.
        std::uint64_t quickHash = 0;
    };

    ChartLines();
    ~ChartLines();
    ChartLines(const ChartLines&) = delete;
    ChartLines& operator=(const ChartLines&) = delete;

    // Reads the regular file `name` relative to `dirFd` (never blocking on
    // a FIFO or a device) and hands its lines, up to any Ctrl-Z, to `take`
    // in pieces of whole lines, in order (the last line may have no line
    // end). The rest of the file after a Ctrl-Z is still read: it counts in
    // the size and hash.
    Result Read(int dirFd, const char* name, const std::function<void(std::string_view lines)>& take);

private:
    struct Buffer;
    std::unique_ptr<Buffer> m_buffer;  // kept from chart to chart
};

}  // namespace tamboro
