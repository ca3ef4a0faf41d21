#include "check/ChartReferences.h"

#include <array>
#include <unordered_map>

namespace tamboro {
namespace {

constexpr char kCtrlZ = 0x1A;

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

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

bool IsSlotChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
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

class ReferenceCollector {
public:
    void TakeLine(std::string_view line)
    {
        if (line.size() < 2 || line[0] != '#')
            return;
        for (const ReferenceTag& tag : kReferenceTags) {
            if (!StartsWithUpper(line, tag.text))
                continue;
            std::string key(tag.text);
            std::size_t valueStart = tag.text.size();
            if (tag.hasSlot) {
                if (line.size() < valueStart + 2 || !IsSlotChar(line[valueStart]) || !IsSlotChar(line[valueStart + 1]))
                    return;
                key += AsciiUpper(line[valueStart]);
                key += AsciiUpper(line[valueStart + 1]);
                valueStart += 2;
            }
            if (line.size() <= valueStart || !IsBlank(line[valueStart]))
                return;
            Define(std::move(key), Trimmed(line.substr(valueStart)), tag.kind);
            return;
        }
    }

    std::vector<ChartReference> Take()
    {
        std::vector<ChartReference> named;
        for (ChartReference& reference : m_references) {
            if (!reference.name.empty())
                named.push_back(std::move(reference));
        }
        return named;
    }

private:
    void Define(std::string key, std::string_view name, ReferenceKind kind)
    {
        const auto [slot, added] = m_slotOfKey.try_emplace(std::move(key), m_references.size());
        if (added)
            m_references.push_back(ChartReference{std::string(name), kind});
        else
            m_references[slot->second].name.assign(name);
    }

    std::unordered_map<std::string, std::size_t> m_slotOfKey;
    std::vector<ChartReference> m_references;
};

}  // namespace

std::vector<ChartReference> ReadChartReferences(std::string_view bytes)
{
    const std::size_t end = bytes.find(kCtrlZ);
    if (end != std::string_view::npos)
        bytes = bytes.substr(0, end);
    ReferenceCollector collector;
    while (!bytes.empty()) {
        const std::size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        collector.TakeLine(line);
        if (lf == std::string_view::npos)
            break;
        bytes.remove_prefix(lf + 1);
    }
    return collector.Take();
}

}  // namespace tamboro
