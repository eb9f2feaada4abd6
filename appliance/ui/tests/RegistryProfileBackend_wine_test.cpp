// Connection profiles in the prefix's registry: the exact layout, values
// deleted when emptied, and removal of one profile and of all.
#include "appliance/ui/RegistryProfileBackend_win.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

const std::string kProfiles = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Profiles";

bool Value(const std::string& key, const char* name, DWORD& type, std::string& data)
{
    char buffer[512];
    DWORD size = sizeof(buffer);
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size) !=
        ERROR_SUCCESS)
        return false;
    data.assign(buffer, size);
    return true;
}

bool KeyExists(const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

TEST(RegistryProfileBackendTest, LayoutRoundTripAndRemoval)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kProfiles.c_str());
    auto store = MakeRegistryProfileStore();
    ASSERT_TRUE(store->Remember("[2001:db8::1]:444", L"\u00E9mile", 0x01DB000000000001ull));
    ASSERT_TRUE(store->Trust("[2001:db8::1]:444", "CN=localhost", "AABBCCDDEEFF00112233445566778899AABBCCDD", 5));
    const std::string name = store->GetDefaultName();
    ASSERT_EQ(name, "1DB00001");
    const std::string key = kProfiles + "\\" + name;

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Value(kProfiles, "defaultProfile", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("1DB00001") + '\0');
    ASSERT_TRUE(Value(key, "server", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_TRUE(Value(key, "user", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, "\xC3\xA9mile") << "UTF-8 without a terminator";
    ASSERT_TRUE(Value(key, "servertrusted", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, std::string("\x01\0\0\0", 4));
    ASSERT_TRUE(Value(key, "certthumbprint", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::string("aabbccddeeff00112233445566778899aabbccdd") + '\0');
    ASSERT_TRUE(Value(key, "certname", type, data));

    // A new store reads the same back.
    auto again = MakeRegistryProfileStore();
    ConnectionProfile p;
    ASSERT_TRUE(again->FindByServer("[2001:db8::1]:444", p));
    EXPECT_EQ(p.user, L"\u00E9mile");
    EXPECT_TRUE(p.TrustsCertificate("aabbccddeeff00112233445566778899aabbccdd"));

    // Emptied values are deleted.
    p.user.clear();
    p.servertrusted = false;
    p.certthumbprint.clear();
    ASSERT_TRUE(again->Put(p));
    EXPECT_FALSE(Value(key, "user", type, data));
    EXPECT_FALSE(Value(key, "servertrusted", type, data));
    EXPECT_FALSE(Value(key, "certthumbprint", type, data));

    // Remove takes the subkey with a value the store does not know.
    RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "foreign", REG_SZ, "x", 2);
    ASSERT_TRUE(again->Remove(name));
    EXPECT_FALSE(KeyExists(key));
    EXPECT_TRUE(Value(kProfiles, "defaultProfile", type, data)) << "Remove keeps the default name";
    ASSERT_TRUE(again->Remember("b:443", L"bob", 7));
    ASSERT_TRUE(again->RemoveAll());
    EXPECT_FALSE(KeyExists(kProfiles)) << "RemoveAll takes the default name too";
}

} // namespace
