// The media folder helpers against Wine's shell folders and registry: the
// default folder, the stored "MediaFilePath" in its byte form, the older ANSI
// form, and the recording file name.
#include "core/base/MediaFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kOptions[] = L"Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Options";

std::vector<uint8_t> ReadRawValue(DWORD& type)
{
    DWORD size = 0;
    type = REG_NONE;
    if (RegGetValueW(HKEY_CURRENT_USER, kOptions, L"MediaFilePath", RRF_RT_ANY, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    std::vector<uint8_t> bytes(size);
    RegGetValueW(HKEY_CURRENT_USER, kOptions, L"MediaFilePath", RRF_RT_ANY, &type, bytes.data(), &size);
    bytes.resize(size);
    return bytes;
}

void WriteRawValue(const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kOptions, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"MediaFilePath", 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void DeleteValue()
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kOptions, L"MediaFilePath");
}

} // namespace

TEST(MediaFiles, DefaultFolderIsMadeInTheDocuments)
{
    wchar_t docs[MAX_PATH] = L"";
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, docs, CSIDL_PERSONAL, FALSE));
    const std::wstring expected = std::wstring(docs) + L"\\Secure Parlemo";
    RemoveDirectoryW(expected.c_str());
    ASSERT_EQ(GetFileAttributesW(expected.c_str()), INVALID_FILE_ATTRIBUTES);
    for (int round = 0; round < 2; ++round) {  // made, then found
        EXPECT_EQ(GetDefaultMediaFolder(), expected) << round;
        DWORD attributes = GetFileAttributesW(expected.c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << round;
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << round;
    }
}

// n characters take 2n + 2 bytes: the 0x80 marker, UTF-16LE, one zero byte.
TEST(MediaFiles, SettingIsStoredInItsByteFormAndReadBack)
{
    const std::wstring cases[] = {
        L"C:\\Media",
        L"D:\\M\u00e9dia\\\u65e5\u672c\\\u0416",  // beyond any ANSI code page
        std::wstring(L"E:\\") + std::wstring(256, L'a'),
    };
    for (const std::wstring& path : cases) {
        ASSERT_EQ(SaveMediaFilePath(path), 1);
        DWORD type = 0;
        std::vector<uint8_t> raw = ReadRawValue(type);
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
        ASSERT_EQ(raw.size(), 2 * path.size() + 2);
        EXPECT_EQ(raw.front(), 0x80);
        EXPECT_EQ(raw.back(), 0);
        for (size_t i = 0; i < path.size(); ++i)
            ASSERT_EQ(raw[1 + 2 * i] | (raw[2 + 2 * i] << 8), path[i]) << i;
        std::wstring read = L"keep";
        EXPECT_EQ(LoadMediaFilePath(read), 1);
        EXPECT_EQ(read, path);
    }
    DeleteValue();
}

TEST(MediaFiles, OlderAnsiValueMissingAndEmptyValues)
{
    const char older[] = "C:\\Old Media";
    WriteRawValue(older, sizeof(older) - 1);  // as an older version wrote it, no terminator
    std::wstring read = L"keep";
    EXPECT_EQ(LoadMediaFilePath(read), 1);
    EXPECT_EQ(read, L"C:\\Old Media");

    WriteRawValue(older, sizeof(older));  // with its terminator
    read = L"keep";
    EXPECT_EQ(LoadMediaFilePath(read), 1);
    EXPECT_EQ(read, L"C:\\Old Media");

    // An empty setting and a missing one both leave the caller's default.
    ASSERT_EQ(SaveMediaFilePath(L""), 1);
    DWORD type = 0;
    EXPECT_EQ(ReadRawValue(type), (std::vector<uint8_t>{0x80, 0}));
    read = L"keep";
    EXPECT_EQ(LoadMediaFilePath(read), 0);
    EXPECT_EQ(read, L"keep");
    DeleteValue();
    EXPECT_EQ(LoadMediaFilePath(read), 0);
    EXPECT_EQ(read, L"keep");
}

// Checked against Wine's own UTC clock, not the formatter the helper uses.
TEST(MediaFiles, RecordingFileNameIsNowInUtc)
{
    auto stamp = [] {
        SYSTEMTIME t;
        GetSystemTime(&t);
        wchar_t text[64];
        swprintf(text, 64, L"GMT_%04u-%02u-%02u_%02uh%02um%02us.wmv", t.wYear, t.wMonth, t.wDay, t.wHour,
                 t.wMinute, t.wSecond);
        return std::wstring(text);
    };
    for (const std::wstring prefix : {L"", L"Weekly"}) {
        std::wstring before = stamp();
        std::wstring name = MakeRecordingFileName(prefix);
        std::wstring after = stamp();
        std::wstring head = prefix.empty() ? L"" : prefix + L"_";
        EXPECT_TRUE(name == head + before || name == head + after) << std::string(name.begin(), name.end());
    }
}
