// What an index held for each folder below a scan's root when it was
// loaded: found by the folder's path, its paths and blobs views into the
// bytes the load copied them to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/ByteArena.h"
#include "search/ChartIndex.h"

namespace tamboro {

struct BytesHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view bytes) const { return std::hash<std::string_view>{}(bytes); }
};

using ChartPlaces = std::unordered_map<std::string_view, uint32_t>;

struct KnownFolder {
    FolderStamp stamp;
    bool hasListing = false;
    bool visited = false;      // by the walk's thread only
    std::string_view listing;  // EncodeListing
    // EncodeCharts: a folder holds a few charts, looked through in the
    // blob as kept, without a copy of each.
    std::string_view charts;
    // Only for a folder of many charts (else null, most folders, which
    // then take less memory): where each starts in `charts`, by name (views
    // into `charts`), so that a lookup does not go through them all.
    std::unique_ptr<const ChartPlaces> chartAt;
};

using KnownFolderMap = std::unordered_map<std::string_view, KnownFolder, BytesHash, std::equal_to<>>;

// The folders of one range of paths as loaded.
struct LoadedFolders {
    KnownFolderMap folders;
    std::vector<std::string_view> paths;  // in the order of their bytes
};

}  // namespace tamboro
