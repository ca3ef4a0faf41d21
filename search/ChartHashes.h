// The digests of a chart file's whole bytes, as a scan asked for them.
#pragma once

#include <string>

namespace tamboro {

// Lowercase hexadecimal; both empty when not computed or when the file
// could not be read to its end.
struct ChartHashes {
    std::string md5;
    std::string sha256;

    void Clear()
    {
        md5.clear();
        sha256.clear();
    }
};

}  // namespace tamboro
