// Runs a fuzz target's entry point once for every file in the directories
// (or files) given, in name order: the committed corpus becomes a plain
// regression test in the GCC builds, with or without the sanitizers.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            for (const auto &e : fs::directory_iterator(p))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
        } else if (fs::is_regular_file(p, ec)) {
            inputs.push_back(p);
        } else {
            std::fprintf(stderr, "replay: no such corpus: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: the corpus is empty\n");
        return 2;
    }
    for (const auto &p : inputs) {
        std::ifstream in(p, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        // An exact heap copy: a read one past the input is caught.
        std::vector<uint8_t> data(bytes.begin(), bytes.end());
        data.shrink_to_fit();
        LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
