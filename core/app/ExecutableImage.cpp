#include "core/app/ExecutableImage.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr size_t kHeadBytes = 64 * 1024;  // the PE header of a real program lies well inside
constexpr size_t kFileHeaderBytes = 20;

} // namespace

bool IsWindowsExecutable(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        return false;
    std::vector<unsigned char> head(kHeadBytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    const size_t got = static_cast<size_t>(in.gcount());
    if (got < 0x40 || head[0] != 'M' || head[1] != 'Z')
        return false;
    const uint32_t pe = static_cast<uint32_t>(head[0x3C]) | static_cast<uint32_t>(head[0x3D]) << 8 |
                        static_cast<uint32_t>(head[0x3E]) << 16 | static_cast<uint32_t>(head[0x3F]) << 24;
    if (pe > got || got - pe < 4 + kFileHeaderBytes)
        return false;
    return head[pe] == 'P' && head[pe + 1] == 'E' && head[pe + 2] == 0 && head[pe + 3] == 0;
}
