#include "check/ChartReferences.h"

#include <array>
#include <cstring>

#include "search/CandidateLineFinder.h"
#include <cstdint>

namespace tamboro {
namespace {

struct ReferenceTag {
    std::string_view text;  // in capitals, without the slot
    bool hasSlot;           // followed by two characters naming a slot (01..ZZ)
    ReferenceKind kind;
};

constexpr std::array kReferenceTags{
    ReferenceTag{"#WAV", true, ReferenceKind::Sound},        ReferenceTag{"#BMP", true, ReferenceKind::ImageOrVideo},
    ReferenceTag{"#STAGEFILE", false, ReferenceKind::Image}, ReferenceTag{"#BANNER", false, ReferenceKind::Image},
    ReferenceTag{"#BACKBMP", false, ReferenceKind::Image},   ReferenceTag{"#PREVIEW", false, ReferenceKind::Sound},
};

// The tags' first letters, for the header reader's line finders: a chart's
// data lines ("#00111:...") are passed over without being looked at.
constexpr std::array kReferenceTagSpecs{
    TagSpec{"#WAV "},    TagSpec{"#BMP "},     TagSpec{"#STAGEFILE "},
    TagSpec{"#BANNER "}, TagSpec{"#BACKBMP "}, TagSpec{"#PREVIEW "},
};
constexpr TagInitials kReferenceInitials = MakeTagInitials(kReferenceTagSpecs);

const FindCandidateFn FindCandidateLine = ChooseFindCandidate<kReferenceInitials>();

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

// A base-36 digit of a slot name, any letter case; -1 for another byte.
int SlotDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool StartsWithUpper(std::string_view line, std::string_view upperTag)
{
    if (line.size() < upperTag.size())
        return false;
    for (std::size_t i = 0; i < upperTag.size(); ++i) {
        if (AsciiUpper(line[i]) != upperTag[i])
            return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void ChartReferenceReader::TakeLines(std::string_view lines)
{
    const char* buf = lines.data();
    const std::size_t end = lines.size();
    std::size_t p = 0;
    while (p < end) {
        if (buf[p] != '#') {
            p = FindCandidateLine(buf, p, end);
            continue;
        }
        const void* lf = std::memchr(buf + p, '\n', end - p);
        const std::size_t lineEnd = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - buf) : end;
        std::string_view line(buf + p, lineEnd - p);
        if (lf != nullptr && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        TakeLine(line);
        p = lineEnd + 1;
    }
}

void ChartReferenceReader::TakeLine(std::string_view line)
{
    if (line.size() < 2 || line[0] != '#')
        return;
    // Each tag's slots take a range of keys: #WAV 0..1295, #BMP the next
    // 1296, the tags without slots one key each after them.
    std::size_t firstKey = 0;
    for (const ReferenceTag& tag : kReferenceTags) {
        const std::size_t keys = tag.hasSlot ? kSlots : 1;
        if (!StartsWithUpper(line, tag.text)) {
            firstKey += keys;
            continue;
        }
        std::size_t key = firstKey;
        std::size_t valueStart = tag.text.size();
        if (tag.hasSlot) {
            const int high = line.size() > valueStart + 1 ? SlotDigit(line[valueStart]) : -1;
            const int low = high >= 0 ? SlotDigit(line[valueStart + 1]) : -1;
            if (low < 0)
                return;
            key += static_cast<std::size_t>(high * 36 + low);
            valueStart += 2;
        }
        if (line.size() <= valueStart || !IsBlank(line[valueStart]))
            return;
        Define(key, Trimmed(line.substr(valueStart)), tag.kind);
        return;
    }
}

void ChartReferenceReader::Define(std::size_t key, std::string_view name, ReferenceKind kind)
{
    if (m_placeOfKey.empty())
        m_placeOfKey.assign(kKeys, -1);
    int32_t& place = m_placeOfKey[key];
    if (place < 0) {
        place = static_cast<int32_t>(m_references.size());
        m_references.push_back(ChartReference{std::string(name), kind});
    } else {
        m_references[static_cast<std::size_t>(place)].name.assign(name);
    }
}

std::vector<ChartReference> ChartReferenceReader::Take()
{
    std::vector<ChartReference> named;
    for (ChartReference& reference : m_references) {
        if (!reference.name.empty())
            named.push_back(std::move(reference));
    }
    m_references.clear();
    m_placeOfKey.clear();
    return named;
}

}  // namespace tamboro
