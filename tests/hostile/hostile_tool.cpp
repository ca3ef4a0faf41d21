// Builds the parts of the hostile trees that the shell cannot make well or
// fast, and changes a tree while it is being scanned:
//
//   hostile_tool socket PATH                 a UNIX socket at PATH
//   hostile_tool deep DIR DEPTH NAME EVERY   DEPTH nested folders NAME below
//                                            DIR, a chart "deep.bms" (title
//                                            "level N") every EVERY levels
//                                            and at the bottom; works past
//                                            PATH_MAX by walking with openat
//   hostile_tool many DIR COUNT              COUNT charts c000000.bms ... in
//                                            DIR, chart n titled "n"
//   hostile_tool folders DIR FOLDERS CHARTS VALUE
//                                            FOLDERS folders fNNNNN below
//                                            DIR, each with CHARTS charts
//                                            whose values are VALUE bytes
//   hostile_tool junk PATH SIZE SEED         SIZE pseudo-random bytes
//   hostile_tool churn-tree ROOT FOLDERS CHARTS
//                                            ROOT/dNNN/ and ROOT/dNNN/inner/,
//                                            each with CHARTS charts fMM.bms:
//                                            genre "churn", title "NNN",
//                                            artist "MM", then data lines
//   hostile_tool churn ROOT FOLDERS CHARTS SECONDS SEED
//                                            for SECONDS, changes that tree
//                                            at random: truncates, deletes,
//                                            rewrites and swaps charts for
//                                            FIFOs, renames dNNN <-> xNNN,
//                                            removes and rebuilds folders;
//                                            prints the number of changes
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "hostile_tool: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

long Number(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0) {
        std::fprintf(stderr, "hostile_tool: not a number: %s\n", text);
        std::exit(2);
    }
    return value;
}

void WriteAllAt(int dirFd, const std::string& name, const std::string& bytes)
{
    const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Die("create " + name);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            Die("write " + name);
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// Cuts a chart to `size` bytes. The churn deletes and swaps charts too, so
// it may be gone already: that is no failure.
void CutChart(const std::string& chart, off_t size)
{
    if (::truncate(chart.c_str(), size) != 0)
        return;
}

int MakeSocket(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof(address.sun_path)) {
        std::fprintf(stderr, "hostile_tool: socket path too long: %s\n", path);
        return 1;
    }
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        Die("socket");
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
        Die(std::string("bind ") + path);
    // Listening makes a reader that connects get an answer rather than an
    // error; the socket file stays when the process ends.
    ::listen(fd, 1);
    ::close(fd);
    return 0;
}

int MakeDeep(const char* dir, long depth, const char* name, long every)
{
    int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Die(dir);
    for (long level = 1; level <= depth; ++level) {
        if (::mkdirat(fd, name, 0755) != 0)
            Die("mkdir at level " + std::to_string(level));
        const int next = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            Die("open at level " + std::to_string(level));
        ::close(fd);
        fd = next;
        if ((every > 0 && level % every == 0) || level == depth)
            WriteAllAt(fd, "deep.bms", "#TITLE level " + std::to_string(level) + "\r\n");
    }
    ::close(fd);
    return 0;
}

int MakeMany(const char* dir, long count)
{
    const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Die(dir);
    char name[32];
    for (long i = 0; i < count; ++i) {
        std::snprintf(name, sizeof(name), "c%06ld.bms", i);
        WriteAllAt(fd, name, "#TITLE " + std::to_string(i) + "\r\n");
    }
    ::close(fd);
    return 0;
}

// FOLDERS folders fNNNNN, each with CHARTS charts cMM.bms whose genre,
// title and artist are VALUE bytes long: the title starts "NNNNN-MM", all
// three are padded with letters.
int MakeFolders(const char* dir, long folders, long charts, long value)
{
    const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Die(dir);
    const auto padded = [value](std::string text, char pad) {
        text.resize(std::max<std::size_t>(text.size(), static_cast<std::size_t>(value)), pad);
        return text;
    };
    char name[64];
    for (long f = 0; f < folders; ++f) {
        std::snprintf(name, sizeof(name), "f%05ld", f);
        if (::mkdirat(fd, name, 0755) != 0)
            Die(std::string("mkdir ") + name);
        const int folder = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0)
            Die(std::string("open ") + name);
        for (long c = 0; c < charts; ++c) {
            std::snprintf(name, sizeof(name), "%05ld-%02ld", f, c);
            WriteAllAt(folder, "c" + std::string(name + 6) + ".bms",
                       "#GENRE " + padded("g", 'g') + "\r\n#TITLE " + padded(name, 't') + "\r\n#ARTIST " +
                           padded("a", 'a') + "\r\n");
        }
        ::close(folder);
    }
    ::close(fd);
    return 0;
}

uint64_t Next(uint64_t& state)
{
    // xorshift64*: the same bytes for the same seed on every machine.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ull;
}

int MakeJunk(const char* path, long size, long seed)
{
    uint64_t state = static_cast<uint64_t>(seed) * 0x9E3779B97F4A7C15ull + 1;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(Next(state) >> 56);
    WriteAllAt(AT_FDCWD, path, bytes);
    return 0;
}

std::string Three(long n)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%03ld", n);
    return text;
}

std::string Two(long n)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%02ld", n);
    return text;
}

std::string ChurnChart(long folder, long chart)
{
    std::string bytes = "#GENRE churn\r\n#TITLE " + Three(folder) + "\r\n#ARTIST " + Two(chart) + "\r\n";
    while (bytes.size() < 4000)
        bytes += "#00111:01010101010101010101010101010101\r\n";
    return bytes;
}

// Writes a chart next to its place and renames it over: a reader sees the
// old file or the new one, never half of one.
void PlaceChart(const std::string& folderPath, long folder, long chart)
{
    const std::string name = folderPath + "/f" + Two(chart) + ".bms";
    const std::string temp = folderPath + "/.new" + Two(chart);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;  // the folder went away meanwhile
    const std::string bytes = ChurnChart(folder, chart);
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), name.c_str()) != 0)
        ::unlink(temp.c_str());
}

void BuildFolder(const std::string& path, long folder, long charts)
{
    ::mkdir(path.c_str(), 0755);
    ::mkdir((path + "/inner").c_str(), 0755);
    for (long c = 0; c < charts; ++c) {
        PlaceChart(path, folder, c);
        PlaceChart(path + "/inner", folder, c);
    }
}

// Removes a churn folder and whatever it holds (two levels at most).
void RemoveFolder(const std::string& path)
{
    for (const std::string& dir : {path + "/inner", path}) {
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
                    std::strcmp(e->d_name, "inner") != 0)
                    ::unlink((dir + "/" + e->d_name).c_str());
            }
            ::closedir(d);
        }
        ::rmdir(dir.c_str());
    }
}

int MakeChurnTree(const char* root, long folders, long charts)
{
    for (long f = 0; f < folders; ++f)
        BuildFolder(std::string(root) + "/d" + Three(f), f, charts);
    return 0;
}

int Churn(const char* rootText, long folders, long charts, long seconds, long seed)
{
    const std::string root = rootText;
    uint64_t state = static_cast<uint64_t>(seed) * 0x9E3779B97F4A7C15ull + 7;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    long changes = 0;
    while (std::chrono::steady_clock::now() < end) {
        const long f = static_cast<long>(Next(state) % static_cast<uint64_t>(folders));
        const long c = static_cast<long>(Next(state) % static_cast<uint64_t>(charts));
        const std::string plain = root + "/d" + Three(f);
        const std::string moved = root + "/x" + Three(f);
        struct stat st {};
        const std::string folder = ::stat(plain.c_str(), &st) == 0 ? plain : moved;
        const std::string where = (Next(state) & 1) ? folder : folder + "/inner";
        const std::string chart = where + "/f" + Two(c) + ".bms";
        switch (Next(state) % 8) {
        case 0:  // cut to nothing; the chart may be gone already
            CutChart(chart, 0);
            break;
        case 1:  // cut inside the data lines, after the header lines
            CutChart(chart, 2000);
            break;
        case 2:
            ::unlink(chart.c_str());
            break;
        case 3: {  // a FIFO in the chart's place
            const std::string fifo = where + "/.fifo";
            if (::mkfifo(fifo.c_str(), 0644) == 0 && ::rename(fifo.c_str(), chart.c_str()) != 0)
                ::unlink(fifo.c_str());
            break;
        }
        case 4:
        case 5:
            PlaceChart(where, f, c);
            break;
        case 6:
            ::rename(folder.c_str(), folder == plain ? moved.c_str() : plain.c_str());
            break;
        case 7:
            RemoveFolder(folder);
            BuildFolder(plain, f, charts);
            break;
        }
        ++changes;
    }
    std::printf("%ld\n", changes);
    return 0;
}

void Usage()
{
    std::fputs("usage: hostile_tool socket PATH | deep DIR DEPTH NAME EVERY | many DIR COUNT |\n"
               "       folders DIR FOLDERS CHARTS VALUE |\n"
               "       junk PATH SIZE SEED | churn-tree ROOT FOLDERS CHARTS |\n"
               "       churn ROOT FOLDERS CHARTS SECONDS SEED\n",
               stderr);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        Usage();
    const std::string command = argv[1];
    if (command == "socket" && argc == 3)
        return MakeSocket(argv[2]);
    if (command == "deep" && argc == 6)
        return MakeDeep(argv[2], Number(argv[3]), argv[4], Number(argv[5]));
    if (command == "folders" && argc == 6)
        return MakeFolders(argv[2], Number(argv[3]), Number(argv[4]), Number(argv[5]));
    if (command == "many" && argc == 4)
        return MakeMany(argv[2], Number(argv[3]));
    if (command == "junk" && argc == 5)
        return MakeJunk(argv[2], Number(argv[3]), Number(argv[4]));
    if (command == "churn-tree" && argc == 5 && Number(argv[3]) > 0 && Number(argv[4]) > 0)
        return MakeChurnTree(argv[2], Number(argv[3]), Number(argv[4]));
    if (command == "churn" && argc == 7 && Number(argv[3]) > 0 && Number(argv[4]) > 0)
        return Churn(argv[2], Number(argv[3]), Number(argv[4]), Number(argv[5]), Number(argv[6]));
    Usage();
}
