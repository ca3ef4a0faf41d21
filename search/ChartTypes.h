// Which file names are charts: a name ending in "." and one of a list of
// endings, compared without regard to ASCII letter case. Unless told
// otherwise the list is just "bms".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamboro {

class ChartTypes {
public:
    // Only "bms".
    ChartTypes();

    // A comma list such as "bms,bme,bml,pms". Nothing when the list or one
    // of its items is empty, or an item holds anything but ASCII letters and
    // digits. Repeated endings count once.
    static std::optional<ChartTypes> Parse(std::string_view list);

    bool Matches(std::string_view name) const;

    // Lower case, in the order first given.
    const std::vector<std::string>& Endings() const { return m_endings; }

    bool operator==(const ChartTypes&) const = default;

private:
    std::vector<std::string> m_endings;
};

}  // namespace tamboro
