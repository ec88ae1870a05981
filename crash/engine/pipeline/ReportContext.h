// One report run as the pipeline and its report steps share it: the report
// context that the steps receive by reference, and the pipeline's
// process-wide state that they read and set.
//
// Threads: a report runs on one thread at a time (the report thread, or the
// raising thread in raising-thread mode) under the main report lock; the
// state is read and written only there and, through the call slot, by the
// raising thread while the report thread waits for it. Nothing here is for
// the raise hooks: it allocates.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "rtl/SyncObjs.h"

namespace crash {

class TVexlorStackList;

// What the first handler of a raise is, when it is one that hands the
// exception on elsewhere.
enum TAsynchronousException : std::uint8_t {
    aeNone,
    aeSafeCall,     // never occurs here: there are no safecall methods
    aeSynchronize,  // the cross-thread call wrapper, which raises it again in the calling thread
};

// Who reports: the kind of program part whose hook caught the exception.
enum TRaiserType : std::uint8_t { rtUnknown, rtLocal, rtWeb };

// What the entry hands to the report thread.
struct TExceptNotifyParams {
    bool Handled = false;  // caught by the application; reported because handled ones are too
    CONTEXT* Context = nullptr;
    EXCEPTION_RECORD* ExceptionRecord = nullptr;
    TVexlorStackList* CallStack = nullptr;  // supplied by the caller, or null
    std::uint32_t TopOfStack = 0;           // highest address of the raising thread's stack
    std::uint32_t StackPoint = 0;           // stack pointer at the raise
    std::uint32_t ThreadID = 0;
    std::string ActiveControlClass;
    std::string ActiveControlText;
};

// The state of one report run, owned by ProcessException and passed to every
// report step that needs it.
struct TReportContext {
    void* ExceptionObject = nullptr;
    // The class name the report shows: the object's class, or the C++ type's
    // name for a raise of an object of no class of ours (then
    // ExceptionObject is a stand-in Exception holding its what() text).
    std::string ExceptionClassName;
    // A step may correct it to the address of the faulting instruction.
    void* ExceptionAddress = nullptr;
    std::uint32_t StackPoint = 0;
    CONTEXT* Context = nullptr;  // the raising thread's registers, or null
    std::string ActiveControlClass;
    std::string ActiveControlText;
    // Caption text and two CR LF pairs, put in front of the report text in
    // console output, on the web error page and for CallForGetLogText.
    std::string TopText;
    // The call-stack, modules and processes blocks.
    std::string CallStackText;
    // Column widths (characters) and dash rules of the three tables.
    std::array<std::int32_t, 6> CallStackWidths{};  // address, module, unit, class, procedure, line
    std::string CallStackDashRule;
    std::array<std::int32_t, 7> ModulesWidths{};
    std::string ModulesDashRule;
    std::array<std::int32_t, 8> ProcessesWidths{};
    std::string ProcessesDashRule;
    // What the report was started with.
    bool NativeException = false;  // a raise of the language (not a system exception)
    TAsynchronousException AsynchronousException = aeNone;
    TRaiserType RaiserType = rtUnknown;
    HMODULE ModuleHandle = nullptr;  // the module whose hook caught it
    const TExceptNotifyParams* Params = nullptr;
};

// The pipeline's process-wide state. Created by StartExceptionPipeline.
struct TPipelineState {
    // Taken by NotifyException for the whole report; also by the send thread
    // and by shut-down.
    rtl::TCriticalSection MainReportLock;
    // The report's record; CurrentExceptionRecord() points at it only while a
    // report is past its log-text stage.
    TVexlorExceptionRecord Record{};
    std::string LogTextStore;  // what Record.LogText points into
    int Stage = 0;             // the ProcessException step in progress
    int FailedStage = 0;       // the stage of the last report that failed, 0 for none
    TExceptionDialogType DialogKind = edtNone;
    bool FilterMatched = false;
    bool ContinueFlag = true;  // OnExceptionNotify's Handled
    bool ShowFlag = true;      // atShowingExceptionInfo's Execute
    bool SendChosen = false;
    bool AttachScreenshot = false;
    bool AskReproduce = false;
    bool CopyToClipboard = false;         // the dialog asked for the report on the clipboard
    std::string ReportText;               // the full report text
    std::string ExceptionIdentifier;      // 4 upper-case hexadecimal digits
    std::string ExceptionIdentifierText;  // the text it is the checksum of
    int ExceptionCount = 0;               // reports since start
    std::string LastExceptionMessage;
    bool RaisingThreadMode = false;  // the report runs in the raising thread
    bool Duplicate = false;          // the identifier is already in the log
    TVexlorStrings AutoCrashTimes;
    TVexlorStrings CustomData;
    SYSTEMTIME ExceptionTime{};  // local time the report started
    RECT DialogWorkArea{};       // work area of the active window's monitor
    std::uint32_t ExceptionThreadID = 0;
    TReportContext* Context = nullptr;  // the report in progress, or null
    // The delivery runs the after-report steps itself (its own send thread).
    bool DeliveryHandedOver = false;
    // A crash dialog is on screen: the waiting main thread pumps messages
    // (set by the dialogs, read by the raising thread).
    std::atomic<bool> CrashDialogUp{false};

    // The options in force for the report in progress: those of the module
    // that raised, copied in (Assign) at the report's start. Made with the
    // state, at their defaults, module name empty.
    std::unique_ptr<TVexlorModuleOptions> Options;

    // The switches of the public interface.
    std::atomic<bool> Installed{false};  // the crash reporter is in force in this module
    std::atomic<bool> Active{true};      // reporting is on (SetVexlorLogState)
    bool CallFromCOMObject = false;      // reports take the main module's options
    bool CallForGetLogText = false;      // the next report only makes its text (top text + report text)
    std::atomic<bool> TerminationRequested{false};
    // The report of the last exception handled by GetLogText-style calls:
    // the top text and the report text when CallForGetLogText was set.
    std::string CapturedLogText;
};

// The state; null before StartExceptionPipeline and after
// StopExceptionPipeline. PipelineState() requires it to exist.
TPipelineState* PipelineStateOrNull() noexcept;
TPipelineState& PipelineState() noexcept;

// The full report text changed (a section was inserted): the state's text
// and the current record's log text follow it.
void SetReportText(std::string text);

// Accessors for the report steps (read the state above).
inline const std::string& ExceptionIdentifier()
{
    return PipelineState().ExceptionIdentifier;
}
inline int ExceptionCount()
{
    return PipelineState().ExceptionCount;
}
inline bool IsDuplicateException()
{
    return PipelineState().Duplicate;
}
inline void SetDuplicateException(bool value)
{
    PipelineState().Duplicate = value;
}
inline const std::string& ReportText()
{
    return PipelineState().ReportText;
}
inline const SYSTEMTIME& ExceptionTime()
{
    return PipelineState().ExceptionTime;
}
inline TExceptionDialogType DialogKind()
{
    return PipelineState().DialogKind;
}
inline void SetDialogKind(TExceptionDialogType value)
{
    PipelineState().DialogKind = value;
}
inline TVexlorStrings& CustomDataList()
{
    return PipelineState().CustomData;
}
inline const std::string& LastExceptionMessage()
{
    return PipelineState().LastExceptionMessage;
}
inline TVexlorModuleOptions& ReportOptions()
{
    return *PipelineState().Options;
}
inline int ReportStage()
{
    return PipelineState().Stage;
}

}  // namespace crash
