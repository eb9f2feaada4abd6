// Runs a fuzz target without libFuzzer: every file of the seed corpus given on
// the command line, then deterministic random inputs and mutations of the
// seeds. Under the sanitizers this catches the same overruns a short libFuzzer
// run would, and it runs in every build tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

void addFile(const std::filesystem::path& p, std::vector<Bytes>& seeds)
{
    std::ifstream in(p, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void run(const Bytes& b)
{
    // Copy into an exact-size heap block so the sanitizers see every overrun.
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(b.size() ? b.size() : 1));
    if (!b.empty())
        std::copy(b.begin(), b.end(), copy);
    LLVMFuzzerTestOneInput(copy, b.size());
    std::free(copy);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file())
                    addFile(e.path(), seeds);
        } else if (std::filesystem::is_regular_file(p, ec)) {
            addFile(p, seeds);
        }
    }
    seeds.push_back({});

    std::mt19937 rng(0xC0FFEE);
    std::uniform_int_distribution<int> byte(0, 255);
    size_t runs = 0;
    for (const auto& s : seeds) {
        run(s);
        ++runs;
    }
    // Random inputs of growing size.
    for (int i = 0; i < 2000; ++i) {
        Bytes b(static_cast<size_t>(rng() % (16 + i)));
        for (auto& c : b)
            c = static_cast<uint8_t>(byte(rng));
        run(b);
        ++runs;
    }
    // Mutations of the seeds: flipped bytes, cuts and insertions.
    for (int i = 0; i < 20000; ++i) {
        Bytes b = seeds[rng() % seeds.size()];
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 4) {
            case 0:
                if (!b.empty())
                    b[rng() % b.size()] = static_cast<uint8_t>(byte(rng));
                break;
            case 1:
                if (!b.empty())
                    b.resize(rng() % b.size());
                break;
            case 2:
                b.insert(b.begin() + static_cast<long>(b.empty() ? 0 : rng() % b.size()),
                         static_cast<uint8_t>(byte(rng)));
                break;
            default:
                if (!b.empty()) {
                    size_t at = rng() % b.size();
                    b.insert(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at),
                             b.begin() + static_cast<long>(std::min(b.size(), at + 1 + rng() % 8)));
                }
                break;
            }
        }
        run(b);
        ++runs;
    }
    std::printf("%zu inputs run, no fault\n", runs);
    return 0;
}
