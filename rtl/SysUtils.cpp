// The runtime's exception classes and text conversions.
#include "rtl/SysUtils.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <type_traits>

namespace rtl {

namespace {

std::string AddressText(const void* address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(address)));
    return text;
}

EXCEPTION_RECORD WithoutNestedRecord(const EXCEPTION_RECORD& record)
{
    EXCEPTION_RECORD copy = record;
    copy.ExceptionRecord = nullptr;
    if (copy.NumberParameters > EXCEPTION_MAXIMUM_PARAMETERS) copy.NumberParameters = EXCEPTION_MAXIMUM_PARAMETERS;
    return copy;
}

EAccessViolation::TAccess AccessOf(const EXCEPTION_RECORD& record)
{
    if (record.NumberParameters < 1) return EAccessViolation::TAccess::acRead;
    switch (record.ExceptionInformation[0]) {
    case 1: return EAccessViolation::TAccess::acWrite;
    case 8: return EAccessViolation::TAccess::acExecute;
    default: return EAccessViolation::TAccess::acRead;
    }
}

const void* AccessAddressOf(const EXCEPTION_RECORD& record)
{
    return record.NumberParameters >= 2 ? reinterpret_cast<const void*>(record.ExceptionInformation[1]) : nullptr;
}

std::string AccessViolationText(const EXCEPTION_RECORD& record)
{
    static constexpr const char* kAccessText[] = {"Read of address ", "Write of address ", "Execution of address "};
    return "Access violation at address " + AddressText(record.ExceptionAddress) + ". " +
           kAccessText[static_cast<int>(AccessOf(record))] + AddressText(AccessAddressOf(record));
}

}  // namespace

EExternal::EExternal(std::string message, const EXCEPTION_RECORD& record)
    : Exception(std::move(message)), FExceptionRecord(WithoutNestedRecord(record))
{}

EAccessViolation::EAccessViolation(const EXCEPTION_RECORD& record)
    : EExternal(AccessViolationText(record), record), FAccess(AccessOf(record)), FAccessAddress(AccessAddressOf(record))
{}

void Abort()
{
    throw EAbort("Operation aborted");
}

void RaiseLastOSError()
{
    RaiseLastOSError(::GetLastError());
}

void RaiseLastOSError(DWORD errorCode)
{
    char code[48];
    std::snprintf(code, sizeof code, "System Error.  Code: %lu.\r\n", static_cast<unsigned long>(errorCode));
    throw EOSError(code + WideToAnsi(SysErrorMessage(errorCode)), errorCode);
}

std::wstring SysErrorMessage(DWORD errorCode)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", buffer != nullptr ? length : 0);
    if (buffer != nullptr) ::LocalFree(buffer);
    // The system ends its sentences with a full stop and a line break; the
    // text goes into sentences of ours.
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
    return text;
}

std::wstring AnsiToWide(std::string_view text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string WideToAnsi(std::wstring_view text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

namespace {

template <class Char>
std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) noexcept
{
    const auto blank = [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string_view Trim(std::string_view text) noexcept
{
    return TrimBlanks(text);
}

std::wstring_view Trim(std::wstring_view text) noexcept
{
    return TrimBlanks(text);
}

bool SameTextNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace rtl
