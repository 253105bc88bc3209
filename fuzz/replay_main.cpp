// Runs a fuzz target without libFuzzer: every saved input (every file named on the command line,
// and every regular file inside every folder named there), then, with --mutations=N, N inputs
// made from them by small random changes. The changes come from a fixed seed (--seed, default
// 1), so a run makes the same inputs in the same order every time: a property that went stale
// fails the same way on every machine. A crash or a broken check aborts with the input printed.
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#if defined(__has_include)
#if __has_include(<sanitizer/common_interface_defs.h>) && \
    (defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__))
#include <sanitizer/common_interface_defs.h>
#define VENDRA_SANITIZER_CALLBACK 1
#endif
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

// The generated input being run, printed when the run dies on it.
std::vector<uint8_t> current;
bool generating = false;

void WriteAll(const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = write(STDERR_FILENO, text, size);
        if (n <= 0) return;
        text += n;
        size -= static_cast<size_t>(n);
    }
}

// Prints the generated input in hex with only calls that are safe in a dying process.
void PrintCurrent() {
    if (!generating) return;
    static const char kHead[] = "\nthe generated input, in hex:\n";
    WriteAll(kHead, sizeof kHead - 1);
    static const char kDigits[] = "0123456789abcdef";
    char pair[2];
    for (uint8_t b : current) {
        pair[0] = kDigits[b >> 4];
        pair[1] = kDigits[b & 15];
        WriteAll(pair, 2);
    }
    WriteAll("\n", 1);
}

void OnAbort(int signal) {
    PrintCurrent();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool ReadFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// One small change to `bytes`, drawn from `random`; `other` is a second saved input to splice
// from. Line ends, the reply terminator, digits and the Telnet escape are what our parsers turn
// on, so they come more often than other bytes.
void Mutate(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& other, std::mt19937& random,
            size_t maxSize) {
    static const uint8_t kMarks[] = {'\r', '\n', '.', ',', ';', '=', '[',  ']', ' ',
                                     '-',  '0',  '1', '9', 0,   255, 0x7f, 0x80};
    auto pick = [&](size_t n) { return n == 0 ? 0 : static_cast<size_t>(random() % n); };
    const size_t at = pick(bytes.size() + 1);
    switch (random() % 7) {
        case 0:  // flip a bit
            if (at < bytes.size()) bytes[at] ^= static_cast<uint8_t>(1u << pick(8));
            break;
        case 1:  // a marked byte in place of another
            if (at < bytes.size()) bytes[at] = kMarks[pick(sizeof kMarks)];
            break;
        case 2:  // a marked or any byte inserted
            bytes.insert(
                bytes.begin() + static_cast<std::ptrdiff_t>(at),
                random() % 2 ? kMarks[pick(sizeof kMarks)] : static_cast<uint8_t>(random()));
            break;
        case 3: {  // a few bytes taken out
            const size_t n = std::min(bytes.size() - std::min(at, bytes.size()), 1 + pick(4));
            bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 4: {  // a piece repeated
            const size_t n = std::min(bytes.size() - std::min(at, bytes.size()), 1 + pick(16));
            const std::vector<uint8_t> piece(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(),
                         piece.end());
            break;
        }
        case 5: {  // a piece of another saved input
            const size_t from = pick(other.size());
            const size_t n = std::min(other.size() - from, 1 + pick(64));
            bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         other.begin() + static_cast<std::ptrdiff_t>(from),
                         other.begin() + static_cast<std::ptrdiff_t>(from + n));
            break;
        }
        default:  // cut short
            bytes.resize(at);
            break;
    }
    if (bytes.size() > maxSize) bytes.resize(maxSize);
}

bool NumberOption(const char* arg, const char* name, unsigned long& value) {
    const size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0) return false;
    char* end = nullptr;
    value = std::strtoul(arg + length, &end, 10);
    if (end == arg + length || *end != '\0') {
        std::fprintf(stderr, "not a number: %s\n", arg);
        std::exit(2);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long mutations = 0;
    unsigned long seed = 1;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (NumberOption(argv[i], "--mutations=", mutations) ||
            NumberOption(argv[i], "--seed=", seed))
            continue;
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
        std::fprintf(stderr,
                     "usage: %s [--mutations=N] [--seed=S] <file or folder>...\nno inputs found\n",
                     argv[0]);
        return 2;
    }

    std::vector<std::vector<uint8_t>> saved;
    size_t largest = 0;
    for (const fs::path& path : inputs) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(path, bytes)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "%s\n", path.c_str());
        // Run from a buffer of exactly its size, so that ASan sees any read past the end.
        LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
        largest = std::max(largest, bytes.size());
        saved.push_back(std::move(bytes));
    }
    std::printf("ran %zu saved inputs\n", saved.size());
    if (mutations == 0) return 0;

    std::signal(SIGABRT, OnAbort);
#ifdef VENDRA_SANITIZER_CALLBACK
    __sanitizer_set_death_callback(PrintCurrent);
#endif
    std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
    const size_t maxSize = std::max<size_t>(largest, 4096);
    generating = true;
    for (unsigned long n = 1; n <= mutations; ++n) {
        current = saved[random() % saved.size()];
        const std::vector<uint8_t>& other = saved[random() % saved.size()];
        for (unsigned changes = 1 + random() % 4; changes > 0; --changes)
            Mutate(current, other, random, maxSize);
        // Copied into a buffer of exactly its size, as above.
        const std::vector<uint8_t> exact(current);
        LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    }
    generating = false;
    std::printf("ran %lu generated inputs from seed %lu\n", mutations, seed);
    return 0;
}
