// Registry values a test puts in the prefix and takes out again: every value
// it sets is restored to what it was (or deleted), and every key it had to
// make is deleted, when the seed goes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class RegistrySeed {
public:
    RegistrySeed() = default;
    RegistrySeed(const RegistrySeed&) = delete;
    RegistrySeed& operator=(const RegistrySeed&) = delete;
    ~RegistrySeed()
    {
        for (auto value = FValues.rbegin(); value != FValues.rend(); ++value) Restore(*value);
        for (auto key = FCreatedKeys.rbegin(); key != FCreatedKeys.rend(); ++key)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, key->c_str());
    }

    // Sets the value under HKEY_LOCAL_MACHINE\subKey; false when the key cannot
    // be made or the value not written.
    bool Set(const std::string& subKey, const std::string& name, DWORD type, const void* data, DWORD dataSize)
    {
        if (!MakeKey(subKey)) return false;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
            return false;
        TSaved saved;
        saved.FKey = subKey;
        saved.FName = name;
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &saved.FType, nullptr, &size) == ERROR_SUCCESS) {
            saved.FExisted = true;
            saved.FData.resize(size);
            RegQueryValueExA(key, name.c_str(), nullptr, &saved.FType, saved.FData.data(), &size);
        }
        FValues.push_back(saved);
        const bool written =
            RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), dataSize) == ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    }
    bool SetString(const std::string& subKey, const std::string& name, const std::string& value)
    {
        return Set(subKey, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
    }
    bool SetDword(const std::string& subKey, const std::string& name, std::uint32_t value)
    {
        return Set(subKey, name, REG_DWORD, &value, sizeof value);
    }
    // Removes the value for the seed's lifetime (restored afterwards).
    bool Remove(const std::string& subKey, const std::string& name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
            return true;  // nothing there to hide
        TSaved saved;
        saved.FKey = subKey;
        saved.FName = name;
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, &saved.FType, nullptr, &size) == ERROR_SUCCESS) {
            saved.FExisted = true;
            saved.FData.resize(size);
            RegQueryValueExA(key, name.c_str(), nullptr, &saved.FType, saved.FData.data(), &size);
            FValues.push_back(saved);
            RegDeleteValueA(key, name.c_str());
        }
        RegCloseKey(key);
        return true;
    }

private:
    struct TSaved {
        std::string FKey;
        std::string FName;
        bool FExisted = false;
        DWORD FType = 0;
        std::vector<BYTE> FData;
    };

    // Makes the key and its missing parents, remembering the first one made.
    bool MakeKey(const std::string& subKey)
    {
        std::size_t end = 0;
        while (end != std::string::npos) {
            end = subKey.find('\\', end + 1);
            const std::string part = subKey.substr(0, end);
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, part.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                continue;
            }
            if (!Create(part)) return false;
            FCreatedKeys.push_back(part);
            return MakeRest(subKey);
        }
        return true;
    }
    bool MakeRest(const std::string& subKey)
    {
        std::size_t end = 0;
        do {
            end = subKey.find('\\', end + 1);
            if (!Create(subKey.substr(0, end))) return false;
        } while (end != std::string::npos);
        return true;
    }
    // Below a volatile key (the hardware tree) only volatile keys can be made.
    static bool Create(const std::string& subKey)
    {
        HKEY key = nullptr;
        for (DWORD options : {REG_OPTION_NON_VOLATILE, REG_OPTION_VOLATILE}) {
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, nullptr, options, KEY_READ | KEY_WRITE, nullptr,
                                &key, nullptr) == ERROR_SUCCESS) {
                RegCloseKey(key);
                return true;
            }
        }
        return false;
    }
    static void Restore(const TSaved& saved)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, saved.FKey.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
        if (saved.FExisted)
            RegSetValueExA(key, saved.FName.c_str(), 0, saved.FType, saved.FData.data(),
                           static_cast<DWORD>(saved.FData.size()));
        else
            RegDeleteValueA(key, saved.FName.c_str());
        RegCloseKey(key);
    }

    std::vector<TSaved> FValues;
    std::vector<std::string> FCreatedKeys;  // the topmost key made for each value, deleted with its subtree
};

}  // namespace testsupport
