// Connection profiles: the servers the user connected to before, each with
// its user name, the client certificate name and whether its appliance
// certificate is trusted (with that certificate's SHA-1). Kept under the
// settings key's "Profiles" in the registry, behind ProfileBackend so the
// store is tested against an in-memory one. Safe from several threads: one
// lock inside, and every operation hands out copies.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct ConnectionProfile {
    std::string name;
    std::string server;
    std::wstring user;
    std::string certname;
    bool servertrusted = false;
    std::string certthumbprint;  // 40 lower-case hex digits of the trusted certificate

    // Trusted for exactly this certificate: a trust without a thumbprint
    // counts as none.
    bool TrustsCertificate(const std::string& sha1Hex) const;
};

// One profile as stored: the user name as UTF-8 bytes.
struct StoredProfile {
    std::string server;
    std::string userUtf8;
    std::string certname;
    bool servertrusted = false;
    std::string certthumbprint;
};

class ProfileBackend {
public:
    virtual ~ProfileBackend() = default;
    virtual std::string ReadDefault() = 0;
    virtual std::vector<std::string> ProfileNames() = 0;
    virtual StoredProfile Read(const std::string& name) = 0;
    // Writes the non-empty values and deletes the empty or false ones (other
    // values of the profile stay); true when every write succeeded.
    virtual bool Write(const std::string& name, const StoredProfile& profile) = 0;
    virtual bool Delete(const std::string& name) = 0;  // the profile with all its values
    virtual bool WriteDefault(const std::string& name) = 0;
    virtual bool DeleteAll() = 0;  // every profile and the default name
};

class ProfileStore {
public:
    explicit ProfileStore(std::unique_ptr<ProfileBackend> backend);

    void LoadAll();
    // Refused (false) when a profile of the same name in any letter case exists.
    bool Insert(const ConnectionProfile& profile, bool save);
    // Replaces the fields of the profile of that name (keeping its stored
    // name), or inserts it; saves.
    bool Put(const ConnectionProfile& profile);
    bool First(ConnectionProfile& out);
    // False at the end, and stays false there.
    bool Next(ConnectionProfile& out);
    bool Find(const std::string& name, ConnectionProfile& out) const;
    bool FindByServer(const std::string& server, ConnectionProfile& out) const;
    bool SetDefault(const std::string& name);
    std::string GetDefaultName() const;
    bool Remove(const std::string& name);
    bool RemoveAll();
    std::vector<ConnectionProfile> All() const;

    // A login to server succeeded: its profile (found by server, else new,
    // named from the file time) takes the user and becomes the default.
    bool Remember(const std::string& server, const std::wstring& user, uint64_t fileTime);
    // The user trusts this certificate for server: found or made by server,
    // saved at once.
    bool Trust(const std::string& server, const std::string& subject, const std::string& sha1Hex,
               uint64_t fileTime);

    // "%X%X" of the high and low halves of a file time.
    static std::string NameFromFileTime(uint64_t fileTime);

private:
    struct Entry {
        ConnectionProfile profile;
        bool changed = false;
    };
    bool SaveLocked(const std::string& onlyName);
    static std::string Key(const std::string& name);
    bool InsertLocked(const ConnectionProfile& profile, bool save);
    Entry* FindByServerLocked(const std::string& server);

    mutable std::mutex m_lock;
    std::unique_ptr<ProfileBackend> m_backend;
    std::map<std::string, Entry> m_profiles;  // by upper-cased name
    std::string m_cursor;                     // key of the last entry handed out
    bool m_cursorAtEnd = true;
    std::string m_default;
};

// The backend in memory (tests, and a store that could not open the registry).
class MemoryProfileBackend : public ProfileBackend {
public:
    std::string ReadDefault() override { return defaultName; }
    std::vector<std::string> ProfileNames() override;
    StoredProfile Read(const std::string& name) override;
    bool Write(const std::string& name, const StoredProfile& profile) override;
    bool Delete(const std::string& name) override;
    bool WriteDefault(const std::string& name) override;
    bool DeleteAll() override;

    // Values by profile, as the registry would hold them ("server", "user",
    // "certname", "servertrusted", "certthumbprint", and any other).
    std::map<std::string, std::map<std::string, std::string>> values;
    std::string defaultName;
    bool hasDefault = false;
};
