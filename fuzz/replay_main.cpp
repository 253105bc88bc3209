// Runs a fuzz target over saved inputs without libFuzzer: every file named on the command line,
// and every regular file inside every folder named there. A crash or a broken check aborts with
// the name of the input printed just before it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool ReadFile(const fs::path& path, std::vector<char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <file or folder>...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> found;
            for (const auto& entry : fs::directory_iterator(arg, ec))
                if (entry.is_regular_file()) found.push_back(entry.path());
            if (ec) {
                std::fprintf(stderr, "cannot list %s: %s\n", argv[i], ec.message().c_str());
                return 2;
            }
            // A fixed order makes a failure reproducible run after run.
            std::sort(found.begin(), found.end());
            inputs.insert(inputs.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(arg, ec)) {
            inputs.push_back(arg);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    // An empty corpus would pass without testing anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 2;
    }

    std::vector<char> bytes;
    for (const fs::path& path : inputs) {
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "%s\n", path.c_str());
        // Copied into a buffer of exactly its size, so that ASan sees any read past the end.
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    }
    std::printf("ran %zu inputs\n", inputs.size());
    return 0;
}
