// Where an index lives unless the command is told a file: one database per
// library root in the user's cache folder, $XDG_CACHE_HOME/tamboro/
// (~/.cache/tamboro/ when that is unset or not an absolute path).
#pragma once

#include <string>

namespace tamboro {

// The index file of the root `root` (its bytes as given), after creating
// the folders on the way that are missing (mode 0700). Returns 0, or the
// errno of a folder that could not be made; `file` is set either way.
int DefaultIndexFile(const std::string& root, std::string& file);

}  // namespace tamboro
