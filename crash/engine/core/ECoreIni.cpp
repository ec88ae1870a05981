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

std::string ReadString(const std::string& File, const std::string& Section, const std::string& Key,
                       const std::string& Default)
{
    std::string placed;
    if (!PlaceIniFile(File, placed)) return Default;
    // The profile functions would trim the blanks and quotes off a default and
    // cut it at the buffer, so the default never goes through them. A key that
    // is present gives the same text whatever default it is read with; an
    // absent one gives back the default it was given. An empty answer is read
    // once more with another default to tell the two apart.
    const auto read = [&](const char* fallback) {
        std::string value(kValueBuffer, '\0');
        const DWORD length = ::GetPrivateProfileStringA(Section.c_str(), Key.c_str(), fallback, value.data(),
                                                        kValueBuffer, placed.c_str());
        value.resize(length);
        return value;
    };
    std::string value = read("");
    if (!value.empty()) return value;
    return read("-").empty() ? value : Default;
}

int ReadInteger(const std::string& File, const std::string& Section, const std::string& Key, int Default)
{
    int value = Default;
    // The runtime's own integer grammar: blanks, a sign, decimal or "$"/"0x" hexadecimal.
    return rtl::TryStrToInt(ReadString(File, Section, Key, std::to_string(Default)), value) ? value : Default;
}

bool ReadBool(const std::string& File, const std::string& Section, const std::string& Key, bool Default)
{
    return ReadInteger(File, Section, Key, Default ? 1 : 0) == 1;
}

bool WriteString(const std::string& File, const std::string& Section, const std::string& Key, const std::string& Value)
{
    std::string placed;
    if (!PlaceIniFile(File, placed)) return false;
    if (::WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.c_str(), placed.c_str())) return true;
    SetLastVexlorLogError(eeLogError, "Cannot write the key \"" + Key + "\" to \"" + placed + "\".");
    return false;
}

bool WriteInteger(const std::string& File, const std::string& Section, const std::string& Key, int Value)
{
    return WriteString(File, Section, Key, std::to_string(Value));
}

bool WriteBool(const std::string& File, const std::string& Section, const std::string& Key, bool Value)
{
    return WriteString(File, Section, Key, Value ? "1" : "0");
}

}  // namespace crash
