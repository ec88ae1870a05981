// Date-time texts and file dates.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"
#include "crash/engine/core/ECoreInternal.h"

namespace crash {
namespace {

TEST(DateTexts, FixedTextUsesADotInAnyLocale)
{
    char separator[8];
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator), 0);
    ASSERT_STREQ(separator, ",");  // the tests' Russian locale

    static constexpr struct {
        double value;
        const char* text;
    } kCases[] = {
        {45000.5, "45000.5"}, {0.0, "0"}, {-1.25, "-1.25"}, {46000.123456789, "46000.123456789"}, {45351.0, "45351"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DateTimeToStrFixed(c.value), c.text);
        EXPECT_DOUBLE_EQ(StrToDateTimeFixed(c.text), c.value);
    }
}

TEST(DateTexts, FixedTextReadsBack)
{
    static constexpr struct {
        const char* text;
        double value;
    } kCases[] = {
        {"45000,5", 45000.5},  // the locale's own form is understood too
        {" 45000.5 ", 45000.5}, {"abc", 0.0}, {"", 0.0}, {"1.5x", 0.0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(StrToDateTimeFixed(c.text), c.value);
    }
}

TEST(DateTexts, LocaleTextOrNumberOutsideTheCalendar)
{
    static constexpr struct {
        double value;
        const char* text;
    } kCases[] = {
        {45000.5, "15.03.2023 12:00:00"},
        {45000.0, "15.03.2023"},  // midnight: the date alone
        {45351.0 + (13 * 3600 + 45 * 60 + 30) / 86400.0, "29.02.2024 13:45:30"},
        {-1.25, "29.12.1899 06:00:00"},  // before the epoch the fraction is still the time
        {1e7, "10000000"},               // past the year 9999
        {-1e6, "-1000000"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DateTimeToStrEx(c.value), c.text);
    }
}

TEST(DateTexts, UtcOffset)
{
    const int hours = GetGMT();
    EXPECT_GE(hours, -12);
    EXPECT_LE(hours, 14);
    EXPECT_DOUBLE_EQ(GetGMTDateTime(45000.5), 45000.5 - hours / 24.0);
}

class FileDates : public ::testing::Test {
protected:
    void SetUp() override
    {
        char out[MAX_PATH];
        ASSERT_GT(GetEnvironmentVariableA("VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
        FFile = std::string(out) + "\\dated.txt";
    }
    void TearDown() override { DeleteFileA(FFile.c_str()); }
    std::string FFile;
};

TEST_F(FileDates, ModifiedDateIsLocalAtTwoSecondSteps)
{
    HANDLE file = CreateFileA(FFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SYSTEMTIME local = {};
    local.wYear = 2024;
    local.wMonth = 2;
    local.wDay = 29;
    local.wHour = 13;
    local.wMinute = 45;
    local.wSecond = 31;
    FILETIME localFile;
    FILETIME utcFile;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localFile));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localFile, &utcFile));
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &utcFile));
    CloseHandle(file);

    EXPECT_EQ(DateTimeToStrEx(GetModifiedDate(FFile)), "29.02.2024 13:45:30");
    EXPECT_EQ(GetModifiedDate(FFile + ".absent"), 0.0);
}

}  // namespace
}  // namespace crash
