#include "tables/TableCache.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tables/AtomicFile.h"
#include "tables/TableFetcher.h"
#include "tables/TableJson.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

std::string UserCacheFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/tamboro/tables";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache/tamboro/tables";
}

// Makes the folder and its missing parents, each for the user alone.
int MakeFolders(const std::string& folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

std::uint64_t Fnv1a(std::string_view text)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    return hash;
}

}  // namespace

TableCache::TableCache() : m_folder(UserCacheFolder())
{}

std::string TableCache::PathOf(const std::string& source) const
{
    // A readable part for whoever looks in the folder, and a hash of the
    // whole source to tell sources apart.
    std::string name;
    for (const char c : source.substr(0, 80)) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        name += plain ? c : '_';
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(source)));
    return m_folder + "/" + name + "-" + hash + ".json";
}

TableResult<std::string> TableCache::Store(const DifficultyTable& table) const
{
    const std::string path = PathOf(table.source);
    int error = MakeFolders(m_folder);
    if (error == 0)
        error = WriteFileAtomically(path, TableJson(table), 0600);
    if (error != 0)
        return TableResult<std::string>::Failed(path + ": " + std::strerror(error));
    return TableResult<std::string>::Ok(path);
}

TableResult<DifficultyTable> TableCache::Load(const std::string& source) const
{
    const std::string path = PathOf(source);
    TableFetcher files;
    const auto body = files.Fetch(FileAddressOf(path));
    if (!body)
        return TableResult<DifficultyTable>::Failed(body.Error());
    auto table = ParseTableJson(body->bytes);
    if (!table)
        return TableResult<DifficultyTable>::Failed(path + ": " + table.Error());
    if (table->source != source)
        return TableResult<DifficultyTable>::Failed(path + ": the copy of another table (" + table->source + ")");
    return table;
}

TableCache::Read TableCache::ReadThrough(TableReader& reader, const std::string& source) const
{
    auto table = reader.Read(source);
    if (table) {
        // A copy that cannot be kept leaves the table read as it is.
        static_cast<void>(Store(*table));
        return Read{std::move(table), false, {}, {}};
    }
    std::string readError = table.Error();
    return Read{Load(source), true, std::move(readError), table.Failure()};
}

}  // namespace tamboro
