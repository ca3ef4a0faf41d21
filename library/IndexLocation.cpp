#include "library/IndexLocation.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "library/IndexBlobs.h"
#include "platform/DirectoryReader.h"

namespace tamboro {
namespace {

constexpr std::string_view kIndexPrefix = "index-";
constexpr std::string_view kIndexSuffix = ".sqlite";
constexpr std::size_t kHashDigits = 16;
constexpr std::string_view kJournals[] = {"", "-wal", "-shm", "-journal"};

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

// The index file `name` names, with or without a journal's suffix
// ("index-0123456789abcdef.sqlite-wal" names "index-0123456789abcdef.sqlite");
// empty for any other name.
std::string_view IndexNamed(std::string_view name)
{
    const std::size_t length = kIndexPrefix.size() + kHashDigits + kIndexSuffix.size();
    if (name.size() < length || name.substr(0, kIndexPrefix.size()) != kIndexPrefix ||
        name.substr(kIndexPrefix.size() + kHashDigits, kIndexSuffix.size()) != kIndexSuffix)
        return {};
    for (const char digit : name.substr(kIndexPrefix.size(), kHashDigits)) {
        if (!((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f')))
            return {};
    }
    for (const std::string_view journal : kJournals) {
        if (name.substr(length) == journal)
            return name.substr(0, length);
    }
    return {};
}

// Removes the files of indexes in `folder` whose index was last used (or,
// without one, which were last written) before `usedBefore`; `inUse` (a
// name) stays whatever its time.
void RemoveUnusedIndexes(const std::string& folder, std::string_view inUse, time_t usedBefore)
{
    DirectoryListing listing;
    if (listing.Open(AT_FDCWD, folder.c_str()) != 0)
        return;
    for (const DirectoryListing::Entry& entry : listing.Entries()) {
        const std::string_view index = IndexNamed(listing.NameOf(entry));
        if (index.empty() || index == inUse)
            continue;
        struct stat st {};
        if (::fstatat(listing.Fd(), std::string(index).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
            ::fstatat(listing.Fd(), listing.CNameOf(entry), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (st.st_mtime < usedBefore)
            static_cast<void>(::unlinkat(listing.Fd(), listing.CNameOf(entry), 0));
    }
}

}  // namespace

std::string RootIdentity(const std::string& root)
{
    char* const real = ::realpath(root.c_str(), nullptr);
    if (real == nullptr)
        return root;
    std::string identity(real);
    std::free(real);
    return identity;
}

int DefaultIndexFile(const std::string& root, std::string& file)
{
    const std::string cache = CacheFolder();
    const std::string folder = cache + "/tamboro";
    char name[40];
    std::snprintf(name, sizeof name, "index-%016llx.sqlite",
                  static_cast<unsigned long long>(Fnv1a(RootIdentity(root))));
    file = folder + "/" + name;
    if (const int error = MakeFolder(cache))
        return error;
    if (const int error = MakeFolder(folder))
        return error;
    // Best effort: an index that cannot be marked is used all the same.
    static_cast<void>(::utimensat(AT_FDCWD, file.c_str(), nullptr, 0));
    RemoveUnusedIndexes(folder, name, std::time(nullptr) - time_t{kUnusedIndexDays} * 24 * 60 * 60);
    return 0;
}

}  // namespace tamboro
