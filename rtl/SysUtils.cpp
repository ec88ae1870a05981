// The runtime's exception classes and text conversions.
#include "rtl/SysUtils.h"

#include <cstdio>

namespace rtl {

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
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        errorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
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

}  // namespace rtl
