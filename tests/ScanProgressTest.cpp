// tamboro-scan's progress line on a real terminal (a pseudo-terminal): each
// update fits the terminal's width in display columns, so it never wraps and
// leaves stale lines, is cut between characters, and shows control
// characters of folder names instead of sending them to the terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

// Runs tamboro-scan on `root` with standard error on a terminal `columns`
// wide (0: the terminal tells no width) and $COLUMNS set to `columnsEnv`;
// returns what it showed there.
std::string ShownOnTerminal(const std::string& root, unsigned short columns, const char* columnsEnv)
{
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (child == 0) {
        ::setenv("COLUMNS", columnsEnv, 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);  // the rows go elsewhere
        ::execl(TAMBORO_SCAN_PATH, "tamboro-scan", root.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n > 0)
            shown.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;  // EIO once the program has closed the terminal
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return shown;
}

// The progress lines: what follows each "go to the line's start and clear it".
std::vector<std::string> ProgressLines(const std::string& shown)
{
    const std::string clear = "\r\033[K";
    std::vector<std::string> lines;
    for (std::size_t at = shown.find(clear); at != std::string::npos;) {
        const std::size_t next = shown.find(clear, at + clear.size());
        lines.push_back(shown.substr(at + clear.size(), next == std::string::npos ? next : next - at - clear.size()));
        at = next;
    }
    return lines;
}

TEST(ScanProgress, EachUpdateFitsTheTerminalAndIsCutBetweenCharacters)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    ASSERT_EQ(::wcswidth(L"歌", 1), 2);  // the checks below count display columns
    test::TestTree tree;
    std::string name;
    for (int i = 0; i < 70; ++i)
        name += "歌";   // 210 bytes, 140 columns
    name += "\x1b[2J";  // shown, not obeyed: it would clear the screen
    tree.WriteChart(name + "/사랑/x.bms", "g", "t", "a");
    const std::string root = tree.Path(name);
    struct Case {
        unsigned short terminalColumns;
        const char* columnsEnv;
        int width;
    };
    for (const Case& c : {Case{40, "100", 40}, Case{0, "30", 30}}) {
        const std::vector<std::string> lines = ProgressLines(ShownOnTerminal(root, c.terminalColumns, c.columnsEnv));
        ASSERT_FALSE(lines.empty()) << c.width;
        for (const std::string& line : lines) {
            if (line.empty())
                continue;  // the line cleared at the end
            EXPECT_TRUE(line.starts_with("0 charts  ")) << line;
            EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
            std::vector<wchar_t> wide(line.size() + 1);
            const std::size_t count = std::mbstowcs(wide.data(), line.c_str(), wide.size());
            ASSERT_NE(count, static_cast<std::size_t>(-1)) << "not whole characters: " << line;
            const int columns = ::wcswidth(wide.data(), count);
            EXPECT_GT(columns, c.width / 2) << line;
            EXPECT_LT(columns, c.width) << line;
        }
    }
}

}  // namespace
}  // namespace tamboro
