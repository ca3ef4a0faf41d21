// The text line of one problem the library check found: what
// tamboro-scan --check prints and what the window copies.
#pragma once

#include <string>

#include "check/CheckProblem.h"

namespace tamboro {

// The cells of a problem's line, decoded to UTF-8 (or raw bytes): folder,
// file, detail and, for a case mismatch, the file found.
struct CheckCells {
    std::string folder;
    std::string file;
    std::string detail;
    std::string found;
};
CheckCells CheckCellsOf(const CheckProblem& problem, bool raw);

// Appends "kind TAB folder TAB file TAB detail [TAB found] LF", each field
// escaped as rows are.
void AppendCheckLine(std::string& out, const CheckProblem& problem, bool raw);

}  // namespace tamboro
