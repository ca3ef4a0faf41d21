#include "library/IndexLocation.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "library/IndexBlobs.h"

namespace tamboro {
namespace {

std::string CacheFolder()
{
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/')
        return cache;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return std::string(home) + "/.cache";
}

// Makes `folder` if it is missing; 0 or the errno.
int MakeFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST)
        return 0;
    return errno;
}

}  // namespace

int DefaultIndexFile(const std::string& root, std::string& file)
{
    const std::string cache = CacheFolder();
    const std::string folder = cache + "/tamboro";
    char name[40];
    std::snprintf(name, sizeof name, "/index-%016llx.sqlite", static_cast<unsigned long long>(Fnv1a(root)));
    file = folder + name;
    if (const int error = MakeFolder(cache))
        return error;
    return MakeFolder(folder);
}

}  // namespace tamboro
