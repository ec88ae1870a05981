// The report's file steps on one process: duplicates, the version change,
// saving with its events and retries, the names and lists of the files sent.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/files/ReportFiles.h"
#include "crash/report/log/LogFileLock.h"
#include "rtl/SysUtils.h"
#include "tests/crash/report/files/CannedReports.h"
#include "tests/support/TestFolders.h"

namespace crash {
namespace {

using testsupport::CannedReport;

std::string Scratch(const std::string& name)
{
    return rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT")) + "\\" + name;
}

std::unique_ptr<TVexlorModuleOptions> LogOptions(const std::string& log, bool noDuplicates, int maxNum = -1)
{
    auto options = TVexlorModuleOptions::Create("");
    options->SetOutputPath(log);
    options->SetSaveLogFile(true);
    options->SetErrorsNumberToSave(maxNum);
    TLogOptions set;
    if (noDuplicates) set.Include(loNoDuplicateErrors);
    options->SetLogOptions(set);
    return options;
}

TReportFilesState Report(const TVexlorModuleOptions& options, const std::string& id)
{
    TReportFilesState state;
    state.Options = &options;
    state.ExceptionID = id;
    state.FullReportText = CannedReport(id);
    state.TextToSend = state.FullReportText;
    return state;
}

// One report as the pipeline runs its log steps.
TReportFilesState LogReport(const TVexlorModuleOptions& options, const std::string& id)
{
    TReportFilesState state = Report(options, id);
    CountDuplicateError(state, true);
    SaveReportToLog(state);
    return state;
}

std::string FreshLog(const char* name)
{
    const std::string path = Scratch(name);
    DeleteFileA(path.c_str());
    return path;
}

// Records the log events; a test sets what each handler answers.
struct TEventRecorder {
    std::vector<std::string> Calls;
    bool ClearExecuteOnSaving = false;
    int RetriesLeft = 0;
    bool ExecuteOnRetry = false;
    std::function<void()> OnError;
};
TEventRecorder* Recorder = nullptr;

class LogSteps : public testing::Test {
protected:
    void SetUp() override
    {
        Recorder = &FRecorder;
        LogFileEvents.NotifySavingLogFile.Set([] {
            Recorder->Calls.push_back("saving");
            if (Recorder->ClearExecuteOnSaving) VexlorEventData().Execute = false;
        });
        LogFileEvents.NotifySavedLogFile.Set([] { Recorder->Calls.push_back("saved"); });
        LogFileEvents.NotifyLogFileError.Set([] {
            Recorder->Calls.push_back("error");
            if (Recorder->OnError) Recorder->OnError();
            if (Recorder->RetriesLeft > 0) {
                --Recorder->RetriesLeft;
                VexlorEventData().Retry = true;
                if (Recorder->ExecuteOnRetry) VexlorEventData().Execute = true;
            }
        });
    }
    void TearDown() override
    {
        LogFileEvents.NotifySavingLogFile.Set(nullptr);
        LogFileEvents.NotifySavedLogFile.Set(nullptr);
        LogFileEvents.NotifyLogFileError.Set(nullptr);
        Recorder = nullptr;
        EXPECT_EQ(SharedLog(), nullptr);
    }
    TEventRecorder FRecorder;
};

TEST_F(LogSteps, ARepetitionIsCountedNotAppended)
{
    const struct {
        const char* name;
        std::string firstCount;
    } kCases[] = {{"empty count", ""}, {"count 1", "1"}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = FreshLog("duplicate.vlf");
        auto options = LogOptions(path, true);
        {
            TLogFile log(path, false);
            log.Append(CannedReport("0A0A"), -1);
            log.Append(CannedReport("1B1B"), -1);
            if (!c.firstCount.empty()) log.SetItemValue("2.8", c.firstCount, 1, "Count");
            log.Save();
        }
        const TReportFilesState state = LogReport(*options, "1B1B");
        EXPECT_TRUE(state.Duplicate);
        EXPECT_TRUE(state.Counted);
        TLogFile log(path, true);
        ASSERT_EQ(log.Count(), 2);
        EXPECT_EQ(log.GetItemValue("2.8", 1), "2");
        EXPECT_EQ(log.GetItemValue("2.8", 0), "");
        EXPECT_EQ(FRecorder.Calls, (std::vector<std::string>{"saving", "saved"}));
        FRecorder.Calls.clear();
    }
}

TEST_F(LogSteps, WithoutDuplicateDetectionIdenticalReportsAreAllAppended)
{
    const std::string path = FreshLog("all.vlf");
    auto options = LogOptions(path, false);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(LogReport(*options, "2C2C").Duplicate);
    TLogFile log(path, true);
    EXPECT_EQ(log.Count(), 3);
    EXPECT_EQ(log.FindItem({"2.7"}, {"2C2C"}), 2);
}

TEST_F(LogSteps, TheOldestEntryGoesAtTheLimit)
{
    const std::string path = FreshLog("limit.vlf");
    auto options = LogOptions(path, true, 10);
    for (unsigned i = 0; i < 10; ++i) LogReport(*options, testsupport::ReportID(i));
    LogReport(*options, "ABCD");
    TLogFile log(path, true);
    ASSERT_EQ(log.Count(), 10);
    EXPECT_EQ(log.GetItemValue("2.7", 0), "0001");
    EXPECT_EQ(log.GetItemValue("2.7", 9), "ABCD");
}

TEST_F(LogSteps, WithoutSaveLogFileNothingIsWrittenButTheTextToSendHoldsTheLog)
{
    const std::string path = FreshLog("nosave.vlf");
    auto options = LogOptions(path, true);
    {
        TLogFile log(path, false);
        log.Append(CannedReport("0A0A"), -1);
        log.Save();
    }
    const std::string before = ReadFileBytes(path);
    options->SetSaveLogFile(false);
    TCommonSendOptions send;
    send.Include(sndSendEntireLog);
    options->SetCommonSendOptions(send);
    TReportFilesState state = Report(*options, "3D3D");
    SaveReportToLog(state);
    EXPECT_TRUE(FRecorder.Calls.empty());
    EXPECT_EQ(ReadFileBytes(path), before);
    TLogFile expected("", false);
    expected.Append(CannedReport("0A0A"), -1);
    expected.Append(CannedReport("3D3D"), -1);
    EXPECT_EQ(state.TextToSend, expected.Text());
}

TEST_F(LogSteps, AHandlerThatCancelsTheSaveLeadsToTheErrorEvent)
{
    const std::string path = FreshLog("cancel.vlf");
    auto options = LogOptions(path, true);
    FRecorder.ClearExecuteOnSaving = true;
    TReportFilesState state = Report(*options, "4E4E");
    SaveReportToLog(state);
    EXPECT_FALSE(IsReadableFile(path));
    EXPECT_EQ(FRecorder.Calls, (std::vector<std::string>{"saving", "error", "saved"}));
}

TEST_F(LogSteps, ARetryStoresTheReportOnce)
{
    // Retried after a cancelled save, with the log held open around the
    // step or not (then the retry loads the log again); and after a save
    // that failed.
    for (const int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant);
        const std::string path = FreshLog("retry.vlf");
        RemoveDirectoryA((path + ".tmp").c_str());
        auto options = LogOptions(path, variant == 2);
        {
            TLogFile log(path, false);
            log.Append(CannedReport("0A0A"), -1);
            log.Save();
        }
        FRecorder = TEventRecorder();
        FRecorder.RetriesLeft = 2;
        if (variant < 2) {
            FRecorder.ClearExecuteOnSaving = true;
            FRecorder.ExecuteOnRetry = true;
            FRecorder.RetriesLeft = 1;
        } else {
            // The copy that replaces the log cannot be made: a folder has
            // its name.
            ASSERT_TRUE(CreateDirectoryA((path + ".tmp").c_str(), nullptr));
            FRecorder.RetriesLeft = 1;
            FRecorder.OnError = [&] {
                EXPECT_EQ(GetLastVexlorLogErrorCode(), eeLogError);
                EXPECT_EQ(GetLastVexlorLogErrorMsg().rfind("[Log] ", 0), 0u) << GetLastVexlorLogErrorMsg();
                RemoveDirectoryA((path + ".tmp").c_str());
                VexlorEventData().Execute = true;
            };
        }
        TReportFilesState state = Report(*options, "5F5F");
        {
            std::unique_ptr<TSharedLogUse> hold;
            if (variant == 1) hold = std::make_unique<TSharedLogUse>(*options);
            SaveReportToLog(state);
        }
        EXPECT_EQ(FRecorder.Calls, (std::vector<std::string>{"saving", "error", "saved"}));
        EXPECT_EQ(GetLastVexlorLogErrorCode(), eeNone) << GetLastVexlorLogErrorMsg();
        TLogFile log(path, true);
        ASSERT_EQ(log.Count(), 2);
        EXPECT_EQ(log.GetItemValue("2.7", 1), "5F5F");
    }
}

TEST_F(LogSteps, ARepetitionStoredMeanwhileByAnotherWriterIsCounted)
{
    const std::string path = FreshLog("meanwhile.vlf");
    auto options = LogOptions(path, true);
    TReportFilesState state = Report(*options, "6A6A");
    CountDuplicateError(state, true);
    EXPECT_FALSE(state.Duplicate);
    {
        // The other writer, between our duplicate test and our save.
        TLogFileLock lock(path);
        TLogFile log(path, false);
        log.Append(CannedReport("6A6A"), -1);
        log.Save();
    }
    SaveReportToLog(state);
    EXPECT_TRUE(state.Duplicate);
    TLogFile log(path, true);
    ASSERT_EQ(log.Count(), 1);
    EXPECT_EQ(log.GetItemValue("2.8", 0), "2");
}

struct TLockHolder {
    std::string Path;
    HANDLE Taken, Release;
};

DWORD WINAPI HoldLock(void* parameter)
{
    auto* holder = static_cast<TLockHolder*>(parameter);
    TLogFileLock lock(holder->Path);
    SetEvent(holder->Taken);
    WaitForSingleObject(holder->Release, INFINITE);
    return 0;
}

TEST_F(LogSteps, ALockedLogGivesUpAfterTheBound)
{
    const std::string path = FreshLog("locked.vlf");
    auto options = LogOptions(path, true);
    // The mutex belongs to the thread that takes it: another thread holds
    // it, as another process would.
    TLockHolder holder{path, CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, &HoldLock, &holder, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(holder.Taken, 30000), WAIT_OBJECT_0);
    TReportFilesState state = Report(*options, "7B7B");
    const DWORD start = GetTickCount();
    SaveReportToLog(state);
    const DWORD waited = GetTickCount() - start;
    SetEvent(holder.Release);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    CloseHandle(holder.Taken);
    CloseHandle(holder.Release);
    EXPECT_GE(waited, 9900u);  // the bound, less the tick's granularity
    EXPECT_LT(waited, 60000u);
    EXPECT_EQ(GetLastVexlorLogErrorCode(), eeLogError);
    EXPECT_EQ(GetLastVexlorLogErrorMsg().rfind("[Log] ", 0), 0u) << GetLastVexlorLogErrorMsg();
    EXPECT_NE(GetLastVexlorLogErrorMsg().find("in use by another writer"), std::string::npos);
    EXPECT_EQ(FRecorder.Calls, (std::vector<std::string>{"saving", "error", "saved"}));
    EXPECT_EQ(state.TextToSend, state.FullReportText);
    EXPECT_FALSE(IsReadableFile(path));
}

TEST_F(LogSteps, TheLogGoesWhenTheVersionChanges)
{
    const struct {
        const char* name;
        std::vector<std::string> versions;  // of the entries, oldest first
        bool deleted;
    } kCases[] = {
        {"newest entry of another version", {"1.0.0.2", "1.0.0.1"}, true},
        {"newest entry of this version", {"1.0.0.1", "1.0.0.2"}, false},
        {"an empty log", {}, false},
        {"no version item", {""}, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = FreshLog("version.vlf");
        auto options = LogOptions(path, false);
        TLogOptions set = options->LogOptions();
        set.Include(loDeleteLogAtVersionChange);
        options->SetLogOptions(set);
        {
            TLogFile log(path, false);
            for (const std::string& version : c.versions) {
                std::string report = CannedReport("0A0A", 3, version);
                if (version.empty())
                    report.erase(report.find("  1.3"),
                                 report.find("\r\n", report.find("  1.3")) + 2 - report.find("  1.3"));
                log.Append(report, -1);
            }
            log.Save();
        }
        DeleteLogAtVersionChange(*options, "1.0.0.2");
        EXPECT_EQ(!IsReadableFile(path), c.deleted);
    }
}

// ---- Files of a report -------------------------------------------------------------

TEST(ReportFileNames, SendFileNameAddsComputerAndTime)
{
    auto options = LogOptions("C:\\Logs\\report.vlf", false);
    TReportFilesState state;
    state.Options = options.get();
    state.ExceptionTime = SYSTEMTIME{2013, 2, 6, 2, 14, 30, 5, 0};
    const std::string computer = ComputerNameText();
    ASSERT_FALSE(computer.empty());
    const struct {
        bool addComputer, addDate;
        const char* path;
        std::string name;
    } kCases[] = {
        {true, true, "C:\\Logs\\report.vlf", "report__" + computer + "__20130202143005.vlf"},
        {false, true, "C:\\Logs\\report.vlf", "report__20130202143005.vlf"},
        {true, false, "C:\\Logs\\report.vlf", "report__" + computer + ".vlf"},
        {false, false, "C:\\Logs\\report.vlf", "report.vlf"},
        {false, true, "C:\\Temp\\Screenshot", "Screenshot__20130202143005"},
        {false, true, "C:\\Temp.d\\a.b.html", "a.b__20130202143005.html"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        TCommonSendOptions send;
        if (c.addComputer) send.Include(sndAddComputerNameInFileName);
        if (c.addDate) send.Include(sndAddDateInFileName);
        options->SetCommonSendOptions(send);
        EXPECT_EQ(SendFileName(state, c.path), c.name);
    }
}

TEST(ReportFileNames, TemporaryNamesFollowTheSendOptions)
{
    auto options = LogOptions("C:\\Logs\\report.vlf", false);
    options->SetCommonSendOptions(TCommonSendOptions());
    TReportFilesState state;
    state.Options = options.get();
    const std::string temp = TempFolder();
    EXPECT_EQ(LogCopyFileName(state), temp + "report.vlf");
    EXPECT_EQ(ZipFileName(state), temp + "BugReport.zip");
    using TName = std::string (*)(const TReportFilesState&);
    for (TName name : {&XMLCopyFileName, &ScreenshotFileName, &AttachedScreenshotFileName, &LastHTMLPageFileName,
                       &CapturedHTMLPageFileName})
        EXPECT_EQ(name(state), "");
    TCommonSendOptions send;
    send.Include(sndSendXMLLogCopy);
    send.Include(sndSendScreenshot);
    send.Include(sndSendLastHTMLPage);
    options->SetCommonSendOptions(send);
    EXPECT_EQ(XMLCopyFileName(state), temp + "report.xml");
    EXPECT_EQ(ScreenshotFileName(state), temp + "Screenshot.png");
    EXPECT_EQ(AttachedScreenshotFileName(state), "");
    EXPECT_EQ(LastHTMLPageFileName(state), temp + "LastHTMLPage.html");
    EXPECT_EQ(CapturedHTMLPageFileName(state), "");
    state.ScreenshotChosen = true;
    state.CapturedWebPage = "<html></html>";
    EXPECT_EQ(AttachedScreenshotFileName(state), temp + "Screenshot.png");
    EXPECT_EQ(CapturedHTMLPageFileName(state), temp + "LastHTMLPage.html");
}

TEST(ReportFileNames, AttachmentList)
{
    SetEnvironmentVariableA("REPORT_FILES_DIR", "C:\\Data");
    auto options = LogOptions("C:\\Logs\\report.vlf", false);
    options->SetAttachedFiles("%REPORT_FILES_DIR%\\a.txt; C:\\b.ini;;");
    TReportFilesState state;
    state.Options = options.get();
    const std::string temp = TempFolder();
    const struct {
        const char* name;
        bool forEmail, appendLogs, sendScreenshot, chosen, xml;
        std::vector<std::string> list;
    } kCases[] = {
        {"mail, log in the body", true, true, true, false, false, {"C:\\Data\\a.txt", "C:\\b.ini"}},
        {"mail", true, false, true, false, false, {"C:\\Data\\a.txt", "C:\\b.ini", temp + "report.vlf"}},
        {"web, log in the body",
         false,
         true,
         false,
         false,
         false,
         {"C:\\Data\\a.txt", "C:\\b.ini", temp + "report.vlf"}},
        {"screenshot chosen, XML copy",
         false,
         false,
         true,
         true,
         true,
         {"C:\\Data\\a.txt", "C:\\b.ini", temp + "report.vlf", temp + "Screenshot.png", temp + "report.xml"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        options->SetAppendLogs(c.appendLogs);
        TCommonSendOptions send;
        if (c.sendScreenshot) send.Include(sndSendScreenshot);
        if (c.xml) send.Include(sndSendXMLLogCopy);
        options->SetCommonSendOptions(send);
        state.ScreenshotChosen = c.chosen;
        std::vector<std::string> list{"stale"};
        BuildAttachmentList(state, c.forEmail, list);
        EXPECT_EQ(list, c.list);
    }
}

TEST(ReportFileNames, TheCapturedPageIsWrittenAndReadBack)
{
    auto options = LogOptions("C:\\Logs\\report.vlf", false);
    TReportFilesState state;
    state.Options = options.get();
    TCommonSendOptions send;
    send.Include(sndSendLastHTMLPage);
    options->SetCommonSendOptions(send);
    const std::string page = LastHTMLPageFileName(state);
    DeleteFileA(page.c_str());
    SaveLastHTMLPage(state, "<html>\n\xcf\xf0\xe8\xe2\xe5\xf2\r</html>");  // no captured page yet: nothing
    EXPECT_FALSE(IsReadableFile(page));
    state.CapturedWebPage = "x";
    SaveLastHTMLPage(state, "<html>\n\xcf\xf0\xe8\xe2\xe5\xf2\r</html>");
    EXPECT_EQ(ReadFileBytes(page), "<html>\r\n\xcf\xf0\xe8\xe2\xe5\xf2\r\n</html>\r\n");
    EXPECT_EQ(LoadTextFile(page), "<html>\r\n\xcf\xf0\xe8\xe2\xe5\xf2\r\n</html>\r\n");
    DeleteFileA(page.c_str());
    EXPECT_EQ(LoadTextFile(page), "");
    EXPECT_EQ(LoadTextFile(""), "");
}

TEST(ReportFileNames, LoadTextFileConvertsMarkedEncodings)
{
    const std::string path = Scratch("page.txt");
    const struct {
        const char* name;
        std::string bytes;
    } kCases[] = {
        {"UTF-8", "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\nb"},
        {"UTF-16", std::string("\xFF\xFE\x1F\x04\x40\x04\x38\x04\n\0b\0", 12)},
        {"UTF-16 big-endian", std::string("\xFE\xFF\x04\x1F\x04\x40\x04\x38\0\n\0b", 12)},
        {"code page", "\xcf\xf0\xe8\nb"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RewriteFileBytes(path, c.bytes);
        EXPECT_EQ(LoadTextFile(path), "\xcf\xf0\xe8\r\nb\r\n");
    }
}

// The XML copy's converter stands in for the XML builder: it lists the
// entries' identifiers and the password it was given.
std::string FakeXML(const TLogFile& log)
{
    std::string xml = "<?xml version=\"1.0\"?><log password=\"" + log.Password() + "\">";
    for (int i = 0; i < log.Count(); ++i) xml += "<entry id=\"" + log.GetItemValue("2.7", i) + "\"/>";
    return xml + "</log>";
}

TEST(ReportFileNames, TheXMLCopyIsMadeOfTheLogCopy)
{
    auto options = LogOptions(Scratch("xmlcopy.vlf"), false);
    TReportFilesState state;
    state.Options = options.get();
    state.LogPassword = "pw";
    LogFileSteps.XMLCopy.Set(&FakeXML);
    SaveXMLLogCopy(state);  // no XML copy asked for: nothing
    TCommonSendOptions send;
    send.Include(sndSendXMLLogCopy);
    options->SetCommonSendOptions(send);
    const std::string copy = LogCopyFileName(state);
    {
        TLogFile log(copy, false);
        log.Clear();
        log.Append(CannedReport("0A0A"), -1);
        log.Append(CannedReport("1B1B"), -1);
        log.Save();
    }
    SaveXMLLogCopy(state);
    EXPECT_EQ(ReadFileBytes(XMLCopyFileName(state)),
              "<?xml version=\"1.0\"?><log password=\"pw\"><entry id=\"0A0A\"/><entry id=\"1B1B\"/></log>");
    LogFileSteps.XMLCopy.Set(nullptr);
    EXPECT_THROW(SaveXMLLogCopy(state), rtl::Exception);
    DeleteFileA(copy.c_str());
    DeleteFileA(XMLCopyFileName(state).c_str());
}

}  // namespace
}  // namespace crash

namespace crash {
namespace {

// The pipeline's slots take the report from the pipeline's state and hand
// the duplicate flag back.
TEST(ReportFileSlots, TheLogStepsWorkOnThePipelinesReport)
{
    const std::string path = Scratch("slots.vlf");
    DeleteFileA(path.c_str());
    StartExceptionPipeline();
    RegisterReportFilesSteps();
    TPipelineState& pipeline = PipelineState();
    pipeline.Options->SetOutputPath(path);
    pipeline.Options->SetSaveLogFile(true);
    pipeline.Options->SetErrorsNumberToSave(-1);
    TLogOptions set;
    set.Include(loNoDuplicateErrors);
    pipeline.Options->SetLogOptions(set);
    for (int report = 1; report <= 3; ++report) {
        SCOPED_TRACE(report);
        pipeline.ExceptionCount = report;
        pipeline.ExceptionIdentifier = "9C9C";
        pipeline.ReportText = CannedReport("9C9C");
        pipeline.Duplicate = false;
        ReportSteps.CountDuplicateError(true);
        EXPECT_EQ(pipeline.Duplicate, report > 1);
        ReportSteps.SaveReportToLog();
        EXPECT_EQ(ReportSteps.ReadLastLogEntryItem("2.8"), report > 1 ? std::to_string(report) : "");
        EXPECT_EQ(CurrentReportFiles().TextToSend, pipeline.ReportText);
    }
    ReportSteps.CloseLogFile();
    EXPECT_EQ(SharedLog(), nullptr);
    {
        TLogFile log(path, true);
        EXPECT_EQ(log.Count(), 1);
    }
    // The version check goes through its slot, under the log's lock.
    set.Include(loDeleteLogAtVersionChange);
    pipeline.Options->SetLogOptions(set);
    {
        TLogFile log(path, false);
        log.Append(CannedReport("9D9D", 3, GetMainModuleVersion()), -1);
        log.Save();
    }
    ReportSteps.DeleteLogAtVersionChange();
    EXPECT_TRUE(IsReadableFile(path)) << "the newest entry is of this program's version";
    {
        TLogFile log(path, false);
        log.Append(CannedReport("9E9E", 3, GetMainModuleVersion() + ".9"), -1);
        log.Save();
    }
    ReportSteps.DeleteLogAtVersionChange();
    EXPECT_FALSE(IsReadableFile(path));
    EXPECT_EQ(SharedLog(), nullptr);
    ReportSteps.DeleteLogAtVersionChange.Set(nullptr);
    ReportSteps.CountDuplicateError.Set(nullptr);
    ReportSteps.ReadLastLogEntryItem.Set(nullptr);
    ReportSteps.CloseLogFile.Set(nullptr);
    ReportSteps.SaveReportToLog.Set(nullptr);
    ReportSteps.LoadLastHTMLPage.Set(nullptr);
    ReportSteps.CapturePageText.Set(nullptr);
    ReportSteps.ScreenshotFileName.Set(nullptr);
    StopExceptionPipeline();
}

}  // namespace
}  // namespace crash
