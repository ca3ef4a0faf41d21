// The genre, title and artist read from one chart, compared and printed as
// one value by the header reader's tests.
#pragma once

#include <ostream>
#include <string>

#include "search/HeaderReader.h"

namespace tamboro::test {

struct Values {
    std::string genre, title, artist;
    bool operator==(const Values&) const = default;
};

// Values longer than 40 bytes (the long-line tests read megabytes) print as
// their first 40 bytes and their size.
inline std::ostream& operator<<(std::ostream& out, const Values& v)
{
    auto brief = [](const std::string& s) {
        return s.size() > 40 ? s.substr(0, 40) + "...(" + std::to_string(s.size()) + ")" : s;
    };
    return out << "{genre «" << brief(v.genre) << "» title «" << brief(v.title) << "» artist «" << brief(v.artist)
               << "»}";
}

inline Values ValuesOf(const TagTable& tags)
{
    return {tags.Value(TagOf("#GENRE ")), tags.Value(TagOf("#TITLE ")), tags.Value(TagOf("#ARTIST "))};
}

}  // namespace tamboro::test
