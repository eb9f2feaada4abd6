// Unpacking a 64 MB archive of many entries: the zip reader against
// "unzip -o -q" of the same archive (goal: not slower).
#include "core/base/ZipArchive.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& Work()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "corvisk_zip_bench";
        fs::remove_all(d);
        fs::create_directories(d / "src");
        // 512 entries of 128 KiB, half random and half text, in 16 folders.
        std::mt19937 rng(7);
        std::string text;
        for (int i = 0; text.size() < (64u << 10); ++i)
            text += "language package line " + std::to_string(i) + "\r\n";
        for (int i = 0; i < 512; ++i) {
            fs::path folder = d / "src" / ("f" + std::to_string(i % 16));
            fs::create_directories(folder);
            std::string bytes(64u << 10, '\0');
            for (char& c : bytes)
                c = static_cast<char>(rng());
            bytes += text.substr(0, 64u << 10);
            std::ofstream(folder / ("e" + std::to_string(i) + ".bin"), std::ios::binary) << bytes;
        }
        std::string cmd = "cd '" + (d / "src").string() + "' && zip -q -r ../bench.zip .";
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        return d;
    }();
    return dir;
}

void BM_ZipArchiveExtract(benchmark::State& state)
{
    const fs::path zip = Work() / "bench.zip";
    const fs::path out = Work() / "out_reader";
    for (auto _ : state) {
        if (!ExtractArchive(zip.string(), out.string()))
            state.SkipWithError("extract failed");
    }
    state.SetBytesProcessed(state.iterations() * (64ll << 20));
}
BENCHMARK(BM_ZipArchiveExtract)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UnzipCommand(benchmark::State& state)
{
    const fs::path zip = Work() / "bench.zip";
    const std::string cmd = "unzip -o -q '" + zip.string() + "' -d '" + (Work() / "out_unzip").string() + "'";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("unzip failed");
    }
    state.SetBytesProcessed(state.iterations() * (64ll << 20));
}
BENCHMARK(BM_UnzipCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
