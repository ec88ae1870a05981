// The module options: defaults, setters, copying, publication and the filters.
#include "crash/engine/EOptions.h"

#include <gtest/gtest.h>

#include <string>

#include "crash/engine/ELang.h"
#include "rtl/SysUtils.h"
#include "tests/crash/engine/options/CountingOptions.h"

namespace crash {
namespace {

using test::CountingOptions;
using test::MakeOptions;
using test::TestModuleName;

TEST(ModuleOptionsCreate, PublishesOnceAndOnlyForTheLibrarysOwnModule)
{
    static const struct {
        const char* what;
        std::string moduleName;
        bool hasHandle;
        int stores;
    } kCases[] = {
        {"own module", TestModuleName(), true, 1},
        {"another loaded module", "kernel32.dll", true, 0},
        {"a module that is not loaded", "no-such-module.dll", false, 0},
        {"no module", "", false, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        int stores = 0;
        const auto options = MakeOptions(&stores, c.moduleName);
        EXPECT_EQ(options->ModuleName(), c.moduleName);
        EXPECT_EQ(options->ModuleHandle() != nullptr, c.hasHandle);
        EXPECT_EQ(stores, c.stores);
        EXPECT_EQ(options->SharedDataSuspensions(), 0);
    }
    EXPECT_EQ(LibraryModuleHandle(), ::GetModuleHandleA(nullptr));
}

TEST(ModuleOptionsDefaults, HoldTheDefaultValues)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    const TVexlorModuleOptions& o = *options;
    static constexpr struct {
        const char* what;
        bool (*holds)(const TVexlorModuleOptions&);
    } kCases[] = {
        {"TextsCollection", [](const TVexlorModuleOptions& o) { return o.TextsCollection() == "English"; }},
        {"FreezeActivate", [](const TVexlorModuleOptions& o) { return !o.FreezeActivate(); }},
        {"FreezeTimeout", [](const TVexlorModuleOptions& o) { return o.FreezeTimeout() == 60; }},
        {"SMTPFrom",
         [](const TVexlorModuleOptions& o) { return o.SMTPFrom() == kDefaultSMTPFrom && !o.SMTPFrom().empty(); }},
        {"SMTPHost", [](const TVexlorModuleOptions& o) { return o.SMTPHost().empty(); }},
        {"SMTPPort", [](const TVexlorModuleOptions& o) { return o.SMTPPort() == 25; }},
        {"ActivateLog", [](const TVexlorModuleOptions& o) { return !o.ActivateLog(); }},
        {"SaveLogFile", [](const TVexlorModuleOptions& o) { return o.SaveLogFile(); }},
        {"ActivateHandle", [](const TVexlorModuleOptions& o) { return o.ActivateHandle(); }},
        {"AppendLogs", [](const TVexlorModuleOptions& o) { return !o.AppendLogs(); }},
        {"ForegroundTab", [](const TVexlorModuleOptions& o) { return o.ForegroundTab() == ftGeneral; }},
        {"TerminateBtnOperation", [](const TVexlorModuleOptions& o) { return o.TerminateBtnOperation() == tbRestart; }},
        {"ErrorsNumberToSave", [](const TVexlorModuleOptions& o) { return o.ErrorsNumberToSave() == 32; }},
        {"ErrorsNumberToShowTerminateBtn",
         [](const TVexlorModuleOptions& o) { return o.ErrorsNumberToShowTerminateBtn() == 3; }},
        {"OutputPath", [](const TVexlorModuleOptions& o) { return o.OutputPath().empty(); }},
        {"EMailSendMode", [](const TVexlorModuleOptions& o) { return o.EMailSendMode() == esmNoSend; }},
        {"WebSendMode", [](const TVexlorModuleOptions& o) { return o.WebSendMode() == wsmNoSend; }},
        {"WebPort", [](const TVexlorModuleOptions& o) { return o.WebPort() == 0; }},
        {"AutoCloseDialogSecs", [](const TVexlorModuleOptions& o) { return o.AutoCloseDialogSecs() == 0; }},
        {"AutoCrashOperation", [](const TVexlorModuleOptions& o) { return o.AutoCrashOperation() == tbRestart; }},
        {"AutoCrashNumber", [](const TVexlorModuleOptions& o) { return o.AutoCrashNumber() == 10; }},
        {"AutoCrashMinutes", [](const TVexlorModuleOptions& o) { return o.AutoCrashMinutes() == 1; }},
        {"ProxyPort", [](const TVexlorModuleOptions& o) { return o.ProxyPort() == 8080; }},
        {"TrakerProject", [](const TVexlorModuleOptions& o) { return o.TrakerProject().empty(); }},
        {"ExceptionDialogType", [](const TVexlorModuleOptions& o) { return o.ExceptionDialogType() == edtMSClassic; }},
        {"ReproduceText", [](const TVexlorModuleOptions& o) { return o.ReproduceText().empty(); }},
        {"Active", [](const TVexlorModuleOptions& o) { return o.Active(); }},
        {"ExceptionsFilters", [](const TVexlorModuleOptions& o) { return o.ExceptionsFilters().Count() == 0; }},
        // Every set.
        {"LogOptions",
         [](const TVexlorModuleOptions& o) {
             return o.LogOptions() == TLogOptions{loSaveModulesAndProcessesSections, loSaveAssemblerAndCPUSections};
         }},
        {"ShowOptions", [](const TVexlorModuleOptions& o) { return o.ShowOptions() == TShowOptions::All(); }},
        {"CommonSendOptions",
         [](const TVexlorModuleOptions& o) {
             return o.CommonSendOptions() ==
                    TCommonSendOptions{sndShowSendDialog, sndSendScreenshot, sndSendLastHTMLPage};
         }},
        {"ExceptionDialogOptions",
         [](const TVexlorModuleOptions& o) {
             return o.ExceptionDialogOptions() ==
                    TExceptionDialogOptions{edoSendErrorReportChecked,    edoAttachScreenshotChecked,
                                            edoShowCopyToClipOption,      edoShowDetailsButton,
                                            edoShowSendErrorReportOption, edoShowAttachScreenshotOption};
         }},
        {"CallStackOptions",
         [](const TVexlorModuleOptions& o) {
             return o.CallStackOptions() ==
                    TCallStackOptions{csoShowDLLs, csoShowBPLs, csoShowBorlandThreads, csoShowWindowsThreads};
         }},
        {"BehaviourOptions",
         [](const TVexlorModuleOptions& o) {
             return o.BehaviourOptions() ==
                    TBehaviourOptions{boUseMainModuleOptions, boCopyLogInCaseOfError, boHandleSafeCallExceptions};
         }},
        {"LeaksOptions",
         [](const TVexlorModuleOptions& o) {
             return o.LeaksOptions() ==
                    TLeaksOptions{loGroupsSonLeaks, loHideBorlandLeaks, loFreeAllLeaks, loCatchLeaksExceptions};
         }},
        {"CompiledFileOptions",
         [](const TVexlorModuleOptions& o) {
             return o.CompiledFileOptions() == TCompiledFileOptions{cfoReduceFileSize};
         }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(c.holds(o));
    }
    EXPECT_EQ(o.CustomizedTexts(), DefaultCustomizedTexts());
}

TEST(ModuleOptionsDefaults, PageTemplateIsFifteenLinesWithoutAFinalLineBreak)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    const std::string& layout = options->HTMLLayout();
    int lineBreaks = 0;
    for (std::size_t at = layout.find("\r\n"); at != std::string::npos; at = layout.find("\r\n", at + 2)) ++lineBreaks;
    EXPECT_EQ(lineBreaks, 14);
    EXPECT_TRUE(layout.starts_with("<html>\r\n  <head>\r\n"));
    EXPECT_NE(layout.find("\r\n            <%HTML_TAG%>\r\n"), std::string::npos);
    EXPECT_NE(layout.find("<table width=\"100%\" border=\"0\">"), std::string::npos);
    EXPECT_TRUE(layout.ends_with("  </body>\r\n</html>"));
}

TEST(ModuleOptionsDefaults, RestoreEverythingButIdentityAndPublishOnce)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    options->SetSMTPPort(2525);
    options->SetActive(false);
    options->SetModuleName("renamed.exe");
    options->ExceptionsFilters().Add({});
    const HMODULE handle = options->ModuleHandle();
    stores = 0;

    options->SetToDefaultOptions();

    EXPECT_EQ(stores, 1);
    EXPECT_EQ(options->SMTPPort(), 25);
    EXPECT_TRUE(options->Active());
    EXPECT_EQ(options->ExceptionsFilters().Count(), 0);
    EXPECT_EQ(options->ModuleName(), "renamed.exe");
    EXPECT_EQ(options->ModuleHandle(), handle);
}

// One row per setter: it stores a value that is not the default.
struct SetterCase {
    const char* name;
    bool copiedByAssign;
    void (*set)(TVexlorModuleOptions&);
    bool (*isSet)(const TVexlorModuleOptions&);
};

static constexpr SetterCase kSetters[] = {
    {"ModuleName", false, [](TVexlorModuleOptions& o) { o.SetModuleName("other.dll"); },
     [](const TVexlorModuleOptions& o) { return o.ModuleName() == "other.dll"; }},
    {"Active", false, [](TVexlorModuleOptions& o) { o.SetActive(false); },
     [](const TVexlorModuleOptions& o) { return !o.Active(); }},
    {"SMTPFrom", true, [](TVexlorModuleOptions& o) { o.SetSMTPFrom("me@example.org"); },
     [](const TVexlorModuleOptions& o) { return o.SMTPFrom() == "me@example.org"; }},
    {"SMTPHost", true, [](TVexlorModuleOptions& o) { o.SetSMTPHost("smtp.example.org"); },
     [](const TVexlorModuleOptions& o) { return o.SMTPHost() == "smtp.example.org"; }},
    {"SMTPPort", true, [](TVexlorModuleOptions& o) { o.SetSMTPPort(2525); },
     [](const TVexlorModuleOptions& o) { return o.SMTPPort() == 2525; }},
    {"SMTPUserID", true, [](TVexlorModuleOptions& o) { o.SetSMTPUserID("smtp-user"); },
     [](const TVexlorModuleOptions& o) { return o.SMTPUserID() == "smtp-user"; }},
    {"SMTPPassword", true, [](TVexlorModuleOptions& o) { o.SetSMTPPassword("smtp-secret"); },
     [](const TVexlorModuleOptions& o) { return o.SMTPPassword() == "smtp-secret"; }},
    {"FreezeActivate", true, [](TVexlorModuleOptions& o) { o.SetFreezeActivate(true); },
     [](const TVexlorModuleOptions& o) { return o.FreezeActivate(); }},
    {"FreezeTimeout", true, [](TVexlorModuleOptions& o) { o.SetFreezeTimeout(7); },
     [](const TVexlorModuleOptions& o) { return o.FreezeTimeout() == 7; }},
    {"TextsCollection", true, [](TVexlorModuleOptions& o) { o.SetTextsCollection("Russian"); },
     [](const TVexlorModuleOptions& o) { return o.TextsCollection() == "Russian"; }},
    {"ActivateLog", true, [](TVexlorModuleOptions& o) { o.SetActivateLog(true); },
     [](const TVexlorModuleOptions& o) { return o.ActivateLog(); }},
    {"SaveLogFile", true, [](TVexlorModuleOptions& o) { o.SetSaveLogFile(false); },
     [](const TVexlorModuleOptions& o) { return !o.SaveLogFile(); }},
    {"ActivateHandle", true, [](TVexlorModuleOptions& o) { o.SetActivateHandle(false); },
     [](const TVexlorModuleOptions& o) { return !o.ActivateHandle(); }},
    {"ForegroundTab", true, [](TVexlorModuleOptions& o) { o.SetForegroundTab(ftCPU); },
     [](const TVexlorModuleOptions& o) { return o.ForegroundTab() == ftCPU; }},
    {"AppendLogs", true, [](TVexlorModuleOptions& o) { o.SetAppendLogs(true); },
     [](const TVexlorModuleOptions& o) { return o.AppendLogs(); }},
    {"TerminateBtnOperation", true, [](TVexlorModuleOptions& o) { o.SetTerminateBtnOperation(tbTerminate); },
     [](const TVexlorModuleOptions& o) { return o.TerminateBtnOperation() == tbTerminate; }},
    {"LogOptions", true, [](TVexlorModuleOptions& o) { o.SetLogOptions({loNoDuplicateErrors}); },
     [](const TVexlorModuleOptions& o) { return o.LogOptions() == TLogOptions{loNoDuplicateErrors}; }},
    {"ShowOptions", true, [](TVexlorModuleOptions& o) { o.SetShowOptions({soCustomData}); },
     [](const TVexlorModuleOptions& o) { return o.ShowOptions() == TShowOptions{soCustomData}; }},
    {"ErrorsNumberToSave", true, [](TVexlorModuleOptions& o) { o.SetErrorsNumberToSave(5); },
     [](const TVexlorModuleOptions& o) { return o.ErrorsNumberToSave() == 5; }},
    {"ErrorsNumberToShowTerminateBtn", true, [](TVexlorModuleOptions& o) { o.SetErrorsNumberToShowTerminateBtn(9); },
     [](const TVexlorModuleOptions& o) { return o.ErrorsNumberToShowTerminateBtn() == 9; }},
    {"OutputPath", true, [](TVexlorModuleOptions& o) { o.SetOutputPath("C:\\Logs"); },
     [](const TVexlorModuleOptions& o) { return o.OutputPath() == "C:\\Logs"; }},
    {"EMailAddresses", true, [](TVexlorModuleOptions& o) { o.SetEMailAddresses("a@example.org;b@example.org"); },
     [](const TVexlorModuleOptions& o) { return o.EMailAddresses() == "a@example.org;b@example.org"; }},
    {"EMailSubject", true, [](TVexlorModuleOptions& o) { o.SetEMailSubject("Crash"); },
     [](const TVexlorModuleOptions& o) { return o.EMailSubject() == "Crash"; }},
    {"EMailMessage", true, [](TVexlorModuleOptions& o) { o.SetEMailMessage("body"); },
     [](const TVexlorModuleOptions& o) { return o.EMailMessage() == "body"; }},
    {"EMailSendMode", true, [](TVexlorModuleOptions& o) { o.SetEMailSendMode(esmSMTPServer); },
     [](const TVexlorModuleOptions& o) { return o.EMailSendMode() == esmSMTPServer; }},
    {"WebSendMode", true, [](TVexlorModuleOptions& o) { o.SetWebSendMode(wsmMantis); },
     [](const TVexlorModuleOptions& o) { return o.WebSendMode() == wsmMantis; }},
    {"WebURL", true, [](TVexlorModuleOptions& o) { o.SetWebURL("http://example.org/upload"); },
     [](const TVexlorModuleOptions& o) { return o.WebURL() == "http://example.org/upload"; }},
    {"WebUserID", true, [](TVexlorModuleOptions& o) { o.SetWebUserID("web-user"); },
     [](const TVexlorModuleOptions& o) { return o.WebUserID() == "web-user"; }},
    {"WebPassword", true, [](TVexlorModuleOptions& o) { o.SetWebPassword("web-secret"); },
     [](const TVexlorModuleOptions& o) { return o.WebPassword() == "web-secret"; }},
    {"WebPort", true, [](TVexlorModuleOptions& o) { o.SetWebPort(8443); },
     [](const TVexlorModuleOptions& o) { return o.WebPort() == 8443; }},
    {"CommonSendOptions", true, [](TVexlorModuleOptions& o) { o.SetCommonSendOptions({sndAddComputerNameInFileName}); },
     [](const TVexlorModuleOptions& o) {
         return o.CommonSendOptions() == TCommonSendOptions{sndAddComputerNameInFileName};
     }},
    {"AttachedFiles", true, [](TVexlorModuleOptions& o) { o.SetAttachedFiles("a.txt;b.txt"); },
     [](const TVexlorModuleOptions& o) { return o.AttachedFiles() == "a.txt;b.txt"; }},
    {"ExceptionDialogType", true, [](TVexlorModuleOptions& o) { o.SetExceptionDialogType(edtVexlorLog); },
     [](const TVexlorModuleOptions& o) { return o.ExceptionDialogType() == edtVexlorLog; }},
    {"ExceptionDialogOptions", true,
     [](TVexlorModuleOptions& o) { o.SetExceptionDialogOptions({edoShowCustomButton}); },
     [](const TVexlorModuleOptions& o) {
         return o.ExceptionDialogOptions() == TExceptionDialogOptions{edoShowCustomButton};
     }},
    {"AutoCloseDialogSecs", true, [](TVexlorModuleOptions& o) { o.SetAutoCloseDialogSecs(30); },
     [](const TVexlorModuleOptions& o) { return o.AutoCloseDialogSecs() == 30; }},
    {"SupportURL", true, [](TVexlorModuleOptions& o) { o.SetSupportURL("http://example.org/help"); },
     [](const TVexlorModuleOptions& o) { return o.SupportURL() == "http://example.org/help"; }},
    {"HTMLLayout", true, [](TVexlorModuleOptions& o) { o.SetHTMLLayout("<%HTML_TAG%>"); },
     [](const TVexlorModuleOptions& o) { return o.HTMLLayout() == "<%HTML_TAG%>"; }},
    {"AutoCrashOperation", true, [](TVexlorModuleOptions& o) { o.SetAutoCrashOperation(tbNone); },
     [](const TVexlorModuleOptions& o) { return o.AutoCrashOperation() == tbNone; }},
    {"AutoCrashNumber", true, [](TVexlorModuleOptions& o) { o.SetAutoCrashNumber(4); },
     [](const TVexlorModuleOptions& o) { return o.AutoCrashNumber() == 4; }},
    {"AutoCrashMinutes", true, [](TVexlorModuleOptions& o) { o.SetAutoCrashMinutes(15); },
     [](const TVexlorModuleOptions& o) { return o.AutoCrashMinutes() == 15; }},
    {"CallStackOptions", true, [](TVexlorModuleOptions& o) { o.SetCallStackOptions({csoDoNotStoreProcNames}); },
     [](const TVexlorModuleOptions& o) { return o.CallStackOptions() == TCallStackOptions{csoDoNotStoreProcNames}; }},
    {"BehaviourOptions", true, [](TVexlorModuleOptions& o) { o.SetBehaviourOptions({boCatchHandledExceptions}); },
     [](const TVexlorModuleOptions& o) { return o.BehaviourOptions() == TBehaviourOptions{boCatchHandledExceptions}; }},
    {"ProxyURL", true, [](TVexlorModuleOptions& o) { o.SetProxyURL("proxy.example.org"); },
     [](const TVexlorModuleOptions& o) { return o.ProxyURL() == "proxy.example.org"; }},
    {"ProxyUserID", true, [](TVexlorModuleOptions& o) { o.SetProxyUserID("proxy-user"); },
     [](const TVexlorModuleOptions& o) { return o.ProxyUserID() == "proxy-user"; }},
    {"ProxyPassword", true, [](TVexlorModuleOptions& o) { o.SetProxyPassword("proxy-secret"); },
     [](const TVexlorModuleOptions& o) { return o.ProxyPassword() == "proxy-secret"; }},
    {"ProxyPort", true, [](TVexlorModuleOptions& o) { o.SetProxyPort(3128); },
     [](const TVexlorModuleOptions& o) { return o.ProxyPort() == 3128; }},
    {"TrakerUserID", true, [](TVexlorModuleOptions& o) { o.SetTrakerUserID("tracker-user"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerUserID() == "tracker-user"; }},
    {"TrakerPassword", true, [](TVexlorModuleOptions& o) { o.SetTrakerPassword("tracker-secret"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerPassword() == "tracker-secret"; }},
    {"TrakerAssignTo", true, [](TVexlorModuleOptions& o) { o.SetTrakerAssignTo("developer"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerAssignTo() == "developer"; }},
    {"TrakerProject", true, [](TVexlorModuleOptions& o) { o.SetTrakerProject("Volumetra"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerProject() == "Volumetra"; }},
    {"TrakerCategory", true, [](TVexlorModuleOptions& o) { o.SetTrakerCategory("crash"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerCategory() == "crash"; }},
    {"TrakerTrialID", true, [](TVexlorModuleOptions& o) { o.SetTrakerTrialID("trial-1"); },
     [](const TVexlorModuleOptions& o) { return o.TrakerTrialID() == "trial-1"; }},
    {"ZipPassword", true, [](TVexlorModuleOptions& o) { o.SetZipPassword("zip-secret"); },
     [](const TVexlorModuleOptions& o) { return o.ZipPassword() == "zip-secret"; }},
    {"PreBuildEvent", true, [](TVexlorModuleOptions& o) { o.SetPreBuildEvent("pre.cmd"); },
     [](const TVexlorModuleOptions& o) { return o.PreBuildEvent() == "pre.cmd"; }},
    {"PostSuccessfulBuildEvent", true, [](TVexlorModuleOptions& o) { o.SetPostSuccessfulBuildEvent("ok.cmd"); },
     [](const TVexlorModuleOptions& o) { return o.PostSuccessfulBuildEvent() == "ok.cmd"; }},
    {"PostFailureBuildEvent", true, [](TVexlorModuleOptions& o) { o.SetPostFailureBuildEvent("fail.cmd"); },
     [](const TVexlorModuleOptions& o) { return o.PostFailureBuildEvent() == "fail.cmd"; }},
    {"CompiledFileOptions", true, [](TVexlorModuleOptions& o) { o.SetCompiledFileOptions({cfoUseVL7}); },
     [](const TVexlorModuleOptions& o) { return o.CompiledFileOptions() == TCompiledFileOptions{cfoUseVL7}; }},
    {"ReproduceText", true, [](TVexlorModuleOptions& o) { o.SetReproduceText("pressed Start twice"); },
     [](const TVexlorModuleOptions& o) { return o.ReproduceText() == "pressed Start twice"; }},
    {"CustomizedTexts", true, [](TVexlorModuleOptions& o) { o.SetCustomizedTexts(mtDialog_Caption, "Failure"); },
     [](const TVexlorModuleOptions& o) { return o.GetCustomizedTexts(mtDialog_Caption) == "Failure"; }},
};

TEST(ModuleOptionsSetters, StoreTheirValueAndPublishOnce)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.name);
        options->SetToDefaultOptions();
        ASSERT_FALSE(c.isSet(*options)) << "the row's value is the default";
        stores = 0;
        c.set(*options);
        EXPECT_TRUE(c.isSet(*options));
        EXPECT_EQ(stores, 1);
    }
}

TEST(ModuleOptionsSetters, ErrorsNumberToSaveKeepsAtLeastOneReport)
{
    static constexpr struct {
        int given;
        int stored;
    } kCases[] = {{0, 1}, {1, 1}, {-1, -1}, {100, 100}};
    int stores = 0;
    const auto options = MakeOptions(&stores);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.given);
        options->SetErrorsNumberToSave(c.given);
        EXPECT_EQ(options->ErrorsNumberToSave(), c.stored);
    }
}

TEST(ModuleOptionsSetters, MovingTheOptionsToAnotherModuleEndsPublication)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    stores = 0;
    options->SetModuleHandle(::GetModuleHandleA("kernel32.dll"));
    options->SetSMTPPort(2525);
    EXPECT_EQ(stores, 0);
    options->SetModuleHandle(::GetModuleHandleA(nullptr));
    EXPECT_EQ(stores, 1);
}

TEST(ModuleOptionsSetters, TextsOutsideTheTableAreIgnored)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    stores = 0;
    const auto outside = static_cast<TMessageType>(kMessageTypeCount);
    options->SetCustomizedTexts(outside, "lost");
    EXPECT_EQ(options->GetCustomizedTexts(outside), "");
    EXPECT_EQ(stores, 0);
}

class ModuleOptionsAssign : public ::testing::Test {
protected:
    void SetUp() override
    {
        FSource = MakeOptions(&FSourceStores);
        FTarget = MakeOptions(&FTargetStores);
        for (const SetterCase& c : kSetters) c.set(*FSource);
        FSource->SetLeaksOptionsForTest({loCatchLeaks});
        FSource->ExceptionsFilters().Add(
            {true, "EAccessViolation", "at address", fetHandled, fdtNone, fhtRTL, fatRestart});
        FSource->ExceptionsFilters().Add({false, "EAbort", "", fetAll, fdtMessageBox, fhtNone, fatNone});
        FTargetStores = 0;
    }

    int FSourceStores = 0;
    int FTargetStores = 0;
    std::unique_ptr<CountingOptions> FSource;
    std::unique_ptr<CountingOptions> FTarget;
};

TEST_F(ModuleOptionsAssign, CopiesEverythingButIdentityAndActiveAndPublishesOnce)
{
    const std::string targetName = FTarget->ModuleName();
    const HMODULE targetHandle = FTarget->ModuleHandle();

    FTarget->Assign(FSource.get());

    EXPECT_EQ(FTargetStores, 1);
    EXPECT_EQ(FTarget->SharedDataSuspensions(), 0);
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.isSet(*FTarget), c.copiedByAssign);
    }
    EXPECT_TRUE(FTarget->Active());
    EXPECT_EQ(FTarget->ModuleName(), targetName);
    EXPECT_EQ(FTarget->ModuleHandle(), targetHandle);
    EXPECT_EQ(FTarget->LeaksOptions(), TLeaksOptions{loCatchLeaks});
    EXPECT_EQ(FTarget->CustomizedTexts(), FSource->CustomizedTexts());
}

TEST_F(ModuleOptionsAssign, CopiesTheFiltersDeeply)
{
    FTarget->ExceptionsFilters().Add({true, "EStale", "", fetAll, fdtNone, fhtNone, fatNone});
    FTarget->Assign(FSource.get());

    ASSERT_EQ(FTarget->ExceptionsFilters().Count(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(*FTarget->ExceptionsFilters().Items(i), *FSource->ExceptionsFilters().Items(i));
        EXPECT_NE(FTarget->ExceptionsFilters().Items(i), FSource->ExceptionsFilters().Items(i));
    }
    FSource->ExceptionsFilters().Items(0)->ExceptionMessage = "changed later";
    FSource->ExceptionsFilters().Clear();
    EXPECT_EQ(FTarget->ExceptionsFilters().Items(0)->ExceptionMessage, "at address");
    EXPECT_EQ(FTarget->ExceptionsFilters().Owner(), FTarget.get());
}

TEST_F(ModuleOptionsAssign, ToItselfChangesNothingAndPublishesNothing)
{
    FSourceStores = 0;
    FSource->Assign(FSource.get());
    EXPECT_EQ(FSourceStores, 0);
    for (const SetterCase& c : kSetters) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.isSet(*FSource));
    }
    EXPECT_EQ(FSource->ExceptionsFilters().Count(), 2);
}

TEST_F(ModuleOptionsAssign, FromNothingRaisesAConversionError)
{
    try {
        FTarget->Assign(nullptr);
        FAIL() << "no exception";
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), "Impossible to assign nil as TVexlorModuleOptions.");
    }
    EXPECT_EQ(FTargetStores, 0);
}

TEST_F(ModuleOptionsAssign, PublishesAndResumesAlsoWhenAStepFails)
{
    FTarget->FFailFreezeActivate = true;
    EXPECT_THROW(FTarget->Assign(FSource.get()), rtl::Exception);
    EXPECT_EQ(FTargetStores, 1);
    EXPECT_EQ(FTarget->SharedDataSuspensions(), 0);
    // What came before the failing step is in; the setters publish again.
    EXPECT_EQ(FTarget->TextsCollection(), "Russian");
    FTarget->SetSMTPPort(1);
    EXPECT_EQ(FTargetStores, 2);
}

TEST_F(ModuleOptionsAssign, WorkingCopyOfAnotherModuleNeverPublishes)
{
    int copyStores = 0;
    const auto copy = MakeOptions(&copyStores, "kernel32.dll");
    copy->Assign(FSource.get());
    copy->SetToDefaultOptions();
    copy->SetSMTPPort(1);
    copy->ExceptionsFilters().Add({});
    EXPECT_EQ(copyStores, 0);
}

TEST(ModuleOptionsLifetime, DestructionPublishesNothing)
{
    int stores = 0;
    auto options = MakeOptions(&stores);
    options->ExceptionsFilters().Add({});
    stores = 0;
    options.reset();
    EXPECT_EQ(stores, 0);
}

TEST(ModuleOptionsTexts, ExpandedTextsTakeTheirVariablesFromTheEnvironment)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    ASSERT_TRUE(::SetEnvironmentVariableA("_ExceptMsg", "Access violation"));
    stores = 0;
    options->SetCustomizedTexts(mtDialog_ErrorMsgCaption, "Error: %_ExceptMsg%, 100% sure");
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(options->GetCustomizedTexts(mtDialog_ErrorMsgCaption), "Error: %_ExceptMsg%, 100% sure");
    EXPECT_EQ(options->GetCustomizedExpandedTexts(mtDialog_ErrorMsgCaption), "Error: Access violation, 100% sure");
    EXPECT_EQ(options->GetCustomizedExpandedTexts(mtDialog_Caption), "Error occurred");
    ::SetEnvironmentVariableA("_ExceptMsg", nullptr);
}

TEST(ExceptionsFilters, EveryChangePublishesOnceAndBadIndexesChangeNothing)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    TVexlorExceptionsFilters& filters = options->ExceptionsFilters();
    stores = 0;
    EXPECT_EQ(filters.Add({true, "EFirst", "", fetAll, fdtNone, fhtNone, fatNone}), 0);
    EXPECT_EQ(filters.Add({true, "EThird", "", fetAll, fdtNone, fhtNone, fatNone}), 1);
    EXPECT_TRUE(filters.Insert(1, {true, "ESecond", "", fetAll, fdtNone, fhtNone, fatNone}));
    EXPECT_EQ(stores, 3);
    ASSERT_EQ(filters.Count(), 3);
    EXPECT_EQ(filters.Items(1)->ExceptionClassName, "ESecond");

    static constexpr int kBadIndexes[] = {-1, 3, 100};
    for (int index : kBadIndexes) {
        SCOPED_TRACE(index);
        EXPECT_EQ(filters.Items(index), nullptr);
        EXPECT_FALSE(filters.Delete(index));
    }
    EXPECT_FALSE(filters.Insert(4, {}));
    EXPECT_FALSE(filters.Insert(-1, {}));
    EXPECT_EQ(stores, 3);
    EXPECT_EQ(filters.Count(), 3);

    EXPECT_TRUE(filters.Insert(3, {}));  // at the end
    EXPECT_TRUE(filters.Delete(0));
    EXPECT_EQ(filters.Items(0)->ExceptionClassName, "ESecond");
    filters.Clear();
    EXPECT_EQ(filters.Count(), 0);
    EXPECT_EQ(stores, 6);
}

TEST(ExceptionsFilters, AssignToItselfKeepsTheFiltersAndPublishesOnce)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    TVexlorExceptionsFilters& filters = options->ExceptionsFilters();
    filters.Add({true, "EKept", "", fetAll, fdtNone, fhtNone, fatNone});
    filters.Add({true, "EKeptToo", "", fetAll, fdtNone, fhtNone, fatNone});
    filters.Assign(filters);
    ASSERT_EQ(filters.Count(), 2);
    EXPECT_EQ(filters.Items(1)->ExceptionClassName, "EKeptToo");

    int otherStores = 0;
    const auto other = MakeOptions(&otherStores);
    otherStores = 0;
    other->ExceptionsFilters().Assign(filters);
    EXPECT_EQ(otherStores, 1);
    EXPECT_EQ(other->ExceptionsFilters().Count(), 2);
}

TEST(ExceptionsFilters, ANewListIsTakenOverByTheOptions)
{
    int stores = 0;
    const auto options = MakeOptions(&stores);
    auto list = std::make_unique<TVexlorExceptionsFilters>(nullptr);
    list->Add({true, "EMoved", "", fetAll, fdtNone, fhtNone, fatNone});
    stores = 0;
    options->SetExceptionsFilters(std::move(list));
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(options->ExceptionsFilters().Owner(), options.get());
    options->ExceptionsFilters().Clear();
    EXPECT_EQ(stores, 2);

    options->SetExceptionsFilters(nullptr);
    EXPECT_EQ(options->ExceptionsFilters().Count(), 0);
}

}  // namespace
}  // namespace crash
