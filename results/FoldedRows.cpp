#include "results/FoldedRows.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace tamboro {

void FoldedRows::Update(const RowSorter& rows)
{
    const std::size_t ready = FoldedCount();
    if (ready >= rows.Size())
        return;
    // Decoding and folding cost about a microsecond a row: with many rows,
    // helper threads take a share of the slots each (the charset cache
    // entries they fill are their own slots'), and their blocks are
    // appended in slot order.
    const std::size_t missing = rows.Size() - ready;
    std::size_t threads = std::min<std::size_t>(4, missing / 4096 + 1);
    if (threads > 1)  // asked only then: it reads the system's CPU list
        threads = std::min<std::size_t>(threads, std::max(1u, std::thread::hardware_concurrency()));
    const std::size_t share = missing / threads;
    std::vector<Block> parts(threads - 1);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) {
        const std::size_t first = ready + t * share;
        const std::size_t end = t + 1 == threads ? rows.Size() : first + share;
        auto work = [this, &rows, &part = parts[t - 1], first, end] { part.Fold(rows, first, end, m_folder); };
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            work();  // no thread to be had: do that share here
        }
    }
    m_rows.Fold(rows, ready, threads > 1 ? ready + share : rows.Size(), m_folder);
    for (std::thread& helper : helpers)
        helper.join();
    for (const Block& part : parts)
        m_rows.Append(part);
}

void FoldedRows::Block::Fold(const RowSorter& rows, std::size_t first, std::size_t end, const TextFolder& folder)
{
    cellStart.reserve(cellStart.size() + (end - first) * (kColumnCount - 1));
    rowFolder.reserve(rowFolder.size() + (end - first));
    for (std::size_t slot = first; slot < end; ++slot) {
        const ChartRow& row = rows.RowInSlot(static_cast<uint32_t>(slot));
        if (rowFolder.empty() || row.folder != lastFolderBytes) {
            lastFolderBytes = row.folder;
            folder.AppendFolded(rows.DecodeCell(static_cast<uint32_t>(slot), kColumnFolder), folderText);
            folderStart.push_back(static_cast<uint32_t>(folderText.size()));
        }
        rowFolder.push_back(static_cast<uint32_t>(folderStart.size() - 2));
        for (int32_t column = kColumnGenre; column < kColumnCount; ++column) {
            folder.AppendFolded(rows.DecodeCell(static_cast<uint32_t>(slot), column), cellText);
            cellStart.push_back(static_cast<uint32_t>(cellText.size()));
        }
    }
}

void FoldedRows::Block::Append(const Block& next)
{
    const auto folderBase = static_cast<uint32_t>(folderText.size());
    const auto folderIdBase = static_cast<uint32_t>(folderStart.size() - 1);
    folderText += next.folderText;
    for (std::size_t i = 1; i < next.folderStart.size(); ++i)
        folderStart.push_back(folderBase + next.folderStart[i]);
    for (const uint32_t id : next.rowFolder)
        rowFolder.push_back(folderIdBase + id);
    const auto cellBase = static_cast<uint32_t>(cellText.size());
    cellText += next.cellText;
    for (std::size_t i = 1; i < next.cellStart.size(); ++i)
        cellStart.push_back(cellBase + next.cellStart[i]);
    if (!next.rowFolder.empty())
        lastFolderBytes = next.lastFolderBytes;
}

void FoldedRows::Clear()
{
    m_rows = Block();
}

void FoldedRows::Match(std::u16string_view foldedQuery, std::vector<uint8_t>& matches, std::size_t firstSlot) const
{
    const std::size_t count = FoldedCount();
    matches.resize(count);
    if (firstSlot >= count)
        return;
    std::fill(matches.begin() + static_cast<std::ptrdiff_t>(firstSlot), matches.end(), foldedQuery.empty() ? 1 : 0);
    if (foldedQuery.empty())
        return;
    MarkContaining(m_rows.cellText, m_rows.cellStart, kColumnCount - 1, firstSlot, foldedQuery, matches);

    const std::size_t firstFolder = m_rows.rowFolder[firstSlot];
    std::vector<uint8_t> folderMatches(m_rows.folderStart.size() - 1, 0);
    MarkContaining(m_rows.folderText, m_rows.folderStart, 1, firstFolder, foldedQuery, folderMatches);
    for (std::size_t slot = firstSlot; slot < count; ++slot)
        matches[slot] |= folderMatches[m_rows.rowFolder[slot]];
}

void FoldedRows::MarkContaining(std::u16string_view text, const std::vector<uint32_t>& starts, std::size_t stride,
                                std::size_t firstEntry, std::u16string_view query, std::vector<uint8_t>& marks)
{
    // One pass over the text; hits come in increasing order, so the entry
    // holding a hit is found by walking forward.
    std::size_t entry = firstEntry;
    std::size_t from = starts[entry * stride];
    for (;;) {
        const std::size_t hit = text.find(query, from);
        if (hit == std::u16string_view::npos)
            return;
        while (starts[(entry + 1) * stride] <= hit)
            ++entry;
        std::size_t columnEnd = starts[entry * stride + 1];
        for (std::size_t k = 2; columnEnd <= hit; ++k)
            columnEnd = starts[entry * stride + k];
        if (hit + query.size() <= columnEnd) {
            marks[entry] = 1;
            from = starts[(entry + 1) * stride];  // this entry is done
        } else {
            from = hit + 1;  // the hit runs into the next column
        }
    }
}

}  // namespace tamboro
