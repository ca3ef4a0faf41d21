// tamboro-drop-cache: makes the next scan of a library a cold one.
//
//   tamboro-drop-cache ROOT
//
// Asks the kernel to drop the cached pages of every chart below ROOT (a
// regular file whose name ends in ".bms", any letter case; links are not
// followed) with posix_fadvise(POSIX_FADV_DONTNEED), after writing back any
// that are dirty. Needs no privileges, unlike /proc/sys/vm/drop_caches;
// folders stay cached. Prints "N charts dropped".

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

bool isChartName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const char* ext = name.c_str() + name.size() - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'b' && (ext[2] | 0x20) == 'm' && (ext[3] | 0x20) == 's';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0' || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 && argv[1][0] != '\0' ? stdout : stderr, "usage: tamboro-drop-cache ROOT\n");
        return argc == 2 && argv[1][0] != '\0' ? 0 : 2;
    }
    namespace fs = std::filesystem;
    std::error_code error;
    fs::recursive_directory_iterator it(argv[1], fs::directory_options::skip_permission_denied, error);
    if (error) {
        std::fprintf(stderr, "tamboro-drop-cache: cannot read %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }
    unsigned long long dropped = 0;
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            break;
        if (!it->is_symlink(error) && it->is_regular_file(error) && isChartName(it->path().filename().string())) {
            const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            ::fdatasync(fd);
            if (::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0)
                ++dropped;
            ::close(fd);
        }
    }
    std::printf("%llu charts dropped\n", dropped);
    return 0;
}
