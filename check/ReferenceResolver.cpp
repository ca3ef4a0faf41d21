#include "check/ReferenceResolver.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <vector>

#include "platform/DirectoryReader.h"

namespace tamboro {
namespace {

constexpr std::array<std::string_view, 8> kSoundExtensions{"wav", "ogg", "flac", "mp3", "opus", "m4a", "aif", "aiff"};
constexpr std::array<std::string_view, 7> kImageExtensions{"bmp", "png", "jpg", "jpeg", "gif", "tga", "webp"};
constexpr std::array<std::string_view, 11> kVideoExtensions{"mpg", "mpeg", "mp4", "avi", "wmv", "webm",
                                                            "m4v", "mkv",  "mov", "flv", "ogv"};

template <std::size_t N>
bool Holds(const std::array<std::string_view, N>& list, std::string_view foldedExtension)
{
    return std::find(list.begin(), list.end(), foldedExtension) != list.end();
}

// Whether a file with `candidate` as its extension may stand for one named
// with `written`: both of the reference's kind (images and videos alike for
// a BGA slot).
bool IsSubstitute(ReferenceKind kind, std::string_view written, std::string_view candidate)
{
    const std::string w = FolderNames::FoldAscii(written);
    const std::string c = FolderNames::FoldAscii(candidate);
    switch (kind) {
    case ReferenceKind::Sound:
        return Holds(kSoundExtensions, w) && Holds(kSoundExtensions, c);
    case ReferenceKind::Image:
        return Holds(kImageExtensions, w) && Holds(kImageExtensions, c);
    case ReferenceKind::ImageOrVideo: {
        auto visual = [](const std::string& e) { return Holds(kImageExtensions, e) || Holds(kVideoExtensions, e); };
        return visual(w) && visual(c);
    }
    }
    return false;
}

bool IsShiftJisLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::vector<std::string_view> SplitParts(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

}  // namespace

ReferenceResolver::ReferenceResolver(std::string folder, FolderNames names, std::size_t levelsBelowRoot)
    : m_folder(std::move(folder)), m_levelsBelowRoot(levelsBelowRoot)
{
    m_listings.emplace(std::string(), std::make_unique<FolderNames>(std::move(names)));
}

std::string ReferenceResolver::WithSlashes(std::string_view name, Charset charset)
{
    std::string out(name);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (charset == Charset::ShiftJis && IsShiftJisLead(c))
            ++i;  // the next byte is this character's own
        else if (c == '\\')
            out[i] = '/';
    }
    return out;
}

const FolderNames* ReferenceResolver::Listing(const std::string& relative)
{
    auto found = m_listings.find(relative);
    if (found == m_listings.end()) {
        // "../" goes up by the path's own folders, as a player on Windows
        // does, whatever links the walk came through.
        std::string path = m_folder;
        std::string_view down = relative;
        while (down.starts_with("../")) {
            path.pop_back();
            path.resize(path.rfind('/') + 1);
            down.remove_prefix(3);
        }
        path += down;
        DirectoryListing listing;
        std::unique_ptr<FolderNames> names;
        if (listing.Open(AT_FDCWD, path.c_str()) == 0)
            names = std::make_unique<FolderNames>(listing);
        found = m_listings.emplace(relative, std::move(names)).first;
    }
    return found->second.get();
}

Resolution ReferenceResolver::Resolve(const ChartReference& reference, Charset charset)
{
    // The parts of the path; ".." goes back up one, above the charts' folder
    // too, but never out of the root.
    const std::string slashed = WithSlashes(reference.name, charset);
    std::vector<std::string_view> wanted;
    std::string up;
    for (const std::string_view part : SplitParts(slashed)) {
        if (part.empty() || part == ".")
            continue;
        if (part != "..") {
            wanted.push_back(part);
        } else if (!wanted.empty()) {
            wanted.pop_back();
        } else if (up.size() / 3 == m_levelsBelowRoot) {
            return Resolution{Resolution::Result::OutsideRoot, std::string()};
        } else {
            up += "../";
        }
    }
    if (wanted.empty())
        return Resolution{};

    Step step{Listing(up), up, false};
    for (std::size_t i = 0; i + 1 < wanted.size(); ++i) {
        if (step.folder == nullptr)
            return Resolution{};
        const std::string text = DecodeToUtf8(wanted[i], charset);
        std::optional<uint32_t> index = step.folder->FindSame(wanted[i], text, true);
        if (!index) {
            index = step.folder->FindFolded(text, true);
            step.caseDiffers = step.caseDiffers || index.has_value();
        }
        if (!index)
            return Resolution{};
        step.found += step.folder->At(*index).bytes + "/";
        step.folder = Listing(step.found);
    }
    if (step.folder == nullptr)
        return Resolution{};
    return ResolveFile(step, wanted.back(), charset, reference.kind);
}

Resolution ReferenceResolver::ResolveFile(const Step& step, std::string_view bytes, Charset charset,
                                          ReferenceKind kind) const
{
    const FolderNames& names = *step.folder;
    const std::string text = DecodeToUtf8(bytes, charset);
    auto result = [&](uint32_t index, bool caseDiffers) {
        if (!caseDiffers)
            return Resolution{Resolution::Result::Found, std::string()};
        return Resolution{Resolution::Result::CaseMismatch, step.found + names.At(index).bytes};
    };
    if (const auto same = names.FindSame(bytes, text, false))
        return result(*same, step.caseDiffers);

    // Another extension of the same kind, the name before it as written.
    const std::string_view stem = FolderNames::Stem(text);
    const std::string_view extension = FolderNames::Extension(text);
    std::optional<uint32_t> substituteInOtherCase;
    for (const uint32_t index : names.FilesWithFoldedStem(FolderNames::FoldAscii(stem))) {
        const FolderNames::Name& candidate = names.At(index);
        if (!IsSubstitute(kind, extension, FolderNames::Extension(candidate.text)))
            continue;
        if (FolderNames::Stem(candidate.text) == stem)
            return result(index, step.caseDiffers);
        if (!substituteInOtherCase)
            substituteInOtherCase = index;
    }
    if (const auto folded = names.FindFolded(text, false))
        return result(*folded, true);
    if (substituteInOtherCase)
        return result(*substituteInOtherCase, true);
    return Resolution{};
}

}  // namespace tamboro
