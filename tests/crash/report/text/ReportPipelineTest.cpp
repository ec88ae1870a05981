// The report text inside the exception pipeline: the registered steps build
// the record's log text at its text stage, and the custom data the
// application adds becomes the section after the header.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/report/ELogManager.h"
#include "crash/report/events/ReportEvents.h"

namespace {

using namespace crash;

struct EReportedError : rtl::Exception {
    RTL_CLASS(EReportedError)
    EReportedError() : Exception("reported on purpose") {}
};

__attribute__((noinline)) void RaisingPlace()
{
    asm volatile("");
}

std::string& SeenLogText()
{
    static std::string text;
    return text;
}

TEST(ReportPipeline, TextStageBuildsTheRecordsLogText)
{
    StartExceptionPipeline();
    RegisterReportTextSteps();
    RegisterReportEventSteps();
    ASSERT_TRUE(PipelineState().Installed) << "the test program carries its data block";
    TVexlorModuleOptions* own = nullptr;
    {
        rtl::TCriticalSectionLock lock(ModulesListLock());
        if (PVexlorModuleInfo info = ModuleInfoByHandle(LibraryModuleHandle()))
            own = info->ExtraInformation.Options.get();
    }
    ASSERT_NE(own, nullptr);
    own->SetActive(true);
    own->SetExceptionDialogType(edtNone);
    own->SetSaveLogFile(false);
    own->SetShowOptions({soExcID, soCustomData});
    own->SetLogOptions({});

    CreateVexlorLogList();
    auto log = std::make_unique<TVexlorLog>();
    log->SetOnExceptionNotify(
        [](TVexlorExceptionRecord record, bool&) { SeenLogText() = std::string(LogTextOf(record)); });
    log->SetOnCustomDataRequest([](TVexlorExceptionRecord, TVexlorStrings& fields) { fields.Add("Operator=Ivanov"); });

    EReportedError error;
    void* const address = reinterpret_cast<char*>(&RaisingPlace) + 5;
    NotifyException(&error, address, true, nullptr, false, aeNone, LibraryModuleHandle(), rtLocal, nullptr, nullptr, 0,
                    0);

    const std::string id = ExceptionIdentifier();
    ASSERT_EQ(id.size(), 4u);
    const std::string header = "VexlorLog 6.1.01 RC 1\r\n"
                               "\r\n"
                               "Exception:\r\n"
                               "--------------\r\n"
                               "  2.7 ID: " +
                               id + "\r\n";
    EXPECT_EQ(SeenLogText().substr(0, header.size()), header) << SeenLogText();
    // The handlers ran before the custom data was asked for.
    EXPECT_EQ(SeenLogText().find("Custom Information"), std::string::npos);
    const std::string custom = "\r\nCustom Information:\r\n"
                               "----------------------\r\n"
                               "  8.1 Operator: Ivanov\r\n";
    EXPECT_EQ(ReportText().substr(0, header.size() + custom.size()), header + custom) << ReportText();
    EXPECT_EQ(std::string(LogTextOf(PipelineState().Record)), ReportText());

    log.reset();
    FreeVexlorLogList();
    ReportSteps.BuildReportText.Set(nullptr);
    ReportSteps.InsertTextSection.Set(nullptr);
    ReportSteps.InsertListSection.Set(nullptr);
    ReportSteps.FindExceptionFilter.Set(nullptr);
    ReportSteps.NotifyShowingExceptionInfo.Set(nullptr);
    ReportSteps.NotifyShowedExceptionInfo.Set(nullptr);
    StopExceptionPipeline();
}

}  // namespace
