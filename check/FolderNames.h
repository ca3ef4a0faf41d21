// The names one folder holds, read once and looked up many times: charts
// name hundreds of files, and each is found in memory, not by a stat.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamboro {

class DirectoryListing;

class FolderNames {
public:
    struct Name {
        std::string bytes;   // as the file system holds it
        std::string text;    // decoded on its own (UTF-8 names stay as they are)
        std::string folded;  // `text` with ASCII letters in lower case
        bool isFolder;       // a folder, or a link to one
    };

    explicit FolderNames(const DirectoryListing& listing);

    const Name& At(uint32_t index) const { return m_names[index]; }

    // A name written as `bytes`, whose text is `text`: the same bytes, or
    // the same decoded text (a Shift-JIS name in a chart, the file unpacked
    // with a UTF-8 name).
    std::optional<uint32_t> FindSame(std::string_view bytes, std::string_view text, bool folder) const;
    // A name that differs from `text` only in the letter case of ASCII
    // letters.
    std::optional<uint32_t> FindFolded(std::string_view text, bool folder) const;
    // Files whose name, without its extension, is `stem` up to ASCII letter
    // case (`stem` given folded): where substitutes are looked for.
    std::vector<uint32_t> FilesWithFoldedStem(std::string_view foldedStem) const;

    static std::string FoldAscii(std::string_view text);
    // The part of a name before its last '.', the whole name without one.
    static std::string_view Stem(std::string_view name);
    // The part after the last '.', empty without one.
    static std::string_view Extension(std::string_view name);

private:
    std::optional<uint32_t> Pick(const std::unordered_multimap<std::string, uint32_t>& map, std::string_view key,
                                 bool folder) const;

    std::vector<Name> m_names;
    std::unordered_multimap<std::string, uint32_t> m_byBytes;
    std::unordered_multimap<std::string, uint32_t> m_byText;
    std::unordered_multimap<std::string, uint32_t> m_byFolded;
    std::unordered_multimap<std::string, uint32_t> m_byFoldedStem;
};

}  // namespace tamboro
