// tamboro-gui-bench: times a search in the real window against tamboro-scan
// on the same tree, measures how long the window's thread ever went without
// running its event loop during the search, and reports the peak memory of
// a window that lists 65,536 rows.
//
//   tamboro-gui-bench [--runs N] [--scan PATH] [--memory-charts N] [--sort-column C] LIBRARY
//
// LIBRARY is a chart library, e.g. one made by tamboro-gen-library (the
// issue's figure is for --charts 20000). Every run times, in turn:
//   - tamboro-scan LIBRARY > /dev/null, wall clock, as a child process;
//   - a search in the window: from OnButtonSearch until the watch timer has
//     seen the state word idle and stopped (what a user waits for), and
//     until the word went idle (the scan itself, to 10 ms);
//   - while the window searches, a 10 ms timer on its thread records the
//     largest gap between two of its ticks: how long the window stalled.
// With --sort-column C (0 folder .. 3 artist), every window search sorts the
// list by column C ascending, as a header click does, once the first rows
// have been shown; the rows found after that join the sorted list as they
// arrive. Medians over the runs are printed, with the ratio of the window's time to
// tamboro-scan's. The cache is warmed by one untimed run of each first.
//
// Then, in a fresh process, a window searches a light tree of
// --memory-charts charts (default 70,000, so that the 65,536-row limit is
// reached) built in a temporary folder, and the peak resident memory of that
// process (VmHWM) is reported before and after the search.
//
// The window runs on the platform the environment names; with none
// (no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM), on "offscreen". The
// state block lives in a private folder, so a running Tamboro is not
// disturbed.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "platform/DirectoryReader.h"
#include "tests/support/TamboroDlgTesting.h"
#include "worker/WorkerThread.h"

extern char** environ;

namespace {

using namespace tamboro;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// CPU seconds (user + system) used so far by this process, or by its
// waited-for children.
double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

[[noreturn]] void Die(const std::string& message)
{
    std::fprintf(stderr, "tamboro-gui-bench: %s\n", message.c_str());
    std::exit(1);
}

// Wall-clock seconds of `scan root > /dev/null`.
double TimeScan(const std::string& scan, const std::string& root)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(scan.c_str()), const_cast<char*>(root.c_str()), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, scan.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        Die("cannot start " + scan);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die(scan + " failed on " + root);
    return Seconds(end - start);
}

struct WindowRun {
    double toWatchTick = 0;  // Search -> watch timer saw the word idle
    double toIdle = 0;       // Search -> the word went idle (to 10 ms)
    double maxGapMs = 0;     // largest gap between 10 ms ticks
    int rows = 0;
};

// One search in `dlg`, with the tick meter running; with `sortColumn` >= 0
// the list is sorted by that column once the first rows are shown.
WindowRun TimeWindowSearch(CTamboroDlg& dlg, const std::string& root, int sortColumn = -1)
{
    WindowRun run;
    CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    meter.setInterval(10);
    std::optional<Clock::time_point> lastTick;
    std::optional<Clock::time_point> idleAt;
    Clock::time_point start;
    bool started = false;
    QObject::connect(&meter, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (lastTick)
            run.maxGapMs = std::max(run.maxGapMs, std::chrono::duration<double, std::milli>(now - *lastTick).count());
        lastTick = now;
        if (started && !idleAt && CTamboroDlgTesting::SharedState(dlg).Load() == SS_IDLE) {
            const auto phase = WorkerThread::PhaseOf(CTamboroDlgTesting::LastSearchThreadId(dlg));
            if (phase == WorkerThread::Phase::Waiting || phase == WorkerThread::Phase::Ended)
                idleAt = now;
        }
    });
    meter.start();
    QCoreApplication::processEvents();
    lastTick = Clock::now();

    start = Clock::now();
    CTamboroDlgTesting::OnButtonSearch(dlg);
    started = true;
    bool sorted = false;
    while (CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (sortColumn >= 0 && !sorted && CTamboroDlgTesting::Model(dlg)->rowCount() > 0) {
            sorted = true;
            CTamboroDlgTesting::OnColumnClickList(dlg, sortColumn);
            if (CTamboroDlgTesting::SortModeOf(dlg) != kSortAscending)  // the column was sorted before the search
                CTamboroDlgTesting::OnColumnClickList(dlg, sortColumn);
        }
    }
    const auto watched = Clock::now();
    meter.stop();
    run.toWatchTick = Seconds(watched - start);
    run.toIdle = idleAt ? Seconds(*idleAt - start) : run.toWatchTick;
    run.rows = CTamboroDlgTesting::Model(dlg)->rowCount();
    // Let the worker end before the next run.
    const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
    while (WorkerThread::PhaseOf(id) != WorkerThread::Phase::Ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return run;
}

long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    }
    return -1;
}

// A light library of `charts` charts, ten per folder, titles and artists in
// Shift-JIS or UTF-8 Japanese and ASCII, some folder names in Shift-JIS.
void MakeLightTree(const fs::path& root, int charts)
{
    static const char* const kSjisTitles[] = {
        "\x83\x5e\x83\x43\x83\x67\x83\x8b",  // タイトル
        "\x8b\xc8\x96\xbc",                  // 曲名
        "\x82\xa0\x82\xa2\x82\xa4\x82\xa6\x82\xa8",
    };
    static const char* const kUtf8Titles[] = {"東方紅魔郷", "夜明けの歌", "ソフトウェア"};
    static const char* const kLatin[] = {"Alpha Remix", "bravo (Another)", "Charlie [HYPER]", "delta"};
    const int folders = (charts + 9) / 10;
    int written = 0;
    for (int f = 0; f < folders; ++f) {
        std::string name = "pack" + std::to_string(f);
        if (f % 3 == 0)
            name += "_\x83\x5c\x83\x74\x83\x67";  // _ソフト in Shift-JIS
        const fs::path folder = root / ("cat" + std::to_string(f % 50)) / name;
        fs::create_directories(folder);
        for (int c = 0; c < 10 && written < charts; ++c, ++written) {
            std::string title;
            switch (written % 3) {
            case 0:
                title = kSjisTitles[(written / 3) % 3];
                break;
            case 1:
                title = kUtf8Titles[(written / 3) % 3];
                break;
            default:
                title = kLatin[(written / 3) % 4];
                break;
            }
            title += " " + std::to_string(written);
            std::ofstream out(folder / ("chart" + std::to_string(c) + ".bms"), std::ios::binary);
            out << "#PLAYER 1\r\n#GENRE Genre " << (written % 17) << "\r\n#TITLE " << title << "\r\n#ARTIST "
                << kLatin[written % 4] << " / " << kUtf8Titles[written % 3] << "\r\n#BPM 150\r\n";
        }
    }
}

int MemoryChild(const std::string& root)
{
    int argc = 1;
    char name[] = "tamboro-gui-bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    RaiseOpenFileLimit();
    CTamboroDlg dlg;
    CTamboroDlgTesting::OnInitDialog(dlg);
    dlg.show();
    QCoreApplication::processEvents();
    const long before = StatusKb("VmHWM");
    const WindowRun run = TimeWindowSearch(dlg, root);
    // Scroll through the list once so that every row's text is decoded, as
    // a user paging to the end would.
    for (int row = 0; row < CTamboroDlgTesting::Model(dlg)->rowCount(); ++row)
        (void)CTamboroDlgTesting::Model(dlg)->CellText(row, 2);
    const long after = StatusKb("VmHWM");
    std::printf("%d %ld %ld %ld %.3f\n", run.rows, before, after, StatusKb("VmRSS"), run.toIdle);
    return 0;
}

void EnsurePlatform()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0')
            return;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void UsePrivateRuntimeDir()
{
    std::string pattern = (fs::temp_directory_path() / "tamboro-gui-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        Die("mkdtemp failed");
    ::setenv("XDG_RUNTIME_DIR", pattern.c_str(), 1);
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    int memoryCharts = 70000;
    int sortColumn = -1;
    std::string scan;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Die(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--runs")
            runs = std::max(1, std::atoi(value().c_str()));
        else if (arg == "--scan")
            scan = value();
        else if (arg == "--memory-charts")
            memoryCharts = std::atoi(value().c_str());
        else if (arg == "--sort-column")
            sortColumn = std::clamp(std::atoi(value().c_str()), 0, kColumnCount - 1);
        else if (arg == "--memory-child") {
            EnsurePlatform();
            return MemoryChild(value());
        } else if (arg == "-h" || arg == "--help") {
            std::puts(
                "usage: tamboro-gui-bench [--runs N] [--scan PATH] [--memory-charts N] [--sort-column C] LIBRARY");
            return 0;
        } else if (library.empty())
            library = arg;
        else
            Die("unexpected argument " + arg);
    }
    if (library.empty())
        Die("usage: tamboro-gui-bench [--runs N] [--scan PATH] [--memory-charts N] [--sort-column C] LIBRARY");
    if (scan.empty())
        scan = (fs::path(argv[0]).parent_path().parent_path() / "cli" / "tamboro-scan").string();
    if (!fs::exists(scan))
        Die("tamboro-scan not found at " + scan + " (use --scan)");
    EnsurePlatform();
    UsePrivateRuntimeDir();
    RaiseOpenFileLimit();

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    std::printf("platform: %s\nlibrary: %s\n", qPrintable(QGuiApplication::platformName()), library.c_str());
    if (sortColumn >= 0)
        std::printf("each window search sorted by column %d once its first rows were shown\n", sortColumn);

    std::vector<double> scanTimes;
    std::vector<double> watchTimes;
    std::vector<double> idleTimes;
    std::vector<double> gaps;
    std::vector<double> ratios;
    std::vector<double> scanCpu;
    std::vector<double> windowCpu;
    int rows = -1;
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QCoreApplication::processEvents();
        // Warm the cache and both programs once.
        TimeScan(scan, library);
        TimeWindowSearch(dlg, library, sortColumn);
        for (int i = 0; i < runs; ++i) {
            const double childCpu = CpuSeconds(RUSAGE_CHILDREN);
            scanTimes.push_back(TimeScan(scan, library));
            scanCpu.push_back(CpuSeconds(RUSAGE_CHILDREN) - childCpu);
            const double selfCpu = CpuSeconds(RUSAGE_SELF);
            const WindowRun run = TimeWindowSearch(dlg, library, sortColumn);
            windowCpu.push_back(CpuSeconds(RUSAGE_SELF) - selfCpu);
            ratios.push_back(run.toWatchTick / scanTimes.back());
            watchTimes.push_back(run.toWatchTick);
            idleTimes.push_back(run.toIdle);
            gaps.push_back(run.maxGapMs);
            rows = run.rows;
            std::printf("run %d: tamboro-scan %.3f s, window %.3f s to the watch tick (%.3f s to idle), "
                        "largest UI gap %.1f ms, %d rows; CPU %.3f s scan, %.3f s window\n",
                        i + 1, scanTimes.back(), run.toWatchTick, run.toIdle, run.maxGapMs, run.rows, scanCpu.back(),
                        windowCpu.back());
            std::fflush(stdout);
        }
    }
    const double scanMedian = Median(scanTimes);
    std::printf("median tamboro-scan: %.3f s\n", scanMedian);
    std::printf("median window, Search to watch tick seeing idle: %.3f s (%.2fx tamboro-scan)\n", Median(watchTimes),
                Median(watchTimes) / scanMedian);
    std::printf("median window, Search to idle: %.3f s (%.2fx tamboro-scan)\n", Median(idleTimes),
                Median(idleTimes) / scanMedian);
    std::printf("median of the runs' own ratios (window to watch tick / tamboro-scan): %.2fx\n", Median(ratios));
    std::printf("median CPU time: tamboro-scan %.3f s, window process during the search %.3f s\n", Median(scanCpu),
                Median(windowCpu));
    std::printf("largest UI gap between 10 ms ticks: %.1f ms (median of runs %.1f ms)\n",
                *std::max_element(gaps.begin(), gaps.end()), Median(gaps));
    std::printf("rows listed: %d\n", rows);
    std::fflush(stdout);

    if (memoryCharts > 0) {
        const fs::path tree = fs::temp_directory_path() / ("tamboro-gui-bench-tree-" + std::to_string(::getpid()));
        MakeLightTree(tree, memoryCharts);
        const std::string command =
            std::string("'") + fs::read_symlink("/proc/self/exe").string() + "' --memory-child '" + tree.string() + "'";
        FILE* child = ::popen(command.c_str(), "r");
        int listed = 0;
        long before = 0;
        long after = 0;
        long rss = 0;
        double seconds = 0;
        const bool ok =
            child != nullptr && std::fscanf(child, "%d %ld %ld %ld %lf", &listed, &before, &after, &rss, &seconds) == 5;
        if (child != nullptr)
            ::pclose(child);
        std::error_code ignored;
        fs::remove_all(tree, ignored);
        if (!ok)
            Die("the memory run failed");
        std::printf("memory: %d charts in the tree, %d rows listed (search %.2f s); peak RSS %.1f MiB before the "
                    "search, %.1f MiB with the rows listed and every title decoded\n",
                    memoryCharts, listed, seconds, before / 1024.0, after / 1024.0);
    }
    return 0;
}
