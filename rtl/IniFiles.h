// INI files over the system's profile functions.
#pragma once
#include <string>

#include "rtl/SysUtils.h"

namespace rtl {

// A value could not be written: "Unable to write to <file name>".
class EIniFileException : public Exception {
public:
    RTL_CLASS(EIniFileException)
    using Exception::Exception;
};

// One INI file, read and written through the Win32 profile functions (which
// keep text in the system ANSI code page when they create the file).
// Reads never fail: a missing file or key gives the default. Every write is
// checked: a refused write raises EIniFileException. Use it from one thread.
class TIniFile : public TObject {
public:
    explicit TIniFile(std::wstring fileName) : FFileName(std::move(fileName)) {}
    // Flushes what the system may still hold for the file; never raises.
    ~TIniFile() override;

    const std::wstring& FileName() const { return FFileName; }

    // A key present with an empty value gives empty text, not the default; an
    // absent key gives the default exactly as it stands, blanks and quotes kept.
    std::wstring ReadString(const std::wstring& section, const std::wstring& ident,
                            const std::wstring& defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives the default.
    int ReadInteger(const std::wstring& section, const std::wstring& ident, int defaultValue) const;

    void WriteString(const std::wstring& section, const std::wstring& ident, const std::wstring& value);
    void WriteInteger(const std::wstring& section, const std::wstring& ident, int value);

    // Has the system write out what it caches for the file. The systems
    // differ in what this call answers, so the answer is not a failure.
    void UpdateFile() noexcept;

private:
    std::wstring FFileName;
};

}  // namespace rtl
