// A program that carries the whole crash reporter, as Volumetra.exe does, and
// fails in a worker thread with an exception nobody catches. Its options say
// no dialog and no log file, so the only trace of the report is what the
// exception-notify handler writes: the record's log text, as the crash
// reporter made it, into REPORT-FILE, and into RESULT-FILE what the report
// must show ("name=value" lines):
//   line=N       the line the worker raised on
//   function=F   the function that raised
//   main=ID      the main thread
//   worker=ID    the worker thread
//   record=ID    the exception thread of the record the handler received
//   id=XXXX      the pipeline's exception identifier
//   code=N       the worker's exit code, after it ended
//   installed=B reports=N failed=S error=E   the pipeline's state then, for
//                a report that did not reach the handler
//   done         main returned
//
// usage: EndToEndChild.exe RESULT-FILE REPORT-FILE
#include <windows.h>

#include <string>
#include <string_view>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "rtl/Classes.h"
#include "rtl/Startup.h"
#include "rtl/SysUtils.h"

namespace {

std::wstring gResultFile;
std::wstring gReportFile;
int gRaiseLine = 0;

void WriteFile(const std::wstring& name, std::string_view text, DWORD disposition)
{
    HANDLE file = ::CreateFileW(name.c_str(), disposition == CREATE_ALWAYS ? GENERIC_WRITE : FILE_APPEND_DATA,
                                FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

void Result(const std::string& line)
{
    WriteFile(gResultFile, line + "\n", OPEN_ALWAYS);
}

// The exception the worker raises; it keeps the line it was raised on.
struct ETankTableFailed : rtl::Exception {
    RTL_CLASS(ETankTableFailed)
    explicit ETankTableFailed(int line) : Exception("Tank table row 7 is out of order") { gRaiseLine = line; }
};

__attribute__((noinline)) void CalibrateTankTable()
{
    throw ETankTableFailed(__LINE__);
}

DWORD WINAPI Worker(void*)
{
    CalibrateTankTable();
    return 0;
}

void OnExceptionNotify(crash::TVexlorExceptionRecord record, bool&)
{
    WriteFile(gReportFile, crash::LogTextOf(record), CREATE_ALWAYS);
    Result("line=" + std::to_string(gRaiseLine));
    Result("function=CalibrateTankTable");
    Result("record=" + std::to_string(record.ExceptionThreadID));
    Result("id=" + crash::ExceptionIdentifier());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 3) return 2;
    gResultFile = argv[1];
    gReportFile = argv[2];
    ::DeleteFileW(gResultFile.c_str());
    ::DeleteFileW(gReportFile.c_str());
    Result("main=" + std::to_string(rtl::MainThreadID()));

    crash::TVexlorLog log;
    log.SetOnExceptionNotify(&OnExceptionNotify);

    DWORD id = 0;
    const HANDLE worker = ::CreateThread(nullptr, 0, Worker, nullptr, CREATE_SUSPENDED, &id);
    if (worker == nullptr) return 3;
    Result("worker=" + std::to_string(id));
    ::ResumeThread(worker);
    ::WaitForSingleObject(worker, INFINITE);
    DWORD code = 0;
    ::GetExitCodeThread(worker, &code);
    ::CloseHandle(worker);
    Result("code=" + std::to_string(code));
    const crash::TPipelineState* state = crash::PipelineStateOrNull();
    Result("installed=" + std::to_string(crash::IsVexlorLogInstalled()) +
           " reports=" + std::to_string(state != nullptr ? state->ExceptionCount : -1) + " failed=" +
           std::to_string(state != nullptr ? state->FailedStage : -1) + " error=" + crash::GetLastVexlorLogErrorMsg());
    Result("done");
    return 0;
}
