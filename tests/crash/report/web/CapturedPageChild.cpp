// A CGI program that carries the whole crash reporter: it writes its page to
// standard output, through its own WriteFile import and through the C
// runtime's, and then a worker fails with an exception nobody catches. The
// report must carry the program's page, not the crash reporter's own error
// page written at its end. Before that, raising and unwinding go through the
// patched RaiseException and RtlUnwind and still work.
//
// Run with REQUEST_METHOD set. Exit code 0 when every check holds; each
// failed check is a line on standard error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/Capture.h"
#include "crash/engine/startup/LibraryStartup.h"
#include "crash/report/files/ReportFiles.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"

namespace {

const char kHeader[] = "Content-Type: text/html\r\n\r\n";
const char kBody[] = "<html><body>Tank 3: 1520 l</body></html>\r\n";

int gFailures = 0;
std::string gNotifiedPage;
bool gNotified = false;

void Check(bool ok, const std::string& what)
{
    if (ok) return;
    ++gFailures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    std::fflush(stderr);
}

void* PatchOf(const char* name)
{
    for (const crash::TImportPatch& patch : crash::PipelineImportPatches())
        if (std::string(patch.Name) == name) return patch.Replacement;
    return nullptr;
}

void CheckInstalled()
{
    Check(PatchOf("RaiseException") == reinterpret_cast<void*>(&crash::HookedRaise), "RaiseException's replacement");
    Check(PatchOf("RtlUnwind") == reinterpret_cast<void*>(&VexlorHookedRtlUnwind), "RtlUnwind's replacement");
    Check(PatchOf("WriteFile") == reinterpret_cast<void*>(&crash::HookedWriteFile), "WriteFile's replacement");
    // This program's own import entries now lead to the replacements.
    Check(reinterpret_cast<void*>(&::RaiseException) == reinterpret_cast<void*>(&crash::HookedRaise),
          "the program's RaiseException import is patched");
    Check(reinterpret_cast<void*>(&::WriteFile) == reinterpret_cast<void*>(&crash::HookedWriteFile),
          "the program's WriteFile import is patched");
    Check(reinterpret_cast<void*>(&::RtlUnwind) == reinterpret_cast<void*>(&VexlorHookedRtlUnwind),
          "the program's RtlUnwind import is patched");
}

// ---- A raise and an unwind of the system's own frames ----

struct TSehFrame {
    TSehFrame* Next;
    void* Handler;
};

TSehFrame* ChainHead()
{
    TSehFrame* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(TSehFrame* head)
{
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

constexpr DWORD kTestCode = 0xE0564C47;
TSehFrame* gOuterFrame = nullptr;
int gInnerSearches = 0;
int gInnerUnwinds = 0;
int gOuterHandled = 0;
bool gUnwindReturned = false;

EXCEPTION_DISPOSITION __cdecl InnerHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*)
{
    if ((record->ExceptionFlags & EXCEPTION_UNWINDING) != 0)
        ++gInnerUnwinds;
    else if (record->ExceptionCode == kTestCode)
        ++gInnerSearches;
    return ExceptionContinueSearch;
}

// Takes the test's raise: unwinds the frames below its own, as a language's
// except block does, and goes on after the raise.
EXCEPTION_DISPOSITION __cdecl OuterHandler(EXCEPTION_RECORD* record, void*, CONTEXT*, void*)
{
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        record->ExceptionCode != kTestCode)
        return ExceptionContinueSearch;
    ++gOuterHandled;
    ::RtlUnwind(gOuterFrame, nullptr, record, nullptr);
    gUnwindReturned = true;
    return ExceptionContinueExecution;
}

__attribute__((noinline)) void RaiseUnderInnerFrame()
{
    TSehFrame inner{ChainHead(), reinterpret_cast<void*>(&InnerHandler)};
    SetChainHead(&inner);
    ::RaiseException(kTestCode, 0, 0, nullptr);
    // The unwind took the inner frame out already.
    if (ChainHead() == &inner) SetChainHead(inner.Next);
}

__attribute__((noinline)) void CheckRaiseAndUnwind()
{
    TSehFrame outer{ChainHead(), reinterpret_cast<void*>(&OuterHandler)};
    gOuterFrame = &outer;
    SetChainHead(&outer);
    RaiseUnderInnerFrame();
    // Which record heads the chain after a continued dispatch is the
    // system's affair; the chain goes back to what it was before.
    SetChainHead(outer.Next);
    Check(gInnerSearches == 1 && gOuterHandled == 1, "the raise reached both frames (inner " +
                                                         std::to_string(gInnerSearches) + ", outer " +
                                                         std::to_string(gOuterHandled) + ")");
    Check(gUnwindReturned && gInnerUnwinds == 1,
          "the unwind ran the inner frame once and returned (" + std::to_string(gInnerUnwinds) + ")");
}

__attribute__((noinline)) void ThrowRangeError()
{
    throw std::out_of_range("row 9");
}

void CheckThrowAndCatch()
{
    bool caught = false;
    try {
        ThrowRangeError();
    } catch (const std::out_of_range& e) {
        caught = std::string(e.what()) == "row 9";
    }
    Check(caught, "a C++ throw is caught");
}

// ---- The page ----

void WritePage()
{
    // As CGI programs do: the page's bytes go out as they are.
    _setmode(_fileno(stdout), _O_BINARY);
    DWORD written = 0;
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    Check(::WriteFile(output, kHeader, sizeof kHeader - 1, &written, nullptr) && written == sizeof kHeader - 1,
          "the header is written");
    std::fputs(kBody, stdout);
    std::fflush(stdout);
}

struct ECalibrationLost : rtl::Exception {
    RTL_CLASS(ECalibrationLost)
    ECalibrationLost() : Exception("Calibration of tank 3 lost") {}
};

__attribute__((noinline)) void LoseCalibration()
{
    throw ECalibrationLost();
}

DWORD WINAPI Worker(void*)
{
    LoseCalibration();
    return 0;
}

void OnExceptionNotify(crash::TVexlorExceptionRecord, bool&)
{
    gNotified = true;
    gNotifiedPage = crash::CurrentReportFiles().CapturedWebPage;
}

}  // namespace

int main()
{
    const rtl::TProgramStartup programStartup;
    Check(crash::IsVexlorLogInstalled(), "the crash reporter is installed");
    CheckInstalled();
    CheckThrowAndCatch();
    CheckRaiseAndUnwind();
    CheckThrowAndCatch();

    crash::TVexlorLog log;
    log.SetOnExceptionNotify(&OnExceptionNotify);
    WritePage();
    const std::string page = std::string(kHeader) + kBody;
    const HANDLE worker = ::CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
    if (worker == nullptr) return 3;
    ::WaitForSingleObject(worker, INFINITE);
    ::CloseHandle(worker);
    Check(gNotified, "the worker's exception was reported");
    Check(gNotifiedPage == page, "the report has the program's page: [" + gNotifiedPage + "]");
    // The report wrote its own error page to standard output by now.
    const std::string after = crash::CurrentReportFiles().CapturedWebPage;
    Check(after == page, "the error page is not taken for the program's: [" + after + "]");
    return gFailures == 0 ? 0 : 1;
}
