#include "library/SqliteChartIndex.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

#include "library/FolderRowsLoad.h"
#include "library/IndexBlobs.h"
#include "library/IndexLocation.h"
#include "library/SqliteStatement.h"

namespace tamboro {
namespace {

constexpr int64_t kApplicationId = 0x54616d62;  // "Tamb"
constexpr int64_t kSchemaVersion = 2;
// A file's times are trusted only when older than the scan's start by this
// much, so that a change made after it was read cannot have the same times:
// the kernel stamps files with a clock a tick (at most 10 ms) behind, and
// times without nanoseconds come from a coarser file system clock (1 s, or
// 2 s on FAT).
constexpr int64_t kFineSettleNs = 100'000'000;
constexpr int64_t kCoarseSettleNs = 3'000'000'000;
constexpr int64_t kNsPerSecond = 1'000'000'000;
constexpr const char* kUsualCacheSize = "PRAGMA cache_size = -4096";  // KiB
constexpr std::size_t kMinLoadBlockBytes = std::size_t{64} << 10;
// Fewer folders load at once: a second connection and thread would cost
// about what they save.
constexpr int64_t kFoldersLoadedInHalves = 4096;

uint64_t NewSerial()
{
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1);
}

constexpr const char* kSchema = R"(
PRAGMA application_id = 1415671138;
PRAGMA user_version = 2;
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value BLOB) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS folder(path BLOB PRIMARY KEY, dev INTEGER, ino INTEGER, mtime INTEGER, ctime INTEGER,
  listing BLOB, charts BLOB) WITHOUT ROWID;
)";
static_assert(kApplicationId == 1415671138 && kSchemaVersion == 2, "the schema text repeats both");

// What a chart's values are checked against: its name and stamp.
std::string CheckKey(std::string_view name, const ChartStamp& stamp)
{
    std::string key(name);
    key += '\0';
    for (const int64_t field : {static_cast<int64_t>(stamp.device), static_cast<int64_t>(stamp.inode), stamp.size,
                                stamp.modifiedNs, stamp.changedNs})
        key.append(reinterpret_cast<const char*>(&field), sizeof field);
    return key;
}

// What a folder's listing is checked against: its path and stamp.
std::string FolderCheckKey(std::string_view path, const FolderStamp& stamp)
{
    std::string key(path);
    key += '\0';
    for (const int64_t field :
         {static_cast<int64_t>(stamp.device), static_cast<int64_t>(stamp.inode), stamp.modifiedNs, stamp.changedNs})
        key.append(reinterpret_cast<const char*>(&field), sizeof field);
    return key;
}

int64_t RealtimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return NanosecondsOf(now);
}

// What SQLite itself finds wrong with the file's bytes. Any other failure (a
// lock, no room, no permission, an I/O error) says nothing of them.
bool IsDamage(int result)
{
    const int primary = result & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// SQLite's text for `result`, with the system's reason when a call of the
// system failed ("disk I/O error: No space left on device").
std::string FailureText(sqlite3* db, int result)
{
    std::string text = sqlite3_errstr(result);
    const int primary = result & 0xFF;
    const int error = sqlite3_system_errno(db);
    if ((primary == SQLITE_IOERR || primary == SQLITE_CANTOPEN || primary == SQLITE_FULL) && error != 0)
        text += std::string(": ") + std::strerror(error);
    return text;
}

std::string WithSlash(const std::string& folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// Makes the file with mode 0600 when it is missing: SQLite gives its
// journals the mode of the database. 0 or the errno.
int CreatePrivately(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno == EEXIST ? 0 : errno;
}

// Removes a database and its journals; 0 or the errno of the first failure.
int RemoveDatabase(const std::string& file)
{
    int error = 0;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        if (::unlink((file + suffix).c_str()) != 0 && errno != ENOENT && error == 0)
            error = errno;
    }
    return error;
}

// Whether the file starts with the header of an SQLite database whose
// application id is the index's (big-endian at byte 68).
bool HeaderNamesIndex(const std::string& file)
{
    unsigned char header[72] = {};
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const ssize_t got = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0)
        return false;
    const int64_t id = (int64_t{header[68]} << 24) | (header[69] << 16) | (header[70] << 8) | header[71];
    return id == kApplicationId;
}

// Adds `bytes` to `blob`, which grows by an eighth, not twice: a folder's
// learned charts come one by one and stay until Save, so what is reserved
// beyond them would be held all the scan long.
void AppendTightly(std::string& blob, std::string_view bytes)
{
    if (blob.size() + bytes.size() > blob.capacity()) {
        std::string grown;
        grown.reserve(blob.size() + bytes.size() + blob.size() / 8);
        grown += blob;
        blob = std::move(grown);
    }
    blob += bytes;
}

}  // namespace

SqliteChartIndex::SqliteChartIndex(std::string file, const std::string& root, const ChartTypes& types)
    : m_file(std::move(file)), m_prefix(WithSlash(RootIdentity(root))), m_scanPrefix(WithSlash(root)), m_types(types),
      m_startNs(RealtimeNs()), m_serial(NewSerial())
{
    for (const std::string& ending : m_types.Endings())
        m_typesKey += ending + ",";
}

std::string SqliteChartIndex::IndexPath(std::string_view path) const
{
    if (m_scanPrefix == m_prefix || path.substr(0, m_scanPrefix.size()) != m_scanPrefix)
        return std::string(path);
    std::string kept = m_prefix;
    kept += path.substr(m_scanPrefix.size());
    return kept;
}

SqliteChartIndex::~SqliteChartIndex()
{
    Disconnect();
}

SqliteChartIndex::Opened SqliteChartIndex::Open(const std::string& file, const std::string& root,
                                                const ChartTypes& types, bool rebuildForeign)
{
    const std::string named = "index '" + file + "'";
    if (const int error = CreatePrivately(file))
        return {nullptr, named + " cannot be made: " + std::strerror(error) + "; scanning without it"};
    std::unique_ptr<SqliteChartIndex> index(new SqliteChartIndex(file, root, types));
    index->m_lockWait.Restart();
    std::string why;
    const Connection connection = index->Connect(why);
    if (connection == Connection::kReady)
        return {std::move(index), ""};
    if (connection == Connection::kFailed || (connection == Connection::kNotAnIndex && !rebuildForeign))
        return {nullptr, named + " " + why + "; scanning without it"};
    index->Disconnect();
    const std::string rebuilt = named + " " + why + "; rebuilt";
    int error = RemoveDatabase(file);
    if (error == 0)
        error = CreatePrivately(file);
    if (error != 0)
        return {nullptr, rebuilt + " failed: " + std::strerror(error) + "; scanning without it"};
    const LockWait lockWait = index->m_lockWait;  // the open's wait goes on
    index.reset(new SqliteChartIndex(file, root, types));
    index->m_lockWait = lockWait;
    if (index->Connect(why) != Connection::kReady)
        return {nullptr, rebuilt + " failed: " + why + "; scanning without it"};
    return {std::move(index), rebuilt};
}

SqliteChartIndex::Connection SqliteChartIndex::Connect(std::string& why)
{
    if (sqlite3_open_v2(m_file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        why = std::string("cannot be opened: ") + (m_db != nullptr ? sqlite3_errmsg(m_db) : "out of memory");
        return Connection::kFailed;
    }
    m_lockWait.Attach(m_db);
    if (const Connection identity = Identify(why); identity != Connection::kReady)
        return identity;
    UseWriteAheadLog();
    const int result = Load();
    if (result == SQLITE_OK)
        return Connection::kReady;
    why = std::string(IsDamage(result) ? "was damaged (" : "cannot be read (") + FailureText(m_db, result) + ")";
    return IsDamage(result) ? Connection::kDamaged : Connection::kFailed;
}

// Readers go on while another scan writes, and a scan killed while writing
// loses nothing committed. Without the write-ahead log (a read-only folder,
// say) the rollback journal does the same, only less concurrently. Nothing
// waits for the disk: the index is a cache, and what a power loss might
// leave damaged is either refused by SQLite (the index is rebuilt) or by
// the check every value and listing carries (it is read again). The page
// cache stays small (4 MiB; less while loading): Save writes the folders in
// the order of their paths, so a page once left is seldom touched again in
// its transaction.
void SqliteChartIndex::UseWriteAheadLog()
{
    static_cast<void>(Exec("PRAGMA synchronous = OFF; PRAGMA journal_mode = WAL"));
    static_cast<void>(Exec(kUsualCacheSize));
}

void SqliteChartIndex::Disconnect()
{
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool SqliteChartIndex::Exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Tells a Tamboro index (made ready when new) from other files.
SqliteChartIndex::Connection SqliteChartIndex::Identify(std::string& why)
{
    int64_t applicationId = -1;
    int64_t version = -1;
    int64_t tables = -1;
    int result = SQLITE_OK;
    {
        // Finalized before anything is written: a statement left open would
        // hold a read lock that keeps another scan from committing.
        SqliteStatement idQuery(m_db, "PRAGMA application_id");
        SqliteStatement versionQuery(m_db, "PRAGMA user_version");
        SqliteStatement tableQuery(m_db, "SELECT count(*) FROM sqlite_master");
        const std::pair<SqliteStatement*, int64_t*> queries[] = {
            {&idQuery, &applicationId}, {&versionQuery, &version}, {&tableQuery, &tables}};
        for (const auto& [query, value] : queries) {
            if ((result = query->Step()) != SQLITE_ROW)
                break;
            *value = query->Integer(0);
        }
    }
    if (result != SQLITE_ROW) {
        // A file SQLite finds damaged is rebuilt when its header says that
        // it is an index; one it cannot read now for any other reason is
        // left as it is.
        if (!IsDamage(result)) {
            why = "cannot be read (" + FailureText(m_db, result) + ")";
            return Connection::kFailed;
        }
        const bool ours = HeaderNamesIndex(m_file);
        why = std::string(ours ? "was damaged (" : "is not a Tamboro index (") + sqlite3_errstr(result) + ")";
        return ours ? Connection::kDamaged : Connection::kNotAnIndex;
    }
    if (applicationId == kApplicationId && version != kSchemaVersion) {
        why = "was written in another format";
        return Connection::kDamaged;
    }
    if (applicationId == 0 && tables == 0) {
        // The write-ahead log before the first write: the schema then costs
        // no journal of its own. Pages of 16 KiB hold a folder's row whole
        // (its listing and charts), and take a quarter of the reads and
        // writes of the default size; the size is fixed from then on.
        static_cast<void>(Exec("PRAGMA page_size = 16384"));
        UseWriteAheadLog();
        const std::string failed = CreateSchema();
        if (failed.empty())
            return Connection::kReady;
        why = "cannot be made: " + failed;
        return Connection::kFailed;
    }
    if (applicationId != kApplicationId) {
        why = "is not a Tamboro index";
        return Connection::kNotAnIndex;
    }
    return Connection::kReady;
}

std::string SqliteChartIndex::CreateSchema()
{
    if (!Exec("BEGIN IMMEDIATE"))
        return sqlite3_errmsg(m_db);
    if (Exec(kSchema) && Exec("COMMIT"))
        return {};
    // Why it failed, before the rollback's own message replaces it.
    std::string why = sqlite3_errmsg(m_db);
    static_cast<void>(Exec("ROLLBACK"));
    return why;
}

// Everything kept below the root, in one read transaction. SQLITE_OK or
// the error.
int SqliteChartIndex::Load()
{
    // The load reads each page once: a small page cache keeps reusing the
    // same few buffers rather than fill new memory with pages never read
    // again (a quarter less time). Save gets the usual cache back.
    static_cast<void>(Exec(kLoadCacheSize));
    if (!Exec("BEGIN"))
        return sqlite3_extended_errcode(m_db);
    const int result = LoadRows();
    static_cast<void>(Exec("COMMIT"));
    // The pages read are all in memory now, as blobs: the scan needs none.
    sqlite3_db_release_memory(m_db);
    static_cast<void>(Exec(kUsualCacheSize));
    return result;
}

int SqliteChartIndex::LoadRows()
{
    IndexMeta meta;
    if (const int result = ReadIndexMeta(m_db, m_typesKey, meta); result != SQLITE_OK)
        return result;
    m_keptMiddle = std::move(meta.middle);
    m_keptFolderCount = meta.folders;

    // Paths below the root: from the root's own up to, not including, the
    // root's path with its last "/" raised to the next byte ("0").
    std::string end = m_prefix;
    end.back() = static_cast<char>('/' + 1);
    FolderRowsLoad how;
    how.listingsValid = meta.typesMatch;
    how.chartsValid = meta.tagsMatch;
    how.typesKey = m_typesKey;
    how.lockWait = &m_lockWait;
    how.expectedFolders = static_cast<std::size_t>(std::max<int64_t>(0, m_keptFolderCount));
    // The blobs take about the file's size: most often one block holds them.
    if (struct stat file{}; ::stat(m_file.c_str(), &file) == 0)
        how.blockBytes = std::max<std::size_t>(kMinLoadBlockBytes, static_cast<std::size_t>(file.st_size));
    return LoadFolderRowsInHalves(m_db, m_file, m_prefix, LoadMiddle(end), end, how, m_loaded, m_known);
}

std::string SqliteChartIndex::LoadMiddle(std::string_view end) const
{
    if (m_keptFolderCount < kFoldersLoadedInHalves || m_keptMiddle <= m_prefix || m_keptMiddle >= end)
        return {};
    return m_keptMiddle;
}

bool SqliteChartIndex::Settled(int64_t modifiedNs, int64_t changedNs) const
{
    const bool coarse = modifiedNs % kNsPerSecond == 0 && changedNs % kNsPerSecond == 0;
    const int64_t settledBefore = m_startNs - (coarse ? kCoarseSettleNs : kFineSettleNs);
    return modifiedNs < settledBefore && changedNs < settledBefore;
}

bool SqliteChartIndex::FindListing(const std::string& path, DirectoryListing& folder)
{
    // Through the thread's recent folder: its charts are asked about next,
    // once its subfolders are walked.
    const RecentFolder& recent = RecentFolderOf(path);
    KnownFolder* const known = recent.folder;
    if (known == nullptr)
        return false;
    known->visited = true;
    return known->hasListing && known->stamp == StampOf(folder) &&
           DecodeListing(known->listing, FolderCheckKey(recent.indexPath, known->stamp), folder);
}

bool SqliteChartIndex::HasListing(const std::string& path)
{
    const KnownFolder* const known = RecentFolderOf(path).folder;
    return known != nullptr && known->hasListing;
}

void SqliteChartIndex::KeptChartNames(std::string_view path, std::vector<std::string_view>& names) const
{
    names.clear();
    const auto known = m_known.folders.find(path);
    if (known == m_known.folders.end())
        return;
    std::string_view blob = known->second.charts;
    ChartView chart;
    while (!blob.empty() && TakeChart(blob, chart))
        names.push_back(chart.name);
}

void SqliteChartIndex::RecordListing(const std::string& path, const DirectoryListing& folder)
{
    const FolderStamp stamp = StampOf(folder);
    std::string kept = IndexPath(path);
    std::string listing = EncodeListing(folder, m_types, FolderCheckKey(kept, stamp));
    listing.shrink_to_fit();  // kept until Save
    LearnedShard& shard = ShardOf(kept);
    const std::lock_guard lock(shard.mutex);
    LearnedFolder& learned = shard.folders[std::move(kept)];
    learned.listed = true;
    learned.settled = Settled(folder.ModifiedNs(), folder.ChangedNs());
    learned.stamp = stamp;
    learned.listing = std::move(listing);
}

bool SqliteChartIndex::FindChartOf(const KnownFolder& folder, std::string_view name, ChartView& chart,
                                   std::string_view& encoded)
{
    const auto at = folder.chartAt->find(name);
    if (at == folder.chartAt->end())
        return false;
    const std::string_view from = std::string_view(folder.charts).substr(at->second);
    std::string_view rest = from;
    if (!TakeChart(rest, chart))
        return false;
    encoded = from.substr(0, from.size() - rest.size());
    return true;
}

SqliteChartIndex::RecentFolder& SqliteChartIndex::RecentFolderOf(const std::string& path)
{
    thread_local RecentFolder recent;
    if (recent.serial != m_serial || recent.path != path) {
        recent.indexPath = IndexPath(path);
        const auto known = m_known.folders.find(recent.indexPath);
        recent.folder = known != m_known.folders.end() ? &known->second : nullptr;
        recent.charts.clear();
        recent.encoded.clear();
        if (recent.folder != nullptr && recent.folder->chartAt == nullptr) {
            // A damaged blob: the charts before the damage are found, as
            // when going through it chart by chart.
            std::string_view blob = recent.folder->charts;
            ChartView each;
            while (!blob.empty()) {
                const std::string_view from = blob;
                if (!TakeChart(blob, each))
                    break;
                recent.charts.push_back(each);
                recent.encoded.push_back(from.substr(0, from.size() - blob.size()));
            }
        }
        recent.path = path;
        recent.serial = m_serial;
    }
    return recent;
}

bool SqliteChartIndex::LookUpChart(const std::string& path, std::string_view name, ChartView& chart,
                                   std::string_view& encoded)
{
    const RecentFolder& recent = RecentFolderOf(path);
    if (recent.folder == nullptr)
        return false;
    if (recent.folder->chartAt != nullptr)
        return FindChartOf(*recent.folder, name, chart, encoded);
    for (std::size_t i = 0; i < recent.charts.size(); ++i) {
        if (recent.charts[i].name == name) {
            chart = recent.charts[i];
            encoded = recent.encoded[i];
            return true;
        }
    }
    return false;
}

bool SqliteChartIndex::KnowsChart(const std::string& path, std::string_view name)
{
    ChartView chart;
    std::string_view encoded;
    return LookUpChart(path, name, chart, encoded);
}

KeptChartRef SqliteChartIndex::FindKeptChart(const std::string& path, std::string_view name)
{
    ChartView chart;
    std::string_view encoded;
    return {LookUpChart(path, name, chart, encoded) ? encoded : std::string_view()};
}

bool SqliteChartIndex::Answer(const ChartView& chart, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                              TagTable& values, ChartHashes& hashes)
{
    if (!(chart.stamp == stamp))
        return false;
    if (wantHashes && (chart.md5.empty() || chart.sha256.empty()))
        return false;
    if (!DecodeValues(chart.values, CheckKey(name, stamp), values))
        return false;
    hashes.md5 = BytesToHex(chart.md5);
    hashes.sha256 = BytesToHex(chart.sha256);
    return true;
}

bool SqliteChartIndex::FindChart(const std::string& path, std::string_view name, const ChartStamp& stamp,
                                 bool wantHashes, TagTable& values, ChartHashes& hashes)
{
    ChartView chart;
    std::string_view encoded;
    return LookUpChart(path, name, chart, encoded) && Answer(chart, name, stamp, wantHashes, values, hashes);
}

bool SqliteChartIndex::FindChart(const KeptChartRef& kept, std::string_view name, const ChartStamp& stamp,
                                 bool wantHashes, TagTable& values, ChartHashes& hashes)
{
    // Only bytes this index handed out, whole: one chart.
    std::string_view rest = kept.bytes;
    ChartView chart;
    return TakeChart(rest, chart) && rest.empty() && chart.name == name &&
           Answer(chart, name, stamp, wantHashes, values, hashes);
}

void SqliteChartIndex::RecordChart(const std::string& path, std::string_view name, const ChartStamp& stamp,
                                   const TagTable& values, const ChartHashes& hashes)
{
    if (!Settled(stamp.modifiedNs, stamp.changedNs))
        return;
    std::string chart;
    AppendChart(chart, {name, stamp, EncodeValues(values, CheckKey(name, stamp)), HexToBytes(hashes.md5),
                        HexToBytes(hashes.sha256)});
    std::string kept = IndexPath(path);
    LearnedShard& shard = ShardOf(kept);
    const std::lock_guard lock(shard.mutex);
    AppendTightly(shard.folders[std::move(kept)].charts, chart);
}

std::string SqliteChartIndex::Save(bool complete)
{
    if (m_db == nullptr)
        return {};
    // Folders are let go as they are written.
    m_serial = NewSerial();
    m_lockWait.Restart();
    const bool direct = m_known.folders.empty() && WriteDirectly(true);
    std::string why;
    if (!Exec("BEGIN IMMEDIATE")) {
        why = sqlite3_errmsg(m_db);
    } else if (!WriteLearned(complete) || !Exec("COMMIT")) {
        why = sqlite3_errmsg(m_db);
        static_cast<void>(Exec("ROLLBACK"));
    }
    if (direct)
        static_cast<void>(WriteDirectly(false));
    return why;
}

// An index written from nothing goes straight into the database file, not
// first into the write-ahead log and then copied: half the bytes written
// (a hundred megabytes fewer for 300,000 charts), and no burst of dirty
// pages that the kernel would make the next writer wait for. The rollback
// journal then keeps a kill from losing anything, as the log does. Only
// when no other connection has the file open, so without waiting for one.
bool SqliteChartIndex::WriteDirectly(bool direct)
{
    sqlite3_busy_handler(m_db, nullptr, nullptr);
    bool changed = false;
    {
        SqliteStatement mode(m_db, direct ? "PRAGMA journal_mode = DELETE" : "PRAGMA journal_mode = WAL");
        changed = mode.Step() == SQLITE_ROW && mode.Bytes(0) == (direct ? "delete" : "wal");
    }
    m_lockWait.Attach(m_db);
    return changed;
}

std::vector<KeptChart> SqliteChartIndex::MergedCharts(std::string_view path, const LearnedFolder& learned) const
{
    std::vector<KeptChart> charts;
    // A damaged blob keeps nothing.
    if (const auto known = m_known.folders.find(path); known != m_known.folders.end())
        static_cast<void>(DecodeCharts(known->second.charts, charts));
    if (learned.listed && !charts.empty()) {
        // The charts its new listing holds (every entry named as a chart is
        // in it) tell which kept ones are gone.
        DirectoryListing listed;
        static_cast<void>(DecodeListing(learned.listing, FolderCheckKey(path, learned.stamp), listed));
        std::unordered_set<std::string_view> held;
        for (const DirectoryListing::Entry& entry : listed.Entries()) {
            if (m_types.Matches(listed.NameOf(entry)))
                held.insert(listed.NameOf(entry));
        }
        std::erase_if(charts, [&held](const KeptChart& chart) { return held.count(chart.name) == 0; });
    }
    // Written by this index itself: never damaged.
    std::vector<KeptChart> added;
    static_cast<void>(DecodeCharts(learned.charts, added));
    // By name: a folder may hold a hundred thousand charts.
    std::unordered_map<std::string, std::size_t> placeOf;
    for (std::size_t i = 0; i < charts.size(); ++i)
        placeOf.emplace(charts[i].name, i);
    for (KeptChart& chart : added) {
        const auto [same, isNew] = placeOf.emplace(chart.name, charts.size());
        if (isNew)
            charts.push_back(std::move(chart));
        else
            charts[same->second] = std::move(chart);
    }
    return charts;
}

std::string SqliteChartIndex::MergedChartsBlob(std::string_view path, LearnedFolder& learned) const
{
    const auto known = m_known.folders.find(path);
    if ((known == m_known.folders.end() || known->second.charts.empty()) && NamesEachChartOnce(learned.charts))
        return std::move(learned.charts);
    return EncodeCharts(MergedCharts(path, learned));
}

SqliteChartIndex::LearnedShard& SqliteChartIndex::ShardOf(std::string_view path)
{
    return m_learned[BytesHash{}(path) % kLearnedShards];
}

bool SqliteChartIndex::WriteLearned(bool complete)
{
    // Decided here, within the write, on what the file holds now: another
    // scan, of other chart types (or another list of tags), may have saved
    // since this one loaded, and every listing (and value) kept must be of
    // the types (and tags) the meta table names.
    IndexMeta meta;
    if (ReadIndexMeta(m_db, m_typesKey, meta) != SQLITE_OK)
        return false;
    if (!meta.tagsMatch) {
        SqliteStatement tags(m_db, "INSERT OR REPLACE INTO meta VALUES('tags', ?1)");
        tags.Bind(1, HeaderTagList());
        if (!Exec("UPDATE folder SET charts = NULL") || tags.Run() != SQLITE_OK)
            return false;
    }
    if (!meta.typesMatch) {
        SqliteStatement types(m_db, "INSERT OR REPLACE INTO meta VALUES('types', ?1)");
        types.Bind(1, m_typesKey);
        if (!Exec("UPDATE folder SET listing = NULL") || types.Run() != SQLITE_OK)
            return false;
    }
    // In the order of the paths, so that each page of the table is filled
    // once and a small cache does.
    std::vector<std::pair<std::string_view, LearnedFolder*>> folders;
    for (LearnedShard& shard : m_learned) {
        const std::lock_guard lock(shard.mutex);
        for (auto& [path, folder] : shard.folders)
            folders.emplace_back(path, &folder);
    }
    std::sort(folders.begin(), folders.end());
    if (!WriteMiddle(folders))
        return false;

    SqliteStatement putAll(m_db, "INSERT OR REPLACE INTO folder(path, dev, ino, mtime, ctime, listing, charts)"
                                 " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    SqliteStatement putCharts(m_db, "INSERT INTO folder(path, charts) VALUES(?1, ?2)"
                                    " ON CONFLICT(path) DO UPDATE SET charts = excluded.charts");
    // The blobs, the largest part of the index, are bound without a copy:
    // they stay until the row is written.
    for (const auto& [path, folder] : folders) {
        const std::string blob = MergedChartsBlob(path, *folder);
        if (folder->listed && folder->settled) {
            putAll.Bind(1, path);
            putAll.Bind(2, static_cast<int64_t>(folder->stamp.device));
            putAll.Bind(3, static_cast<int64_t>(folder->stamp.inode));
            putAll.Bind(4, folder->stamp.modifiedNs);
            putAll.Bind(5, folder->stamp.changedNs);
            putAll.BindKept(6, folder->listing);
            putAll.BindKept(7, blob);
            if (putAll.Run() != SQLITE_OK)
                return false;
        } else {
            putCharts.Bind(1, path);
            putCharts.BindKept(2, blob);
            if (putCharts.Run() != SQLITE_OK)
                return false;
        }
        // Written: the database's pages take the place of the bytes.
        *folder = LearnedFolder();
    }
    if (!complete)
        return true;
    SqliteStatement dropFolder(m_db, "DELETE FROM folder WHERE path = ?1");
    for (const auto& [path, folder] : m_known.folders) {
        if (folder.visited)
            continue;
        dropFolder.Bind(1, path);
        if (dropFolder.Run() != SQLITE_OK)
            return false;
    }
    return true;
}

bool SqliteChartIndex::WriteMiddle(const std::vector<std::pair<std::string_view, LearnedFolder*>>& learned)
{
    // The folders kept from now on, each once, in the order of their paths
    // (about: those a whole walk did not meet still count).
    std::vector<std::string_view> all;
    if (!learned.empty()) {
        std::vector<std::string_view> learnedPaths;
        learnedPaths.reserve(learned.size());
        for (const auto& [path, folder] : learned)
            learnedPaths.push_back(path);
        all.reserve(m_known.paths.size() + learnedPaths.size());
        std::set_union(m_known.paths.begin(), m_known.paths.end(), learnedPaths.begin(), learnedPaths.end(),
                       std::back_inserter(all));
    }
    const std::vector<std::string_view>& folders = learned.empty() ? m_known.paths : all;
    const std::size_t count = folders.size();
    const auto kept = static_cast<std::size_t>(std::max<int64_t>(0, m_keptFolderCount));
    if (count == 0 || (kept > 0 && (count > kept ? count - kept : kept - count) <= kept / 8))
        return true;
    SqliteStatement middle(m_db, "INSERT OR REPLACE INTO meta VALUES('middle', ?1)");
    middle.Bind(1, folders[count / 2]);
    SqliteStatement total(m_db, "INSERT OR REPLACE INTO meta VALUES('folders', ?1)");
    total.Bind(1, static_cast<int64_t>(count));
    return middle.Run() == SQLITE_OK && total.Run() == SQLITE_OK;
}

}  // namespace tamboro
