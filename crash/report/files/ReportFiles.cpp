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
long StoredCount(const std::string& text)
{
    if (text.empty()) return 1;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    return (end == nullptr || *end != '\0' || errno != 0) ? 1 : value;
}

void RaiseCount(TLogFile& log, int index)
{
    const long count = StoredCount(log.GetItemValue(kCountItem, index)) + 1;
    log.SetItemValue(kCountItem, std::to_string(count), index, "Count");
}

// Runs a log event on the main thread: the slot's procedure (a seam for
// tests), or without one the report event itself (forwarded to the raising
// module and fired here).
void CallEvent(const TReportStep<void()>& event, void (*notify)())
{
    CallInMainThread([&event, notify] {
        if (event)
            event();
        else
            notify();
    });
}

std::string FileExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string WithSuffix(const std::string& name, const std::string& suffix)
{
    const std::string extension = FileExtension(name);
    return name.substr(0, name.size() - extension.size()) + "__" + suffix + extension;
}

const TVexlorModuleOptions& OptionsOf(const TReportFilesState& state)
{
    if (state.Options == nullptr) throw rtl::Exception("The report has no options.");
    return *state.Options;
}

bool SendOption(const TReportFilesState& state, TCommonSendOption option)
{
    return state.Options != nullptr && state.Options->CommonSendOptions().Contains(option);
}

// Lines of text (CRLF, CR or LF), each closed by CRLF.
std::string LinesClosedByCRLF(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        out.append(text.substr(start, i - start));
        out += "\r\n";
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) {
        out.append(text.substr(start));
        out += "\r\n";
    }
    return out;
}

std::string WideTextToAnsi(std::wstring_view text)
{
    return rtl::WideToAnsi(text);
}

}  // namespace

// ---- The shared log ------------------------------------------------------------------

std::string ExpandedLogFileName(const TVexlorModuleOptions& options)
{
    return ExpandEnvVars(options.OutputLogFile(std::string()));
}

TLogFile& OpenLogFile(const TVexlorModuleOptions& options)
{
    TSharedLogState& shared = Shared();
    const std::string path = ExpandedLogFileName(options);
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

void CountDuplicateError(TReportFilesState& state, bool increment)
{
    const TVexlorModuleOptions& options = OptionsOf(state);
    if (!options.LogOptions().Contains(loNoDuplicateErrors)) {
        state.Duplicate = false;
        return;
    }
    TSharedLogUse use(options);
    TLogFile& log = use.Log();
    const int index = log.FindItem({kIdentifierItem}, {state.ExceptionID});
    state.Duplicate = index != -1;
    if (state.Duplicate && increment && !state.Counted) {
        RaiseCount(log, index);
        log.Save();
        state.Counted = true;
    }
}

void DeleteLogAtVersionChange(const TVexlorModuleOptions& options, const std::string& currentVersion)
{
    if (!options.LogOptions().Contains(loDeleteLogAtVersionChange)) return;
    TSharedLogUse use(options);
    TLogFile& log = use.Log();
    const std::string version = log.GetItemValue("1.3", log.Count() - 1);
    // Deleted while the lock is held, so that no writer saves into the old
    // log meanwhile.
    if (!version.empty() && version != currentVersion) ForceDeleteFile(ExpandedLogFileName(options));
}

void SaveReportToLog(TReportFilesState& state)
{
    const TVexlorModuleOptions& options = OptionsOf(state);
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
                const int index = log.FindItem({kIdentifierItem}, {state.ExceptionID});
                state.Duplicate = index != -1;
                if (state.Duplicate && !state.Counted) {
                    if (countedIn != generation) RaiseCount(log, index);
                    countedIn = generation;
                    if (data.Execute && saveLog) log.Save();
                    state.Counted = true;
                }
            }
            if (!state.Duplicate) {
                if (appendedIn != generation) log.Append(state.FullReportText, options.ErrorsNumberToSave());
                appendedIn = generation;
                if (options.CommonSendOptions().Contains(sndSendEntireLog)) state.TextToSend = log.Text();
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

std::string SendFileName(const TReportFilesState& state, const std::string& path)
{
    std::string name = ExtractFileName(path);
    if (SendOption(state, sndAddComputerNameInFileName)) name = WithSuffix(name, ComputerNameText());
    if (SendOption(state, sndAddDateInFileName)) {
        const SYSTEMTIME& time = state.ExceptionTime;
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                      time.wMinute, time.wSecond);
        name = WithSuffix(name, stamp);
    }
    return name;
}

std::string LogCopyFileName(const TReportFilesState& state)
{
    return TempFolder() + ExtractFileName(ExpandedLogFileName(OptionsOf(state)));
}

std::string XMLCopyFileName(const TReportFilesState& state)
{
    if (!SendOption(state, sndSendXMLLogCopy)) return std::string();
    return TempFolder() + ChangeFileExt(ExtractFileName(ExpandedLogFileName(OptionsOf(state))), ".xml");
}

std::string ScreenshotFileName(const TReportFilesState& state)
{
    return SendOption(state, sndSendScreenshot) ? TempFolder() + "Screenshot.png" : std::string();
}

std::string AttachedScreenshotFileName(const TReportFilesState& state)
{
    return state.ScreenshotChosen ? ScreenshotFileName(state) : std::string();
}

std::string LastHTMLPageFileName(const TReportFilesState& state)
{
    return SendOption(state, sndSendLastHTMLPage) ? TempFolder() + "LastHTMLPage.html" : std::string();
}

std::string CapturedHTMLPageFileName(const TReportFilesState& state)
{
    return state.CapturedWebPage.empty() ? std::string() : LastHTMLPageFileName(state);
}

std::string ZipFileName(const TReportFilesState& /*State*/)
{
    return TempFolder() + "BugReport.zip";
}

void SaveLastHTMLPage(const TReportFilesState& state, const std::string& page)
{
    try {
        const std::string fileName = CapturedHTMLPageFileName(state);
        if (fileName.empty()) return;
        RewriteFileBytes(fileName, LinesClosedByCRLF(page));
    } catch (...) {}
}

std::string LoadTextFile(const std::string& fileName)
{
    try {
        if (fileName.empty() || !IsReadableFile(fileName)) return std::string();
        const std::string bytes = ReadFileBytes(fileName);
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

void SaveXMLLogCopy(const TReportFilesState& state)
{
    const std::string xmlName = XMLCopyFileName(state);
    if (xmlName.empty()) return;
    const std::string copyName = LogCopyFileName(state);
    std::unique_ptr<TLogFile> log;
    if (!copyName.empty()) {
        log = std::make_unique<TLogFile>(copyName, true);
    } else {
        log = std::make_unique<TLogFile>(std::string(), false);
        log->Append(state.TextToSend, 1);
    }
    log->SetPassword(state.LogPassword);
    log->SaveXMLCopy(xmlName);
}

void BuildAttachmentList(const TReportFilesState& state, bool forEmail, std::vector<std::string>& list)
{
    const TVexlorModuleOptions& options = OptionsOf(state);
    list.clear();
    ExtractList(options.AttachedFiles(), list, MakeCharSet(";"));
    const std::string logCopy = LogCopyFileName(state);
    if (!forEmail || (!options.AppendLogs() && !logCopy.empty())) list.push_back(logCopy);
    for (const std::string& name :
         {AttachedScreenshotFileName(state), CapturedHTMLPageFileName(state), XMLCopyFileName(state)})
        if (!name.empty()) list.push_back(name);
    for (std::string& entry : list) entry = ExpandEnvVars(entry);
}

}  // namespace crash
