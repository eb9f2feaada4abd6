#pragma once
// The peers that with_peers.sh started, and what the tests read of them.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct Peers {
    std::map<std::string, std::string> values;
    const std::string& operator[](const std::string& key) const;
    uint16_t Port(const std::string& key) const;
};

// Read once from the file named by CORVISK_PEERS.
const Peers& TestPeers();

// One request as the appliance recorded it.
struct LoggedRequest {
    std::string method, path, head, body;
    // The value of a header line in head, or "<absent>".
    std::string Header(const std::string& name) const;
};
std::vector<LoggedRequest> ReadRequestLog(const std::string& winPath);

// POST of a JSON text to the appliance's plain-HTTP control interface; true
// on status 200.
bool ControlPost(const std::string& path, const std::string& json);

// Whole file as bytes ("" when it cannot be read).
std::string ReadWholeFile(const std::string& winPath);

// Adds the run's CA to the current user's trusted roots.
bool InstallTestCa();
