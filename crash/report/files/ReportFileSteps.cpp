// The file steps as the pipeline's slots: each takes the report in progress
// from the pipeline's state and hands back what it decided.
#include <string>

#include "crash/engine/ReportSteps.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/files/ReportFiles.h"
#include "crash/report/web/WebErrorPage.h"

namespace crash {

namespace {

struct TCurrentReport {
    TReportFilesState State;
    int Number = -1;             // the pipeline's count of the report State belongs to
    bool TextToSendSet = false;  // the text to send is the log, not the report text
};

TCurrentReport& Current()
{
    static TCurrentReport current;
    return current;
}

// What a CGI program wrote to its standard output so far: the page it is
// sending when it fails.
std::string& CapturedPage()
{
    static std::string page;
    return page;
}

TReportFilesState& Sync()
{
    TCurrentReport& current = Current();
    TPipelineState& pipeline = PipelineState();
    if (pipeline.ExceptionCount != current.Number) {
        const std::string page = current.State.CapturedWebPage;
        current = TCurrentReport();
        current.Number = pipeline.ExceptionCount;
        current.State.CapturedWebPage = page;
    }
    TReportFilesState& state = current.State;
    state.Options = pipeline.Options.get();
    state.FullReportText = pipeline.ReportText;
    if (!current.TextToSendSet) state.TextToSend = pipeline.ReportText;
    state.ExceptionID = pipeline.ExceptionIdentifier;
    state.Duplicate = pipeline.Duplicate;
    state.ExceptionTime = pipeline.ExceptionTime;
    state.ScreenshotChosen = pipeline.AttachScreenshot;
    state.LogPassword = VexlorEventData().Password;
    return state;
}

// Hands the duplicate flag back, also when the step fails.
class TWriteBack {
public:
    explicit TWriteBack(TReportFilesState& state) : FState(state) {}
    ~TWriteBack() { PipelineState().Duplicate = FState.Duplicate; }
    TWriteBack(const TWriteBack&) = delete;
    TWriteBack& operator=(const TWriteBack&) = delete;

private:
    TReportFilesState& FState;
};

void CountDuplicateErrorStep(bool increment)
{
    TReportFilesState& state = Sync();
    TWriteBack back(state);
    CountDuplicateError(state, increment);
}

std::string ReadLastLogEntryItemStep(const std::string& label)
{
    TSharedLogUse use(*Sync().Options);
    return use.Log().GetItemValue(label, use.Log().Count() - 1);
}

void CloseLogFileStep()
{
    CloseLogFile();
}

void DeleteLogAtVersionChangeStep()
{
    DeleteLogAtVersionChange(*Sync().Options);
}

void SaveReportToLogStep()
{
    TReportFilesState& state = Sync();
    TWriteBack back(state);
    const std::string before = state.TextToSend;
    SaveReportToLog(state);
    if (state.TextToSend != before) Current().TextToSendSet = true;
}

void LoadLastHTMLPageStep()
{
    TReportFilesState& state = Sync();
    state.CapturedWebPage = LoadTextFile(LastHTMLPageFileName(state));
}

void CapturePageTextStep(const void* data, std::uint32_t length)
{
    if (data == nullptr || length == 0 || PipelineStateOrNull() == nullptr) return;
    // The crash reporter's own error page is no page of the program.
    if (WritingWebErrorPage()) return;
    // Every block of the page is kept: a page written in several blocks is
    // captured whole, not only its last block.
    std::string& page = CapturedPage();
    page.append(static_cast<const char*>(data), length);
    TReportFilesState state;
    state.Options = PipelineState().Options.get();
    state.CapturedWebPage = page;
    SaveLastHTMLPage(state, page);
    Current().State.CapturedWebPage = page;
}

std::string ScreenshotFileNameStep()
{
    return ScreenshotFileName(Sync());
}

}  // namespace

TReportFilesState& CurrentReportFiles()
{
    return PipelineStateOrNull() != nullptr ? Sync() : Current().State;
}

void RegisterReportFilesSteps()
{
    ReportSteps.CountDuplicateError.Set(&CountDuplicateErrorStep);
    ReportSteps.ReadLastLogEntryItem.Set(&ReadLastLogEntryItemStep);
    ReportSteps.CloseLogFile.Set(&CloseLogFileStep);
    ReportSteps.DeleteLogAtVersionChange.Set(&DeleteLogAtVersionChangeStep);
    ReportSteps.SaveReportToLog.Set(&SaveReportToLogStep);
    ReportSteps.LoadLastHTMLPage.Set(&LoadLastHTMLPageStep);
    ReportSteps.CapturePageText.Set(&CapturePageTextStep);
    ReportSteps.ScreenshotFileName.Set(&ScreenshotFileNameStep);
}

}  // namespace crash
