#include "core/base/Registry.h"

#include <cstring>
#include <vector>

namespace {

// Owner of one open key.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY adopted) : m_key(adopted) {}
    ~RegKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    bool Open(HKEY hive, const char* subkey, REGSAM access)
    {
        return RegOpenKeyExA(hive, subkey, 0, access, &m_key) == ERROR_SUCCESS;
    }
    bool Create(HKEY hive, const char* subkey)
    {
        return RegCreateKeyExA(hive, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &m_key, nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return m_key; }
    HKEY release()
    {
        HKEY k = m_key;
        m_key = nullptr;
        return k;
    }

private:
    HKEY m_key = nullptr;
};

constexpr DWORD kFirstQueryBytes = 512;
constexpr int kQueryAttempts = 4;  // the value may grow between two queries

// Reads a value of HKEY_CURRENT_USER with its type; `out` is set only on success.
bool ReadRaw(const char* subkey, const char* name, s_mem& out, DWORD& type)
{
    RegKey key;
    if (!key.Open(HKEY_CURRENT_USER, subkey, KEY_READ))
        return false;
    std::vector<BYTE> buf(kFirstQueryBytes, 0);
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        DWORD size = static_cast<DWORD>(buf.size());
        LONG rc = RegQueryValueExA(key.get(), name, nullptr, &type, buf.data(), &size);
        if (rc == ERROR_SUCCESS) {
            if (size > buf.size())
                return false;
            s_mem value;
            value.Assign(buf.data(), size);
            if (value.Length() != size)
                return false;
            out = value;
            return true;
        }
        if (rc != ERROR_MORE_DATA)
            return false;
        buf.assign(size, 0);
    }
    return false;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

bool IsEmptyPath(const char* subkey)
{
    return subkey == nullptr || subkey[0] == '\0';
}

int DeleteTree(HKEY hive, const std::string& subkey)
{
    if (RegCountSubkeys(hive, subkey.c_str()) > 0) {
        for (;;) {
            RegKey key;
            if (!key.Open(hive, subkey.c_str(), KEY_READ))
                break;
            HKEY raw = key.release();
            std::string child;
            if (!RegEnumSubkeyName(raw, 0, child))
                break;
            // Index 0 again next time: this child is gone once deleted.
            if (!DeleteTree(hive, subkey + "\\" + child))
                return 0;
        }
    }
    return RegDeleteKeyA(hive, subkey.c_str()) == ERROR_SUCCESS ? 1 : 0;
}

} // namespace

int RegWriteValue(HKEY hive, const char* subkey, const char* name, const s_mem& data,
                  DWORD type)
{
    RegKey key;
    if (!key.Create(hive, subkey))
        return 0;
    return RegSetValueExA(key.get(), name, 0, type, data.Data(), data.Length()) == ERROR_SUCCESS
               ? 1
               : 0;
}

int RegReadValue(const char* subkey, const char* name, s_mem& out)
{
    DWORD type = REG_NONE;
    return ReadRaw(subkey, name, out, type) ? 1 : 0;
}

int RegReadString(const char* subkey, const char* name, std::string& out)
{
    s_mem value;
    DWORD type = REG_NONE;
    if (!ReadRaw(subkey, name, value, type) || !IsStringType(type))
        return 0;
    const char* text = reinterpret_cast<const char*>(value.Data());
    const void* nul = std::memchr(text, 0, value.Length());
    out.assign(text, nul ? static_cast<const char*>(nul) - text : value.Length());
    return 1;
}

int RegWriteString(HKEY hive, const char* subkey, const char* name, const char* text)
{
    if (text == nullptr)
        return 0;
    s_mem data;
    std::size_t len = std::strlen(text) + 1;
    data.Assign(text, len);
    if (data.Length() != len)
        return 0;
    return RegWriteValue(hive, subkey, name, data, REG_SZ);
}

int RegReadDword(const char* subkey, const char* name, DWORD& out)
{
    s_mem value;
    DWORD type = REG_NONE;
    if (!ReadRaw(subkey, name, value, type) || type != REG_DWORD || value.Length() < sizeof(DWORD))
        return 0;
    std::memcpy(&out, value.Data(), sizeof(DWORD));
    return 1;
}

int RegWriteDword(const char* subkey, const char* name, DWORD value)
{
    s_mem data;
    data.Assign(&value, sizeof value);
    return RegWriteValue(HKEY_CURRENT_USER, subkey, name, data, REG_DWORD);
}

int RegCountSubkeys(HKEY hive, const char* subkey)
{
    RegKey key;
    if (!key.Open(hive, subkey, KEY_READ))
        return -1;
    int count = 0;
    char name[256];
    while (RegEnumKeyA(key.get(), static_cast<DWORD>(count), name, sizeof name) == ERROR_SUCCESS)
        ++count;
    return count;
}

int RegEnumSubkeyName(HKEY& key, DWORD index, std::string& out)
{
    RegKey owner(key);
    key = nullptr;
    if (owner.get() == nullptr)
        return 0;
    char name[256];
    if (RegEnumKeyA(owner.get(), index, name, sizeof name) != ERROR_SUCCESS)
        return 0;
    out.assign(name, strnlen(name, sizeof name));
    return 1;
}

int RegDeleteKeyTree(HKEY hive, const char* subkey, const char* name)
{
    if (IsEmptyPath(subkey))
        return 0;
    if (name != nullptr) {
        RegKey key;
        if (!key.Open(hive, subkey, KEY_ALL_ACCESS))
            return 0;
        return RegDeleteValueA(key.get(), name) == ERROR_SUCCESS ? 1 : 0;
    }
    return DeleteTree(hive, subkey);
}

int WriteSettingDword(const char* subkey, const char* name, DWORD value)
{
    return RegWriteDword(subkey, name, value);
}

int WriteSettingString(const char* subkey, const char* name, const char* text)
{
    return RegWriteString(HKEY_CURRENT_USER, subkey, name, text);
}
