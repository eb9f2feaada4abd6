#pragma once
// Reading and unpacking zip archives from outside (language packages) over
// the unzip library. Every name goes through the entry name rule, nothing
// is written outside the base folder, and sizes are bounded.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Result codes; the last one given is also kept in ZipArchive::LastResult.
enum ZipResult : uint32_t {
    kZipOk = 0,
    kZipCannotCreate = 0x200,      // a file or folder could not be opened or made
    kZipWriteFailed = 0x400,
    kZipNeedsPassword = 0x1000,
    kZipBadIndex = 0x10000,        // index out of range
    kZipNotOpen = 0x80000,         // the archive is not open
    kZipAlreadyOpen = 0x1000000,
    kZipDataCut = 0x5000000,       // the entry's data ended early or is damaged
    kZipTooLarge = 0x6000000,      // the entry, or all written, passed its limit
    kZipNameRefused = 0x7000000,   // no safe name is left for the entry
    kZipCannotOpen = 0x8000000,    // not a readable zip archive
};

// Windows attribute bits of an entry.
enum : uint32_t {
    kZipAttrReadOnly = 0x01,
    kZipAttrHidden = 0x02,
    kZipAttrSystem = 0x04,
    kZipAttrDirectory = 0x10,
    kZipAttrArchive = 0x20,
};

struct ZipItem {
    int index = -1;        // GetItem(-1): the number of entries
    std::string name;      // UTF-8, cleaned by SafeEntryPath with '\'; empty: none left
    uint32_t attributes = 0;
    // Seconds since 1970 (UTC).
    int64_t creationTime = 0;
    int64_t accessTime = 0;
    int64_t writeTime = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    bool encrypted = false;
};

// Attribute bits from the zip "version made by" host system and external
// attributes: DOS-like hosts (0, 7, 11, 14) carry DOS bits in the low byte;
// the others carry Unix modes in the high word.
uint32_t ZipEntryAttributes(uint16_t versionMadeBy, uint32_t externalAttributes);
// The DOS date and time taken as local time, in seconds since 1970 (UTC).
int64_t DosTimeToUnix(uint16_t date, uint16_t time);
// The extended-timestamp ("UT") block of an extra field into the three
// times; only the times the block's size holds are read, and every block
// header is checked against the field's length. False when there is none.
bool ReadUnixTimes(const uint8_t* extra, size_t length, ZipItem& item);
// Seconds since 1970 as a Windows FILETIME count (100 ns since 1601).
uint64_t UnixToFileTime(int64_t seconds);

class ZipArchive {
public:
    static constexpr uint64_t kMaxArchiveBytes = 512ull << 20;
    static constexpr uint64_t kMaxEntryBytes = 64ull << 20;
    static constexpr uint64_t kMaxTotalBytes = 256ull << 20;
    static constexpr size_t kMaxEntries = 65535;
    static constexpr size_t kPieceBytes = 16384;

    ZipArchive();
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // The archive at `path` (UTF-8).
    uint32_t Open(const std::string& path);
    // The archive held in `bytes` (at most kMaxArchiveBytes).
    uint32_t OpenBytes(std::vector<char> bytes);
    // The folder entries are written under (UTF-8); created when missing.
    uint32_t SetBaseDir(const std::string& folder);
    uint32_t GetItem(int index, ZipItem& item);
    // Writes entry `index` under the base folder as `name` (cleaned again by
    // the name rule). A file that cannot be finished is removed.
    uint32_t ExtractItem(int index, const std::string& name);
    uint32_t Close();

    // Bytes written by this archive so far.
    uint64_t TotalWritten() const { return m_written; }
    static uint32_t LastResult();

private:
    struct State;
    uint32_t Result(uint32_t code);
    uint32_t OpenMemory(std::unique_ptr<char[]> bytes, uint64_t size);
    uint32_t ReadEntry(int index, ZipItem& item);
    uint32_t WriteFile(const std::string& path, const ZipItem& item);

    std::unique_ptr<State> m_state;
    std::string m_baseDir;
    uint64_t m_written = 0;
};

// Unpacks every entry of `zipPath` into `targetFolder`; a failing entry is
// skipped. False when a path is empty or the archive cannot be opened or
// walked; stops once kMaxTotalBytes have been written.
bool ExtractArchive(const std::string& zipPath, const std::string& targetFolder);
// The same for an archive already open; false when the folder cannot be made.
bool ExtractAll(ZipArchive& zip, const std::string& targetFolder);
