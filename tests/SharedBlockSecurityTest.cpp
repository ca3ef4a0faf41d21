// The shared state block against other users and odd objects at its name,
// in both of its forms: a file in $XDG_RUNTIME_DIR and, without that
// variable, a POSIX shared memory object named after the user id. Tests that
// take the part of two users fork children that drop to unprivileged user
// ids, so they need root and are skipped without it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "search/FolderScan.h"
#include "search/SearchState.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using Result = SharedStateBlock::Result;

constexpr uid_t kPlayer = 65534;     // "nobody" on Debian
constexpr uid_t kOtherUser = 65533;  // any other unprivileged id

bool IsRoot()
{
    return ::geteuid() == 0;
}

// Sets XDG_RUNTIME_DIR to `dir`, or unsets it for an empty `dir`, for the
// length of a test.
class RuntimeDirVariable : public test::ScopedEnv {
public:
    explicit RuntimeDirVariable(const std::string& dir)
        : ScopedEnv("XDG_RUNTIME_DIR", dir.empty() ? nullptr : dir.c_str())
    {}
};

std::string UniqueName(const char* what)
{
    return std::string("TamboroSecurity-") + what + "-" + std::to_string(::getpid());
}

// Where the POSIX shared memory object of `name` for user `uid` lives.
std::string ShmPath(const std::string& name, uid_t uid)
{
    return "/dev/shm/" + name + "-" + std::to_string(uid);
}

// Removes a path when the test ends, however it ends.
struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { ::unlink(path.c_str()); }
};

// Runs `body` in a child process as user and group `uid` with no
// supplementary groups; returns its exit status, or -1 when it died.
int RunAs(uid_t uid, const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string FileBytes(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return "<" + std::string(std::strerror(errno)) + ">";
    std::string bytes(64, '\0');
    const ssize_t n = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

int32_t WordIn(const std::string& path)
{
    const std::string bytes = FileBytes(path);
    int32_t word = 0x7F7F7F7F;
    if (bytes.size() >= sizeof(word))
        std::memcpy(&word, bytes.data(), sizeof(word));
    return word;
}

TEST(SharedBlockSecurity, WithoutARuntimeDirTheBlockIsAPrivateShmObjectNamedAfterTheUser)
{
    test::TestTree tree;
    const std::string name = UniqueName("shm");
    const std::string path = ShmPath(name, ::geteuid());
    RemoveAtEnd remove{path};
    {
        // The runtime dir form puts nothing into /dev/shm.
        RuntimeDirVariable runtime(tree.Root());
        SharedStateBlock block;
        ASSERT_EQ(block.Create(name.c_str()), Result::Ok);
        struct stat st {};
        EXPECT_NE(::lstat(path.c_str(), &st), 0);
        ASSERT_EQ(::lstat(tree.Path(name).c_str(), &st), 0);
    }
    RuntimeDirVariable runtime("");
    const mode_t oldMask = ::umask(0);
    SharedStateBlock block;
    const Result created = block.Create(name.c_str());
    ::umask(oldMask);
    ASSERT_EQ(created, Result::Ok);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_size, 4);
    block.Word().Store(SS_IDLE);
    EXPECT_EQ(WordIn(path), SS_IDLE);
}

// Both forms: "" for shared memory, otherwise the runtime dir to use.
class BothForms : public ::testing::TestWithParam<bool> {
protected:
    bool InRuntimeDir() const { return GetParam(); }
    // Where the block named `name` of the current user lives.
    std::string PathOf(const test::TestTree& tree, const std::string& name) const
    {
        return InRuntimeDir() ? tree.Path(name) : ShmPath(name, ::geteuid());
    }
};

TEST_P(BothForms, ALinkAtTheNameIsNeverFollowedNorItsTargetTouched)
{
    test::TestTree tree;
    RuntimeDirVariable runtime(InRuntimeDir() ? tree.Root() : "");
    const std::string name = UniqueName("link");
    const std::string path = PathOf(tree, name);
    RemoveAtEnd remove{path};
    // The link leads to a file of this user that must stay as it is.
    tree.WriteFile("precious", "precious bytes");
    ASSERT_EQ(::symlink(tree.Path("precious").c_str(), path.c_str()), 0);
    SharedStateBlock block;
    const Result created = block.Create(name.c_str());
    EXPECT_EQ(created, Result::ObjectFailed);
    EXPECT_STREQ(SharedStateBlock::CreateFailureMessage(created), kMsgCreateObjectFailed);
    const Result opened = block.Open(name.c_str());
    EXPECT_EQ(opened, Result::ObjectFailed);
    EXPECT_STREQ(SharedStateBlock::OpenFailureMessage(opened), kMsgOpenObjectFailed);
    if (block.Word().IsValid())
        block.Word().Store(SS_STOP);
    EXPECT_EQ(FileBytes(tree.Path("precious")), "precious bytes");
}

TEST_P(BothForms, ThingsThatAreNotFilesAtTheNameAreRefusedWithoutBlocking)
{
    test::TestTree tree;
    RuntimeDirVariable runtime(InRuntimeDir() ? tree.Root() : "");
    const std::string name = UniqueName("odd");
    const std::string path = PathOf(tree, name);
    RemoveAtEnd remove{path};

    auto expectRefused = [&](const char* what) {
        SharedStateBlock block;
        EXPECT_EQ(block.Create(name.c_str()), Result::ObjectFailed) << what;
        EXPECT_EQ(block.Open(name.c_str()), Result::ObjectFailed) << what;
        EXPECT_FALSE(block.Word().IsValid()) << what;
    };

    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    expectRefused("a folder");
    ::rmdir(path.c_str());

    // Nobody reads the FIFO: opening it plainly would wait for a reader.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    expectRefused("a FIFO");
    ::unlink(path.c_str());

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::strcpy(address.sun_path, path.c_str());
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::listen(sock, 1);
    expectRefused("a listening socket");
    ::close(sock);
    ::unlink(path.c_str());

    if (IsRoot()) {
        ASSERT_EQ(::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);  // /dev/zero
        expectRefused("a character device");
        ::unlink(path.c_str());
    }
}

TEST_P(BothForms, BlocksOfTheWrongSizeAreNeitherACrashNorAMisread)
{
    test::TestTree tree;
    RuntimeDirVariable runtime(InRuntimeDir() ? tree.Root() : "");
    for (const off_t size : {off_t(0), off_t(1), off_t(3), off_t(1 << 20)}) {
        const std::string name = UniqueName("size") + "-" + std::to_string(size);
        const std::string path = PathOf(tree, name);
        RemoveAtEnd remove{path};
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        if (size >= 4) {
            const int32_t stop = SS_STOP;
            ASSERT_EQ(::pwrite(fd, &stop, sizeof(stop), 0), 4);
        }
        ::close(fd);

        SharedStateBlock opened;
        const Result result = opened.Open(name.c_str());
        if (size < 4) {
            // Too short to hold the word: the worker's open is refused at the
            // mapping step (touching the view would fault).
            EXPECT_EQ(result, Result::ViewFailed) << size;
            EXPECT_STREQ(SharedStateBlock::OpenFailureMessage(result), kMsgOpenViewFailed);
            EXPECT_FALSE(opened.Word().IsValid());
            EXPECT_FALSE(opened.HasHandle()) << "a failed mapping closes the handle";
        } else {
            ASSERT_EQ(result, Result::Ok) << size;
            EXPECT_EQ(opened.Word().Load(), SS_STOP) << "the word is the first 4 bytes";
        }

        // The window's create makes any of them usable, and the word is the
        // same 4 bytes for every view.
        SharedStateBlock created;
        ASSERT_EQ(created.Create(name.c_str()), Result::Ok) << size;
        created.Word().Store(SS_IDLE);
        SharedStateBlock reopened;
        ASSERT_EQ(reopened.Open(name.c_str()), Result::Ok) << size;
        EXPECT_EQ(reopened.Word().Load(), SS_IDLE);
        EXPECT_EQ(WordIn(path), SS_IDLE);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, std::max<off_t>(size, 4)) << "a large block is not cut";
    }
}

// A sink that, on entering the first folder below the root, lets an outside
// process write -1 into the block, and notes every folder entered after.
class StopFromOutsideSink : public test::CollectingSink {
public:
    StopFromOutsideSink(std::string root, std::function<int()> outside)
        : m_root(std::move(root)), m_outside(std::move(outside))
    {}
    void FolderEntered(const std::string& folder) override
    {
        if (m_stopped)
            enteredAfterStop.push_back(folder);
        if (!m_stopped && folder != m_root) {
            m_stopped = true;
            stoppedIn = folder;
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(m_outside());
            int status = 0;
            outsideStatus = (::waitpid(child, &status, 0) == child && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
        }
    }
    std::vector<std::string> enteredAfterStop;
    std::string stoppedIn;
    int outsideStatus = -2;

private:
    std::string m_root;
    std::function<int()> m_outside;
    bool m_stopped = false;
};

TEST_P(BothForms, AnOutsideProcessOfTheSameUserWritingMinusOneStopsTheScan)
{
    test::TestTree tree;
    test::TestTree runtimeDir;
    RuntimeDirVariable runtime(InRuntimeDir() ? runtimeDir.Root() : "");
    const std::string name = UniqueName("stop");
    const std::string path = InRuntimeDir() ? runtimeDir.Path(name) : ShmPath(name, ::geteuid());
    RemoveAtEnd remove{path};
    for (int i = 0; i < 30; ++i)
        tree.WriteChart("f" + std::to_string(i) + "/c.bms", "g", std::to_string(i), "a");

    SharedStateBlock block;
    ASSERT_EQ(block.Create(name.c_str()), Result::Ok);
    block.Word().Store(SS_RUNNING);
    // The outside process knows only the name and the layout: 4 bytes,
    // a signed 32-bit number in the machine's order. It uses no Tamboro code.
    const bool inRuntimeDir = InRuntimeDir();
    StopFromOutsideSink sink(tree.Root() + "/", [&]() {
        const int fd = inRuntimeDir ? ::open(path.c_str(), O_WRONLY | O_NOFOLLOW)
                                    : ::shm_open(("/" + name + "-" + std::to_string(::geteuid())).c_str(), O_RDWR, 0);
        const int32_t stop = -1;
        return fd >= 0 && ::pwrite(fd, &stop, sizeof(stop), 0) == 4 ? 0 : 1;
    });
    FolderScan scan(sink, {.state = block.Word()});
    EXPECT_EQ(scan.Run(tree.Root()), 0) << "a stopped scan is no failure";
    EXPECT_EQ(sink.outsideStatus, 0) << "the outside process could not write the block";
    EXPECT_EQ(block.Word().Load(), SS_STOP);
    EXPECT_EQ(sink.enteredAfterStop, std::vector<std::string>{}) << "folders entered after the stop";
    // The folder that was open still lists its chart; the 29 others, not
    // reached yet, list nothing.
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].folder, sink.stoppedIn);
}

INSTANTIATE_TEST_SUITE_P(RuntimeDirAndShm, BothForms, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "RuntimeDir" : "Shm"; });

TEST(SharedBlockSecurity, ABlockPlantedByAnotherUserIsRefusedWithTheMessage)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to act as two users";
    // In /dev/shm anybody may create the object a player's Tamboro will look
    // for. Here root plants one, readable and writable by all, for the player.
    const std::string name = UniqueName("planted");
    const std::string shmPath = ShmPath(name, kPlayer);
    RemoveAtEnd removeShm{shmPath};
    // And a runtime dir of the player's that holds a file of root's.
    test::TestTree tree;
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0700), 0);
    ASSERT_EQ(::chown(tree.Root().c_str(), kPlayer, kPlayer), 0);
    const std::string filePath = tree.Path(name);
    for (const std::string& path : {shmPath, filePath}) {
        const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0666);
        ASSERT_GE(fd, 0) << path;
        ::fchmod(fd, 0666);
        const int32_t word = 12345;
        ASSERT_EQ(::pwrite(fd, &word, sizeof(word), 0), 4);
        ::close(fd);
    }

    for (const bool inRuntimeDir : {true, false}) {
        RuntimeDirVariable runtime(inRuntimeDir ? tree.Root() : "");
        const int status = RunAs(kPlayer, [&]() {
            SharedStateBlock block;
            const Result created = block.Create(name.c_str());
            if (created != Result::ObjectFailed)
                return 1;
            if (std::strcmp(SharedStateBlock::CreateFailureMessage(created), "共有メモリを作成できませんでした。") != 0)
                return 2;
            const Result opened = block.Open(name.c_str());
            if (opened != Result::ObjectFailed)
                return 3;
            if (std::strcmp(SharedStateBlock::OpenFailureMessage(opened), "共有メモリを開けませんでした。") != 0)
                return 4;
            return block.Word().IsValid() ? 5 : 0;
        });
        EXPECT_EQ(status, 0) << (inRuntimeDir ? "runtime dir" : "shm");
    }
    EXPECT_EQ(WordIn(shmPath), 12345) << "the planted block was written";
    EXPECT_EQ(WordIn(filePath), 12345) << "the planted block was written";
}

TEST(SharedBlockSecurity, AnotherUserCannotReachAPlayersBlock)
{
    if (!IsRoot())
        GTEST_SKIP() << "needs root to act as two users";
    const std::string name = UniqueName("player");
    test::TestTree tree;  // the player's runtime dir
    ASSERT_EQ(::chown(tree.Root().c_str(), kPlayer, kPlayer), 0);
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0700), 0);
    const std::string shmPath = ShmPath(name, kPlayer);
    const std::string otherShmPath = ShmPath(name, kOtherUser);
    RemoveAtEnd removeShm{shmPath};
    RemoveAtEnd removeOtherShm{otherShmPath};

    for (const bool inRuntimeDir : {true, false}) {
        RuntimeDirVariable runtime(inRuntimeDir ? tree.Root() : "");
        const std::string where = inRuntimeDir ? tree.Path(name) : shmPath;
        // The player's window creates the block; a search is running.
        ASSERT_EQ(RunAs(kPlayer,
                        [&]() {
                            SharedStateBlock block;
                            if (block.Create(name.c_str()) != Result::Ok)
                                return 1;
                            block.Word().Store(SS_RUNNING);
                            return 0;
                        }),
                  0);
        // Another user tries every way in: Tamboro's own open by name (the
        // same variable set), and a plain open of the block's path.
        const int status = RunAs(kOtherUser, [&]() {
            SharedStateBlock block;
            const Result opened = block.Open(name.c_str());
            if (opened == Result::Ok) {
                block.Word().Store(SS_STOP);
                // Reaching a block is fine only when it is the other user's own.
                if (inRuntimeDir)
                    return 1;
            }
            SharedStateBlock own;
            if (own.Create(name.c_str()) == Result::Ok)
                own.Word().Store(SS_STOP);
            const int fd = ::open(where.c_str(), O_RDWR);
            if (fd >= 0) {
                const int32_t stop = SS_STOP;
                return ::pwrite(fd, &stop, sizeof(stop), 0) == sizeof(stop) ? 2 : 4;
            }
            return errno == EACCES ? 0 : 3;
        });
        EXPECT_EQ(status, 0) << (inRuntimeDir ? "runtime dir" : "shm");
        EXPECT_EQ(WordIn(where), SS_RUNNING) << "another user changed the player's word";
        struct stat st {};
        ASSERT_EQ(::stat(where.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, kPlayer);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
}

}  // namespace
}  // namespace tamboro
