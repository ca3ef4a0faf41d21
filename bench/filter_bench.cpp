// tamboro-filter-bench: how long find-as-you-type takes on a big list.
//
//   tamboro-filter-bench [ROWS [RUNS]]      (default 65,536 rows, 7 runs)
//
// Builds ROWS rows like a real library's (titles, artists and genres mixing
// kanji, hiragana, katakana, half-width katakana, full-width and plain Latin;
// half the Japanese charts in Shift-JIS, the rest UTF-8; folders shared by
// the charts of one song), appended to a ResultModel one folder at a time
// as a search does. A RowFilterModel sits on it. Each run, on fresh rows:
//   open   - RowFilterModel::PrepareFolding: decoding and folding every row
//            (on up to 4 threads), what opening the find bar costs;
//   then each query typed one character at a time, each keystroke timed
//   through RowFilterModel::SetFilterText (folding the query, matching all
//   rows, rebuilding the shown rows, the layout change), and finally
//   clearing the text (the bar closing).
// A sort by title between two queries checks that filtering a sorted list
// costs the same. Medians and ranges in milliseconds of wall time, the
// median CPU time of the process beside them (all threads; on a busy machine
// the wall time grows with the load, the CPU time much less), and the rows
// shown after each keystroke. Before all that, once: the first text folded
// in the process, which loads ICU's kana transform.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include <unicode/ucnv.h>

#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "platform/TextFolder.h"

namespace {

using namespace tamboro;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

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

std::string ToShiftJis(const std::string& utf8)
{
    std::string out(utf8.size() * 2 + 4, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_convert("windows-31j", "UTF-8", out.data(), static_cast<int32_t>(out.size()),
                                        utf8.data(), static_cast<int32_t>(utf8.size()), &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return U_SUCCESS(status) ? out : utf8;
}

const std::vector<std::string> kJapaneseWords = {
    "ソフラン",     "エターナル", "ドリーム",   "ファンタジア", "サマー", "ナイト", "ミラクル", "スター", "ワールド",
    "カオス",       "さくら",     "よるのうた", "ひかり",       "ゆめ",   "そら",   "こころ",   "あめ",   "はなび",
    "つきあかり",   "夜桜",       "幻想",       "天空",         "恋",     "世界",   "星空",     "夢幻",   "桜花",
    "雷鳴",         "永遠",       "蒼",         "紅蓮",         "月下",   "ｿﾌﾗﾝ",   "ｽﾀｰ",      "ﾄﾞﾘｰﾑ",  "ﾊﾟﾗﾀﾞｲｽ",
    "ＳＯＦＬＡＮ", "ＮＩＧＨＴ", "Ｄｒｅａｍ", "の",           "と",     "〜"};
const std::vector<std::string> kLatinWords = {
    "Love",  "night",  "Dream",   "star", "Fire",   "blue",   "Heart",  "sky",      "Chaos",   "eternal",
    "Light", "dark",   "Angel",   "rain", "Flower", "moon",   "Battle", "world",    "Energy",  "Sound",
    "Beat",  "summer", "Crystal", "Zone", "SOFLAN", "Trance", "Groove", "Paradise", "Eclipse", "Nova"};
const std::vector<std::string> kGenres = {"TECHNO", "HARDCORE", "J-POP",        "トランス",    "ゲーム",
                                          "アニメ", "ｸﾗｼｯｸ",    "ＴＥＣＨＮＯ", "drum'n'bass", "民族調"};
const std::vector<std::string> kSuffixes = {"", " [NORMAL]", " [HYPER]", " [ANOTHER]", " [INSANE]", " -7keys-"};

const std::string& Pick(const std::vector<std::string>& words, std::mt19937& random)
{
    return words[random() % words.size()];
}

std::string Phrase(const std::vector<std::string>& words, std::mt19937& random, const char* separator)
{
    std::string text;
    const unsigned count = 1 + random() % 3;
    for (unsigned i = 0; i < count; ++i) {
        if (i > 0)
            text += separator;
        text += Pick(words, random);
    }
    return text;
}

// Rows of one folder per vector, in the order a search appends them.
std::vector<std::vector<ChartRow>> MakeFolders(std::size_t rowCount)
{
    std::mt19937 random(2024);
    std::vector<std::vector<ChartRow>> folders;
    std::size_t made = 0;
    while (made < rowCount) {
        const bool japanese = random() % 2 == 0;
        const bool shiftJis = japanese && random() % 2 == 0;
        const std::string title = japanese ? Phrase(kJapaneseWords, random, "") : Phrase(kLatinWords, random, " ");
        const std::string artist = japanese ? Phrase(kJapaneseWords, random, "") + "/" + Pick(kLatinWords, random)
                                            : Pick(kLatinWords, random) + " feat. " + Pick(kLatinWords, random);
        const std::string genre = Pick(kGenres, random);
        const auto encode = [&](const std::string& text) { return shiftJis ? ToShiftJis(text) : text; };
        const std::string folder = "/home/player/BMS/pack" + std::to_string(random() % 40) + "/" + encode(title) + "/";
        std::vector<ChartRow> charts;
        for (unsigned chart = 1 + random() % 5; chart > 0 && made < rowCount; --chart, ++made) {
            ChartRow row;
            row.folder = folder;
            row.Value(TagOf("#GENRE ")) = encode(genre);
            row.Value(TagOf("#TITLE ")) = encode(title + Pick(kSuffixes, random));
            row.Value(TagOf("#ARTIST ")) = encode(artist);
            row.index = static_cast<uint32_t>(made);
            charts.push_back(std::move(row));
        }
        folders.push_back(std::move(charts));
    }
    return folders;
}

struct Stats {
    std::vector<double> wall;
    std::vector<double> cpu;
    int shown = 0;
    void Add(double wallMs, double cpuMs)
    {
        wall.push_back(wallMs);
        cpu.push_back(cpuMs);
    }
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Print(const std::string& name, const Stats& stats, bool withShown)
{
    std::printf("  %-26s median %7.2f ms  (min %7.2f, max %7.2f)  cpu %7.2f ms", name.c_str(), Median(stats.wall),
                *std::min_element(stats.wall.begin(), stats.wall.end()),
                *std::max_element(stats.wall.begin(), stats.wall.end()), Median(stats.cpu));
    if (withShown)
        std::printf("  shown %6d", stats.shown);
    std::printf("\n");
}

// One query typed a character (code point) at a time.
std::vector<QString> Keystrokes(const QString& query)
{
    std::vector<QString> prefixes;
    const QList<uint> codePoints = query.toUcs4();
    for (qsizetype n = 1; n <= codePoints.size(); ++n)
        prefixes.push_back(QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.data()), n));
    return prefixes;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t rowCount = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 65536;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    std::printf("tamboro-filter-bench: %zu rows, %d runs, load average %s\n", rowCount, runs, LoadAverage().c_str());

    // The first text folded in a process loads ICU's kana transform.
    const auto loadStart = Clock::now();
    const double loadCpu = CpuMs();
    TextFolder().Folded(u"あ");
    const double loadMs = Ms(loadStart, Clock::now());
    const double loadCpuMs = CpuMs() - loadCpu;

    const std::vector<std::vector<ChartRow>> folders = MakeFolders(rowCount);
    // Latin and kana queries, then one typed into a list sorted by title.
    const std::vector<QString> queries = {QStringLiteral("soflan"), QStringLiteral("そふらん"), QStringLiteral("night"),
                                          QStringLiteral("ゆめ")};
    const QString sortedQuery = QStringLiteral("ﾄﾞﾘｰﾑ");

    Stats open, close;
    std::vector<std::vector<Stats>> keys(queries.size() + 1);
    for (int run = 0; run < runs; ++run) {
        ResultModel model{Collator("ja")};
        RowFilterModel filter(&model);
        for (std::vector<ChartRow> batch : folders)
            model.AppendRows(batch);

        double c0 = CpuMs();
        auto t0 = Clock::now();
        filter.PrepareFolding();
        open.Add(Ms(t0, Clock::now()), CpuMs() - c0);

        const auto typeQuery = [&](const QString& query, std::vector<Stats>& steps) {
            const std::vector<QString> prefixes = Keystrokes(query);
            steps.resize(prefixes.size());
            for (std::size_t i = 0; i < prefixes.size(); ++i) {
                const double c = CpuMs();
                const auto t = Clock::now();
                filter.SetFilterText(prefixes[i]);
                steps[i].Add(Ms(t, Clock::now()), CpuMs() - c);
                steps[i].shown = filter.ShownCount();
            }
        };
        for (std::size_t q = 0; q < queries.size(); ++q) {
            typeQuery(queries[q], keys[q]);
            c0 = CpuMs();
            t0 = Clock::now();
            filter.SetFilterText(QString());
            close.Add(Ms(t0, Clock::now()), CpuMs() - c0);
        }
        model.SortRows(kColumnTitle, kSortAscending);
        typeQuery(sortedQuery, keys.back());
        filter.SetFilterText(QString());
    }

    std::printf("once per process, the first text folded (loading ICU's kana transform):\n");
    std::printf("  %-26s %7.2f ms  cpu %7.2f ms\n", "first fold", loadMs, loadCpuMs);
    std::printf("opening the find bar (decoding and folding every row, %u threads at most):\n",
                std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    Print("fold all rows", open, false);
    std::printf("keystrokes (RowFilterModel::SetFilterText):\n");
    std::vector<double> allKeys;
    for (std::size_t q = 0; q < keys.size(); ++q) {
        const QString query = q < queries.size() ? queries[q] : sortedQuery;
        const std::vector<QString> prefixes = Keystrokes(query);
        for (std::size_t i = 0; i < keys[q].size(); ++i) {
            std::string name = "\"" + prefixes[i].toStdString() + "\"";
            if (q == queries.size())
                name += " (sorted)";
            Print(name, keys[q][i], true);
            allKeys.push_back(Median(keys[q][i].wall));
        }
    }
    Print("clearing the text", close, false);
    std::printf("slowest keystroke (median over runs): %.2f ms\n", *std::max_element(allKeys.begin(), allKeys.end()));
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return 0;
}
