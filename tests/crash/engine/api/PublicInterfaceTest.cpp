// The public interface that needs no report: the call-stack table, a foreign
// stack's text, the compile date, FastMM's leak lines, the switches.
//
// The program carries the crash reporter's data, but not its start-up steps:
// each test brings up what it uses (module records, the installed flag).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/api/ApiExports.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/system/SystemInfo.h"

namespace {

using crash::TVexlorDebugInfo;
using crash::TVexlorStackList;

// The module records with the program's own data, the library installed.
class InstalledLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        crash::CreateModuleLists();
        crash::InstallModuleDataReader();
        crash::SetVexlorLogInstalled(true);
        crash::CreateThreadSwitchList();
    }
    void TearDown() override
    {
        crash::FreeThreadSwitchList();
        crash::SetVexlorLogInstalled(false);
        crash::DebugInfoResolver.store(&crash::GetDebugInfoByAddr);
    }
};

struct TFrame {
    crash::TVexlorDebugDetail Detail;
    std::uint32_t Addr = 0;
    const char* Module = nullptr;
    const char* Unit = "";
    const char* Class = "";
    const char* Procedure = "";
    std::uint32_t Line = 0;
    std::uint32_t OffsetLine = 0;
};

std::unique_ptr<TVexlorStackList> StackOf(const std::vector<TFrame>& frames)
{
    auto list = std::make_unique<TVexlorStackList>();
    for (const TFrame& frame : frames) {
        auto item = std::make_unique<TVexlorDebugInfo>();
        std::unique_ptr<crash::TVexlorModuleInfo> module;
        if (frame.Module != nullptr) {
            module = std::make_unique<crash::TVexlorModuleInfo>();
            module->Name = frame.Module;
        }
        item->DebugDetail = frame.Detail;
        item->Addr = frame.Addr;
        item->UnitName.Assign(frame.Unit);
        item->ClassName.Assign(frame.Class);
        item->ProcedureName.Assign(frame.Procedure);
        item->Line = frame.Line;
        item->ProcOffsetLine = frame.OffsetLine;
        list->AddOwning(std::move(item), std::move(module));
    }
    return list;
}

// ---- CallStackToStrings -----------------------------------------------------

struct TTableCase {
    const char* Name;
    std::vector<TFrame> Frames;
    std::vector<std::string> Expected;  // empty: nothing added
};

TEST_F(InstalledLibrary, CallStackToStringsTable)
{
    auto options = crash::TVexlorModuleOptions::Create(std::string());
    // Captions: "Address" (7, widened to 8), "Module", "Unit", "Class",
    // "Procedure/Method" (16), "Line".
    const std::vector<TTableCase> cases = {
        {"widths from the values, the line column empty for line 0",
         {{crash::ddSourceCode, 0x00401A2B, "C:\\app\\Program.exe", "Main.cpp", "TForm", "Click", 12, 3},
          {crash::ddUnitAndProcedure, 0x7C801000, "C:\\windows\\kernel32.dll", "k32.cpp", "", "Sleep", 0, 0},
          {crash::ddModule, 0x7C802000, "C:\\windows\\kernel32.dll", "", "", "", 0, 0}},
         {"---------------------------------------------------------------------",
          "|Address |Module      |Unit    |Class|Procedure/Method|Line |",
          "---------------------------------------------------------------------",
          "|00401A2B|Program.exe |Main.cpp|TForm|Click           |12[3]|",
          "|7C801000|kernel32.dll|k32.cpp |     |Sleep           |     |",
          "---------------------------------------------------------------------"}},
        {"a long procedure name widens its column",
         {{crash::ddProcedure, 0x10, nullptr, "", "", "AVeryLongProcedureName", 0, 0}},
         {"------------------------------------------------------------",
          "|Address |Module|Unit|Class|Procedure/Method      |Line|",
          "------------------------------------------------------------",
          "|00000010|      |    |     |AVeryLongProcedureName|    |",
          "------------------------------------------------------------"}},
        {"no qualifying frame", {{crash::ddModule, 1, "a.dll", "", "", "", 0, 0}, {crash::ddNone, 2}}, {}},
    };
    for (const TTableCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto stack = StackOf(c.Frames);
        std::vector<std::string> lines = {"before"};
        crash::CallStackToStrings(*stack, lines, options.get());
        std::vector<std::string> expected = {"before"};
        if (!c.Expected.empty()) {
            // The rule is as long as the widths together plus the seven bars.
            std::vector<std::string> rows(c.Expected.begin(), c.Expected.end());
            const std::size_t width = rows[1].size();
            for (std::string& row : rows)
                if (row[0] == '-') row = std::string(width, '-');
            expected.insert(expected.end(), rows.begin(), rows.end());
        }
        EXPECT_EQ(lines, expected);
    }
}

TEST_F(InstalledLibrary, CallStackToStringsRuleIsWidthsPlusSeven)
{
    auto options = crash::TVexlorModuleOptions::Create(std::string());
    auto stack = StackOf({{crash::ddSourceCode, 0x401000, "P.exe", "U.cpp", "C", "P", 7, 1}});
    std::vector<std::string> lines;
    crash::CallStackToStrings(*stack, lines, options.get());
    ASSERT_EQ(lines.size(), 5u);
    // Address 8, Module 6, Unit 5, Class 5, Procedure/Method 16, Line 4.
    EXPECT_EQ(lines[0], std::string(8 + 6 + 5 + 5 + 16 + 4 + 7, '-'));
    EXPECT_EQ(lines[3], "|00401000|P.exe |U.cpp|C    |P               |7[1]|");
}

TEST(CallStackToStrings, NothingWithoutOptions)
{
    ASSERT_FALSE(crash::IsVexlorLogInstalled());
    auto stack = StackOf({{crash::ddSourceCode, 0x401000, "P.exe", "U.cpp", "C", "P", 7, 1}});
    std::vector<std::string> lines = {"kept"};
    crash::CallStackToStrings(*stack, lines);
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});
}

// ---- The foreign stack's text ------------------------------------------------

struct TParsed {
    std::uint32_t Addr;
    std::string Module, Unit, Class, Procedure;
    std::uint32_t Line, OffsetLine;
    std::int32_t Thread;
    bool ErrorLine;
    crash::TVexlorDebugDetail Detail;
};

TEST(ParseCallStackText, FieldsThreadsAndSkippedLines)
{
    const std::string text = "4198400|C:\\app\\Host.vshost.exe|Main.cs|Form1|Button1_Click|42|3|Main\r\n"
                             "7|too|few|fields\r\n"
                             "4198500|Host.exe|Lib.cs||Namespace.Helper.Run|0|0|Main\n"
                             "1|a|b|c|d|e|f|g|nine\n"
                             "4198600|Host.exe|Lib.cs|||5|1|Worker 1\r\n"
                             "4198700|Other.dll|X.cs||NoDot|9|2|Worker 1\r\n"
                             "4198800|Other.dll|X.cs|Explicit|A.B|0|0|Worker 2";
    const std::vector<TParsed> expected = {
        {4198400, "C:\\app\\Host.exe", "Main.cs", "Form1", "Button1_Click", 42, 3, 0, true, crash::ddSourceCode},
        {4198500, "Host.exe", "Lib.cs", "Namespace.Helper", "Run", 0, 0, 0, false, crash::ddUnitAndProcedure},
        {4198600, "Host.exe", "Lib.cs", "", "", 5, 1, -1, true, crash::ddSourceCode},
        {4198700, "Other.dll", "X.cs", "", "NoDot", 9, 2, -1, false, crash::ddSourceCode},
        {4198800, "Other.dll", "X.cs", "Explicit", "A.B", 0, 0, -2, true, crash::ddUnitAndProcedure},
    };
    const auto list = crash::ParseCallStackText(text);
    ASSERT_EQ(list->Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < list->Count(); ++i) {
        SCOPED_TRACE(i);
        const TVexlorDebugInfo& item = *list->Items(i);
        const TParsed& e = expected[static_cast<std::size_t>(i)];
        EXPECT_EQ(item.Addr, e.Addr);
        ASSERT_NE(item.ModuleInfo, nullptr);
        EXPECT_EQ(item.ModuleInfo->Name, e.Module);
        EXPECT_EQ(item.UnitName.Str(), e.Unit);
        EXPECT_EQ(item.ClassName.Str(), e.Class);
        EXPECT_EQ(item.ProcedureName.Str(), e.Procedure);
        EXPECT_EQ(item.Line, e.Line);
        EXPECT_EQ(item.ProcOffsetLine, e.OffsetLine);
        EXPECT_EQ(static_cast<std::int32_t>(item.ThreadID), e.Thread);
        EXPECT_EQ(item.ErrorLine, e.ErrorLine);
        EXPECT_TRUE(item.RunningThread);
        EXPECT_EQ(item.DebugDetail, e.Detail);
    }
    EXPECT_EQ(crash::ParseCallStackText("")->Count(), 0);
}

// ---- The compile date ---------------------------------------------------------

TEST_F(InstalledLibrary, CompilationDateFromTheModulesRecord)
{
    const HMODULE self = GetModuleHandleA(nullptr);
    crash::TDateTime date = 0;
    ASSERT_TRUE(crash::GetCompilationDate(self, false, date));
    // The program's data block carries a date; put a known one in its record.
    constexpr crash::TDateTime kKnown = 45356.5;  // 5 March 2024, 12:00 UTC
    {
        rtl::TCriticalSectionLock lock(crash::ModulesListLock());
        crash::ModuleInfoByHandle(self)->ExtraInformation.CompilationDate = kKnown;
    }
    ASSERT_TRUE(crash::GetCompilationDate(self, false, date));
    EXPECT_EQ(date, kKnown);
    ASSERT_TRUE(crash::GetCompilationDate(self, true, date));
    EXPECT_NEAR(date, kKnown + crash::GetGMTMinutes() / 1440.0, 1e-9);
    // Run in a zone of its own, the driver names the offset it must find
    // (half-hour zones included: the date moves by the whole offset).
    if (const char* minutes = std::getenv("VOLUMETRA_EXPECT_GMT_MINUTES")) {
        EXPECT_EQ(crash::GetGMTMinutes(), std::atoi(minutes));
        EXPECT_NEAR((date - kKnown) * 1440.0, std::atoi(minutes), 1e-6);
    }
    double exported = 0;
    EXPECT_TRUE(crash::exports::GetCompilationDate(self, false, &exported));
    EXPECT_EQ(exported, kKnown);

    date = 1;
    EXPECT_FALSE(crash::GetCompilationDate(reinterpret_cast<HMODULE>(0x10000), false, date));
    EXPECT_EQ(date, 1);
}

// ---- FastMM's leak lines --------------------------------------------------------

// Readable code addresses, each with the detail a fake resolver gives it.
__attribute__((noinline)) void CodeA()
{
    asm volatile("nop; nop; nop; nop; nop; nop; nop; nop");
}

std::map<std::uint32_t, TVexlorDebugInfo>& FakeFrames()
{
    static std::map<std::uint32_t, TVexlorDebugInfo> frames;
    return frames;
}

void FakeResolver(std::uintptr_t x, std::uint32_t, TVexlorDebugInfo& item, bool, bool)
{
    item = TVexlorDebugInfo();
    item.Addr = static_cast<std::uint32_t>(x);
    const auto found = FakeFrames().find(static_cast<std::uint32_t>(x));
    if (found == FakeFrames().end()) return;
    item = found->second;
    item.Addr = static_cast<std::uint32_t>(x);
}

std::uint32_t FakeAddress(int index, crash::TVexlorDebugDetail detail, const std::string& procedure = "Proc")
{
    const auto base = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&CodeA));
    const std::uint32_t address = base + 1 + static_cast<std::uint32_t>(index);
    TVexlorDebugInfo item;
    item.DebugDetail = detail;
    if (detail >= crash::ddUnitAndProcedure) item.UnitName.Assign("Unit" + std::to_string(index) + ".cpp");
    if (detail >= crash::ddProcedure) item.ProcedureName.Assign(procedure);
    if (detail == crash::ddSourceCode) {
        item.Line = 10u + static_cast<std::uint32_t>(index);
        item.ProcOffsetLine = 2;
    }
    FakeFrames()[address - 1] = item;
    return address;
}

std::string LeakText(const std::vector<std::uint32_t>& addresses, std::uint32_t lines, bool procedures, bool units,
                     bool offsets = false)
{
    static char buffer[65536];
    char* end = crash::exports::FastMM_LogStackTrace(addresses.data(), static_cast<std::int32_t>(lines), buffer,
                                                     procedures, units, offsets);
    return std::string(buffer, end);
}

TEST_F(InstalledLibrary, FastMMLinesRelaxTheFlagsInOrder)
{
    crash::DebugInfoResolver.store(&FakeResolver);
    const std::uint32_t source = FakeAddress(0, crash::ddSourceCode);
    const std::uint32_t procedure = FakeAddress(1, crash::ddProcedure);
    const std::uint32_t unit = FakeAddress(2, crash::ddUnitAndProcedure);
    const std::uint32_t module = FakeAddress(3, crash::ddModule);
    auto hex = [](std::uint32_t address) {
        char text[16];
        std::snprintf(text, sizeof text, " %08X ", static_cast<unsigned>(address - 1));
        return std::string(text);
    };
    const std::string sourceLine = "\r\n" + hex(source) + "Unit0.cpp - Proc (Line: 10)";
    const std::string procedureLine = "\r\n" + hex(procedure) + "- Proc ";
    const std::string unitLine = "\r\n" + hex(unit) + "Unit2.cpp - Proc ";
    const std::string moduleLine = "\r\n" + hex(module);

    struct TCase {
        const char* Name;
        std::vector<std::uint32_t> Addresses;
        std::uint32_t Lines;
        bool Procedures, Units;
        std::string Expected;
    };
    const std::vector<TCase> cases = {
        {"source lines only, enough of them", {source, procedure, unit}, 1, false, false, sourceLine},
        // The first pass takes the source line; the unit flag then takes the
        // procedure and unit frames after it.
        {"unit flag first", {source, procedure, unit}, 3, false, false, sourceLine + procedureLine + unitLine},
        // A module frame passes only once both flags are set.
        {"both flags last", {source, module}, 2, false, false, sourceLine + moduleLine},
        {"procedure flag takes unit frames", {unit, procedure}, 1, true, false, unitLine},
        {"after the last accepted only", {procedure, source}, 2, false, false, sourceLine},
        {"both flags: everything", {module, procedure}, 2, true, true, moduleLine + procedureLine},
        {"an unreadable address ends the walk", {source, 0x10, source}, 3, true, true, sourceLine},
        {"no lines wanted", {source}, 0, false, false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(LeakText(c.Addresses, c.Lines, c.Procedures, c.Units), c.Expected);
    }
    EXPECT_EQ(LeakText({source}, 1, false, false, true), "\r\n" + hex(source) + "Unit0.cpp - Proc (Line: 10[2])");
}

TEST_F(InstalledLibrary, FastMMFrameTextStopsAt255Characters)
{
    crash::DebugInfoResolver.store(&FakeResolver);
    const std::uint32_t address = FakeAddress(5, crash::ddSourceCode, std::string(250, 'p'));
    const std::string text = LeakText({address, address}, 2, false, false);
    const std::string frame = "\r\n" + text.substr(2, 255);
    EXPECT_EQ(text.size(), 2 * (2 + 255u));
    EXPECT_EQ(text, frame + frame);
}

TEST_F(InstalledLibrary, FastMMLinesOfRealFrames)
{
    // The program's own code resolves through its data block.
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&CodeA)) + 2;
    const std::string text = LeakText({address, 0}, 2, false, false);
    EXPECT_NE(text.find("[PublicInterfaceTest.exe] PublicInterfaceTest.cpp - "), std::string::npos) << text;
    EXPECT_NE(text.find("CodeA (Line: "), std::string::npos) << text;
}

TEST(FastMM, AsksToActivateWhenNotInstalled)
{
    ASSERT_FALSE(crash::IsVexlorLogInstalled());
    const std::uint32_t addresses[] = {0};
    char buffer[512];
    char* end = crash::exports::FastMM_LogStackTrace(addresses, 1, buffer, false, false, false);
    EXPECT_EQ(std::string(buffer, end), "\r\nYou must activate VexlorLog in the \"PublicInterfaceTest.exe\" module.");
}

// ---- Switches ---------------------------------------------------------------------

TEST_F(InstalledLibrary, ThreadSwitchKeepsOneEntryPerThread)
{
    constexpr DWORD kThread = 4242;
    EXPECT_TRUE(crash::IsVexlorLogActiveInThread(kThread));
    crash::exports::SetVexlorLogInThread(kThread, false);
    crash::exports::SetVexlorLogInThread(kThread, false);
    EXPECT_EQ(crash::ThreadSwitchCount(), 1);
    EXPECT_FALSE(crash::exports::IsVexlorLogActiveInThread(kThread));
    EXPECT_TRUE(crash::IsVexlorLogActiveInThread(kThread + 1));
    crash::SetVexlorLogInThread(kThread, true);
    EXPECT_EQ(crash::ThreadSwitchCount(), 0);
    EXPECT_TRUE(crash::IsVexlorLogActiveInThread(kThread));
}

TEST(ThreadSwitch, WithoutTheListEveryThreadReports)
{
    crash::SetVexlorLogInThread(7, false);
    EXPECT_EQ(crash::ThreadSwitchCount(), 0);
    EXPECT_TRUE(crash::IsVexlorLogActiveInThread(7));
}

TEST_F(InstalledLibrary, OptionsOfTheModuleAndTheirAssertion)
{
    crash::TVexlorModuleOptions* options = crash::CurrentVexlorLogOptions();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(crash::exports::CurrentVexlorLogOptions(), options);
    EXPECT_TRUE(crash::ForceApplicationTermination(crash::tbRestart));
    EXPECT_EQ(options->TerminateBtnOperation(), crash::tbRestart);
    EXPECT_TRUE(crash::TerminateApplicationRequested.load());

    crash::SetVexlorLogInstalled(false);
    EXPECT_EQ(crash::exports::CurrentVexlorLogOptions(), nullptr);
    EXPECT_FALSE(crash::ForceApplicationTermination(crash::tbNone));
    try {
        crash::CurrentVexlorLogOptions();
        ADD_FAILURE() << "no assertion";
    } catch (const crash::EAssertionFailed& e) {
        EXPECT_EQ(e.Message(),
                  "\r\nCannot use 'CurrentVexlorLogOptions' function in module \"PublicInterfaceTest.exe\" without "
                  "activate VexlorLog.\r\nTo activate VexlorLog use the new IDE \"Project/VexlorLog Options...\" "
                  "menu. (ExceptionLog)");
    }
}

}  // namespace
