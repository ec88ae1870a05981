// Registry reads of the core utilities.
#include "crash/engine/ECore.h"
#include "rtl/Handles.h"

namespace crash {

namespace {

const char* SubKey(const std::string& key) noexcept
{
    return key.c_str() + (key.starts_with('\\') ? 1 : 0);
}

rtl::RegistryKey OpenForReading(HKEY Root, const std::string& Key)
{
    rtl::RegistryKey key;
    // A failed open may leave anything in the slot: it is no key to close.
    if (::RegOpenKeyExA(Root, SubKey(Key), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) key.Release();
    return key;
}

// The value's type and bytes; false when it is missing, and when it keeps
// growing between the calls for a few rounds.
bool QueryValue(HKEY Key, const std::string& Name, DWORD& Type, std::string& Bytes)
{
    Bytes.clear();
    for (int attempt = 0; attempt < 8; ++attempt) {
        Type = REG_NONE;
        DWORD size = static_cast<DWORD>(Bytes.size());
        const LONG status = ::RegQueryValueExA(Key, Name.c_str(), nullptr, &Type,
                                               Bytes.empty() ? nullptr : reinterpret_cast<BYTE*>(Bytes.data()), &size);
        // A first call with no buffer, or a value that grew meanwhile, answers the size.
        if ((status == ERROR_SUCCESS && Bytes.empty() && size > 0) || status == ERROR_MORE_DATA) {
            Bytes.assign(size, '\0');
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        Bytes.resize(size);
        return true;
    }
    Bytes.clear();
    return false;
}

std::string SubKeyAt(HKEY Key, DWORD Index, bool& Found)
{
    char name[256];
    DWORD length = sizeof name;
    Found = ::RegEnumKeyExA(Key, Index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    return Found ? std::string(name, length) : std::string();
}

}  // namespace

std::string ReadKey(HKEY Root, const std::string& Key, const std::string& Name)
{
    const rtl::RegistryKey key = OpenForReading(Root, Key);
    if (!key) return {};
    DWORD type = REG_NONE;
    std::string value;
    if (!QueryValue(key.Get(), Name, type, value) || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    // Stored strings need not end in a zero: the last character goes only when
    // it is one. Zeros before it belong to the stored value and stay.
    if (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

bool ReadKeyBytes(HKEY Root, const std::string& Key, const std::string& Name, std::string& Bytes)
{
    Bytes.clear();
    const rtl::RegistryKey key = OpenForReading(Root, Key);
    DWORD type = REG_NONE;
    return key && QueryValue(key.Get(), Name, type, Bytes);
}

bool ReadKeyDword(HKEY Root, const std::string& Key, const std::string& Name, std::uint32_t& Value)
{
    std::string bytes;
    if (!ReadKeyBytes(Root, Key, Name, bytes) || bytes.size() != sizeof Value) return false;
    Value = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    return true;
}

std::string FirstSubKey(HKEY Root, const std::string& Key)
{
    const rtl::RegistryKey key = OpenForReading(Root, Key);
    if (!key) return {};
    bool found = false;
    return SubKeyAt(key.Get(), 0, found);
}

std::string LastSubKey(HKEY Root, const std::string& Key)
{
    const rtl::RegistryKey key = OpenForReading(Root, Key);
    if (!key) return {};
    std::string last;
    for (DWORD index = 0;; ++index) {
        bool found = false;
        std::string name = SubKeyAt(key.Get(), index, found);
        if (!found) break;
        last = std::move(name);
    }
    return last;
}

bool CheckKey(HKEY Root, const std::string& Key)
{
    return static_cast<bool>(OpenForReading(Root, Key));
}

}  // namespace crash
