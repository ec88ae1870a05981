// Registry reads of the core utilities.
#include "crash/engine/ECore.h"
#include "rtl/Handles.h"

namespace crash {

namespace {

const char* SubKey(const std::string& key) noexcept
{
    return key.c_str() + (key.starts_with('\\') ? 1 : 0);
}

}  // namespace

std::string ReadKey(HKEY Root, const std::string& Key, const std::string& Name)
{
    rtl::RegistryKey key;
    if (::RegOpenKeyExA(Root, SubKey(Key), 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return {};
    std::string value;
    // A value that keeps growing between the calls is given up after a few rounds.
    for (int attempt = 0;; ++attempt) {
        if (attempt == 8) return {};
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(value.size());
        const LONG status = ::RegQueryValueExA(key.Get(), Name.c_str(), nullptr, &type,
                                               value.empty() ? nullptr : reinterpret_cast<BYTE*>(value.data()), &size);
        if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
        // A first call with no buffer, or a value that grew meanwhile, answers the size.
        if ((status == ERROR_SUCCESS && value.empty() && size > 0) || status == ERROR_MORE_DATA) {
            value.assign(size, '\0');
            continue;
        }
        if (status != ERROR_SUCCESS) return {};
        value.resize(size);
        break;
    }
    // Stored strings need not end in a zero: the last character goes only when
    // it is one. Zeros before it belong to the stored value and stay.
    if (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

bool CheckKey(HKEY Root, const std::string& Key)
{
    rtl::RegistryKey key;
    return ::RegOpenKeyExA(Root, SubKey(Key), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

}  // namespace crash
