// The program's log, started for a test in a folder of its own under the
// temporary folder, and read back: a test checks the line a fault writes.
#pragma once

#include "core/base/DHLog.h"
#include "core/base/LogSetup.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

class AppLogFile {
public:
    explicit AppLogFile(const char* folder)
    {
        char temp[MAX_PATH + 1] = "";
        DWORD n = GetTempPathA(sizeof(temp), temp);
        m_path = StartAppLogIn(DHLog::Instance(), std::string(temp, n) + folder);
    }
    std::string Text() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Contains(const std::string& line) const { return Text().find(line) != std::string::npos; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The log, printed as the test ends when it has failed: what the program
// said is beside the failure.
class AppLogShownOnFailure : public AppLogFile {
public:
    using AppLogFile::AppLogFile;
    ~AppLogShownOnFailure()
    {
        if (::testing::Test::HasFailure())
            std::printf("%s\n", Text().c_str());
    }
    AppLogShownOnFailure(const AppLogShownOnFailure&) = delete;
    AppLogShownOnFailure& operator=(const AppLogShownOnFailure&) = delete;
};
