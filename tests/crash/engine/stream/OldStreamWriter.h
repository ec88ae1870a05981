// A writer of options streams as older library versions wrote them, field by
// field, for the tests of the stream reader and of the data blocks that carry
// such streams.
#pragma once
#include <algorithm>
#include <initializer_list>
#include <string>

#include "crash/engine/EOptions.h"
#include "tests/crash/engine/stream/StreamTestSupport.h"

namespace crash::test {

// The version from which each text is in the stream, written out from the
// library's release history (every text not named here is in all of them).
struct TextSince {
    std::uint16_t version;
    std::initializer_list<TMessageType> texts;
};
// clang-format off
inline const TextSince kTextsSince[] = {
    {420, {mtDialog_DetailsButtonCaption}},
    {421, {mtDialog_RestartButtonCaption}},
    {450, {mtDialog_ModulesCaption, mtDialog_ModulesHeader, mtDialog_CPUCaption, mtDialog_CPUHeader,
           mtDialog_SendMessage, mtDialog_ScreenshotMessage, mtDialog_CopyMessage, mtLog_ExcModuleName,
           mtLog_ExcModuleVersion, mtLog_CmpTotalMemory, mtLog_OSUpdate, mtSendDialog_Caption, mtSendDialog_Message,
           mtSendDialog_Resolving, mtSendDialog_Connecting, mtSendDialog_Connected, mtSendDialog_Sending,
           mtReproduceDialog_Caption, mtReproduceDialog_Request, mtReproduceDialog_OKButtonCaption, mtModules_Handle,
           mtModules_Name, mtModules_Description, mtModules_Version, mtModules_Size, mtModules_Path, mtCPU_Registers,
           mtCPU_Stack, mtCPU_MemoryDump}},
    {500, {mtDialog_SupportMessage, mtLog_AppCompilationDate, mtLog_CmpSystemUpTime, mtLog_CmpProcessor,
           mtLog_CmpDisplayMode, mtLog_CmpDisplayDPI, mtLog_CmpVideoCard, mtLog_CmpPrinter, mtLog_NetHeader,
           mtLog_NetIP, mtLog_NetSubmask, mtLog_NetGateway, mtLog_NetDNS1, mtLog_NetDNS2, mtLog_NetDHCP,
           mtLog_CustInfoHeader, mtCallStack_MainThread, mtCallStack_ExceptionThread, mtCallStack_RunningThread,
           mtCallStack_CallingThread, mtCallStack_ThreadID, mtCallStack_ThreadPriority, mtCallStack_ThreadClass,
           mtModules_LastModified, mtSend_SuccessMsg, mtSend_FailureMsg}},
    {6000, {mtErrorMsgCaption, mtDialog_ProcessesCaption, mtDialog_ProcessesHeader, mtDialog_AsmCaption,
            mtDialog_AsmHeader, mtDialog_CustomButtonCaption, mtMSDialog_ErrorMsgCaption, mtMSDialog_RestartCaption,
            mtMSDialog_TerminateCaption, mtMSDialog_PleaseCaption, mtMSDialog_DescriptionCaption,
            mtMSDialog_SeeDetailsCaption, mtMSDialog_SeeClickCaption, mtMSDialog_HowToReproduceCaption,
            mtMSDialog_EmailCaption, mtMSDialog_SendButtonCaption, mtMSDialog_NoSendButtonCaption,
            mtLog_AppParameters, mtLog_AppUpTime, mtLog_ExcID, mtLog_ExcCount, mtLog_ExcStatus, mtLog_ExcNote,
            mtLog_UserHeader, mtLog_UserID, mtLog_UserName, mtLog_UserEmail, mtLog_UserCompany, mtLog_UserPrivileges,
            mtLog_OSCharset, mtCallStack_LeakCaption, mtCallStack_LeakData, mtCallStack_LeakType,
            mtCallStack_LeakSize, mtCallStack_LeakCount, mtSendDialog_Login, mtSendDialog_Sent,
            mtSendDialog_SelectProject, mtSendDialog_Searching, mtSendDialog_Modifying, mtSendDialog_Disconnecting,
            mtSendDialog_Disconnected, mtProcesses_ID, mtProcesses_Name, mtProcesses_Description,
            mtProcesses_Version, mtProcesses_Memory, mtProcesses_Priority, mtProcesses_Threads, mtProcesses_Path,
            mtSend_BugClosedMsg, mtSend_UnknownErrorMsg, mtSend_InvalidLoginMsg, mtSend_InvalidSearchMsg,
            mtSend_InvalidSelectionMsg, mtSend_InvalidInsertMsg, mtSend_InvalidModifyMsg, mtException_LeakMultiFree,
            mtException_LeakMemoryOverrun, mtException_AntiFreeze, mtInvalidEmailMsg}},
};
// clang-format on

inline bool TextStored(TMessageType type, std::uint16_t version)
{
    // The 500 series left these two captions out.
    if ((type == mtDialog_OKButtonCaption || type == mtDialog_TerminateButtonCaption) && version >= 500 &&
        version < 6000)
        return false;
    for (const TextSince& since : kTextsSince)
        if (std::find(since.texts.begin(), since.texts.end(), type) != since.texts.end())
            return version >= since.version;
    return true;
}

inline std::string StoredText(std::size_t i)
{
    return "T" + std::to_string(i);
}

// The texts part of a stream of version, each text "T<ordinal>".
inline void WriteTexts(StreamBytes& b, std::uint16_t version)
{
    for (std::size_t i = 0; i < kMessageTypeCount; ++i) {
        const auto type = static_cast<TMessageType>(i);
        if (version < 6000 && type == mtLog_CmpTotalMemory) b.Str("dropped");
        if (TextStored(type, version)) b.Str(StoredText(i));
    }
}

// A stream of an older version, field by field as that version wrote it.
inline std::string WriteOld(std::uint16_t v)
{
    StreamBytes b;
    b.U8(1).U8(0).U8(0x21);                           // ActivateLog, ActivateHandle, LogOptions {0, 5}
    if (v < 500) b.U8(v < 450 ? 1 : 0);               // "no dialog" (inverted before 450)
    b.U8(1);                                          // AppendLogs
    if (v >= 450 && v < 500) b.U8(1).U8(0).U8(1);     // entire log on, screenshot off, send dialog on
    if (v > 400) b.U8(0).U8(3);                       // SaveLogFile, ForegroundTab 3
    if (v > 402 && v < 500) b.U8(1);                  // look and feel on
    if (v >= 420) b.U8(1).I32(v < 422 ? 45000 : 45);  // FreezeActivate, FreezeTimeout
    if (v >= 420 && v < 6000) b.Str("Зависло");       // hang message
    if (v >= 450) b.Str("from@example.org");
    if (v >= 420) b.Str("smtp.example.org");
    if (v >= 450) b.U16(2525);
    if (v > 420) b.Str("uid").Str("pwd").U8(tbTerminate);
    if (v < 6000) b.U8(0);  // no terminate button
    b.I32(7).I32(8).Str("to@example.org").Str("subject");
    b.U8(v < 450 ? 1 : esmSMTPServer);
    const int showBytes = v < 500 ? 4 : v < 6000 ? 5 : 6;
    for (int i = 0; i < showBytes; ++i) b.U8(0);
    if (v < 450) b.U8(0x55);  // ignored
    b.Str("C:\\out");
    if (v >= 500) {
        b.U8(wsmHTTP).Str("http://example.org").Str("wuid").Str("wpwd").I32(80).Str("files");
        b.U16(0x0201);  // sndShowSendDialog, sndAddComputerNameInFileName
        if (v < 6000)
            b.U8(0x01);
        else
            b.U16(0x0201);  // ExceptionDialogOptions
        b.I32(15).Str("http://example.org/support").Str("<html/>");
        b.U8(0x01);  // csoShowDLLs
        if (v < 6000)
            b.U8(0x03);
        else
            b.U16(0x0103).U8(0x01);  // BehaviourOptions (+ LeaksOptions)
        b.U8(tbTerminate).I32(3).I32(4);
    }
    if (v >= 6000) {
        b.U8(0x02).U8(edtMessageBox).Str("proxy").Str("puid").Str("ppwd").U16(3128);
        for (const char* s : {"tu", "tp", "ta", "tpr", "tc", "tt", "zip"}) b.Str(s);
    }
    b.I32(1);
    if (v >= 6000)
        b.U8(0).Str("EClass").Str("").U8(fetHandled).U8(fdtMSClassic).U8(fhtRTL).U8(fatRestart);
    else
        b.Str("EClass").Str("");
    b.Str("mail body");
    WriteTexts(b, v);
    if (v >= 6000) b.Str("Collection");
    return b.Get();
}

}  // namespace crash::test
