// Texts of the report's module and process sections, and the version reader.
#include <gtest/gtest.h>

#include <string>

#include "crash/engine/modules/ModuleLists.h"
#include "tests/crash/engine/modules/ModuleFixtures.h"

namespace crash {
namespace {

TEST(DisplayTexts, PathOfAFile)
{
    static const struct {
        const char* file;
        const char* path;
    } kCases[] = {
        {"C:\\Windows\\system32\\kernel32.dll", "C:\\Windows\\system32"},
        {"C:\\a.dll", "C:\\"},  // the root keeps its backslash
        {"\\??\\C:\\Program Files\\x.exe", "C:\\Program Files"},
        {"\\??\\C:\\x.exe", "C:\\"},
        {"\\\\server\\share\\y.dll", "\\\\server\\share"},
        {"C:z.dll", "C:"},
        {"z.dll", ""},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ExtractPathText(c.file), c.path);
    }
}

TEST(DisplayTexts, SizeInKbRoundsHalvesToEven)
{
    static constexpr struct {
        std::uint32_t bytes;
        const char* text;
    } kCases[] = {
        {0, ""},        {1, "0 Kb"},    {511, "0 Kb"},  {512, "0 Kb"},        {513, "1 Kb"},
        {1536, "2 Kb"}, {2560, "2 Kb"}, {2561, "3 Kb"}, {1048576, "1024 Kb"}, {0xFFFFFFFFu, "4194304 Kb"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(SizeInKbText(c.bytes), c.text);
    }
}

TEST(DisplayTexts, ShortVersionPriorityAndThreads)
{
    EXPECT_EQ(ShortVersionText("10.4.2.1"), "10.4.x");
    EXPECT_EQ(ShortVersionText("1.2.3"), "1.2.x");
    EXPECT_EQ(ShortVersionText("1.2"), "1.2");
    EXPECT_EQ(ShortVersionText(""), "");

    static constexpr struct {
        std::uint32_t priority;
        const char* text;
    } kPriorities[] = {
        {32, "Normal"},           {64, "Low"}, {128, "High"}, {256, "Real-Time"}, {0x4000, "Below-Normal"},
        {0x8000, "Above-Normal"}, {0, ""},     {33, ""},
    };
    for (const auto& c : kPriorities) {
        SCOPED_TRACE(c.priority);
        EXPECT_EQ(PriorityClassText(c.priority), c.text);
    }

    EXPECT_EQ(ThreadCountText(0), "??");
    EXPECT_EQ(ThreadCountText(17), "17");
}

TEST(VersionBlocks, DescriptionAndVersionOfFiles)
{
    std::string description = "stale";
    std::string version = "stale";
    GetFileDescriptionAndVersion(testsupport::BesideProgram(testsupport::kExportsFixture), description, version);
    EXPECT_EQ(description, rtl::WideToAnsi(L"Проверочная библиотека экспорта"));
    EXPECT_EQ(version, "1.2.3.4");
    GetFileDescriptionAndVersion(testsupport::BesideProgram(testsupport::kHalfPackageFixture), description, version);
    EXPECT_EQ(description, "");
    EXPECT_EQ(version, "");
    description = version = "stale";
    GetFileDescriptionAndVersion(testsupport::BesideProgram("no such file.dll"), description, version);
    EXPECT_EQ(description, "");
    EXPECT_EQ(version, "");
    description = version = "stale";
    GetFileDescriptionAndVersion("", description, version);
    EXPECT_EQ(description, "");
    EXPECT_EQ(version, "");
}

}  // namespace
}  // namespace crash
