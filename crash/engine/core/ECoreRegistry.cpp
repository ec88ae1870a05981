// Registry reads of the core utilities.
#include "crash/engine/ECore.h"
#include "rtl/Handles.h"

namespace crash {

namespace {

const char* SubKey(const std::string& key) noexcept
{
    return key.c_str() + (key.starts_with('\\') ? 1 : 0);
}

rtl::RegistryKey OpenForReading(HKEY root, const std::string& key)
{
    rtl::RegistryKey opened;
    // A failed open may leave anything in the slot: it is no key to close.
    if (::RegOpenKeyExA(root, SubKey(key), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS) opened.Release();
    return opened;
}

// The value's type and bytes; false when it is missing, and when it keeps
// growing between the calls for a few rounds.
bool QueryValue(HKEY key, const std::string& name, DWORD& type, std::string& bytes)
{
    bytes.clear();
    for (int attempt = 0; attempt < 8; ++attempt) {
        type = REG_NONE;
        DWORD size = static_cast<DWORD>(bytes.size());
        const LONG status = ::RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                               bytes.empty() ? nullptr : reinterpret_cast<BYTE*>(bytes.data()), &size);
        // A first call with no buffer, or a value that grew meanwhile, answers the size.
        if ((status == ERROR_SUCCESS && bytes.empty() && size > 0) || status == ERROR_MORE_DATA) {
            bytes.assign(size, '\0');
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        bytes.resize(size);
        return true;
    }
    bytes.clear();
    return false;
}

std::string SubKeyAt(HKEY key, DWORD index, bool& found)
{
    char name[256];
    DWORD length = sizeof name;
    found = ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    return found ? std::string(name, length) : std::string();
}

}  // namespace

std::string ReadKey(HKEY root, const std::string& key, const std::string& name)
{
    const rtl::RegistryKey opened = OpenForReading(root, key);
    if (!opened) return {};
    DWORD type = REG_NONE;
    std::string value;
    if (!QueryValue(opened.Get(), name, type, value) || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    // Stored strings need not end in a zero: the last character goes only when
    // it is one. Zeros before it belong to the stored value and stay.
    if (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

bool ReadKeyBytes(HKEY root, const std::string& key, const std::string& name, std::string& bytes)
{
    bytes.clear();
    const rtl::RegistryKey opened = OpenForReading(root, key);
    DWORD type = REG_NONE;
    return opened && QueryValue(opened.Get(), name, type, bytes);
}

bool ReadKeyDword(HKEY root, const std::string& key, const std::string& name, std::uint32_t& value)
{
    std::string bytes;
    if (!ReadKeyBytes(root, key, name, bytes) || bytes.size() != sizeof value) return false;
    value = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    return true;
}

std::string FirstSubKey(HKEY root, const std::string& key)
{
    const rtl::RegistryKey opened = OpenForReading(root, key);
    if (!opened) return {};
    bool found = false;
    return SubKeyAt(opened.Get(), 0, found);
}

std::string LastSubKey(HKEY root, const std::string& key)
{
    const rtl::RegistryKey opened = OpenForReading(root, key);
    if (!opened) return {};
    std::string last;
    for (DWORD index = 0;; ++index) {
        bool found = false;
        std::string name = SubKeyAt(opened.Get(), index, found);
        if (!found) break;
        last = std::move(name);
    }
    return last;
}

bool CheckKey(HKEY root, const std::string& key)
{
    return static_cast<bool>(OpenForReading(root, key));
}

}  // namespace crash
