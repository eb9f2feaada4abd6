// Log files are read back as arbitrary bytes: every line, whatever it holds,
// is cut into fields within their limits, and a row is never made of a line
// with fewer than two TABs.
#include "core/base/LogLine.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    LogTableReader reader(LOGVIEW_ALL, L"");
    // Fed in two pieces so a line can cross a piece.
    reader.Feed(text, size / 2);
    reader.Feed(text + size / 2, size - size / 2);
    reader.Finish();
    for (size_t i = 0; i < reader.RowCount(); ++i) {
        const LogRow row = reader.Row(i);
        if (reader.Text(i, LogTableReader::INFO) != row.info || reader.Level(i) != row.level)
            std::abort();
        if (row.time.size() > kLogTimeChars || row.tag.size() > kLogTagChars || row.role.size() > kLogRoleChars ||
            row.user.size() > kLogUserChars || row.info.size() > kLogInfoChars)
            std::abort();
        if (row.level < 1 || row.level > 8)
            std::abort();
        if (FormatLogDetails(row.info).size() > kLogDetailsChars + 2)
            std::abort();
    }
    return 0;
}
