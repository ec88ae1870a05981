// The last two steps of an address lookup: a source's location mapped into a
// call-stack item, and export names over a made-up list of functions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"

namespace crash::test {
namespace {

// A source that answers one location for every address.
class TCannedSource : public TVLDebugInfoSource {
public:
    explicit TCannedSource(TVLLocationInfo location, bool answers = true)
        : TVLDebugInfoSource(kFakeModule), FLocation(std::move(location)), FAnswers(answers)
    {}
    bool InitializeSource() override { return true; }
    bool ValidData() const noexcept override { return true; }
    bool GetLocationInfo(std::uintptr_t address, TVLLocationInfo& info) noexcept override
    {
        info = FLocation;
        info.Address = address;
        info.DebugInfo = this;
        return FAnswers;
    }

private:
    TVLLocationInfo FLocation;
    bool FAnswers;
};

struct ItemText {
    TVexlorDebugDetail detail;
    std::string unit, cls, procedure;
    std::uint32_t line, procOffsetLine;
    bool operator==(const ItemText&) const = default;
};
std::ostream& operator<<(std::ostream& out, const ItemText& t)
{
    return out << int{t.detail} << " [" << t.unit << "] [" << t.cls << "] [" << t.procedure << "] " << t.line << " "
               << t.procOffsetLine;
}
ItemText TextOf(const TVexlorDebugInfo& item)
{
    return {item.DebugDetail,         item.UnitName.Str(), item.ClassName.Str(),
            item.ProcedureName.Str(), item.Line,           item.ProcOffsetLine};
}

TEST(OtherDebugInfo, LocationMappedIntoTheItem)
{
    const struct {
        const char* unit;
        const char* procedure;
        std::int32_t line;
        std::int32_t procOffsetLine;
        const char* source;
        bool withModule;
        ItemText expected;
        // clang-format off
    } kCases[] = {
        {"Unit1", "Unit1.TForm1.Button1Click", 42, 3, "C:\\Src\\Unit1.pas", false,
         {ddSourceCode, "Unit1.pas", "TForm1", "Button1Click", 42, 3}},
        // Of two parts, the first is the class unless it is the unit.
        {"Unit1", "unit1.Helper", 7, 0, "C:\\Src\\Unit1.pas", false,
         {ddSourceCode, "Unit1.pas", "", "Helper", 7, 0}},
        {"Unit1", "TForm1.Show", 7, 0, "C:\\Src\\Unit1.pas", false,
         {ddSourceCode, "Unit1.pas", "TForm1", "Show", 7, 0}},
        {"Unit1", "Proc", 9, 1, "Unit1.pas", false, {ddSourceCode, "Unit1.pas", "", "Proc", 9, 1}},
        // At most three parts: the third takes the rest.
        {"Unit1", "A.B.C.D", 9, 1, "Unit1.pas", false, {ddSourceCode, "Unit1.pas", "B", "C.D", 9, 1}},
        // "@" at the front of the procedure becomes "_".
        {"Unit1", "@Init", 3, 0, "Unit1.pas", false, {ddSourceCode, "Unit1.pas", "", "_Init", 3, 0}},
        {"Unit1", "Unit1.TForm.@Hidden", 3, 0, "Unit1.pas", false, {ddSourceCode, "Unit1.pas", "TForm", "_Hidden", 3, 0}},
        // No source name: the unit name's file-name part.
        {"C:\\Lib\\Vcl\\Forms.pas", "TForm.Close", 0, 0, "", false,
         {ddUnitAndProcedure, "Forms.pas", "TForm", "Close", 0, 0}},
        {"", "Lonely", 0, 0, "", false, {ddProcedure, "", "", "Lonely", 0, 0}},
        // A procedure name that splits into nothing: the module, when known.
        {"", "X.", 0, 0, "", true, {ddModule, "", "X", "", 0, 0}},
        {"", "X.", 0, 0, "", false, {ddNone, "", "X", "", 0, 0}},
        // Negative lines are no lines.
        {"Unit1", "Proc", -5, -2, "Unit1.pas", false, {ddUnitAndProcedure, "Unit1.pas", "", "Proc", 0, 0}},
    };
    // clang-format on
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.procedure);
        TVLLocationInfo location;
        location.UnitName = c.unit;
        location.ProcedureName = c.procedure;
        location.LineNumber = c.line;
        location.ProcOffsetLine = c.procOffsetLine;
        location.SourceName = c.source;
        TCannedSource source(location);
        TVexlorDebugInfo item;
        if (c.withModule) item.ModuleInfo = reinterpret_cast<TVexlorModuleInfo*>(0x1234);
        ASSERT_TRUE(GetOtherDebugInfoByAddr(&source, 0x401234, item));
        EXPECT_EQ(item.Addr, 0x401234u);
        EXPECT_EQ(TextOf(item), c.expected);
    }
}

TEST(OtherDebugInfo, NoAnswerLeavesTheItem)
{
    TVLLocationInfo noProcedure;
    noProcedure.UnitName = "Unit1";
    noProcedure.LineNumber = 5;
    TVLLocationInfo full = noProcedure;
    full.ProcedureName = "Proc";
    TCannedSource empty(noProcedure), silent(full, false);
    for (TVLDebugInfoSource* source :
         {static_cast<TVLDebugInfoSource*>(&empty), static_cast<TVLDebugInfoSource*>(&silent),
          static_cast<TVLDebugInfoSource*>(nullptr)}) {
        TVexlorDebugInfo item;
        item.DebugDetail = ddModule;
        item.Addr = 77;
        EXPECT_FALSE(GetOtherDebugInfoByAddr(source, 0x401234, item));
        EXPECT_EQ(item.DebugDetail, ddModule);
        EXPECT_EQ(item.Addr, 77u);
        EXPECT_TRUE(item.UnitName.Empty());
    }
}

TEST(ExportNames, Rules)
{
    const struct {
        const char* name;
        ItemText expected;
    } kCases[] = {
        {"@Unit@Class@Method$qqrv", {ddUnitAndProcedure, "Unit.cpp", "Class", "Method", 0, 0}},
        {"@Unit@Proc$qqrpv", {ddUnitAndProcedure, "Unit.cpp", "", "Proc", 0, 0}},
        // The first "@@" keeps its second "@" as "_".
        {"@Unit@TFoo@@Bar$qqrv", {ddUnitAndProcedure, "Unit.cpp", "TFoo", "_Bar", 0, 0}},
        {"@Unit@@Finalization$qqrv", {ddUnitAndProcedure, "Unit.cpp", "", "_Finalization", 0, 0}},
        // A constructor: the "@" before "$" is dropped with it.
        {"@Unit@TFoo@$bctr$qqrv", {ddUnitAndProcedure, "Unit.cpp", "", "TFoo", 0, 0}},
        // A dotted name is cut at its first "@".
        {"Unit.Proc@8", {ddUnitAndProcedure, "Unit.cpp", "", "Proc", 0, 0}},
        {"Unit.Class.Proc", {ddUnitAndProcedure, "Unit.cpp", "Class", "Proc", 0, 0}},
        {"A.B.C.D", {ddModule, "", "", "", 0, 0}},  // four parts
        {"@Unit@A@B@C$qqrv", {ddModule, "", "", "", 0, 0}},
        // Plain names and other compilers' mangled names are the procedure.
        {"DebugInfoDllFunction", {ddProcedure, "", "", "DebugInfoDllFunction", 0, 0}},
        {"_Z3fooi", {ddProcedure, "", "", "_Z3fooi", 0, 0}},
        {"@Foo", {ddProcedure, "", "", "_Foo", 0, 0}},
        {"@$xp$Foo", {ddProcedure, "", "", "_$xp$Foo", 0, 0}},
        // A "?" name stays with the module.
        {"?Foo@@YAXXZ", {ddModule, "", "", "", 0, 0}},
        {"", {ddModule, "", "", "", 0, 0}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TVexlorDebugInfo item;
        item.DebugDetail = ddModule;
        ExportNameToDebugInfo(c.name, item);
        EXPECT_EQ(TextOf(item), c.expected);
    }
}

// Three functions; the measure gives each its size from a table and counts
// its calls.
struct TFunction {
    std::string Name;
    std::uint32_t Addr;
    std::uint32_t Size;
};
std::vector<TFunction> gFunctions;
std::vector<std::pair<std::uintptr_t, std::size_t>> gMeasured;
std::size_t MeasureStub(const void* address, std::size_t maxLength) noexcept
{
    gMeasured.emplace_back(reinterpret_cast<std::uintptr_t>(address), maxLength);
    switch (reinterpret_cast<std::uintptr_t>(address)) {
    case 0x1000: return 0x10;
    case 0x1100: return 0x20;
    default: return 1;
    }
}

TEST(ExportNames, FunctionsListSearch)
{
    gFunctions = {{"@Unit@Class@Method$qqrv", 0x1000, 0}, {"Plain", 0x1100, 0}, {"?Hidden@@", 0x1200, 0}};
    gMeasured.clear();
    const auto at = [](std::size_t i) -> TFunction& { return gFunctions[i]; };
    static constexpr struct {
        std::uintptr_t address;
        bool found;
        TVexlorDebugDetail detail;
        const char* procedure;
    } kCases[] = {
        {0x0FFF, false, ddModule, ""},  // before the first function
        {0x1000, true, ddUnitAndProcedure, "Method"},
        {0x1010, true, ddUnitAndProcedure, "Method"},  // Addr + Size: inside, the range is closed
        {0x1011, false, ddModule, ""},                 // beyond it, before the next
        {0x1100, true, ddProcedure, "Plain"},
        {0x1120, true, ddProcedure, "Plain"},
        {0x1200, true, ddModule, ""},  // found, but a "?" name
        {0x1202, false, ddModule, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << "0x" << std::hex << c.address);
        TVexlorDebugInfo item;
        item.DebugDetail = ddModule;
        EXPECT_EQ(GetExportInfoByAddr(gFunctions.size(), at, c.address, item, &MeasureStub), c.found);
        EXPECT_EQ(item.DebugDetail, c.detail);
        EXPECT_EQ(item.ProcedureName.Str(), c.procedure);
    }
    // Each function was measured once, reaching no further than the next one.
    const std::vector<std::pair<std::uintptr_t, std::size_t>> expected = {
        {0x1000, 0x100}, {0x1100, 0x100}, {0x1200, kMaxMeasuredFunction}};
    EXPECT_EQ(gMeasured, expected);
    EXPECT_EQ(gFunctions[0].Size, 0x10u);
    TVexlorDebugInfo item;
    EXPECT_FALSE(GetExportInfoByAddr(0, at, 0x1000, item, &MeasureStub));
}

TEST(ExportNames, MeasuresRealCode)
{
    // The default measure reads the code itself: this test's own function.
    std::vector<TFunction> functions = {
        {"MeasureStub", static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&MeasureStub)), 0}};
    const auto at = [&](std::size_t i) -> TFunction& { return functions[i]; };
    TVexlorDebugInfo item;
    EXPECT_TRUE(GetExportInfoByAddr(functions.size(), at, functions[0].Addr, item));
    EXPECT_GT(functions[0].Size, 1u);
    EXPECT_EQ(item.DebugDetail, ddProcedure);
}

}  // namespace
}  // namespace crash::test
