// %NAME% expansion and the variable values behind it.
#include <gtest/gtest.h>

#include "crash/engine/ECore.h"

namespace crash {
namespace {

class EnvVars : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableA("VLTEST_A", "x");
        SetEnvironmentVariableA("VLTEST_INNER", "%TEMP%");
        SetEnvironmentVariableA("_LineBreak", nullptr);
    }
    void TearDown() override
    {
        for (const char* name : {"VLTEST_A", "VLTEST_INNER", "_LineBreak", "DATE", "VLTEST_LONG"})
            SetEnvironmentVariableA(name, nullptr);
    }
};

TEST_F(EnvVars, ExpandsNamesBetweenPercentSigns)
{
    static constexpr struct {
        const char* text;
        const char* expanded;
    } kCases[] = {
        {"100% sure", "100% sure"},  // a lone "%" stays
        {"50%", "50%"},
        {"%", "%"},
        {"%%", ""},  // the empty name has no value
        {"a%%b", "ab"},
        {"%VLTEST_UNKNOWN_NAME%abc", "abc"},
        {"%VLTEST_A%", "x"},
        {"[%VLTEST_A%%VLTEST_A%]", "[xx]"},
        {"%vltest_a%", "x"},  // the system's names ignore case
        {"%VLTEST_A", "%VLTEST_A"},
        {"%VLTEST_A %", "%VLTEST_A %"},
        {"%VLTEST_INNER%", "%TEMP%"},  // a value is never expanded again
        {"%VLTEST_INNER%%VLTEST_A%", "%TEMP%x"},
        {"%_LineBreak%", ""},
        {"\xCF\xF3\xF2\xFC %VLTEST_A%", "\xCF\xF3\xF2\xFC x"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExpandEnvVars(c.text), c.expanded);
    }
    SetEnvironmentVariableA("_LineBreak", "\r\n");
    EXPECT_EQ(ExpandEnvVars("a%_LineBreak%b"), "a\r\nb");
}

TEST_F(EnvVars, BuiltInNamesWhenNoVariableExists)
{
    char folder[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, folder), 0u);
    EXPECT_EQ(GetEnvVariable("cd"), folder);
    EXPECT_EQ(GetEnvVariable("CD"), folder);

    // The clock may tick between the two reads: either side matches.
    auto localeTime = [] {
        char text[64];
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, sizeof text);
        return std::string(text);
    };
    for (const char* name : {"time", "TIME", "Time"}) {
        SCOPED_TRACE(name);
        const std::string before = localeTime();
        const std::string value = GetEnvVariable(name);
        const std::string after = localeTime();
        EXPECT_TRUE(value == before || value == after) << value << " vs " << before;
    }
    char date[64];
    GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
    EXPECT_EQ(GetEnvVariable("date"), date);
    EXPECT_EQ(GetEnvVariable("VLTEST_UNKNOWN_NAME"), "");

    SetEnvironmentVariableA("DATE", "env-date");
    EXPECT_EQ(GetEnvVariable("date"), "env-date");
    EXPECT_EQ(ExpandEnvVars("%Date%"), "env-date");
}

TEST_F(EnvVars, LongValuesComeWhole)
{
    const std::string value(5000, 'v');
    SetEnvironmentVariableA("VLTEST_LONG", value.c_str());
    EXPECT_EQ(GetEnvVariable("VLTEST_LONG"), value);
    const std::string exact(1023, 'w');  // fills the first buffer to the last byte
    SetEnvironmentVariableA("VLTEST_LONG", exact.c_str());
    EXPECT_EQ(GetEnvVariable("VLTEST_LONG"), exact);
    const std::string over(1024, 'o');
    SetEnvironmentVariableA("VLTEST_LONG", over.c_str());
    EXPECT_EQ(GetEnvVariable("VLTEST_LONG"), over);
}

}  // namespace
}  // namespace crash
