// Writes a file whole or not at all: to a temporary name in the same folder,
// flushed to disk, then renamed over the old one.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace tamboro {

// Returns 0 or the errno of the step that failed; the old file, if any, is
// then left as it was and no temporary file remains.
int WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace tamboro
