// Where an index lives unless the command is told a file: one database per
// library root in the user's cache folder, $XDG_CACHE_HOME/tamboro/
// (~/.cache/tamboro/ when that is unset or not an absolute path), named
// after the root's real path, so that every spelling of a root (relative,
// absolute, through a link, with "." or doubled slashes) shares one. The
// folder stays bounded: an index not used for kUnusedIndexDays is removed.
#pragma once

#include <string>

namespace tamboro {

inline constexpr int kUnusedIndexDays = 90;

// The root's real path: absolute, without links, "." or ".." (realpath);
// the root as given when that cannot be found (it does not exist, say).
std::string RootIdentity(const std::string& root);

// The index file of the root `root` (its bytes as given), after creating
// the folders on the way that are missing (mode 0700). The file, when it is
// there, is marked as used now (its modification time), and the indexes
// of the folder not used for kUnusedIndexDays are removed with their
// journals. Returns 0, or the errno of a folder that could not be made;
// `file` is set either way.
int DefaultIndexFile(const std::string& root, std::string& file);

}  // namespace tamboro
