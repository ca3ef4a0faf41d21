#include "library/ByteArena.h"

#include <algorithm>
#include <cstring>

namespace tamboro {

std::string_view ByteArena::Keep(std::string_view bytes)
{
    if (bytes.empty())
        return {};
    if (bytes.size() > m_room) {
        const std::size_t size = std::max(m_blockBytes, bytes.size());
        // Not value-initialised: every byte handed out is written first.
        m_blocks.push_back(std::unique_ptr<char[]>(new char[size]));
        m_free = m_blocks.back().get();
        m_room = size;
    }
    char* const kept = m_free;
    std::memcpy(kept, bytes.data(), bytes.size());
    m_free += bytes.size();
    m_room -= bytes.size();
    return {kept, bytes.size()};
}

}  // namespace tamboro
