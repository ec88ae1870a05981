// The report's tables, written by hand from their layout rules and compared
// byte for byte: the call stack with its thread groups, the modules and
// processes tables, the empty tables, and the row buffer's bound.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "crash/engine/stack/CallStack.h"
#include "crash/engine/threads/ThreadRegistry.h"
#include "crash/report/sections/ReportSections.h"
#include "rtl/Classes.h"

using namespace crash;

namespace {

std::unique_ptr<TVexlorModuleOptions> DefaultOptions()
{
    return TVexlorModuleOptions::Create("");
}

TVexlorDebugInfo* AddItem(TVexlorStackList& list, TVexlorModuleInfo* module, TVexlorDebugDetail detail,
                          std::uint32_t thread, bool running, bool errorLine, std::uint32_t addr, const char* unit,
                          const char* className, const char* procedure, std::uint32_t line, std::uint32_t offset)
{
    auto item = std::make_unique<TVexlorDebugInfo>();
    item->DebugDetail = detail;
    item->ModuleInfo = module;
    item->ThreadID = thread;
    item->RunningThread = running;
    item->ErrorLine = errorLine;
    item->Addr = addr;
    item->UnitName.Assign(unit);
    item->ClassName.Assign(className);
    item->ProcedureName.Assign(procedure);
    item->Line = line;
    item->ProcOffsetLine = offset;
    TVexlorDebugInfo* raw = item.get();
    list.Add(std::move(item));
    return raw;
}

}  // namespace

TEST(CallStackBlock, TwoThreadsWithARunningThreadGroup)
{
    const auto options = DefaultOptions();
    TCallStackOptions callOptions = options->CallStackOptions();
    callOptions.Exclude(csoShowDLLs);
    callOptions.Exclude(csoShowBPLs);
    options->SetCallStackOptions(callOptions);
    TVexlorModuleInfo program;
    program.Name = "C:\\Program Files\\Volumetra\\Volumetra.exe";
    TVexlorModuleInfo system;
    system.Name = "C:\\windows\\system32\\kernel32.dll";
    const std::uint32_t main = rtl::MainThreadID();
    ASSERT_NE(main, 1234u);

    TVexlorStackList stack;
    AddItem(stack, &program, ddSourceCode, 1234, true, true, 0x00401A2B, "MainForm.cpp", "TMainForm", "ButtonClick", 12,
            0);
    // Hidden without csoShowDLLs: it neither shows nor widens a column.
    AddItem(stack, &system, ddProcedure, 1234, true, false, 0x7C801000, "kernel32.dll", "",
            "AProcedureNameLongEnoughToWidenItsColumn", 0, 0);
    AddItem(stack, &program, ddSourceCode, 1234, true, false, 0x00402000, "Worker.cpp", "", "Run|Now\r\n", 0, 0);
    AddItem(stack, &program, ddModule, 1234, true, false, 0x00402800, "", "", "", 0, 0);
    TVexlorDebugInfo* running =
        AddItem(stack, &program, ddSourceCode, main, true, false, 0x00403000, "Main.cpp", "", "WinMain", 7, 3);
    running->CustomMsg.Assign("waits|for\r\nit");
    AddItem(stack, &program, ddSourceCode, 5678, false, false, 0x00404000, "Worker.cpp", "TWorker", "Execute", 120, 15);
    AddItem(stack, &program, ddSourceCode, 5678, false, false, 0x00404100, "Worker.cpp", "TWorker", "Start", 88, 2);

    std::vector<std::int32_t> stages;
    static std::vector<std::int32_t>* record;
    record = &stages;
    const TCallStackTable table =
        BuildCallStackBlock(&stack, 3, *options, [](std::int32_t stage) noexcept { record->push_back(stage); });

    // Widths 8, 13, 12, 9, 16, 7: sum 65, rule 72, rows 74 with CRLF, one-cell rows 70 inside.
    const std::string rule(72, '-');
    const std::string separator = "|" + std::string(70, '-') + "|\r\n";
    std::string mainHeader =
        "Running Thread: ID=" + std::to_string(main) + "; Priority=??; Class=; [Main] (waits?for??it)";
    ASSERT_LE(mainHeader.size(), 70u);
    mainHeader += std::string(70 - mainHeader.size(), ' ');
    const std::string expected =
        "Call Stack Information:\r\n" + rule + "\r\n" +
        "|Address |Module       |Unit        |Class    |Procedure/Method|Line   |\r\n" + rule + "\r\n" +
        "|*Exception Thread: ID=1234; Priority=??; Class=                       |\r\n" + separator +
        "|00401A2B|Volumetra.exe|MainForm.cpp|TMainForm|ButtonClick     |12[0]  |\r\n"
        "|00402000|Volumetra.exe|Worker.cpp  |         |Run?Now??       |       |\r\n" +
        separator + "|                                                                      |\r\n" + "|" + mainHeader +
        "|\r\n" + separator + "|00403000|Volumetra.exe|Main.cpp    |         |WinMain         |7[3]   |\r\n" +
        separator + "|Calling Thread: ID=5678; Priority=??; Class=                          |\r\n" + separator +
        "|00404000|Volumetra.exe|Worker.cpp  |TWorker  |Execute         |120[15]|\r\n"
        "|00404100|Volumetra.exe|Worker.cpp  |TWorker  |Start           |88[2]  |\r\n" +
        rule + "\r\n\r\n";
    EXPECT_EQ(table.Text, expected);
    EXPECT_EQ(table.DashRule, rule);
    const std::int32_t widths[6] = {8, 13, 12, 9, 16, 7};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(table.Widths[i], widths[i]) << i;

    // The progress marks: widths to head, then per shown item, and the end.
    ASSERT_GE(stages.size(), 6u);
    EXPECT_EQ(std::vector<std::int32_t>(stages.begin(), stages.begin() + 5),
              (std::vector<std::int32_t>{7027, 7028, 7029, 7030, 7031}));
    EXPECT_EQ(stages.back(), 7040);
    EXPECT_EQ(std::count(stages.begin(), stages.end(), 7032), 5);
    EXPECT_EQ(std::count(stages.begin(), stages.end(), 7033), 3);
    EXPECT_EQ(std::count(stages.begin(), stages.end(), 7039), 5);
}

TEST(CallStackBlock, ShownDetailsAndLineCells)
{
    // With csoShowDLLs a system frame shows; a package frame needs csoShowBPLs.
    const auto options = DefaultOptions();
    TCallStackOptions callOptions = options->CallStackOptions();
    callOptions.Include(csoShowDLLs);
    callOptions.Exclude(csoShowBPLs);
    options->SetCallStackOptions(callOptions);
    TVexlorStackList stack;
    AddItem(stack, nullptr, ddProcedure, 1, true, true, 0x7C801000, "", "", "Sleep", 0, 0);
    AddItem(stack, nullptr, ddUnitAndProcedure, 1, true, false, 0x50001000, "Pkg.cpp", "", "Hidden", 0, 0);
    const TCallStackTable table = BuildCallStackBlock(&stack, 1, *options);
    EXPECT_NE(table.Text.find("|7C801000|      |    |     |Sleep           |    |\r\n"), std::string::npos)
        << table.Text;
    EXPECT_EQ(table.Text.find("Hidden"), std::string::npos);
    EXPECT_EQ(table.Text.find("50001000"), std::string::npos);

    // Without a list: head and the closing rule on its own line.
    const TCallStackTable none = BuildCallStackBlock(nullptr, 0, *options);
    const std::string rule(8 + 6 + 4 + 5 + 16 + 4 + 7, '-');
    EXPECT_EQ(none.Text, "Call Stack Information:\r\n" + rule +
                             "\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n" + rule + "\r\n" + rule +
                             "\r\n\r\n");
}

TEST(CallStackBlock, LongThreadHeaderIsCutToTheRow)
{
    const auto options = DefaultOptions();
    TVexlorStackList stack;
    TVexlorDebugInfo* item = AddItem(stack, nullptr, ddSourceCode, 42, false, false, 0x401000, "A.cpp", "", "P", 1, 0);
    item->CustomMsg.Assign(std::string(200, 'x'));
    const TCallStackTable table = BuildCallStackBlock(&stack, 1, *options);
    // Widths 8, 6, 5, 5, 16, 4: every row 44 + 7 bytes before its CRLF.
    int rows = 0;
    bool cut = false;
    for (std::size_t at = 0; at < table.Text.size();) {
        const std::size_t end = table.Text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        if (table.Text[at] == '|') {
            EXPECT_EQ(end - at, 51u) << table.Text.substr(at, end - at);
            if (table.Text.compare(at, 15, "|Calling Thread") == 0) cut = table.Text.compare(end - 2, 2, "x|") == 0;
            ++rows;
        }
        at = end + 2;
    }
    EXPECT_EQ(rows, 4) << table.Text;  // labels, thread header, separator, the item
    EXPECT_TRUE(cut) << table.Text;
}

TEST(ThreadHeader, RolesLeaksAndTheRegistry)
{
    const auto options = DefaultOptions();
    TVexlorDebugInfo item;
    item.ThreadID = 0x80000001u;  // a negative id shows as 0
    item.RunningThread = true;
    item.ErrorLine = true;
    EXPECT_EQ(ThreadHeaderText(item, true, *options), "*Exception Thread: ID=0; Priority=??; Class=");
    EXPECT_EQ(ThreadHeaderText(item, false, *options), "Exception Thread: ID=0; Priority=??");
    item.ErrorLine = false;
    EXPECT_EQ(ThreadHeaderText(item, false, *options, true), "Running Thread: ");
    item.CustomMsg.Assign("note");
    EXPECT_EQ(ThreadHeaderText(item, false, *options, true), "Running Thread:  (note)");

    TVexlorDebugInfo leak;
    leak.IsALeak = true;
    leak.LeakType.Assign("Data");
    leak.LeakSize = 48;
    leak.LeakCount = 3;
    EXPECT_EQ(ThreadHeaderText(leak, true, *options), "+Memory Leak: Type=Data; Total size=48; Count=3");
    options->SetCustomizedTexts(mtCallStack_LeakData, "Bytes");
    leak.LeakType.Assign("Data");
    EXPECT_EQ(ThreadHeaderText(leak, false, *options), "Memory Leak: Type=Bytes; Total size=48; Count=3");

    // A registered thread whose priority was never read: asked from the
    // system and kept in the registry.
    ASSERT_TRUE(InstallThreadHooks());
    TVexlorThreadsList* list = ThreadsList();
    ASSERT_NE(list, nullptr);
    list->BeginWrite();
    const int index = list->FindByThreadID(rtl::MainThreadID());
    ASSERT_GE(index, 0);
    list->GetItem(index)->Priority = kPriorityNotRead;
    list->EndWrite();
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    TVexlorDebugInfo mainItem;
    mainItem.ThreadID = rtl::MainThreadID();
    mainItem.RunningThread = true;
    const std::string text = ThreadHeaderText(mainItem, true, *options);
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(text, "Running Thread: ID=" + std::to_string(mainItem.ThreadID) + "; Priority=1; Class=; [Main]");
    list->BeginRead();
    EXPECT_EQ(list->GetItem(list->FindByThreadID(rtl::MainThreadID()))->Priority, 1);
    list->EndRead();
    RemoveThreadHooks();
}

TEST(ModulesBlock, DescriptionWithBarAndLineBreakKeepsTheTable)
{
    const auto options = DefaultOptions();
    TVexlorModulesList modules;
    auto program = std::make_unique<TVexlorModuleInfo>();
    program->Handle = 0x00400000;
    program->Name = "C:\\Program Files\\Volumetra\\Volumetra.exe";
    program->Description = "Fuel|tank\r\ncalibration";
    program->Version = "1.2.3.4";
    program->Size = 123456;
    program->LastModified = 45000.5;
    modules.Add(std::move(program));
    auto library = std::make_unique<TVexlorModuleInfo>();
    library->Handle = 0x7C800000;
    library->Name = "C:\\windows\\system32\\kernel32.dll";
    library->LastModified = 45001.25;
    modules.Add(std::move(library));

    const TModulesTable table = BuildModulesBlock(modules, *options);
    // Widths 8, 13, 22, 7, 6, 19, 26: sum 101, rule 109.
    const std::string rule(109, '-');
    EXPECT_EQ(table.Text, "Modules Information:\r\n" + rule + "\r\n" +
                              "|Handle  |Name         |Description           |Version|Size  |Modified           |Path  "
                              "                    |\r\n" +
                              rule + "\r\n" +
                              "|00400000|Volumetra.exe|Fuel?tank??calibration|1.2.3.4|123456|2023-03-15 "
                              "12:00:00|C:\\Program Files\\Volumetra|\r\n"
                              "|7C800000|kernel32.dll |                      |       |0     |2023-03-16 "
                              "06:00:00|C:\\windows\\system32       |\r\n" +
                              rule + "\r\n\r\n");
    const std::int32_t widths[7] = {8, 13, 22, 7, 6, 19, 26};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(table.Widths[i], widths[i]) << i;
    EXPECT_EQ(table.DashRule, rule);

    // A handle label longer than 8 widens the column and its digits.
    options->SetCustomizedTexts(mtModules_Handle, "Module handle");
    const TModulesTable wide = BuildModulesBlock(modules, *options);
    EXPECT_NE(wide.Text.find("|0000000400000|Volumetra.exe|"), std::string::npos) << wide.Text;
}

TEST(ModulesBlock, ModuleTimes)
{
    static constexpr struct {
        TDateTime value;
        const char* text;
    } kCases[] = {
        {45000.5, "2023-03-15 12:00:00"},
        {0, ""},  // a file that could not be looked at: no date of 1899
        {2.0, "1900-01-01 00:00:00"},
        {-1.0, "1899-12-29 00:00:00"},
        {3000000.0, ""},  // outside the calendar
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ModuleTimeText(c.value), c.text);
    }
}

TEST(ProcessesBlock, RowsAndTexts)
{
    const auto options = DefaultOptions();
    TVexlorProcessesList processes;
    auto process = std::make_unique<TVexlorProcessInfo>();
    process->ProcessID = 36;
    process->Name = "C:\\windows\\explorer.exe";
    process->Description = "Explorer";
    process->Version = "6.1";
    process->Priority = 32;
    process->Memory = 4096;
    processes.Add(std::move(process));
    const TProcessesTable table = BuildProcessesBlock(processes, *options);
    // Widths 2, 12, 11, 7, 6, 8, 7, 10: sum 63, rule 72.
    const std::string rule(72, '-');
    EXPECT_EQ(table.Text, "Processes Information:\r\n" + rule + "\r\n" +
                              "|ID|Name        |Description|Version|Memory|Priority|Threads|Path      |\r\n" + rule +
                              "\r\n" + "|36|explorer.exe|Explorer   |6.1    |4096  |Normal  |??     |C:\\windows|\r\n" +
                              rule + "\r\n\r\n");

    // A process that could not be opened: memory and priority unknown, so
    // empty, not a working set of 0 bytes.
    auto unknown = std::make_unique<TVexlorProcessInfo>();
    unknown->ProcessID = 4;
    unknown->Name = "C:\\windows\\system32\\services.exe";
    unknown->Threads = 7;
    processes.Add(std::move(unknown));
    const TProcessesTable both = BuildProcessesBlock(processes, *options);
    EXPECT_NE(both.Text.find("|4 |services.exe|           |       |      |        |7      |C:\\windows\\system32|"),
              std::string::npos)
        << both.Text;
}

TEST(Tables, EmptyTableAndRowBufferBound)
{
    EXPECT_EQ(EmptyTableText("Registers"), "Registers:\r\n----------\r\n\r\n");
    EXPECT_EQ(CleanCellText("a|b\rc\nd"), "a?b?c?d");

    // Reserved for one row, given three; the cell beyond its width is cut.
    TRowBuffer buffer(8);
    const std::int32_t widths[2] = {3, 2};
    const std::string_view cells[2] = {"abcdef", ""};
    for (int i = 0; i < 3; ++i) buffer.WriteRow(cells, widths, 2);
    EXPECT_EQ(buffer.Take(), "|abc|  |\r\n|abc|  |\r\n|abc|  |\r\n");
}

TEST(ReportBlocks, OptionsOffGiveTheEmptyTables)
{
    const auto options = DefaultOptions();
    TLogOptions logOptions = options->LogOptions();
    logOptions.Exclude(loSaveModulesAndProcessesSections);
    logOptions.Exclude(loSaveAssemblerAndCPUSections);
    options->SetLogOptions(logOptions);
    TReportContext context;
    BuildCallStackSections(context, nullptr, 0, *options);
    const std::string rule(50, '-');
    EXPECT_EQ(context.CallStackText, "Call Stack Information:\r\n" + rule +
                                         "\r\n|Address |Module|Unit|Class|Procedure/Method|Line|\r\n" + rule + "\r\n" +
                                         rule +
                                         "\r\n\r\n"
                                         "Modules Information:\r\n--------------------\r\n\r\n"
                                         "Processes Information:\r\n----------------------\r\n\r\n");
    EXPECT_EQ(context.CallStackDashRule, rule);
    EXPECT_EQ(context.CallStackWidths, (std::array<std::int32_t, 6>{8, 6, 4, 5, 16, 4}));

    std::string header = "stale", listing = "stale", cpu;
    BuildAssemblerAndCPUSections(context, *options, header, listing, cpu);
    EXPECT_EQ(header, "Assembler Information:\r\n----------------------");
    EXPECT_EQ(listing, "");
    EXPECT_EQ(cpu, "Registers:\r\n----------\r\n\r\n");
}

TEST(ReportBlocks, ModulesAndProcessesOfThisProcess)
{
    const auto options = DefaultOptions();
    ASSERT_NE(ModulesList(), nullptr) << "the program's module records are set up before the tests";
    RefreshModulesList();
    RefreshProcessesList();
    TReportContext context;
    BuildCallStackSections(context, nullptr, 0, *options);
    const std::string& text = context.CallStackText;

    // Every row of a table is as long as its rule; this program is a row of both.
    auto rowsOf = [&](const std::string& caption, const std::string& rule, int& ownRows) {
        const std::size_t begin = text.find(caption + ":\r\n" + rule + "\r\n");
        ASSERT_NE(begin, std::string::npos) << caption;
        std::size_t at = text.find("\r\n", text.find(rule + "\r\n", begin + caption.size() + 3 + rule.size())) + 2;
        ownRows = 0;
        int rows = 0;
        while (text.compare(at, rule.size() + 2, rule + "\r\n") != 0) {
            const std::size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            EXPECT_EQ(end - at, rule.size()) << text.substr(at, end - at);
            if (text.substr(at, end - at).find("|ReportSectionsTest.exe") != std::string::npos) ++ownRows;
            at = end + 2;
            ++rows;
        }
        EXPECT_GT(rows, 0) << caption;
    };
    int own = 0;
    rowsOf("Modules Information", context.ModulesDashRule, own);
    EXPECT_EQ(own, 1);
    rowsOf("Processes Information", context.ProcessesDashRule, own);
    EXPECT_GE(own, 1);  // tests of this program may run side by side
    std::int32_t sum = 0;
    for (std::int32_t w : context.ModulesWidths) sum += w;
    EXPECT_EQ(context.ModulesDashRule.size(), static_cast<std::size_t>(sum + 8));
    sum = 0;
    for (std::int32_t w : context.ProcessesWidths) sum += w;
    EXPECT_EQ(context.ProcessesDashRule.size(), static_cast<std::size_t>(sum + 9));
}
