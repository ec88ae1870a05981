// The report's header, its full text in block order and the sections inserted
// after the header: texts laid out by hand, compared byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/engine/EOptions.h"
#include "crash/engine/pipeline/Pipeline.h"
#include "crash/engine/system/SystemInfo.h"
#include "crash/report/ELogManager.h"
#include "rtl/SysUtils.h"

namespace {

using namespace crash;

std::unique_ptr<TVexlorModuleOptions> OptionsShowing(TShowOptions shown)
{
    auto options = TVexlorModuleOptions::Create(std::string());
    options->SetShowOptions(shown);
    return options;
}

TEST(ReportHeader, SectionsKeepTheirNumbersAndFixedItemsTheirValues)
{
    const auto options =
        OptionsShowing({soAppName, soAppVersionNumber, soExcID, soExcCount, soExcNote, soActCtlsFormClass, soOSType});
    TReportHeaderValues values;
    values[soAppStartDate] = "hidden";
    values[soAppName] = "volumetra.exe";
    values[soAppVersionNumber] = "1.0.0.7";
    values[soExcID] = "1A2B";
    values[soExcCount] = "99";  // not used: the count of a new report is 1
    values[soExcNote] = "not used";
    values[soActCtlsFormClass] = "TMainForm";
    values[soOSType] = "Windows 7";
    values.ActiveControlsAllowed = false;

    EXPECT_EQ(ReportHeaderSections(values, *options), "Application:\r\n"
                                                      "-------------------------------------\r\n"
                                                      "  1.2 Name/Description: volumetra.exe\r\n"
                                                      "  1.3 Version Number  : 1.0.0.7\r\n"
                                                      "\r\n"
                                                      "Exception:\r\n"
                                                      "-----------------\r\n"
                                                      "  2.7 ID   : 1A2B\r\n"
                                                      "  2.8 Count: 1\r\n"
                                                      "  2.10 Note: \r\n"
                                                      "\r\n"
                                                      "Operating System:\r\n"
                                                      "---------------------\r\n"
                                                      "  6.1 Type: Windows 7\r\n");
}

TEST(ReportHeader, EveryItemHasItsNumber)
{
    struct Case {
        TShowOption option;
        const char* line;  // the item line with the value "v"
    };
    const Case cases[] = {
        {soAppStartDate, "  1.1 Start Date: v"},
        {soAppUpTime, "  1.6 Up Time: v"},
        {soExcDate, "  2.1 Date: v"},
        {soExcMessage, "  2.6 Message: v"},
        {soExcStatus, "  2.9 Status: New"},
        {soUserEmail, "  3.3 Email: v"},
        {soUserCompany, "  3.4 Company: v"},  // company stands before privileges
        {soUserPrivileges, "  3.5 Privileges: v"},
        {soActCtlsFormText, "  4.2 Form Text: v"},
        {soActCtlsControlText, "  4.4 Control Text: v"},
        {soCmpName, "  5.1 Name: v"},
        {soCmpPrinter, "  5.11 Printer: v"},
        {soOSCharset, "  6.5 Charset: v"},
        {soNetIP, "  7.1 IP Address: v"},
        {soNetDHCP, "  7.6 DHCP: v"},
    };
    for (const Case& c : cases) {
        const auto options = OptionsShowing({c.option});
        TReportHeaderValues values;
        for (std::string& value : values.Values) value = "v";
        const std::string text = ReportHeaderSections(values, *options);
        const std::vector<std::string> lines = LoadLines(text);
        ASSERT_EQ(lines.size(), 3u) << text;
        EXPECT_EQ(lines[2], c.line);
        EXPECT_EQ(lines[1], std::string(lines[2].size(), '-'));
    }
}

TEST(ReportHeader, ActiveControlsNeedAnApplicationWithWindows)
{
    const auto options = OptionsShowing({soActCtlsFormClass, soActCtlsControlClass});
    TReportHeaderValues values;
    values[soActCtlsFormClass] = "TMainForm";
    values[soActCtlsControlClass] = "TEdit";
    EXPECT_EQ(ReportHeaderSections(values, *options), "Active Controls:\r\n"
                                                      "------------------------------\r\n"
                                                      "  4.1 Form Class   : TMainForm\r\n"
                                                      "  4.3 Control Class: TEdit\r\n");
    values.ActiveControlsAllowed = false;
    EXPECT_EQ(ReportHeaderSections(values, *options), "");
}

TEST(ReportHeader, SystemValuesComeFromTheEngine)
{
    StartExceptionPipeline();
    SYSTEMTIME raised{};
    raised.wYear = 2000;
    raised.wMonth = 1;
    raised.wDay = 3;
    raised.wHour = 10;
    PipelineState().ExceptionTime = raised;
    TReportHeaderValues values;
    CollectSystemHeaderValues(values);
    StopExceptionPipeline();

    EXPECT_EQ(values[soCmpName], ComputerNameText());
    EXPECT_EQ(values[soUserID], UserLoginText());
    EXPECT_EQ(values[soUserName], RegisteredOwnerText());
    EXPECT_EQ(values[soOSType], WindowsVersionText());
    EXPECT_EQ(values[soOSBuildN], WindowsBuildText());
    EXPECT_EQ(values[soOSUpdate], std::string(rtl::Trim(QueryWindowsVersion().ServicePack)));
    EXPECT_EQ(values[soExcDate].substr(0, 24), "Mon, 3 Jan 2000 10:00:00") << values[soExcDate];
    // An exception time before the start counts as no time up.
    EXPECT_EQ(values[soAppUpTime], "0 second");
    EXPECT_FALSE(values[soAppStartDate].empty());
    EXPECT_NE(values[soCmpSysUpTime].find("second"), std::string::npos) << values[soCmpSysUpTime];
    EXPECT_TRUE(values[soAppVersionNumber].empty()) << "the test program has no version resource";
    EXPECT_TRUE(values[soExcMessage].empty()) << "left to the collectors";
}

TEST(ReportSections, TwoInsertedSectionsAreBothNumberedEight)
{
    TReportTexts texts;
    texts.ReportHeaderText = "VexlorLog 6.1.01 RC 1\r\n\r\nApplication:\r\n----------\r\n  1.1 X: y\r\n";
    texts.FullReportText = texts.ReportHeaderText + "\r\nTAIL\r\n";

    const std::vector<std::string> custom = {"Build=42", " Operator = Ivanov ", "Build=43"};
    InsertSection(texts, InsertListSectionText(7, "Custom Information", &custom));
    InsertSection(texts, InsertTextSectionText(7, "Request", "I clicked:\r\nSave"));

    const std::string header = "VexlorLog 6.1.01 RC 1\r\n"
                               "\r\n"
                               "Application:\r\n"
                               "----------\r\n"
                               "  1.1 X: y\r\n"
                               "\r\n"
                               "Custom Information:\r\n"
                               "----------------------\r\n"
                               "  8.1 Build   : 42\r\n"
                               "  8.2 Operator: Ivanov\r\n"
                               "  8.3 Build   : 43\r\n"
                               "\r\n"
                               "Request:\r\n"
                               "------------------\r\n"
                               "  8.1 : I clicked:\r\n"
                               "        Save\r\n";
    EXPECT_EQ(texts.ReportHeaderText, header);
    EXPECT_EQ(texts.FullReportText, header + "\r\nTAIL\r\n");
    EXPECT_EQ(texts.ReportSendText, texts.FullReportText);
}

TEST(ReportSections, EmptyTextOrListInsertsNothing)
{
    EXPECT_EQ(InsertTextSectionText(7, "Request", ""), "");
    const std::vector<std::string> none;
    EXPECT_EQ(InsertListSectionText(7, "Custom Information", &none), "");
    EXPECT_EQ(InsertListSectionText(7, "Custom Information", nullptr), "");

    TReportTexts texts;
    texts.ReportHeaderText = "H\r\n";
    texts.FullReportText = "H\r\n\r\nT\r\n";
    texts.ReportSendText = "whole log";
    InsertSection(texts, "");
    EXPECT_EQ(texts.FullReportText, "H\r\n\r\nT\r\n");
    EXPECT_EQ(texts.ReportSendText, "whole log");

    // A line without "=" is a name without a value.
    const std::vector<std::string> bare = {"Shift"};
    EXPECT_EQ(InsertListSectionText(7, "C", &bare), "C:\r\n-------------\r\n  8.1 Shift: \r\n\r\n");
}

// ---- The whole text ----------------------------------------------------------------

// A hand-made call-stack block in the tables' layout.
constexpr const char kCallStackBlock[] = "Call Stack Information:\r\n"
                                         "-----------------\r\n"
                                         "|Address |Module|\r\n"
                                         "-----------------\r\n"
                                         "|00401000|a.exe |\r\n"
                                         "-----------------\r\n"
                                         "\r\n";

class ReportTextBuild : public testing::Test {
protected:
    void SetUp() override
    {
        StartExceptionPipeline();
        PipelineState().ExceptionIdentifier = "C0DE";
        ReportOptions().SetShowOptions({soExcType, soExcMessage, soExcID});
        ReportOptions().SetLogOptions({});
        ReportTextSources.CollectHeaderValues.Set([](TReportContext&, TReportHeaderValues& values) {
            values[soExcType] = "EAccessViolation";
            values[soExcMessage] = "Access violation at address 00401000. Read of address 00000000.";
            values[soExcID] = "not used";
        });
        ReportTextSources.BuildCallStackSections.Set(
            [](TReportContext& context) { context.CallStackText += kCallStackBlock; });
        ReportTextSources.BuildAssemblerAndCPU.Set([](TReportContext&, TReportTexts& texts) {
            texts.AssemblerHeaderText = "Assembler Information:\r\n----------------------";
            texts.AssemblerText = "00401000  MOV EAX, [EAX]  ; <-- EXCEPTION\r\n";
            texts.CPUText = "CPU\r\n";
        });
    }
    void TearDown() override
    {
        ReportTextSources.CollectHeaderValues.Set(nullptr);
        ReportTextSources.BuildCallStackSections.Set(nullptr);
        ReportTextSources.BuildAssemblerAndCPU.Set(nullptr);
        ReportSteps.BuildReportText.Set(nullptr);
        ReportSteps.InsertTextSection.Set(nullptr);
        ReportSteps.InsertListSection.Set(nullptr);
        StopExceptionPipeline();
    }

    const std::string kHeader = "VexlorLog 6.1.01 RC 1\r\n"
                                "\r\n"
                                "Exception:\r\n"
                                "------------------------------------------------------------------------------\r\n"
                                "  2.5 Type   : EAccessViolation\r\n"
                                "  2.6 Message: Access violation at address 00401000. Read of address 00000000.\r\n"
                                "  2.7 ID     : C0DE\r\n";
};

TEST_F(ReportTextBuild, WithoutAssemblerOptionTheTailIsTwoEmptyBlocks)
{
    TReportContext context;
    context.CallStackText = "left from the last report";
    const std::string full = BuildReportText(context);

    const std::string expected = kHeader + "\r\n" + kCallStackBlock +
                                 "Assembler Information:\r\n"
                                 "----------------------\r\n"
                                 "\r\n"
                                 "Registers:\r\n"
                                 "----------\r\n"
                                 "\r\n";
    EXPECT_EQ(full, expected);
    EXPECT_EQ(ReportTexts().FullReportText, expected);
    EXPECT_EQ(ReportTexts().ReportSendText, expected);
    EXPECT_EQ(ReportTexts().ReportHeaderText, kHeader);
    EXPECT_EQ(ReportTexts().AssemblerText, "");
    EXPECT_EQ(context.CallStackText, kCallStackBlock);
    EXPECT_EQ(context.TopText, "An error has occurred during program execution.\r\n"
                               "Please read the following information for further details.\r\n\r\n");
    EXPECT_EQ(PipelineState().Stage, 702233);
}

TEST_F(ReportTextBuild, WithAssemblerOptionTheBlocksFollowInOrder)
{
    ReportOptions().SetLogOptions({loSaveAssemblerAndCPUSections});
    TReportContext context;
    const std::string full = BuildReportText(context);
    EXPECT_EQ(full, kHeader + "\r\n" + kCallStackBlock +
                        "Assembler Information:\r\n"
                        "----------------------\r\n"
                        "00401000  MOV EAX, [EAX]  ; <-- EXCEPTION\r\n"
                        "\r\n"
                        "CPU\r\n");
}

TEST_F(ReportTextBuild, RegisteredStepsBuildAndInsertIntoThePipelinesText)
{
    RegisterReportTextSteps();
    TReportContext context;
    const std::string full = ReportSteps.BuildReportText(context);
    ASSERT_EQ(full, ReportTexts().FullReportText);
    SetReportText(full);

    TVexlorStrings custom;
    custom.Add("Operator=Ivanov");
    ReportSteps.InsertListSection(7, "Custom Information", custom);
    ReportSteps.InsertTextSection(7, "Request", "Pressed Save");

    const std::string header = kHeader + "\r\n"
                                         "Custom Information:\r\n"
                                         "----------------------\r\n"
                                         "  8.1 Operator: Ivanov\r\n"
                                         "\r\n"
                                         "Request:\r\n"
                                         "--------------------\r\n"
                                         "  8.1 : Pressed Save\r\n";
    const std::string expected = header + "\r\n" + kCallStackBlock +
                                 "Assembler Information:\r\n"
                                 "----------------------\r\n"
                                 "\r\n"
                                 "Registers:\r\n"
                                 "----------\r\n"
                                 "\r\n";
    EXPECT_EQ(ReportTexts().ReportHeaderText, header);
    EXPECT_EQ(ReportTexts().FullReportText, expected);
    EXPECT_EQ(ReportText(), expected);
    EXPECT_EQ(std::string(LogTextOf(PipelineState().Record)), expected);

    // Nothing to insert: the texts stay.
    ReportSteps.InsertTextSection(7, "Request", "");
    ReportSteps.InsertListSection(7, "Custom Information", TVexlorStrings());
    EXPECT_EQ(ReportText(), expected);
}

TEST_F(ReportTextBuild, EmptySourcesStillGiveTheTextsShape)
{
    ReportTextSources.CollectHeaderValues.Set(nullptr);
    ReportTextSources.BuildCallStackSections.Set(nullptr);
    TReportContext context;
    const std::string full = BuildReportText(context);
    EXPECT_EQ(full, "VexlorLog 6.1.01 RC 1\r\n"
                    "\r\n"
                    "Exception:\r\n"
                    "-------------------\r\n"
                    "  2.5 Type   : \r\n"
                    "  2.6 Message: \r\n"
                    "  2.7 ID     : C0DE\r\n"
                    "\r\n"
                    "Assembler Information:\r\n"
                    "----------------------\r\n"
                    "\r\n"
                    "Registers:\r\n"
                    "----------\r\n"
                    "\r\n");
}

}  // namespace
