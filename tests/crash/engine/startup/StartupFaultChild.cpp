// A fault inside the C runtime (msvcrt's strlen of a null pointer), which no
// frame of ours can catch: it reaches the top-level filter, is reported once
// (the pipeline's filter step and the last-resort step never both), and the
// process ends with the fault's code.
//
// usage: StartupFaultChild.exe MODE RESULT-FILE   (one line per report)
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/Startup.h"

namespace {

std::string gResultFile;

void RecordReport(crash::TReportContext& Context, bool)
{
    if (FILE* file = std::fopen(gResultFile.c_str(), "ab")) {
        std::fprintf(file, "report %p\n", Context.ExceptionAddress);
        std::fclose(file);
    }
    crash::SetDialogKind(crash::edtNone);
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 3) return 2;
    gResultFile = argv[2];
    crash::ReportSteps.IsConsoleApplication.Set([] { return false; });
    crash::ReportSteps.ShowExceptionBox.Set(&RecordReport);
    using TStrlen = std::size_t(__cdecl*)(const char*);
    const auto runtimeStrlen = reinterpret_cast<TStrlen>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("msvcrt.dll"), "strlen")));
    if (runtimeStrlen == nullptr) return 3;
    volatile const char* nothing = nullptr;
    return static_cast<int>(runtimeStrlen(const_cast<const char*>(nothing)));
}
