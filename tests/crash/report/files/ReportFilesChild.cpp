// The child of the log's several-writers tests.
//
// usage: ReportFilesChild.exe writer LOG CHILD RESULT
//          20 reports through the duplicate test and the log save: the even
//          ones with identifiers of their own, the odd ones all "5EED"; writes
//          the number of failed saves and of retries to RESULT; a busy log is
//          retried.
//        ReportFilesChild.exe churn LOG replace|inplace PROGRESS FIRST
//          appends reports FIRST, FIRST+1, ... (ChurnRows table rows) to a log of
//          at most 40 entries, raising the oldest entry's count each time, and
//          after each finished save writes the report's number to PROGRESS;
//          runs until it is killed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/report/files/ReportFiles.h"
#include "crash/report/log/LogFileLock.h"
#include "rtl/Startup.h"
#include "tests/crash/report/files/CannedReports.h"

namespace {

int Retries = 0;

// The error event's answer: retry a failed save a few times, as a user
// would when the log is busy.
void RetryBusyLog()
{
    crash::VexlorEventData().Retry = Retries < 100;
    ++Retries;
    crash::VexlorEventData().Execute = true;
}

int Writer(const std::string& log, int child, const char* result)
{
    crash::LogFileEvents.NotifyLogFileError.Set(&RetryBusyLog);
    auto options = crash::TVexlorModuleOptions::Create("");
    options->SetOutputPath(log);
    options->SetSaveLogFile(true);
    options->SetErrorsNumberToSave(-1);
    crash::TLogOptions logOptions;
    logOptions.Include(crash::loNoDuplicateErrors);
    options->SetLogOptions(logOptions);
    int failures = 0;
    std::string errors;
    for (int report = 0; report < 20; ++report) {
        crash::TReportFilesState state;
        state.Options = options.get();
        state.ExceptionID = report % 2 == 0 ? testsupport::ReportID(0x1000 + child * 32 + report) : std::string("5EED");
        state.FullReportText = testsupport::CannedReport(state.ExceptionID);
        state.TextToSend = state.FullReportText;
        try {
            // A duplicate test that waited too long leaves the count to the
            // save, which looks the identifier up again.
            try {
                crash::CountDuplicateError(state, true);
            } catch (const crash::ELogFileLocked&) {
                ++Retries;
            }
            crash::SaveReportToLog(state);
            if (crash::GetLastVexlorLogErrorCode() != crash::eeNone) {
                ++failures;
                errors += "\r\n" + std::to_string(report) + ": " + crash::GetLastVexlorLogErrorMsg();
            }
        } catch (const rtl::Exception& e) {
            ++failures;
            errors += "\r\n" + std::to_string(report) + ": " + e.Message();
        }
    }
    if (FILE* file = std::fopen(result, "wb")) {
        std::fprintf(file, "%d failed, %d retried%s", failures, Retries, errors.c_str());
        std::fclose(file);
    }
    return 0;
}

int Churn(const std::string& path, bool inPlace, const char* progressName, unsigned first)
{
    HANDLE progress = CreateFileA(progressName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
    if (progress == INVALID_HANDLE_VALUE) return 3;
    for (unsigned number = first;; ++number) {
        {
            crash::TLogFileLock lock(path);
            crash::TLogFile log(path, false);
            log.Append(testsupport::CannedReport(testsupport::ReportID(number), testsupport::ChurnRows(number)), 40);
            log.SetItemValue("2.8", std::to_string(number) + "0000", 0, "Count");
            if (inPlace)
                log.SaveInPlace();
            else
                log.Save();
        }
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%-10u\r\n", number);
        DWORD written = 0;
        SetFilePointer(progress, 0, nullptr, FILE_BEGIN);
        WriteFile(progress, text, static_cast<DWORD>(length), &written, nullptr);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 2) return 2;
    const std::string mode = argv[1];
    try {
        if (mode == "writer" && argc == 5) return Writer(argv[2], std::atoi(argv[3]), argv[4]);
        if (mode == "churn" && argc == 6)
            return Churn(argv[2], std::string(argv[3]) == "inplace", argv[4],
                         static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)));
    } catch (...) {
        return 4;
    }
    return 2;
}
