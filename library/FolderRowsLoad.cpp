#include "library/FolderRowsLoad.h"

#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "library/IndexBlobs.h"
#include "library/SqliteStatement.h"

namespace tamboro {
namespace {

void AddRow(const SqliteStatement& row, const FolderRowsLoad& how, ByteArena& bytes, LoadedFolders& into)
{
    const std::string_view path = bytes.Keep(row.Bytes(0));
    into.paths.push_back(path);
    KnownFolder& folder = into.folders[path];
    folder.stamp = {static_cast<uint64_t>(row.Integer(1)), static_cast<uint64_t>(row.Integer(2)), row.Integer(3),
                    row.Integer(4)};
    folder.hasListing = how.listingsValid && !row.IsNull(5) && !row.IsNull(1);
    folder.listing = bytes.Keep(row.Bytes(5));
    if (how.chartsValid) {
        folder.charts = bytes.Keep(row.Bytes(6));
        ChartPlaces chartAt;
        IndexChartsByName(folder.charts, chartAt);
        if (!chartAt.empty())
            folder.chartAt = std::make_unique<const ChartPlaces>(std::move(chartAt));
    }
}

}  // namespace

int ReadIndexMeta(sqlite3* db, std::string_view typesKey, IndexMeta& meta)
{
    SqliteStatement rows(db, "SELECT key, value FROM meta");
    int result;
    while ((result = rows.Step()) == SQLITE_ROW) {
        const std::string_view key = rows.Bytes(0);
        if (key == "tags")
            meta.tagsMatch = rows.Bytes(1) == HeaderTagList();
        else if (key == "types")
            meta.typesMatch = rows.Bytes(1) == typesKey;
        else if (key == "middle")
            meta.middle = rows.Bytes(1);
        else if (key == "folders")
            meta.folders = rows.Integer(1);
    }
    return result == SQLITE_DONE ? SQLITE_OK : result;
}

int LoadFolderRows(sqlite3* db, std::string_view from, std::string_view to, const FolderRowsLoad& how, ByteArena& bytes,
                   LoadedFolders& into)
{
    SqliteStatement rows(db, "SELECT path, dev, ino, mtime, ctime, listing, charts FROM folder"
                             " WHERE path >= ?1 AND path < ?2 ORDER BY path");
    rows.Bind(1, from);
    rows.Bind(2, to);
    bytes.SetBlockBytes(how.blockBytes);
    into.folders.reserve(into.folders.size() + how.expectedFolders);
    into.paths.reserve(into.paths.size() + how.expectedFolders);
    int result;
    while ((result = rows.Step()) == SQLITE_ROW)
        AddRow(rows, how, bytes, into);
    return result == SQLITE_DONE ? SQLITE_OK : result;
}

int LoadFolderRowsApart(const std::string& file, std::string_view from, std::string_view to, const FolderRowsLoad& how,
                        ByteArena& bytes, LoadedFolders& into)
{
    sqlite3* db = nullptr;
    int result = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (result == SQLITE_OK) {
        if (how.lockWait != nullptr)
            how.lockWait->Attach(db);
        static_cast<void>(sqlite3_exec(db, kLoadCacheSize, nullptr, nullptr, nullptr));
        result = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    }
    if (result == SQLITE_OK) {
        IndexMeta meta;
        result = ReadIndexMeta(db, how.typesKey, meta);
        FolderRowsLoad own = how;
        own.listingsValid = meta.typesMatch;
        own.chartsValid = meta.tagsMatch;
        if (result == SQLITE_OK)
            result = LoadFolderRows(db, from, to, own, bytes, into);
        static_cast<void>(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    }
    if (result != SQLITE_OK && db != nullptr)
        result = sqlite3_extended_errcode(db);
    sqlite3_close(db);
    return result;
}

int LoadFolderRowsInHalves(sqlite3* db, const std::string& file, std::string_view from, std::string_view middle,
                           std::string_view to, const FolderRowsLoad& how, ByteArena (&bytes)[2], LoadedFolders& into)
{
    if (middle.empty())
        return LoadFolderRows(db, from, to, how, bytes[0], into);
    FolderRowsLoad half = how;
    half.blockBytes = how.blockBytes / 2;
    half.expectedFolders = how.expectedFolders / 2;
    LoadedFolders upper;
    int upperResult = SQLITE_OK;
    std::thread upperLoad;
    try {
        upperLoad = std::thread([&] { upperResult = LoadFolderRowsApart(file, middle, to, half, bytes[1], upper); });
    } catch (const std::system_error&) {
        return LoadFolderRows(db, from, to, how, bytes[0], into);
    }
    const int lowerResult = LoadFolderRows(db, from, middle, half, bytes[0], into);
    upperLoad.join();
    if (lowerResult != SQLITE_OK)
        return lowerResult;
    if (upperResult != SQLITE_OK) {
        // A second connection may fail where the first one reads (a file
        // or folder it may not write, say): the first loads that half too,
        // and says so if it fails as well.
        upper = LoadedFolders();
        if (const int again = LoadFolderRows(db, middle, to, half, bytes[0], upper); again != SQLITE_OK)
            return again;
    }
    into.paths.insert(into.paths.end(), upper.paths.begin(), upper.paths.end());
    into.folders.merge(upper.folders);
    return SQLITE_OK;
}

}  // namespace tamboro
