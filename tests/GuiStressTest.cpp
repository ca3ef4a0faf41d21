// The window under stress on the offscreen platform, with real worker
// threads:
//   - a thousand Search/Stop cycles in one window, Stop and the next Search
//     pressed at varying moments, and two hundred searches that run to the
//     end; threads, open descriptors, mappings and resident memory are
//     measured after a warm-up and again at the end, and every worker must
//     have ended with 13 (stopped) or 14 (seen finished);
//   - closing the program at random moments during searches and while idle,
//     each run a process of its own (this binary started again with
//     --closing-child, which runs the program as tamboro's main does and
//     searches a given tree): it must end with 4 (3 when idle), never abort,
//     and end within 2 seconds of its scan having unwound.
//
// Environment:
//   TAMBORO_STRESS_SCALE    factor for every count (default 1; the sanitizer
//                           builds run a fraction)
//   TAMBORO_STRESS_SEED     seed of the random moments (default fixed; the
//                           seed in use is printed)
//   TAMBORO_STRESS_HANG_MS  how long the program may take to end after its
//                           scan unwound (default 2000)
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "dialog/TamboroApp.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/Checked.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"
#include "tests/support/WorkerThreadTesting.h"
#include "worker/WorkerThread.h"

extern char** environ;

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

// ---------------------------------------------------------------- figures

struct Figures {
    int threads = 0;
    int fds = 0;
    int mappings = 0;
    long rssKb = 0;
};

int CountEntries(const char* folder)
{
    DIR* dir = ::opendir(folder);
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++count;
    }
    ::closedir(dir);
    return count;
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    }
    return -1;
}

int CountLines(const char* path)
{
    std::ifstream in(path);
    std::string line;
    int count = 0;
    while (std::getline(in, line))
        ++count;
    return count;
}

// The listing of /proc/self/fd holds one descriptor of its own, the same
// every time.
Figures Measure()
{
    return {CountEntries("/proc/self/task"), CountEntries("/proc/self/fd"), CountLines("/proc/self/maps"),
            ResidentKb()};
}

QString Show(const Figures& f)
{
    return QStringLiteral("%1 threads, %2 fds, %3 mappings, %4 MB RSS")
        .arg(f.threads)
        .arg(f.fds)
        .arg(f.mappings)
        .arg(f.rssKb / 1024.0, 0, 'f', 1);
}

double Scale()
{
    const char* text = std::getenv("TAMBORO_STRESS_SCALE");
    const double scale = text != nullptr ? std::atof(text) : 1.0;
    return scale > 0 ? scale : 1.0;
}

int Scaled(int count, int least)
{
    return std::max(least, static_cast<int>(std::lround(count * Scale())));
}

uint64_t Seed()
{
    const char* text = std::getenv("TAMBORO_STRESS_SEED");
    return text != nullptr ? std::strtoull(text, nullptr, 10) : 20261207;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// Memory may grow this much over a run: allocator pools, Qt's caches, the
// remembered exit codes. A leak of one row or one worker per cycle would
// pass it. AddressSanitizer holds freed memory in a quarantine of its own.
long MemoryBoundKb()
{
    return kAddressSanitizer ? 512 * 1024 : 48 * 1024;
}

// Mappings may grow this much over `searches` searches: the allocator maps
// and unmaps some blocks of its own (AddressSanitizer's more, as its
// quarantine fills). A state block view or a thread stack left behind per
// search would add one each time.
int MappingBound(int searches)
{
    return kAddressSanitizer ? 16 + searches / 2 : 16;
}

// SplitMix64: the same moments for the same seed everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }

private:
    uint64_t m_state;
};

int64_t MonotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// A library of `folders` folders dNNN, each holding an inner folder and
// both holding `charts` charts of about 4 kB. Made in this process: a
// forked helper would not do under ThreadSanitizer, which stops a process
// that starts threads after Qt forked.
void MakeLibrary(const TestTree& tree, int folders, int charts)
{
    std::string data;
    while (data.size() < 3900)
        data += "#00111:01010101010101010101010101010101\r\n";
    for (int f = 0; f < folders; ++f) {
        const std::string folder = "d" + std::to_string(1000 + f).substr(1);
        for (const std::string& where : {folder, folder + "/inner"}) {
            for (int c = 0; c < charts; ++c) {
                const std::string chart = std::to_string(100 + c).substr(1);
                tree.WriteFile(where + "/f" + chart + ".bms",
                               "#GENRE stress\r\n#TITLE " + folder + "\r\n#ARTIST " + chart + "\r\n" + data);
            }
        }
    }
}

// Runs `action` right after the call that enables the widget returns: a
// click that arrived while the scan was giving the button back, the first
// moment a click on it can be handled.
class EnabledWatch : public QObject {
public:
    explicit EnabledWatch(QWidget* widget) { widget->installEventFilter(this); }
    std::function<void()> once;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange && static_cast<QWidget*>(watched)->isEnabled() && once) {
            QMetaObject::invokeMethod(this, std::move(once), Qt::QueuedConnection);
            once = nullptr;
        }
        return false;
    }
};

bool Ended(WorkerThread::Id id)
{
    return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended;
}

bool ScanOver(WorkerThread::Id id)
{
    const WorkerThread::Phase phase = WorkerThread::PhaseOf(id);
    return phase == WorkerThread::Phase::Waiting || phase == WorkerThread::Phase::Ended;
}

struct Started {
    WorkerThread::Id id;
    int expected;  // exit code
};

// Waits for every worker to end, then checks its exit code.
void ExpectExitCodes(const std::vector<Started>& started)
{
    QVERIFY(WaitUntil(
        [&] { return std::all_of(started.begin(), started.end(), [](const Started& s) { return Ended(s.id); }); },
        60000));
    for (std::size_t i = 0; i < started.size(); ++i) {
        const std::optional<int> code = WorkerThreadTesting::ExitCodeOf(started[i].id);
        if (code != std::optional<int>(started[i].expected))
            QFAIL(qPrintable(QStringLiteral("search %1: worker ended with %2, wanted %3")
                                 .arg(i)
                                 .arg(code ? QString::number(*code) : QStringLiteral("nothing"))
                                 .arg(started[i].expected)));
    }
}

// Waits until the finished workers' threads are gone from /proc (a thread
// ends a moment after QThread::wait returns), then compares threads and
// descriptors exactly, mappings and memory within bounds.
void ExpectNoGrowth(const Figures& before, int liveBefore, int searches, Figures& after)
{
    QVERIFY(WaitUntil([&] { return WorkerThreadTesting::LiveCount() == liveBefore; }, 30000));
    WaitUntil(
        [&] {
            after = Measure();
            return after.threads <= before.threads && after.fds <= before.fds;
        },
        10000);
    after = Measure();
    QCOMPARE(after.threads, before.threads);
    QCOMPARE(after.fds, before.fds);
    QVERIFY2(after.mappings - before.mappings <= MappingBound(searches),
             qPrintable(QStringLiteral("mappings grew from %1 to %2").arg(before.mappings).arg(after.mappings)));
    QVERIFY2(after.rssKb - before.rssKb < MemoryBoundKb(),
             qPrintable(QStringLiteral("resident memory grew from %1 to %2 kB").arg(before.rssKb).arg(after.rssKb)));
}

// ------------------------------------------------------- closing, child

// The program as tamboro's main runs it, with a search of `root` started
// and the window closed `momentMs` later (or as `how` says):
//   close       the window's close button
//   escape      the Escape key
//   stop-close  Stop, then the close button
//   idle        the close button, with no search started
//   after       the close button once the search has ended
// It writes what it saw on standard output, one line each:
//   close STATE NS      the state word just before the close, and when
//   unwound NS          the scan gave Search back after the close (the
//                       close's moment when it had done so before)
//   scan NS             (after) how long the search took
//   worker CODE         the worker's exit code (-1: none), after the end
class ClosingChild : public QObject {
public:
    ClosingChild(std::string root, int momentMs, std::string how)
        : m_root(std::move(root)), m_momentMs(momentMs), m_how(std::move(how))
    {}

    void Begin()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dlg = qobject_cast<CTamboroDlg*>(widget))
                m_dlg = dlg;
        }
        if (m_dlg == nullptr) {
            std::fputs("no window\n", stderr);
            std::_Exit(90);
        }
        if (m_how == "idle") {
            QTimer::singleShot(m_momentMs, Qt::PreciseTimer, this, [this] { Close(); });
            return;
        }
        CTamboroDlgTesting::SearchButton(*m_dlg)->installEventFilter(this);
        CTamboroDlgTesting::PathEdit(*m_dlg)->setText(QString::fromStdString(m_root));
        m_searchStart = MonotonicNs();
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(*m_dlg), Qt::LeftButton);
        m_worker = CTamboroDlgTesting::LastSearchThreadId(*m_dlg);
        if (m_how != "after")
            QTimer::singleShot(m_momentMs, Qt::PreciseTimer, this, [this] { Close(); });
    }

    void ReportWorker() const
    {
        if (m_worker == 0)
            return;
        const std::optional<int> code = WorkerThreadTesting::ExitCodeOf(m_worker);
        Say("worker " + std::to_string(code ? *code : -1));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::EnabledChange || !static_cast<QWidget*>(watched)->isEnabled())
            return false;
        if (m_closed && !m_unwound) {
            m_unwound = true;
            Say("unwound " + std::to_string(MonotonicNs()));
        } else if (!m_closed) {
            m_scanOver = true;
        }
        if (!m_closed && m_how == "after") {
            Say("scan " + std::to_string(MonotonicNs() - m_searchStart));
            // The word goes idle right after this call returns.
            auto* poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [this, poll] {
                if (CTamboroDlgTesting::SharedState(*m_dlg).Load() == SS_IDLE) {
                    poll->deleteLater();
                    Close();
                }
            });
            poll->start(1);
        }
        return false;
    }

private:
    static void Say(const std::string& line)
    {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t n = ::write(1, text.data(), text.size());
    }

    void Close()
    {
        if (m_closed)
            return;
        if (m_how == "stop-close")
            QTest::mouseClick(CTamboroDlgTesting::StopButton(*m_dlg), Qt::LeftButton);
        m_closed = true;
        const int64_t now = MonotonicNs();
        const int32_t before = CTamboroDlgTesting::SharedState(*m_dlg).Load();
        // The scan gave Search back before the close, but the worker had
        // not yet marked the word idle: the scan has unwound already.
        if (m_scanOver) {
            m_unwound = true;
            Say("unwound " + std::to_string(now));
        }
        if (m_how == "escape")
            QTest::keyClick(CTamboroDlgTesting::PathEdit(*m_dlg), Qt::Key_Escape);
        else
            m_dlg->close();
        // The word as it stood before and right after the window took the
        // close: the worker may mark it idle in between.
        Say("close " + std::to_string(before) + " " + std::to_string(now) + " " +
            std::to_string(CTamboroDlgTesting::SharedState(*m_dlg).Load()));
    }

    const std::string m_root;
    const int m_momentMs;
    const std::string m_how;
    CTamboroDlg* m_dlg = nullptr;
    WorkerThread::Id m_worker = 0;
    int64_t m_searchStart = 0;
    bool m_scanOver = false;
    bool m_closed = false;
    bool m_unwound = false;
};

int RunClosingChild(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: --closing-child ROOT MOMENT_MS close|escape|stop-close|idle|after\n", stderr);
        return 2;
    }
    int appArgc = 1;
    CTamboroApp app(appArgc, argv);
    ClosingChild child(argv[2], std::atoi(argv[3]), argv[4]);
    QTimer::singleShot(0, &child, [&child] { child.Begin(); });
    const int code = app.InitInstance();
    child.ReportWorker();
    return code;
}

// ------------------------------------------------------ closing, parent

struct ClosingCase {
    int number = 0;
    int momentMs = 0;
    std::string how;

    // What the child said and did.
    std::string out;
    std::string errPath;
    pid_t pid = -1;
    int outFd = -1;
    int status = 0;
    bool reaped = false;
    bool killed = false;
    int64_t endNs = 0;
    std::string runtimeDir;

    std::optional<int64_t> Field(const std::string& key, int index = 1) const
    {
        std::size_t at = 0;
        while (at < out.size()) {
            const std::size_t end = out.find('\n', at);
            const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? out.size() : end + 1;
            if (!line.starts_with(key + " "))
                continue;
            std::size_t from = key.size() + 1;
            for (int i = 1; i < index; ++i)
                from = line.find(' ', from) + 1;
            return std::stoll(line.substr(from));
        }
        return std::nullopt;
    }
};

std::string SelfPath()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

bool Spawn(ClosingCase& c, const std::string& self, const std::string& root)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, c.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (!entry.starts_with("XDG_RUNTIME_DIR=") && !entry.starts_with("QT_QPA_PLATFORM="))
            env.push_back(entry);
    }
    // A block of its own: children running side by side must not stop
    // each other's searches.
    env.push_back("XDG_RUNTIME_DIR=" + c.runtimeDir);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::string moment = std::to_string(c.momentMs);
    std::vector<std::string> args = {self, "--closing-child", root, moment, c.how};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const int rc = ::posix_spawn(&c.pid, self.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    c.outFd = pipeFds[0];
    ::fcntl(c.outFd, F_SETFL, O_NONBLOCK);
    return true;
}

void Drain(ClosingCase& c)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(c.outFd, buffer, sizeof(buffer));
        if (n > 0) {
            c.out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || errno != EINTR)
            return;
    }
}

int HangLimitMs()
{
    const char* text = std::getenv("TAMBORO_STRESS_HANG_MS");
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 2000;
}

// Whether the window took the close while idle. A close that found the word
// running while the scan was marking it idle may have been taken either way:
// the exit code tells which.
bool ClosedIdle(const ClosingCase& c, int exitCode)
{
    const std::optional<int64_t> before = c.Field("close", 1);
    const std::optional<int64_t> after = c.Field("close", 3);
    if (before == SS_RUNNING && after == SS_IDLE)
        return exitCode == CodeOf(ExitCode::ClosedIdle);
    return before == SS_IDLE;
}

// When the program may start to end: the moment its scan unwound after a
// close during a search, the close itself when it was idle.
std::optional<int64_t> Reference(const ClosingCase& c, bool closedIdle)
{
    return closedIdle ? c.Field("close", 2) : c.Field("unwound");
}

// Runs the cases, `parallel` at a time. A child that has not ended
// `killAfterMs` after its reference moment (or 60 s after its start) is
// killed.
void RunChildren(std::vector<ClosingCase>& cases, const std::string& root, const TestTree& scratch, int parallel,
                 int killAfterMs)
{
    const std::string self = SelfPath();
    std::size_t next = 0;
    std::vector<ClosingCase*> running;
    std::vector<int64_t> startedNs;
    while (next < cases.size() || !running.empty()) {
        while (running.size() < static_cast<std::size_t>(parallel) && next < cases.size()) {
            ClosingCase& c = cases[next++];
            c.runtimeDir = scratch.Path("run" + std::to_string(c.number));
            ::mkdir(c.runtimeDir.c_str(), 0700);  // as a session's runtime folder is
            c.errPath = scratch.Path("err" + std::to_string(c.number));
            if (!Spawn(c, self, root)) {
                c.reaped = true;
                c.status = -1;
                continue;
            }
            running.push_back(&c);
            startedNs.push_back(MonotonicNs());
        }
        std::vector<pollfd> fds;
        for (ClosingCase* c : running)
            fds.push_back({c->outFd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 2);
        for (std::size_t i = 0; i < running.size();) {
            ClosingCase& c = *running[i];
            Drain(c);
            int status = 0;
            if (::waitpid(c.pid, &status, WNOHANG) == c.pid) {
                c.endNs = MonotonicNs();
                c.status = status;
                c.reaped = true;
                Drain(c);
                ::close(c.outFd);
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
                startedNs.erase(startedNs.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            const std::optional<int64_t> reference = Reference(c, c.Field("close", 1) == SS_IDLE);
            const int64_t now = MonotonicNs();
            if ((reference && now - *reference > int64_t(killAfterMs) * 1000000) ||
                now - startedNs[i] > int64_t(60000) * 1000000) {
                if (!c.killed)
                    ::kill(c.pid, SIGKILL);
                c.killed = true;
            }
            ++i;
        }
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What went wrong with one case; empty when all is well. `delayMs` gets how
// long the program took to end after its reference moment.
QString Judge(const ClosingCase& c, int hangLimitMs, double& delayMs)
{
    const QString name =
        QStringLiteral("case %1 (%2 at %3 ms)").arg(c.number).arg(QString::fromStdString(c.how)).arg(c.momentMs);
    const std::string err = ReadFile(c.errPath);
    const QString errText =
        err.empty() ? QString() : QStringLiteral("; stderr: ") + QString::fromStdString(err).left(600);
    if (c.killed)
        return name + QStringLiteral(": killed, no end within the time allowed") + errText;
    if (!c.reaped || c.status == -1)
        return name + QStringLiteral(": could not be started");
    if (WIFSIGNALED(c.status))
        return name + QStringLiteral(": ended by signal %1").arg(WTERMSIG(c.status)) + errText;
    const int code = WEXITSTATUS(c.status);
    const std::optional<int64_t> state = c.Field("close", 1);
    if (!state)
        return name + QStringLiteral(": never closed; exit %1").arg(code) + errText;
    const bool idle = ClosedIdle(c, code);
    const int wantedCode = idle ? CodeOf(ExitCode::ClosedIdle) : CodeOf(ExitCode::ClosedAfterSearch);
    if (code != wantedCode)
        return name +
               QStringLiteral(": exit %1 after a close in state %2, wanted %3").arg(code).arg(*state).arg(wantedCode) +
               errText;
    const std::optional<int64_t> worker = c.Field("worker");
    if (c.how == "idle") {
        if (worker)
            return name + QStringLiteral(": a worker without a search");
    } else {
        const int wantedWorker = idle ? CodeOf(WorkerQuitCode::SearchFinished) : CodeOf(WorkerQuitCode::StopRequested);
        if (worker != std::optional<int64_t>(wantedWorker))
            return name +
                   QStringLiteral(": worker ended with %1, wanted %2").arg(worker ? *worker : -99).arg(wantedWorker);
    }
    const std::optional<int64_t> reference = Reference(c, idle);
    if (!reference)
        return name + QStringLiteral(": the scan never gave Search back after the close");
    delayMs = double(c.endNs - *reference) / 1e6;
    if (delayMs > hangLimitMs)
        return name + QStringLiteral(": ended %1 ms after the scan unwound").arg(delayMs, 0, 'f', 0);
    if (!err.empty())
        return name + QStringLiteral(": wrote to stderr") + errText;
    return QString();
}

}  // namespace

class GuiStressTest : public QObject {
    Q_OBJECT
private:
    static constexpr int kWarmUp = 20;
    static constexpr int kParallelChildren = 6;

    test::PrivateRuntimeDir m_runtime;
    TestTree m_library;  // 200 folders with 4 charts, each with an inner folder with 4
    int m_libraryRows = 0;

    // One window's searches, and what each worker must end with.
    struct Session {
        explicit Session(const std::string& root)
        {
            CTamboroDlgTesting::OnInitDialog(dlg);
            dlg.show();
            CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
            QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg,
                             [this](int) { ++handOvers; });
        }
        CTamboroDlg dlg;
        EnabledWatch searchWatch{CTamboroDlgTesting::SearchButton(dlg)};
        std::vector<Started> started;
        int handOvers = 0;
    };

    // Presses Search; checks that a new worker started.
    static void PressSearch(Session& s)
    {
        const WorkerThread::Id before = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(s.dlg), Qt::LeftButton);
        QVERIFY2(CTamboroDlgTesting::LastSearchThreadId(s.dlg) != before,
                 "Search was enabled and pressed, but no search started");
    }

    // One Search/Stop cycle with its moments drawn from `random`. Ends with
    // the next press of Search set up, done or left to the caller.
    void SearchStopCycle(Session& s, Random& random, int scanMs, bool& searchPressed)
    {
        if (!searchPressed)
            PressSearch(s);
        if (QTest::currentTestFailed())
            return;
        searchPressed = false;
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
        QPushButton* stop = CTamboroDlgTesting::StopButton(s.dlg);
        QVERIFY(WaitUntil([&] { return stop->isEnabled() || ScanOver(id); }));

        // Stop at once, after some hand-overs of rows, or after some time.
        switch (random.Below(3)) {
        case 0:
            break;
        case 1: {
            const int wanted = s.handOvers + 1 + random.Below(3);
            WaitUntil([&] { return s.handOvers >= wanted || !stop->isEnabled(); });
            break;
        }
        default:
            QTest::qWait(random.Below(scanMs / 2 + 1));
            break;
        }
        const bool stopping = stop->isEnabled();
        // A first watch tick that came before the worker marked itself
        // running found the word idle, stopped the timer and queued quit 14
        // ahead of Stop's 13 (a loaded machine can delay a new thread that
        // long): that worker ends with 14.
        const bool earlyTick = stopping && !CTamboroDlgTesting::IsTimerRunning(s.dlg, CTamboroDlg::TIMER_WATCH);
        QTest::mouseClick(stop, Qt::LeftButton);
        if (stopping)
            QCOMPARE(CTamboroDlgTesting::SharedState(s.dlg).Load(), int32_t(SS_STOP));
        // A search that ended before Stop waits for the next press, which
        // tells it the search was seen finished.
        s.started.push_back({id, stopping && !earlyTick ? CodeOf(WorkerQuitCode::StopRequested)
                                                        : CodeOf(WorkerQuitCode::SearchFinished)});

        // The next Search: right after the call in which the scan gives it
        // back, as soon as the window shows it, or once the worker has
        // ended.
        switch (random.Below(3)) {
        case 0:
            if (!CTamboroDlgTesting::SearchButton(s.dlg)->isEnabled()) {
                bool pressed = false;
                s.searchWatch.once = [&] {
                    pressed = true;
                    PressSearch(s);
                };
                QVERIFY(WaitUntil([&] { return pressed; }));
                s.searchWatch.once = nullptr;
                searchPressed = true;
            }
            break;
        case 1:
            QVERIFY(WaitUntil([&] { return CTamboroDlgTesting::SearchButton(s.dlg)->isEnabled(); }));
            break;
        default:
            QVERIFY(WaitUntil([&] { return stopping ? Ended(id) : ScanOver(id); }));
            break;
        }
    }

    // Lets a search that a cycle left pressed run to its end, lets the
    // watch timer end the last worker, and waits until every worker object
    // is gone.
    static void Settle(Session& s, bool& searchPressed, int liveBefore)
    {
        if (searchPressed) {
            const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
            s.started.push_back({id, CodeOf(WorkerQuitCode::SearchFinished)});
            searchPressed = false;
        }
        QVERIFY(WaitUntil([&] { return Ended(CTamboroDlgTesting::LastSearchThreadId(s.dlg)); }, 60000));
        QVERIFY(WaitUntil([&] { return WorkerThreadTesting::LiveCount() == liveBefore; }));
        QTest::qWait(50);
    }

    // How long one whole search of the library takes in the window, in ms.
    int TimeOneSearch(Session& s)
    {
        QElapsedTimer timer;
        timer.start();
        PressSearch(s);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
        WaitUntil([&] { return ScanOver(id); }, 60000);
        s.started.push_back({id, CodeOf(WorkerQuitCode::SearchFinished)});
        return std::max(1, static_cast<int>(timer.elapsed()));
    }

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        MakeLibrary(m_library, 200, 4);
        m_libraryRows = 200 * 2 * 4;
        qInfo("scale %.3g, seed %llu", Scale(), static_cast<unsigned long long>(Seed()));
    }

    // Search pressed right after the last scan gave the button back, while
    // that worker has still to mark the word idle: the press starts a new
    // search, which then can be stopped or runs to its end (the late idle
    // of the earlier worker does not hide it), and the earlier worker ends
    // with 14.
    void searchPressedAsTheScanGivesItBackStartsANewSearch()
    {
        Session s(m_library.Root());
        for (int round = 0; round < 20; ++round) {
            PressSearch(s);
            const WorkerThread::Id first = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
            bool pressed = false;
            s.searchWatch.once = [&] {
                pressed = true;
                PressSearch(s);
            };
            QVERIFY(WaitUntil([&] { return pressed; }));
            if (QTest::currentTestFailed())
                return;
            const WorkerThread::Id second = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
            QVERIFY(WaitUntil([&] { return CTamboroDlgTesting::StopButton(s.dlg)->isEnabled(); }));
            if (round % 2 == 0) {
                QTest::mouseClick(CTamboroDlgTesting::StopButton(s.dlg), Qt::LeftButton);
                QCOMPARE(CTamboroDlgTesting::SharedState(s.dlg).Load(), int32_t(SS_STOP));
            } else {
                QCOMPARE(CTamboroDlgTesting::SharedState(s.dlg).Load(), int32_t(SS_RUNNING));
            }
            QVERIFY(WaitUntil([&] { return Ended(first) && Ended(second); }));
            QCOMPARE(WorkerThreadTesting::ExitCodeOf(first),
                     std::optional<int>(CodeOf(WorkerQuitCode::SearchFinished)));
            QCOMPARE(WorkerThreadTesting::ExitCodeOf(second),
                     std::optional<int>(round % 2 == 0 ? CodeOf(WorkerQuitCode::StopRequested)
                                                       : CodeOf(WorkerQuitCode::SearchFinished)));
            if (round % 2 == 1)
                QCOMPARE(CTamboroDlgTesting::Model(s.dlg)->rowCount(), m_libraryRows);
            QCOMPARE(CTamboroDlgTesting::SharedState(s.dlg).Load(), int32_t(SS_IDLE));
        }
    }

    // 1,000 Search/Stop cycles in one window: no thread, descriptor or
    // (beyond a bound) memory is left behind, every worker ends with 13
    // when its stop took and 14 when its scan had already ended.
    void thousandSearchStopCycles()
    {
        const int cycles = Scaled(1000, 40);
        Random random(Seed());
        const int liveBefore = WorkerThreadTesting::LiveCount();
        Session s(m_library.Root());
        const int scanMs = TimeOneSearch(s);
        bool searchPressed = false;
        for (int i = 0; i < kWarmUp; ++i)
            CHECKED(SearchStopCycle(s, random, scanMs, searchPressed));
        CHECKED(Settle(s, searchPressed, liveBefore));
        const Figures before = Measure();
        const std::size_t firstMeasured = s.started.size();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < cycles; ++i)
            CHECKED(SearchStopCycle(s, random, scanMs, searchPressed));
        CHECKED(Settle(s, searchPressed, liveBefore));
        const qint64 elapsed = timer.elapsed();
        Figures after;
        CHECKED(ExpectNoGrowth(before, liveBefore, cycles, after));
        CHECKED(ExpectExitCodes(s.started));
        int stopped = 0;
        for (std::size_t i = firstMeasured; i < s.started.size(); ++i)
            stopped += s.started[i].expected == CodeOf(WorkerQuitCode::StopRequested) ? 1 : 0;
        qInfo("%d Search/Stop cycles (%d stops took, scan %d ms) in %lld ms; before: %s; after: %s", cycles, stopped,
              scanMs, static_cast<long long>(elapsed), qPrintable(Show(before)), qPrintable(Show(after)));
    }

    // 200 searches that run to the end, the next Search pressed as soon as
    // the scan is over and every tenth left to the watch timer: all rows
    // every time, nothing left behind, every worker ended with 14.
    void twoHundredSearchesRunToTheEnd()
    {
        const int searches = Scaled(200, 20);
        const int liveBefore = WorkerThreadTesting::LiveCount();
        Session s(m_library.Root());
        const std::string title = FormatTitle(m_libraryRows, m_library.Root() + "/");
        auto searchToTheEnd = [&](bool leaveToWatchTimer) {
            PressSearch(s);
            if (QTest::currentTestFailed())
                return;
            const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(s.dlg);
            s.started.push_back({id, CodeOf(WorkerQuitCode::SearchFinished)});
            QVERIFY(WaitUntil([&] { return ScanOver(id); }, 60000));
            QCOMPARE(CTamboroDlgTesting::Model(s.dlg)->rowCount(), m_libraryRows);
            QCOMPARE(s.dlg.windowTitle(), QString::fromStdString(title));
            if (leaveToWatchTimer)
                QVERIFY(WaitUntil([&] { return Ended(id); }));
        };
        for (int i = 0; i < kWarmUp / 4; ++i)
            CHECKED(searchToTheEnd(true));
        bool searchPressed = false;
        CHECKED(Settle(s, searchPressed, liveBefore));
        const Figures before = Measure();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < searches; ++i)
            CHECKED(searchToTheEnd(i % 10 == 9));
        CHECKED(Settle(s, searchPressed, liveBefore));
        const qint64 elapsed = timer.elapsed();
        Figures after;
        CHECKED(ExpectNoGrowth(before, liveBefore, searches, after));
        CHECKED(ExpectExitCodes(s.started));
        qInfo("%d searches of %d rows in %lld ms; before: %s; after: %s", searches, m_libraryRows,
              static_cast<long long>(elapsed), qPrintable(Show(before)), qPrintable(Show(after)));
    }

    // The program closed at 200 random moments of a search (the close
    // button, Escape, or Stop and then close), and a few times while idle
    // (before any search, after one ended): it ends with 4 after a close
    // during a search, 3 after one while idle; the worker with 13 or 14;
    // no signal, nothing on stderr, and no more than 2 s after the scan
    // unwound (after the close, when idle).
    void closingAtRandomMoments()
    {
        const int duringSearch = Scaled(200, 20);
        const int whileIdle = Scaled(20, 4);
        const int hangLimitMs = HangLimitMs();
        const int killAfterMs = hangLimitMs + 15000;
        TestTree scratch;
        TestTree library;
        MakeLibrary(library, 500, 4);

        // One search to its end first, to learn how long a search takes.
        std::vector<ClosingCase> calibration(1);
        calibration[0].how = "after";
        RunChildren(calibration, library.Root(), scratch, 1, killAfterMs);
        double delayMs = 0;
        const QString calibrationFault = Judge(calibration[0], hangLimitMs, delayMs);
        QVERIFY2(calibrationFault.isEmpty(), qPrintable(calibrationFault));
        const int scanMs = std::max<int>(1, static_cast<int>(*calibration[0].Field("scan") / 1000000));

        Random random(Seed() ^ 0xC105E);
        std::vector<ClosingCase> cases;
        for (int i = 0; i < duringSearch + whileIdle; ++i) {
            ClosingCase c;
            c.number = i + 1;
            if (i < duringSearch) {
                c.momentMs = random.Below(scanMs + 1);
                const int how = random.Below(100);
                c.how = how < 70 ? "close" : how < 85 ? "escape" : "stop-close";
            } else {
                c.how = i % 2 == 0 ? "idle" : "after";
                c.momentMs = c.how == "idle" ? random.Below(100) : 0;
            }
            cases.push_back(c);
        }
        QElapsedTimer timer;
        timer.start();
        RunChildren(cases, library.Root(), scratch, kParallelChildren, killAfterMs);
        const qint64 elapsed = timer.elapsed();

        QStringList faults;
        std::vector<double> delays;
        int closedIn[3] = {0, 0, 0};  // stopping, running, idle
        for (const ClosingCase& c : cases) {
            double delay = 0;
            const QString fault = Judge(c, hangLimitMs, delay);
            if (!fault.isEmpty()) {
                faults << fault;
                continue;
            }
            delays.push_back(delay);
            ++closedIn[*c.Field("close", 1) + 1];
        }
        std::sort(delays.begin(), delays.end());
        const double median = delays.empty() ? 0 : delays[delays.size() / 2];
        const double longest = delays.empty() ? 0 : delays.back();
        qInfo("%zu closings (seed %llu, scan %d ms) in %lld ms: %d while running, %d while stopping, %d while idle; "
              "end after the scan unwound: median %.0f ms, longest %.0f ms; %lld faults",
              cases.size(), static_cast<unsigned long long>(Seed()), scanMs, static_cast<long long>(elapsed),
              closedIn[1], closedIn[0], closedIn[2], median, longest, static_cast<long long>(faults.size()));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.mid(0, 10).join('\n')));
        // The moments must have hit searches in every state.
        QVERIFY(closedIn[0] > 0 && closedIn[1] > 0 && closedIn[2] > 0);
    }
};

}  // namespace tamboro

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--closing-child") == 0)
        return tamboro::RunClosingChild(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tamboro::GuiStressTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "GuiStressTest.moc"
