// The exception manager and the switches that keep it from reporting, in a
// program that runs the crash reporter. Reports are counted by the pipeline's
// report counter; the dialog step records instead of showing a box.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "crash/engine/api/ApiExports.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"

namespace {

std::atomic<int> gShown{0};
std::string gShownClass;
int gShownErrorsToSave = 0;
std::string gShownUnitCaption;

void RecordBox(crash::TReportContext& context, bool)
{
    ++gShown;
    gShownClass = rtl::SafeClassName(context.ExceptionObject);
    gShownErrorsToSave = crash::ReportOptions().ErrorsNumberToSave();
    gShownUnitCaption = crash::ReportOptions().GetCustomizedTexts(crash::mtCallStack_Unit);
    crash::SetDialogKind(crash::edtNone);
}

class RunningReporter : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(crash::IsVexlorLogInstalled());
        ASSERT_NE(crash::PipelineStateOrNull(), nullptr);
        // A console program writes its reports to the console: this one
        // takes the window path, whose dialog step records.
        crash::ReportSteps.IsConsoleApplication.Set([] { return false; });
        crash::ReportSteps.ShowExceptionBox.Set(&RecordBox);
        gShown = 0;
    }
    void TearDown() override
    {
        crash::SetVexlorLogState(true);
        crash::SetVexlorLogInThread(::GetCurrentThreadId(), true);
    }
    static int Reports() { return crash::PipelineState().ExceptionCount; }
};

TEST_F(RunningReporter, GlobalSwitchOffMakesNoReport)
{
    rtl::Exception error("switched off");
    const int before = Reports();
    crash::SetVexlorLogState(false);
    EXPECT_TRUE(crash::exports::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr)));
    EXPECT_EQ(Reports(), before);
    crash::SetVexlorLogState(true);
    crash::exports::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr));
    EXPECT_EQ(Reports(), before + 1);
}

// The program's options file is not the library's default: its report works
// with what the file holds.
TEST_F(RunningReporter, ReportCarriesTheProgramsOptions)
{
    EXPECT_EQ(crash::CurrentVexlorLogOptions()->ErrorsNumberToSave(), 17);
    rtl::Exception error("options");
    crash::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr));
    ASSERT_EQ(gShown.load(), 1);
    EXPECT_EQ(gShownErrorsToSave, 17);
    EXPECT_EQ(gShownUnitCaption, "Source unit");
}

TEST_F(RunningReporter, ThreadSwitchedOffIsNotReportedUntilSwitchedBack)
{
    rtl::Exception error("thread off");
    const DWORD self = ::GetCurrentThreadId();
    const int before = Reports();
    crash::SetVexlorLogInThread(self, false);
    crash::SetVexlorLogInThread(self, false);
    EXPECT_EQ(crash::ThreadSwitchCount(), 1);
    EXPECT_TRUE(crash::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr)));
    EXPECT_EQ(Reports(), before);
    crash::SetVexlorLogInThread(self, true);
    crash::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr));
    EXPECT_EQ(Reports(), before + 1);
}

// ---- An exception escaping a thread's Execute ----------------------------------

class ERaisedInExecute : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    RTL_CLASS(ERaisedInExecute)
};

__attribute__((noinline)) void RaiseInsideExecute()
{
    throw ERaisedInExecute("escaped");
}

class TFailingThread : public rtl::TThread {
public:
protected:
    void Execute() override { RaiseInsideExecute(); }
};

TEST_F(RunningReporter, ExceptionEscapingExecuteIsReportedOnceAndKept)
{
    const int before = Reports();
    bool endHandlerRan = false;
    TFailingThread thread;
    thread.SetOnTerminate([&](rtl::TThread&) { endHandlerRan = true; });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(Reports(), before + 1);
    EXPECT_EQ(gShown.load(), 1);
    EXPECT_EQ(gShownClass, "ERaisedInExecute");
    ASSERT_TRUE(thread.FatalException());
    EXPECT_NE(dynamic_cast<const ERaisedInExecute*>(
                  static_cast<rtl::TObject*>(rtl::ExceptionPtrObject(thread.FatalException()))),
              nullptr);
    rtl::CheckSynchronize();
    EXPECT_TRUE(endHandlerRan);
}

}  // namespace

namespace {

// ---- The HTML report of a foreign exception --------------------------------------

bool gCpuSectionsDuringReport = true;
std::string gReportedClass;

std::string RecordText(crash::TReportContext& context)
{
    gCpuSectionsDuringReport = crash::ReportOptions().LogOptions().Contains(crash::loSaveAssemblerAndCPUSections);
    gReportedClass = rtl::SafeClassName(context.ExceptionObject);
    return "foreign report";
}

std::string Page(const std::string& topText, const std::string& reportText)
{
    return "<html>" + topText + reportText + "</html>";
}

TEST_F(RunningReporter, ForeignReportLeavesTheCpuSectionsOutOnlyForItself)
{
    ASSERT_TRUE(crash::CurrentVexlorLogOptions()->LogOptions().Contains(crash::loSaveAssemblerAndCPUSections));
    crash::ReportSteps.BuildReportText.Set(&RecordText);
    crash::InterfaceSteps.ReportHTMLPage.Set(&Page);
    std::string html;
    ASSERT_TRUE(crash::GetVexlorLogHTML("System.InvalidOperationException", "bad state",
                                        "4198400|Host.exe|Main.cs|Form1|Click|42|3|Main", html));
    EXPECT_FALSE(gCpuSectionsDuringReport);
    EXPECT_EQ(gReportedClass, "TActiveXException");
    EXPECT_NE(html.find("<html>"), std::string::npos);
    // A report made afterwards has them again.
    EXPECT_TRUE(crash::CurrentVexlorLogOptions()->LogOptions().Contains(crash::loSaveAssemblerAndCPUSections));
    EXPECT_FALSE(crash::CallForGetLogText);
    rtl::Exception error("afterwards");
    crash::ExceptionManager(&error, nullptr, crash::rtLocal, ::GetModuleHandleA(nullptr));
    EXPECT_TRUE(gCpuSectionsDuringReport);
    crash::ReportSteps.BuildReportText.Set(nullptr);
}

}  // namespace
