#include "core/base/Registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Every test works below its own key of HKEY_CURRENT_USER, removed again
// with the system's own tree deletion.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = "Software\\Quenlore\\CorviskTest\\" + std::to_string(GetCurrentProcessId());
        RegDeleteTreeA(HKEY_CURRENT_USER, m_root.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, m_root.c_str()); }

    std::string Path(const char* sub) const { return sub[0] ? m_root + "\\" + sub : m_root; }

    void WriteRaw(const char* sub, const char* name, DWORD type, const void* data, DWORD len)
    {
        s_mem m;
        m.Assign(data, len);
        ASSERT_EQ(RegWriteValue(HKEY_CURRENT_USER, Path(sub).c_str(), name, m, type), 1);
    }

    static bool KeyExists(const std::string& path)
    {
        HKEY k;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
            return false;
        RegCloseKey(k);
        return true;
    }

    std::string m_root;
};

} // namespace

TEST_F(RegistryTest, SettingsKeyPath)
{
    EXPECT_STREQ(kSettingsKey, "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone");
}

TEST_F(RegistryTest, DwordRoundTripAndDefaultsKept)
{
    ASSERT_EQ(RegWriteDword(Path("Options").c_str(), "PartiMark", 0x12345678u), 1);
    DWORD v = 0;
    EXPECT_EQ(RegReadDword(Path("Options").c_str(), "PartiMark", v), 1);
    EXPECT_EQ(v, 0x12345678u);

    DWORD preset = 77;
    EXPECT_EQ(RegReadDword(Path("Options").c_str(), "Missing", preset), 0);
    EXPECT_EQ(preset, 77u);
    EXPECT_EQ(RegReadDword(Path("NoSuchKey").c_str(), "PartiMark", preset), 0);
    EXPECT_EQ(preset, 77u);

    ASSERT_EQ(WriteSettingDword(Path("Topbar").c_str(), "left", 42), 1);
    EXPECT_EQ(RegReadDword(Path("Topbar").c_str(), "left", v), 1);
    EXPECT_EQ(v, 42u);
}

// A DWORD is taken only from a REG_DWORD of at least 4 bytes; anything else
// would read past the data or reinterpret text as a number.
TEST_F(RegistryTest, DwordOfWrongTypeOrSizeIsRejected)
{
    const DWORD four = 5;
    const unsigned long long eight = 9;
    const struct {
        const char* name;
        DWORD type;
        const void* data;
        DWORD len;
    } cases[] = {
        {"sz", REG_SZ, "1", 2},
        {"sz4", REG_SZ, "1234", 5},
        {"binary", REG_BINARY, &four, 4},
        {"short", REG_DWORD, &four, 2},
        {"empty", REG_DWORD, &four, 0},
        {"qword", REG_QWORD, &eight, 8},
    };
    for (const auto& c : cases) {
        WriteRaw("", c.name, c.type, c.data, c.len);
        DWORD v = 1234;
        EXPECT_EQ(RegReadDword(m_root.c_str(), c.name, v), 0) << c.name;
        EXPECT_EQ(v, 1234u) << c.name;
    }
}

TEST_F(RegistryTest, StringsOfEveryKind)
{
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, Path("Options").c_str(), "i18n", "de-DE"), 1);
    std::string s = "preset";
    EXPECT_EQ(RegReadString(Path("Options").c_str(), "i18n", s), 1);
    EXPECT_EQ(s, "de-DE");

    // Stored with its terminating NUL.
    s_mem raw;
    ASSERT_EQ(RegReadValue(Path("Options").c_str(), "i18n", raw), 1);
    ASSERT_EQ(raw.Length(), 6u);
    EXPECT_EQ(raw.Data()[5], 0);

    const std::string longText(600, 'r');
    const struct {
        const char* name;
        DWORD type;
        const char* data;
        DWORD len;
        std::string want;
    } cases[] = {
        {"multi", REG_MULTI_SZ, "first\0second\0", 14, "first"},
        {"noterm", REG_SZ, "abc", 3, "abc"},  // no NUL: bounded by the length
        {"expand", REG_EXPAND_SZ, "%TEMP%\\x", 9, "%TEMP%\\x"},
        {"empty", REG_SZ, "", 0, ""},
        {"inner", REG_SZ, "ab\0cd", 6, "ab"},
        {"longnoterm", REG_SZ, longText.data(), 600, longText},  // past the first query
    };
    for (const auto& c : cases) {
        WriteRaw("", c.name, c.type, c.data, c.len);
        std::string out = "preset";
        EXPECT_EQ(RegReadString(m_root.c_str(), c.name, out), 1) << c.name;
        EXPECT_EQ(out, c.want) << c.name;
    }

    // Not text: the caller's value stays.
    RegWriteDword(m_root.c_str(), "number", 0x41424344);
    s = "preset";
    EXPECT_EQ(RegReadString(m_root.c_str(), "number", s), 0);
    EXPECT_EQ(RegReadString(m_root.c_str(), "missing", s), 0);
    EXPECT_EQ(RegReadString(Path("NoSuchKey").c_str(), "i18n", s), 0);
    EXPECT_EQ(s, "preset");

    ASSERT_EQ(WriteSettingString(Path("Options").c_str(), "MediaFilePath", "C:\\media"), 1);
    EXPECT_EQ(RegReadString(Path("Options").c_str(), "MediaFilePath", s), 1);
    EXPECT_EQ(s, "C:\\media");
}

TEST_F(RegistryTest, ValuesLongerThanTheFirstQuery)
{
    std::string big(5000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 31 + 7);
    WriteRaw("", "blob", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    s_mem out;
    ASSERT_EQ(RegReadValue(m_root.c_str(), "blob", out), 1);
    ASSERT_EQ(out.Length(), big.size());
    EXPECT_EQ(std::memcmp(out.Data(), big.data(), big.size()), 0);

    std::string text(2000, 'q');
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, m_root.c_str(), "long", text.c_str()), 1);
    std::string s;
    ASSERT_EQ(RegReadString(m_root.c_str(), "long", s), 1);
    EXPECT_EQ(s, text);

    // Exactly the size of the first buffer, and one byte more.
    for (DWORD len : {512u, 513u}) {
        std::string v(len, 'z');
        WriteRaw("", "edge", REG_BINARY, v.data(), len);
        ASSERT_EQ(RegReadValue(m_root.c_str(), "edge", out), 1);
        EXPECT_EQ(out.Length(), len);
    }
}

TEST_F(RegistryTest, MissingValueLeavesBufferUnchanged)
{
    s_mem out;
    out.Assign("keep", 4);
    EXPECT_EQ(RegReadValue(m_root.c_str(), "nothing", out), 0);
    EXPECT_EQ(RegReadValue(Path("NoSuchKey").c_str(), "nothing", out), 0);
    ASSERT_EQ(out.Length(), 4u);
    EXPECT_EQ(std::memcmp(out.Data(), "keep", 4), 0);
}

TEST_F(RegistryTest, WriteStringCreatesTheWholePathAndDefaultValue)
{
    std::string deep = Path("a\\b\\c\\d");
    ASSERT_FALSE(KeyExists(Path("a")));
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, deep.c_str(), nullptr, "default text"), 1);
    std::string s;
    EXPECT_EQ(RegReadString(deep.c_str(), nullptr, s), 1);
    EXPECT_EQ(s, "default text");
    EXPECT_EQ(RegReadString(deep.c_str(), "", s), 1);
}

TEST_F(RegistryTest, CountAndEnumerateSubkeys)
{
    EXPECT_EQ(RegCountSubkeys(HKEY_CURRENT_USER, Path("Profiles").c_str()), -1);
    RegWriteDword(Path("Profiles").c_str(), "defaultProfile", 0);
    EXPECT_EQ(RegCountSubkeys(HKEY_CURRENT_USER, Path("Profiles").c_str()), 0);
    for (const char* p : {"Profiles\\one", "Profiles\\two", "Profiles\\three"})
        RegWriteDword(Path(p).c_str(), "x", 1);
    EXPECT_EQ(RegCountSubkeys(HKEY_CURRENT_USER, Path("Profiles").c_str()), 3);

    std::string names;
    for (DWORD i = 0;; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, Path("Profiles").c_str(), 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        std::string name;
        int found = RegEnumSubkeyName(key, i, name);
        EXPECT_EQ(key, nullptr);  // closed by the call either way
        if (!found)
            break;
        names += name + ";";
    }
    EXPECT_EQ(names.size(), std::string("one;two;three;").size());
    EXPECT_NE(names.find("one;"), std::string::npos);
    EXPECT_NE(names.find("three;"), std::string::npos);
}

TEST_F(RegistryTest, DeleteTreeDepthFirst)
{
    for (const char* p : {"t\\a\\b\\c", "t\\a\\d", "t\\e"}) {
        RegWriteDword(Path(p).c_str(), "v", 1);
        RegWriteString(HKEY_CURRENT_USER, Path(p).c_str(), "s", "x");
    }
    RegWriteDword(Path("t").c_str(), "top", 1);
    RegWriteDword(Path("keep").c_str(), "v", 1);

    EXPECT_EQ(RegDeleteKeyTree(HKEY_CURRENT_USER, Path("t").c_str(), nullptr), 1);
    EXPECT_FALSE(KeyExists(Path("t")));
    EXPECT_TRUE(KeyExists(Path("keep")));
    EXPECT_EQ(RegDeleteKeyTree(HKEY_CURRENT_USER, Path("t").c_str(), nullptr), 0);
}

TEST_F(RegistryTest, DeleteOneValue)
{
    RegWriteDword(m_root.c_str(), "gone", 1);
    EXPECT_EQ(RegDeleteKeyTree(HKEY_CURRENT_USER, m_root.c_str(), "gone"), 1);
    DWORD v = 3;
    EXPECT_EQ(RegReadDword(m_root.c_str(), "gone", v), 0);
    EXPECT_EQ(RegDeleteKeyTree(HKEY_CURRENT_USER, m_root.c_str(), "gone"), 0);
    EXPECT_TRUE(KeyExists(m_root));
    EXPECT_EQ(RegDeleteKeyTree(HKEY_CURRENT_USER, Path("NoSuchKey").c_str(), "gone"), 0);
}

// An empty path names the hive itself; deleting its tree would wipe every
// key below it. Shown on the test's own key used as the "hive".
TEST_F(RegistryTest, EmptyPathIsRefused)
{
    RegWriteDword(Path("child").c_str(), "v", 1);
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, m_root.c_str(), 0, KEY_ALL_ACCESS, &root),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyTree(root, "", nullptr), 0);
    EXPECT_EQ(RegDeleteKeyTree(root, nullptr, nullptr), 0);
    RegCloseKey(root);
    EXPECT_TRUE(KeyExists(Path("child")));
}
