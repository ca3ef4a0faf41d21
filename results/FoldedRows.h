// The folded text of every row (see TextFolder), made once per row and kept,
// so that narrowing the list as the user types only searches, never folds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextFolder.h"
#include "results/RowSorter.h"

namespace tamboro {

class FoldedRows {
public:
    // Folds the rows that arrived since the last call (rows are folded by
    // storage slot, so later sorts change nothing here). Many rows at once
    // are shared out to helper threads.
    void Update(const RowSorter& rows);
    // Forgets every row (after RowSorter::Clear).
    void Clear();
    // Number of rows folded: slots 0 .. FoldedCount()-1.
    std::size_t FoldedCount() const { return m_rows.rowFolder.size(); }

    // The query as it must be passed to Match.
    std::u16string FoldQuery(std::u16string_view query) const { return m_folder.Folded(query); }

    // Sets matches[slot] to 1 for every folded row in which any column
    // (folder, genre, title, artist) contains `foldedQuery`, else 0, for the
    // slots from `firstSlot` on; `matches` gets FoldedCount() entries and
    // keeps those below `firstSlot`. An empty query matches every row.
    void Match(std::u16string_view foldedQuery, std::vector<uint8_t>& matches, std::size_t firstSlot = 0) const;

private:
    // Marks with 1 the entries of `marks`, from `firstEntry` on, of which
    // one column of `text` holds a whole occurrence of `query`. Entry i has
    // `stride` columns: column k is [starts[i * stride + k], starts[i * stride + k + 1]).
    static void MarkContaining(std::u16string_view text, const std::vector<uint32_t>& starts, std::size_t stride,
                               std::size_t firstEntry, std::u16string_view query, std::vector<uint8_t>& marks);

    // The folded text of a run of slots.
    struct Block {
        // Folder paths: rows of one folder arrive together and share one entry.
        std::u16string folderText;
        std::vector<uint32_t> folderStart{0};  // folder i: [start[i], start[i + 1])
        // Genre, title and artist of each slot back to back; column k of
        // slot s is [cellStart[3s + k], cellStart[3s + k + 1]).
        std::u16string cellText;
        std::vector<uint32_t> cellStart{0};
        std::vector<uint32_t> rowFolder;  // by slot: folder entry
        std::string lastFolderBytes;

        // Appends the slots [first, end) of `rows`.
        void Fold(const RowSorter& rows, std::size_t first, std::size_t end, const TextFolder& folder);
        // Appends the slots of `next`, which follow this block's.
        void Append(const Block& next);
    };

    TextFolder m_folder;
    Block m_rows;  // slots 0 .. FoldedCount()-1
};

}  // namespace tamboro
