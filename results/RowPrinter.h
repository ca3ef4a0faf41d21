// The text line of one row, decoded to UTF-8 or raw: what tamboro-scan prints
// and what the window copies, made by the same code so that both agree.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "search/ChartRow.h"

namespace tamboro {

// Appends `field` to `out` with backslash, TAB, CR and LF written as
// "\\", "\t", "\r" and "\n", so that one row is always one line.
void AppendEscaped(std::string& out, std::string_view field);

// Formats rows into lines: the cells of every column (ListColumn) in list
// order, separated by TAB, ending in LF: "folder TAB genre TAB title TAB
// artist LF".
class RowPrinter {
public:
    explicit RowPrinter(bool raw) : m_raw(raw) {}

    // Appends the line for `row` to `out`.
    void AppendLine(std::string& out, const ChartRow& row);

private:
    bool m_raw;
    std::string m_lastFolder;  // consecutive rows mostly share a folder
    std::string m_lastFolderDecoded;
};

}  // namespace tamboro
