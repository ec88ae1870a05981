// The options stream: the writer of the current version, the reader of every
// version from 400 on, and the options file.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "crash/engine/core/ECoreInternal.h"
#include "crash/engine/EConsts.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/Streams.h"

namespace crash {

std::uint16_t LastVexlorVersion = VexlorLogCurrentVersion;

namespace {

// Strings are scrambled so that passwords are not plain text in a module's
// resources; the same XOR undoes it.
constexpr std::uint8_t kStringMask = 0x4B;

// ---- Writing ---------------------------------------------------------------------

class StreamWriter {
public:
    explicit StreamWriter(rtl::TStream& stream) : FStream(stream) {}

    void Byte(std::uint8_t value) { FStream.WriteBuffer(&value, 1); }
    void Bool(bool value) { Byte(value ? 1 : 0); }
    void Int(std::int32_t value) { Raw(&value, 4); }
    void Word(std::uint16_t value) { Raw(&value, 2); }
    template <class Set>
    void Bits(const Set& set)
    {
        const auto bytes = set.ToBytes();
        FStream.WriteBuffer(bytes.data(), bytes.size());
    }
    void String(std::string_view text)
    {
        // A one-line text that ends in its line break is stored without it:
        // the editors of old library versions added that break themselves.
        if (text.size() > 1 && text.find("\r\n") == text.size() - 2) text.remove_suffix(2);
        std::string scrambled(text);
        for (char& c : scrambled) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ kStringMask);
        Int(static_cast<std::int32_t>(scrambled.size()));
        FStream.WriteBuffer(scrambled.data(), scrambled.size());
    }

private:
    void Raw(const void* data, std::size_t count) { FStream.WriteBuffer(data, count); }  // little-endian host
    rtl::TStream& FStream;
};

// ---- Reading ---------------------------------------------------------------------

class StreamReader {
public:
    explicit StreamReader(rtl::TStream& stream) : FStream(stream) {}

    std::uint8_t Byte()
    {
        std::uint8_t value = 0;
        FStream.ReadBuffer(&value, 1);
        return value;
    }
    bool Bool() { return Byte() != 0; }
    std::int32_t Int()
    {
        std::int32_t value = 0;
        FStream.ReadBuffer(&value, 4);
        return value;
    }
    std::uint16_t Word()
    {
        std::uint16_t value = 0;
        FStream.ReadBuffer(&value, 2);
        return value;
    }
    // The first count bytes of the set's stored form (older streams stored
    // narrower sets); the rest stay 0.
    template <class Set>
    Set Bits(std::size_t count = Set::kByteCount)
    {
        typename Set::Bytes bytes{};
        FStream.ReadBuffer(bytes.data(), count);
        return Set::FromBytes(bytes);
    }
    std::string String()
    {
        const std::int32_t length = Int();
        if (length <= 0) return {};
        // A damaged length must not make us allocate what the stream cannot hold.
        Need(static_cast<std::size_t>(length));
        std::string text(static_cast<std::size_t>(length), '\0');
        FStream.ReadBuffer(text.data(), text.size());
        for (char& c : text) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ kStringMask);
        return text;
    }
    // Raises the read error unless count more bytes are left.
    void Need(std::uint64_t count)
    {
        if (static_cast<std::uint64_t>(FStream.Remaining()) < count) throw rtl::EReadError("Stream read error");
    }
    // An enumeration byte: a value past last keeps field and is reported.
    template <class E>
    void Enum(E& field, E last, const char* name)
    {
        const std::uint8_t value = Byte();
        if (value <= static_cast<std::uint8_t>(last)) {
            field = static_cast<E>(value);
            return;
        }
        SetLastVexlorLogError(eeLogError, std::string("The options stream holds the value ") + std::to_string(value) +
                                              " for " + name + ", which has no meaning; the option keeps its value.");
    }

private:
    rtl::TStream& FStream;
};

// ---- Versions ----------------------------------------------------------------------

// The first library version whose stream carries the text; the texts of
// version 400 carry 0.
constexpr std::uint16_t TextFirstVersion(TMessageType type) noexcept
{
    switch (type) {
    case mtDialog_DetailsButtonCaption: return 420;
    case mtDialog_RestartButtonCaption: return 421;

    case mtDialog_ModulesCaption:
    case mtDialog_ModulesHeader:
    case mtDialog_CPUCaption:
    case mtDialog_CPUHeader:
    case mtDialog_SendMessage:
    case mtDialog_ScreenshotMessage:
    case mtDialog_CopyMessage:
    case mtLog_ExcModuleName:
    case mtLog_ExcModuleVersion:
    case mtLog_CmpTotalMemory:
    case mtLog_OSUpdate: return 450;

    case mtDialog_SupportMessage:
    case mtLog_AppCompilationDate:
    case mtLog_CmpSystemUpTime:
    case mtLog_CmpProcessor:
    case mtLog_CmpDisplayMode:
    case mtLog_CmpDisplayDPI:
    case mtLog_CmpVideoCard:
    case mtLog_CmpPrinter:
    case mtLog_NetHeader:
    case mtLog_NetIP:
    case mtLog_NetSubmask:
    case mtLog_NetGateway:
    case mtLog_NetDNS1:
    case mtLog_NetDNS2:
    case mtLog_NetDHCP:
    case mtLog_CustInfoHeader:
    case mtCallStack_MainThread:
    case mtCallStack_ExceptionThread:
    case mtCallStack_RunningThread:
    case mtCallStack_CallingThread:
    case mtCallStack_ThreadID:
    case mtCallStack_ThreadPriority:
    case mtCallStack_ThreadClass:
    case mtModules_LastModified:
    case mtSend_SuccessMsg:
    case mtSend_FailureMsg: return 500;

    case mtErrorMsgCaption:
    case mtDialog_ProcessesCaption:
    case mtDialog_ProcessesHeader:
    case mtDialog_AsmCaption:
    case mtDialog_AsmHeader:
    case mtDialog_CustomButtonCaption:
    case mtMSDialog_ErrorMsgCaption:
    case mtMSDialog_RestartCaption:
    case mtMSDialog_TerminateCaption:
    case mtMSDialog_PleaseCaption:
    case mtMSDialog_DescriptionCaption:
    case mtMSDialog_SeeDetailsCaption:
    case mtMSDialog_SeeClickCaption:
    case mtMSDialog_HowToReproduceCaption:
    case mtMSDialog_EmailCaption:
    case mtMSDialog_SendButtonCaption:
    case mtMSDialog_NoSendButtonCaption:
    case mtLog_AppParameters:
    case mtLog_AppUpTime:
    case mtLog_ExcID:
    case mtLog_ExcCount:
    case mtLog_ExcStatus:
    case mtLog_ExcNote:
    case mtLog_UserHeader:
    case mtLog_UserID:
    case mtLog_UserName:
    case mtLog_UserEmail:
    case mtLog_UserCompany:
    case mtLog_UserPrivileges:
    case mtLog_OSCharset:
    case mtCallStack_LeakCaption:
    case mtCallStack_LeakData:
    case mtCallStack_LeakType:
    case mtCallStack_LeakSize:
    case mtCallStack_LeakCount:
    case mtSendDialog_Login:
    case mtSendDialog_Sent:
    case mtSendDialog_SelectProject:
    case mtSendDialog_Searching:
    case mtSendDialog_Modifying:
    case mtSendDialog_Disconnecting:
    case mtSendDialog_Disconnected:
    case mtProcesses_ID:
    case mtProcesses_Name:
    case mtProcesses_Description:
    case mtProcesses_Version:
    case mtProcesses_Memory:
    case mtProcesses_Priority:
    case mtProcesses_Threads:
    case mtProcesses_Path:
    case mtSend_BugClosedMsg:
    case mtSend_UnknownErrorMsg:
    case mtSend_InvalidLoginMsg:
    case mtSend_InvalidSearchMsg:
    case mtSend_InvalidSelectionMsg:
    case mtSend_InvalidInsertMsg:
    case mtSend_InvalidModifyMsg:
    case mtException_LeakMultiFree:
    case mtException_LeakMemoryOverrun:
    case mtException_AntiFreeze:
    case mtInvalidEmailMsg: return 6000;

    default:
        // The send-progress dialog and every table after it came with 450.
        return type >= mtSendDialog_Caption ? 450 : 0;
    }
}

constexpr bool TextInStream(TMessageType type, std::uint16_t version) noexcept
{
    if (version < TextFirstVersion(type)) return false;
    // The 500 series dropped these two captions for a while.
    if ((type == mtDialog_OKButtonCaption || type == mtDialog_TerminateButtonCaption) && version >= 500 &&
        version < 6000)
        return false;
    return true;
}

// Old streams stored the report-header items before several were added in
// between: the stored bits as a text of digits, new items inserted as "1"
// (shown) at their places, the first 48 digits read back.
TShowOptions RemapShowOptions(const std::uint8_t* bytes, std::size_t count, std::uint16_t version)
{
    std::string digits(kShowOptionCount, '0');
    for (std::size_t bit = 0; bit < count * 8 && bit < kShowOptionCount; ++bit)
        if ((bytes[bit / 8] >> (bit % 8)) & 1u) digits[bit] = '1';
    struct Insertion {
        std::size_t FPosition;  // 1-based, on the text as the insertions before left it
        std::string_view FDigits;
    };
    static constexpr Insertion kBefore500[] = {{5, "11"},    {10, "1"},      {13, "1111"},
                                               {23, "1111"}, {31, "111111"}, {42, "1111111"}};
    static constexpr Insertion kBefore6000[] = {{6, "1"},    {10, "1"}, {13, "1111"}, {23, "1111"},
                                                {34, "111"}, {41, "1"}, {48, "1"}};
    auto apply = [&digits](const auto& insertions) {
        for (const Insertion& i : insertions) digits.insert(std::min(i.FPosition - 1, digits.size()), i.FDigits);
    };
    if (version < 500)
        apply(kBefore500);
    else
        apply(kBefore6000);
    TShowOptions result;
    for (std::size_t bit = 0; bit < kShowOptionCount; ++bit)
        if (digits[bit] == '1') result.Include(static_cast<TShowOption>(bit));
    return result;
}

}  // namespace

void TVexlorModuleOptions::SaveToStream(rtl::TStream& stream) const
{
    StreamWriter w(stream);
    w.Bool(FActivateLog);
    w.Bool(FActivateHandle);
    w.Bits(FLogOptions);
    w.Bool(FAppendLogs);
    w.Bool(FSaveLogFile);
    w.Byte(FForegroundTab);
    w.Bool(FFreezeActivate);
    w.Int(FFreezeTimeout);
    w.String(FSMTPFrom);
    w.String(FSMTPHost);
    w.Word(FSMTPPort);
    w.String(FSMTPUserID);
    w.String(FSMTPPassword);
    w.Byte(FTerminateBtnOperation);
    w.Int(FErrorsNumberToSave);
    w.Int(FErrorsNumberToShowTerminateBtn);
    w.String(FEMailAddresses);
    w.String(FEMailSubject);
    w.Byte(FEMailSendMode);
    w.Bits(FShowOptions);
    w.String(FOutputPath);
    w.Byte(FWebSendMode);
    w.String(FWebURL);
    w.String(FWebUserID);
    w.String(FWebPassword);
    w.Int(FWebPort);
    w.String(FAttachedFiles);
    w.Bits(FCommonSendOptions);
    w.Bits(FExceptionDialogOptions);
    w.Int(FAutoCloseDialogSecs);
    w.String(FSupportURL);
    w.String(FHTMLLayout);
    w.Bits(FCallStackOptions);
    w.Bits(FBehaviourOptions);
    w.Bits(FLeaksOptions);
    w.Byte(FAutoCrashOperation);
    w.Int(FAutoCrashNumber);
    w.Int(FAutoCrashMinutes);
    w.Bits(FCompiledFileOptions);
    w.Byte(FExceptionDialogType);
    w.String(FProxyURL);
    w.String(FProxyUserID);
    w.String(FProxyPassword);
    w.Word(FProxyPort);
    w.String(FTrakerUserID);
    w.String(FTrakerPassword);
    w.String(FTrakerAssignTo);
    w.String(FTrakerProject);
    w.String(FTrakerCategory);
    w.String(FTrakerTrialID);
    w.String(FZipPassword);
    const auto& filters = *FExceptionsFilters;
    w.Int(filters.Count());
    for (int i = 0; i < filters.Count(); ++i) {
        const TVexlorExceptionFilter& f = *filters.Items(i);
        w.Bool(f.Active);
        w.String(f.ExceptionClassName);
        w.String(f.ExceptionMessage);
        w.Byte(f.ExceptionType);
        w.Byte(f.DialogType);
        w.Byte(f.HandlerType);
        w.Byte(f.ActionType);
    }
    w.String(FEMailMessage);
    for (const std::string& text : FCustomizedTexts) w.String(text);
    w.String(FTextsCollection);
}

void TVexlorModuleOptions::LoadFromStream(rtl::TStream& stream)
{
    const std::uint16_t v = LastVexlorVersion;
    RunBulkChange([this, &stream, v] {
        StreamReader r(stream);
        auto switchMember = [](auto& set, auto member, bool on) {
            if (on)
                set.Include(member);
            else
                set.Exclude(member);
        };

        FActivateLog = r.Bool();
        FActivateHandle = r.Bool();
        FLogOptions = r.Bits<TLogOptions>();
        if (v < 500) {
            bool dialog = r.Bool();
            if (v < 450) dialog = !dialog;
            if (!dialog) FExceptionDialogType = edtNone;
        }
        FAppendLogs = r.Bool();
        if (v >= 450 && v < 500) {
            switchMember(FCommonSendOptions, sndSendEntireLog, r.Bool());
            switchMember(FCommonSendOptions, sndSendScreenshot, r.Bool());
            switchMember(FCommonSendOptions, sndShowSendDialog, r.Bool());
        }
        if (v > 400) {
            FSaveLogFile = r.Bool();
            TForegroundType tab = FForegroundTab;
            r.Enum(tab, ftCPU, "ForegroundTab");
            // Before the processes and assembler tabs, ordinal 3 was the CPU tab.
            if (v < 6000 && tab == ftProcesses) tab = ftCPU;
            FForegroundTab = tab;
        }
        if (v > 402 && v < 500) switchMember(FExceptionDialogOptions, edoUseVexlorLogLookAndFeel, r.Bool());
        if (v >= 420) {
            FFreezeActivate = r.Bool();
            FFreezeTimeout = r.Int();
            if (v < 422) FFreezeTimeout /= 1000;  // then stored in milliseconds
        }
        std::string hangMessage;
        if (v >= 420 && v < 6000) hangMessage = r.String();
        if (v >= 450) FSMTPFrom = r.String();
        if (v >= 420) FSMTPHost = r.String();
        if (v >= 450) FSMTPPort = r.Word();
        if (v > 420) {
            FSMTPUserID = r.String();
            FSMTPPassword = r.String();
            r.Enum(FTerminateBtnOperation, tbRestart, "TerminateBtnOperation");
        }
        if (v < 6000 && r.Byte() == 0) FTerminateBtnOperation = tbNone;
        FErrorsNumberToSave = r.Int();
        // A log that keeps no report makes no sense; the setter stores 1 for 0,
        // and a stream holding 0 (from an older writer or by hand) means the same.
        if (FErrorsNumberToSave == 0) FErrorsNumberToSave = 1;
        FErrorsNumberToShowTerminateBtn = r.Int();
        FEMailAddresses = r.String();
        FEMailSubject = r.String();
        if (v < 450) {
            // Old streams knew only "send" or "do not send".
            if (r.Byte() != esmNoSend)
                FEMailSendMode = FSMTPHost.empty() ? esmEmailClient : esmSMTPClient;
            else
                FEMailSendMode = esmNoSend;
        } else {
            r.Enum(FEMailSendMode, esmSMTPServer, "EMailSendMode");
        }
        if (v < 6000) {
            std::uint8_t bytes[TShowOptions::kByteCount] = {};
            const std::size_t count = v < 500 ? 4 : 5;
            stream.ReadBuffer(bytes, count);
            FShowOptions = RemapShowOptions(bytes, count, v);
        } else {
            FShowOptions = r.Bits<TShowOptions>();
        }
        if (v < 450) r.Byte();  // a switch of its time that no longer exists
        FOutputPath = r.String();
        if (v >= 500) {
            r.Enum(FWebSendMode, wsmMantis, "WebSendMode");
            FWebURL = r.String();
            FWebUserID = r.String();
            FWebPassword = r.String();
            FWebPort = r.Int();
            FAttachedFiles = r.String();
            FCommonSendOptions = r.Bits<TCommonSendOptions>();
            if (v < 6000) FCommonSendOptions.Exclude(sndAddComputerNameInFileName);
            FExceptionDialogOptions =
                r.Bits<TExceptionDialogOptions>(v < 6000 ? 1 : TExceptionDialogOptions::kByteCount);
            FAutoCloseDialogSecs = r.Int();
            FSupportURL = r.String();
            FHTMLLayout = r.String();
            FCallStackOptions = r.Bits<TCallStackOptions>();
            if (v < 6000) FCallStackOptions.Include(csoDoNotStoreProcNames);
            if (v < 6000) {
                FBehaviourOptions = r.Bits<TBehaviourOptions>(1);
            } else {
                FBehaviourOptions = r.Bits<TBehaviourOptions>();
                FLeaksOptions = r.Bits<TLeaksOptions>();
            }
            r.Enum(FAutoCrashOperation, tbRestart, "AutoCrashOperation");
            FAutoCrashNumber = r.Int();
            FAutoCrashMinutes = r.Int();
        }
        if (v >= 6000) {
            FCompiledFileOptions = r.Bits<TCompiledFileOptions>();
            r.Enum(FExceptionDialogType, edtVexlorLog, "ExceptionDialogType");
            FProxyURL = r.String();
            FProxyUserID = r.String();
            FProxyPassword = r.String();
            FProxyPort = r.Word();
            FTrakerUserID = r.String();
            FTrakerPassword = r.String();
            FTrakerAssignTo = r.String();
            FTrakerProject = r.String();
            FTrakerCategory = r.String();
            FTrakerTrialID = r.String();
            FZipPassword = r.String();
        }

        FExceptionsFilters->Clear();
        const std::int32_t count = r.Int();
        if (count > 0) {
            // Every filter takes at least its two string lengths (and its five
            // bytes in the current form): a count the stream cannot hold is
            // refused before anything is made for it.
            r.Need(static_cast<std::uint64_t>(count) * (v < 6000 ? 8 : 13));
            for (std::int32_t i = 0; i < count; ++i) {
                TVexlorExceptionFilter f;
                if (v < 6000) {
                    f.Active = true;
                    f.ExceptionClassName = r.String();
                    f.ExceptionMessage = r.String();
                    f.ExceptionType = fetUnhandled;
                    f.DialogType = f.ExceptionMessage.empty() ? fdtNone : fdtMessageBox;
                    f.HandlerType = fhtNone;
                    f.ActionType = fatNone;
                } else {
                    f.Active = r.Bool();
                    f.ExceptionClassName = r.String();
                    f.ExceptionMessage = r.String();
                    r.Enum(f.ExceptionType, fetUnhandled, "ExceptionType");
                    r.Enum(f.DialogType, fdtVexlorLog, "DialogType");
                    r.Enum(f.HandlerType, fhtVexlorLog, "HandlerType");
                    r.Enum(f.ActionType, fatRestart, "ActionType");
                }
                FExceptionsFilters->Add(std::move(f));
            }
        }

        FEMailMessage = r.String();
        for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
            const auto type = static_cast<TMessageType>(i);
            if (v < 6000 && type == mtLog_CmpTotalMemory) r.String();  // a text of old versions, gone since
            if (TextInStream(type, v)) FCustomizedTexts[i] = r.String();
        }
        if (v >= 6000) FTextsCollection = r.String();
        if (!hangMessage.empty()) FCustomizedTexts[mtException_AntiFreeze] = std::move(hangMessage);
    });
}

void TVexlorModuleOptions::SaveToFile(const std::string& fileName) const
{
    rtl::TFileStream file(fileName, rtl::fmCreate);
    SaveToStream(file);
}

void TVexlorModuleOptions::LoadFromFile(const std::string& fileName)
{
    rtl::TFileStream file(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    // A file holds what SaveToFile wrote: the current version, whatever an
    // earlier data block left in the global.
    struct VersionScope {
        std::uint16_t FSaved = LastVexlorVersion;
        VersionScope() { LastVexlorVersion = VexlorLogCurrentVersion; }
        ~VersionScope() { LastVexlorVersion = FSaved; }
    } scope;
    LoadFromStream(file);
}

}  // namespace crash
