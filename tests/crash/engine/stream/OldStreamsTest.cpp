// Streams of older library versions: one per version boundary from a small
// writer of the test's own, and hand-made streams of versions 421 and 5999.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "crash/engine/EConsts.h"
#include "crash/engine/ELang.h"
#include "crash/engine/EOptions.h"
#include "rtl/Streams.h"
#include "tests/crash/engine/options/CountingOptions.h"
#include "tests/crash/engine/stream/OldStreamWriter.h"
#include "tests/crash/engine/stream/StreamTestSupport.h"

namespace crash {
namespace {

using test::MakeOptions;
using test::StoredText;
using test::StreamBytes;
using test::TextStored;
using test::WriteOld;
using test::WriteTexts;

class OldStreams : public ::testing::Test {
protected:
    void TearDown() override { LastVexlorVersion = VexlorLogCurrentVersion; }
    std::int64_t Load(TVexlorModuleOptions& o, const std::string& bytes, std::uint16_t version)
    {
        LastVexlorVersion = version;
        rtl::TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        o.LoadFromStream(stream);
        return stream.Position();
    }
    int FStores = 0;
};

TEST_F(OldStreams, EveryVersionBoundaryReadsItsOwnLayout)
{
    static constexpr std::uint16_t kVersions[] = {400, 401, 402, 403, 419,  420,  421, 422,
                                                  449, 450, 499, 500, 5999, 6000, 6101};
    for (const std::uint16_t v : kVersions) {
        SCOPED_TRACE(v);
        const auto o = MakeOptions(&FStores);
        const std::string bytes = WriteOld(v);
        ASSERT_EQ(Load(*o, bytes, v), static_cast<std::int64_t>(bytes.size())) << "the whole stream, no more";

        EXPECT_TRUE(o->ActivateLog());
        EXPECT_EQ(o->LogOptions(), (TLogOptions{loNoDuplicateErrors, loSaveAssemblerAndCPUSections}));
        EXPECT_EQ(o->SaveLogFile(), v <= 400);
        EXPECT_EQ(o->ForegroundTab(), v <= 400 ? ftGeneral : v < 6000 ? ftCPU : ftProcesses);
        EXPECT_EQ(o->ExceptionDialogOptions().Contains(edoUseVexlorLogLookAndFeel), v > 402 && v < 500);
        EXPECT_EQ(o->FreezeActivate(), v >= 420);
        EXPECT_EQ(o->FreezeTimeout(), v < 420 ? 60 : 45);
        EXPECT_EQ(o->SMTPFrom(), v < 450 ? std::string(kDefaultSMTPFrom) : "from@example.org");
        EXPECT_EQ(o->SMTPHost(), v < 420 ? "" : "smtp.example.org");
        EXPECT_EQ(o->SMTPPort(), v < 450 ? 25 : 2525);
        EXPECT_EQ(o->SMTPUserID(), v <= 420 ? "" : "uid");
        EXPECT_EQ(o->TerminateBtnOperation(), v < 6000 ? tbNone : tbTerminate);
        EXPECT_EQ(o->ErrorsNumberToShowTerminateBtn(), 8);
        EXPECT_EQ(o->EMailSendMode(), v < 420 ? esmEmailClient : v < 450 ? esmSMTPClient : esmSMTPServer);
        EXPECT_EQ(o->ExceptionDialogType(), v < 500 ? edtNone : v < 6000 ? edtMSClassic : edtMessageBox);
        EXPECT_EQ(o->OutputPath(), "C:\\out");

        const TCommonSendOptions defaults{sndShowSendDialog, sndSendScreenshot, sndSendLastHTMLPage};
        const TCommonSendOptions send =
            v < 450    ? defaults
            : v < 500  ? TCommonSendOptions{sndShowSendDialog, sndSendEntireLog, sndSendLastHTMLPage}
            : v < 6000 ? TCommonSendOptions{sndShowSendDialog}
                       : TCommonSendOptions{sndShowSendDialog, sndAddComputerNameInFileName};
        EXPECT_EQ(o->CommonSendOptions(), send);
        const TCallStackOptions stack =
            v < 500    ? TCallStackOptions{csoShowDLLs, csoShowBPLs, csoShowBorlandThreads, csoShowWindowsThreads}
            : v < 6000 ? TCallStackOptions{csoShowDLLs, csoDoNotStoreProcNames}
                       : TCallStackOptions{csoShowDLLs};
        EXPECT_EQ(o->WebSendMode(), v < 500 ? wsmNoSend : wsmHTTP);
        EXPECT_EQ(o->CallStackOptions(), stack);
        if (v >= 500) {
            const TBehaviourOptions behaviour =
                v < 6000 ? TBehaviourOptions{boPauseBorlandThreads, boDoNotPauseMainThread}
                         : TBehaviourOptions{boPauseBorlandThreads, boDoNotPauseMainThread, boCatchHandledExceptions};
            EXPECT_EQ(o->BehaviourOptions(), behaviour);
            EXPECT_EQ(o->AutoCrashMinutes(), 4);
        }
        EXPECT_EQ(o->LeaksOptions().Contains(loCatchLeaks), v >= 6000);
        EXPECT_EQ(o->ProxyPort(), v < 6000 ? 8080 : 3128);
        EXPECT_EQ(o->ZipPassword(), v < 6000 ? "" : "zip");

        ASSERT_EQ(o->ExceptionsFilters().Count(), 1);
        const TVexlorExceptionFilter& f = *o->ExceptionsFilters().Items(0);
        EXPECT_EQ(f.ExceptionClassName, "EClass");
        EXPECT_EQ(f.Active, v < 6000);
        EXPECT_EQ(f.ExceptionType, v < 6000 ? fetUnhandled : fetHandled);
        EXPECT_EQ(f.DialogType, v < 6000 ? fdtNone : fdtMSClassic);
        EXPECT_EQ(o->EMailMessage(), "mail body");

        for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
            const auto type = static_cast<TMessageType>(i);
            if (type == mtException_AntiFreeze && v >= 420 && v < 6000) continue;
            EXPECT_EQ(o->GetCustomizedTexts(type), TextStored(type, v) ? StoredText(i) : std::string(EVals[i]))
                << MessageTypeName(type);
        }
        EXPECT_EQ(o->GetCustomizedTexts(mtException_AntiFreeze), v < 420    ? std::string(EVals[mtException_AntiFreeze])
                                                                 : v < 6000 ? "Зависло"
                                                                            : StoredText(mtException_AntiFreeze));
        EXPECT_EQ(o->TextsCollection(), v < 6000 ? "English" : "Collection");
    }
}

TEST_F(OldStreams, Version421ByHand)
{
    StreamBytes b;
    b.U8(0)
        .U8(1)
        .U8(0x04)  // ActivateLog, ActivateHandle, LogOptions {loDeleteLogAtVersionChange}
        .U8(0)     // dialog byte, inverted: 0 means "show"
        .U8(0)     // AppendLogs
        .U8(1)
        .U8(3)  // SaveLogFile, ForegroundTab 3 = the CPU tab of its time
        .U8(1)  // look and feel
        .U8(1)
        .I32(5000)                // FreezeActivate, FreezeTimeout in milliseconds
        .Str("")                  // no hang message
        .Str("mail.example.org")  // SMTPHost
        .Str("user")
        .Str("secret")  // SMTPUserID, SMTPPassword
        .U8(tbRestart)
        .U8(1)  // TerminateBtnOperation; its switch on
        .I32(12)
        .I32(2)
        .Str("support@example.org")
        .Str("Сбой программы")
        .U8(1)                                    // "send": the SMTP client, since a host is set
        .Raw(std::string("\x81\x00\x00\x80", 4))  // ShowOptions, bits 0, 7 and 31
        .U8(0xAA)                                 // ignored
        .Str("D:\\Logs")
        .I32(2)
        .Str("EConvertError")
        .Str("Неверное число")
        .Str("EAbort")
        .Str("")
        .Str("Mail text");
    WriteTexts(b, 421);

    const auto o = MakeOptions(&FStores);
    o->SetCustomizedTexts(mtDialog_CPUCaption, "own CPU caption");  // not in a 421 stream
    const std::string bytes = b.Get();
    ASSERT_EQ(Load(*o, bytes, 421), static_cast<std::int64_t>(bytes.size()));

    EXPECT_FALSE(o->ActivateLog());
    EXPECT_EQ(o->LogOptions(), TLogOptions{loDeleteLogAtVersionChange});
    EXPECT_EQ(o->ExceptionDialogType(), edtMSClassic);
    EXPECT_EQ(o->ForegroundTab(), ftCPU);
    EXPECT_TRUE(o->ExceptionDialogOptions().Contains(edoUseVexlorLogLookAndFeel));
    EXPECT_EQ(o->FreezeTimeout(), 5);
    EXPECT_EQ(o->SMTPHost(), "mail.example.org");
    EXPECT_EQ(o->SMTPFrom(), kDefaultSMTPFrom);
    EXPECT_EQ(o->SMTPPassword(), "secret");
    EXPECT_EQ(o->TerminateBtnOperation(), tbRestart);
    EXPECT_EQ(o->ErrorsNumberToSave(), 12);
    EXPECT_EQ(o->EMailSubject(), "Сбой программы");
    EXPECT_EQ(o->EMailSendMode(), esmSMTPClient);
    // Worked out by hand: the old bits 0 and 7 land on 0 and 10, bit 31 is
    // pushed past the end, and the inserted items are all shown.
    TShowOptions show;
    for (int bit : {0, 4, 5, 9, 10, 12, 13, 14, 15, 22, 23, 24, 25, 30, 31, 32, 33, 34, 35, 41, 42, 43, 44, 45, 46, 47})
        show.Include(static_cast<TShowOption>(bit));
    EXPECT_EQ(o->ShowOptions(), show);
    EXPECT_EQ(o->OutputPath(), "D:\\Logs");
    ASSERT_EQ(o->ExceptionsFilters().Count(), 2);
    EXPECT_EQ(*o->ExceptionsFilters().Items(0),
              (TVexlorExceptionFilter{true, "EConvertError", "Неверное число", fetUnhandled, fdtMessageBox, fhtNone,
                                      fatNone}));
    EXPECT_EQ(o->ExceptionsFilters().Items(1)->DialogType, fdtNone);
    EXPECT_EQ(o->EMailMessage(), "Mail text");
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_RestartButtonCaption), StoredText(mtDialog_RestartButtonCaption));
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_CPUCaption), "own CPU caption");
    EXPECT_EQ(o->GetCustomizedTexts(mtException_AntiFreeze), EVals[mtException_AntiFreeze]);
}

TEST_F(OldStreams, Version5999ByHand)
{
    StreamBytes b;
    b.U8(0)
        .U8(1)
        .U8(0x02)  // ActivateLog, ActivateHandle, LogOptions {loAppendReproduceText}
        .U8(1)     // AppendLogs
        .U8(1)
        .U8(ftModules)  // SaveLogFile, ForegroundTab
        .U8(0)
        .I32(90)                   // FreezeActivate, FreezeTimeout in seconds
        .Str("Программа зависла")  // hang message
        .Str("me@example.org")
        .Str("smtp.example.org")
        .U16(587)
        .Str("user")
        .Str("secret")
        .U8(tbTerminate)
        .U8(0)  // TerminateBtnOperation, then its switch off
        .I32(32)
        .I32(3)
        .Str("a@example.org")
        .Str("Subject")
        .U8(esmSMTPClient)
        .Raw(std::string("\xFF\x00\x00\x00\x81", 5))  // ShowOptions, bits 0-7, 32 and 39
        .Str("")
        .U8(wsmFTP)
        .Str("ftp://example.org")
        .Str("ftpuser")
        .Str("ftppass")
        .I32(21)
        .Str("log.txt")
        .U16(0x0210)  // sndSendScreenshot, sndAddComputerNameInFileName
        .U8(0x41)     // ExceptionDialogOptions, one byte
        .I32(10)
        .Str("http://example.org/help")
        .Str("<p/>")
        .U8(0x03)  // CallStackOptions
        .U8(0x81)  // BehaviourOptions, one byte
        .U8(tbNone)
        .I32(20)
        .I32(2)
        .I32(1)
        .Str("EOutOfMemory")
        .Str("Мало памяти")
        .Str("");
    WriteTexts(b, 5999);

    const auto o = MakeOptions(&FStores);
    o->SetCustomizedTexts(mtDialog_OKButtonCaption, "Свой OK");
    o->SetTextsCollection("Own");
    const std::string bytes = b.Get();
    ASSERT_EQ(Load(*o, bytes, 5999), static_cast<std::int64_t>(bytes.size()));

    EXPECT_EQ(o->ForegroundTab(), ftModules);
    EXPECT_EQ(o->FreezeTimeout(), 90);
    EXPECT_EQ(o->SMTPPort(), 587);
    EXPECT_EQ(o->TerminateBtnOperation(), tbNone);
    EXPECT_EQ(o->EMailSendMode(), esmSMTPClient);
    TShowOptions show;
    for (int bit : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 22, 23, 24, 25, 33, 34, 35, 40, 46, 47})
        show.Include(static_cast<TShowOption>(bit));
    EXPECT_EQ(o->ShowOptions(), show);
    EXPECT_EQ(o->WebSendMode(), wsmFTP);
    EXPECT_EQ(o->WebPort(), 21);
    EXPECT_EQ(o->CommonSendOptions(), TCommonSendOptions{sndSendScreenshot});
    EXPECT_EQ(o->ExceptionDialogOptions(),
              (TExceptionDialogOptions{edoSendErrorReportChecked, edoUseVexlorLogLookAndFeel}));
    EXPECT_EQ(o->CallStackOptions(), (TCallStackOptions{csoShowDLLs, csoShowBPLs, csoDoNotStoreProcNames}));
    EXPECT_EQ(o->BehaviourOptions(), (TBehaviourOptions{boPauseBorlandThreads, boCallRTLExceptionEvent}));
    EXPECT_EQ(o->AutoCrashOperation(), tbNone);
    EXPECT_EQ(o->ExceptionDialogType(), edtMSClassic);
    ASSERT_EQ(o->ExceptionsFilters().Count(), 1);
    EXPECT_EQ(o->ExceptionsFilters().Items(0)->DialogType, fdtMessageBox);
    EXPECT_EQ(o->GetCustomizedTexts(mtException_AntiFreeze), "Программа зависла");
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_OKButtonCaption), "Свой OK");
    EXPECT_EQ(o->GetCustomizedTexts(mtDialog_TerminateButtonCaption), EVals[mtDialog_TerminateButtonCaption]);
    EXPECT_EQ(o->GetCustomizedTexts(mtLog_CmpTotalMemory), StoredText(mtLog_CmpTotalMemory));
    EXPECT_EQ(o->GetCustomizedTexts(mtLog_CmpPrinter), StoredText(mtLog_CmpPrinter));
    EXPECT_EQ(o->GetCustomizedTexts(mtErrorMsgCaption), EVals[mtErrorMsgCaption]);
    EXPECT_EQ(o->TextsCollection(), "Own");
}

}  // namespace
}  // namespace crash
