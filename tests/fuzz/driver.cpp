// Deterministic stand-in for libFuzzer with its command line: every file named
// (or found in a folder named) is run once, then -runs=N inputs (default 1000)
// made from them and from the target's own seeds by a generator seeded with
// -seed=N (default 1): a quarter random bytes, the rest a seed with a few
// edits. Other "-flag=value" options are accepted and ignored. The older form
// "fuzz_X [count] [seed]" still works.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
std::vector<std::string> FuzzSeeds();

namespace {

bool ReadWhole(const std::filesystem::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool IsNumber(const char* text) {
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

void Run(const std::string& input) {
    // A copy of exactly the input's size, so that a read past its end is caught.
    std::vector<uint8_t> copy(input.begin(), input.end());
    LLVMFuzzerTestOneInput(copy.data(), copy.size());
}

// Bytes that mean something to one reader or another: markup, line ends,
// "Key=value", JSON, HTTP headers, zero bytes.
constexpr char kSpecial[] = "<>='\",#/ \r\n\t:{}[]-0123456789\\%";

}  // namespace

int main(int argc, char** argv) {
    long count = 1000;
    unsigned seed = 1;
    int numbers = 0;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strncmp(arg, "-runs=", 6) == 0) {
            count = std::strtol(arg + 6, nullptr, 10);
        } else if (std::strncmp(arg, "-seed=", 6) == 0) {
            seed = static_cast<unsigned>(std::strtoul(arg + 6, nullptr, 10));
        } else if (arg[0] == '-') {
            continue;  // a libFuzzer option this driver has no use for
        } else if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> found;
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file()) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else if (std::filesystem::exists(arg)) {
            files.emplace_back(arg);
        } else if (IsNumber(arg) && numbers < 2) {
            if (numbers++ == 0) count = std::strtol(arg, nullptr, 10);
            else seed = static_cast<unsigned>(std::strtoul(arg, nullptr, 10));
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", arg);
            return 2;
        }
    }

    std::vector<std::string> seeds = FuzzSeeds();
    for (const auto& path : files) {
        std::string input;
        if (!ReadWhole(path, input)) {
            std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
            return 2;
        }
        Run(input);
        seeds.push_back(std::move(input));
    }
    std::printf("%zu files ran\n", files.size());

    std::mt19937 rng(seed);
    for (long i = 0; i < count; ++i) {
        std::string input;
        if (!seeds.empty() && i % 4 != 0) {
            input = seeds[rng() % seeds.size()];
            const int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits && !input.empty(); ++e) {
                size_t at = rng() % input.size();
                switch (rng() % 6) {
                    case 0: input[at] = static_cast<char>(rng()); break;
                    case 1: input.erase(at, 1 + rng() % 8); break;
                    case 2: input.insert(at, input.substr(rng() % input.size(), rng() % 16)); break;
                    case 3: input.resize(at); break;
                    case 4: input.insert(at, 1, '\0'); break;
                    default: input.insert(at, 1, kSpecial[rng() % (sizeof(kSpecial) - 1)]); break;
                }
            }
        } else {
            input.resize(rng() % 256);
            for (auto& c : input) c = static_cast<char>(rng());
        }
        Run(input);
    }
    std::printf("%ld inputs ran\n", count);
    return 0;
}
