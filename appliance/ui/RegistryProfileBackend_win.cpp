#include "appliance/ui/RegistryProfileBackend_win.h"

#include "core/base/Registry.h"

namespace {

const std::string& ProfilesKey()
{
    static const std::string key = std::string(kSettingsKey) + "\\Profiles";
    return key;
}

std::string ProfileKey(const std::string& name)
{
    return ProfilesKey() + "\\" + name;
}

// A string value written when not empty, else deleted (a missing value counts as deleted).
bool WriteOrDelete(const std::string& key, const char* name, const std::string& text)
{
    if (!text.empty())
        return RegWriteString(HKEY_CURRENT_USER, key.c_str(), name, text.c_str()) == 1;
    RegDeleteKeyTree(HKEY_CURRENT_USER, key.c_str(), name);
    return true;
}

} // namespace

std::string RegistryProfileBackend::ReadDefault()
{
    std::string name;
    RegReadString(ProfilesKey().c_str(), "defaultProfile", name);
    return name;
}

std::vector<std::string> RegistryProfileBackend::ProfileNames()
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, ProfilesKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            break;
        std::string name;
        if (!RegEnumSubkeyName(key, index, name))  // closes the key
            break;
        names.push_back(name);
    }
    return names;
}

StoredProfile RegistryProfileBackend::Read(const std::string& name)
{
    StoredProfile p;
    const std::string key = ProfileKey(name);
    RegReadString(key.c_str(), "server", p.server);
    s_mem user;
    if (RegReadValue(key.c_str(), "user", user))
        p.userUtf8.assign(reinterpret_cast<const char*>(user.Data()), user.Length());
    RegReadString(key.c_str(), "certname", p.certname);
    DWORD trusted = 0;
    RegReadDword(key.c_str(), "servertrusted", trusted);
    p.servertrusted = trusted != 0;
    RegReadString(key.c_str(), "certthumbprint", p.certthumbprint);
    return p;
}

bool RegistryProfileBackend::Write(const std::string& name, const StoredProfile& p)
{
    const std::string key = ProfileKey(name);
    bool ok = WriteOrDelete(key, "server", p.server);
    if (!p.userUtf8.empty()) {
        s_mem user;
        user.Assign(p.userUtf8.data(), p.userUtf8.size());
        ok = RegWriteValue(HKEY_CURRENT_USER, key.c_str(), "user", user, REG_BINARY) == 1 && ok;
    } else {
        RegDeleteKeyTree(HKEY_CURRENT_USER, key.c_str(), "user");
    }
    ok = WriteOrDelete(key, "certname", p.certname) && ok;
    if (p.servertrusted)
        ok = RegWriteDword(key.c_str(), "servertrusted", 1) == 1 && ok;
    else
        RegDeleteKeyTree(HKEY_CURRENT_USER, key.c_str(), "servertrusted");
    ok = WriteOrDelete(key, "certthumbprint", p.certthumbprint) && ok;
    return ok;
}

bool RegistryProfileBackend::Delete(const std::string& name)
{
    return RegDeleteKeyTree(HKEY_CURRENT_USER, ProfileKey(name).c_str(), nullptr) == 1;
}

bool RegistryProfileBackend::WriteDefault(const std::string& name)
{
    return RegWriteString(HKEY_CURRENT_USER, ProfilesKey().c_str(), "defaultProfile", name.c_str()) == 1;
}

bool RegistryProfileBackend::DeleteAll()
{
    return RegDeleteKeyTree(HKEY_CURRENT_USER, ProfilesKey().c_str(), nullptr) == 1;
}

std::unique_ptr<ProfileStore> MakeRegistryProfileStore()
{
    return std::make_unique<ProfileStore>(std::make_unique<RegistryProfileBackend>());
}
