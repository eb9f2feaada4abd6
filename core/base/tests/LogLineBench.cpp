// Benchmark: reading a log of 200,000 lines (as the logger writes them, with
// meeting events among them) and listing one level against a plain read of
// the same file that only counts its lines.
#include "core/base/LogLine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kLines = 200000;
constexpr size_t kPiece = 64 * 1024;

const std::string& LogFile()
{
    static const std::string path = [] {
        std::string name = "/tmp/corvisk_log_bench.txt";
        std::FILE* out = std::fopen(name.c_str(), "wb");
        const char* tags[] = {"INFO", "WARN", "ERROR", "DEBUGINFO", "TRACE"};
        for (int i = 0; i < kLines && out; ++i) {
            if (i % 3 == 0)
                std::fprintf(out, "12- 9-2026 09:%02d\t%s\tParticipant\tuser%d\tmeeting event number %d\r\n", i % 60,
                             tags[i % 5], i % 40, i);
            else
                std::fprintf(out, "12- 9-2026 09:%02d\t%s\tline %d of the start-up and network set-up\r\n", i % 60,
                             tags[i % 5], i);
        }
        if (out)
            std::fclose(out);
        return name;
    }();
    return path;
}

size_t FileSize()
{
    std::error_code error;
    return static_cast<size_t>(std::filesystem::file_size(LogFile(), error));
}

template <typename Feed>
void ReadFile(Feed feed)
{
    std::FILE* in = std::fopen(LogFile().c_str(), "rb");
    if (!in)
        return;
    std::vector<char> piece(kPiece);
    size_t got;
    while ((got = std::fread(piece.data(), 1, kPiece, in)) > 0)
        feed(piece.data(), got);
    std::fclose(in);
}

void BM_PlainRead(benchmark::State& state)
{
    for (auto _ : state) {
        size_t lines = 0;
        ReadFile([&](const char* data, size_t n) {
            for (size_t i = 0; i < n; ++i)
                lines += data[i] == '\n';
        });
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_ReadAndFilterWarnings(benchmark::State& state)
{
    for (auto _ : state) {
        LogTableReader reader(LOGVIEW_WARN, L"");
        reader.Reserve(FileSize());
        ReadFile([&](const char* data, size_t n) { reader.Feed(data, n); });
        reader.Finish();
        benchmark::DoNotOptimize(reader.RowCount());
    }
}
BENCHMARK(BM_ReadAndFilterWarnings)->Unit(benchmark::kMillisecond);

void BM_ReadAll(benchmark::State& state)
{
    for (auto _ : state) {
        LogTableReader reader(LOGVIEW_ALL, L"");
        reader.Reserve(FileSize());
        ReadFile([&](const char* data, size_t n) { reader.Feed(data, n); });
        reader.Finish();
        benchmark::DoNotOptimize(reader.RowCount());
    }
}
BENCHMARK(BM_ReadAll)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
