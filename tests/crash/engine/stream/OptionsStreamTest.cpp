// The options stream of the current version: its layout, the round trip, the
// text rule, damaged streams and the options file.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "crash/engine/EConsts.h"
#include "crash/engine/ELang.h"
#include "crash/engine/EOptions.h"
#include "rtl/Streams.h"
#include "tests/crash/engine/options/CountingOptions.h"
#include "tests/crash/engine/stream/StreamTestSupport.h"

namespace crash {
namespace {

using test::CountingOptions;
using test::DebugLines;
using test::MakeOptions;
using test::StreamBytes;
using test::StreamText;

// Every stored option away from its default.
void SetEverything(CountingOptions& o)
{
    o.SetActivateLog(true);
    o.SetActivateHandle(false);
    o.SetLogOptions({loNoDuplicateErrors, loAddComputerNameInLogFileName});
    o.SetAppendLogs(true);
    o.SetSaveLogFile(false);
    o.SetForegroundTab(ftAssembler);
    o.SetFreezeActivate(true);
    o.SetFreezeTimeout(-7);
    o.SetSMTPFrom("от@example.org");
    o.SetSMTPHost("smtp.example.org");
    o.SetSMTPPort(65535);
    o.SetSMTPUserID("user");
    o.SetSMTPPassword("pa\xFFss");
    o.SetTerminateBtnOperation(tbTerminate);
    o.SetErrorsNumberToSave(0x12345678);
    o.SetErrorsNumberToShowTerminateBtn(-1);
    o.SetEMailAddresses("a@example.org;b@example.org");
    o.SetEMailSubject("Сбой");
    o.SetEMailSendMode(esmSMTPServer);
    o.SetShowOptions({soAppStartDate, soExcID, soNetDHCP, soCustomData});
    o.SetOutputPath("C:\\Журналы");
    o.SetWebSendMode(wsmMantis);
    o.SetWebURL("http://example.org/bugs");
    o.SetWebUserID("web");
    o.SetWebPassword("webpass");
    o.SetWebPort(8443);
    o.SetAttachedFiles("a.txt;b.txt");
    o.SetCommonSendOptions({sndSendXMLLogCopy, sndAddComputerNameInFileName});
    o.SetExceptionDialogOptions({edoShowInTopMostMode, edoShowCustomButton});
    o.SetAutoCloseDialogSecs(30);
    o.SetSupportURL("http://example.org/help");
    o.SetHTMLLayout("<html>\r\n<%HTML_TAG%>\r\n</html>");
    o.SetCallStackOptions({csoDoNotStoreProcNames});
    o.SetBehaviourOptions({boPauseBorlandThreads, boCatchHandledExceptions});
    o.SetLeaksOptionsForTest({loCatchLeaks});
    o.SetAutoCrashOperation(tbNone);
    o.SetAutoCrashNumber(99);
    o.SetAutoCrashMinutes(5);
    o.SetCompiledFileOptions({cfoUseVL7});
    o.SetExceptionDialogType(edtVexlorLog);
    o.SetProxyURL("proxy.example.org");
    o.SetProxyUserID("proxy-user");
    o.SetProxyPassword("proxy-pass");
    o.SetProxyPort(3128);
    o.SetTrakerUserID("t-user");
    o.SetTrakerPassword("t-pass");
    o.SetTrakerAssignTo("t-assign");
    o.SetTrakerProject("t-project");
    o.SetTrakerCategory("t-category");
    o.SetTrakerTrialID("t-trial");
    o.SetZipPassword("zip");
    o.ExceptionsFilters().Add(
        {true, "EAccessViolation", "Ошибка доступа", fetHandled, fdtVexlorLog, fhtRTL, fatRestart});
    o.ExceptionsFilters().Add({false, "", "", fetAll, fdtUnchanged, fhtVexlorLog, fatTerminate});
    o.SetEMailMessage("line 1\r\nline 2");
    for (std::size_t i = 0; i < kMessageTypeCount; ++i)
        o.SetCustomizedTexts(static_cast<TMessageType>(i), "Текст " + std::to_string(i) + (i % 2 ? "\r\nещё" : ""));
    o.SetTextsCollection("Russian");
}

// The stream as the layout of the current version has it, written from the
// getters field by field. One byte or word field named patch gets patchValue
// instead, so that a test can damage exactly that field.
std::string ExpectedStream(const TVexlorModuleOptions& o, std::string_view patch = {}, std::int32_t patchValue = 0)
{
    StreamBytes b;
    auto u8 = [&](std::string_view name, std::uint8_t v) {
        b.U8(name == patch ? static_cast<std::uint8_t>(patchValue) : v);
    };
    auto i32 = [&](std::string_view name, std::int32_t v) { b.I32(name == patch ? patchValue : v); };
    auto bits = [&](const auto& set) {
        for (std::uint8_t byte : set.ToBytes()) b.U8(byte);
    };
    u8("ActivateLog", o.ActivateLog());
    u8("ActivateHandle", o.ActivateHandle());
    bits(o.LogOptions());
    u8("AppendLogs", o.AppendLogs());
    u8("SaveLogFile", o.SaveLogFile());
    u8("ForegroundTab", o.ForegroundTab());
    u8("FreezeActivate", o.FreezeActivate());
    i32("FreezeTimeout", o.FreezeTimeout());
    if (patch == "SMTPFrom length")
        b.I32(patchValue);
    else
        b.Str(o.SMTPFrom());
    b.Str(o.SMTPHost());
    b.U16(o.SMTPPort());
    b.Str(o.SMTPUserID());
    b.Str(o.SMTPPassword());
    u8("TerminateBtnOperation", o.TerminateBtnOperation());
    i32("ErrorsNumberToSave", o.ErrorsNumberToSave());
    i32("ErrorsNumberToShowTerminateBtn", o.ErrorsNumberToShowTerminateBtn());
    b.Str(o.EMailAddresses());
    b.Str(o.EMailSubject());
    u8("EMailSendMode", o.EMailSendMode());
    bits(o.ShowOptions());
    b.Str(o.OutputPath());
    u8("WebSendMode", o.WebSendMode());
    b.Str(o.WebURL());
    b.Str(o.WebUserID());
    b.Str(o.WebPassword());
    i32("WebPort", o.WebPort());
    b.Str(o.AttachedFiles());
    bits(o.CommonSendOptions());
    bits(o.ExceptionDialogOptions());
    i32("AutoCloseDialogSecs", o.AutoCloseDialogSecs());
    b.Str(o.SupportURL());
    b.Str(o.HTMLLayout());
    bits(o.CallStackOptions());
    bits(o.BehaviourOptions());
    bits(o.LeaksOptions());
    u8("AutoCrashOperation", o.AutoCrashOperation());
    i32("AutoCrashNumber", o.AutoCrashNumber());
    i32("AutoCrashMinutes", o.AutoCrashMinutes());
    bits(o.CompiledFileOptions());
    u8("ExceptionDialogType", o.ExceptionDialogType());
    b.Str(o.ProxyURL());
    b.Str(o.ProxyUserID());
    b.Str(o.ProxyPassword());
    b.U16(o.ProxyPort());
    for (const std::string* s : {&o.TrakerUserID(), &o.TrakerPassword(), &o.TrakerAssignTo(), &o.TrakerProject(),
                                 &o.TrakerCategory(), &o.TrakerTrialID(), &o.ZipPassword()})
        b.Str(*s);
    const auto& filters = o.ExceptionsFilters();
    i32("filter count", filters.Count());
    for (int i = 0; i < filters.Count(); ++i) {
        const TVexlorExceptionFilter& f = *filters.Items(i);
        u8("Active", f.Active);
        b.Str(f.ExceptionClassName);
        b.Str(f.ExceptionMessage);
        u8("ExceptionType", f.ExceptionType);
        u8("DialogType", f.DialogType);
        u8("HandlerType", f.HandlerType);
        u8("ActionType", f.ActionType);
    }
    b.Str(o.EMailMessage());
    for (const std::string& text : o.CustomizedTexts()) b.Str(text);
    b.Str(o.TextsCollection());
    return b.Get();
}

std::string Save(const TVexlorModuleOptions& o)
{
    rtl::TMemoryStream stream;
    o.SaveToStream(stream);
    return StreamText(stream);
}

// Loads bytes as a stream of the given version; the stream's position afterwards.
std::int64_t Load(TVexlorModuleOptions& o, const std::string& bytes, std::uint16_t version = VexlorLogCurrentVersion)
{
    LastVexlorVersion = version;
    rtl::TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
    o.LoadFromStream(stream);
    return stream.Position();
}

class OptionsStream : public ::testing::Test {
protected:
    void SetUp() override { LastVexlorVersion = VexlorLogCurrentVersion; }
    int FStores = 0;
};

TEST_F(OptionsStream, WritesTheCurrentLayoutAndReadsItBack)
{
    const auto source = MakeOptions(&FStores);
    SetEverything(*source);
    source->SetActive(false);
    source->SetPreBuildEvent("pre");
    source->SetPostSuccessfulBuildEvent("post ok");
    source->SetPostFailureBuildEvent("post failed");
    source->SetReproduceText("steps");

    const std::string bytes = Save(*source);
    ASSERT_EQ(bytes, ExpectedStream(*source));
    EXPECT_EQ(bytes.substr(0, 7), std::string("\x01\x00\x09\x01\x00\x04\x01", 7));
    EXPECT_EQ(bytes.substr(7, 4), std::string("\xF9\xFF\xFF\xFF", 4));  // -7, little-endian

    const auto target = MakeOptions(&FStores);
    target->SetModuleName("other.dll");
    EXPECT_EQ(Load(*target, bytes), static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(ExpectedStream(*target), bytes);
    EXPECT_EQ(target->ExceptionsFilters().Items(0)->ExceptionMessage, "Ошибка доступа");
    // Not stored: the object's own state and the build tool's events.
    EXPECT_TRUE(target->Active());
    EXPECT_EQ(target->ModuleName(), "other.dll");
    EXPECT_EQ(target->PreBuildEvent(), "");
    EXPECT_EQ(target->PostSuccessfulBuildEvent(), "");
    EXPECT_EQ(target->PostFailureBuildEvent(), "");
}

TEST_F(OptionsStream, LoadingPublishesOnceAndReplacesTheFilters)
{
    const auto source = MakeOptions(&FStores);
    SetEverything(*source);
    const std::string bytes = Save(*source);
    const auto target = MakeOptions(&FStores);
    target->ExceptionsFilters().Add({true, "Old", "", fetAll, fdtNone, fhtNone, fatNone});
    FStores = 0;
    Load(*target, bytes);
    EXPECT_EQ(FStores, 1);
    ASSERT_EQ(target->ExceptionsFilters().Count(), 2);
    EXPECT_EQ(target->ExceptionsFilters().Items(0)->ExceptionClassName, "EAccessViolation");
}

TEST_F(OptionsStream, StringsAreScrambledAndAOneLineTextLosesItsFinalBreak)
{
    static constexpr struct {
        const char* text;
        const char* stored;
    } kCases[] = {
        {"x\r\n", "x"},           {"\r\n", ""}, {"a\r\nb\r\n", "a\r\nb\r\n"},  // two breaks: kept
        {"\r\n\r\n", "\r\n\r\n"}, {"\n", "\n"},                                // one character: kept
        {"x\n", "x\n"},                                                        // only CR LF counts
        {"a\r\nb", "a\r\nb"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        const auto o = MakeOptions(&FStores);
        o->SetSMTPFrom(c.text);
        const std::string bytes = Save(*o);
        EXPECT_EQ(bytes.substr(11, 4 + std::strlen(c.stored)), StreamBytes().Str(c.stored).Get());
        Load(*o, bytes);
        EXPECT_EQ(o->SMTPFrom(), c.stored);
    }
}

TEST_F(OptionsStream, EveryCutEndsInTheReadErrorAndStillPublishesOnce)
{
    const auto source = MakeOptions(&FStores);
    SetEverything(*source);
    const std::string bytes = Save(*source);
    const auto target = MakeOptions(&FStores);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        FStores = 0;
        const std::string part = bytes.substr(0, cut);
        try {
            Load(*target, part);
            ADD_FAILURE() << "a stream cut at " << cut << " loaded";
        } catch (const rtl::EReadError&) {}
        ASSERT_EQ(FStores, 1) << "cut at " << cut;
        ASSERT_EQ(target->SharedDataSuspensions(), 0) << "cut at " << cut;
    }
    // What was read before the end stays.
    EXPECT_TRUE(target->ActivateLog());
    EXPECT_EQ(target->TextsCollection(), "English");
}

TEST_F(OptionsStream, LengthsAndCountsBeyondTheStreamAreRefusedBeforeAllocating)
{
    const auto source = MakeOptions(&FStores);
    static constexpr struct {
        const char* field;
        std::int32_t value;
    } kCases[] = {
        {"SMTPFrom length", 0x7FFFFFFF}, {"SMTPFrom length", 20000}, {"filter count", 0x7FFFFFFF},
        {"filter count", 0x10000000},    {"filter count", 300},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.field) + " " + std::to_string(c.value));
        const auto target = MakeOptions(&FStores);
        target->ExceptionsFilters().Add({});
        EXPECT_THROW(Load(*target, ExpectedStream(*source, c.field, c.value)), rtl::EReadError);
        EXPECT_EQ(target->ExceptionsFilters().Count(), std::string(c.field) == "filter count" ? 0 : 1);
    }
}

TEST_F(OptionsStream, NegativeLengthsAndCountsMeanNothing)
{
    const auto source = MakeOptions(&FStores);
    source->SetSMTPFrom("");
    source->SetTextsCollection("Marker");
    for (const char* field : {"SMTPFrom length", "filter count"}) {
        SCOPED_TRACE(field);
        const auto target = MakeOptions(&FStores);
        target->ExceptionsFilters().Add({});
        const std::string bytes = ExpectedStream(*source, field, -5);
        EXPECT_EQ(Load(*target, bytes), static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(target->SMTPFrom(), "");
        EXPECT_EQ(target->ExceptionsFilters().Count(), 0);
        EXPECT_EQ(target->TextsCollection(), "Marker");
    }
}

TEST_F(OptionsStream, AnEnumerationOutOfRangeKeepsTheValueAndWarns)
{
    const auto source = MakeOptions(&FStores);
    SetEverything(*source);
    source->SetTextsCollection("Marker");
    static constexpr struct {
        const char* field;
        std::uint8_t value;
        bool (*kept)(const TVexlorModuleOptions&);  // the value before the load
    } kCases[] = {
        {"ForegroundTab", 6, [](const TVexlorModuleOptions& o) { return o.ForegroundTab() == ftGeneral; }},
        {"TerminateBtnOperation", 3,
         [](const TVexlorModuleOptions& o) { return o.TerminateBtnOperation() == tbRestart; }},
        {"EMailSendMode", 0xFF, [](const TVexlorModuleOptions& o) { return o.EMailSendMode() == esmNoSend; }},
        {"WebSendMode", 7, [](const TVexlorModuleOptions& o) { return o.WebSendMode() == wsmNoSend; }},
        {"AutoCrashOperation", 3, [](const TVexlorModuleOptions& o) { return o.AutoCrashOperation() == tbRestart; }},
        {"ExceptionDialogType", 4,
         [](const TVexlorModuleOptions& o) { return o.ExceptionDialogType() == edtMSClassic; }},
        // A new filter's values are those of an empty record.
        {"ExceptionType", 3,
         [](const TVexlorModuleOptions& o) { return o.ExceptionsFilters().Items(1)->ExceptionType == fetAll; }},
        {"DialogType", 5,
         [](const TVexlorModuleOptions& o) { return o.ExceptionsFilters().Items(1)->DialogType == fdtNone; }},
        {"HandlerType", 3,
         [](const TVexlorModuleOptions& o) { return o.ExceptionsFilters().Items(1)->HandlerType == fhtNone; }},
        {"ActionType", 3,
         [](const TVexlorModuleOptions& o) { return o.ExceptionsFilters().Items(1)->ActionType == fatNone; }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.field);
        DebugLines lines;
        const auto target = MakeOptions(&FStores);
        const std::string bytes = ExpectedStream(*source, c.field, c.value);
        EXPECT_EQ(Load(*target, bytes), static_cast<std::int64_t>(bytes.size()));
        EXPECT_TRUE(c.kept(*target));
        EXPECT_EQ(DebugLines::Count(c.field),
                  std::string(c.field).ends_with("Type") && std::string(c.field) != "ExceptionDialogType"
                      ? 2  // both filters
                      : 1);
        EXPECT_EQ(target->TextsCollection(), "Marker");
    }
}

// The setter keeps at least one report; a stream holding 0 means the same.
TEST_F(OptionsStream, ErrorsNumberToSaveZeroLoadsAsOne)
{
    const auto source = MakeOptions(&FStores);
    static constexpr struct {
        std::int32_t stored;
        std::int32_t loaded;
    } kCases[] = {
        {0, 1},
        {-1, -1},  // keeps every report
        {1, 1},
        {500, 500},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.stored);
        const auto target = MakeOptions(&FStores);
        const std::string bytes = ExpectedStream(*source, "ErrorsNumberToSave", c.stored);
        EXPECT_EQ(Load(*target, bytes), static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(target->ErrorsNumberToSave(), c.loaded);
    }
}

class OptionsFile : public OptionsStream {
protected:
    void SetUp() override
    {
        OptionsStream::SetUp();
        FFile = test::CaseFolder() + "\\options.vlo";
    }
    std::string FFile;
};

TEST_F(OptionsFile, ReadsWhatWasSavedWhateverVersionTheGlobalHolds)
{
    const auto source = MakeOptions(&FStores);
    SetEverything(*source);
    std::ofstream(FFile, std::ios::binary) << std::string(100000, 'x');  // a longer file before
    source->SaveToFile(FFile);

    // A data block of an old module was read last.
    LastVexlorVersion = 450;
    const auto target = MakeOptions(&FStores);
    FStores = 0;
    target->LoadFromFile(FFile);
    EXPECT_EQ(LastVexlorVersion, 450);
    EXPECT_EQ(FStores, 1);
    EXPECT_EQ(ExpectedStream(*target), ExpectedStream(*source));

    rtl::TFileStream file(FFile, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    EXPECT_EQ(file.Size(), static_cast<std::int64_t>(Save(*source).size())) << "not truncated";
}

TEST_F(OptionsFile, MissingAndShortFilesRaise)
{
    const auto target = MakeOptions(&FStores);
    EXPECT_THROW(target->LoadFromFile(FFile + ".missing"), rtl::EFOpenError);
    std::ofstream(FFile, std::ios::binary) << std::string("\x01\x00", 2);
    EXPECT_THROW(target->LoadFromFile(FFile), rtl::EReadError);
    EXPECT_EQ(LastVexlorVersion, VexlorLogCurrentVersion);
    EXPECT_THROW(target->SaveToFile(test::CaseFolder() + "\\no folder\\options.vlo"), rtl::EFCreateError);
}

}  // namespace
}  // namespace crash
