// The folder rows of an index whose paths lie in one range, copied into
// memory. A large index is loaded in two halves at once, each on a
// connection and thread of its own: most of a load's time is the first
// touch of the memory its bytes are copied to, which two cores share.
#pragma once

#include <cstddef>
#include <sqlite3.h>
#include <string>
#include <string_view>

#include "library/ByteArena.h"
#include "library/KnownFolders.h"

namespace tamboro {

// What every connection to an index waits for another process's lock, and
// the page cache of a load, which reads each page once.
inline constexpr int kBusyTimeoutMs = 10'000;
inline constexpr const char* kLoadCacheSize = "PRAGMA cache_size = -256";  // KiB

struct FolderRowsLoad {
    bool listingsValid = true;                       // kept for the scan's chart types
    bool chartsValid = true;                         // kept for the scan's list of tags
    std::size_t blockBytes = std::size_t{64} << 10;  // of the ByteArena's blocks
    std::size_t expectedFolders = 0;                 // about how many the range holds
};

// The rows of `db` with paths from `from` up to, not including, `to`, in
// the order of their paths, added to `into`, their bytes kept in `bytes`.
// Within the caller's transaction. SQLITE_OK or the error.
int LoadFolderRows(sqlite3* db, std::string_view from, std::string_view to, const FolderRowsLoad& how, ByteArena& bytes,
                   LoadedFolders& into);

// The same through a connection of its own to `file`, in a read
// transaction of its own.
int LoadFolderRowsApart(const std::string& file, std::string_view from, std::string_view to, const FolderRowsLoad& how,
                        ByteArena& bytes, LoadedFolders& into);

// Loads the rows from `from` up to `to` into `into`: those from `middle` on
// through LoadFolderRowsApart on another thread while `db` loads the rest.
// `bytes` has room for two arenas; `middle` empty, or a thread that cannot
// be started: all through `db`.
int LoadFolderRowsInHalves(sqlite3* db, const std::string& file, std::string_view from, std::string_view middle,
                           std::string_view to, const FolderRowsLoad& how, ByteArena (&bytes)[2], LoadedFolders& into);

}  // namespace tamboro
