// The zip reader against real archives (made by zip and by Python's zipfile,
// see make_zip_fixtures.py): entry records, limits, and hostile archives that
// must never write outside the target folder.
#include "core/base/ZipArchive.h"
#include "core/base/ZipEntryName.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Fixture(const char* name) { return std::string(CORVISK_ZIP_FIXTURES) + "/" + name; }

// A fresh folder "<tmp>/zipNNN/target" with its parent, removed afterwards:
// the parent is where an escaping name would land.
class Sandbox {
public:
    Sandbox()
    {
        root = fs::temp_directory_path() / ("corvisk_zip_" + std::to_string(std::rand()) + "_" +
                                            std::to_string(reinterpret_cast<uintptr_t>(this)));
        fs::remove_all(root);
        target = root / "target";
        fs::create_directories(target);
    }
    ~Sandbox() { fs::remove_all(root); }
    // Every file under the root, relative to it, with '/'.
    std::set<std::string> Files() const
    {
        std::set<std::string> out;
        for (auto& e : fs::recursive_directory_iterator(root))
            if (!e.is_directory() || fs::is_empty(e.path()))
                out.insert(fs::relative(e.path(), root).generic_string());
        return out;
    }
    fs::path root, target;
};

std::string ReadText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The entry of `zip` named `name` (cleaned).
ZipItem Find(ZipArchive& zip, const std::string& name)
{
    ZipItem count;
    EXPECT_EQ(zip.GetItem(-1, count), kZipOk);
    for (int i = 0; i < count.index; ++i) {
        ZipItem item;
        if (zip.GetItem(i, item) == kZipOk && item.name == name)
            return item;
    }
    ADD_FAILURE() << "no entry " << name;
    return {};
}

} // namespace

TEST(ZipEntryName, EveryNameStaysInsideOrIsRefused)
{
    struct Case {
        const char* name;
        const char* expected;  // "" refused
    } cases[] = {
        {"C:../../evil.dll", "evil.dll"},
        {"/tmp/x.dll", "tmp\\x.dll"},
        {"a/../../evil.dll", "a\\evil.dll"},
        {"..\\evil.dll", "evil.dll"},
        {"../evil.dll", "evil.dll"},
        {"dir/..", "dir"},
        {"dir/./sub//f.txt", "dir\\sub\\f.txt"},
        {"\\\\server\\share\\x.dll", "server\\share\\x.dll"},
        {"D:\\abs\\y.dll", "abs\\y.dll"},
        {"sub/", "sub\\"},
        {"..", ""},
        {"/", ""},
        {"", ""},
        {"con.dll", ""},       // a device, whatever the extension
        {"x/NUL", ""},
        {"COM1.txt", ""},
        {"lpt9", ""},
        {"console.dll", "console.dll"},
        {"x.dll:stream", ""},  // an alternate stream
        {"ab:c/d.dll", ""},    // a colon past the drive prefix
        {"ctl\x01.dll", ""},
        {"q?.dll", ""},
        {"trailing.", ""},     // Windows trims it into another name
        {"space /x", ""},
        {"...", ""},
        {"ok.dll", "ok.dll"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeEntryPath(c.name, '\\'), c.expected) << c.name;
}

TEST(ZipArchive, EntryCountIndexLimitsAndState)
{
    ZipArchive zip;
    ZipItem item;
    EXPECT_EQ(zip.GetItem(-1, item), kZipNotOpen);
    EXPECT_EQ(zip.Close(), kZipNotOpen);
    ASSERT_EQ(zip.Open(Fixture("hosts.zip")), kZipOk);
    EXPECT_EQ(zip.Open(Fixture("hosts.zip")), kZipAlreadyOpen);
    EXPECT_EQ(ZipArchive::LastResult(), kZipAlreadyOpen);
    ASSERT_EQ(zip.GetItem(-1, item), kZipOk);
    EXPECT_EQ(item.index, 6);
    EXPECT_EQ(zip.GetItem(6, item), kZipBadIndex);
    EXPECT_EQ(zip.GetItem(-2, item), kZipBadIndex);
    EXPECT_EQ(zip.ExtractItem(6, "x"), kZipBadIndex);
    ASSERT_EQ(zip.GetItem(3, item), kZipOk);
    EXPECT_EQ(item.name, "unix_rw.txt");
    ZipItem again;
    ASSERT_EQ(zip.GetItem(3, again), kZipOk);
    EXPECT_EQ(again.name, item.name);
    EXPECT_EQ(zip.Close(), kZipOk);
    EXPECT_EQ(zip.GetItem(0, item), kZipNotOpen);
    // Closed, it opens again.
    EXPECT_EQ(zip.Open(Fixture("plain.zip")), kZipOk);
}

TEST(ZipArchive, AttributesByHostSystem)
{
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("hosts.zip")), kZipOk);
    struct Case {
        const char* name;
        uint32_t attributes;
    } cases[] = {
        {"dos_ro.txt", kZipAttrReadOnly | kZipAttrArchive},
        {"dos_hidden_system.txt", kZipAttrHidden | kZipAttrSystem | kZipAttrArchive},
        {"ntfs_dir\\", kZipAttrDirectory},
        {"unix_rw.txt", kZipAttrArchive},
        {"unix_ro.txt", kZipAttrArchive | kZipAttrReadOnly},
        {"unix_dir\\", kZipAttrArchive | kZipAttrDirectory},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Find(zip, c.name).attributes, c.attributes) << c.name;
}

// The archive's read-only, hidden and system bits are not given to the files:
// the next import must be able to replace them.
TEST(ZipArchive, ExtractedFilesStayWritable)
{
    Sandbox box;
    ASSERT_TRUE(ExtractArchive(Fixture("hosts.zip"), box.target.u8string()));
    for (const char* name : {"dos_ro.txt", "unix_ro.txt"}) {
        auto perms = fs::status(box.target / name).permissions();
        EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none) << name;
    }
    EXPECT_TRUE(fs::is_directory(box.target / "ntfs_dir"));
    EXPECT_TRUE(fs::is_directory(box.target / "unix_dir"));
    ASSERT_TRUE(ExtractArchive(Fixture("hosts.zip"), box.target.u8string()));  // again, over them
}

TEST(ZipArchive, DosTimeIsLocalTime)
{
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "XST-2", 1);  // two hours east of UTC
    tzset();
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("hosts.zip")), kZipOk);
    ZipItem item = Find(zip, "dos_ro.txt");
    // 2020-01-02 03:04:06 local is 01:04:06 UTC.
    EXPECT_EQ(item.writeTime, 1577927046);
    EXPECT_EQ(item.creationTime, item.writeTime);
    EXPECT_EQ(item.accessTime, item.writeTime);
    EXPECT_EQ(UnixToFileTime(item.writeTime), (1577927046ULL + 11644473600ULL) * 10000000ULL);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(ZipArchive, UnixTimesOnlyWhatTheBlockHolds)
{
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("times.zip")), kZipOk);
    ZipItem none = Find(zip, "none.txt");
    const int64_t dos = none.writeTime;
    struct Case {
        const char* name;
        int64_t write, access, creation;
    } cases[] = {
        {"all.txt", 1000000000, 1100000000, 1200000000},
        {"short.txt", 1300000000, dos, dos},  // flags announce three, the block holds one
        {"after.txt", 1400000000, dos, dos},  // behind another block
        {"past.txt", dos, dos, dos},          // its size runs past the field
    };
    for (const Case& c : cases) {
        ZipItem item = Find(zip, c.name);
        EXPECT_EQ(item.writeTime, c.write) << c.name;
        EXPECT_EQ(item.accessTime, c.access) << c.name;
        EXPECT_EQ(item.creationTime, c.creation) << c.name;
    }
    // Hand-made fields cut at every length.
    const uint8_t full[] = {0x55, 0x54, 13, 0, 7, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    for (size_t len = 0; len <= sizeof(full); ++len) {
        ZipItem item;
        bool found = ReadUnixTimes(full, len, item);
        EXPECT_EQ(found, len == sizeof(full)) << len;
    }
}

TEST(ZipArchive, ExtractsWholeFilesInPiecesWithTheirTime)
{
    Sandbox box;
    ASSERT_TRUE(ExtractArchive(Fixture("random.zip"), box.target.u8string()));
    EXPECT_EQ(fs::file_size(box.target / "random.bin"), 40000u);
    EXPECT_EQ(ReadText(box.target / "after.txt"), "still here");

    ASSERT_TRUE(ExtractArchive(Fixture("times.zip"), box.target.u8string()));
    auto stamp = fs::last_write_time(box.target / "all.txt");
    auto since = std::chrono::duration_cast<std::chrono::seconds>(
        stamp - fs::file_time_type::clock::now() +
        (std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(1000000000)));
    EXPECT_LE(std::llabs(since.count()), 2);
}

TEST(ZipArchive, PlainArchiveFromZipWithLinkAsPlainFile)
{
    Sandbox box;
    ASSERT_TRUE(ExtractArchive(Fixture("plain.zip"), box.target.u8string()));
    EXPECT_EQ(ReadText(box.target / "pack" / "a.txt"), "alpha\n");
    EXPECT_EQ(fs::file_size(box.target / "pack" / "sub" / "b.txt"), 5000u);
    // The stored link is its target's text in a plain file, never a link.
    EXPECT_FALSE(fs::is_symlink(box.target / "pack" / "link"));
    EXPECT_EQ(ReadText(box.target / "pack" / "link"), "/etc/passwd");
}

TEST(ZipArchive, PasswordEntryWritesNothing)
{
    Sandbox box;
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("secret.zip")), kZipOk);
    ASSERT_EQ(zip.SetBaseDir(box.target.u8string()), kZipOk);
    EXPECT_EQ(zip.ExtractItem(0, "a.txt"), kZipNeedsPassword);
    EXPECT_TRUE(fs::is_empty(box.target));
}

TEST(ZipArchive, DamagedEntryIsRemovedAndTheRestExtracted)
{
    Sandbox box;
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("damaged.zip")), kZipOk);
    ASSERT_EQ(zip.SetBaseDir(box.target.u8string()), kZipOk);
    EXPECT_EQ(zip.ExtractItem(0, "random.bin"), kZipDataCut);
    EXPECT_FALSE(fs::exists(box.target / "random.bin"));
    EXPECT_EQ(zip.ExtractItem(1, "after.txt"), kZipOk);
    EXPECT_EQ(ReadText(box.target / "after.txt"), "still here");
}

TEST(ZipArchive, ArchivesThatCannotBeReadAreRefused)
{
    for (const char* name : {"cut.zip", "notzip.zip", "missing.zip"}) {
        Sandbox box;
        ZipArchive zip;
        EXPECT_EQ(zip.Open(Fixture(name)), kZipCannotOpen) << name;
        EXPECT_FALSE(ExtractArchive(Fixture(name), box.target.u8string())) << name;
        EXPECT_TRUE(fs::is_empty(box.target)) << name;
    }
    EXPECT_FALSE(ExtractArchive("", "x"));
    EXPECT_FALSE(ExtractArchive(Fixture("plain.zip"), ""));
}

TEST(ZipArchive, FailingWriteIsReportedAndRemoved)
{
    Sandbox box;
    fs::create_symlink("/dev/full", box.target / "random.bin");
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("random.zip")), kZipOk);
    ASSERT_EQ(zip.SetBaseDir(box.target.u8string()), kZipOk);
    EXPECT_EQ(zip.ExtractItem(0, "random.bin"), kZipWriteFailed);
    EXPECT_FALSE(fs::exists(fs::symlink_status(box.target / "random.bin")));
}

TEST(ZipHostile, EveryNameLandsInsideOrIsSkipped)
{
    Sandbox box;
    ASSERT_TRUE(ExtractArchive(Fixture("hostile.zip"), box.target.u8string()));
    // Backslashes are separators too: "..\evil3.dll" is "evil3.dll".
    std::set<std::string> expected = {
        "target/evil.dll", "target/tmp/x.dll", "target/a/evil2.dll", "target/evil3.dll", "target/evil4.dll",
        "target/dir", "target/server/share/x.dll", "target/abs/y.dll", "target/ok.dll",
    };
    EXPECT_EQ(box.Files(), expected);
    EXPECT_EQ(ReadText(box.target / "evil.dll"), "C:../../evil.dll");
    EXPECT_EQ(ReadText(box.target / "a" / "evil2.dll"), "a/../../evil2.dll");
    EXPECT_FALSE(fs::exists("/tmp/x.dll") && ReadText("/tmp/x.dll") == "/tmp/x.dll");
}

TEST(ZipHostile, BombStopsAtTheSizeLimitWithNothingLeft)
{
    Sandbox box;
    ZipArchive zip;
    ASSERT_EQ(zip.Open(Fixture("bomb.zip")), kZipOk);
    ASSERT_EQ(zip.SetBaseDir(box.target.u8string()), kZipOk);
    ZipItem item;
    ASSERT_EQ(zip.GetItem(0, item), kZipOk);
    // 2 GiB stated (as the 32-bit escape the zip64 record stands behind).
    EXPECT_GT(item.uncompressedSize, ZipArchive::kMaxEntryBytes);
    EXPECT_EQ(zip.ExtractItem(0, item.name), kZipTooLarge);
    EXPECT_TRUE(ExtractArchive(Fixture("bomb.zip"), box.target.u8string()));
    EXPECT_TRUE(fs::is_empty(box.target));
}
