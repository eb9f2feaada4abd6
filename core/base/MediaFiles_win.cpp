#include "core/base/MediaFiles.h"

#include "core/base/MediaFileName.h"
#include "core/base/Registry.h"
#include "core/base/TextConvert.h"

#include <windows.h>
#include <shlobj.h>

#include <ctime>

std::wstring GetDefaultMediaFolder()
{
    wchar_t docs[MAX_PATH] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, docs, CSIDL_PERSONAL, FALSE))
        return L"";
    std::wstring folder = std::wstring(docs) + L"\\Secure Parlemo";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring MakeRecordingFileName(const std::wstring& prefix)
{
    std::wstring name = prefix.empty() ? L"" : prefix + L"_";
    std::string stamp = RecordingFileNameForTime(static_cast<int64_t>(std::time(nullptr)));
    return name + std::wstring(stamp.begin(), stamp.end());
}

int SaveMediaFilePath(const std::wstring& path)
{
    std::vector<uint8_t> bytes = EncodeMediaFilePath(std::u16string(path.begin(), path.end()));
    s_mem data;
    data.Assign(bytes.data(), bytes.size());
    if (data.Length() != bytes.size())
        return 0;
    return RegWriteValue(HKEY_CURRENT_USER, kOptionsKey, "MediaFilePath", data, REG_BINARY);
}

int LoadMediaFilePath(std::wstring& path)
{
    s_mem data;
    if (!RegReadValue(kOptionsKey, "MediaFilePath", data))
        return 0;
    auto value = DecodeMediaFilePath(data.Data(), data.Length());
    if (!value)
        return 0;
    std::wstring text = value->isUtf16 ? std::wstring(value->utf16.begin(), value->utf16.end())
                                       : AnsiToWide(value->ansi, kCodePageAnsi);
    if (text.empty())
        return 0;
    path = text;
    return 1;
}
