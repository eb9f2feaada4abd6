#pragma once
// The benchmark programs' results in Google Benchmark's JSON shape, which
// scripts/bench pairs and prints as ratios.
#include <string>
#include <vector>

struct BenchRow {
    std::string name;
    double ms = 0;
    int iterations = 1;
    // Extra fields, each written as `, "key": value`.
    std::string counters;
};

// Writes the rows (wall time in milliseconds); false when the file could not
// be written whole.
bool WriteBenchJson(const wchar_t* path, const char* executable, const char* note, const std::vector<BenchRow>& rows);
