// The text line of one row, decoded to UTF-8 or raw: what tamboro-scan prints
// and what the window copies, made by the same code so that both agree.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "results/ListColumn.h"
#include "search/ChartRow.h"

namespace tamboro {

// Appends `field` to `out` with backslash, TAB, CR and LF written as
// "\\", "\t", "\r" and "\n", so that one row is always one line.
void AppendEscaped(std::string& out, std::string_view field);

// Formats rows into lines: the cells of the columns given, in the order
// given, separated by TAB, ending in LF; by default the window's columns:
// "folder TAB genre TAB title TAB artist LF". Decoded, the values of a row's
// tags are decoded with one charset decision, the folder and the file name
// as path components.
class RowPrinter {
public:
    explicit RowPrinter(bool raw, std::vector<ListColumn> columns = {kDefaultColumns.begin(), kDefaultColumns.end()})
        : m_raw(raw), m_columns(std::move(columns))
    {}

    // Appends the line for `row` to `out`.
    void AppendLine(std::string& out, const ChartRow& row);

private:
    bool m_raw;
    std::vector<ListColumn> m_columns;
    std::string m_lastFolder;  // consecutive rows mostly share a folder
    std::string m_lastFolderDecoded;
};

}  // namespace tamboro
