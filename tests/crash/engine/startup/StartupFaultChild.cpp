// A fault in code that no frame of ours can catch, so that it reaches the
// top-level filter: it is reported once (the pipeline's filter step and the
// last-resort step never both), and the process ends with the fault's code.
//
// usage: StartupFaultChild.exe MODE RESULT-FILE   (one line per report)
//   fault   msvcrt's strlen of a null pointer
//   divide  a division by zero in code outside the program's image, with the
//           report's message worded as the report layer words it (a full
//           stop added), so that it is not the raw message of the fault
//   thread  an exception leaving a thread object's Execute, which the thread
//           keeps as its FatalException; the program goes on
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

std::string gResultFile;

void RecordReport(crash::TReportContext& context, bool)
{
    if (FILE* file = std::fopen(gResultFile.c_str(), "ab")) {
        std::fprintf(file, "report %p\n", context.ExceptionAddress);
        std::fclose(file);
    }
    crash::SetDialogKind(crash::edtNone);
}

// The report layer's message: the object's text ending in a full stop.
std::string MessageWithFullStop(crash::TReportContext& context)
{
    const auto* error = dynamic_cast<const rtl::Exception*>(rtl::AsValidTObject(context.ExceptionObject));
    std::string text = error != nullptr ? error->Message() : std::string();
    if (!text.ends_with('.')) text += '.';
    return text;
}

int DivideOutsideTheImage()
{
    crash::ReportSteps.ExceptionMessageText.Set(&MessageWithFullStop);
    // xor ecx, ecx; xor edx, edx; div ecx; ret
    static const unsigned char kCode[] = {0x31, 0xC9, 0x31, 0xD2, 0xF7, 0xF1, 0xC3};
    void* code = ::VirtualAlloc(nullptr, sizeof kCode, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (code == nullptr) return 4;
    std::memcpy(code, kCode, sizeof kCode);
    return reinterpret_cast<int(__cdecl*)()>(code)();
}

int EndThreadByException()
{
    struct TFailing : rtl::TThread {
        void Execute() override { throw rtl::Exception("thread failed"); }
    } thread;
    thread.Start();
    thread.WaitFor();
    return thread.FatalException() ? 0 : 5;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 3) return 2;
    gResultFile = argv[2];
    crash::ReportSteps.IsConsoleApplication.Set([] { return false; });
    crash::ReportSteps.ShowExceptionBox.Set(&RecordReport);
    if (std::string(argv[1]) == "divide") return DivideOutsideTheImage();
    if (std::string(argv[1]) == "thread") return EndThreadByException();
    using TStrlen = std::size_t(__cdecl*)(const char*);
    const auto runtimeStrlen = reinterpret_cast<TStrlen>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("msvcrt.dll"), "strlen")));
    if (runtimeStrlen == nullptr) return 3;
    volatile const char* nothing = nullptr;
    return static_cast<int>(runtimeStrlen(const_cast<const char*>(nothing)));
}
