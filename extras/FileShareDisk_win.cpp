#include "extras/FileShareDisk_win.h"

#include "core/base/TextConvert.h"
#include "core/base/WinHandle.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string& utf8)
{
    return AnsiToWide(utf8, kCodePageUtf8);
}

OVERLAPPED At(uint64_t offset)
{
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

class Source : public fileshare::SourceFile {
public:
    Source(WinHandle file, uint64_t size) : m_file(std::move(file)), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool Read(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) override
    {
        OVERLAPPED o = At(offset);
        DWORD read = 0;
        if (!ReadFile(m_file.get(), buffer, static_cast<DWORD>(n), &read, &o) && GetLastError() != ERROR_HANDLE_EOF)
            return false;
        got = read;
        return true;
    }

private:
    WinHandle m_file;
    uint64_t m_size;
};

class Target : public fileshare::TargetFile {
public:
    explicit Target(HANDLE h) : m_file(h) {}
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t n) override
    {
        OVERLAPPED o = At(offset);
        DWORD written = 0;
        return WriteFile(m_file.get(), data, static_cast<DWORD>(n), &written, &o) && written == n;
    }

private:
    WinHandle m_file;
};

} // namespace

std::unique_ptr<fileshare::SourceFile> FileShareDisk::OpenSource(const std::string& path)
{
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    WinHandle file(h);
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0)
        return nullptr;
    return std::make_unique<Source>(std::move(file), static_cast<uint64_t>(size.QuadPart));
}

std::unique_ptr<fileshare::TargetFile> FileShareDisk::CreateTarget(const std::string& path)
{
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<Target>(h);
}

bool FileShareDisk::Remove(const std::string& path)
{
    return DeleteFileW(Wide(path).c_str()) != 0;
}
