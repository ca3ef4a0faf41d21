// What a folder drop carries, and the buffer the drop handler copies the
// path into.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace tamboro {

// The local paths of a drop, in the order the file manager lists them, as
// the bytes of the file names (a URL percent-encodes them; names that are
// not UTF-8 come through unchanged).
std::vector<std::string> LocalPathBytes(const QMimeData* drop);

// What the drop handler can get for a buffer of `wanted` bytes: the block
// and, in `obtained`, its usable size (0 when none).
using DropBufferAllocator = std::function<std::unique_ptr<char[]>(std::size_t wanted, std::size_t& obtained)>;

// The default allocator: a zero-filled block, or none when memory is out.
std::unique_ptr<char[]> AllocateZeroed(std::size_t wanted, std::size_t& obtained);

}  // namespace tamboro
