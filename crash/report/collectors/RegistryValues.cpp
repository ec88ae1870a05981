// Registry values of any type and subkey names, for the collectors that read
// the hardware keys; and the product version of a file.
#include <vector>

#include "crash/report/collectors/CollectorsInternal.h"
#include "rtl/Handles.h"

namespace crash {

namespace collectors {

namespace {

rtl::RegistryKey OpenForReading(HKEY Root, const std::string& Key)
{
    const char* path = Key.c_str();
    if (*path == '\\') ++path;
    rtl::RegistryKey key;
    if (::RegOpenKeyExA(Root, path, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) key.Release();
    return key;
}

}  // namespace

bool ReadRegistryBytes(HKEY Root, const std::string& Key, const std::string& Name, std::string& Bytes)
{
    Bytes.clear();
    const rtl::RegistryKey key = OpenForReading(Root, Key);
    if (!key) return false;
    DWORD size = 0;
    if (::RegQueryValueExA(key.Get(), Name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    // A value may grow between the two calls: ask again with the new size.
    for (int attempt = 0; attempt < 3; ++attempt) {
        Bytes.resize(size);
        DWORD got = size;
        const LONG status =
            ::RegQueryValueExA(key.Get(), Name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(Bytes.data()), &got);
        if (status == ERROR_SUCCESS) {
            Bytes.resize(got);
            return true;
        }
        if (status != ERROR_MORE_DATA) break;
        size = got;
    }
    Bytes.clear();
    return false;
}

bool ReadRegistryDword(HKEY Root, const std::string& Key, const std::string& Name, std::uint32_t& Value)
{
    std::string bytes;
    if (!ReadRegistryBytes(Root, Key, Name, bytes) || bytes.size() != sizeof Value) return false;
    Value = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    return true;
}

namespace {

std::string SubKeyAt(HKEY Key, DWORD Index, bool& Found)
{
    char name[256];
    DWORD length = sizeof name;
    Found = ::RegEnumKeyExA(Key, Index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    return Found ? std::string(name, length) : std::string();
}

}  // namespace

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

}  // namespace collectors

std::string FileProductVersion(const std::string& FileName)
{
    if (FileName.empty()) return {};
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(FileName.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(FileName.c_str(), 0, size, block.data())) return {};
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && value &&
        length >= 2 * sizeof(WORD)) {
        const WORD* translation = static_cast<const WORD*>(value);
        char path[64];
        wsprintfA(path, "\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0], translation[1]);
        if (::VerQueryValueA(block.data(), path, &value, &length) && value && length > 0) {
            std::string text(static_cast<const char*>(value), length);
            text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
            if (!text.empty()) return text;
        }
    }
    if (::VerQueryValueA(block.data(), "\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        char text[64];
        wsprintfA(text, "%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                  HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
        return text;
    }
    return {};
}

}  // namespace crash
