// TD32 data: a minimal file written out by hand, the data's check and
// directories, names, lines, procedure ranges, the boundary between two
// modules, the kinds of symbols, and the generated data with the answers
// computed for it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"
#include "tests/crash/engine/debuginfo/HandFixtures.h"

namespace crash::test {
namespace {

std::vector<std::uint8_t> HandTd32()
{
    return {std::begin(kHandTd32), std::end(kHandTd32)};
}

TEST(Td32Scanner, ReadsTheFileWrittenByHand)
{
    TVLTD32InfoScanner scanner(kHandTd32, sizeof kHandTd32);
    ASSERT_TRUE(scanner.Analyse());
    ASSERT_EQ(scanner.NameCount(), 3u);
    EXPECT_EQ(scanner.Names(0), "");  // names are numbered from 1
    EXPECT_EQ(scanner.Names(1), "Unit1");
    EXPECT_EQ(scanner.Names(3), "Unit1.pas");
    EXPECT_EQ(scanner.Names(4), "");
    ASSERT_EQ(scanner.Modules().size(), 1u);
    EXPECT_EQ(scanner.Modules()[0]->Segment(1), nullptr);  // past its table: no segment, no failure
    ASSERT_EQ(scanner.SourceModules().size(), 1u);
    EXPECT_EQ(scanner.SourceModules()[0]->Lines.size(), 3u);
    static constexpr struct {
        std::uint32_t va;
        std::int32_t line;
        std::int32_t procOffsetLine;
    } kCases[] = {
        {0x00, 10, 0},  // a line's own offset
        {0x04, 10, 0},  // the line before the first one above
        {0x08, 11, 1},
        {0x1F, 12, 2},  // after the last line's start, inside the source's range
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << c.va);
        TVLLocationInfo info;
        ASSERT_TRUE(LocationAt(scanner, c.va, info));
        EXPECT_EQ(info.UnitName, "Unit1");
        EXPECT_EQ(info.ProcedureName, "Foo");
        EXPECT_EQ(info.LineNumber, c.line);
        EXPECT_EQ(info.ProcOffsetLine, c.procOffsetLine);
        EXPECT_EQ(info.SourceName, "Unit1.pas");
    }
    TVLLocationInfo info;
    EXPECT_FALSE(LocationAt(scanner, 0x20, info));  // the module's range is half-open
    std::int32_t offset = 0;
    EXPECT_EQ(scanner.ProcNameFromAddr(0x1F, offset), "Foo");
    EXPECT_EQ(offset, 0x1F);
    EXPECT_EQ(scanner.ProcNameFromAddr(0x20, offset), "");
    EXPECT_EQ(offset, 0);
}

TEST(Td32Scanner, DataCheck)
{
    const auto changed = [](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> data = HandTd32();
        data[at] = value;
        return data;
    };
    const auto word = [](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> data = HandTd32();
        std::memcpy(&data[at], &value, 4);
        return data;
    };
    // Other bytes before the data: its start is found from its end.
    std::vector<std::uint8_t> prefixed(16 + sizeof kHandTd32, 0xEE);
    std::memcpy(prefixed.data() + 16, kHandTd32, sizeof kHandTd32);
    const struct {
        const char* what;
        std::vector<std::uint8_t> data;
        bool valid;
        bool analysed;
    } kCases[] = {
        {"as written", HandTd32(), true, true},
        {"after other bytes", prefixed, true, true},
        {"FB0A at both ends",
         [&] {
             auto d = changed(3, 'A');
             d[0x108 + 3] = 'A';
             return d;
         }(),
         true, true},
        {"FB0A at the end only: either kind at the start", changed(0x108 + 3, 'A'), true, true},
        {"no signature at the end", changed(0x108, 'X'), false, false},
        {"no signature at the start", changed(0, 'X'), false, false},
        {"a length past the data", word(0x10C, 0x111), false, false},
        {"a length shorter than the signature", word(0x10C, 4), false, false},
        {"a length that misses the start", word(0x10C, 0x100), false, false},
        {"directory entries of 16 bytes", changed(0xCA, 0x10), true, false},
        {"a directory that names itself as the next", word(0xD0, 0xC8), true, false},
        {"a first directory past the data", word(4, 0x200), true, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TVLTD32InfoParser::IsTD32DebugInfoValid(c.data.data(), c.data.size()), c.valid);
        TVLTD32InfoScanner scanner(c.data.data(), c.data.size());
        EXPECT_EQ(scanner.Analyse(), c.analysed);
        EXPECT_EQ(scanner.ValidData(), c.analysed);
        if (!c.analysed) {
            EXPECT_EQ(scanner.NameCount(), 0u);
            EXPECT_EQ(scanner.ModuleNameFromAddr(0), "");
        }
    }
    TVLTD32InfoScanner none(nullptr, 100);
    EXPECT_FALSE(none.Analyse());
}

TEST(Td32Scanner, NameCleaning)
{
    static constexpr struct {
        const char* name;
        const char* module;
        const char* clean;
    } kCases[] = {
        {"@Unit1@TForm1@Button1Click$qqrp14System@TObject", "Unit1", "TForm1.Button1Click"},
        {"@Unit1@TForm1@Button1Click$qqrp14System@TObject", "UNIT1", "TForm1.Button1Click"},  // either case
        {"@unit1@Helper$qqrv", "Unit1", "Helper"},
        {"@Unit1@TForm1@$bctr$qqrp18Classes@TComponent", "Unit1", "TForm1"},  // the "@" before "$" goes too
        {"@Unit1@TForm1@@Hidden$qqrv", "Unit1", "TForm1.@Hidden"},            // ".." becomes ".@"
        {"@Other@Proc$qqrv", "Unit1", "Other.Proc"},
        {"@Units2@Proc$qqrv", "Unit", "Units2.Proc"},  // only a whole module name
        {"@Unit1$qqrv", "Unit1", "Unit1"},             // the module name alone stays
        {"PlainName", "Unit1", "PlainName"},
        {"@", "Unit1", ""},
        {"", "", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CleanTD32ProcName(c.name, c.module), c.clean);
    }
}

TEST(Td32Scanner, FindLine)
{
    TVLSourceModuleInfo source;
    source.Lines = {{10, 0x08, 1}, {11, 0x10, 1}, {14, 0x20, 1}};
    static constexpr struct {
        std::uint32_t addr;
        bool found;
        std::uint32_t line;
    } kCases[] = {
        {0x04, false, 0},                                                        // before the first line
        {0x08, true, 10},                                                        // exactly a line
        {0x0C, true, 10},                                                        // the line before
        {0x10, true, 11}, {0x1F, true, 11}, {0x20, true, 14}, {0x40, true, 14},  // after the last start
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "0x" << std::hex << c.addr);
        TVLLineInfo line;
        ASSERT_EQ(source.FindLine(c.addr, line), c.found);
        if (c.found) {
            EXPECT_EQ(line.LineNo, c.line);
        }
    }
    TVLSourceModuleInfo empty;
    TVLLineInfo line;
    EXPECT_FALSE(empty.FindLine(0, line));
    EXPECT_EQ(empty.Segment(0), nullptr);
}

TEST(Td32Scanner, GeneratedData)
{
    for (const auto& data :
         {std::string_view(reinterpret_cast<const char*>(fixtures::kTd32Data), sizeof fixtures::kTd32Data),
          std::string_view(reinterpret_cast<const char*>(fixtures::kTd32DataFB0A), sizeof fixtures::kTd32DataFB0A)}) {
        TVLTD32InfoScanner scanner(data.data(), data.size());
        ASSERT_TRUE(scanner.Analyse());
        ExpectFixtureAnswers(scanner, fixtures::kTd32Answers);
    }
}

TEST(Td32Scanner, BoundaryBetweenTwoModules)
{
    // The generated units 1 and 2 touch: the first byte of the second is the
    // second's, the last byte of the first the first's.
    ASSERT_EQ(fixtures::kUnitEnds[0], fixtures::kUnitStarts[1]);
    TVLTD32InfoScanner scanner(fixtures::kTd32Data, sizeof fixtures::kTd32Data);
    ASSERT_TRUE(scanner.Analyse());
    const std::uint32_t boundary = fixtures::kUnitStarts[1];
    EXPECT_EQ(scanner.ModuleNameFromAddr(boundary - 1), "Unit1");
    EXPECT_EQ(scanner.ModuleNameFromAddr(boundary), "Unit2");
    EXPECT_EQ(scanner.ModuleStartFromAddr(boundary), boundary);
    EXPECT_EQ(scanner.SourceNameFromAddr(boundary - 1), "C:\\Src\\app\\Unit1.pas");
    EXPECT_EQ(scanner.SourceNameFromAddr(boundary), "C:\\Src\\lib\\Unit2.pas");
    // After the last unit, and in the gap after the second one: nothing.
    EXPECT_EQ(scanner.ModuleNameFromAddr(fixtures::kUnitEnds[1]), "");
    EXPECT_EQ(scanner.ModuleStartFromAddr(fixtures::kUnitEnds[5]), kNoModuleStart);
}

TEST(Td32Scanner, SymbolsByKind)
{
    TVLTD32InfoScanner scanner(fixtures::kTd32Data, sizeof fixtures::kTd32Data);
    ASSERT_TRUE(scanner.Analyse());
    std::map<std::string, int> kinds;
    for (const auto& symbol : scanner.Symbols()) {
        EXPECT_NE(symbol->SymbolType(), 0x1234);  // a kind not read is skipped
        ++kinds[symbol->ClassName()];
    }
    const int units = static_cast<int>(std::size(fixtures::kUnitStarts));
    EXPECT_EQ(kinds["TVLObjNameSymbolInfo"], units);
    EXPECT_EQ(kinds["TVLGDataSymbolInfo"], units);
    EXPECT_EQ(kinds["TVLConstantSymbolInfo"], 1);
    EXPECT_EQ(kinds["TVLLabelSymbolInfo"], 1);
    EXPECT_GT(kinds["TVLLocalProcSymbolInfo"], 0);
    EXPECT_GT(kinds["TVLGlobalProcSymbolInfo"], 0);
    EXPECT_EQ(kinds.size(), 6u);
    EXPECT_EQ(static_cast<std::size_t>(kinds["TVLLocalProcSymbolInfo"] + kinds["TVLGlobalProcSymbolInfo"]),
              scanner.ProcSymbols().size());
    for (const auto& symbol : scanner.Symbols()) {
        if (const auto* data = dynamic_cast<const TVLGDataSymbolInfo*>(symbol.get())) {
            EXPECT_EQ(scanner.Names(data->NameIndex).substr(0, 1), "g");
        }
    }
}

}  // namespace
}  // namespace crash::test
