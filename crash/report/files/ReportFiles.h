// The report steps that touch files: the shared crash log (duplicate count,
// deletion at a version change, saving the report), and the names, writing
// and listing of the temporary files sent with a report.
//
// The log steps hold the log's writers' lock (TLogFileLock) from opening the
// shared log to closing it, and every step closes it when it is done, so
// other processes wait at most for one step of this one. A step that finds
// the lock taken for longer than its bound fails as a log error.
//
// Threads: the log steps run on the report's thread, one report at a time
// (the pipeline's report lock); their events run on the main thread through
// CallInMainThread. The file-name, page, XML-copy and attachment steps run on
// the sending thread. The shared log itself takes no lock of its own beyond
// the writers' lock: it belongs to the report's thread.
// Zone: report thread and sending thread (everything allocates).
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "crash/engine/ECore.h"
#include "crash/engine/ReportSteps.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/report/log/LogFile.h"

namespace crash {

class TVexlorModuleOptions;

// What the file steps read and change of the report in progress. The
// pipeline keeps one per report.
struct TReportFilesState {
    // The options in force for the report.
    const TVexlorModuleOptions* Options = nullptr;
    // The report text appended to the log.
    std::string FullReportText;
    // What is sent: the pipeline's full report text, or the whole log with
    // sndSendEntireLog once the report has been appended.
    std::string TextToSend;
    // The exception's identifier (4 hexadecimal digits, item 2.7).
    std::string ExceptionID;
    // Set by the duplicate test: the identifier is in the log already.
    bool Duplicate = false;
    // This report has been counted as a repetition in the log (its entry's
    // count raised and saved), so no later step counts it again.
    bool Counted = false;
    // When the report began (local time).
    SYSTEMTIME ExceptionTime{};
    // The last page of a web application, possibly empty.
    std::string CapturedWebPage;
    // The password of the log's enciphered cells, possibly empty.
    std::string LogPassword;
    // The user chose to attach the screenshot.
    bool ScreenshotChosen = false;
};

// The events of saving the log, filled at start-up with the report events'
// procedures (they read and set VexlorEventData()'s Execute and Retry flags).
// An empty slot forwards and fires the event directly.
struct TLogFileEvents {
    TReportStep<void()> NotifySavingLogFile;
    TReportStep<void()> NotifySavedLogFile;
    TReportStep<void()> NotifyLogFileError;
};
inline TLogFileEvents LogFileEvents;

// ---- The shared log ------------------------------------------------------------------

// The log file's path: the options' OutputLogFile with variables expanded.
std::string ExpandedLogFileName(const TVexlorModuleOptions& options);

// Opens the shared log on the options' log file: takes the file's writers'
// lock (ELogFileLocked after kLogFileLockTimeout) and loads the file.
// Opening again while it is open (a step inside a step) keeps the one that
// is open and counts the nesting; each OpenLogFile needs its CloseLogFile.
// A log left open on another path is closed first; while a step still holds
// it, opening another path raises rtl::Exception.
TLogFile& OpenLogFile(const TVexlorModuleOptions& options);
// Closes one opening; the last frees the log and releases the lock.
void CloseLogFile() noexcept;
// The open shared log; null when none is open.
TLogFile* SharedLog() noexcept;

// Holds the shared log open for a scope.
class TSharedLogUse {
public:
    explicit TSharedLogUse(const TVexlorModuleOptions& options) : FLog(OpenLogFile(options)) {}
    ~TSharedLogUse() { CloseLogFile(); }
    TSharedLogUse(const TSharedLogUse&) = delete;
    TSharedLogUse& operator=(const TSharedLogUse&) = delete;
    TLogFile& Log() const noexcept { return FLog; }

private:
    TLogFile& FLog;
};

// ---- The log steps --------------------------------------------------------------------

// With loNoDuplicateErrors: sets the duplicate flag when the identifier is
// in the log, and with increment raises that entry's count (item 2.8) and
// saves the log. Without it the flag is cleared. The log's exceptions pass
// to the caller, the log closed.
void CountDuplicateError(TReportFilesState& state, bool increment);

// With loDeleteLogAtVersionChange: deletes the log file when the newest
// entry's item 1.3 is not empty and differs from currentVersion. The log's
// exceptions pass to the caller, the log closed.
void DeleteLogAtVersionChange(const TVexlorModuleOptions& options,
                              const std::string& currentVersion = GetMainModuleVersion());

// Appends the report to the log (unless it is a repetition the log counts)
// and saves the log, with the saving events; a failure only sets the last
// error (eeLogError, "Log") and fires the error event, whose retry saves
// again: the report is stored once however often it is retried. Under the
// lock the identifier is looked up again, so that a repetition another
// writer stored meanwhile is counted instead of appended.
void SaveReportToLog(TReportFilesState& state);

// ---- Files of a report ------------------------------------------------------------------

// The name under which the file path is attached: its file name, with "__"
// and the computer's name and/or "__" and the exception time
// (yyyymmddhhnnss) before its extension, as the send options ask.
std::string SendFileName(const TReportFilesState& state, const std::string& path);

std::string LogCopyFileName(const TReportFilesState& state);
std::string XMLCopyFileName(const TReportFilesState& state);
std::string ScreenshotFileName(const TReportFilesState& state);
std::string AttachedScreenshotFileName(const TReportFilesState& state);
std::string LastHTMLPageFileName(const TReportFilesState& state);
std::string CapturedHTMLPageFileName(const TReportFilesState& state);
std::string ZipFileName(const TReportFilesState& state);

// Writes page (its lines closed by CRLF) to LastHTMLPageFileName when the
// report has a captured page; failures are ignored.
void SaveLastHTMLPage(const TReportFilesState& state, const std::string& page);

// The file's lines, each closed by CRLF, in the ANSI code page (a UTF-8 or
// UTF-16 file, told by its byte-order mark, is converted); empty for an
// empty name, a missing file or a failure to read.
std::string LoadTextFile(const std::string& fileName);

// Writes the XML copy of the log copy (or, without one, of the text to send)
// to XMLCopyFileName, read with the report's log password. Nothing without
// sndSendXMLLogCopy; failures pass to the caller.
void SaveXMLLogCopy(const TReportFilesState& state);

// The files to attach: the user's attached files, the log copy (for a mail
// only when the log is not in its body), the chosen screenshot, the
// captured page and the XML copy; variables expanded.
void BuildAttachmentList(const TReportFilesState& state, bool forEmail, std::vector<std::string>& list);

// ---- The pipeline's side ---------------------------------------------------------------

// The file steps' state of the report in progress, as the pipeline's slots
// see it: taken from the pipeline's state (PipelineState()) at every step,
// the fields the pipeline does not keep (text to send, captured page,
// whether the report was counted) kept here from step to step of one report.
// The sending code reads the text to send and the captured page here.
TReportFilesState& CurrentReportFiles();

// Fills the pipeline's log and page slots (ReportSteps): CountDuplicateError,
// ReadLastLogEntryItem, CloseLogFile, DeleteLogAtVersionChange,
// SaveReportToLog, LoadLastHTMLPage,
// CapturePageText and ScreenshotFileName. A step of the crash reporter's
// start-up.
void RegisterReportFilesSteps();

}  // namespace crash
