// tamboro-stat-known: the floor of a rescan that knows the tree.
//
//   tamboro-stat-known [--threads N] LIST
//
// LIST holds one chart path a line, a folder's charts on consecutive lines
// (as `tamboro-walk-stat --list ROOT` prints them). The tool reads it, then
// on one thread a core (or N threads: looks that wait for the device
// overlap when there are more) looks at every folder (open, fstat) and
// every chart (fstatat) of the list, reading no folder: the least a rescan
// that tells changed charts by their stat does, whatever it keeps of the
// tree. Folders are handed to the threads in runs of 64, in the list's
// order; a thread opens a folder through its parent (kept open while the
// parent stays the same; "." for a relative path of one folder).
//
// Prints "N files, M bytes" (the bytes the stats report, links followed, as
// tamboro-walk-stat does). A chart that cannot be looked at still counts as
// a file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

struct Folder {
    std::string_view parent;  // with its last "/"
    std::string leaf;         // the folder's own name
    std::vector<std::string> charts;
};

std::vector<Folder> GroupByFolder(std::string_view list)
{
    std::vector<Folder> folders;
    std::string_view folderPath;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find('\n'), list.size());
        const std::string_view path = list.substr(0, end);
        list.remove_prefix(std::min(end + 1, list.size()));
        const std::size_t slash = path.rfind('/');
        if (slash == std::string_view::npos || slash == 0)
            continue;
        const std::string_view folder = path.substr(0, slash);
        if (folders.empty() || folder != folderPath) {
            const std::size_t up = folder.rfind('/');
            folders.push_back({folder.substr(0, up + 1), std::string(folder.substr(up + 1)), {}});
            folderPath = folder;
        }
        folders.back().charts.emplace_back(path.substr(slash + 1));
    }
    return folders;
}

struct alignas(64) Totals {  // one a thread, each on its own cache line
    uint64_t files = 0;
    uint64_t bytes = 0;
};

void LookAtFolders(const std::vector<Folder>& folders, std::atomic<std::size_t>& next, Totals& totals)
{
    constexpr std::size_t kRun = 64;
    std::string_view openParent;
    int parentFd = -1;
    for (std::size_t first = next.fetch_add(kRun); first < folders.size(); first = next.fetch_add(kRun)) {
        for (std::size_t i = first; i < std::min(first + kRun, folders.size()); ++i) {
            const Folder& folder = folders[i];
            if (parentFd < 0 || folder.parent != openParent) {
                if (parentFd >= 0)
                    ::close(parentFd);
                const std::string parent(folder.parent);
                parentFd = ::open(parent.empty() ? "." : parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                openParent = folder.parent;
            }
            totals.files += folder.charts.size();
            const int fd = ::openat(parentFd, folder.leaf.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            struct stat st {};
            if (fd < 0 || ::fstat(fd, &st) != 0) {
                if (fd >= 0)
                    ::close(fd);
                continue;
            }
            for (const std::string& chart : folder.charts) {
                if (::fstatat(fd, chart.c_str(), &st, 0) == 0)
                    totals.bytes += static_cast<uint64_t>(st.st_size);
            }
            ::close(fd);
        }
    }
    if (parentFd >= 0)
        ::close(parentFd);
}

}  // namespace

int main(int argc, char** argv)
{
    constexpr const char* kUsage = "usage: tamboro-stat-known [--threads N] LIST\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s", kUsage);
        return 0;
    }
    unsigned threadCount = std::max(1u, std::thread::hardware_concurrency());
    if (argc == 4 && std::strcmp(argv[1], "--threads") == 0)
        threadCount = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    if ((argc != 2 && argc != 4) || threadCount < 1 || threadCount > 1024 || argv[argc - 1][0] == '\0') {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const char* const listPath = argv[argc - 1];
    std::ifstream in(listPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tamboro-stat-known: cannot read %s: %s\n", listPath, std::strerror(errno));
        return 1;
    }
    const std::string list((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Folder> folders = GroupByFolder(list);

    std::vector<Totals> totals(threadCount);
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < threadCount; ++i)
        threads.emplace_back(LookAtFolders, std::cref(folders), std::ref(next), std::ref(totals[i]));
    LookAtFolders(folders, next, totals[0]);
    for (std::thread& thread : threads)
        thread.join();
    Totals all;
    for (const Totals& each : totals) {
        all.files += each.files;
        all.bytes += each.bytes;
    }
    std::printf("%llu files, %llu bytes\n", static_cast<unsigned long long>(all.files),
                static_cast<unsigned long long>(all.bytes));
    return 0;
}
