// The report steps: the exception pipeline's calls into the layers above the
// engine.
//
// The pipeline runs in the engine, but the steps it runs for a report (the
// report's text, the dialogs, the log, the delivery) belong to crash/report
// and crash/delivery, which rest on the engine. So the engine never calls
// them by name: each step is a slot of ReportSteps that its layer fills at
// start-up (a step of the crash reporter's level of the program's start-up
// list, rtl/Startup.h), and the pipeline skips a slot that is still empty. No
// layer then depends on one above it; the program links all three.
//
// A slot is set once, at start-up, before any report; setting it is an atomic
// store, so a report running meanwhile on another thread sees the old or the
// new step, never a torn one.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

namespace crash {

template <class TSignature>
class TReportStep;

// One slot: a function of the given signature, or nothing.
template <class TResult, class... TArgs>
class TReportStep<TResult(TArgs...)> {
public:
    using TProc = TResult (*)(TArgs...);

    constexpr TReportStep() noexcept = default;
    TReportStep(const TReportStep&) = delete;
    TReportStep& operator=(const TReportStep&) = delete;

    void Set(TProc proc) noexcept { FProc.store(proc, std::memory_order_release); }
    TProc Get() const noexcept { return FProc.load(std::memory_order_acquire); }
    explicit operator bool() const noexcept { return Get() != nullptr; }

    // Runs the step. An empty slot is skipped and answers an empty result
    // (TResult{}): a layer that is not there adds nothing to the report.
    TResult operator()(TArgs... args) const
    {
        if (const TProc proc = Get()) return proc(std::forward<TArgs>(args)...);
        if constexpr (!std::is_void_v<TResult>) return TResult{};
    }

private:
    std::atomic<TProc> FProc{nullptr};
};

struct TReportContext;
class TVexlorStrings;

// The slots the pipeline calls, one TReportStep each, in the order a report
// runs them. A slot whose empty answer would lose the report (the text, the
// identifier's texts, the GUI output) has a default in the pipeline, used
// while the slot is empty.
struct TReportSteps {
    // ---- Application kind ----
    // Empty: the image's subsystem says console; nothing is a web application.
    TReportStep<bool()> IsConsoleApplication;
    TReportStep<bool()> IsWebApplication;
    TReportStep<bool()> IsCGIApplication;

    // ---- Filters and messages ----
    // Index of the first active filter of the global options that matches
    // the object, -1 for none. Handled: the report is of a handled exception.
    TReportStep<int(void* exceptionObject, bool handled)> FindExceptionFilter;
    // Sets the text the dialogs show instead of the exception message; an
    // empty text clears it.
    TReportStep<void(const std::string& text)> SetCustomErrorMessage;
    // The exception's message text and class text as the report shows them
    // (also stored there for the dialogs and the log). Empty: the object's
    // message and class name.
    TReportStep<std::string(TReportContext& context)> ExceptionMessageText;
    TReportStep<std::string(TReportContext& context)> ExceptionClassText;
    // A text with control characters other than CR and LF made blanks.
    // Empty: the pipeline's own cleaning.
    TReportStep<std::string(const std::string& text)> CleanMessageText;

    // ---- The exception identifier's texts, in the order they are joined ----
    // Empty: the main module's file name, the exception module's file name,
    // the class name.
    TReportStep<std::string(TReportContext& context)> ApplicationNameText;
    TReportStep<std::string(TReportContext& context)> ExceptionModuleText;
    // (ExceptionClassText above is the third.)

    // ---- Report text ----
    // Builds the full report text (returned) and the context's top text and
    // call-stack text. Empty: one line "class: message".
    TReportStep<std::string(TReportContext& context)> BuildReportText;
    // Insert a section numbered FirstHeader + 1 after the header of the
    // report text and hand the new full text to SetReportText (ReportContext.h).
    // Nothing happens for an empty text or list.
    TReportStep<void(int firstHeader, const std::string& label, const std::string& text)> InsertTextSection;
    TReportStep<void(int firstHeader, const std::string& label, const TVexlorStrings& list)> InsertListSection;

    // ---- Log ----
    // Computes the current report's duplicate flag again; with Increment it
    // also counts the repetition in the log. After every main-thread call it
    // runs without counting.
    TReportStep<void(bool increment)> CountDuplicateError;
    // Item Label ("1.3") of the last entry of the log file: opens the log,
    // reads, closes. Empty text when there is none.
    TReportStep<std::string(const std::string& label)> ReadLastLogEntryItem;
    // Closes the shared log, so that the log file can be deleted.
    TReportStep<void()> CloseLogFile;
    // With loDeleteLogAtVersionChange: the log file goes when its newest
    // entry was made by another version of the program (under the log's lock,
    // so that no other writer saves into the old log meanwhile).
    TReportStep<void()> DeleteLogAtVersionChange;
    TReportStep<void()> SaveReportToLog;
    // A CGI program: the last captured page text is loaded for the report.
    TReportStep<void()> LoadLastHTMLPage;
    // What a CGI program writes to its standard output (the page text).
    TReportStep<void(const void* data, std::uint32_t length)> CapturePageText;

    // ---- Screenshot ----
    TReportStep<void()> CapturePngScreenshot;
    // The screenshot file's path for this report (empty: none).
    TReportStep<std::string()> ScreenshotFileName;
    TReportStep<void(const std::string& fileName)> SaveScreenshotFile;
    TReportStep<void()> ReleaseScreenshot;

    // ---- Output ----
    // Runs on the main thread through the call slot; read and set the
    // events' shared Execute flag (VexlorEventData). Empty: the action event
    // is forwarded and fired directly.
    TReportStep<void()> NotifyShowingExceptionInfo;
    TReportStep<void()> NotifyShowedExceptionInfo;
    // Shows the crash dialog that the pipeline's dialog kind selects and
    // returns when it is closed; closing sets the dialog kind to edtNone, a
    // dialog that switches kind leaves the new one (the pipeline then calls
    // again with FirstTime false). Sets SendChosen, AttachScreenshot and
    // CopyToClipboard of the pipeline state by the user's choices. Empty: a
    // system message box with the report text.
    TReportStep<void(TReportContext& context, bool firstTime)> ShowExceptionBox;
    // The steps to reproduce, into the options' ReproduceText.
    TReportStep<void(TReportContext& context)> AskReproduceSteps;
    // The web error page with the context's top text and Message; true when
    // it was written.
    TReportStep<bool(TReportContext& context, const std::string& message)> ShowWebErrorPage;

    // ---- Delivery and after-report steps ----
    TReportStep<void()> StartSendReport;
    TReportStep<void()> CheckAutoCrash;
    TReportStep<void()> TerminateAfterReport;
};

inline TReportSteps ReportSteps;

}  // namespace crash
