// tamboro-table-bench: how long reading and matching a large difficulty
// table takes.
//
//   tamboro-table-bench [MEGABYTES [RUNS [LEVELS]]]  (default 5 MB, 7 runs, 26)
//
// Writes a table of about MEGABYTES of data (entries like a real table's:
// Japanese titles and artists, addresses, comments; md5 and sha256 keyed;
// LEVELS levels taken in turn, 0 for a level of its own for every entry)
// into a temporary folder as header.json and data.json, then times, each
// RUNS times on one thread:
//   parse  - ParseTableEntries over the data's bytes in memory;
//   read   - TableReader::Read of the header's path: both files read from the
//            page cache and parsed, the table built;
//   index  - building a TableMatch over the table (its levels ranked);
//   lookup - the column text of as many charts as the table has entries,
//            half of them in it;
//   missing- the entries an empty library lacks, each with its level's rank,
//            as the missing-charts view lists them.
// Medians and ranges in milliseconds of wall time, and the peak RSS.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "tables/TableExport.h"
#include "tables/TableMatch.h"
#include "tables/TableParser.h"
#include "tables/TableReader.h"

namespace {

using namespace tamboro;
using Clock = std::chrono::steady_clock;

std::string Hex(unsigned long long value, std::size_t digits)
{
    std::string out;
    while (out.size() < digits) {
        value = value * 6364136223846793005ull + 1442695040888963407ull;
        out += "0123456789abcdef"[(value >> 59) & 0xF];
    }
    return out;
}

std::vector<TableEntry> MakeEntries(std::size_t bytes, unsigned long long levels)
{
    std::vector<TableEntry> entries;
    std::size_t total = 0;
    for (unsigned long long i = 0; total < bytes; ++i) {
        TableEntry entry;
        entry.level = std::to_string(levels == 0 ? i : i % levels);
        if (i % 10 == 9)
            entry.sha256 = Hex(i, 64);
        else
            entry.md5 = Hex(i, 32);
        entry.title = "譜面のタイトル Title " + std::to_string(i) + " [ANOTHER]";
        entry.artist = "作曲者 / obj: 差分作者 " + std::to_string(i % 977);
        entry.url = "https://example.org/songs/" + std::to_string(i) + "/package.zip";
        entry.urlDiff = "https://example.org/diffs/" + std::to_string(i) + ".bms";
        entry.nameDiff = "差分";
        entry.comment = i % 3 == 0 ? "ズレあり、同梱譜面とは別" : "";
        total += 60 + entry.level.size() + entry.md5.size() + entry.sha256.size() + entry.title.size() +
                 entry.artist.size() + entry.url.size() + entry.urlDiff.size() + entry.nameDiff.size() +
                 entry.comment.size();
        entries.push_back(std::move(entry));
    }
    return entries;
}

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void Report(const char* what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::printf("%-7s median %8.1f ms  (%.1f .. %.1f)\n", what, times[times.size() / 2], times.front(), times.back());
}

}  // namespace

int main(int argc, char** argv)
{
    const double megabytes = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    const unsigned long long levels = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 26;
    const auto folder = std::filesystem::temp_directory_path() / ("tamboro-table-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    const auto entries = MakeEntries(static_cast<std::size_t>(megabytes * (1 << 20)), levels);
    const auto header = ExportTable(folder.string(), "Bench", "★", {}, entries);
    if (!header) {
        std::fprintf(stderr, "tamboro-table-bench: %s\n", header.Error().c_str());
        return 1;
    }
    std::ifstream in(folder / "data.json", std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("table: %zu entries, %s levels, data.json %.2f MB\n", entries.size(),
                levels == 0 ? "distinct" : std::to_string(levels).c_str(), data.size() / 1048576.0);

    std::vector<double> parse, read, build, lookup, missing;
    std::size_t matched = 0;
    std::uint64_t ranks = 0;
    for (int run = 0; run < runs; ++run) {
        std::vector<TableEntry> parsed;
        auto start = Clock::now();
        const auto result = ParseTableEntries(data, parsed);
        parse.push_back(Ms(start, Clock::now()));
        if (!result || parsed.size() != entries.size()) {
            std::fprintf(stderr, "tamboro-table-bench: parsing failed: %s\n", result.Error().c_str());
            return 1;
        }

        TableFetcher fetcher;
        TableReader reader(fetcher);
        start = Clock::now();
        auto table = reader.Read(*header);
        read.push_back(Ms(start, Clock::now()));
        if (!table) {
            std::fprintf(stderr, "tamboro-table-bench: %s\n", table.Error().c_str());
            return 1;
        }

        std::vector<DifficultyTable> tables{std::move(*table)};
        start = Clock::now();
        const TableMatch match(tables);
        build.push_back(Ms(start, Clock::now()));
        start = Clock::now();
        matched = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::string md5 = i % 2 ? entries[i].md5 : Hex(i + (1ull << 40), 32);
            matched += !match.ColumnText(md5, entries[i].sha256).empty();
        }
        lookup.push_back(Ms(start, Clock::now()));
        start = Clock::now();
        ranks = 0;
        for (const TableEntry* entry : match.MissingEntries(0, LibraryHashes()))
            ranks += match.LevelRank(0, entry->level);
        missing.push_back(Ms(start, Clock::now()));
    }
    Report("parse", parse);
    Report("read", read);
    Report("index", build);
    Report("lookup", lookup);
    Report("missing", missing);
    std::printf("lookups: %zu charts, %zu in the table; sum of missing ranks %llu\n", entries.size(), matched,
                static_cast<unsigned long long>(ranks));
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS %.1f MB\n", usage.ru_maxrss / 1024.0);
    std::filesystem::remove_all(folder);
    return 0;
}
