// The folder rows of an index whose paths lie in one range, copied into
// memory. A large index is loaded in two halves at once, each on a
// connection and thread of its own: most of a load's time is the first
// touch of the memory its bytes are copied to, which two cores share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sqlite3.h>
#include <string>
#include <string_view>

#include "library/ByteArena.h"
#include "library/KnownFolders.h"
#include "library/LockWait.h"

namespace tamboro {

// The page cache of a load, which reads each page once.
inline constexpr const char* kLoadCacheSize = "PRAGMA cache_size = -256";  // KiB

// What the meta table says of the rows beside it, in one snapshot.
struct IndexMeta {
    bool typesMatch = false;  // the listings were made for the scan's chart types
    bool tagsMatch = false;   // the values were read for this program's list of tags
    std::string middle;       // where the last save split the folders
    int64_t folders = 0;      // and how many there were
};

// Reads the meta table of `db` for a scan listing the chart types
// `typesKey`. SQLITE_OK or the error.
int ReadIndexMeta(sqlite3* db, std::string_view typesKey, IndexMeta& meta);

struct FolderRowsLoad {
    bool listingsValid = true;                       // kept for the scan's chart types
    bool chartsValid = true;                         // kept for the scan's list of tags
    std::size_t blockBytes = std::size_t{64} << 10;  // of the ByteArena's blocks
    std::size_t expectedFolders = 0;                 // about how many the range holds
    // For a connection of its own: the scan's chart types, against which it
    // judges the rows of its own snapshot, and how long it waits for locks.
    std::string_view typesKey;
    const LockWait* lockWait = nullptr;
};

// The rows of `db` with paths from `from` up to, not including, `to`, in
// the order of their paths, added to `into`, their bytes kept in `bytes`.
// Within the caller's transaction. SQLITE_OK or the error.
int LoadFolderRows(sqlite3* db, std::string_view from, std::string_view to, const FolderRowsLoad& how, ByteArena& bytes,
                   LoadedFolders& into);

// The same through a connection of its own to `file`, in a read
// transaction of its own, whose meta table tells which of its rows' listings
// and values are valid: a save may have come between the two snapshots.
int LoadFolderRowsApart(const std::string& file, std::string_view from, std::string_view to, const FolderRowsLoad& how,
                        ByteArena& bytes, LoadedFolders& into);

// Loads the rows from `from` up to `to` into `into`: those from `middle` on
// through LoadFolderRowsApart on another thread while `db` loads the rest.
// `bytes` has room for two arenas; `middle` empty, or a thread that cannot
// be started: all through `db`.
int LoadFolderRowsInHalves(sqlite3* db, const std::string& file, std::string_view from, std::string_view middle,
                           std::string_view to, const FolderRowsLoad& how, ByteArena (&bytes)[2], LoadedFolders& into);

}  // namespace tamboro
