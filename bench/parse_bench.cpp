// tamboro-parse-bench: the header reader's own cost, with the charts already
// in memory (no reads, no opens): how fast the line finders pass over data
// lines and the tags are picked out, and what hashing adds.
//
//   tamboro-parse-bench ROOT [--megabytes N] [--rounds N] [--hashes]
//
// Loads charts (files ending in ".bms", any letter case) below ROOT until N
// megabytes (default 256) are held, then reads them all with
// HeaderReader::ReadFromMemory, round after round (default 5), and prints the
// fastest round: charts, megabytes, seconds, MB/s and the bytes of values
// found (the same for every build that reads the same tags). With --hashes
// every chart's MD5 and SHA-256 are computed in the same read.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "search/HeaderReader.h"

namespace {

bool IsChartName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string ending = name.substr(name.size() - 4);
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
    return ending == ".bms";
}

std::vector<std::string> LoadCharts(const char* root, std::size_t maxBytes)
{
    std::vector<std::string> charts;
    std::size_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (total >= maxBytes)
            break;
        if (!entry.is_regular_file() || !IsChartName(entry.path().filename().string()))
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        charts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        total += charts.back().size();
    }
    return charts;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* root = nullptr;
    std::size_t megabytes = 256;
    int rounds = 5;
    bool hashes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--megabytes") == 0 && i + 1 < argc)
            megabytes = std::strtoul(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--hashes") == 0)
            hashes = true;
        else if (root == nullptr && argv[i][0] != '-')
            root = argv[i];
        else {
            std::fprintf(stderr, "usage: tamboro-parse-bench ROOT [--megabytes N] [--rounds N] [--hashes]\n");
            return 2;
        }
    }
    if (root == nullptr) {
        std::fprintf(stderr, "usage: tamboro-parse-bench ROOT [--megabytes N] [--rounds N] [--hashes]\n");
        return 2;
    }
    const std::vector<std::string> charts = LoadCharts(root, megabytes << 20);
    std::size_t bytes = 0;
    for (const std::string& chart : charts)
        bytes += chart.size();

    tamboro::HeaderReader reader;
    tamboro::TagTable tags;
    tamboro::ChartHashes digests;
    double best = 1e30;
    std::size_t valueBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        valueBytes = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& chart : charts) {
            reader.ReadFromMemory(chart, tags, hashes ? &digests : nullptr);
            valueBytes += tags.ValueBytes() + digests.md5.size();
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%zu charts, %.1f MB, fastest of %d rounds %.3f s, %.0f MB/s, %zu bytes of values%s\n", charts.size(),
                static_cast<double>(bytes) / 1e6, rounds, best, static_cast<double>(bytes) / 1e6 / best, valueBytes,
                hashes ? " and digests" : "");
    return 0;
}
