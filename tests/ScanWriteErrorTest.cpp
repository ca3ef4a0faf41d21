// tamboro-scan names the error of the write that failed, however many other
// calls failed after it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>

#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

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

    const std::string command = std::string("'") + TAMBORO_SCAN_PATH + "' '" + tree.Root() + "' 2>&1 >/dev/full";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string messages;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        messages += buffer;
    const int status = ::pclose(pipe);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(messages, std::string("tamboro-scan: cannot write the rows: ") + std::strerror(ENOSPC) + "\n");
}

}  // namespace
}  // namespace tamboro
