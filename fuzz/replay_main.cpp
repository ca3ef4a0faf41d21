// Replays fuzz inputs without libFuzzer: every file named on the command
// line, and every file inside a folder named there, goes once through the
// target's LLVMFuzzerTestOneInput. A target reports a fault by aborting, so
// a clean exit means every input passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool ReadFile(const std::filesystem::path& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
            }
            if (error) {
                std::fprintf(stderr, "cannot list %s: %s\n", argv[i], error.message().c_str());
                return 1;
            }
        } else {
            inputs.push_back(arg);
        }
    }
    // The same order on every machine, so that a failure is easy to repeat.
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::string bytes;
    std::size_t totalBytes = 0;
    for (const auto& path : inputs) {
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        // Printed before the run, so that the input of a crash is the last name shown.
        std::fprintf(stderr, "%s\n", path.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        totalBytes += bytes.size();
    }
    std::printf("replayed %zu inputs, %zu bytes\n", inputs.size(), totalBytes);
    return 0;
}
