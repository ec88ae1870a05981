// INI values of the core utilities, over the system's profile functions.
#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

constexpr DWORD kValueBuffer = 2048;

// The INI file as the library uses it: a bare name lies in its default folder,
// and the file must be one that can be written.
bool PlaceIniFile(const std::string& file, std::string& placed)
{
    placed = core::ExtractFilePath(file).empty() ? core::JoinPath(GetLibraryDefaultFolder(), file) : file;
    return GetWorkingFile(placed, false, false);
}

}  // namespace

std::string ReadString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& defaultText)
{
    std::string placed;
    if (!PlaceIniFile(file, placed)) return defaultText;
    // The profile functions would trim the blanks and quotes off a default and
    // cut it at the buffer, so the default never goes through them. A key that
    // is present gives the same text whatever default it is read with; an
    // absent one gives back the default it was given. An empty answer is read
    // once more with another default to tell the two apart.
    const auto read = [&](const char* fallback) {
        std::string value(kValueBuffer, '\0');
        const DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback, value.data(),
                                                        kValueBuffer, placed.c_str());
        value.resize(length);
        return value;
    };
    std::string value = read("");
    if (!value.empty()) return value;
    return read("-").empty() ? value : defaultText;
}

int ReadInteger(const std::string& file, const std::string& section, const std::string& key, int defaultValue)
{
    int value = defaultValue;
    // The runtime's own integer grammar: blanks, a sign, decimal or "$"/"0x" hexadecimal.
    return rtl::TryStrToInt(ReadString(file, section, key, std::to_string(defaultValue)), value) ? value : defaultValue;
}

bool ReadBool(const std::string& file, const std::string& section, const std::string& key, bool defaultValue)
{
    return ReadInteger(file, section, key, defaultValue ? 1 : 0) == 1;
}

bool WriteString(const std::string& file, const std::string& section, const std::string& key, const std::string& value)
{
    std::string placed;
    if (!PlaceIniFile(file, placed)) return false;
    if (::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), placed.c_str())) return true;
    SetLastVexlorLogError(eeLogError, "Cannot write the key \"" + key + "\" to \"" + placed + "\".");
    return false;
}

bool WriteInteger(const std::string& file, const std::string& section, const std::string& key, int value)
{
    return WriteString(file, section, key, std::to_string(value));
}

bool WriteBool(const std::string& file, const std::string& section, const std::string& key, bool value)
{
    return WriteString(file, section, key, value ? "1" : "0");
}

}  // namespace crash
