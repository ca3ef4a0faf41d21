// The files a chart names: its sounds (#WAVxx, #PREVIEW), its images and
// videos (#BMPxx, #STAGEFILE, #BANNER, #BACKBMP), as the chart writes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamboro {

// What a named file is, which tells which other extensions a player loads in
// its place.
enum class ReferenceKind { Sound, Image, ImageOrVideo };

struct ChartReference {
    std::string name;  // raw bytes as written, spaces around it dropped
    ReferenceKind kind;
};

// The files named by a chart's lines, handed over in pieces as the chart is
// read, with the header reader's line rules (a line ends at LF, a CR before
// it is dropped; tags in any letter case, followed by a space or a tab). A
// slot defined twice (#WAV01 on two lines) names the file of its last line,
// in the place of its first. Empty names name nothing.
class ChartReferenceReader {
public:
    // Whole lines of the chart, in order, up to any Ctrl-Z (its last line
    // may have no line end).
    void TakeLines(std::string_view lines);
    // The files named, in the order their slots were first defined; the
    // reader is then empty for the next chart.
    std::vector<ChartReference> Take();

private:
    static constexpr int kSlots = 36 * 36;
    static constexpr std::size_t kKeys = 2 * kSlots + 4;

    void TakeLine(std::string_view line);
    void Define(std::size_t key, std::string_view name, ReferenceKind kind);

    std::vector<int32_t> m_placeOfKey;  // by key: the place in m_references, or -1
    std::vector<ChartReference> m_references;
};

}  // namespace tamboro
