// tamboro: the window that searches a folder tree for BMS charts. Apart from
// --help and --version it takes no command line; other arguments are
// ignored.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dialog/DisplayOpening.h"
#include "dialog/TamboroApp.h"

namespace {

constexpr const char* kUsage = "Usage: tamboro [--help | --version]\n"
                               "Opens the Tamboro window: name the root folder of a BMS chart library\n"
                               "(type it or drop a folder onto the window) and press 検索(S) (Search) to\n"
                               "list the folder, genre, title and artist of every chart below it.\n"
                               "  --help     print this help and exit\n"
                               "  --version  print the version and exit\n";

// Answers --help or --version, whichever comes first; false when neither
// is given.
bool AnsweredInformationOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tamboro %s\n", TAMBORO_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (AnsweredInformationOption(argc, argv)) {
        if (std::fflush(stdout) == 0 && !std::ferror(stdout))
            return 0;
        std::fprintf(stderr, "tamboro: cannot write the answer: %s\n", std::strerror(errno));
        return 1;
    }
    if (!tamboro::DisplayNamed()) {
        std::fputs(tamboro::NoDisplayMessage().c_str(), stderr);
        return 1;
    }
    // A display named but not reachable ends here too, with the same line.
    tamboro::DisplayOpening opening;
    tamboro::CTamboroApp app(argc, argv);
    opening.Done();
    return app.InitInstance();
}
