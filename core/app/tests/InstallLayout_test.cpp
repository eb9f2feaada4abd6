// The installation's rules that need no machine: versions, folder steps, the
// uninstall scripts' bytes, the language library rules and the check of a
// downloaded program.
#include "core/app/ExecutableImage.h"
#include "core/app/InstallLayout.h"
#include "core/app/LanguagePackRules.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path SourceDir() { return fs::u8path(std::getenv("CORVISK_SOURCE_DIR") ? std::getenv("CORVISK_SOURCE_DIR") : "."); }

} // namespace

TEST(ParseVersion, Table)
{
    struct Case {
        const char* text;
        bool ok;
        uint32_t version;
    } cases[] = {
        {"8.0.0.6", true, 0x08000006},
        {"8.0.0.6.1", true, 0x08000006},  // past the fourth part is ignored
        {"10.1.2.300", true, 0x0A01022C}, // each part modulo 256
        {"8.0.0.5", true, 0x08000005},
        {"8.0.0", false, 0},
        {"8.0.-1.6", false, 0},
        {"-8.0.0.6", false, 0},
        {"", false, 0},
        {"abc", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t version = 0xDEADBEEF;
        EXPECT_EQ(ParseVersion(c.text, version), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(version, c.version) << c.text;
        }
    }
    // Only 63 characters are looked at: the fourth part beyond them is missing.
    uint32_t version = 0;
    EXPECT_FALSE(ParseVersion(std::string(60, '0') + "8.0.0.6", version));
}

TEST(CreateDirectoryPath, Steps)
{
    struct Case {
        std::string path;
        std::vector<std::string> steps;
    } cases[] = {
        {"C:\\a\\b", {"C:\\a", "C:\\a\\b"}},
        {"C:\\a/b\\", {"C:\\a", "C:\\a/b"}},
        {"rel\\x", {"rel", "rel\\x"}},
        {"C:", {"C:"}},
        {"", {}},
        {std::string(260, 'a'), {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DirectorySteps(c.path), c.steps) << c.path;
}

TEST(UninstallScripts, BatchFileMatchesTheGoldenFileByteForByte)
{
    UninstallPaths paths;
    paths.appData = "C:\\users\\tester\\AppData\\Roaming";
    paths.installFolder = paths.appData + "\\Quenlore\\Parlemo";
    paths.program = paths.installFolder + "\\Corvisk.exe";
    paths.startMenu = "C:\\users\\tester\\Start Menu\\Programs\\Vantrel Quenlore Secure Parlemo";
    const std::string golden = ReadFile(SourceDir() / "core/app/tests/golden/Uninstall.bat");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(UninstallBatchText(paths), golden);
    EXPECT_EQ(UninstallScriptText(), "createobject(\"wscript.shell\").run \"Uninstall.bat\",5");
}

TEST(LanguageRules, AcceptanceTable)
{
    struct Case {
        const wchar_t* marker;
        const wchar_t* a;
        const wchar_t* b;
        const wchar_t* c;
        const wchar_t* d;
        bool accepted;
    } cases[] = {
        {L"PLLanguagePacket", L"8", L"0", L"0", L"6", true},
        {L"PLLanguagePacket", L"8", L"0", L"1", L"0", true},
        {L"PLLanguagePacket", L"9", L"0", L"0", L"0", true},
        {L"PLLanguagePacket", L"8", L"0", L"0", L"5", false},
        {L"PLLanguagePacket", L"7", L"255", L"255", L"255", false},
        {L"PLLanguagePacket", L"8", L"0", L"0", L"256", false},  // never wraps to 0
        {L"PLLanguagePacket", L"264", L"0", L"0", L"0", false},  // 264 would wrap to 8
        {L"PLLanguagePacket", L"1000", L"0", L"0", L"0", false},
        {L"PLLanguagePacket", L"8", L"", L"0", L"6", false},
        {L"PLLanguagePacket", L"8", L"x", L"0", L"6", false},
        {L"PLLanguagePacketX", L"8", L"0", L"0", L"6", false},
        {L"", L"8", L"0", L"0", L"6", false},
    };
    for (const Case& c : cases) {
        LanguageTexts texts;
        texts.marker = c.marker;
        texts.version[0] = c.a;
        texts.version[1] = c.b;
        texts.version[2] = c.c;
        texts.version[3] = c.d;
        EXPECT_EQ(IsAcceptedLanguage(texts), c.accepted)
            << std::string(c.marker, c.marker + wcslen(c.marker)) << " " << c.a[0] << c.d[0];
    }
}

TEST(LanguageRules, OnlyPlainFileNamesAreLoaded)
{
    for (const wchar_t* good : {L"de.dll", L"Deutsch 2.dll"})
        EXPECT_TRUE(IsPlainLibraryName(good));
    for (const wchar_t* bad : {L"", L".", L"..", L"..\\x.dll", L"C:\\x.dll", L"sub/x.dll", L"x.dll:s"})
        EXPECT_FALSE(IsPlainLibraryName(bad));
}

TEST(ExecutableImage, OnlyAWholeWindowsProgram)
{
    const fs::path dir = fs::temp_directory_path() / ("corvisk_pe_" + std::to_string(std::rand()));
    fs::create_directories(dir);
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).u8string();
    };
    std::string pe(0x200, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = static_cast<char>(0x80);
    pe.replace(0x80, 4, std::string("PE\0\0", 4));
    EXPECT_TRUE(IsWindowsExecutable(write("good.exe", pe)));
    EXPECT_FALSE(IsWindowsExecutable(write("html.exe", "<html><body>Upgrade</body></html>")));
    EXPECT_FALSE(IsWindowsExecutable(write("mz.exe", "MZ local appliance client installer\r\n")));
    EXPECT_FALSE(IsWindowsExecutable(write("cut.exe", pe.substr(0, 0x90))));  // no whole file header
    std::string far = pe;
    far[0x3F] = 0x7F;  // the header offset points far past the file
    EXPECT_FALSE(IsWindowsExecutable(write("far.exe", far)));
    EXPECT_FALSE(IsWindowsExecutable((dir / "missing.exe").u8string()));
    fs::remove_all(dir);
}
