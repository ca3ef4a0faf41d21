// tamboro-scan --check: the library check on the command line, one line per
// problem.
#pragma once

#include <string>

#include "search/ChartIndex.h"
#include "search/ChartTypes.h"
#include "search/SearchState.h"

namespace tamboro {

// Checks the library below `root` and prints its problems on standard
// output: kind TAB folder TAB file TAB detail [TAB found], escaped as rows
// are, decoded unless `raw`. Returns the exit status: 0 when the check ran
// (problems or not), 1 when the root cannot be read or the lines cannot be
// written, 130 when `state` was set to stop.
// With `index`, the digests of charts that may be duplicates come from it
// and are kept in it.
int RunCheckCommand(const std::string& root, bool raw, const ChartTypes& types, StateWord state,
                    ChartIndex* index = nullptr);

}  // namespace tamboro
