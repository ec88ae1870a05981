// Numbered sections and the line helpers: texts laid out by hand, compared
// byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/report/ELogManager.h"

namespace {

using crash::LoadLines;
using crash::TLogItem;
using Lines = std::vector<std::string>;

TEST(ReportLines, LoadLinesSplitsLikeAStringList)
{
    struct Case {
        const char* text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},  // a final break adds no empty line
        {"a\r\n\r\n", {"a", ""}},
        {"\r\n", {""}},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r", {"a"}},
        {"a\n", {"a"}},
        {"\n\na", {"", "", "a"}},
    };
    for (const Case& c : cases) EXPECT_EQ(LoadLines(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST(LogItem, HiddenItemKeepsItsNumberAndEmptySectionIsDropped)
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "2026-12-11", true);
    item.AddItem("Name/Description", "volumetra.exe", false);
    item.AddItem("Version Number", "1.0", true);
    item.AddHeader("Exception");
    item.AddItem("Date", "today", false);
    item.AddHeader("User");
    item.AddItem("ID", "ivan", true);
    item.AddItem("Note", "", true);

    const std::string expected = "Application:\r\n"
                                 "--------------------------------\r\n"
                                 "  1.1 Start Date    : 2026-12-11\r\n"
                                 "  1.3 Version Number: 1.0\r\n"
                                 "\r\n"
                                 "User:\r\n"
                                 "----------------\r\n"
                                 "  3.1 ID  : ivan\r\n"
                                 "  3.2 Note: \r\n";
    EXPECT_EQ(item.GetString(), expected);
    EXPECT_EQ(item.Value(), expected);
    // The text stays as added: a second call lays it out the same.
    EXPECT_EQ(item.GetString(), expected);
}

TEST(LogItem, DroppedLastSectionLeavesNoEmptyLineBehind)
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Name", "x", true);
    item.AddHeader("Network");
    item.AddItem("IP Address", "10.0.0.1", false);
    EXPECT_EQ(item.GetString(), "Application:\r\n"
                                "-------------\r\n"
                                "  1.1 Name: x\r\n");

    TLogItem nothing(0);
    nothing.AddHeader("Application");
    nothing.AddItem("Name", "x", false);
    EXPECT_EQ(nothing.GetString(), "");
}

TEST(LogItem, MultiLineValueContinuesUnderItsFirstCharacter)
{
    // A lone LF, a lone CR, an empty and a blank line, ": " and a line that
    // looks like a caption.
    TLogItem item(2);
    item.AddHeader("User");
    item.AddItem("ID", "ivan", true);
    item.AddItem("Privileges", "first: a\nsecond\r\r\nI clicked:\r\n   \r\nlast", true);
    item.AddItem("Company", "Roga", true);

    EXPECT_EQ(item.GetString(), "User:\r\n"
                                "----------------------------\r\n"
                                "  3.1 ID        : ivan\r\n"
                                "  3.2 Privileges: first:_a\r\n"
                                "                  second\r\n"
                                "                  .\r\n"
                                "                  I clicked:\r\n"
                                "                  .\r\n"
                                "                  last\r\n"
                                "  3.3 Company   : Roga\r\n");
}

TEST(LogItem, CaptionLikeLastLinesOfAValueSurvive)
{
    // "I clicked:" ending the last item of a section, and one line before
    // the end: neither is a caption, so nothing of them is dropped or ruled.
    TLogItem item(0);
    item.AddHeader("Steps");
    item.AddItem("Text", "Open\r\nI clicked:\r\nthe button", true);
    item.AddHeader("More");
    item.AddItem("Text", "Open\r\nI clicked:", true);

    EXPECT_EQ(item.GetString(), "Steps:\r\n"
                                "----------------------\r\n"
                                "  1.1 Text: Open\r\n"
                                "            I clicked:\r\n"
                                "            the button\r\n"
                                "\r\n"
                                "More:\r\n"
                                "----------------------\r\n"
                                "  2.1 Text: Open\r\n"
                                "            I clicked:\r\n");
}

TEST(LogItem, SingleLineValuesWithLoneBreaksAreMultiLine)
{
    struct Case {
        const char* value;
        const char* text;
    };
    const Case cases[] = {
        {"a\nb", "S:\r\n----------\r\n  1.1 V: a\r\n         b\r\n"},
        {"a\rb", "S:\r\n----------\r\n  1.1 V: a\r\n         b\r\n"},
        {"a: b", "S:\r\n-------------\r\n  1.1 V: a: b\r\n"},  // one line: ": " stays
        {"a\r\n", "S:\r\n----------\r\n  1.1 V: a\r\n"},       // a final break adds no line
        {"\r\nb", "S:\r\n----------\r\n  1.1 V: .\r\n         b\r\n"},
        {"\nb", "S:\r\n----------\r\n  1.1 V: .\r\n         b\r\n"},  // a first LF is a break too
        {"a\r\r\nb", "S:\r\n----------\r\n  1.1 V: a\r\n         .\r\n         b\r\n"},
        {"a\n\rb", "S:\r\n----------\r\n  1.1 V: a\r\n         .\r\n         b\r\n"},
    };
    for (const Case& c : cases) {
        TLogItem item(0);
        item.AddHeader("S");
        item.AddItem("V", c.value, true);
        EXPECT_EQ(item.GetString(), c.text) << testing::PrintToString(c.value);
    }
}

TEST(LogItem, ClearStartsTheNumbersAgain)
{
    TLogItem item(7);
    item.AddHeader("A");
    item.AddItem("x", "1", true);
    item.Clear();
    EXPECT_EQ(item.GetString(), "");
    item.AddHeader("B");
    item.AddItem("y", "2", false);
    item.AddItem("z", "3", true);
    EXPECT_EQ(item.GetString(), "B:\r\n----------\r\n  8.2 z: 3\r\n");
}

}  // namespace
