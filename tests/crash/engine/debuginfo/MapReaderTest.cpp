// The linker's text map: a literal map that shows each reading rule, the
// parser's events, and the generated map with the answers computed for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"
#include "tests/crash/engine/debuginfo/HandFixtures.h"

namespace crash::test {
namespace {

TEST(MapScanner, ReadsTheLiteralMap)
{
    TVLMapScanner scanner(kHandMapText);
    ASSERT_EQ(scanner.Segments().size(), 3u);
    EXPECT_EQ(scanner.Segments()[1].UnitName, "C:\\Lib\\Vcl|Forms.pas");
    EXPECT_EQ(scanner.ProcNames().size(), 5u);  // DataVar is in segment 2
    EXPECT_EQ(scanner.LineNumbers().size(), 8u);
    EXPECT_EQ(scanner.LineNumberErrors(), 4);
    ASSERT_EQ(scanner.SourceNames().size(), 3u);

    static constexpr struct {
        std::uint32_t va;
        const char* unit;
        const char* procedure;
        std::int32_t procOffset;
        std::int32_t line;
        std::int32_t procOffsetLine;
        const char* source;
    } kCases[] = {
        {0x10, "System", "System.Move", 0x10, 11, 1, "C:\\Rtl\\System.pas"},  // not DataVar (segment 2)
        {0x2F, "System", "System.Move", 0x2F, 11, 1, "C:\\Rtl\\System.pas"},
        {0x50, "System", "(unit init)", 0x10, 13, 0, "C:\\Rtl\\System.pas"},
        {0xA4, "System", "System.Fill", 4, 20, 0, "C:\\Rtl\\System.pas"},
        // 1:100 ends System and starts Forms: the later segment wins.
        {0x100, "C:\\Lib\\Vcl|Forms.pas", "Forms.TForm.Show", 0, 100, 0, "C:\\Lib\\Vcl|Forms.pas"},
        {0x10A, "C:\\Lib\\Vcl|Forms.pas", "Forms.TForm.Show", 0xA, 101, 1, "C:\\Lib\\Vcl|Forms.pas"},
        // Below Main's first public and line: nothing of Forms counts.
        {0x1C4, "Main", "", 0, 5, 0, "Main.pas"},
        {0x1E0, "Main", "Main.Run", 0x18, 6, 1, "Main.pas"},
        {0x200, "Main", "Main.Run", 0x38, 6, 1, "Main.pas"},  // a segment's end counts as inside
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << c.va);
        std::int32_t offset = -1;
        EXPECT_EQ(scanner.ProcNameFromAddr(c.va, offset), c.procedure);
        EXPECT_EQ(offset, c.procOffset);
        TVLLocationInfo info;
        ASSERT_TRUE(LocationAt(scanner, c.va, info));
        EXPECT_EQ(info.UnitName, c.unit);
        EXPECT_EQ(info.LineNumber, c.line);
        EXPECT_EQ(info.ProcOffsetLine, c.procOffsetLine);
        EXPECT_EQ(info.SourceName, c.source);
    }
    TVLLocationInfo info;
    EXPECT_FALSE(LocationAt(scanner, 0x201, info));
    EXPECT_EQ(scanner.ModuleStartFromAddr(0x201), kNoModuleStart);
    EXPECT_EQ(scanner.ModuleStartFromAddr(0x100), 0x100u);
}

TEST(MapParser, EventsGetStringsAndTheBareSegmentUnit)
{
    TVLMapParser parser(kHandMapText);
    std::vector<std::string> seen;
    parser.OnClassTable = [&](const TVLMapAddress& a, std::uint32_t length, const std::string& section,
                              const std::string& group) {
        seen.push_back("class " + std::to_string(a.Segment) + ":" + std::to_string(a.Offset) + " " +
                       std::to_string(length) + " " + section + " " + group);
    };
    parser.OnSegmentItem = [&](const TVLMapAddress& a, std::uint32_t length, const std::string& group,
                               const std::string& unit) {
        seen.push_back("segment " + std::to_string(a.Segment) + ":" + std::to_string(a.Offset) + " " +
                       std::to_string(length) + " " + group + " " + unit);
    };
    parser.OnPublicsByName = [&](const TVLMapAddress&, const std::string& name) { seen.push_back("byname " + name); };
    parser.OnPublicsByValue = [&](const TVLMapAddress& a, const std::string& name) {
        seen.push_back("byvalue " + std::to_string(a.Segment) + ":" + std::to_string(a.Offset) + " " + name);
    };
    parser.OnLineNumberUnit = [&](const std::string& unit, const std::string& file) {
        seen.push_back("lines " + unit + " " + file);
    };
    int lines = 0;
    parser.OnLineNumbers = [&](std::int32_t, const TVLMapAddress&) { ++lines; };
    ASSERT_TRUE(parser.Parse());
    // clang-format off
    const std::vector<std::string> expected = {
        "class 1:4198400 768 .text CODE",
        "class 2:4202496 256 .data DATA",
        "segment 1:0 256 CODE System",
        "segment 1:256 192 CODE Forms",
        "segment 1:448 64 CODE Main",
        "segment 2:0 32 DATA System",
        "byname System.Move",
        "byvalue 1:0 System.Move",
        "byvalue 1:64 (unit init)",
        "byvalue 2:16 System.DataVar",
        "byvalue 1:160 System.Fill",
        "byvalue 1:256 Forms.TForm.Show",
        "byvalue 1:456 Main.Run",
        "lines System C:\\Rtl\\System.pas",
        "lines Forms C:\\Lib\\Vcl|Forms.pas",
        "lines Main Main.pas",
    };
    // clang-format on
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(lines, 12);  // every pair, the dropped ones too: the rules are the scanner's
}

TEST(MapParser, UnassignedEventsAndNoTextAreFine)
{
    TVLMapParser parser(kHandMapText);
    EXPECT_TRUE(parser.Parse());
    TVLMapParser missing(std::string("Z:\\no\\such\\folder\\file.map"));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_TRUE(missing.Parse());
}

TEST(MapParser, SectionsMayBeMissing)
{
    // No class table, no publics by name: the sections after them are read.
    constexpr char kText[] = "Detailed map of segments\n"
                             " 0001:00000000 00000010 C=CODE S=.text G=(none) M=Only ACBP=A9\n"
                             "  Address   Publics by Value\n"
                             " 0001:00000004 Only.Proc\n"
                             "Line numbers for Only(Only.pas) segment .text\n"
                             "     3 0001:00000004\n";
    TVLMapScanner scanner(std::string_view(kText, sizeof kText - 1));
    TVLLocationInfo info;
    ASSERT_TRUE(LocationAt(scanner, 6, info));
    EXPECT_EQ(info.UnitName, "Only");
    EXPECT_EQ(info.ProcedureName, "Only.Proc");
    EXPECT_EQ(info.LineNumber, 3);
    EXPECT_EQ(info.SourceName, "Only.pas");
}

TEST(MapParser, ItemFieldsStayOnTheirLine)
{
    // A segment line without "C=" and "M=" must not take the next line's.
    constexpr char kText[] = "Detailed map of segments\r\n"
                             " 0001:00000000 00000010\r\n"
                             " 0001:00000010 00000010 C=CODE M=Second\r\n";
    TVLMapScanner scanner(std::string_view(kText, sizeof kText - 1));
    ASSERT_EQ(scanner.Segments().size(), 2u);
    EXPECT_EQ(scanner.Segments()[0].UnitName, "");
    EXPECT_EQ(scanner.Segments()[1].UnitName, "Second");
}

TEST(MapScanner, SegmentOrder)
{
    // Of the segments that hold an offset, the last in the map wins, whether
    // they rise (and overlap) or not.
    static constexpr char kRising[] = "Detailed map of segments\n"
                                      " 0001:00000000 00000100 C=CODE M=Outer\n"
                                      " 0001:00000010 00000010 C=CODE M=Inner\n"
                                      " 0001:00000300 00000010 C=CODE M=Far\n";
    static constexpr char kFalling[] = "Detailed map of segments\n"
                                       " 0001:00000100 00000100 C=CODE M=High\n"
                                       " 0001:00000000 00000080 C=CODE M=Low\n";
    static constexpr struct {
        const char* text;
        std::uint32_t va;
        const char* unit;
    } kCases[] = {
        {kRising, 0x18, "Inner"}, {kRising, 0x50, "Outer"},  {kRising, 0x100, "Outer"},
        {kRising, 0x101, ""},     {kRising, 0x305, "Far"},   {kRising, 0x400, ""},
        {kFalling, 0x40, "Low"},  {kFalling, 0x150, "High"}, {kFalling, 0x90, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.unit << " 0x" << std::hex << c.va);
        TVLMapScanner scanner{std::string_view(c.text)};
        EXPECT_EQ(scanner.ModuleNameFromAddr(c.va), c.unit);
    }
}

TEST(MapScanner, GeneratedMap)
{
    TVLMapScanner scanner(TextOf(fixtures::kMapText));
    EXPECT_EQ(scanner.LineNumberErrors(), fixtures::kMapLineErrors);
    ExpectFixtureAnswers(scanner, fixtures::kMapAnswers);
    TVLMapScanner lower(TextOf(fixtures::kMapTextLowerH));
    ExpectFixtureAnswers(lower, fixtures::kMapAnswers);
}

}  // namespace
}  // namespace crash::test
