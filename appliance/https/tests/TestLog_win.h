#pragma once
// Points the program's logger at a fresh file of its own for one test and
// reads the lines back without their time prefix.
#include <windows.h>

#include <string>
#include <vector>

#include "appliance/https/tests/Peers_win.h"
#include "core/base/DHLog.h"
#include "core/base/LogSetup.h"

class TestLogFile {
public:
    TestLogFile() {
        m_dir = TestPeers()["work_dir"] + "\\log-" + std::to_string(GetCurrentProcessId());
        m_path = StartAppLogIn(DHLog::Instance(), m_dir);
    }
    ~TestLogFile() { DHLog::Instance().SetFile(""); }
    TestLogFile(const TestLogFile&) = delete;
    TestLogFile& operator=(const TestLogFile&) = delete;

    const std::string& Path() const { return m_path; }

    // Each line after its "MM-DD-YYYY hh:mm\t" prefix, without its line feed.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = ReadWholeFile(m_path);
        size_t start = 0;
        for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = text.substr(start, nl - start);
            lines.push_back(line.size() >= 17 && line[16] == '\t' ? line.substr(17) : "<no prefix>" + line);
        }
        return lines;
    }

private:
    std::string m_dir, m_path;
};
