#include "tools/BenchJson_win.h"

#include <cstdio>

bool WriteBenchJson(const wchar_t* path, const char* executable, const char* note, const std::vector<BenchRow>& rows)
{
    FILE* f = _wfopen(path, L"w");
    if (!f)
        return false;
    std::fprintf(f, "{\n  \"context\": {\"executable\": \"%s\", \"note\": \"%s\"},\n  \"benchmarks\": [\n", executable,
                 note);
    for (size_t i = 0; i < rows.size(); ++i)
        std::fprintf(f,
                     "    {\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"iteration\", \"iterations\": %d, "
                     "\"real_time\": %.6f, \"cpu_time\": %.6f, \"time_unit\": \"ms\"%s}%s\n",
                     rows[i].name.c_str(), rows[i].name.c_str(), rows[i].iterations, rows[i].ms, rows[i].ms,
                     rows[i].counters.c_str(), i + 1 < rows.size() ? "," : "");
    std::fprintf(f, "  ]\n}\n");
    return std::fclose(f) == 0;
}
