#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "search/SearchState.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using Result = SharedStateBlock::Result;

// Points XDG_RUNTIME_DIR at a fresh folder for the length of a test, or
// unsets it to exercise the POSIX shared memory form.
class RuntimeDir {
public:
    explicit RuntimeDir(bool set) : m_env("XDG_RUNTIME_DIR", set ? m_tree.Root().c_str() : nullptr) {}
    std::string Path(const std::string& name) const { return m_tree.Path(name); }

private:
    test::TestTree m_tree;
    test::ScopedEnv m_env;
};

std::string UniqueName(const char* what)
{
    return std::string("TamboroTest-") + what + "-" + std::to_string(::getpid());
}

class StateBlockForms : public ::testing::TestWithParam<bool> {};

TEST_P(StateBlockForms, TwoMappingsAndAChildProcessShareOneWord)
{
    RuntimeDir runtime(GetParam());
    const std::string name = UniqueName("share");
    SharedStateBlock dialogSide;
    ASSERT_EQ(dialogSide.Create(name.c_str()), Result::Ok);
    // A fresh block reads as running until the window sets it idle.
    EXPECT_EQ(dialogSide.Word().Load(), SS_RUNNING);
    dialogSide.Word().Store(SS_IDLE);

    SharedStateBlock workerSide;
    ASSERT_EQ(workerSide.Open(name.c_str()), Result::Ok);
    EXPECT_EQ(workerSide.Word().Load(), SS_IDLE);
    workerSide.Word().Store(SS_RUNNING);
    EXPECT_EQ(dialogSide.Word().Load(), SS_RUNNING);

    // The stop request is one step: it only replaces a running state.
    EXPECT_TRUE(dialogSide.Word().CompareExchange(SS_RUNNING, SS_STOP));
    EXPECT_FALSE(dialogSide.Word().CompareExchange(SS_RUNNING, SS_STOP));
    EXPECT_EQ(workerSide.Word().Load(), SS_STOP);

    // Handles may be closed (twice, harmlessly); views stay valid.
    workerSide.CloseHandle();
    workerSide.CloseHandle();
    workerSide.Word().Store(SS_IDLE);
    EXPECT_EQ(dialogSide.Word().Load(), SS_IDLE);

    // Another process opening the block by name writes the same word.
    const pid_t child = ::fork();
    if (child == 0) {
        SharedStateBlock other;
        if (other.Open(name.c_str()) != Result::Ok)
            ::_exit(2);
        other.Word().Store(SS_STOP);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(dialogSide.Word().Load(), SS_STOP);

    // Creating again uses the existing block.
    SharedStateBlock second;
    ASSERT_EQ(second.Create(name.c_str()), Result::Ok);
    EXPECT_EQ(second.Word().Load(), SS_STOP);
    second.Word().Store(SS_IDLE);
    EXPECT_EQ(dialogSide.Word().Load(), SS_IDLE);

    if (GetParam())
        ::unlink(runtime.Path(name).c_str());
    else
        ::shm_unlink(("/" + name + "-" + std::to_string(::geteuid())).c_str());
}

// A worker's handle taken from the window's reaches the window's block after
// the name was removed and a new block created under it (by a new instance).
TEST_P(StateBlockForms, ASharedHandleStaysOnTheWindowsBlockWhenTheNameIsReplaced)
{
    RuntimeDir runtime(GetParam());
    const std::string name = UniqueName("replaced");
    auto removeName = [&] {
        if (GetParam())
            return ::unlink(runtime.Path(name).c_str());
        return ::shm_unlink(("/" + name + "-" + std::to_string(::geteuid())).c_str());
    };
    SharedStateBlock window;
    ASSERT_EQ(window.Create(name.c_str()), Result::Ok);
    window.Word().Store(SS_IDLE);
    ASSERT_EQ(removeName(), 0);
    SharedStateBlock newcomer;
    ASSERT_EQ(newcomer.Create(name.c_str()), Result::Ok);
    newcomer.Word().Store(SS_IDLE);

    SharedStateBlock worker;
    worker.ShareHandleOf(window);
    ASSERT_EQ(worker.MapShared(), Result::Ok);
    worker.Word().Store(SS_RUNNING);
    EXPECT_EQ(window.Word().Load(), SS_RUNNING);
    EXPECT_EQ(newcomer.Word().Load(), SS_IDLE);
    EXPECT_EQ(removeName(), 0);
}

TEST_P(StateBlockForms, OpeningAMissingBlockFailsAtTheObjectStep)
{
    RuntimeDir runtime(GetParam());
    SharedStateBlock block;
    const Result result = block.Open(UniqueName("missing").c_str());
    EXPECT_EQ(result, Result::ObjectFailed);
    EXPECT_STREQ(SharedStateBlock::OpenFailureMessage(result), "共有メモリを開けませんでした。");
}

INSTANTIATE_TEST_SUITE_P(RuntimeDirAndShm, StateBlockForms, ::testing::Values(true, false));

TEST(StateBlock, LivesInTheRuntimeDirWithMode0600)
{
    RuntimeDir runtime(true);
    const std::string name = UniqueName("mode");
    const mode_t oldMask = ::umask(0);
    SharedStateBlock block;
    ASSERT_EQ(block.Create(name.c_str()), Result::Ok);
    ::umask(oldMask);
    struct stat st {};
    ASSERT_EQ(::stat(runtime.Path(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 4);
}

TEST(StateBlock, RefusesASymbolicLinkAtItsName)
{
    RuntimeDir runtime(true);
    const std::string name = UniqueName("link");
    const std::string target = runtime.Path("target");
    ASSERT_EQ(::symlink(target.c_str(), runtime.Path(name).c_str()), 0);
    SharedStateBlock block;
    EXPECT_EQ(block.Create(name.c_str()), Result::ObjectFailed);
    EXPECT_EQ(block.Open(name.c_str()), Result::ObjectFailed);
    struct stat st {};
    EXPECT_NE(::stat(target.c_str(), &st), 0) << "the link's target must not be created";
    EXPECT_STREQ(SharedStateBlock::CreateFailureMessage(Result::ObjectFailed), "共有メモリを作成できませんでした。");
    EXPECT_STREQ(SharedStateBlock::CreateFailureMessage(Result::ViewFailed), "共有メモリを確保できませんでした。");
    EXPECT_STREQ(SharedStateBlock::OpenFailureMessage(Result::ViewFailed),
                 "共有メモリをマッピングすることが出来ませんでした。");
}

TEST(StateBlock, RefusesABlockOfAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    RuntimeDir runtime(true);
    const std::string name = UniqueName("owner");
    const std::string path = runtime.Path(name);
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 4), 0);
    ASSERT_EQ(::fchown(fd, 65534, 65534), 0);
    ::close(fd);
    SharedStateBlock block;
    EXPECT_EQ(block.Create(name.c_str()), Result::ObjectFailed);
    EXPECT_EQ(block.Open(name.c_str()), Result::ObjectFailed);
}

TEST(StateBlock, WrongSizesAreHandled)
{
    RuntimeDir runtime(true);
    for (const off_t size : {off_t(0), off_t(1), off_t(1 << 20)}) {
        const std::string name = UniqueName("size") + "-" + std::to_string(size);
        const int fd = ::open(runtime.Path(name).c_str(), O_CREAT | O_RDWR, 0600);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        SharedStateBlock opened;
        // Too short to hold the word: opening cannot map it.
        EXPECT_EQ(opened.Open(name.c_str()), size < 4 ? Result::ViewFailed : Result::Ok) << size;
        SharedStateBlock created;
        ASSERT_EQ(created.Create(name.c_str()), Result::Ok) << size;
        created.Word().Store(SS_IDLE);
        SharedStateBlock reopened;
        ASSERT_EQ(reopened.Open(name.c_str()), Result::Ok) << size;
        EXPECT_EQ(reopened.Word().Load(), SS_IDLE);
    }
}

}  // namespace
}  // namespace tamboro
