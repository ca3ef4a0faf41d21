// tamboro-gen-library: writes a synthetic BMS chart library for the scan
// benchmark.
//
//   tamboro-gen-library [--seed N] [--charts N] [--small] OUTDIR
//
// The tree looks like a real player's collection: category folders holding
// song packages, each package with 1-8 charts ("*.bms", a few "*.BMS"),
// key sounds, images, and charts of other formats (.bme, .bml, .pms) that a
// "*.bms" scan must pass over. With --small the packages hold charts of
// 1-8 KB and nothing else: a library of very many small charts, where the
// cost per file rather than per byte decides a scan's speed. Chart text is mostly Shift-JIS, some UTF-8
// and EUC-KR, with CRLF line ends (some LF only), the odd lower-case or
// repeated tag, and a few files ending in Ctrl-Z followed by junk. Folder
// names are partly raw Shift-JIS or EUC-KR bytes, partly ASCII, partly UTF-8.
//
// The output depends only on the seed and the chart count: the random
// generator and every distribution are defined here, not taken from the
// standard library, whose distributions differ between implementations.
// The number of files whose names end in ".bms" (any case) is exactly
// --charts. No chart contains a NUL byte, so that grep and rg read every
// chart as text.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// Bumped whenever the same seed would produce a different tree, so that the
// benchmark script regenerates a library it finds from an older version.
constexpr int kFormatVersion = 2;

struct Text {
    const char* utf8;   // the text as UTF-8 (also used for UTF-8 names)
    const char* bytes;  // the same text in its legacy code page
};

// The byte strings below were converted once with iconv from the UTF-8 text
// beside them (CP932 for Japanese, EUC-KR for Korean). Several contain a
// double-byte character whose second byte is 0x5C ("\134"), as in ソ or 表.

constexpr Text kJapaneseTitles[] = {
    {"夜明けのソナタ", "\226\351\226\276\202\257\202\314\203\134\203i\203^"},
    {"桜色ノスタルジア", "\215\367\220F\203m\203X\203^\203\213\203W\203A"},
    {"表裏一体", "\225\134\227\240\210\352\221\314"},
    {"十六夜の月", "\217\134\230Z\226\351\202\314\214\216"},
    {"星屑メモリー", "\220\257\213\373\203\201\203\202\203\212\201["},
    {"幻想交響曲", "\214\266\221z\214\360\213\277\213\310"},
    {"終焉のアリア", "\217I\340\201\202\314\203A\203\212\203A"},
    {"蒼い鼓動", "\221\223\202\242\214\333\223\256"},
    {"恋はソーダ色", "\227\366\202\315\203\134\201[\203_\220F"},
    {"電脳少女", "\223d\224]\217\255\217\227"},
    {"虹色プリズム", "\223\370\220F\203v\203\212\203Y\203\200"},
    {"夏祭りの夜", "\211\304\215\325\202\350\202\314\226\351"},
    {"予感", "\227\134\212\264"},
    {"能天気ラプソディ", "\224\134\223V\213C\203\211\203v\203\134\203f\203B"},
    {"黄昏シンドローム", "\211\251\215\250\203V\203\223\203h\203\215\201[\203\200"},
    {"白銀の翼", "\224\222\213\342\202\314\227\203"},
    {"紅蓮の焔", "\215g\230@\202\314\211\213"},
    {"流星群", "\227\254\220\257\214Q"},
    {"雪月花", "\220\341\214\216\211\324"},
    {"機械仕掛けの心臓", "\213@\212B\216d\212|\202\257\202\314\220S\221\237"},
    {"真夜中のカーニバル", "\220^\226\351\222\206\202\314\203J\201[\203j\203o\203\213"},
    {"天空の城砦", "\223V\213\363\202\314\217\351\215\324"},
    {"硝子の迷宮", "\217\311\216q\202\314\226\300\213{"},
    {"雨音ソリチュード", "\211J\211\271\203\134\203\212\203`\203\205\201[\203h"},
    {"～エピローグ～", "\201`\203G\203s\203\215\201[\203O\201`"},
    {"【発狂】ソウルブレイカー", "\201y\224\255\213\266\201z\203\134\203E\203\213\203u\203\214\203C\203J\201["},
    {"鏡花水月", "\213\276\211\324\220\205\214\216"},
    {"宵闇ラビリンス", "\217\252\210\305\203\211\203r\203\212\203\223\203X"},
    {"ソラノウタ", "\203\134\203\211\203m\203E\203^"},
    {"百鬼夜行", "\225S\213S\226\351\215s"},
    {"東京フラクタル", "\223\214\213\236\203t\203\211\203N\203^\203\213"},
    {"万華鏡", "\226\234\211\330\213\276"},
    {"月下美人", "\214\216\211\272\224\374\220l"},
    {"時計仕掛けの夢", "\216\236\214v\216d\212|\202\257\202\314\226\262"},
    {"走れ！メロディ", "\221\226\202\352\201I\203\201\203\215\203f\203B"},
    {"ハートビート☆ステップ", "\203n\201[\203g\203r\201[\203g\201\231\203X\203e\203b\203v"},
};

constexpr Text kJapaneseArtists[] = {
    {"小林ソウタ", "\217\254\227\321\203\134\203E\203^"},
    {"山田花子", "\216R\223c\211\324\216q"},
    {"鈴木 feat. 初音", "\227\351\226\330 feat. \217\211\211\271"},
    {"佐藤P", "\215\262\223\241P"},
    {"月影レイ", "\214\216\211e\203\214\203C"},
    {"高橋表太郎", "\215\202\213\264\225\134\221\276\230Y"},
    {"藍色サウンド", "\227\225\220F\203T\203E\203\223\203h"},
    {"黒猫工房", "\215\225\224L\215H\226["},
    {"夢見る機械", "\226\262\214\251\202\351\213@\212B"},
    {"田中十兵衛", "\223c\222\206\217\134\225\272\211q"},
    {"空色ノート", "\213\363\220F\203m\201[\203g"},
    {"渡辺 vs 中村", "\223n\225\323 vs \222\206\221\272"},
    {"ソルト＆ペッパー", "\203\134\203\213\203g\201\225\203y\203b\203p\201["},
    {"桜井みなと", "\215\367\210\344\202\335\202\310\202\306"},
    {"音ゲーマーＫ", "\211\271\203Q\201[\203}\201[\202j"},
    {"影山 obj:星野", "\211e\216R obj:\220\257\226\354"},
};

constexpr Text kJapaneseGenres[] = {
    {"テクノ", "\203e\203N\203m"},
    {"トランス", "\203g\203\211\203\223\203X"},
    {"ハードコア", "\203n\201[\203h\203R\203A"},
    {"和風ロック", "\230a\225\227\203\215\203b\203N"},
    {"ドラムンベース", "\203h\203\211\203\200\203\223\203x\201[\203X"},
    {"ソウル", "\203\134\203E\203\213"},
    {"ユーロビート", "\203\206\201[\203\215\203r\201[\203g"},
    {"民族調", "\226\257\221\260\222\262"},
    {"電波", "\223d\224g"},
    {"アニメ風", "\203A\203j\203\201\225\227"},
    {"ピアノ", "\203s\203A\203m"},
    {"オーケストラ", "\203I\201[\203P\203X\203g\203\211"},
    {"ジャズ", "\203W\203\203\203Y"},
    {"チップチューン", "\203`\203b\203v\203`\203\205\201[\203\223"},
    {"表現主義ブレイクコア", "\225\134\214\273\216\345\213`\203u\203\214\203C\203N\203R\203A"},
    {"ハッピーハードコア", "\203n\203b\203s\201[\203n\201[\203h\203R\203A"},
};

constexpr Text kJapaneseFolders[] = {
    {"発狂BMS", "\224\255\213\266BMS"},
    {"通常BMS", "\222\312\217\355BMS"},
    {"BMSイベント2010", "BMS\203C\203x\203\223\203g2010"},
    {"表彰台BMS", "\225\134\217\262\221\344BMS"},
    {"ソフラン譜面", "\203\134\203t\203\211\203\223\225\210\226\312"},
    {"同人BMS詰め合わせ", "\223\257\220lBMS\213l\202\337\215\207\202\355\202\271"},
    {"段位認定", "\222i\210\312\224F\222\350"},
    {"新作BMS", "\220V\215\354BMS"},
    {"第十回BOF", "\221\346\217\134\211\361BOF"},
    {"差分置き場", "\215\267\225\252\222u\202\253\217\352"},
    {"ソロ譜面集", "\203\134\203\215\225\210\226\312\217W"},
    {"未分類", "\226\242\225\252\227\336"},
    {"能力測定", "\224\134\227\315\221\252\222\350"},
    {"ロングノーツ", "\203\215\203\223\203O\203m\201[\203c"},
};

constexpr Text kKoreanTitles[] = {
    {"별빛 소나타", "\272\260\272\373 \274\322\263\252\305\270"},
    {"푸른 하늘", "\307\252\270\245 \307\317\264\303"},
    {"사랑의 노래", "\273\347\266\373\300\307 \263\353\267\241"},
    {"한여름 밤의 꿈", "\307\321\277\251\270\247 \271\343\300\307 \262\336"},
    {"바람의 노래", "\271\331\266\367\300\307 \263\353\267\241"},
    {"달빛 아래", "\264\336\272\373 \276\306\267\241"},
    {"꽃잎", "\262\311\300\331"},
    {"겨울 이야기", "\260\334\277\357 \300\314\276\337\261\342"},
    {"불꽃놀이", "\272\322\262\311\263\356\300\314"},
    {"새벽 세시", "\273\365\272\256 \274\274\275\303"},
    {"은하수", "\300\272\307\317\274\366"},
    {"첫눈", "\303\271\264\253"},
};

constexpr Text kKoreanArtists[] = {
    {"김민수", "\261\350\271\316\274\366"}, {"이서연", "\300\314\274\255\277\254"},
    {"박지훈", "\271\332\301\366\310\306"}, {"최유나", "\303\326\300\257\263\252"},
    {"정하늘", "\301\244\307\317\264\303"}, {"한결 feat. 윤아", "\307\321\260\341 feat. \300\261\276\306"},
};

constexpr Text kKoreanGenres[] = {
    {"발라드", "\271\337\266\363\265\345"},
    {"트랜스", "\306\256\267\243\275\272"},
    {"하드코어", "\307\317\265\345\304\332\276\356"},
    {"댄스", "\264\355\275\272"},
    {"록", "\267\317"},
    {"일렉트로닉", "\300\317\267\272\306\256\267\316\264\320"},
};

// Text that is the same in every encoding this library uses.
constexpr const char* kAsciiTitleWords1[] = {
    "Crimson", "Neon",  "Eternal",  "Silent", "Broken",  "Frozen", "Electric", "Hyper",
    "Lunar",   "Solar", "Infinite", "Velvet", "Phantom", "Astral", "Binary",   "Scarlet",
};
constexpr const char* kAsciiTitleWords2[] = {
    "Velocity", "Horizon",   "Drive",   "Garden",  "Memories", "Paradox", "Signal",  "Overture",
    "Eclipse",  "Labyrinth", "Circuit", "Requiem", "Skyline",  "Tempest", "Cascade", "Odyssey",
};
constexpr const char* kAsciiTitleSuffixes[] = {"", "", "", " -extended-", " (Remix)", " II", " ~reprise~"};
constexpr const char* kAsciiArtists[] = {
    "DJ Kurosawa", "xi-lambda", "Sound Lab 7", "NeoGrid",   "M.Tanaka",     "ParticleBeam",
    "Lumina",      "K-Shift",   "void_echo",   "Retroform", "Team Anemone", "hyper-ion",
};
constexpr const char* kAsciiGenres[] = {
    "TECHNO", "TRANCE", "HARDCORE",           "DRUM'N'BASS", "EUROBEAT",  "ARTCORE",    "HAPPY HARDCORE",
    "GABBER", "J-POP",  "PSYCHEDELIC TRANCE", "BREAKBEAT",   "SPEEDCORE", "FRENCHCORE", "AMBIENT",
};
// UTF-8 text that has no legacy code page form here.
constexpr const char* kUtf8Titles[] = {
    "Café de l'Aube", "Ωmega Reactor", "Лунная соната", "Schwarzwälder Nacht",
    "Señorita Baile", "❄Snowfall❄",    "Ærodynamic",    "Żółta Łódź",
};
constexpr const char* kUtf8Artists[] = {"Zoë Kraft", "Ünver", "夜桜ユリ", "Łukasz Nowak", "이지은 & 田中"};
constexpr const char* kUtf8Genres[] = {"Électro", "ハードテクノ", "Ambient · Drone", "Клубная музыка"};
constexpr const char* kAsciiFolders[] = {
    "BOF2010",      "BOFU2016",  "GENOCIDE", "insane_pack_vol3", "LN_pack",
    "Stella",       "Satellite", "misc",     "old_charts",       "7keys",
    "event_g2r",    "Overjoy",   "normal2",  "sabun_collection", "bms_archive_2008",
    "new_arrivals",
};
constexpr const char* kUtf8Folders[] = {"Électro pack", "한국 BMS", "東方アレンジ"};
constexpr const char* kDifficultyLabels[] = {
    "BEGINNER", "NORMAL", "HYPER", "ANOTHER", "INSANE", "EX", "ANOTHER+", "LEGGENDARIA",
};
constexpr const char* kChartSuffixes[] = {"_b", "_n", "_h", "_a", "_i", "_ex", "_ap", "_lg"};
constexpr const char* kOtherChartSuffixes[] = {"_dp", "_5k", "_9k", "_pms", "_ln"};
constexpr const char* kSoundPrefixes[] = {
    "bd", "sn", "hh", "key", "piano", "bass", "vox", "syn", "pad", "fx", "str", "gtr",
};
constexpr const char* kSabunCp932 = "\215\267\225\252";  // 差分

// xoshiro256** seeded through splitmix64.
class Rng {
public:
    explicit Rng(uint64_t seed)
    {
        for (uint64_t& word : m_s) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    uint64_t next()
    {
        const uint64_t result = rotl(m_s[1] * 5, 7) * 9;
        const uint64_t t = m_s[1] << 17;
        m_s[2] ^= m_s[0];
        m_s[3] ^= m_s[1];
        m_s[1] ^= m_s[2];
        m_s[0] ^= m_s[3];
        m_s[2] ^= t;
        m_s[3] = rotl(m_s[3], 45);
        return result;
    }

    // Uniform in [0, n); the bias of the multiply-shift is far below 2^-32.
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(((next() >> 32) * n) >> 32); }
    // Uniform in [lo, hi].
    int range(int lo, int hi) { return lo + static_cast<int>(below(static_cast<uint32_t>(hi - lo + 1))); }
    bool chance(uint32_t perMille) { return below(1000) < perMille; }

    template <typename T, size_t N>
    const T& pick(const T (&items)[N])
    {
        return items[below(N)];
    }

private:
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t m_s[4];
};

// A distribution given by its quantiles: `value` at `perMille` of the mass,
// linear in between.
struct Quantile {
    uint32_t perMille;
    uint32_t value;
};

uint32_t sample(Rng& rng, std::span<const Quantile> q)
{
    const uint32_t u = rng.below(1000000);  // in millionths
    for (size_t i = 1; i < q.size(); ++i) {
        const uint32_t hi = q[i].perMille * 1000;
        if (u < hi || i + 1 == q.size()) {
            const uint32_t lo = q[i - 1].perMille * 1000;
            const uint64_t span = hi - lo;
            const uint64_t offset = u - lo;
            return q[i - 1].value + static_cast<uint32_t>((q[i].value - q[i - 1].value) * offset / span);
        }
    }
    return q.back().value;
}

// Chart sizes in KB: median about 66 KB, mean about 83 KB, 20-400 KB.
constexpr Quantile kChartKb[] = {
    {0, 20}, {100, 30}, {250, 44}, {500, 66}, {750, 100}, {900, 150}, {970, 220}, {995, 330}, {1000, 400},
};
// Chart sizes in KB of the --small shape: median about 3 KB, 1-8 KB.
constexpr Quantile kSmallChartKb[] = {{0, 1}, {500, 3}, {900, 6}, {1000, 8}};
// Key sounds per package: 20-200, mean about 75.
constexpr Quantile kSoundsPerPackage[] = {{0, 20}, {250, 40}, {500, 60}, {750, 100}, {900, 150}, {1000, 200}};
// Key sound sizes in bytes: 300 B to 4 KB.
constexpr Quantile kSoundBytes[] = {{0, 300}, {500, 1200}, {900, 3000}, {1000, 4096}};
// Charts per package, 1 to 8: cumulative per mille.
constexpr uint32_t kChartsPerPackageCdf[] = {100, 200, 350, 550, 720, 850, 940, 1000};

enum class Encoding { ShiftJis, Utf8, Korean, Ascii };

struct Song {
    Encoding encoding;
    std::string title;  // in the song's encoding
    std::string artist;
    std::string genre;
    std::string utf8Title;  // the title as UTF-8 where there is one, else empty
    bool bom = false;       // UTF-8 charts starting with a byte-order mark
};

struct Totals {
    uint64_t charts = 0;
    uint64_t chartBytes = 0;
    uint64_t headerLines = 0;  // lines of *.bms files that begin "#genre ", "#title " or "#artist ", any case
    uint64_t folders = 0;
    uint64_t files = 0;
    uint64_t bytes = 0;
};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "tamboro-gen-library: %s\n", what.c_str());
    std::exit(1);
}

void makeFolder(const std::string& path, Totals& totals)
{
    if (::mkdir(path.c_str(), 0755) != 0)
        fail("cannot create folder " + path + ": " + std::strerror(errno));
    ++totals.folders;
}

void writeFile(const std::string& path, std::string_view data, Totals& totals)
{
    // O_EXCL: a name clash inside the generator is a bug, never an overwrite.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create " + path + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("cannot write " + path + ": " + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        fail("cannot close " + path + ": " + std::strerror(errno));
    ++totals.files;
    totals.bytes += data.size();
}

void appendRandomBytes(std::string& out, Rng& rng, size_t count)
{
    const size_t start = out.size();
    out.resize(start + count);
    for (size_t i = 0; i < count; i += 8) {
        const uint64_t r = rng.next();
        std::memcpy(out.data() + start + i, &r, std::min<size_t>(8, count - i));
    }
}

void appendLe(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Two-character base-36 object id as used by #WAVxx, #BMPxx and the data lines.
void appendId(std::string& out, uint32_t id)
{
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    out.push_back(kDigits[(id / 36) % 36]);
    out.push_back(kDigits[id % 36]);
}

std::string asciiSlug(std::string_view text)
{
    std::string slug;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || c == '-')
            slug.push_back(c);
        else if (c == ' ' && !slug.empty() && slug.back() != '_')
            slug.push_back('_');
    }
    while (!slug.empty() && slug.back() == '_')
        slug.pop_back();
    return slug.empty() ? std::string("song") : slug;
}

Song makeSong(Rng& rng)
{
    Song song;
    const uint32_t roll = rng.below(100);
    if (roll < 72) {
        song.encoding = Encoding::ShiftJis;
        const Text& title = rng.pick(kJapaneseTitles);
        song.title = title.bytes;
        song.utf8Title = title.utf8;
        song.artist = rng.chance(800) ? rng.pick(kJapaneseArtists).bytes : rng.pick(kAsciiArtists);
        song.genre = rng.chance(650) ? rng.pick(kJapaneseGenres).bytes : rng.pick(kAsciiGenres);
    } else if (roll < 86) {
        song.encoding = Encoding::Utf8;
        if (rng.chance(500)) {
            song.title = rng.pick(kJapaneseTitles).utf8;
            song.artist = rng.pick(kJapaneseArtists).utf8;
            song.genre = rng.pick(kJapaneseGenres).utf8;
        } else {
            song.title = rng.pick(kUtf8Titles);
            song.artist = rng.pick(kUtf8Artists);
            song.genre = rng.chance(500) ? rng.pick(kUtf8Genres) : rng.pick(kAsciiGenres);
        }
        song.utf8Title = song.title;
        song.bom = rng.chance(300);
    } else if (roll < 93) {
        song.encoding = Encoding::Korean;
        song.title = rng.pick(kKoreanTitles).bytes;
        song.artist = rng.pick(kKoreanArtists).bytes;
        song.genre = rng.chance(700) ? rng.pick(kKoreanGenres).bytes : rng.pick(kAsciiGenres);
    } else {
        song.encoding = Encoding::Ascii;
        song.title = std::string(rng.pick(kAsciiTitleWords1)) + " " + rng.pick(kAsciiTitleWords2) +
                     rng.pick(kAsciiTitleSuffixes);
        song.artist = rng.pick(kAsciiArtists);
        song.genre = rng.pick(kAsciiGenres);
        song.utf8Title = song.title;
    }
    return song;
}

// What makes one chart different from its siblings, and the quirks it has.
struct ChartPlan {
    const Song* song = nullptr;
    int difficulty = 0;  // index into kDifficultyLabels
    size_t targetBytes = 0;
    int sounds = 0;
    int images = 0;
    bool lf = false;  // LF line ends instead of CR LF
    bool lowerCaseTags = false;
    bool mixedCaseTags = false;
    bool repeatedTags = false;
    bool randomBlock = false;  // a #RANDOM/#IF block that redefines the title
    bool noGenre = false;
    bool ctrlZ = false;  // Ctrl-Z after the data, then junk
    bool trailingSpaces = false;
};

ChartPlan makeChartPlan(Rng& rng, const Song& song, int difficulty, uint32_t packageKb, int sounds, int images,
                        bool small)
{
    ChartPlan plan;
    plan.song = &song;
    plan.difficulty = difficulty;
    // Charts of one song have similar sizes; the harder ones tend to be larger.
    const uint32_t kb = packageKb * static_cast<uint32_t>(rng.range(75, 115) + 5 * difficulty) / 100;
    plan.targetBytes = small ? std::clamp<size_t>(size_t{kb} * 1024 + rng.below(1024), 1024, 8 * 1024)
                             : std::clamp<size_t>(size_t{kb} * 1024 + rng.below(1024), 20 * 1024, 400 * 1024 - 3072);
    plan.sounds = sounds;
    plan.images = images;
    plan.lf = rng.chance(80);
    plan.lowerCaseTags = rng.chance(30);
    plan.mixedCaseTags = !plan.lowerCaseTags && rng.chance(10);
    plan.repeatedTags = rng.chance(40);
    plan.randomBlock = rng.chance(15);
    plan.noGenre = rng.chance(20);
    plan.ctrlZ = rng.chance(20);
    plan.trailingSpaces = rng.chance(10);
    return plan;
}

class ChartWriter {
public:
    ChartWriter(std::string& out, const ChartPlan& plan) : m_out(out), m_plan(plan), m_eol(plan.lf ? "\n" : "\r\n") {}

    // Returns the number of lines that begin with "#genre ", "#title " or
    // "#artist " in any letter case: what grep and rg will find.
    uint64_t write(Rng& rng, const std::vector<std::string>& soundNames, const std::vector<std::string>& imageNames)
    {
        const Song& song = *m_plan.song;
        const char* label = kDifficultyLabels[m_plan.difficulty];
        if (song.bom)
            m_out += "\xEF\xBB\xBF";
        line("");
        line("*---------------------- HEADER FIELD");
        line("");
        tag("PLAYER", "1");
        if (!m_plan.noGenre)
            tag("GENRE", song.genre);
        const uint32_t titleStyle = rng.below(100);
        std::string title = song.title;
        if (titleStyle < 60)
            title += std::string(" [") + label + "]";
        else if (titleStyle < 75)
            title += std::string(" (") + label + ")";
        if (m_plan.trailingSpaces)
            title += "  ";
        tag("TITLE", title);
        if (titleStyle >= 75 && titleStyle < 95)
            tag("SUBTITLE", std::string("[") + label + "]");
        tag("ARTIST", song.artist);
        if (rng.chance(250))
            tag("SUBARTIST", "obj: " + std::string(rng.pick(kAsciiArtists)));
        tag("BPM", std::to_string(rng.range(120, 200)) + (rng.chance(200) ? ".5" : ""));
        tag("PLAYLEVEL", std::to_string(std::min(12, 1 + 2 * m_plan.difficulty + rng.range(0, 2))));
        tag("RANK", std::to_string(rng.range(1, 3)));
        tag("TOTAL", std::to_string(rng.range(160, 600)));
        if (rng.chance(600))
            tag("DIFFICULTY", std::to_string(std::min(5, m_plan.difficulty + 1)));
        if (!imageNames.empty() && rng.chance(700))
            tag("STAGEFILE", imageNames.front());
        if (rng.chance(150))
            tag("LNOBJ", "ZZ");
        if (m_plan.repeatedTags && rng.chance(500))
            tag("TITLE", song.title);  // an early draft title, overridden below or not
        line("");
        for (size_t i = 0; i < soundNames.size(); ++i) {
            std::string name = tagName("WAV");
            appendId(name, static_cast<uint32_t>(i + 1));
            raw(name + " " + soundNames[i]);
        }
        line("");
        for (size_t i = 0; i < imageNames.size(); ++i) {
            std::string name = tagName("BMP");
            appendId(name, static_cast<uint32_t>(i + 1));
            raw(name + " " + imageNames[i]);
        }
        if (m_plan.repeatedTags) {
            // A second definition further down: the later one wins.
            line("");
            if (rng.chance(500))
                tag("GENRE", rng.pick(kAsciiGenres));
            else
                tag("TITLE", title + " (fixed)");
        }
        if (m_plan.randomBlock) {
            line("");
            tag("RANDOM", "2");
            tag("IF", "1");
            tag("TITLE", song.title + " [random 1]");
            tag("ENDIF", "");
            tag("IF", "2");
            tag("ARTIST", song.artist + " (alt)");
            tag("ENDIF", "");
            tag("ENDRANDOM", "");
        }
        line("");
        line("*---------------------- MAIN DATA FIELD");
        line("");
        writeData(rng);
        if (m_plan.ctrlZ)
            writeJunk(rng);
        return m_headerLines;
    }

private:
    void line(std::string_view text)
    {
        m_out += text;
        m_out += m_eol;
    }

    void raw(std::string_view text) { line(text); }

    std::string tagName(const char* name) const
    {
        std::string result = "#";
        result += name;
        if (m_plan.lowerCaseTags || m_plan.mixedCaseTags) {
            for (size_t i = 1; i < result.size(); ++i) {
                if (m_plan.lowerCaseTags || i > 1)
                    result[i] = static_cast<char>(result[i] - 'A' + 'a');
            }
        }
        return result;
    }

    void tag(const char* name, std::string_view value)
    {
        const std::string_view n(name);
        if (n == "GENRE" || n == "TITLE" || n == "ARTIST")
            ++m_headerLines;
        m_out += tagName(name);
        if (!value.empty() || n == "TITLE" || n == "ARTIST" || n == "GENRE") {
            m_out += ' ';
            m_out += value;
        }
        m_out += m_eol;
    }

    // Data lines "#MMMCC:xxxx..." until the target size: a few background
    // lines (channel 01) per measure, then the key channels, at a resolution
    // chosen so that the chart spreads over a plausible number of measures.
    void writeData(Rng& rng)
    {
        static constexpr int kResolutions[] = {192, 96, 64, 48, 32, 24, 16, 8};
        static constexpr int kKeyChannels[] = {11, 12, 13, 14, 15, 18, 19, 16, 21, 22, 23, 24,
                                               25, 28, 29, 26, 51, 52, 53, 54, 55, 58, 59, 56};
        const size_t target = m_plan.targetBytes;
        if (m_out.size() >= target)
            return;
        const size_t measures = static_cast<size_t>(rng.range(64, 320));
        const size_t perMeasure = (target - m_out.size()) / measures + 1;
        const size_t perLine = perMeasure / static_cast<size_t>(rng.range(8, 14));
        int resolution = kResolutions[std::size(kResolutions) - 1];
        for (const int r : kResolutions) {
            if (static_cast<size_t>(9 + 2 * r) <= perLine) {
                resolution = r;
                break;
            }
        }
        for (int measure = 0; m_out.size() < target; measure = (measure + 1) % 1000) {
            const size_t measureEnd = m_out.size() + perMeasure;
            if (m_plan.images > 0 && rng.chance(200))
                dataLine(rng, measure, 4, 4, static_cast<uint32_t>(m_plan.images), 100);
            const int background = rng.range(1, 4);
            for (int i = 0; m_out.size() < measureEnd && m_out.size() < target; ++i) {
                if (i < background) {
                    dataLine(rng, measure, 1, resolution / (rng.chance(500) ? 2 : 1),
                             static_cast<uint32_t>(m_plan.sounds), 40);
                } else {
                    const int channel = kKeyChannels[static_cast<size_t>(i - background) % std::size(kKeyChannels)];
                    dataLine(rng, measure, channel, resolution, static_cast<uint32_t>(m_plan.sounds), 60);
                }
            }
        }
    }

    // One data line of `pairs` objects; each is an id with probability
    // density/256, else "00".
    void dataLine(Rng& rng, int measure, int channel, int pairs, uint32_t ids, uint32_t density)
    {
        char head[8];
        std::snprintf(head, sizeof head, "#%03d%02d:", measure, channel);
        m_out += head;
        uint64_t bits = 0;
        for (int p = 0; p < pairs; ++p) {
            if (p % 8 == 0)
                bits = rng.next();
            const uint32_t byte = static_cast<uint32_t>(bits & 0xFF);
            bits >>= 8;
            if (byte < density && ids > 0)
                appendId(m_out, 1 + rng.below(ids));
            else
                m_out += "00";
        }
        m_out += m_eol;
    }

    // After Ctrl-Z, old editors left padding or the rest of a buffer. The
    // junk never holds NUL (grep and rg would call the file binary) nor "#"
    // (no header line can hide behind the end of the file).
    void writeJunk(Rng& rng)
    {
        m_out += '\x1A';
        const size_t count = static_cast<size_t>(rng.range(1, 2048));
        if (rng.chance(500)) {
            m_out.append(count, '\x1A');
            return;
        }
        const size_t start = m_out.size();
        appendRandomBytes(m_out, rng, count);
        for (size_t i = start; i < m_out.size(); ++i) {
            if (m_out[i] == '\0')
                m_out[i] = '\x1A';
            else if (m_out[i] == '#')
                m_out[i] = ' ';
        }
    }

    std::string& m_out;
    const ChartPlan& m_plan;
    const char* m_eol;
    uint64_t m_headerLines = 0;
};

void makeWav(std::string& out, Rng& rng, uint32_t size)
{
    out.clear();
    out += "RIFF";
    appendLe(out, size - 8, 4);
    out += "WAVEfmt ";
    appendLe(out, 16, 4);
    appendLe(out, 1, 2);  // PCM
    appendLe(out, 1, 2);  // mono
    appendLe(out, 44100, 4);
    appendLe(out, 88200, 4);
    appendLe(out, 2, 2);
    appendLe(out, 16, 2);
    out += "data";
    appendLe(out, size - 44, 4);
    appendRandomBytes(out, rng, size - 44);
}

void makeOgg(std::string& out, Rng& rng, uint32_t size)
{
    out.assign("OggS\0\2", 6);
    appendRandomBytes(out, rng, size - 6);
}

void makeBmp(std::string& out, Rng& rng)
{
    const uint32_t width = static_cast<uint32_t>(rng.range(8, 48));
    const uint32_t height = static_cast<uint32_t>(rng.range(8, 36));
    const uint32_t row = (width * 3 + 3) / 4 * 4;
    out.clear();
    out += "BM";
    appendLe(out, 54 + row * height, 4);
    appendLe(out, 0, 4);
    appendLe(out, 54, 4);
    appendLe(out, 40, 4);
    appendLe(out, width, 4);
    appendLe(out, height, 4);
    appendLe(out, 1, 2);
    appendLe(out, 24, 2);
    appendLe(out, 0, 4);
    appendLe(out, row * height, 4);
    appendLe(out, 2835, 4);
    appendLe(out, 2835, 4);
    appendLe(out, 0, 4);
    appendLe(out, 0, 4);
    appendRandomBytes(out, rng, row * height);
}

void makePng(std::string& out, Rng& rng)
{
    out.assign("\x89PNG\r\n\x1A\n", 8);
    appendRandomBytes(out, rng, static_cast<size_t>(rng.range(500, 8000)));
}

struct Options {
    uint64_t seed = 1;
    uint64_t charts = 20000;
    bool small = false;  // charts of 1-8 KB, no key sounds or images
    std::string outDir;
};

class LibraryWriter {
public:
    explicit LibraryWriter(const Options& options) : m_options(options) {}

    Totals run()
    {
        Rng plan(m_options.seed);
        std::vector<int> packageCharts;
        for (uint64_t left = m_options.charts; left > 0;) {
            const uint32_t u = plan.below(1000);
            int count = 1;
            while (u >= kChartsPerPackageCdf[count - 1])
                ++count;
            count = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(count), left));
            packageCharts.push_back(count);
            left -= static_cast<uint64_t>(count);
        }
        makeCategories(plan, packageCharts.size());

        std::vector<uint32_t> cumulative;
        uint32_t sum = 0;
        for (const Parent& parent : m_parents)
            cumulative.push_back(sum += parent.weight);

        std::string buffer;
        for (size_t i = 0; i < packageCharts.size(); ++i) {
            const uint32_t u = plan.below(sum);
            size_t parent = 0;
            while (u >= cumulative[parent])
                ++parent;
            // Each package has a generator of its own, so that its content
            // does not depend on how much randomness the ones before it used.
            Rng rng(m_options.seed * 0x100000001B3ull + 0x9E3779B97F4A7C15ull * (i + 1));
            writePackage(rng, m_parents[parent].path, packageCharts[i], i, buffer);
        }
        return m_totals;
    }

private:
    struct Parent {
        std::string path;  // folder packages go into
        uint32_t weight;
    };

    // folder/stem+extension, with " (2)", " (3)" ... before the extension
    // when that path was handed out already.
    std::string uniqueName(const std::string& folder, const std::string& stem, const std::string& extension = {})
    {
        std::string path = folder + "/" + stem + extension;
        for (int n = 2; !m_taken.insert(path).second; ++n)
            path = folder + "/" + stem + " (" + std::to_string(n) + ")" + extension;
        return path;
    }

    void makeCategories(Rng& rng, size_t packages)
    {
        makeFolder(m_options.outDir, m_totals);
        --m_totals.folders;  // the root is not counted
        size_t categories = std::clamp<size_t>(m_options.charts / 400, 20, 60);
        categories = std::max<size_t>(1, std::min(categories, packages));
        for (size_t c = 0; c < categories; ++c) {
            std::string name;
            const uint32_t roll = rng.below(100);
            if (roll < 45)
                name = rng.pick(kJapaneseFolders).bytes;
            else if (roll < 85)
                name = rng.pick(kAsciiFolders);
            else
                name = rng.chance(600) ? rng.pick(kJapaneseFolders).utf8 : rng.pick(kUtf8Folders);
            if (rng.chance(300)) {
                char prefix[24];  // room for any size_t, as the compiler checks
                std::snprintf(prefix, sizeof prefix, "%02zu_", c + 1);
                name = prefix + name;
            }
            const std::string path = uniqueName(m_options.outDir, name);
            makeFolder(path, m_totals);
            // Some categories are few and large, most are small.
            const uint32_t weight = 1 + rng.below(10) * rng.below(10);
            if (rng.chance(150)) {
                // A category split into volumes or events.
                const int parts = rng.range(2, 5);
                for (int p = 1; p <= parts; ++p) {
                    std::string part;
                    if (rng.chance(500))
                        part = "vol." + std::to_string(p);
                    else
                        part = std::to_string(2008 + p);
                    const std::string sub = uniqueName(path, part);
                    makeFolder(sub, m_totals);
                    m_parents.push_back({sub, std::max<uint32_t>(1, weight / static_cast<uint32_t>(parts))});
                }
                // A few loose packages stay beside the volumes.
                m_parents.push_back({path, 1});
            } else {
                m_parents.push_back({path, weight});
            }
        }
    }

    std::string packageFolderName(Rng& rng, const Song& song, size_t index)
    {
        char number[32];
        std::snprintf(number, sizeof number, "%05zu", index + 1);
        const uint32_t roll = rng.below(100);
        switch (song.encoding) {
        case Encoding::ShiftJis:
            if (roll < 30)
                return "[" + song.artist + "] " + song.title;
            if (roll < 45)
                return song.title;
            if (roll < 80)
                return std::string(rng.chance(500) ? "bms" : "song_") + number;
            return song.utf8Title;
        case Encoding::Utf8:
            return roll < 70 ? song.title : std::string("utf8_") + number;
        case Encoding::Korean:
            return roll < 35 ? song.title : std::string("kbms_") + number;
        case Encoding::Ascii:
            return roll < 50 ? asciiSlug(song.title) : "[" + song.artist + "] " + song.title;
        }
        return number;
    }

    // The same names seen from a subfolder of the package.
    static std::vector<std::string> upOne(const std::vector<std::string>& names)
    {
        std::vector<std::string> result;
        result.reserve(names.size());
        for (const std::string& name : names)
            result.push_back("../" + name);
        return result;
    }

    void writePackage(Rng& rng, const std::string& parent, int charts, size_t index, std::string& buffer)
    {
        const Song song = makeSong(rng);
        const bool loose = charts == 1 && rng.chance(30);  // a lone chart dropped into the category
        const std::string folder = loose ? parent : uniqueName(parent, packageFolderName(rng, song, index));
        if (!loose)
            makeFolder(folder, m_totals);

        std::vector<std::string> sounds;
        std::vector<std::string> images;
        if (!loose && !m_options.small) {
            const int soundCount = static_cast<int>(sample(rng, kSoundsPerPackage));
            const bool ogg = rng.chance(400);
            const size_t prefixes = 1 + rng.below(std::size(kSoundPrefixes));
            for (int s = 0; s < soundCount; ++s) {
                std::string name = kSoundPrefixes[static_cast<size_t>(s) % prefixes];
                name += "_";
                appendId(name, static_cast<uint32_t>(s + 1));
                name += (ogg != (s % 17 == 16)) ? ".ogg" : ".wav";
                const uint32_t size = sample(rng, kSoundBytes);
                if (name.ends_with(".ogg"))
                    makeOgg(buffer, rng, size);
                else
                    makeWav(buffer, rng, size);
                writeFile(folder + "/" + name, buffer, m_totals);
                sounds.push_back(std::move(name));
            }
            std::string imageFolder = folder;
            std::string imagePrefix;
            if (rng.chance(100)) {
                imageFolder = folder + "/bga";
                imagePrefix = "bga/";
                makeFolder(imageFolder, m_totals);
            }
            const int imageCount = rng.range(1, 6);
            for (int m = 0; m < imageCount; ++m) {
                std::string name;
                if (m == 0)
                    name = rng.chance(500) ? "stage.bmp" : "title.png";
                else if (m == 1)
                    name = "banner.png";
                else
                    name = "bga_" + std::to_string(m - 1) + (rng.chance(700) ? ".bmp" : ".png");
                if (name.ends_with(".bmp"))
                    makeBmp(buffer, rng);
                else
                    makePng(buffer, rng);
                writeFile(imageFolder + "/" + name, buffer, m_totals);
                images.push_back(imagePrefix + name);
            }
            if (rng.chance(400)) {
                buffer =
                    song.title + "\r\n" + song.artist + "\r\n\r\nBGA: " + std::to_string(imageCount) + " files\r\n";
                writeFile(folder + "/readme.txt", buffer, m_totals);
            }
        }

        const uint32_t packageKb = sample(rng, m_options.small ? std::span<const Quantile>(kSmallChartKb)
                                                               : std::span<const Quantile>(kChartKb));
        const bool titleNames = song.encoding != Encoding::Ascii && rng.chance(300);
        const std::string stem = loose ? asciiSlug(song.utf8Title.empty() ? "chart" : song.utf8Title)
                                       : std::string(rng.chance(500) ? "" : "song");
        // Some packages keep contributed charts (sabun) in a folder of their own.
        int inSubfolder = 0;
        std::string subfolder;
        if (!loose && charts >= 3 && rng.chance(60)) {
            inSubfolder = rng.range(1, 2);
            subfolder = uniqueName(folder, rng.chance(500) ? kSabunCp932 : "sabun");
            makeFolder(subfolder, m_totals);
        }
        for (int c = 0; c < charts; ++c) {
            const bool sabun = c >= charts - inSubfolder;
            const std::string name = sabun        ? "sabun_" + std::to_string(c) + kChartSuffixes[c]
                                     : titleNames ? song.title + " [" + kDifficultyLabels[c] + "]"
                                                  : stem + kChartSuffixes[c];
            const uint32_t roll = rng.below(1000);
            const std::string extension = roll < 40 ? ".BMS" : roll < 45 ? ".Bms" : ".bms";
            const ChartPlan plan = makeChartPlan(rng, song, c, packageKb, static_cast<int>(sounds.size()),
                                                 static_cast<int>(images.size()), m_options.small);
            buffer.clear();
            const uint64_t headerLines = sabun ? ChartWriter(buffer, plan).write(rng, upOne(sounds), upOne(images))
                                               : ChartWriter(buffer, plan).write(rng, sounds, images);
            const std::string path = uniqueName(sabun ? subfolder : folder, name, extension);
            writeFile(path, buffer, m_totals);
            ++m_totals.charts;
            m_totals.chartBytes += buffer.size();
            m_totals.headerLines += headerLines;
        }

        // Charts of other formats beside them; a "*.bms" scan must not read these.
        if (!loose && !m_options.small) {
            const uint32_t roll = rng.below(1000);
            const char* ext = roll < 150   ? ".bme"
                              : roll < 200 ? ".bml"
                              : roll < 240 ? ".pms"
                              : roll < 250 ? ".bms.bak"
                                           : nullptr;
            if (ext != nullptr) {
                const int extra = rng.range(1, 2);
                for (int e = 0; e < extra; ++e) {
                    const ChartPlan plan = makeChartPlan(rng, song, 3 + e, packageKb, static_cast<int>(sounds.size()),
                                                         static_cast<int>(images.size()), m_options.small);
                    buffer.clear();
                    ChartWriter(buffer, plan).write(rng, sounds, images);
                    writeFile(folder + "/" + stem + kOtherChartSuffixes[e] + ext, buffer, m_totals);
                }
            }
        }
    }

    const Options& m_options;
    Totals m_totals;
    std::vector<Parent> m_parents;
    std::unordered_set<std::string> m_taken;  // folder and chart paths handed out so far
};

bool parseNumber(const char* text, uint64_t& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || *text == '-')
        return false;
    value = parsed;
    return true;
}

[[noreturn]] void usage(int code)
{
    std::fprintf(code == 0 ? stdout : stderr,
                 "usage: tamboro-gen-library [--seed N] [--charts N] [--small] OUTDIR\n"
                 "       tamboro-gen-library --version\n"
                 "Writes a synthetic BMS library of exactly N charts (default 20000, seed 1)\n"
                 "into OUTDIR, which must not exist or be empty. --small: charts of 1-8 KB\n"
                 "and no key sounds or images.\n");
    std::exit(code);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            usage(0);
        } else if (arg == "--version") {
            std::printf("tamboro-gen-library %d\n", kFormatVersion);
            return 0;
        } else if (arg == "--small") {
            options.small = true;
        } else if (arg == "--seed" || arg == "--charts") {
            uint64_t value = 0;
            if (i + 1 >= argc || !parseNumber(argv[i + 1], value))
                usage(2);
            (arg == "--seed" ? options.seed : options.charts) = value;
            ++i;
        } else if (!arg.empty() && arg[0] == '-') {
            usage(2);
        } else if (options.outDir.empty()) {
            options.outDir = std::string(arg);
        } else {
            usage(2);
        }
    }
    if (options.outDir.empty() || options.charts == 0 || options.charts > 10000000)
        usage(2);
    while (options.outDir.size() > 1 && options.outDir.back() == '/')
        options.outDir.pop_back();

    std::error_code error;
    if (std::filesystem::exists(options.outDir, error)) {
        if (!std::filesystem::is_directory(options.outDir, error) || !std::filesystem::is_empty(options.outDir, error))
            fail(options.outDir + " exists and is not an empty folder");
        std::filesystem::remove(options.outDir, error);
    } else {
        const std::filesystem::path parent = std::filesystem::path(options.outDir).parent_path();
        if (!parent.empty())
            std::filesystem::create_directories(parent, error);
    }

    const auto start = std::chrono::steady_clock::now();
    LibraryWriter writer(options);
    const Totals totals = writer.run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("generator: %d\n", kFormatVersion);
    std::printf("seed: %llu\n", static_cast<unsigned long long>(options.seed));
    std::printf("charts: %llu\n", static_cast<unsigned long long>(totals.charts));
    std::printf("chart bytes: %llu\n", static_cast<unsigned long long>(totals.chartBytes));
    std::printf("header lines: %llu\n", static_cast<unsigned long long>(totals.headerLines));
    std::printf("folders: %llu\n", static_cast<unsigned long long>(totals.folders));
    std::printf("files: %llu\n", static_cast<unsigned long long>(totals.files));
    std::printf("bytes: %llu\n", static_cast<unsigned long long>(totals.bytes));
    std::fprintf(stderr, "tamboro-gen-library: wrote %s in %.1f s\n", options.outDir.c_str(), seconds);
    return 0;
}
