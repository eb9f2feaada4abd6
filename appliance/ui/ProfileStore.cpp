#include "appliance/ui/ProfileStore.h"

#include "core/base/TextConvert.h"
#include "core/base/ToUpperString.h"

#include <cstdio>

namespace {

StoredProfile ToStored(const ConnectionProfile& p)
{
    StoredProfile s;
    s.server = p.server;
    s.userUtf8 = WideToAnsi(p.user, kCodePageUtf8);
    s.certname = p.certname;
    s.servertrusted = p.servertrusted;
    s.certthumbprint = p.certthumbprint;
    return s;
}

} // namespace

bool ConnectionProfile::TrustsCertificate(const std::string& sha1Hex) const
{
    return servertrusted && !certthumbprint.empty() && !sha1Hex.empty() && ToUpperString(certthumbprint) == ToUpperString(sha1Hex);
}

ProfileStore::ProfileStore(std::unique_ptr<ProfileBackend> backend) : m_backend(std::move(backend))
{
    LoadAll();
}

std::string ProfileStore::Key(const std::string& name)
{
    return ToUpperString(name);
}

void ProfileStore::LoadAll()
{
    std::lock_guard<std::mutex> l(m_lock);
    m_profiles.clear();
    m_cursorAtEnd = true;
    m_default = m_backend->ReadDefault();
    for (const std::string& name : m_backend->ProfileNames()) {
        const StoredProfile s = m_backend->Read(name);
        ConnectionProfile p;
        p.name = name;
        p.server = s.server;
        p.user = AnsiToWide(s.userUtf8, kCodePageUtf8);
        p.certname = s.certname;
        p.servertrusted = s.servertrusted;
        p.certthumbprint = s.certthumbprint;
        InsertLocked(p, false);
    }
    for (auto& e : m_profiles)
        e.second.changed = false;
}

bool ProfileStore::InsertLocked(const ConnectionProfile& profile, bool save)
{
    if (profile.name.empty() || m_profiles.count(Key(profile.name)))
        return false;
    m_profiles[Key(profile.name)] = Entry{profile, true};
    return save ? SaveLocked(Key(profile.name)) : true;
}

bool ProfileStore::Insert(const ConnectionProfile& profile, bool save)
{
    std::lock_guard<std::mutex> l(m_lock);
    return InsertLocked(profile, save);
}

bool ProfileStore::SaveLocked(const std::string& onlyKey)
{
    bool ok = true;
    for (auto& e : m_profiles) {
        if (!e.second.changed || (!onlyKey.empty() && e.first != onlyKey))
            continue;
        ok = m_backend->Write(e.second.profile.name, ToStored(e.second.profile)) && ok;
        e.second.changed = false;
    }
    return ok;
}

bool ProfileStore::Put(const ConnectionProfile& profile)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_profiles.find(Key(profile.name));
    if (it == m_profiles.end())
        return InsertLocked(profile, true);
    const std::string stored = it->second.profile.name;
    it->second.profile = profile;
    it->second.profile.name = stored;
    it->second.changed = true;
    return SaveLocked(it->first);
}

bool ProfileStore::First(ConnectionProfile& out)
{
    std::lock_guard<std::mutex> l(m_lock);
    if (m_profiles.empty()) {
        m_cursorAtEnd = true;
        return false;
    }
    m_cursor = m_profiles.begin()->first;
    m_cursorAtEnd = false;
    out = m_profiles.begin()->second.profile;
    return true;
}

bool ProfileStore::Next(ConnectionProfile& out)
{
    std::lock_guard<std::mutex> l(m_lock);
    if (m_cursorAtEnd)
        return false;
    auto it = m_profiles.upper_bound(m_cursor);
    if (it == m_profiles.end()) {
        m_cursorAtEnd = true;
        return false;
    }
    m_cursor = it->first;
    out = it->second.profile;
    return true;
}

bool ProfileStore::Find(const std::string& name, ConnectionProfile& out) const
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_profiles.find(Key(name));
    if (it == m_profiles.end())
        return false;
    out = it->second.profile;
    return true;
}

ProfileStore::Entry* ProfileStore::FindByServerLocked(const std::string& server)
{
    for (auto& e : m_profiles)
        if (e.second.profile.server == server)
            return &e.second;
    return nullptr;
}

bool ProfileStore::FindByServer(const std::string& server, ConnectionProfile& out) const
{
    std::lock_guard<std::mutex> l(m_lock);
    for (const auto& e : m_profiles) {
        if (e.second.profile.server == server) {
            out = e.second.profile;
            return true;
        }
    }
    return false;
}

bool ProfileStore::SetDefault(const std::string& name)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_profiles.find(Key(name));
    if (it == m_profiles.end())
        return false;
    m_default = it->second.profile.name;
    return m_backend->WriteDefault(m_default);
}

std::string ProfileStore::GetDefaultName() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_default;
}

bool ProfileStore::Remove(const std::string& name)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_profiles.find(Key(name));
    if (it == m_profiles.end())
        return false;
    const bool ok = m_backend->Delete(it->second.profile.name);
    m_profiles.erase(it);
    return ok;
}

bool ProfileStore::RemoveAll()
{
    std::lock_guard<std::mutex> l(m_lock);
    m_profiles.clear();
    m_cursorAtEnd = true;
    m_default.clear();
    return m_backend->DeleteAll();
}

std::vector<ConnectionProfile> ProfileStore::All() const
{
    std::lock_guard<std::mutex> l(m_lock);
    std::vector<ConnectionProfile> out;
    for (const auto& e : m_profiles)
        out.push_back(e.second.profile);
    return out;
}

std::string ProfileStore::NameFromFileTime(uint64_t fileTime)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%X%X", static_cast<unsigned>(fileTime >> 32),
                  static_cast<unsigned>(fileTime & 0xFFFFFFFFu));
    return text;
}

bool ProfileStore::Remember(const std::string& server, const std::wstring& user, uint64_t fileTime)
{
    std::lock_guard<std::mutex> l(m_lock);
    Entry* entry = FindByServerLocked(server);
    if (!entry) {
        ConnectionProfile p;
        p.name = NameFromFileTime(fileTime);
        p.server = server;
        if (!InsertLocked(p, false))
            return false;
        entry = &m_profiles[Key(p.name)];
    }
    entry->profile.user = user;
    entry->changed = true;
    const bool saved = SaveLocked(Key(entry->profile.name));
    m_default = entry->profile.name;
    return m_backend->WriteDefault(m_default) && saved;
}

bool ProfileStore::Trust(const std::string& server, const std::string& subject, const std::string& sha1Hex,
                         uint64_t fileTime)
{
    std::lock_guard<std::mutex> l(m_lock);
    Entry* entry = FindByServerLocked(server);
    if (!entry) {
        ConnectionProfile p;
        p.name = NameFromFileTime(fileTime);
        p.server = server;
        if (!InsertLocked(p, false))
            return false;
        entry = &m_profiles[Key(p.name)];
    }
    entry->profile.servertrusted = true;
    entry->profile.certname = subject;
    std::string lower = sha1Hex;
    for (char& c : lower)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    entry->profile.certthumbprint = lower;
    entry->changed = true;
    return SaveLocked(Key(entry->profile.name));
}

std::vector<std::string> MemoryProfileBackend::ProfileNames()
{
    std::vector<std::string> names;
    for (const auto& v : values)
        names.push_back(v.first);
    return names;
}

StoredProfile MemoryProfileBackend::Read(const std::string& name)
{
    StoredProfile s;
    auto it = values.find(name);
    if (it == values.end())
        return s;
    auto get = [&](const char* key) {
        auto f = it->second.find(key);
        return f == it->second.end() ? std::string() : f->second;
    };
    s.server = get("server");
    s.userUtf8 = get("user");
    s.certname = get("certname");
    s.servertrusted = get("servertrusted") == "1";
    s.certthumbprint = get("certthumbprint");
    return s;
}

bool MemoryProfileBackend::Write(const std::string& name, const StoredProfile& p)
{
    auto& v = values[name];
    auto set = [&](const char* key, const std::string& value) {
        if (value.empty())
            v.erase(key);
        else
            v[key] = value;
    };
    set("server", p.server);
    set("user", p.userUtf8);
    set("certname", p.certname);
    set("servertrusted", p.servertrusted ? "1" : "");
    set("certthumbprint", p.certthumbprint);
    return true;
}

bool MemoryProfileBackend::Delete(const std::string& name)
{
    values.erase(name);
    return true;
}

bool MemoryProfileBackend::WriteDefault(const std::string& name)
{
    defaultName = name;
    hasDefault = true;
    return true;
}

bool MemoryProfileBackend::DeleteAll()
{
    values.clear();
    defaultName.clear();
    hasDefault = false;
    return true;
}
