#include "appliance/https/tests/Peers_win.h"
#include "tools/TrustRoot_win.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

// Reads the JSON string that starts at text[pos] (the opening quote).
std::string JsonString(const std::string& text, size_t pos) {
    std::string out;
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') break;
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        switch (e) {
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'u':
                // The log is latin-1 text: every escape stands for one byte.
                out += static_cast<char>(std::stoi(text.substr(i + 1, 4), nullptr, 16));
                i += 4;
                break;
            default: out += e; break;
        }
    }
    return out;
}

std::string Field(const std::string& line, const char* name) {
    std::string key = std::string("\"") + name + "\": ";
    size_t at = line.find(key);
    return at == std::string::npos ? std::string() : JsonString(line, at + key.size());
}

}  // namespace

const std::string& Peers::operator[](const std::string& key) const {
    auto it = values.find(key);
    if (it == values.end()) throw std::runtime_error("peer value missing: " + key);
    return it->second;
}

uint16_t Peers::Port(const std::string& key) const {
    return static_cast<uint16_t>(std::stoul((*this)[key]));
}

const Peers& TestPeers() {
    static const Peers peers = [] {
        Peers p;
        const char* file = std::getenv("CORVISK_PEERS");
        std::ifstream in(file ? file : "");
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) p.values[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return p;
    }();
    return peers;
}

std::string LoggedRequest::Header(const std::string& name) const {
    std::string key = "\r\n" + name + ": ";
    size_t at = head.find(key);
    if (at == std::string::npos) return "<absent>";
    size_t start = at + key.size();
    return head.substr(start, head.find("\r\n", start) - start);
}

std::vector<LoggedRequest> ReadRequestLog(const std::string& winPath) {
    std::vector<LoggedRequest> list;
    std::ifstream in(winPath, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        list.push_back({Field(line, "method"), Field(line, "path"), Field(line, "head"), Field(line, "body")});
    }
    return list;
}

std::string ReadWholeFile(const std::string& winPath) {
    std::ifstream in(winPath, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool ControlPost(const std::string& path, const std::string& json) {
    HINTERNET s = WinHttpOpen(L"corvisk-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET c = s ? WinHttpConnect(s, L"127.0.0.1", TestPeers().Port("control_port"), 0) : nullptr;
    std::wstring wpath(path.begin(), path.end());
    HINTERNET r = c ? WinHttpOpenRequest(c, L"POST", wpath.c_str(), nullptr, nullptr, nullptr, 0) : nullptr;
    DWORD status = 0, size = sizeof status;
    bool ok = r &&
              WinHttpSendRequest(r, L"Content-Type: application/json\r\n", static_cast<DWORD>(-1),
                                 const_cast<char*>(json.data()), static_cast<DWORD>(json.size()),
                                 static_cast<DWORD>(json.size()), 0) &&
              WinHttpReceiveResponse(r, nullptr) &&
              WinHttpQueryHeaders(r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &status,
                                  &size, nullptr) &&
              status == 200;
    if (r) WinHttpCloseHandle(r);
    if (c) WinHttpCloseHandle(c);
    if (s) WinHttpCloseHandle(s);
    return ok;
}

bool InstallTestCa() {
    std::string der = ReadWholeFile(TestPeers()["ca_der"]);
    return TrustRootCertificate(der.data(), der.size()) == 0;
}
