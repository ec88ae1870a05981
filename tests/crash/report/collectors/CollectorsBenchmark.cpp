// How long each header collector takes: the first run and the median of 20,
// in milliseconds, and the slowest of them. A figure, not a check.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/appkind/ApplicationKind.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

double TimeOnce(const std::function<void()>& collector)
{
    LARGE_INTEGER from;
    LARGE_INTEGER to;
    QueryPerformanceCounter(&from);
    collector();
    QueryPerformanceCounter(&to);
    return Milliseconds(from, to);
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    using namespace crash;
    // The module list and its data reader, as the crash reporter's start-up
    // makes them.
    CreateModuleLists();
    InstallModuleDataReader();
    const rtl::Exception error("Tank table is empty");
    const void* address = reinterpret_cast<const void*>(&Milliseconds);
    std::string sink;
    const std::vector<std::pair<const char*, std::function<void()>>> collectors = {
        {"StartDateText", [&] { sink = StartDateText(); }},
        {"ApplicationNameText", [&] { sink = ApplicationNameText(); }},
        {"CommandLineParametersText", [&] { sink = CommandLineParametersText(); }},
        {"CompilationDateText", [&] { sink = CompilationDateText(); }},
        {"ExceptionAddressText", [&] { sink = ExceptionAddressText(address); }},
        {"ExceptionModuleText", [&] { sink = ExceptionModuleText(address); }},
        {"ExceptionModuleVersionText", [&] { sink = ExceptionModuleVersionText(address); }},
        {"ExceptionClassText", [&] { sink = ExceptionClassText(&error); }},
        {"ExceptionMessageText", [&] { sink = ExceptionMessageText(&error); }},
        {"UserCompanyText", [&] { sink = UserCompanyText(); }},
        {"UserPrivilegesText", [&] { sink = UserPrivilegesText(); }},
        {"ForegroundFormClassText", [&] { sink = ForegroundFormClassText(); }},
        {"ForegroundFormText", [&] { sink = ForegroundFormText(); }},
        {"TotalMemoryText", [&] { sink = TotalMemoryText(); }},
        {"FreeMemoryText", [&] { sink = FreeMemoryText(); }},
        {"TotalDiskText", [&] { sink = TotalDiskText(); }},
        {"FreeDiskText", [&] { sink = FreeDiskText(); }},
        {"ProcessorText", [&] { sink = ProcessorText(); }},
        {"SystemUpTimeText", [&] { sink = SystemUpTimeText(); }},
        {"DisplayModeText", [&] { sink = DisplayModeText(); }},
        {"DisplayDPIText", [&] { sink = DisplayDPIText(); }},
        {"VideoCardText", [&] { sink = VideoCardText(); }},
        {"PrinterText", [&] { sink = PrinterText(); }},
        {"ServicePackText", [&] { sink = ServicePackText(); }},
        {"SystemLanguageText", [&] { sink = SystemLanguageText(); }},
        {"CharsetText", [&] { sink = CharsetText(); }},
        {"NetworkInfoTexts", [&] { sink = NetworkInfoTexts()[niIP]; }},
        {"IsGUIApplication", [&] { sink = std::to_string(IsGUIApplication()); }},
    };
    double totalFirst = 0;
    double totalMedian = 0;
    const char* slowest = "";
    double slowestMedian = -1;
    std::printf("%-28s %10s %10s\n", "collector", "first ms", "median ms");
    for (const auto& [name, collector] : collectors) {
        const double first = TimeOnce(collector);
        std::vector<double> runs;
        for (int i = 0; i < 20; ++i) runs.push_back(TimeOnce(collector));
        std::sort(runs.begin(), runs.end());
        const double median = (runs[9] + runs[10]) / 2;
        std::printf("%-28s %10.3f %10.3f\n", name, first, median);
        totalFirst += first;
        totalMedian += median;
        if (median > slowestMedian) {
            slowestMedian = median;
            slowest = name;
        }
    }
    std::printf("%-28s %10.3f %10.3f\n", "sum of the above", totalFirst, totalMedian);
    // The header's values as a report collects them, every item shown.
    TReportContext context;
    context.ExceptionObject = const_cast<rtl::Exception*>(&error);
    context.ExceptionAddress = const_cast<void*>(address);
    std::vector<double> runs;
    for (int i = 0; i < 20; ++i)
        runs.push_back(TimeOnce([&] {
            THeaderValues values;
            CollectHeaderValues(context, values, TShowOptions::All());
        }));
    std::sort(runs.begin(), runs.end());
    std::printf("%-28s %10s %10.3f\n", "CollectHeaderValues", "", (runs[9] + runs[10]) / 2);
    std::printf("slowest (median): %s, %.3f ms\n", slowest, slowestMedian);
    // Where the two slow ones spend it: loading and freeing their library
    // alone, which each call does.
    for (const wchar_t* library : {L"winspool.drv", L"iphlpapi.dll"}) {
        std::vector<double> runs;
        for (int i = 0; i < 20; ++i) runs.push_back(TimeOnce([&] { FreeLibrary(LoadLibraryW(library)); }));
        std::sort(runs.begin(), runs.end());
        std::printf("load and free %-15ls %10.3f ms (median)\n", library, (runs[9] + runs[10]) / 2);
    }
    return 0;
}
