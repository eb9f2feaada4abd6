#include "core/app/InstallLayout.h"

#include <cstdlib>

bool ParseVersion(const std::string& text, uint32_t& version)
{
    const std::string head = text.substr(0, 63);
    long parts[4];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        if (start > head.size())
            return false;
        size_t dot = head.find('.', start);
        if (dot == std::string::npos && i < 3)
            return false;
        std::string part = head.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        parts[i] = std::strtol(part.c_str(), nullptr, 10);
        if (parts[i] < 0)
            return false;
        start = dot == std::string::npos ? head.size() + 1 : dot + 1;
    }
    version = static_cast<uint32_t>((parts[0] & 255) << 24 | (parts[1] & 255) << 16 | (parts[2] & 255) << 8 |
                                    (parts[3] & 255));
    return true;
}

std::vector<std::string> DirectorySteps(const std::string& path)
{
    std::vector<std::string> steps;
    if (path.empty() || path.size() >= 260)
        return steps;
    for (size_t i = 1; i < path.size(); ++i)
        if ((path[i] == '\\' || path[i] == '/') && path[i - 1] != ':')
            steps.push_back(path.substr(0, i));
    const char last = path.back();
    if (last != '\\' && last != '/')
        steps.push_back(path);
    return steps;
}

std::string UninstallBatchText(const UninstallPaths& p)
{
    const std::string quenlore = p.appData + "\\Quenlore";
    const std::string lines[] = {
        "@ECHO OFF",
        ":1st",
        "del /F /Q \"" + p.program + "\"",
        "IF NOT EXIST \"" + p.program + "\" GOTO 2nd",
        "ECHO Please check your system tray and running processes to make sure Corvisk.exe is not running.",
        "PAUSE",
        "GOTO 1st",
        ":2nd",
        "del /F /Q \"" + quenlore + "\\LogF\"",
        "del /F /Q \"" + quenlore + "\\LogF.bak\"",
        "rd /S /Q \"" + quenlore + "\\LogFiles\"",
        "del /F /Q \"" + p.installFolder + "\\Corvisk.ini\"",
        "del /F /Q \"" + p.startMenu + "\\Vantrel Quenlore Secure Parlemo.lnk\"",
        "del /F /Q \"" + p.startMenu + "\\Uninstall.lnk\"",
        "del /F /Q \"" + p.installFolder + "\\Uninstall.vbs\"",
        "rd /S /Q \"" + p.startMenu + "\"",
        "reg delete \"HKCU\\Software\\Quenlore\\SSL-VPN Parlemo\" /f",
        "reg delete \"HKLM\\Software\\Quenlore\\SSL-VPN Parlemo\" /f",
        "reg delete \"HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlore Secure Parlemo\" /f",
        "reg delete \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlore Secure Parlemo\" /f",
        "\r\n:deleteurlscheme",
        "NET FILE 1>NUL 2>NUL",
        "if '%errorlevel%' == '0' (goto gotPrivileges ) else (goto getPrivileges )",
        "\r\n:getPrivileges",
        "if '%1' == 'ELEV' (shift & goto gotPrivileges)",
        "setlocal DisableDelayedExpansion",
        "set \"batchPath=%~0\"",
        "setlocal EnableDelayedExpansion",
        "ECHO Set UAC = CreateObject^(\"Shell.Application\"^) > \"%temp%OEgetPrivileges.vbs\"",
        "echo UAC.ShellExecute \"!batchPath!\", \"ELEV\", \"\", \"runas\", 1 >> \"%temp%OEgetPrivileges.vbs\"",
        "\"%temp%\"OEgetPrivileges.vbs",
        "exit /B",
        "\r\n:gotPrivileges",
        "setlocal & pushd .",
        "reg delete \"HKCR\\parlemo\" /f",
        "del /F /Q \"" + p.installFolder + "\\Uninstall.bat\"",
        "rd /S /Q \"" + p.installFolder + "\"",
        "del /F /Q %0",
    };
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string UninstallScriptText()
{
    return "createobject(\"wscript.shell\").run \"Uninstall.bat\",5";
}
