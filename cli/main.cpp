// tamboro-scan: the chart scan on the command line. Prints one line per
// chart, in the order found: folder, genre, title, artist (or the columns
// asked for), TAB-separated.
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "cli/CheckCommand.h"
#include "cli/ProgressLine.h"
#include "cli/TableColumn.h"
#include "cli/WriteAll.h"
#include "library/IndexLocation.h"
#include "library/SqliteChartIndex.h"
#include "platform/DirectoryReader.h"
#include "platform/Eintr.h"
#include "platform/FileHash.h"
#include "platform/TextDecoder.h"
#include "results/RowPrinter.h"
#include "results/RowSorter.h"
#include "search/FolderScan.h"

namespace {

using namespace tamboro;

constexpr const char* kUsage =
    "usage: tamboro-scan [--raw] [--columns LIST] [--sort COLUMN [--reverse]] [--types LIST] [--jobs N]\n"
    "                    [--index | --index-file FILE] [--table SOURCE]... [--missing] ROOT\n"
    "       tamboro-scan --check [--raw] [--types LIST] [--index | --index-file FILE] ROOT\n";

// What --help prints after the usage line.
constexpr const char* kHelp = "\n"
                              "Walks the folder tree below ROOT and prints one line per BMS chart\n"
                              "(a file whose name ends in .bms, in any letter case; --types adds\n"
                              "others): the folder that holds it (ending in /), its #GENRE, #TITLE\n"
                              "and #ARTIST, separated by TAB; --columns prints others.\n"
                              "Subfolders come before a folder's own charts, in the order the file\n"
                              "system lists them. Symbolic links to folders are followed, but never\n"
                              "back into a folder being walked.\n"
                              "\n"
                              "Text is printed as UTF-8: each chart's values are decoded together as\n"
                              "UTF-8, Shift-JIS or Korean (EUC-KR/CP949), folder and file names one\n"
                              "component at a time. Inside a field, backslash, TAB, CR and LF are\n"
                              "written as \\\\, \\t, \\r and \\n.\n"
                              "\n"
                              "  --raw            print the bytes exactly as found instead of decoding\n"
                              "                   them (same escaping)\n"
                              "  --columns LIST   the columns to print, as a comma list in the order\n"
                              "                   wanted (default: folder,genre,title,artist):\n"
                              "                     folder      the folder that holds the chart\n"
                              "                     file        the chart's file name\n"
                              "                     genre, title, subtitle, artist, subartist\n"
                              "                                 #GENRE, #TITLE, #SUBTITLE, #ARTIST,\n"
                              "                                 #SUBARTIST\n"
                              "                     level       #PLAYLEVEL\n"
                              "                     difficulty, bpm, total, player, rank\n"
                              "                                 #DIFFICULTY, #BPM, #TOTAL, #PLAYER,\n"
                              "                                 #RANK\n"
                              "                     md5, sha256 the digest of the chart's whole file\n"
                              "                                 in lowercase hex (empty when it\n"
                              "                                 cannot be read); asking for one reads\n"
                              "                                 every chart to its end\n"
                              "                   A tag's value is its last line's rest, empty when the\n"
                              "                   chart has none.\n"
                              "  --sort COLUMN    print the rows sorted by COLUMN (any name --columns\n"
                              "                   takes) once the scan is done, as the window's list\n"
                              "                   sorts them: the decoded text in the collation order of\n"
                              "                   the locale (LC_ALL, LC_COLLATE, LANG), case-sensitive;\n"
                              "                   level, difficulty, bpm, total, player and rank by the\n"
                              "                   number a value begins with (150.5), values that are\n"
                              "                   not numbers after them, by text; rows with equal\n"
                              "                   values stay in the order found\n"
                              "  --reverse        with --sort: the reverse order\n"
                              "  --types LIST     the chart types to list, as a comma list of name\n"
                              "                   endings in any letter case, e.g. bms,bme,bml,pms\n"
                              "                   (default: bms); all are read and ordered alike\n"
                              "  --jobs N         read charts with N threads ahead of the rows printed\n"
                              "                   (default: 8 per core, at least 8, which keeps a\n"
                              "                   solid-state drive busy; with charts in the page\n"
                              "                   cache one per core works); the rows are the same for\n"
                              "                   every N. On a spinning disk --jobs 1 or 2 spares the\n"
                              "                   drive's head; --jobs 1 reads one chart at a time\n"
                              "  --index          keep what the scan found in an index of ROOT in\n"
                              "                   $XDG_CACHE_HOME/tamboro/ (~/.cache/tamboro/; one per\n"
                              "                   library, however ROOT is spelled; one unused for 90\n"
                              "                   days is removed), and take from it the folders and\n"
                              "                   charts whose device, inode, size and times say they\n"
                              "                   are unchanged: a rescan lists the same rows much\n"
                              "                   faster. A damaged index is rebuilt, one that cannot\n"
                              "                   be used now is left alone (one line on standard\n"
                              "                   error says so); the rows are always those of a scan\n"
                              "                   without it\n"
                              "  --index-file FILE  the same with the index in FILE (a file that is\n"
                              "                   not a Tamboro index is left alone, and not used)\n"
                              "  --check          check the library instead of listing it: one line\n"
                              "                   per problem, kind TAB folder TAB file TAB detail\n"
                              "                   [TAB found], escaped and decoded as rows are:\n"
                              "                   missing-file, case-mismatch (a file named by\n"
                              "                   #WAVxx, #BMPxx, #STAGEFILE, #BANNER, #BACKBMP or\n"
                              "                   #PREVIEW is missing, or there only in another\n"
                              "                   letter case), outside-root (a name whose ..\n"
                              "                   lead out of ROOT), unreadable, too-large (a chart\n"
                              "                   over 64 MiB, not read), duplicate (the same\n"
                              "                   bytes, the MD5); status 0 when the check ran\n"
                              "  --table SOURCE   a difficulty table (the address of its web page or\n"
                              "                   of its header, http or https, or a local file of\n"
                              "                   either); may be given again. Adds the column table\n"
                              "                   to --columns: symbol and level of every given table\n"
                              "                   holding the chart (by MD5, else SHA-256), joined by\n"
                              "                   a space; --sort table sorts by table, then level.\n"
                              "                   A table that cannot be read: status 2, one line\n"
                              "  --missing        with --table: instead of the rows, each table entry\n"
                              "                   no chart matches: symbol and level, title, artist,\n"
                              "                   md5, sha256, url, url_diff, and the hash it is\n"
                              "                   matched by: md5, sha256, or none for an entry\n"
                              "                   without a usable one (standard error counts them)\n"
                              "  --help           show this help\n"
                              "  --version        show the version\n"
                              "\n"
                              "While standard error is a terminal, progress is shown there.\n"
                              "Ctrl-C stops the scan: the charts of the folders still open are printed\n"
                              "and the exit status is 130. A ROOT that cannot be read gives status 1,\n"
                              "bad options status 2. A scan that runs out of open files (a tree\n"
                              "deeper than the limit of open files, ulimit -n, allows) prints the rows\n"
                              "found until then, a message, and ends with status 1.\n";

int32_t g_stateWord = SS_RUNNING;

extern "C" void OnInterrupt(int)
{
    StateWord(&g_stateWord).Store(SS_STOP);
}

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // A second Ctrl-C ends the program at once.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

double NowSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

class PrintingSink : public ScanSink {
public:
    // With `keep`, rows are collected there instead of printed; with
    // `tables`, each row's table column is filled first, and with
    // `rowsPrinted` false no row is printed (the tables' missing entries
    // are, after the scan).
    PrintingSink(RowPrinter printer, bool progress, RowSorter* keep = nullptr, TableColumn* tables = nullptr,
                 bool rowsPrinted = true)
        : m_printer(std::move(printer)), m_progress(progress), m_keep(keep), m_tables(tables),
          m_rowsPrinted(rowsPrinted)
    {}

    void FolderEntered(const std::string& folder) override
    {
        if (!m_progress)
            return;
        const double now = NowSeconds();
        if (now - m_lastProgress < 0.1)
            return;
        m_lastProgress = now;
        const std::string count = std::to_string(m_rows) + " charts  ";
        // One column short of the width: a line that fills the last column
        // wraps at once on some terminals.
        const int room = TerminalColumns(STDERR_FILENO) - 1 - static_cast<int>(count.size());
        const std::string shown = room > 0 ? FitToColumns(DecodePathToUtf8(folder), room) : std::string();
        WriteAll(STDERR_FILENO, "\r\033[K" + count + shown);
        m_progressShown = true;
    }

    void AddRows(std::vector<ChartRow>& rows) override
    {
        if (m_tables != nullptr)
            m_tables->Fill(rows);
        if (!m_rowsPrinted) {
            m_rows += rows.size();
            return;
        }
        if (m_keep != nullptr) {
            m_rows += rows.size();
            m_keep->Append(rows);
            return;
        }
        for (const ChartRow& row : rows)
            m_printer.AppendLine(m_out, row);
        m_rows += rows.size();
        if (m_out.size() >= (1u << 20))
            Flush();
    }

    void SetTitle(const std::string&) override {}

    void Flush()
    {
        const int error = WriteAll(STDOUT_FILENO, m_out);
        m_out.clear();
        if (m_writeError == 0)
            m_writeError = error;
    }

    void ClearProgress()
    {
        if (m_progressShown)
            WriteAll(STDERR_FILENO, "\r\033[K");
    }

    void Print(const std::string& lines) { m_out += lines; }

    // Prints the kept rows in their current order.
    void PrintKept()
    {
        for (std::size_t position = 0; position < m_keep->Size(); ++position) {
            m_printer.AppendLine(m_out, m_keep->At(position));
            if (m_out.size() >= (1u << 20))
                Flush();
        }
    }

    // The error of the first write that failed, 0 when none did.
    int WriteError() const { return m_writeError; }

private:
    RowPrinter m_printer;
    bool m_progress;
    RowSorter* m_keep;
    TableColumn* m_tables;
    bool m_rowsPrinted;
    bool m_progressShown = false;
    int m_writeError = 0;
    double m_lastProgress = 0;
    std::size_t m_rows = 0;
    std::string m_out;
};

// Every column name, in the order the help gives them: "folder, file, ...".
std::string ColumnNames()
{
    std::string names;
    for (const ListColumn column : kColumnsInNameOrder)
        names += (names.empty() ? "" : ", ") + std::string(kColumnSpecs[column].name);
    return names;
}

// A bad --columns list: one line that names what is wrong, status 2.
int ColumnListError(const std::string& badName)
{
    if (badName.empty())
        std::fprintf(stderr, "tamboro-scan: --columns: a column name is empty\n");
    else if (ColumnNamed(badName))
        std::fprintf(stderr, "tamboro-scan: --columns: column '%s' is named twice\n", badName.c_str());
    else
        std::fprintf(stderr, "tamboro-scan: --columns: unknown column '%s' (columns: %s)\n", badName.c_str(),
                     ColumnNames().c_str());
    return 2;
}

// A whole number from 1 to 1024, else 0.
int ParseJobs(const char* text)
{
    int jobs = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || jobs > 1024)
            return 0;
        jobs = jobs * 10 + (*p - '0');
    }
    return jobs <= 1024 ? jobs : 0;
}

int UsageError(const char* message)
{
    std::fprintf(stderr, "tamboro-scan: %s\n%s", message, kUsage);
    return 2;
}

// Prints the help or the version; 0, or 1 with one line naming `what` when
// it cannot be written (a full device, a closed pipe), as with rows.
int PrintInformation(const char* text, const char* what)
{
    const int error = WriteAll(STDOUT_FILENO, text);
    if (error == 0)
        return 0;
    std::fprintf(stderr, "tamboro-scan: cannot write %s: %s\n", what, std::strerror(error));
    return 1;
}

// The index of `file`, or of its default place for `root` when null; says
// in one line on stderr what went wrong, and gives null when the scan is to
// run without one.
std::unique_ptr<SqliteChartIndex> OpenIndex(const char* file, const char* root, const ChartTypes& types)
{
    std::string place;
    if (file != nullptr) {
        place = file;
    } else if (const int error = DefaultIndexFile(root, place)) {
        std::fprintf(stderr, "tamboro-scan: cannot make the folder of the index '%s': %s; scanning without it\n",
                     place.c_str(), std::strerror(error));
        return nullptr;
    }
    SqliteChartIndex::Opened opened = SqliteChartIndex::Open(place, root, types, file == nullptr);
    if (!opened.note.empty())
        std::fprintf(stderr, "tamboro-scan: %s\n", opened.note.c_str());
    return std::move(opened.index);
}

}  // namespace

int main(int argc, char** argv)
{
    bool raw = false;
    bool check = false;
    bool missing = false;
    std::vector<std::string> tableSources;
    const char* sortName = nullptr;
    std::vector<ListColumn> columns(kDefaultColumns.begin(), kDefaultColumns.end());
    bool reverse = false;
    const char* root = nullptr;
    ChartTypes types;
    int jobs = FolderScan::DefaultReaders();
    bool optionsEnded = false;
    bool useIndex = false;
    const char* indexFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            return PrintInformation((std::string(kUsage) + kHelp).c_str(), "the help");
        } else if (!optionsEnded && std::strcmp(arg, "--version") == 0) {
            return PrintInformation("tamboro-scan " TAMBORO_VERSION "\n", "the version");
        } else if (!optionsEnded && std::strcmp(arg, "--raw") == 0) {
            raw = true;
        } else if (!optionsEnded && std::strcmp(arg, "--check") == 0) {
            check = true;
        } else if (!optionsEnded && std::strcmp(arg, "--missing") == 0) {
            missing = true;
        } else if (!optionsEnded && (std::strcmp(arg, "--table") == 0 || std::strncmp(arg, "--table=", 8) == 0)) {
            if (arg[7] == '\0' && i + 1 >= argc)
                return UsageError("--table needs a SOURCE");
            tableSources.emplace_back(arg[7] == '=' ? arg + 8 : argv[++i]);
        } else if (!optionsEnded && std::strcmp(arg, "--sort") == 0) {
            if (i + 1 >= argc)
                return UsageError("--sort needs a COLUMN");
            sortName = argv[++i];
        } else if (!optionsEnded && std::strncmp(arg, "--sort=", 7) == 0) {
            sortName = arg + 7;
        } else if (!optionsEnded && (std::strcmp(arg, "--columns") == 0 || std::strncmp(arg, "--columns=", 10) == 0)) {
            if (arg[9] == '\0' && i + 1 >= argc)
                return UsageError("--columns needs a LIST");
            std::string badName;
            std::optional<std::vector<ListColumn>> parsed =
                ParseColumnList(arg[9] == '=' ? arg + 10 : argv[++i], badName);
            if (!parsed)
                return ColumnListError(badName);
            columns = std::move(*parsed);
        } else if (!optionsEnded && std::strcmp(arg, "--reverse") == 0) {
            reverse = true;
        } else if (!optionsEnded && (std::strcmp(arg, "--types") == 0 || std::strncmp(arg, "--types=", 8) == 0)) {
            if (arg[7] == '\0' && i + 1 >= argc)
                return UsageError("--types needs a LIST");
            const char* list = arg[7] == '=' ? arg + 8 : argv[++i];
            std::optional<ChartTypes> parsed = ChartTypes::Parse(list);
            if (!parsed)
                return UsageError("LIST must be endings of letters and digits separated by commas, like bms,bme");
            types = std::move(*parsed);
        } else if (!optionsEnded && (std::strcmp(arg, "--jobs") == 0 || std::strncmp(arg, "--jobs=", 7) == 0)) {
            if (arg[6] == '\0' && i + 1 >= argc)
                return UsageError("--jobs needs a number");
            jobs = ParseJobs(arg[6] == '=' ? arg + 7 : argv[++i]);
            if (jobs == 0)
                return UsageError("--jobs wants a number from 1 to 1024");
        } else if (!optionsEnded && std::strcmp(arg, "--index") == 0) {
            useIndex = true;
        } else if (!optionsEnded &&
                   (std::strcmp(arg, "--index-file") == 0 || std::strncmp(arg, "--index-file=", 13) == 0)) {
            if (arg[12] == '\0' && i + 1 >= argc)
                return UsageError("--index-file needs a FILE");
            indexFile = arg[12] == '=' ? arg + 13 : argv[++i];
            if (indexFile[0] == '\0')
                return UsageError("--index-file needs a FILE");
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            return UsageError((std::string("unknown option ") + arg).c_str());
        } else if (root == nullptr) {
            root = arg;
        } else {
            return UsageError("only one ROOT may be given");
        }
    }
    if (root == nullptr)
        return UsageError("ROOT is missing");
    if (root[0] == '\0')
        return UsageError("ROOT is empty");
    const std::optional<ListColumn> sortNamed = sortName != nullptr ? ColumnNamed(sortName) : std::nullopt;
    if (sortName != nullptr && !sortNamed)
        return UsageError(
            ("unknown COLUMN '" + std::string(sortName) + "' for --sort (columns: " + ColumnNames() + ")").c_str());
    const ListColumn sortColumn = sortNamed.value_or(kColumnFolder);
    if (reverse && sortName == nullptr)
        return UsageError("--reverse needs --sort");
    if (useIndex && indexFile != nullptr)
        return UsageError("--index and --index-file exclude each other");
    if (check && sortName != nullptr)
        return UsageError("--check prints problems, not rows: it takes no --sort");
    const bool tableColumn = std::find(columns.begin(), columns.end(), kColumnTable) != columns.end() ||
                             (sortName != nullptr && sortColumn == kColumnTable);
    if ((tableColumn || missing) && tableSources.empty())
        return UsageError(missing ? "--missing needs a --table" : "the table column needs a --table");
    if (missing && (check || sortName != nullptr))
        return UsageError("--missing prints table entries, not rows: it takes no --check or --sort");
    // The tables are read while the index loads; neither needs the other.
    TableColumn tables;
    if (!tableSources.empty())
        tables.StartReading(tableSources, {sortName != nullptr && sortColumn == kColumnTable, missing});
    const auto tablesRead = [&] {
        std::string why;
        if (tableSources.empty())
            return true;
        if (tables.FinishReading(why)) {
            for (const std::string& note : tables.Notes())
                std::fprintf(stderr, "tamboro-scan: %s\n", note.c_str());
            return true;
        }
        std::fprintf(stderr, "tamboro-scan: cannot read the table %s\n", why.c_str());
        return false;
    };

    RaiseOpenFileLimit();
    const bool hashes =
        check || NeedsHashes(columns) || (sortName != nullptr && NeedsHashes({sortColumn})) || !tableSources.empty();
    if (hashes) {
        if (const std::string why = FileHash::Unavailable(); !why.empty()) {
            std::fprintf(stderr, "tamboro-scan: no digests: %s\n", why.c_str());
            return 1;
        }
    }
    if (check) {
        if (!tablesRead())
            return 2;
        InstallInterruptHandler();
        const std::unique_ptr<SqliteChartIndex> index =
            useIndex || indexFile != nullptr ? OpenIndex(indexFile, root, types) : nullptr;
        const int status = RunCheckCommand(root, raw, types, StateWord(&g_stateWord), index.get());
        // The check adds digests and drops nothing: what it did not meet stays.
        if (index != nullptr) {
            const std::string why = index->Save(false);
            if (!why.empty())
                std::fprintf(stderr, "tamboro-scan: index not updated: %s\n", why.c_str());
        }
        return status;
    }

    RowSorter kept;
    PrintingSink sink(RowPrinter(raw, std::move(columns)), ::isatty(STDERR_FILENO) == 1,
                      sortName != nullptr ? &kept : nullptr, tableSources.empty() ? nullptr : &tables, !missing);
    const std::unique_ptr<SqliteChartIndex> index =
        useIndex || indexFile != nullptr ? OpenIndex(indexFile, root, types) : nullptr;
    if (!tablesRead())
        return 2;
    InstallInterruptHandler();
    ScanOptions options;
    options.hashes = hashes;
    options.state = StateWord(&g_stateWord);
    options.types = std::move(types);
    options.readers = jobs;
    options.index = index.get();
    const int error = FolderScan(sink, std::move(options)).Run(root);
    sink.ClearProgress();
    if (sortName != nullptr) {
        kept.Sort(sortColumn, reverse ? kSortDescending : kSortAscending);
        sink.PrintKept();
    }
    // The whole library was seen only when the scan ended by itself.
    if (missing && error == 0 && StateWord(&g_stateWord).Load() != SS_STOP)
        sink.Print(tables.MissingLines());
    sink.Flush();
    // Only once the rows are out: writing the index never holds them up.
    if (index != nullptr) {
        const std::string why = index->Save(error == 0 && StateWord(&g_stateWord).Load() != SS_STOP);
        if (!why.empty())
            std::fprintf(stderr, "tamboro-scan: index not updated: %s\n", why.c_str());
    }
    if (IsOutOfDescriptors(error)) {
        std::fprintf(stderr, "tamboro-scan: out of open files, scan of '%s' not complete (raise ulimit -n): %s\n", root,
                     std::strerror(error));
        return 1;
    }
    if (error != 0) {
        std::fprintf(stderr, "tamboro-scan: cannot read folder '%s': %s\n", root, std::strerror(error));
        return 1;
    }
    if (sink.WriteError() != 0) {
        std::fprintf(stderr, "tamboro-scan: cannot write the rows: %s\n", std::strerror(sink.WriteError()));
        return 1;
    }
    if (StateWord(&g_stateWord).Load() == SS_STOP)
        return 130;
    return 0;
}
