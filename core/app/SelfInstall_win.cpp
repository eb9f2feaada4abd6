// The per-user installation: the program copied into the application-data
// folder, the link scheme, the uninstall entry and scripts, the Start-menu
// shortcuts, and the language chosen for this run.
#include "core/app/SelfInstall_win.h"

#include "core/app/InstallFolders_win.h"
#include "core/app/InstallLayout.h"
#include "core/app/LanguagePackages_win.h"
#include "core/app/Manager.h"
#include "core/app/res/resource.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/Registry.h"
#include "core/base/TextConvert.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlore Secure Parlemo";
constexpr char kProductName[] = "Vantrel Quenlore Secure Parlemo";
constexpr int kCopyTries = 4;
constexpr DWORD kCopyRetryMs = 1000;
constexpr DWORD kModulePathChars = 389;

// One COM interface pointer, released once.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (m_p)
            m_p->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** put() { return &m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

// COM on this thread for as long as it lives (when it could be had).
class ComScope {
public:
    ComScope() : m_ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (m_ok)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_ok;
};

std::string OwnModulePath()
{
    char path[kModulePathChars + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, kModulePathChars);
    return n > 0 && n < kModulePathChars ? std::string(path, n) : std::string();
}

std::string FullLongPath(const std::string& path)
{
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof(full), full, nullptr);
    std::string out = n > 0 && n < sizeof(full) ? std::string(full, n) : path;
    char longer[MAX_PATH * 2];
    n = GetLongPathNameA(out.c_str(), longer, sizeof(longer));
    return n > 0 && n < sizeof(longer) ? std::string(longer, n) : out;
}

bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies the running program to `target` unless it is that file; after four
// failed tries the user is told and false comes back.
bool CopySelfTo(const std::string& target)
{
    const std::string self = OwnModulePath();
    if (self.empty())
        return false;
    if (SameFilePath(self, target))
        return true;
    for (int attempt = 0; attempt < kCopyTries; ++attempt) {
        if (CopyFileExA(self.c_str(), target.c_str(), nullptr, nullptr, nullptr, 0))
            return true;
        DHLog::Instance().Print(0x04, 2, false, "Copying the program to %s failed (%lu).\n", target.c_str(),
                                GetLastError());
        Sleep(kCopyRetryMs);
    }
    static ResStringSlot text, caption;
    MessageBoxW(nullptr, LoadResString(text, IDS_COPY_FILE_FAILED), LoadResString(caption, IDS_ERROR),
                MB_ICONHAND | MB_TOPMOST);
    return false;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

void RemoveStartMenuFolder()
{
    const std::string old = OldStartMenuFolder();
    if (old.empty() || old.size() >= MAX_PATH)
        return;
    DWORD attributes = GetFileAttributesA(old.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    std::string from = old;
    from.push_back('\0');  // the list ends with a second NUL
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

bool SaveShortcut(const std::string& link, const std::string& target, const std::string& workingFolder)
{
    ComRef<IShellLinkA> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(shellLink.put()))))
        return false;
    shellLink->SetPath(target.c_str());
    shellLink->SetWorkingDirectory(workingFolder.c_str());
    ComRef<IPersistFile> file;
    if (FAILED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put()))))
        return false;
    return SUCCEEDED(file->Save(AnsiToWide(link, CP_ACP).c_str(), TRUE));
}

} // namespace

bool SameFilePath(const std::string& a, const std::string& b)
{
    return lstrcmpiA(FullLongPath(a).c_str(), FullLongPath(b).c_str()) == 0;
}

int RegisterElevated()
{
    char version[32];
    std::snprintf(version, sizeof(version), "%d.%d.%d.%d", 8, 0, 0, 6);
    int ok = RegWriteString(HKEY_CURRENT_USER, kSettingsKey, "version", version);
    ok &= RegWriteDword(kSettingsKey, "status", 0);

    const std::string self = OwnModulePath();
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof(info);
    info.lpVerb = "runas";
    info.lpFile = self.c_str();
    info.lpParameters = "-URIScheme";
    info.hwnd = GetForegroundWindow();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info))
        DHLog::Instance().Print(0x04, 2, false, "The link scheme could not be registered (%lu).\n", GetLastError());
    return ok;
}

int RegisterUninstall(const std::string& installFolder)
{
    const std::string batch = installFolder + "\\Uninstall.bat";
    const std::string script = installFolder + "\\Uninstall.vbs";
    for (const std::string& old : {batch, script}) {
        SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(old.c_str());
    }

    const std::string program = installFolder + "\\Corvisk.exe";
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "DisplayName", kProductName);
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "UninstallString", batch.c_str());
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "DisplayIcon", program.c_str());
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "DisplayVersion", "8.0.0.6");
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "URLInfoAbout", "https://www.vantrel.example/");
    RegWriteString(HKEY_CURRENT_USER, kUninstallKey, "Publisher", "Vantrel Inc.");

    UninstallPaths paths;
    paths.appData = AppDataFolder();
    paths.installFolder = installFolder;
    paths.program = program;
    paths.startMenu = StartMenuFolder();
    if (!WriteWholeFile(batch, UninstallBatchText(paths))) {
        DHLog::Instance().Print(0x04, 1, false, "%s could not be written.\n", batch.c_str());
        return 0;
    }
    SetFileAttributesA(batch.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!WriteWholeFile(script, UninstallScriptText()))
        DHLog::Instance().Print(0x04, 1, false, "%s could not be written.\n", script.c_str());
    return 1;
}

int CreateStartMenuShortcuts(const std::string& installFolder)
{
    RemoveStartMenuFolder();
    const std::string folder = StartMenuFolder();
    if (folder.empty() || !CreateDirectoryPath(folder))
        return 0;
    ComScope com;
    bool ok = SaveShortcut(folder + "\\" + kProductName + ".lnk", installFolder + "\\Corvisk.exe", installFolder);
    // The script runs "Uninstall.bat" by a relative name: it must start in
    // the install folder.
    ok = SaveShortcut(folder + "\\Uninstall.lnk", installFolder + "\\Uninstall.vbs", installFolder) && ok;
    if (!ok)
        DHLog::Instance().Print(0x04, 1, false, "The Start-menu shortcuts could not be made.\n");
    return ok ? 1 : 0;
}

void CManager::SelfInstall()
{
    const std::string folder = InstallFolder();
    if (!folder.empty()) {
        installedProgram = folder + "\\Corvisk.exe";
        InstallProgram();
    }
    LoadChosenLanguage(AnsiToWide(LanguageFolder(), CP_ACP));
}

void CManager::InstallProgram()
{
    std::string stored;
    if (IsFile(installedProgram) && RegReadString(kSettingsKey, "version", stored)) {
        uint32_t version = 0;
        if (!ParseVersion(stored, version) || version >= kProgramVersion)
            return;
        DWORD attributes = GetFileAttributesA(installedProgram.c_str());
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesA(installedProgram.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    } else if (!CreateDirectoryPath(LanguageFolder())) {
        DHLog::Instance().Print(0x04, 1, false, "The folder %s could not be made.\n", LanguageFolder().c_str());
        return;
    }
    if (!CopySelfTo(installedProgram))
        return;
    // The mark of a downloaded file (absent on file systems without streams).
    DeleteFileA((installedProgram + ":Zone.Identifier").c_str());
    RegisterElevated();
    if (msiInstall)
        return;
    const std::string folder = InstallFolder();
    RegisterUninstall(folder);
    CreateStartMenuShortcuts(folder);
}
