#include "check/FolderNames.h"

#include "platform/DirectoryReader.h"
#include "platform/TextDecoder.h"

namespace tamboro {

FolderNames::FolderNames(const DirectoryListing& listing)
{
    m_names.reserve(listing.Entries().size());
    for (const auto& entry : listing.Entries()) {
        Name name;
        name.bytes = std::string(listing.NameOf(entry));
        name.text = DecodeFieldToUtf8(name.bytes);
        name.folded = FoldAscii(name.text);
        name.isFolder = listing.IsDirectory(entry);
        const auto index = static_cast<uint32_t>(m_names.size());
        m_byBytes.emplace(name.bytes, index);
        m_byText.emplace(name.text, index);
        m_byFolded.emplace(name.folded, index);
        if (!name.isFolder)
            m_byFoldedStem.emplace(std::string(Stem(name.folded)), index);
        m_names.push_back(std::move(name));
    }
}

std::optional<uint32_t> FolderNames::Pick(const std::unordered_multimap<std::string, uint32_t>& map,
                                          std::string_view key, bool folder) const
{
    const auto [first, last] = map.equal_range(std::string(key));
    for (auto it = first; it != last; ++it) {
        if (m_names[it->second].isFolder == folder)
            return it->second;
    }
    return std::nullopt;
}

std::optional<uint32_t> FolderNames::FindSame(std::string_view bytes, std::string_view text, bool folder) const
{
    if (const auto index = Pick(m_byBytes, bytes, folder))
        return index;
    return Pick(m_byText, text, folder);
}

std::optional<uint32_t> FolderNames::FindFolded(std::string_view text, bool folder) const
{
    return Pick(m_byFolded, FoldAscii(text), folder);
}

std::vector<uint32_t> FolderNames::FilesWithFoldedStem(std::string_view foldedStem) const
{
    std::vector<uint32_t> files;
    const auto [first, last] = m_byFoldedStem.equal_range(std::string(foldedStem));
    for (auto it = first; it != last; ++it)
        files.push_back(it->second);
    return files;
}

std::string FolderNames::FoldAscii(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    }
    return folded;
}

std::string_view FolderNames::Stem(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string_view FolderNames::Extension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

}  // namespace tamboro
