// %NAME% variables in the customisable texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/engine/ECore.h"

namespace crash {
namespace {

// Variables of this process set for the duration of one test.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : FName(name)
    {
        EXPECT_TRUE(::SetEnvironmentVariableA(name, value.c_str()));
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { ::SetEnvironmentVariableA(FName, nullptr); }

private:
    const char* FName;
};

TEST(Expansion, FollowsTheVariableRules)
{
    const ScopedVariable c("c", "[c]");
    const ScopedVariable plain("VLTEST_PLAIN", "value");
    const ScopedVariable mixed("VLTEST_Mixed", "mixed");
    const ScopedVariable inner("VLTEST_INNER", "%Temp% and %VLTEST_PLAIN%");
    static constexpr struct {
        const char* text;
        const char* expected;
    } kCases[] = {
        {"100% sure", "100% sure"},  // a lone "%" stays
        {"%%", ""},                  // an empty name has no value
        {"%%%", "%"},
        {"abc%", "abc%"},  // trailing "%"
        {"%", "%"},
        {"%abc", "%abc"},            // no closing "%"
        {"%UNKNOWNVAR%abc", "abc"},  // an unknown variable vanishes
        {"%a b%c%", "%a b[c]"},      // a blank ends the first name
        {"%VL-TEST%", "%VL-TEST%"},
        {"<%VLTEST_PLAIN%%VLTEST_PLAIN%>", "<valuevalue>"},
        {"%vltest_plain% %VLTEST_PLAIN%", "value value"},  // names in any case
        {"%VLTEST_MIXED%", "mixed"},
        {"%VLTEST_INNER%", "%Temp% and %VLTEST_PLAIN%"},  // values are not expanded again
        {"", ""},
    };
    for (const auto& k : kCases) {
        SCOPED_TRACE(k.text);
        EXPECT_EQ(ExpandEnvVars(k.text), k.expected);
    }
}

TEST(Expansion, LineBreakOnlyOnceTheReportHasSetIt)
{
    ::SetEnvironmentVariableA("_LineBreak", nullptr);
    EXPECT_EQ(ExpandEnvVars("a%_LineBreak%b"), "ab");
    const ScopedVariable lineBreak("_LineBreak", "\r\n");
    EXPECT_EQ(ExpandEnvVars("a%_LineBreak%b"), "a\r\nb");
}

TEST(Expansion, LongValuesArriveWhole)
{
    // The value is read into a 1,024-byte buffer first and again when longer.
    static constexpr std::size_t kLengths[] = {1023, 1024, 1025, 5000, 32000};
    for (std::size_t length : kLengths) {
        SCOPED_TRACE(length);
        std::string value(length, 'x');
        value.back() = 'y';
        const ScopedVariable variable("VLTEST_LONG", value);
        EXPECT_EQ(ExpandEnvVars("<%VLTEST_LONG%>"), "<" + value + ">");
    }
}

TEST(Expansion, BuiltInNamesGiveDateTimeAndFolder)
{
    for (const char* name : {"DATE", "TIME", "CD"}) ::SetEnvironmentVariableA(name, nullptr);
    char folder[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    EXPECT_EQ(ExpandEnvVars("%cd%"), folder);
    EXPECT_EQ(ExpandEnvVars("%CD%"), folder);

    char date[64] = {};
    ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
    EXPECT_EQ(ExpandEnvVars("%Date%"), date);
    for (const char* text : {"%time%", "%TIME%"}) {
        SCOPED_TRACE(text);
        const std::string time = ExpandEnvVars(text);
        EXPECT_FALSE(time.empty());
        EXPECT_NE(time.find(':'), std::string::npos) << time;
    }
    // A variable of that name comes first.
    const ScopedVariable variable("DATE", "yesterday");
    EXPECT_EQ(ExpandEnvVars("%date%"), "yesterday");
}

}  // namespace
}  // namespace crash
