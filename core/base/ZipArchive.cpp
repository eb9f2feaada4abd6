#include "core/base/ZipArchive.h"

#include "core/base/ZipEntryName.h"

#include <unzip.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::atomic<uint32_t> g_lastResult{kZipOk};
constexpr uLong kExtraBytes = 65535;  // the most a zip extra field can hold

// The archive is read whole into memory (bounded) and the unzip library
// reads it from there: one bounded reader, and the same code on every
// platform whatever the path's characters.
struct MemoryFile {
    const char* data = nullptr;
    uint64_t size = 0;
    uint64_t pos = 0;
};

voidpf MemOpen(voidpf opaque, const void*, int) { return opaque; }

uLong MemRead(voidpf, voidpf stream, void* buf, uLong size)
{
    auto* f = static_cast<MemoryFile*>(stream);
    uint64_t left = f->size - f->pos;
    uLong n = static_cast<uLong>(left < size ? left : size);
    std::memcpy(buf, f->data + f->pos, n);
    f->pos += n;
    return n;
}

uLong MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T MemTell(voidpf, voidpf stream) { return static_cast<MemoryFile*>(stream)->pos; }

// The library seeks back with a negative offset passed as an unsigned one,
// as fseek would take it.
long MemSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto* f = static_cast<MemoryFile*>(stream);
    const int64_t size = static_cast<int64_t>(f->size);
    int64_t base = 0;
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = static_cast<int64_t>(f->pos); break;
    case ZLIB_FILEFUNC_SEEK_END: base = size; break;
    default: return -1;
    }
    const int64_t delta = static_cast<int64_t>(offset);
    if ((delta < 0 && -delta > base) || (delta > 0 && delta > size - base))
        return -1;
    f->pos = static_cast<uint64_t>(base + delta);
    return 0;
}

int MemClose(voidpf, voidpf) { return 0; }
int MemError(voidpf, voidpf) { return 0; }

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The whole file, read once into memory left uninitialised before.
std::unique_ptr<char[]> ReadWhole(const std::string& path, uint64_t& size)
{
    std::error_code error;
    fs::path p = fs::u8path(path);
    size = fs::file_size(p, error);
    if (error || size == 0 || size > ZipArchive::kMaxArchiveBytes)
        return nullptr;
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return nullptr;
    std::unique_ptr<char[]> out(new char[static_cast<size_t>(size)]);
    in.read(out.get(), static_cast<std::streamsize>(size));
    if (static_cast<uint64_t>(in.gcount()) != size)
        return nullptr;
    return out;
}

// `path` lies under `base` (both already made absolute and normal).
bool IsUnder(const fs::path& path, const fs::path& base)
{
    auto b = base.begin(), p = path.begin();
    for (; b != base.end(); ++b, ++p) {
        if (b->empty() && std::next(b) == base.end())
            break;  // the trailing separator of the base
        if (p == path.end() || *p != *b)
            return false;
    }
    return p != path.end();
}

void SetWriteTime(const fs::path& path, int64_t seconds)
{
    using namespace std::chrono;
    auto wanted = system_clock::time_point(duration_cast<system_clock::duration>(std::chrono::seconds(seconds)));
    auto stamp = fs::file_time_type::clock::now() +
                 duration_cast<fs::file_time_type::duration>(wanted - system_clock::now());
    std::error_code ignored;
    fs::last_write_time(path, stamp, ignored);
}

} // namespace

uint32_t ZipEntryAttributes(uint16_t versionMadeBy, uint32_t external)
{
    switch (versionMadeBy >> 8) {
    case 0: case 7: case 11: case 14:
        return external & (kZipAttrReadOnly | kZipAttrHidden | kZipAttrSystem | kZipAttrDirectory |
                           kZipAttrArchive);
    default: {
        uint32_t attributes = kZipAttrArchive;
        if (external & 0x40000000u)
            attributes |= kZipAttrDirectory;
        if (!(external & 0x00800000u))
            attributes |= kZipAttrReadOnly;
        return attributes;
    }
    }
}

int64_t DosTimeToUnix(uint16_t date, uint16_t time)
{
    std::tm tm{};
    tm.tm_year = (date >> 9) + 80;
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = (time & 31) * 2;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

bool ReadUnixTimes(const uint8_t* extra, size_t length, ZipItem& item)
{
    size_t pos = 0;
    while (length - pos >= 4) {
        uint16_t tag = Le16(extra + pos);
        uint16_t size = Le16(extra + pos + 2);
        pos += 4;
        if (size > length - pos)
            return false;  // a block running past the field: nothing more is trusted
        if (tag == 0x5455 && size >= 1) {
            const uint8_t* block = extra + pos;
            uint8_t flags = block[0];
            size_t off = 1;
            int64_t* times[] = {&item.writeTime, &item.accessTime, &item.creationTime};
            for (int bit = 0; bit < 3; ++bit) {
                if (!(flags & (1 << bit)))
                    continue;
                if (size - off < 4)
                    break;
                *times[bit] = static_cast<int32_t>(Le32(block + off));
                off += 4;
            }
            return true;
        }
        pos += size;
    }
    return false;
}

uint64_t UnixToFileTime(int64_t seconds)
{
    return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
}

struct ZipArchive::State {
    std::unique_ptr<char[]> data;
    MemoryFile file;
    unzFile handle = nullptr;
    std::vector<unz64_file_pos> entries;
    int lastRead = -1;
    ZipItem last;
    bool entryOpen = false;
    std::vector<char> buffer;
    std::unique_ptr<uint8_t[]> extra{new uint8_t[kExtraBytes]};

    ~State()
    {
        if (handle) {
            if (entryOpen)
                unzCloseCurrentFile(handle);
            unzClose(handle);
        }
    }
};

ZipArchive::ZipArchive() = default;
ZipArchive::~ZipArchive() = default;

uint32_t ZipArchive::LastResult() { return g_lastResult.load(); }

uint32_t ZipArchive::Result(uint32_t code)
{
    g_lastResult = code;
    return code;
}

uint32_t ZipArchive::Open(const std::string& path)
{
    if (m_state)
        return Result(kZipAlreadyOpen);
    uint64_t size = 0;
    std::unique_ptr<char[]> bytes = ReadWhole(path, size);
    if (!bytes)
        return Result(kZipCannotOpen);
    return OpenMemory(std::move(bytes), size);
}

uint32_t ZipArchive::OpenBytes(std::vector<char> bytes)
{
    if (m_state)
        return Result(kZipAlreadyOpen);
    if (bytes.empty() || bytes.size() > kMaxArchiveBytes)
        return Result(kZipCannotOpen);
    std::unique_ptr<char[]> copy(new char[bytes.size()]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return OpenMemory(std::move(copy), bytes.size());
}

uint32_t ZipArchive::OpenMemory(std::unique_ptr<char[]> bytes, uint64_t size)
{
    auto state = std::make_unique<State>();
    state->data = std::move(bytes);
    state->file.data = state->data.get();
    state->file.size = size;

    zlib_filefunc64_def funcs{};
    funcs.zopen64_file = MemOpen;
    funcs.zread_file = MemRead;
    funcs.zwrite_file = MemWrite;
    funcs.ztell64_file = MemTell;
    funcs.zseek64_file = MemSeek;
    funcs.zclose_file = MemClose;
    funcs.zerror_file = MemError;
    funcs.opaque = &state->file;
    state->handle = unzOpen2_64("archive", &funcs);
    if (!state->handle)
        return Result(kZipCannotOpen);

    // Walk the directory once: the entry count is what is really there, not
    // what the end record claims.
    int rc = unzGoToFirstFile(state->handle);
    while (rc == UNZ_OK) {
        if (state->entries.size() == kMaxEntries)
            return Result(kZipCannotOpen);
        unz64_file_pos pos{};
        if (unzGetFilePos64(state->handle, &pos) != UNZ_OK)
            return Result(kZipCannotOpen);
        state->entries.push_back(pos);
        rc = unzGoToNextFile(state->handle);
    }
    if (rc != UNZ_END_OF_LIST_OF_FILE)
        return Result(kZipCannotOpen);
    m_baseDir = fs::current_path().u8string();
    m_written = 0;
    m_state = std::move(state);
    return Result(kZipOk);
}

uint32_t ZipArchive::SetBaseDir(const std::string& folder)
{
    if (folder.empty())
        return Result(kZipCannotCreate);
    std::error_code error;
    fs::path base = fs::absolute(fs::u8path(folder), error);
    if (error)
        return Result(kZipCannotCreate);
    fs::create_directories(base, error);
    if (error || !fs::is_directory(base, error))
        return Result(kZipCannotCreate);
    m_baseDir = base.lexically_normal().u8string();
    return Result(kZipOk);
}

uint32_t ZipArchive::Close()
{
    if (!m_state)
        return Result(kZipNotOpen);
    m_state.reset();
    return Result(kZipOk);
}

uint32_t ZipArchive::GetItem(int index, ZipItem& item)
{
    if (!m_state)
        return Result(kZipNotOpen);
    const int count = static_cast<int>(m_state->entries.size());
    if (index == -1) {
        item = ZipItem{};
        item.index = count;
        return Result(kZipOk);
    }
    if (index < -1 || index >= count)
        return Result(kZipBadIndex);
    if (index == m_state->lastRead) {
        item = m_state->last;
        return Result(kZipOk);
    }
    return Result(ReadEntry(index, item));
}

uint32_t ZipArchive::ReadEntry(int index, ZipItem& item)
{
    State& s = *m_state;
    if (s.entryOpen) {
        unzCloseCurrentFile(s.handle);
        s.entryOpen = false;
    }
    s.lastRead = -1;
    if (unzGoToFilePos64(s.handle, &s.entries[index]) != UNZ_OK)
        return kZipBadIndex;
    unz_file_info64 info{};
    char name[1024];
    if (unzGetCurrentFileInfo64(s.handle, &info, name, sizeof(name), s.extra.get(), kExtraBytes, nullptr, 0) !=
        UNZ_OK)
        return kZipBadIndex;

    ZipItem out;
    out.index = index;
    // A name the buffer cannot hold whole is not cut into another name.
    if (info.size_filename < sizeof(name))
        out.name = SafeEntryPath(std::string_view(name, info.size_filename), '\\');
    out.attributes = ZipEntryAttributes(static_cast<uint16_t>(info.version), static_cast<uint32_t>(info.external_fa));
    if (info.size_filename > 0 && info.size_filename < sizeof(name) &&
        (name[info.size_filename - 1] == '/' || name[info.size_filename - 1] == '\\'))
        out.attributes |= kZipAttrDirectory;
    int64_t dos = DosTimeToUnix(static_cast<uint16_t>(info.dosDate >> 16), static_cast<uint16_t>(info.dosDate));
    out.creationTime = out.accessTime = out.writeTime = dos;
    ReadUnixTimes(s.extra.get(), info.size_file_extra < kExtraBytes ? info.size_file_extra : kExtraBytes, out);
    out.compressedSize = info.compressed_size;
    out.uncompressedSize = info.uncompressed_size;
    out.encrypted = (info.flag & 1) != 0;

    s.last = out;
    s.lastRead = index;
    item = out;
    return kZipOk;
}

uint32_t ZipArchive::ExtractItem(int index, const std::string& name)
{
    if (!m_state)
        return Result(kZipNotOpen);
    if (index < 0 || index >= static_cast<int>(m_state->entries.size()))
        return Result(kZipBadIndex);
    ZipItem item;
    if (uint32_t rc = GetItem(index, item))
        return rc;

    std::string relative = SafeEntryPath(name, '/');
    if (relative.empty())
        return Result(kZipNameRefused);
    std::error_code error;
    const fs::path base = fs::u8path(m_baseDir);
    const fs::path full = (base / fs::u8path(relative)).lexically_normal();
    if (!IsUnder(full, base))
        return Result(kZipNameRefused);

    if (item.attributes & kZipAttrDirectory) {
        fs::create_directories(full, error);
        return Result(error ? kZipCannotCreate : kZipOk);
    }
    return Result(WriteFile(full.u8string(), item));
}

uint32_t ZipArchive::WriteFile(const std::string& pathText, const ZipItem& item)
{
    State& s = *m_state;
    if (item.encrypted)
        return kZipNeedsPassword;
    if (item.uncompressedSize > kMaxEntryBytes || item.uncompressedSize > kMaxTotalBytes - m_written)
        return kZipTooLarge;

    const fs::path path = fs::u8path(pathText);
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error)
        return kZipCannotCreate;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return kZipCannotCreate;

    uint32_t result = kZipOk;
    if (unzOpenCurrentFile(s.handle) != UNZ_OK) {
        result = kZipDataCut;
    } else {
        s.entryOpen = true;
        if (s.buffer.empty())
            s.buffer.resize(kPieceBytes);
        uint64_t got = 0;
        for (;;) {
            int n = unzReadCurrentFile(s.handle, s.buffer.data(), static_cast<unsigned>(s.buffer.size()));
            if (n < 0) {
                result = kZipDataCut;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<uint64_t>(n);
            if (got > item.uncompressedSize) {
                result = kZipTooLarge;
                break;
            }
            out.write(s.buffer.data(), n);
            if (!out) {
                result = kZipWriteFailed;
                break;
            }
        }
        if (result == kZipOk && got != item.uncompressedSize)
            result = kZipDataCut;
        int closed = unzCloseCurrentFile(s.handle);
        s.entryOpen = false;
        if (result == kZipOk && closed != UNZ_OK)
            result = kZipDataCut;  // the CRC does not match what was read
        if (result == kZipOk)
            m_written += got;
    }
    out.close();
    if (result == kZipOk && !out)
        result = kZipWriteFailed;
    if (result != kZipOk) {
        fs::remove(path, error);
        return result;
    }
    SetWriteTime(path, item.writeTime);
    return kZipOk;
}

bool ExtractAll(ZipArchive& zip, const std::string& targetFolder)
{
    if (targetFolder.empty() || zip.SetBaseDir(targetFolder) != kZipOk)
        return false;
    ZipItem count;
    if (zip.GetItem(-1, count) != kZipOk)
        return false;
    for (int i = 0; i < count.index; ++i) {
        ZipItem item;
        if (zip.GetItem(i, item) != kZipOk)
            continue;
        if (zip.ExtractItem(i, item.name) == kZipTooLarge && item.uncompressedSize <= ZipArchive::kMaxEntryBytes)
            break;  // not the entry: the archive as a whole passed its limit
    }
    return true;
}

bool ExtractArchive(const std::string& zipPath, const std::string& targetFolder)
{
    if (zipPath.empty() || targetFolder.empty())
        return false;
    ZipArchive zip;
    if (zip.Open(zipPath) != kZipOk)
        return false;
    bool walked = ExtractAll(zip, targetFolder);
    zip.Close();
    return walked;
}
