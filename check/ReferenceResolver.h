// Finds the files a chart names, as players load them: relative to the
// chart's folder, ".." going up one folder as the path is written (a
// difference chart names its song's sounds in the folder above), a
// backslash separates folders, a missing sound or image is looked for under
// the other extensions of its kind, and names compare by their bytes or by
// their decoded text. What exists only in another letter case is told apart
// from what does not exist at all, and a name that leads out of the
// library's root is never looked for.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "check/ChartReferences.h"
#include "check/FolderNames.h"
#include "platform/TextDecoder.h"

namespace tamboro {

struct Resolution {
    enum class Result { Found, CaseMismatch, Missing, OutsideRoot };
    Result result = Result::Missing;
    // With CaseMismatch: the path found, relative to the chart's folder, as
    // the file system spells it.
    std::string found;
};

class ReferenceResolver {
public:
    // `folder` is the charts' folder path (ending in "/"), `names` its
    // listing, `levelsBelowRoot` how many folders below the library's root
    // it lies; other folders are listed when a reference first leads there.
    ReferenceResolver(std::string folder, FolderNames names, std::size_t levelsBelowRoot);

    // `charset` is the chart's: how its names' bytes read as text.
    Resolution Resolve(const ChartReference& reference, Charset charset);

    // The '/'-separated parts of a name: '\' separates folders too, except
    // as the second byte of a Shift-JIS character (such as 0x835C, "ソ").
    static std::string WithSlashes(std::string_view name, Charset charset);

private:
    struct Step {
        const FolderNames* folder;  // nullptr: not a folder that can be read
        std::string found;          // relative path of the folder so far
        bool caseDiffers = false;
    };
    // The listing of a folder relative to the charts' folder: "../" as many
    // times as it lies above it, then the folders down from there, each
    // ending in "/"; empty for the charts' folder itself.
    const FolderNames* Listing(const std::string& relative);
    Resolution ResolveFile(const Step& step, std::string_view bytes, Charset charset, ReferenceKind kind) const;

    std::string m_folder;
    std::size_t m_levelsBelowRoot;
    std::map<std::string, std::unique_ptr<FolderNames>> m_listings;  // by relative path
};

}  // namespace tamboro
