// The Windows version: its text from the fields, and the live numbers.
#include <gtest/gtest.h>

#include "crash/engine/system/SystemInfo.h"
#include "rtl/Libraries.h"

namespace crash {
namespace {

constexpr DWORD k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr DWORD kNT = VER_PLATFORM_WIN32_NT;

TEST(WindowsVersion, TextOfEveryRow)
{
    static const struct {
        DWORD platform, major, minor;
        const char* servicePack;
        bool workstation, wow64;
        const char* text;
    } kCases[] = {
        {k9x, 4, 0, "B", false, false, "Microsoft Windows 95 OSR 2"},
        {k9x, 4, 0, " B ", false, false, "Microsoft Windows 95 OSR 2"},  // trimmed
        {k9x, 4, 0, "", false, true, "Microsoft Windows 95"},            // no 64-bit suffix on 9x
        {k9x, 4, 10, "A", false, false, "Microsoft Windows 98 SE"},
        {k9x, 4, 89, "", false, false, "Microsoft Windows 98"},
        {k9x, 4, 90, "", false, false, "Microsoft Windows ME"},
        {k9x, 4, 91, "", false, false, "Microsoft Windows 4.91"},
        {kNT, 4, 0, "Service Pack 6", false, false, "Microsoft Windows NT 4.0"},
        {kNT, 5, 0, "", true, false, "Microsoft Windows 2000"},
        {kNT, 5, 1, "", true, true, "Microsoft Windows XP (64 bit)"},
        {kNT, 5, 2, "", true, false, "Microsoft Windows XP"},
        {kNT, 5, 2, "", false, false, "Microsoft Windows 2003"},
        {kNT, 5, 3, "", true, false, "Microsoft Windows 5.3"},
        {kNT, 6, 0, "", true, false, "Microsoft Windows Vista"},
        {kNT, 6, 0, "", false, false, "Microsoft Windows Server 2008"},
        {kNT, 6, 1, "", true, true, "Microsoft Windows 7 (64 bit)"},
        {kNT, 6, 1, "", false, true, "Microsoft Windows Server 2008 R2 (64 bit)"},
        {kNT, 6, 2, "", true, true, "Microsoft Windows 6.2 (64 bit)"},
        {kNT, 6, 2, "", true, false, "Microsoft Windows 6.2"},
        {kNT, 10, 0, "", true, false, "Microsoft Windows 10.0"},
        {kNT, 3, 51, "", true, false, "Microsoft Windows 3.51"},
        {0, 3, 10, "", false, true, "Microsoft Windows "},  // Win32s: no line of ours
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        TWindowsVersion version;
        version.PlatformId = c.platform;
        version.MajorVersion = c.major;
        version.MinorVersion = c.minor;
        version.ServicePack = c.servicePack;
        version.Workstation = c.workstation;
        version.Wow64 = c.wow64;
        EXPECT_EQ(WindowsVersionText(version), c.text);
    }
}

TEST(WindowsVersion, BuildTextKeepsTheLowWordOn9x)
{
    TWindowsVersion version;
    version.PlatformId = k9x;
    version.BuildNumber = 0x040A0BB8;  // 98 SE: 4.10 in the high word, build 3000
    EXPECT_EQ(WindowsBuildText(version), "3000");
    version.PlatformId = kNT;
    version.BuildNumber = 19045;
    EXPECT_EQ(WindowsBuildText(version), "19045");
}

// The kernel's query answers 6.2 to a program without a compatibility
// manifest (Wine does the same); ntdll's has the real numbers.
TEST(WindowsVersion, NumbersComeFromNtdll)
{
    using TRtlGetVersion = LONG WINAPI(OSVERSIONINFOEXW*);
    auto* rtlGetVersion = rtl::EntryPoint<TRtlGetVersion>(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOEXW ntdll{};
    ntdll.dwOSVersionInfoSize = sizeof ntdll;
    ASSERT_EQ(rtlGetVersion(&ntdll), 0);
    OSVERSIONINFOA kernel{};
    kernel.dwOSVersionInfoSize = sizeof kernel;
    ASSERT_TRUE(GetVersionExA(&kernel));

    const TWindowsVersion version = QueryWindowsVersion();
    EXPECT_EQ(version.PlatformId, ntdll.dwPlatformId);
    EXPECT_EQ(version.MajorVersion, ntdll.dwMajorVersion);
    EXPECT_EQ(version.MinorVersion, ntdll.dwMinorVersion);
    EXPECT_EQ(version.BuildNumber, ntdll.dwBuildNumber);
    EXPECT_EQ(version.Workstation, ntdll.wProductType == VER_NT_WORKSTATION);
    if (kernel.dwMajorVersion == ntdll.dwMajorVersion && kernel.dwMinorVersion == ntdll.dwMinorVersion)
        GTEST_SKIP() << "both queries agree here; nothing tells them apart";
    // The test prefix says Windows 10.
    EXPECT_EQ(WindowsVersionText(),
              "Microsoft Windows " + std::to_string(ntdll.dwMajorVersion) + "." + std::to_string(ntdll.dwMinorVersion));
    EXPECT_TRUE(OSIsVistaOrLater());
    EXPECT_FALSE(OSIsWindowsNT4());
    EXPECT_FALSE(OSIsWindows95());
}

TEST(LibraryVersion, CompatibleWithinTheOwnHundred)
{
    static constexpr struct {
        std::uint16_t version;
        bool compatible;
    } kCases[] = {{599, false}, {600, true}, {610, true}, {700, true}, {701, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(IsCompatibleLibraryVersion(c.version, 610), c.compatible);
    }
    EXPECT_TRUE(IsCompatibleLibraryVersion(6100));  // the running library is 6101
    EXPECT_FALSE(IsCompatibleLibraryVersion(6099));
}

TEST(DebuggerTest, NoDebuggerUnderTheTests)
{
    EXPECT_EQ(IsDebuggerAttached(), IsDebuggerPresent() != FALSE);
}

}  // namespace
}  // namespace crash
