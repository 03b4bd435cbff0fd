// Replays files through a fuzz target without libFuzzer: each argument is a
// file or a folder of files (a missing folder is fine: no regressions yet).
// A fixed fault stays fixed because its input is replayed on every check.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_support.h"

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> found;
        if (fs::is_regular_file(argv[i])) found.push_back(argv[i]);
        if (fs::is_directory(argv[i]))
            for (auto const& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    for (auto const& p : inputs) {
        fprintf(stderr, "replay %s\n", p.c_str());
        std::ifstream in(p, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
