// Replays files through a fuzz target without libFuzzer: each argument is a
// file or a folder of files (a missing folder is fine: no regressions yet).
// A fixed fault stays fixed because its input is replayed on every check.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

int replay(std::filesystem::path const& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        fs::path arg(argv[i]);
        if (fs::is_regular_file(arg)) {
            files += replay(arg);
            continue;
        }
        if (!fs::is_directory(arg)) continue;
        std::vector<fs::path> inputs;
        for (auto const& entry : fs::directory_iterator(arg))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
        for (auto const& p : inputs) {
            fprintf(stderr, "replay %s\n", p.c_str());
            files += replay(p);
        }
    }
    printf("%d inputs replayed\n", files);
    return files > 0 ? 0 : 1;
}
