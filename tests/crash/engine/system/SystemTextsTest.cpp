// Text services of the report and the senders.
#include <gtest/gtest.h>

#include "crash/engine/system/SystemInfo.h"
#include "crash/engine/system/SystemInternal.h"

namespace crash {
namespace {

TEST(SystemTexts, SingleLineTextJoinsControlRunsAndKeepsHighBytes)
{
    static const struct {
        std::string text;
        std::string single;
    } kCases[] = {
        {"one\r\n\r\ntwo", "one two"},  // CR LF CR LF is one run
        {"\ttab\x01\x1F"
         "end",
         " tab end"},
        {"\xC0\xFF\x80 \x7F", "\xC0\xFF\x80 \x7F"},  // 128 to 255 and DEL stay
        {"", ""},
        {"last\r\n", "last "},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.single);
        EXPECT_EQ(SingleLineText(c.text), c.single);
    }
}

TEST(SystemTexts, PadRightSpacesFillsUpToTheWidthOnly)
{
    static const struct {
        const char* text;
        int width;
        const char* padded;
    } kCases[] = {
        {"ab", 5, "ab   "}, {"abcde", 5, "abcde"}, {"abcdefg", 3, "abcdefg"},  // longer: unchanged
        {"", 2, "  "},      {"ab", -1, "ab"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.padded);
        EXPECT_EQ(PadRightSpaces(c.text, c.width), c.padded);
    }
}

TEST(SystemTexts, HTMLEscapeTextEscapesEachCharacterOnce)
{
    static const struct {
        const char* text;
        const char* escaped;
    } kCases[] = {
        {"a & b", "a &amp; b"},
        {"<b>\"x\" 'y'</b>", "&lt;b&gt;&quot;x&quot; &#039;y&#039;&lt;/b&gt;"},
        {"&lt;", "&amp;lt;"},  // an entity in the text is text
        {"a  b   c", "a&nbsp;&nbsp;b&nbsp;&nbsp; c"},
        {"one\r\ntwo\nthree", "one<br>\r\ntwo\nthree"},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HTMLEscapeText(c.text), c.escaped);
    }
}

TEST(SystemTexts, DurationTextCountsWholeSeconds)
{
    constexpr double kSecond = 1.0 / 86400;
    static const struct {
        double days;
        const char* text;
    } kCases[] = {
        {0, "0 second"},
        {5 * kSecond, "5 seconds"},  // step-by-step truncation made this 4
        {59 * kSecond, "59 seconds"},
        {1 * kSecond, "1 second"},
        {1.5, "1 day, 12 hours, 0 second"},
        {1.0 / 24, "1 hour, 0 second"},
        {2 + 61 * kSecond, "2 days, 1 minute, 1 second"},
        {3599.9996 * kSecond, "1 hour, 0 second"},  // rounded to the millisecond first
        {-1, "0 second"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(DurationText(c.days), c.text);
    }
}

TEST(SystemTexts, MailDateTextWritesTheRealOffset)
{
    // 5 March 2024, 14:07:09.
    constexpr TDateTime kDate = 45356 + (14 * 3600 + 7 * 60 + 9) / 86400.0;
    static const struct {
        int minutes;
        const char* text;
    } kCases[] = {
        {180, "Tue, 5 Mar 2024 14:07:09 +0300"},  {-300, "Tue, 5 Mar 2024 14:07:09 -0500"},
        {600, "Tue, 5 Mar 2024 14:07:09 +1000"},  {330, "Tue, 5 Mar 2024 14:07:09 +0530"},  // not a rounded +0600
        {-210, "Tue, 5 Mar 2024 14:07:09 -0330"}, {0, "Tue, 5 Mar 2024 14:07:09 +0000"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(system::MailDateText(kDate, c.minutes), c.text);
    }
    EXPECT_EQ(system::MailDateText(45292, 0), "Mon, 1 Jan 2024 00:00:00 +0000");
    EXPECT_EQ(system::MailDateText(1e9, 0), "");  // beyond the calendar
}

}  // namespace
}  // namespace crash
