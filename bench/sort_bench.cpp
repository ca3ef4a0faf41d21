// tamboro-sort-bench: how long sorting the result list takes.
//
// Builds 65,536 rows (Japanese titles in Shift-JIS, Latin titles in ASCII,
// many sharing a title with a different difficulty suffix, as real chart
// libraries do), then measures through the model, with fresh rows each run:
//   first  - the first sort by title ascending (decoding + collation keys + sort)
//   desc   - the next click on the same column: descending, keys reused
//   again  - ascending again from found order, keys reused
//   found  - back to found order
// and, for comparison, a plain std::sort of the rows that calls the
// collator's Compare for every comparison (the titles decoded beforehand).
// Prints the median and the range of each in milliseconds of wall time, and
// the median CPU time of the process (all threads) beside it: on a busy
// machine the wall time grows with the load, the CPU time much less. The
// load average at the start and the end is printed too.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "models/ResultModel.h"
#include "platform/Collator.h"
#include "platform/TextDecoder.h"

namespace {

using namespace tamboro;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// CPU time of the whole process so far (user + system, all threads), in ms.
double CpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-3;
}

std::string LoadAverage()
{
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) != 3)
        return "unknown";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

std::string ShiftJisTitle(std::mt19937& random)
{
    std::string title;
    const unsigned length = 2 + random() % 10;
    for (unsigned i = 0; i < length; ++i) {
        switch (random() % 4) {
        case 0:  // hiragana 829F..82F1
            title += '\x82';
            title += static_cast<char>(0x9F + random() % 0x53);
            break;
        case 1: {  // katakana 8340..8396 without 837F
            unsigned trail = 0x40 + random() % 0x56;
            if (trail >= 0x7F)
                ++trail;
            title += '\x83';
            title += static_cast<char>(trail);
            break;
        }
        default: {  // level-1 kanji, leads 89..97
            unsigned trail = 0x40 + random() % 0xBC;
            if (trail >= 0x7F)
                ++trail;
            title += static_cast<char>(0x89 + random() % 15);
            title += static_cast<char>(trail);
            break;
        }
        }
    }
    return title;
}

std::string LatinTitle(std::mt19937& random)
{
    static const char* const kWords[] = {"Love",   "night",   "Dream",  "star",  "Fire",  "blue",   "Heart",   "sky",
                                         "Chaos",  "eternal", "Light",  "dark",  "Angel", "rain",   "Flower",  "moon",
                                         "Battle", "world",   "Energy", "Sound", "Beat",  "summer", "Crystal", "Zone"};
    std::string title;
    const unsigned words = 1 + random() % 3;
    for (unsigned i = 0; i < words; ++i) {
        if (i > 0)
            title += ' ';
        title += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    }
    return title;
}

std::vector<ChartRow> MakeRows(std::size_t count)
{
    static const char* const kSuffixes[] = {"", " [NORMAL]", " [HYPER]", " [ANOTHER]", " [INSANE]"};
    std::mt19937 random(2024);
    std::vector<ChartRow> rows;
    rows.reserve(count);
    std::string folder, title;
    unsigned chartsLeft = 0;
    while (rows.size() < count) {
        if (chartsLeft == 0) {
            // One song folder with a few charts of the same title.
            chartsLeft = 1 + random() % 5;
            title = random() % 2 ? ShiftJisTitle(random) : LatinTitle(random);
            folder = "/home/user/BMS/pack" + std::to_string(random() % 40) + "/" + title + "/";
        }
        --chartsLeft;
        ChartRow row;
        row.folder = folder;
        row.Value(TagOf("#GENRE ")) = random() % 2 ? "TECHNO" : "\x83\x51\x81\x5B\x83\x80";  // ゲーム
        row.Value(TagOf("#TITLE ")) = title + kSuffixes[random() % 5];
        row.Value(TagOf("#ARTIST ")) = random() % 2 ? "someone" : ShiftJisTitle(random);
        row.index = static_cast<uint32_t>(rows.size());
        rows.push_back(std::move(row));
    }
    return rows;
}

double MedianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Stats {
    std::vector<double> runs;
    std::vector<double> cpu;
    void Add(double wall, double cpuTime)
    {
        runs.push_back(wall);
        cpu.push_back(cpuTime);
    }
    double Median() const
    {
        std::vector<double> v = runs;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    double Min() const { return *std::min_element(runs.begin(), runs.end()); }
    double Max() const { return *std::max_element(runs.begin(), runs.end()); }
};

void Print(const char* name, const Stats& stats)
{
    std::printf("  %-34s median %8.1f ms   (min %7.1f, max %7.1f)   cpu %7.1f ms\n", name, stats.Median(), stats.Min(),
                stats.Max(), MedianOf(stats.cpu));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t rowCount = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 65536;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string locale = Collator::LocaleFromEnvironment();
    std::printf("tamboro-sort-bench: %zu rows, %d runs, collation locale \"%s\", load average %s\n", rowCount, runs,
                locale.c_str(), LoadAverage().c_str());

    const std::vector<ChartRow> rows = MakeRows(rowCount);
    Stats first, descending, again, found, plainDecode, plainSort;
    for (int run = 0; run < runs; ++run) {
        ResultModel model{Collator(locale)};
        std::vector<ChartRow> batch;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            batch.push_back(rows[i]);
            if (i + 1 == rows.size() || rows[i + 1].folder != rows[i].folder)
                model.AppendRows(batch);  // one batch per folder, as the scan delivers them
        }

        const double c0 = CpuMs();
        const auto t0 = Clock::now();
        model.SortRows(kColumnTitle, kSortAscending);
        const double c1 = CpuMs();
        const auto t1 = Clock::now();
        model.SortRows(kColumnTitle, kSortDescending);
        const double c2 = CpuMs();
        const auto t2 = Clock::now();
        model.SortRows(kColumnTitle, kSortFound);
        const double c3 = CpuMs();
        const auto t3 = Clock::now();
        model.SortRows(kColumnTitle, kSortAscending);
        const double c4 = CpuMs();
        const auto t4 = Clock::now();
        first.Add(Ms(t0, t1), c1 - c0);
        descending.Add(Ms(t1, t2), c2 - c1);
        found.Add(Ms(t2, t3), c3 - c2);
        again.Add(Ms(t3, t4), c4 - c3);
        if (model.RowAt(0).Title().empty() && model.RowAt(1).Title().empty())
            std::printf("(unexpected rows)\n");

        // The plain way: decode every title, then std::sort calling Compare.
        const Collator collator(locale);
        const double d0 = CpuMs();
        const auto p0 = Clock::now();
        std::vector<std::u16string> texts;
        texts.reserve(rows.size());
        for (const ChartRow& row : rows)
            texts.push_back(DecodeToUtf16(row.Title(), DetectCharset(row.values.Values())));
        const double d1 = CpuMs();
        const auto p1 = Clock::now();
        std::vector<uint32_t> order(rows.size());
        for (uint32_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](uint32_t a, uint32_t b) { return collator.Compare(texts[a], texts[b]) < 0; });
        const double d2 = CpuMs();
        const auto p2 = Clock::now();
        plainDecode.Add(Ms(p0, p1), d1 - d0);
        plainSort.Add(Ms(p1, p2), d2 - d1);
        // Both orders must agree on the text sequence.
        for (std::size_t i = 0; i < order.size(); ++i) {
            const ChartRow& mine = model.RowAt(static_cast<int>(i));
            if (collator.Compare(texts[order[i]], texts[mine.index]) != 0) {
                std::printf("ORDER MISMATCH at position %zu\n", i);
                return 1;
            }
        }
    }

    std::printf("through the model (SortRows):\n");
    Print("first sort, title ascending", first);
    Print("second sort, title descending", descending);
    Print("found order", found);
    Print("title ascending again (from found)", again);
    std::printf("plain std::sort with Collator::Compare:\n");
    Print("decoding the titles", plainDecode);
    Print("std::sort", plainSort);
    Stats plain;
    for (std::size_t i = 0; i < plainSort.runs.size(); ++i)
        plain.Add(plainDecode.runs[i] + plainSort.runs[i], plainDecode.cpu[i] + plainSort.cpu[i]);
    Print("decoding + std::sort", plain);
    std::printf("ratios (medians):\n");
    std::printf("  second / first                     %.3f\n", descending.Median() / first.Median());
    std::printf("  ascending again / first            %.3f\n", again.Median() / first.Median());
    std::printf("  first / plain (decode + sort)      %.3f\n",
                first.Median() / (plainDecode.Median() + plainSort.Median()));
    std::printf("  second / plain std::sort           %.3f\n", descending.Median() / plainSort.Median());
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return 0;
}
