#pragma once
// A count from a benchmark program's command line.

// The whole text as a decimal number from 1 to `most`; false, and `out`
// untouched, otherwise.
bool ReadBenchCount(const wchar_t* text, long most, int& out);
