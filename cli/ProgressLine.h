// The progress line tamboro-scan keeps on a terminal: rewritten in place, so
// it must never be wider than the terminal (a line that wraps leaves its
// first part behind at each update).
#pragma once

#include <string>

namespace tamboro {

// The width in columns of the terminal on `fd`; $COLUMNS when the terminal
// does not tell; 80 when neither does.
int TerminalColumns(int fd);

// `text` (UTF-8) as it may be shown in at most `columns` columns: wide
// characters of East Asian text take two columns, combining marks none, and
// control characters (which would move the cursor or change the terminal)
// are shown as '?'. Text that is too wide keeps its end, the part that
// changes from folder to folder, after "...": it is cut between
// characters, never inside one.
std::string FitToColumns(const std::string& text, int columns);

}  // namespace tamboro
