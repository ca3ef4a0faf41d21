// tamboro-walk-stat: the floor for the index benchmark.
//
//   tamboro-walk-stat [--list] ROOT
//
// Walks the tree the way the scan does on one thread (depth-first, a
// folder's subfolders before its own charts, folder links followed, charts
// chosen by a name ending in ".bms" in any letter case) and looks at every
// chart with one fstatat(2), reading nothing. That is the least a program
// that tells changed charts by their stat does without an index of the
// folders: every folder read, every chart looked at, on one thread.
//
// Prints "N files, M bytes" (the bytes the stats report). An entry whose
// name matches but cannot be looked at still counts as a file. With --list
// it prints instead the path of each chart it looks at, a line each, in the
// order of the walk (the list tamboro-stat-known takes).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
    bool list = false;  // print each chart's path
};

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

void statOne(int folder, const std::string& path, const char* name, Totals& totals)
{
    ++totals.files;
    if (totals.list)
        std::printf("%s%s\n", path.c_str(), name);
    struct stat st {};
    if (::fstatat(folder, name, &st, 0) == 0)
        totals.bytes += static_cast<uint64_t>(st.st_size);
}

// Takes ownership of `fd`, an open folder. One pass over the entries sorts
// them into subfolders and charts; the subfolders are then walked, then the
// charts read, which gives the scan's order with a single enumeration.
void walk(int fd, std::string& path, Totals& totals)
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
        if (sub < 0)
            continue;
        const std::size_t length = path.size();
        path += name + '/';
        walk(sub, path, totals);
        path.resize(length);
    }
    for (const std::string& name : charts)
        statOne(self, path, name.c_str(), totals);
    ::closedir(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("usage: tamboro-walk-stat [--list] ROOT\n");
        return 0;
    }
    Totals totals;
    totals.list = argc == 3 && std::strcmp(argv[1], "--list") == 0;
    const char* const rootPath = argv[argc - 1];
    if (argc != 2 + (totals.list ? 1 : 0) || rootPath[0] == '\0') {
        std::fprintf(stderr, "usage: tamboro-walk-stat [--list] ROOT\n");
        return 2;
    }
    const int root = ::open(rootPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        std::fprintf(stderr, "tamboro-walk-stat: cannot open %s: %s\n", rootPath, std::strerror(errno));
        return 1;
    }
    std::string path = rootPath;
    if (path.back() != '/')
        path += '/';
    walk(root, path, totals);
    if (totals.list)
        return std::fflush(stdout) == 0 ? 0 : 1;
    std::printf("%llu files, %llu bytes\n", static_cast<unsigned long long>(totals.files),
                static_cast<unsigned long long>(totals.bytes));
    return 0;
}
