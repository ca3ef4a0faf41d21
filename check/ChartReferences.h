// The files a chart names: its sounds (#WAVxx, #PREVIEW), its images and
// videos (#BMPxx, #STAGEFILE, #BANNER, #BACKBMP), as the chart writes them.
#pragma once

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

// Every file the chart's bytes name, with the header reader's line rules (a
// line ends at LF, a CR before it is dropped, Ctrl-Z ends the file; tags in
// any letter case, followed by a space or a tab). A slot defined twice
// (#WAV01 on two lines) names the file of its last line, in the place of its
// first. Empty names name nothing.
std::vector<ChartReference> ReadChartReferences(std::string_view bytes);

}  // namespace tamboro
