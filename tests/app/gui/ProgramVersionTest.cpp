// The program's version read from a version resource: copies of this test
// program, each with a version block of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "app/ProgramVersion.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/support/TestFolders.h"
#include "tests/support/VersionResource.h"

namespace {

TEST(ReadProgramVersion, ScansTheFileVersionTextAndRefusesOneWithoutANumber)
{
    static const struct {
        const wchar_t* name;
        const wchar_t* fileVersion;  // null: the copy keeps no version block at all
        bool read;
        unsigned major, minor, release;  // 100, 200, 300: left as they were
    } kCases[] = {
        {L"whole", L"7.8.9.0", true, 7, 8, 9},          {L"two-numbers", L"7.8", true, 7, 8, 300},
        {L"blanks", L" 3 . 4.5", true, 3, 200, 300},  // blanks before a number only
        {L"text", L"beta", false, 100, 200, 300},       {L"dot-first", L".1.2", false, 100, 200, 300},
        {L"negative", L"-1.2.3", false, 100, 200, 300}, {L"huge", L"99999999999.1.2", true, UINT_MAX, 1, 2},
        {L"no-block", nullptr, false, 100, 200, 300},
    };
    const std::wstring self = rtl::ModuleFileName();
    const std::wstring folder = testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT");
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.name));
        const std::wstring copy = folder + L"\\version-" + c.name + L".exe";
        ASSERT_TRUE(CopyFileW(self.c_str(), copy.c_str(), FALSE)) << GetLastError();
        if (c.fileVersion) {
            ASSERT_TRUE(testsupport::PatchVersion(copy, testsupport::VersionBlock(1, 2, 3, c.fileVersion)));
        }
        app::TProgramVersion version{100, 200, 300};
        EXPECT_EQ(app::ReadProgramVersion(copy, version), c.read);
        EXPECT_EQ(version.Major, c.major);
        EXPECT_EQ(version.Minor, c.minor);
        EXPECT_EQ(version.Release, c.release);
        DeleteFileW(copy.c_str());
    }
}

}  // namespace
