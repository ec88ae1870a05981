// Pruning on lists made by hand, the list's copy of an item, the details a
// report shows, and the resolution of single addresses.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/stack/CallStack.h"

namespace crash {
namespace {

struct Row {
    TVexlorDebugDetail detail;
    TVexlorModuleInfo* module;
    std::uint32_t addr;
    const char* procedure;
    std::uint32_t offsetLine;
    std::uint32_t thread;
};

void Fill(TVexlorStackList& list, std::initializer_list<Row> rows)
{
    for (const Row& s : rows) {
        auto item = std::make_unique<TVexlorDebugInfo>();
        item->DebugDetail = s.detail;
        item->ModuleInfo = s.module;
        item->Addr = s.addr;
        item->UnitName.Assign("Unit.cpp");
        item->ProcedureName.Assign(s.procedure);
        item->ProcOffsetLine = s.offsetLine;
        item->ThreadID = s.thread;
        item->RunningThread = true;
        list.Add(std::move(item));
    }
}

// The details of the items, a letter each: N M P U S.
std::string Details(const TVexlorStackList& list)
{
    std::string text;
    for (int i = 0; i < list.Count(); ++i) text += "NMPUS"[list.GetItem(i)->DebugDetail];
    return text;
}

class Prune : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOne.Handle = 0x400000;
        FTwo.Handle = 0x10000000;
    }
    void TearDown() override { IntoIDE = false; }
    TVexlorModuleInfo FOne, FTwo;
};

TEST_F(Prune, RepeatedCallSitesKeepTheOuterOne)
{
    struct Case {
        const char* name;
        std::vector<Row> items;
        int firstIndex;
        const char* details;
    };
    TVexlorModuleInfo* one = &FOne;
    TVexlorModuleInfo* two = &FTwo;
    const std::vector<Case> cases = {
        {"two equal neighbours", {{ddSourceCode, one, 10, "f", 1, 1}, {ddSourceCode, one, 10, "f", 1, 1}}, 0, "NS"},
        {"equal after one other",
         {{ddProcedure, one, 10, "f", 1, 1},
          {ddSourceCode, one, 20, "g", 1, 1},
          {ddUnitAndProcedure, one, 10, "f", 1, 1}},
         0,
         "NSU"},
        {"equal after two others",
         {{ddSourceCode, one, 10, "f", 1, 1},
          {ddSourceCode, one, 20, "g", 1, 1},
          {ddSourceCode, one, 30, "h", 1, 1},
          {ddSourceCode, one, 10, "f", 1, 1}},
         0,
         "SSSS"},
        {"items of another module and below procedure level do not count",
         {{ddSourceCode, one, 10, "f", 1, 1},
          {ddSourceCode, two, 20, "g", 1, 1},
          {ddModule, one, 30, "", 0, 1},
          {ddSourceCode, one, 10, "f", 1, 1}},
         0,
         "NSMS"},
        {"module-level items are never hidden",
         {{ddModule, one, 10, "", 0, 1}, {ddModule, one, 10, "", 0, 1}},
         0,
         "MM"},
        {"items before the walk's first are left",
         {{ddSourceCode, one, 10, "f", 1, 1}, {ddSourceCode, one, 10, "f", 1, 1}, {ddSourceCode, one, 20, "g", 1, 1}},
         1,
         "SSS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TVexlorStackList list;
        for (const Row& s : c.items) Fill(list, {s});
        PruneCallStack(list, c.firstIndex);
        EXPECT_EQ(Details(list), c.details);
    }
}

TEST_F(Prune, InsideTheIdeOnlyProcedureLevelItemsStay)
{
    for (const bool ide : {false, true}) {
        SCOPED_TRACE(ide);
        IntoIDE = ide;
        TVexlorStackList list;
        Fill(list, {{ddSourceCode, &FOne, 10, "f", 1, 1},
                    {ddSourceCode, &FOne, 20, "HandleException", 3, 1},
                    {ddModule, &FOne, 30, "", 0, 1},
                    {ddNone, nullptr, 40, "", 0, 1},
                    {ddProcedure, &FTwo, 50, "TApplication_HandleExceptionEx", 0, 1},
                    {ddUnitAndProcedure, &FTwo, 60, "g", 0, 1}});
        PruneCallStack(list, 1);
        EXPECT_EQ(Details(list), ide ? "SU" : "SSMNPU");
    }
}

// An item on a procedure's first line hides what lies between it and the
// nearest inner place in that procedure; the search also stops at an item of
// another thread, and hides everything up to it then.
TEST_F(Prune, RunsBeforeAProcedureEntry)
{
    struct Case {
        const char* name;
        std::vector<Row> items;
        const char* details;
    };
    TVexlorModuleInfo* one = &FOne;
    const std::vector<Case> cases = {
        {"stale items between a place in the procedure and its entry",
         {{ddSourceCode, one, 10, "entry", 4, 1},
          {ddNone, nullptr, 20, "", 0, 1},
          {ddSourceCode, one, 30, "k", 2, 1},
          {ddSourceCode, one, 40, "entry", 0, 1},
          {ddSourceCode, one, 50, "caller", 7, 1}},
         "SNNSS"},
        {"no place in the procedure down to the first item: nothing changes",
         {{ddSourceCode, one, 10, "h", 2, 1},
          {ddSourceCode, one, 20, "g", 3, 1},
          {ddSourceCode, one, 40, "entry", 0, 1}},
         "SSS"},
        {"the other thread's item ends the search",
         {{ddSourceCode, one, 10, "a", 5, 1},
          {ddSourceCode, one, 20, "g", 3, 2},
          {ddModule, one, 30, "", 0, 2},
          {ddSourceCode, one, 40, "entry", 0, 2}},
         "SNNS"},
        {"another entry is no place in the procedure",
         {{ddSourceCode, one, 10, "entry", 0, 1},
          {ddSourceCode, one, 20, "g", 3, 1},
          {ddSourceCode, one, 40, "entry", 0, 1}},
         "SSS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TVexlorStackList list;
        for (const Row& s : c.items) Fill(list, {s});
        PruneCallStack(list, 0);
        EXPECT_EQ(Details(list), c.details);
    }
}

TEST(StackList, AddFromCopiesTheItemsPlaceAndNames)
{
    TVexlorModuleInfo module;
    TVexlorDebugInfo source;
    source.DebugDetail = ddSourceCode;
    source.ModuleInfo = &module;
    source.ThreadID = 9;
    source.RunningThread = true;
    source.ErrorLine = true;
    source.IsALeak = true;
    source.LeakType.Assign("TList");
    source.LeakSize = 12;
    source.LeakCount = 3;
    source.Addr = 0x401234;
    source.UnitName.Assign("Unit.cpp");
    source.ClassName.Assign("TForm");
    source.ProcedureName.Assign("Click");
    source.Line = 77;
    source.ProcOffsetLine = 5;
    source.CustomMsg.Assign("note");
    TVexlorStackList list;
    ASSERT_EQ(list.AddFrom(source), 0);
    const TVexlorDebugInfo& copy = *list.GetItem(0);
    EXPECT_EQ(copy.DebugDetail, ddSourceCode);
    EXPECT_EQ(copy.ModuleInfo, &module);
    EXPECT_EQ(copy.Addr, 0x401234u);
    EXPECT_EQ(copy.UnitName.View(), "Unit.cpp");
    EXPECT_EQ(copy.ClassName.View(), "TForm");
    EXPECT_EQ(copy.ProcedureName.View(), "Click");
    EXPECT_EQ(copy.Line, 77u);
    // The rest is left at zero.
    EXPECT_EQ(copy.ThreadID, 0u);
    EXPECT_FALSE(copy.RunningThread || copy.ErrorLine || copy.IsALeak);
    EXPECT_TRUE(copy.LeakType.Empty() && copy.CustomMsg.Empty());
    EXPECT_EQ(copy.LeakSize + copy.LeakCount + copy.ProcOffsetLine, 0u);
}

TEST(StackList, ShownDetails)
{
    static const struct {
        TCallStackOptions options;
        TVexlorDebugDetails shown;
    } kCases[] = {
        {{}, {ddSourceCode}},
        {{csoShowDLLs}, {ddSourceCode, ddProcedure}},
        {{csoShowBPLs}, {ddSourceCode, ddUnitAndProcedure}},
        {{csoShowDLLs, csoShowBPLs, csoShowWindowsThreads}, {ddSourceCode, ddProcedure, ddUnitAndProcedure}},
    };
    auto options = TVexlorModuleOptions::Create("");
    for (const auto& c : kCases) {
        options->SetCallStackOptions(c.options);
        EXPECT_EQ(GetShownDebugDetails(*options).Bits(), c.shown.Bits());
    }
}

}  // namespace
}  // namespace crash
