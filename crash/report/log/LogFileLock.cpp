#include "crash/report/log/LogFileLock.h"

#include <cstdint>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/EHash.h"

namespace crash {

std::wstring LogFileLockName(const std::string& fileName)
{
    std::wstring path = rtl::AnsiToWide(GetLongNameFromShort(ExpandEnvVars(fileName)));
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        std::vector<wchar_t> full(needed + 1);
        const DWORD length = ::GetFullPathNameW(path.c_str(), needed + 1, full.data(), nullptr);
        if (length > 0 && length <= needed) path.assign(full.data(), length);
    }
    // Windows compares file names without case: fold them as it does.
    if (!path.empty()) ::CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));

    std::uint8_t digest[16];
    GetMD5(digest, path.data(), path.size() * sizeof(wchar_t));
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring name = L"VexlorLog_Log_";
    for (const std::uint8_t byte : digest) {
        name += kHex[byte >> 4];
        name += kHex[byte & 15];
    }
    return name;
}

TLogFileLock::TLogFileLock(const std::string& fileName, DWORD timeoutMs) : FMutex(LogFileLockName(fileName))
{
    switch (FMutex.WaitFor(timeoutMs)) {
    case rtl::TWaitResult::wrSignaled: break;
    case rtl::TWaitResult::wrAbandoned: FAbandoned = true; break;
    case rtl::TWaitResult::wrTimeout:
        throw ELogFileLocked("The log file \"" + fileName + "\" is in use by another writer: it stayed locked for " +
                             std::to_string(timeoutMs / 1000) + " s.");
    default:
        throw ELogFileLocked("The lock of the log file \"" + fileName + "\" cannot be taken. " +
                             rtl::WideToAnsi(rtl::SysErrorMessage(::GetLastError())));
    }
}

TLogFileLock::~TLogFileLock()
{
    FMutex.Release();
}

}  // namespace crash
