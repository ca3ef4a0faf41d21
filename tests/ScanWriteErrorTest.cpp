// tamboro-scan names the error of the write that failed, however many other
// calls failed after it, and fails when its help or version cannot be written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <utility>

#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

// Runs tamboro-scan with `arguments` writing to a full device; returns its
// exit status (-1 when it did not exit) and what it said on stderr.
std::pair<int, std::string> RunIntoAFullDevice(const std::string& arguments)
{
    const std::string command = std::string("'") + TAMBORO_SCAN_PATH + "' " + arguments + " 2>&1 >/dev/full";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {-1, ""};
    std::string messages;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        messages += buffer;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, messages};
}

TEST(ScanWriteError, HelpAndVersionThatCannotBeWrittenFailWithOneLine)
{
    const std::string full = std::strerror(ENOSPC);
    EXPECT_EQ(RunIntoAFullDevice("--help"), std::make_pair(1, "tamboro-scan: cannot write the help: " + full + "\n"));
    EXPECT_EQ(RunIntoAFullDevice("--version"),
              std::make_pair(1, "tamboro-scan: cannot write the version: " + full + "\n"));
}

TEST(ScanWriteError, NamesTheFailedWriteNotALaterFailure)
{
    test::TestTree tree;
    // Over 1 MiB of rows from one folder: they are written while the scan
    // goes on. Then the dangling links beside that folder fail to be looked
    // at (ENOENT), and no row is left for a last write.
    const std::string longText(60000, 'x');
    for (int i = 0; i < 12; ++i)
        tree.WriteChart("big/c" + std::to_string(i) + ".bms", "g", longText, longText);
    for (int i = 0; i < 64; ++i)
        tree.MakeSymlink("/nonexistent/" + std::to_string(i), "link" + std::to_string(i));

    EXPECT_EQ(RunIntoAFullDevice("'" + tree.Root() + "'"),
              std::make_pair(1, std::string("tamboro-scan: cannot write the rows: ") + std::strerror(ENOSPC) + "\n"));
}

}  // namespace
}  // namespace tamboro
