// tamboro-walk-read: the floor for the scan benchmark.
//
//   tamboro-walk-read ROOT
//
// Walks the tree the way the scan does (depth-first, a folder's subfolders
// before its own charts, folder links followed, charts chosen by a name
// ending in ".bms" in any letter case), opens every chart and reads all its
// bytes with read(2) into one reused 256 KB buffer. Nothing is parsed and
// nothing is printed per chart: what is left is the cost of the directory
// reads, the opens and the copies out of the page cache, which no scanner
// that reads every chart to its end can go below.
//
// Prints "N files, M bytes". An entry whose name matches but that cannot be
// opened or read (a folder called "x.bms", say) still counts as a file, as
// the scan still gives it a row.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Totals {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

alignas(4096) char g_buffer[256 * 1024];

bool isChartName(std::string_view name)
{
    if (name.size() < 4)
        return false;
    const std::string_view tail = name.substr(name.size() - 4);
    static constexpr char kLower[] = ".bms";
    for (size_t i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kLower[i])
            return false;
    }
    return true;
}

void readAll(int folder, const char* name, Totals& totals)
{
    ++totals.files;
    const int fd = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    for (;;) {
        const ssize_t n = ::read(fd, g_buffer, sizeof g_buffer);
        if (n > 0)
            totals.bytes += static_cast<uint64_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    ::close(fd);
}

// Takes ownership of `fd`, an open folder. One pass over the entries sorts
// them into subfolders and charts; the subfolders are then walked, then the
// charts read, which gives the scan's order with a single enumeration.
void walk(int fd, Totals& totals)
{
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    std::vector<std::string> subfolders;
    std::vector<std::string> charts;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        // Links and entries of unknown type are tried as folders below;
        // openat with O_DIRECTORY follows links and refuses anything else.
        if (entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
            subfolders.emplace_back(name);
        if (isChartName(name))
            charts.emplace_back(name);
    }
    const int self = ::dirfd(dir);
    for (const std::string& name : subfolders) {
        const int sub = ::openat(self, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (sub >= 0)
            walk(sub, totals);
    }
    for (const std::string& name : charts)
        readAll(self, name.c_str(), totals);
    ::closedir(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: tamboro-walk-read ROOT\n");
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: tamboro-walk-read ROOT\n");
        return 2;
    }
    const int root = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        std::fprintf(stderr, "tamboro-walk-read: cannot open %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    Totals totals;
    walk(root, totals);
    std::printf("%llu files, %llu bytes\n", static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.bytes));
    return 0;
}
