#include "results/FoldedRows.h"

#include <algorithm>

namespace tamboro {

void FoldedRows::Update(const RowSorter& rows)
{
    for (uint32_t slot = static_cast<uint32_t>(FoldedCount()); slot < rows.Size(); ++slot) {
        const ChartRow& row = rows.RowInSlot(slot);
        if (m_rowFolder.empty() || row.folder != m_lastFolderBytes) {
            m_lastFolderBytes = row.folder;
            m_folder.AppendFolded(rows.DecodeCell(slot, kColumnFolder), m_folderText);
            m_folderStart.push_back(static_cast<uint32_t>(m_folderText.size()));
        }
        m_rowFolder.push_back(static_cast<uint32_t>(m_folderStart.size() - 2));
        for (int32_t column = kColumnGenre; column <= kColumnArtist; ++column) {
            m_folder.AppendFolded(rows.DecodeCell(slot, column), m_cellText);
            m_cellStart.push_back(static_cast<uint32_t>(m_cellText.size()));
        }
    }
}

void FoldedRows::Clear()
{
    std::u16string().swap(m_folderText);
    std::vector<uint32_t>{0}.swap(m_folderStart);
    m_lastFolderBytes.clear();
    std::u16string().swap(m_cellText);
    std::vector<uint32_t>{0}.swap(m_cellStart);
    std::vector<uint32_t>().swap(m_rowFolder);
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
    MarkContaining(m_cellText, m_cellStart, kColumnCount - 1, firstSlot, foldedQuery, matches);

    const std::size_t firstFolder = m_rowFolder[firstSlot];
    std::vector<uint8_t> folderMatches(m_folderStart.size() - 1, 0);
    MarkContaining(m_folderText, m_folderStart, 1, firstFolder, foldedQuery, folderMatches);
    for (std::size_t slot = firstSlot; slot < count; ++slot)
        matches[slot] |= folderMatches[m_rowFolder[slot]];
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
