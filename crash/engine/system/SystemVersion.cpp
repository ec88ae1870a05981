// The Windows version: its fields, tests and text.
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "crash/engine/system/SystemInfo.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// ntdll's version query, which answers the real numbers whatever the
// program's manifest says.
using TRtlGetVersion = LONG WINAPI(OSVERSIONINFOEXW*);

HMODULE Kernel32() noexcept
{
    return ::GetModuleHandleW(L"kernel32.dll");
}

std::string MajorMinor(const TWindowsVersion& version)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lu.%lu", version.MajorVersion, version.MinorVersion);
    return text;
}

// The kernel's version query, extended when it can be.
bool QueryKernelVersion(TWindowsVersion& version)
{
    OSVERSIONINFOEXA extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    bool isExtended = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != FALSE;
    if (!isExtended) {
        extended = {};
        extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&extended))) return false;
    }
    version.PlatformId = extended.dwPlatformId;
    version.MajorVersion = extended.dwMajorVersion;
    version.MinorVersion = extended.dwMinorVersion;
    version.BuildNumber = extended.dwBuildNumber;
    version.ServicePack.assign(extended.szCSDVersion, ::strnlen(extended.szCSDVersion, 128));
    version.Workstation = isExtended && extended.wProductType == VER_NT_WORKSTATION;
    return true;
}

}  // namespace

TWindowsVersion QueryWindowsVersion()
{
    TWindowsVersion version;
    bool numbers = false;
    if (auto* getVersion = rtl::EntryPoint<TRtlGetVersion>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")) {
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (getVersion(&info) == 0) {
            version.PlatformId = info.dwPlatformId;
            version.MajorVersion = info.dwMajorVersion;
            version.MinorVersion = info.dwMinorVersion;
            version.BuildNumber = info.dwBuildNumber;
            version.ServicePack =
                rtl::WideToAnsi(std::wstring_view(info.szCSDVersion, ::wcsnlen(info.szCSDVersion, 128)));
            version.Workstation = info.wProductType == VER_NT_WORKSTATION;
            numbers = true;
        }
    }
    if (!numbers) QueryKernelVersion(version);
    version.Wow64 = IsWow64();
    return version;
}

bool OSIsWindows95()
{
    const TWindowsVersion version = QueryWindowsVersion();
    return version.PlatformId == VER_PLATFORM_WIN32_WINDOWS && version.MinorVersion < 10;
}

bool OSIsWindowsNT4()
{
    const TWindowsVersion version = QueryWindowsVersion();
    return version.PlatformId == VER_PLATFORM_WIN32_NT && version.MajorVersion < 5;
}

bool OSIsVistaOrLater()
{
    const TWindowsVersion version = QueryWindowsVersion();
    return version.PlatformId == VER_PLATFORM_WIN32_NT && version.MajorVersion > 5;
}

bool IsWorkstation()
{
    return QueryWindowsVersion().Workstation;
}

bool IsWow64()
{
    auto* isWow64 = rtl::EntryPoint<decltype(::IsWow64Process)>(Kernel32(), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(::GetCurrentProcess(), &wow64) && wow64;
}

std::string WindowsVersionText(const TWindowsVersion& version)
{
    std::string text = "Microsoft Windows ";
    if (version.PlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        const std::string_view servicePack = rtl::Trim(version.ServicePack);
        if (version.MinorVersion < 10)
            text += servicePack == "B" ? "95 OSR 2" : "95";
        else if (version.MinorVersion < 90)
            text += servicePack == "A" ? "98 SE" : "98";
        else if (version.MinorVersion == 90)
            text += "ME";
        else
            text += MajorMinor(version);
    } else if (version.PlatformId == VER_PLATFORM_WIN32_NT) {
        if (version.MajorVersion == 4) {
            text += "NT 4.0";
        } else if (version.MajorVersion == 5) {
            switch (version.MinorVersion) {
            case 0: text += "2000"; break;
            case 1: text += "XP"; break;
            case 2: text += version.Workstation ? "XP" : "2003"; break;
            default: text += MajorMinor(version);
            }
        } else if (version.MajorVersion == 6 && version.MinorVersion == 0) {
            text += version.Workstation ? "Vista" : "Server 2008";
        } else if (version.MajorVersion == 6 && version.MinorVersion == 1) {
            text += version.Workstation ? "7" : "Server 2008 R2";
        } else {
            text += MajorMinor(version);
        }
        if (version.Wow64) text += " (64 bit)";
    }
    SetCurrentCodePage(text);
    return text;
}

std::string WindowsVersionText()
{
    return WindowsVersionText(QueryWindowsVersion());
}

std::string WindowsBuildText(const TWindowsVersion& version)
{
    const DWORD build =
        version.PlatformId == VER_PLATFORM_WIN32_WINDOWS ? version.BuildNumber & 0xFFFF : version.BuildNumber;
    return std::to_string(build);
}

std::string WindowsBuildText()
{
    return WindowsBuildText(QueryWindowsVersion());
}

}  // namespace crash
