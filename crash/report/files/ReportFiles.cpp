#include "crash/report/files/ReportFiles.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/events/ReportEvents.h"
#include "crash/report/log/LogFileLock.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// The shared log: the lock taken on its path, the log loaded under it, and
// how many steps hold it open. Generation counts the loads, so that a step
// can tell whether the log it changed before is still the one in memory.
struct TSharedLogState {
    std::unique_ptr<TLogFileLock> Lock;
    std::unique_ptr<TLogFile> Log;
    std::string Path;
    int Depth = 0;
    unsigned Generation = 0;
};

TSharedLogState& Shared()
{
    static TSharedLogState state;
    return state;
}

void FreeSharedLog() noexcept
{
    TSharedLogState& shared = Shared();
    shared.Log.reset();
    shared.Lock.reset();
    shared.Path.clear();
}

const std::string kIdentifierItem = "2.7";
const std::string kCountItem = "2.8";

// The count of an entry's repetitions: 1 when empty or not a number.
long StoredCount(const std::string& Text)
{
    if (Text.empty()) return 1;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(Text.c_str(), &end, 10);
    return (end == nullptr || *end != '\0' || errno != 0) ? 1 : value;
}

void RaiseCount(TLogFile& Log, int Index)
{
    const long count = StoredCount(Log.GetItemValue(kCountItem, Index)) + 1;
    Log.SetItemValue(kCountItem, std::to_string(count), Index, "Count");
}

// Runs a log event on the main thread: the slot's procedure (a seam for
// tests), or without one the report event itself (forwarded to the raising
// module and fired here).
void CallEvent(const TReportStep<void()>& Event, void (*Notify)())
{
    CallInMainThread([&Event, Notify] {
        if (Event)
            Event();
        else
            Notify();
    });
}

std::string FileExtension(const std::string& Name)
{
    const std::size_t dot = Name.rfind('.');
    return dot == std::string::npos ? std::string() : Name.substr(dot);
}

std::string WithSuffix(const std::string& Name, const std::string& Suffix)
{
    const std::string extension = FileExtension(Name);
    return Name.substr(0, Name.size() - extension.size()) + "__" + Suffix + extension;
}

const TVexlorModuleOptions& OptionsOf(const TReportFilesState& State)
{
    if (State.Options == nullptr) throw rtl::Exception("The report has no options.");
    return *State.Options;
}

bool SendOption(const TReportFilesState& State, TCommonSendOption Option)
{
    return State.Options != nullptr && State.Options->CommonSendOptions().Contains(Option);
}

// Lines of Text (CRLF, CR or LF), each closed by CRLF.
std::string LinesClosedByCRLF(std::string_view Text)
{
    std::string out;
    out.reserve(Text.size() + 2);
    std::size_t start = 0;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r' && Text[i] != '\n') continue;
        out.append(Text.substr(start, i - start));
        out += "\r\n";
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < Text.size()) {
        out.append(Text.substr(start));
        out += "\r\n";
    }
    return out;
}

std::string WideTextToAnsi(std::wstring_view Text)
{
    return rtl::WideToAnsi(Text);
}

}  // namespace

// ---- The shared log ------------------------------------------------------------------

std::string ExpandedLogFileName(const TVexlorModuleOptions& Options)
{
    return ExpandEnvVars(Options.OutputLogFile(std::string()));
}

TLogFile& OpenLogFile(const TVexlorModuleOptions& Options)
{
    TSharedLogState& shared = Shared();
    const std::string path = ExpandedLogFileName(Options);
    if (shared.Log && path != shared.Path) {
        // A step inside a step still works on the log it opened.
        if (shared.Depth > 0)
            throw rtl::Exception("The log file \"" + shared.Path + "\" is open; \"" + path + "\" cannot be opened.");
        FreeSharedLog();
    }
    if (!shared.Log) {
        auto lock = std::make_unique<TLogFileLock>(path);
        shared.Log = std::make_unique<TLogFile>(path, false);
        shared.Lock = std::move(lock);
        shared.Path = path;
        ++shared.Generation;
    }
    ++shared.Depth;
    return *shared.Log;
}

void CloseLogFile() noexcept
{
    TSharedLogState& shared = Shared();
    if (shared.Depth > 0) --shared.Depth;
    if (shared.Depth == 0) FreeSharedLog();
}

TLogFile* SharedLog() noexcept
{
    return Shared().Log.get();
}

// ---- The log steps --------------------------------------------------------------------

void CountDuplicateError(TReportFilesState& State, bool Increment)
{
    const TVexlorModuleOptions& options = OptionsOf(State);
    if (!options.LogOptions().Contains(loNoDuplicateErrors)) {
        State.Duplicate = false;
        return;
    }
    TSharedLogUse use(options);
    TLogFile& log = use.Log();
    const int index = log.FindItem({kIdentifierItem}, {State.ExceptionID});
    State.Duplicate = index != -1;
    if (State.Duplicate && Increment && !State.Counted) {
        RaiseCount(log, index);
        log.Save();
        State.Counted = true;
    }
}

void DeleteLogAtVersionChange(const TVexlorModuleOptions& Options, const std::string& CurrentVersion)
{
    if (!Options.LogOptions().Contains(loDeleteLogAtVersionChange)) return;
    TSharedLogUse use(Options);
    TLogFile& log = use.Log();
    const std::string version = log.GetItemValue("1.3", log.Count() - 1);
    // Deleted while the lock is held, so that no writer saves into the old
    // log meanwhile.
    if (!version.empty() && version != CurrentVersion) ForceDeleteFile(ExpandedLogFileName(Options));
}

void SaveReportToLog(TReportFilesState& State)
{
    const TVexlorModuleOptions& options = OptionsOf(State);
    TVexlorEventData& data = VexlorEventData();
    data.Execute = true;
    const bool saveLog = options.SaveLogFile();
    if (saveLog) CallEvent(LogFileEvents.NotifySavingLogFile, &NotifySavingLogFile);

    // The loads of the shared log that hold this report's entry or count in
    // memory: a retry on the same load only saves again, one on a new load
    // (the lock was left during the error event) stores the report again.
    unsigned appendedIn = 0, countedIn = 0;
    do {
        ClearLastVexlorLogError();
        try {
            TSharedLogUse use(options);
            TLogFile& log = use.Log();
            const unsigned generation = Shared().Generation;
            if (options.LogOptions().Contains(loNoDuplicateErrors)) {
                // Another writer may have stored this identifier since the
                // duplicate test.
                const int index = log.FindItem({kIdentifierItem}, {State.ExceptionID});
                State.Duplicate = index != -1;
                if (State.Duplicate && !State.Counted) {
                    if (countedIn != generation) RaiseCount(log, index);
                    countedIn = generation;
                    if (data.Execute && saveLog) log.Save();
                    State.Counted = true;
                }
            }
            if (!State.Duplicate) {
                if (appendedIn != generation) log.Append(State.FullReportText, options.ErrorsNumberToSave());
                appendedIn = generation;
                if (options.CommonSendOptions().Contains(sndSendEntireLog)) State.TextToSend = log.Text();
                if (data.Execute && saveLog) log.Save();
            }
        } catch (...) {
            SetLastVexlorLogErrorFromException(eeLogError, "Log");
            data.Execute = false;
        }
        // The log is closed here: the error event may wait for the user,
        // and other writers must not wait for that.
        data.Retry = false;
        if (saveLog && !data.Execute) CallEvent(LogFileEvents.NotifyLogFileError, [] { NotifyLogFileError(); });
    } while (data.Retry);

    if (saveLog) CallEvent(LogFileEvents.NotifySavedLogFile, &NotifySavedLogFile);
}

// ---- Files of a report ------------------------------------------------------------------

std::string SendFileName(const TReportFilesState& State, const std::string& Path)
{
    std::string name = ExtractFileName(Path);
    if (SendOption(State, sndAddComputerNameInFileName)) name = WithSuffix(name, ComputerNameText());
    if (SendOption(State, sndAddDateInFileName)) {
        const SYSTEMTIME& time = State.ExceptionTime;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                      time.wMinute, time.wSecond);
        name = WithSuffix(name, stamp);
    }
    return name;
}

std::string LogCopyFileName(const TReportFilesState& State)
{
    return TempFolder() + ExtractFileName(ExpandedLogFileName(OptionsOf(State)));
}

std::string XMLCopyFileName(const TReportFilesState& State)
{
    if (!SendOption(State, sndSendXMLLogCopy)) return std::string();
    return TempFolder() + ChangeFileExt(ExtractFileName(ExpandedLogFileName(OptionsOf(State))), ".xml");
}

std::string ScreenshotFileName(const TReportFilesState& State)
{
    return SendOption(State, sndSendScreenshot) ? TempFolder() + "Screenshot.png" : std::string();
}

std::string AttachedScreenshotFileName(const TReportFilesState& State)
{
    return State.ScreenshotChosen ? ScreenshotFileName(State) : std::string();
}

std::string LastHTMLPageFileName(const TReportFilesState& State)
{
    return SendOption(State, sndSendLastHTMLPage) ? TempFolder() + "LastHTMLPage.html" : std::string();
}

std::string CapturedHTMLPageFileName(const TReportFilesState& State)
{
    return State.CapturedWebPage.empty() ? std::string() : LastHTMLPageFileName(State);
}

std::string ZipFileName(const TReportFilesState& /*State*/)
{
    return TempFolder() + "BugReport.zip";
}

void SaveLastHTMLPage(const TReportFilesState& State, const std::string& Page)
{
    try {
        const std::string fileName = CapturedHTMLPageFileName(State);
        if (fileName.empty()) return;
        RewriteFileBytes(fileName, LinesClosedByCRLF(Page));
    } catch (...) {}
}

std::string LoadTextFile(const std::string& FileName)
{
    try {
        if (FileName.empty() || !IsReadableFile(FileName)) return std::string();
        const std::string bytes = ReadFileBytes(FileName);
        std::string text;
        if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            const std::string body = bytes.substr(3);
            const int length =
                ::MultiByteToWideChar(CP_UTF8, 0, body.data(), static_cast<int>(body.size()), nullptr, 0);
            std::wstring wide(static_cast<std::size_t>(length), L'\0');
            ::MultiByteToWideChar(CP_UTF8, 0, body.data(), static_cast<int>(body.size()), wide.data(), length);
            text = WideTextToAnsi(wide);
        } else if (bytes.size() >= 2 &&
                   (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
            const bool bigEndian = bytes[0] == '\xFE';
            std::wstring wide;
            for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
                const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
                wide += static_cast<wchar_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
            }
            text = WideTextToAnsi(wide);
        } else {
            text = bytes;
        }
        return LinesClosedByCRLF(text);
    } catch (...) {
        return std::string();
    }
}

void SaveXMLLogCopy(const TReportFilesState& State)
{
    const std::string xmlName = XMLCopyFileName(State);
    if (xmlName.empty()) return;
    const std::string copyName = LogCopyFileName(State);
    std::unique_ptr<TLogFile> log;
    if (!copyName.empty()) {
        log = std::make_unique<TLogFile>(copyName, true);
    } else {
        log = std::make_unique<TLogFile>(std::string(), false);
        log->Append(State.TextToSend, 1);
    }
    log->SetPassword(State.LogPassword);
    log->SaveXMLCopy(xmlName);
}

void BuildAttachmentList(const TReportFilesState& State, bool ForEmail, std::vector<std::string>& List)
{
    const TVexlorModuleOptions& options = OptionsOf(State);
    List.clear();
    ExtractList(options.AttachedFiles(), List, MakeCharSet(";"));
    const std::string logCopy = LogCopyFileName(State);
    if (!ForEmail || (!options.AppendLogs() && !logCopy.empty())) List.push_back(logCopy);
    for (const std::string& name :
         {AttachedScreenshotFileName(State), CapturedHTMLPageFileName(State), XMLCopyFileName(State)})
        if (!name.empty()) List.push_back(name);
    for (std::string& entry : List) entry = ExpandEnvVars(entry);
}

}  // namespace crash
