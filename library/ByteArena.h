// Bytes kept side by side in a few large blocks, handed out as views that
// stay valid as long as the arena: a load of many small blobs takes a few
// allocations instead of one each, lays them out in the order they came
// (a walk meets them in about that order), and is let go at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace tamboro {

class ByteArena {
public:
    // `blockBytes`: the size of each block (a larger blob gets one of its own).
    explicit ByteArena(std::size_t blockBytes = std::size_t{1} << 20) : m_blockBytes(blockBytes) {}
    ByteArena(const ByteArena&) = delete;
    ByteArena& operator=(const ByteArena&) = delete;

    // The size of the blocks taken from now on.
    void SetBlockBytes(std::size_t blockBytes) { m_blockBytes = blockBytes; }
    // A copy of `bytes` that lives as long as the arena.
    std::string_view Keep(std::string_view bytes);

private:
    std::size_t m_blockBytes;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_free = nullptr;  // in the last block
    std::size_t m_room = 0;  // bytes free from m_free on
};

}  // namespace tamboro
