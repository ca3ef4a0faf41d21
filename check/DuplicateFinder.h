// Charts whose bytes are the same. Only charts of one size and one quick
// hash (taken as the check read them) can be: the others are never read
// again; those are hashed (MD5 and SHA-256 together), and a group is charts
// whose two digests both agree.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "check/FolderCheck.h"
#include "search/ChartIndex.h"

namespace tamboro {

struct DuplicateGroup {
    std::string md5;
    std::vector<std::size_t> charts;  // indexes into the charts given, ascending
};

// The groups, ordered by their first chart. `stop` is asked before each
// chart hashed; once true, the groups found so far are returned. With an
// `index`, a chart it knows unchanged with its digests is not read, and the
// digests of those read are kept in it.
std::vector<DuplicateGroup> FindDuplicates(const std::vector<CheckedChart>& charts, const std::function<bool()>& stop,
                                           ChartIndex* index = nullptr);

}  // namespace tamboro
