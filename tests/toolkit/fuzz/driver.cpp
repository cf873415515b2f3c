// Deterministic stand-in for libFuzzer: feeds the target random inputs, some
// of them mutated from a small corpus of valid ones.  Usage: fuzz_X [count] [seed]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
std::vector<std::string> FuzzSeeds();

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000;
    std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u);
    const auto seeds = FuzzSeeds();
    for (long i = 0; i < count; ++i) {
        std::string input;
        if (!seeds.empty() && i % 4 != 0) {
            input = seeds[rng() % seeds.size()];
            const int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits && !input.empty(); ++e) {
                size_t at = rng() % input.size();
                switch (rng() % 4) {
                    case 0: input[at] = static_cast<char>(rng()); break;
                    case 1: input.erase(at, 1 + rng() % 8); break;
                    case 2: input.insert(at, input.substr(rng() % input.size(), rng() % 16)); break;
                    default: input.insert(at, 1, "<>='\",#/ "[rng() % 9]); break;
                }
            }
        } else {
            input.resize(rng() % 256);
            for (auto& c : input) c = static_cast<char>(rng());
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    std::printf("%ld inputs ran\n", count);
    return 0;
}
