// INI files over the system's profile functions.
#include "rtl/IniFiles.h"

#include <vector>

namespace rtl {

TIniFile::~TIniFile()
{
    UpdateFile();
}

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& ident,
                                  const std::wstring& defaultValue) const
{
    // The profile functions cut a value that does not fit; grow until it does.
    const auto read = [&](const wchar_t* fallback) {
        std::vector<wchar_t> buffer(2048);
        for (;;) {
            const DWORD length = ::GetPrivateProfileStringW(section.c_str(), ident.c_str(), fallback, buffer.data(),
                                                            static_cast<DWORD>(buffer.size()), FFileName.c_str());
            if (length + 1 < buffer.size() || buffer.size() >= 1u << 20) return std::wstring(buffer.data(), length);
            buffer.resize(buffer.size() * 4);
        }
    };
    // They would also trim the blanks and quotes off a default, so the default
    // never goes through them. A key that is present gives the same text
    // whatever default it is read with; an absent one gives back the default
    // it was given. An empty answer is read once more with another default to
    // tell the two apart.
    std::wstring value = read(L"");
    if (!value.empty()) return value;
    return read(L"-").empty() ? value : defaultValue;
}

int TIniFile::ReadInteger(const std::wstring& section, const std::wstring& ident, int defaultValue) const
{
    const std::wstring text = ReadString(section, ident, L"");
    // Only "0x"/"0X" hexadecimal, plain decimal with an optional sign: other
    // spellings the integer reader accepts ("$10", leading blanks) are not
    // what a hand-edited settings file means.
    if (text.empty() || text[0] == L'$' || text[0] == L' ') return defaultValue;
    if (text.size() > 1 && (text[0] == L'+' || text[0] == L'-') && text[1] == L'$') return defaultValue;
    return StrToIntDef(text, defaultValue);
}

void TIniFile::WriteString(const std::wstring& section, const std::wstring& ident, const std::wstring& value)
{
    if (!::WritePrivateProfileStringW(section.c_str(), ident.c_str(), value.c_str(), FFileName.c_str()))
        throw EIniFileException("Unable to write to " + WideToAnsi(FFileName));
}

void TIniFile::WriteInteger(const std::wstring& section, const std::wstring& ident, int value)
{
    WriteString(section, ident, IntToStr(value));
}

void TIniFile::UpdateFile() noexcept
{
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, FFileName.c_str());
}

}  // namespace rtl
