// The library check: every problem kind on trees made for it, through
// tamboro-scan --check where the output matters, and through the check
// itself for what only an unprivileged user can see.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "check/LibraryCheck.h"
#include "support/TestTree.h"

namespace tamboro {
namespace {

using test::TestTree;

struct CheckRun {
    int status = -1;
    std::vector<std::string> lines;
};

CheckRun RunCheck(const std::string& arguments)
{
    const std::string command = std::string("'") + TAMBORO_SCAN_PATH + "' --check " + arguments + " 2>/dev/null";
    CheckRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find('\n', start);
        run.lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return run;
}

TEST(LibraryCheckCommand, NamesMissingAndWronglyCasedFilesAsPlayersLoadThem)
{
    TestTree tree;
    const std::string a = tree.Path("pack/a/");
    tree.WriteFile("pack/a/song.bms",
                   "#TITLE song\r\n#WAV01 kick.wav\r\n#wav02 Snare.wav\r\n#WAV03 Sounds\\hat.wav\r\n"
                   "#WAV04 sounds\\hat.wav\r\n#BMP01 bga.bmp\r\n#BMP02 movie.bmp\r\n#STAGEFILE stage.png\r\n"
                   "#BANNER banner.bmp\r\n#BACKBMP back.jpg\r\n#PREVIEW preview.wav\r\n#WAV05 ../outside.wav\r\n"
                   "#WAV06 gone.wav\r\n#WAV07 old.wav\r\n#WAV07 kick.wav\r\n#WAVZZ Kick.WAV\r\n"
                   // A difference chart's names of its song's files, one
                   // folder up; none is looked for out of the root.
                   "#WAV08 ..\\song\\Hit.wav\r\n#WAV09 Sounds/../../song/gone.wav\r\n"
                   "#WAV0A ../../escape.wav\r\n#WAV0B ..\\a\\..\\..\\pack\\song\\hit.wav\r\n");
    for (const char* file : {"kick.ogg", "snare.wav", "Sounds/hat.wav", "bga.png", "movie.mpg", "stage.png",
                             "Banner.png", "back.jpg", "preview.flac", "../outside.wav", "kick.WAV", "../song/hit.wav",
                             "../../escape.wav", "../../pack/song/hit.wav"})
        tree.WriteFile(std::string("pack/a/") + file, "");
    // Shift-JIS names: "ソ" (0x83 0x5C) holds a backslash byte that is no
    // separator; the file unpacked with a UTF-8 name, or the same bytes.
    tree.WriteFile("pack/b/sjis.bms", "#TITLE \x83\x5c\x83\x93\x83\x4f\n#WAV01 \x83\x5c.wav\n"
                                      "#WAV02 \x83\x7e\\\x83\x5c.ogg\n#WAV03 \x83\x41.wav\n");
    tree.WriteFile("pack/b/ソ.wav", "");
    tree.WriteFile("pack/b/\x83\x7e/\x83\x5c.ogg", "");

    const CheckRun run = RunCheck(tree.Path("pack"));
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> lines = run.lines;
    std::sort(lines.begin(), lines.end());
    const std::string b = tree.Path("pack/b/");
    const std::vector<std::string> expected{
        "case-mismatch\t" + a + "\tsong.bms\t..\\\\song\\\\Hit.wav\t../song/hit.wav",
        "case-mismatch\t" + a + "\tsong.bms\tKick.WAV\tkick.WAV",
        "case-mismatch\t" + a + "\tsong.bms\tSnare.wav\tsnare.wav",
        "case-mismatch\t" + a + "\tsong.bms\tbanner.bmp\tBanner.png",
        "case-mismatch\t" + a + "\tsong.bms\tsounds\\\\hat.wav\tSounds/hat.wav",
        "missing-file\t" + a + "\tsong.bms\tSounds/../../song/gone.wav",
        "missing-file\t" + a + "\tsong.bms\tgone.wav",
        "missing-file\t" + b + "\tsjis.bms\tア.wav",
        "outside-root\t" + a + "\tsong.bms\t../../escape.wav",
        "outside-root\t" + a + "\tsong.bms\t..\\\\a\\\\..\\\\..\\\\pack\\\\song\\\\hit.wav",
    };
    EXPECT_EQ(lines, expected);
}

// Charts are read in blocks: a name across two blocks, one after a line
// longer than a block, none after a Ctrl-Z; a chart larger than any (a
// sparse file of a terabyte) is named, not read.
TEST(LibraryCheckCommand, ChartsReadInBlocksAndTooLargeOnesNamed)
{
    TestTree tree;
    std::string chart = "#TITLE blocks\r\n";
    while (chart.size() < 256 * 1024 - 20)
        chart += "#00111:01010101\r\n";
    chart.resize(256 * 1024 - 5, '\n');
    chart += "#WAV01 across.wav\r\n*" + std::string(300 * 1024, 'x') + "\r\n#WAV02 after-long-line.wav\r\n";
    chart += "\x1a\n#WAV03 after-ctrl-z.wav\r\n";
    tree.WriteFile("lib/a/blocks.bms", chart);
    tree.WriteFile("lib/b/huge.bms", "#WAV01 never-read.wav\r\n");
    ASSERT_EQ(::truncate(tree.Path("lib/b/huge.bms").c_str(), off_t{1} << 40), 0);

    const CheckRun run = RunCheck(tree.Path("lib"));
    ASSERT_EQ(run.status, 0);
    std::vector<std::string> lines = run.lines;
    std::sort(lines.begin(), lines.end());
    const std::string a = tree.Path("lib/a/") + "\tblocks.bms\t";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "missing-file\t" + a + "across.wav",
                         "missing-file\t" + a + "after-long-line.wav",
                         "too-large\t" + tree.Path("lib/b/") +
                             "\thuge.bms\t1099511627776 bytes, more than the 64 MiB a chart is read to",
                     }));
}

TEST(LibraryCheckCommand, DuplicatesAreChartsOfTheSameBytesListedLast)
{
    TestTree tree;
    tree.WriteFile("one/x.bms", "#TITLE same\r\n");
    tree.WriteFile("two/y.bms", "#TITLE same\r\n");
    tree.WriteFile("two/z.bms", "#TITLE same\r\n");
    tree.WriteFile("two/w.bms", "#TITLE sane\r\n");  // the same size, other bytes
    // 1,295 sounds in one chart, every one there.
    std::string many = "#TITLE many\n";
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int slot = 1; slot < 36 * 36; ++slot) {
        const std::string name = std::string("s") + digits[slot / 36] + digits[slot % 36] + ".wav";
        many += std::string("#WAV") + digits[slot / 36] + digits[slot % 36] + " " + name + "\n";
        tree.WriteFile("many/" + name, "");
    }
    tree.WriteFile("many/many.bms", many);

    const CheckRun run = RunCheck(tree.Path(""));
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 3u);
    // md5sum of "#TITLE same\r\n".
    const std::string md5 = "f456c59d82165b15b9733e348c41d41c";
    std::vector<std::string> charts;
    for (const std::string& line : run.lines) {
        ASSERT_EQ(line.rfind("duplicate\t", 0), 0u) << line;
        charts.push_back(line.substr(0, line.rfind('\t')));
        EXPECT_EQ(line.substr(line.rfind('\t') + 1), md5);
    }
    std::sort(charts.begin(), charts.end());
    EXPECT_EQ(charts, (std::vector<std::string>{"duplicate\t" + tree.Path("one/") + "\tx.bms",
                                                "duplicate\t" + tree.Path("two/") + "\ty.bms",
                                                "duplicate\t" + tree.Path("two/") + "\tz.bms"}));
    // With an index: the same lines, twice (the second time the digests come
    // from it), and a scan through the same index lists what a plain one does.
    const std::string index = tree.Path("index.sqlite");
    for (int time = 0; time < 2; ++time)
        EXPECT_EQ(RunCheck("--index-file '" + index + "' " + tree.Path("")).lines, run.lines);
    const std::string scan = std::string("'") + TAMBORO_SCAN_PATH + "' --columns folder,file,title,md5 ";
    EXPECT_EQ(std::system((scan + "--index-file '" + index + "' " + tree.Path("") + " > " + index + ".rows && " + scan +
                           tree.Path("") + " | cmp -s - " + index + ".rows")
                              .c_str()),
              0);
    EXPECT_EQ(RunCheck(tree.Path("nothing-here")).status, 1);
    EXPECT_EQ(RunCheck("--sort title " + tree.Path("")).status, 2);
}

class CollectingCheckSink : public CheckSink {
public:
    void Report(const CheckProblem& problem) override
    {
        lines.push_back(std::string(CheckKindName(problem.kind)) + " " + problem.folder + problem.file);
    }
    std::vector<std::string> lines;
};

TEST(LibraryCheck, UnreadableChartsAndFoldersAreNamed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TestTree tree;
    tree.WriteFile("open/locked.bms", "#TITLE x\n");
    tree.MakeFolder("closed");
    tree.WriteFile("closed/inside.bms", "#TITLE y\n");
    ::chmod(tree.Path("open/locked.bms").c_str(), 0);
    ::chmod(tree.Path("closed").c_str(), 0);
    CollectingCheckSink sink;
    EXPECT_EQ(LibraryCheck(sink, CheckOptions{}).Run(tree.Root()), 0);
    ::chmod(tree.Path("closed").c_str(), 0755);
    std::sort(sink.lines.begin(), sink.lines.end());
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"unreadable " + tree.Path("closed/"),
                                                    "unreadable " + tree.Path("open/locked.bms")}));
}

}  // namespace
}  // namespace tamboro
