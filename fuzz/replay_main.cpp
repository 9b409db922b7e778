// Runs a fuzz target without libFuzzer: each file named on the command line
// once, or else a deterministic series of mutations of the target's seeds.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "FuzzTarget.h"

namespace {

void Run(const std::string& input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

std::string Mutate(std::string s, std::mt19937& rng)
{
    std::uniform_int_distribution<int> kind(0, 6);
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
        const std::size_t pos = s.empty() ? 0 : rng() % s.size();
        switch (kind(rng)) {
        case 0: // flip a bit
            if (!s.empty())
                s[pos] = static_cast<char>(s[pos] ^ (1 << (rng() % 8)));
            break;
        case 1: // a random byte
            if (!s.empty())
                s[pos] = static_cast<char>(rng());
            break;
        case 2: // cut the end off
            s.resize(pos);
            break;
        case 3: // insert bytes
            s.insert(pos, std::string(1 + rng() % 16, static_cast<char>(rng())));
            break;
        case 4: // erase bytes
            s.erase(pos, 1 + rng() % 16);
            break;
        case 5: // an extreme value: 0xFF runs make huge lengths and NaNs
            s.replace(pos, std::min<std::size_t>(8, s.size() - pos), std::string(8, '\xFF'));
            break;
        default: // duplicate a piece
            if (!s.empty())
                s.insert(rng() % s.size(), s.substr(pos, 1 + rng() % 64));
            break;
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    // --seeds DIR writes the seeds as files, a starting corpus for libFuzzer.
    if (argc == 3 && std::string(argv[1]) == "--seeds") {
        int n = 0;
        for (const auto& seed : FuzzSeeds()) {
            std::ofstream out(std::string(argv[2]) + "/seed" + std::to_string(n++), std::ios::binary);
            out << seed;
        }
        return 0;
    }
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            Run(bytes.str());
        }
        return 0;
    }
    const std::vector<std::string> seeds = FuzzSeeds();
    std::mt19937 rng(20261209);
    int runs = 0;
    Run("");
    for (const auto& seed : seeds) {
        Run(seed);
        ++runs;
    }
    const char* runsAsked = std::getenv("VELMORA_FUZZ_RUNS");
    const int iterations = runsAsked != nullptr ? std::atoi(runsAsked) : 3000;
    for (int i = 0; i < iterations; ++i) {
        std::string input = seeds[static_cast<std::size_t>(i) % seeds.size()];
        input = Mutate(std::move(input), rng);
        Run(input);
        ++runs;
    }
    std::printf("%d passed, 0 failed\n", runs);
    return 0;
}
