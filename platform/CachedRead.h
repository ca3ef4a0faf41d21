// Reading a file while telling whether its bytes had to come from the
// device or were already in the page cache.
#pragma once

#include <cstddef>

namespace tamboro {

class CachedRead {
public:
    // Reads up to `size` bytes at the file's position, as read(2) does, and
    // sets `got` to how many (0 at the end). Returns 0, or the errno of the
    // failed read. Sets `waited` when some of the bytes were not in the page
    // cache, so that the call had to wait for the device. Where the file
    // system cannot say (no RWF_NOWAIT for its reads), every call sets
    // `waited`: the caller then plans for a device that must be waited for.
    int Read(int fd, char* buffer, std::size_t size, std::size_t& got, bool& waited);

private:
    bool m_canTell = true;
};

}  // namespace tamboro
