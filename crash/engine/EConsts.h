// Default texts of the customisable texts and the data tables kept with them:
// the labels of a texts editor, the report-item names and the variables offered
// in texts; and the version word of the options stream.
//
// Constant data: usable from any thread and zone. Nothing to release at the
// end: the tables refer to string literals.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "crash/engine/ETypes.h"

namespace crash {

// The version of the options stream that this library writes.
inline constexpr std::uint16_t VexlorLogCurrentVersion = 6101;
// The library's version as its texts show it.
inline constexpr std::string_view VexlorLogVersionText = "6.1.01 RC 1";

// The default text of every TMessageType, indexed by it.
inline constexpr std::array<std::string_view, kMessageTypeCount> EVals = {
#define VEXLOR_MESSAGE_DEFAULT(name, text) text,
    VEXLOR_MESSAGE_TYPES(VEXLOR_MESSAGE_DEFAULT)
#undef VEXLOR_MESSAGE_DEFAULT
};

// The identifier's own name ("mtDialog_Caption"), the key of the customised
// texts file; empty for a value outside the enumeration.
constexpr std::string_view MessageTypeName(TMessageType type) noexcept
{
    constexpr std::string_view kNames[] = {
#define VEXLOR_MESSAGE_NAME(name, text) #name,
        VEXLOR_MESSAGE_TYPES(VEXLOR_MESSAGE_NAME)
#undef VEXLOR_MESSAGE_NAME
    };
    return type < kMessageTypeCount ? kNames[type] : std::string_view{};
}

// One row of the texts editor: a group heading when No is -1, else the label of
// the text whose ordinal is No.
struct EMsgsRec {
    std::string_view Msg;
    std::int32_t No;
};

inline constexpr std::int32_t kEMsgsGroup = -1;

// The texts editor's rows: every identifier once, under fourteen headings.
inline constexpr std::array<EMsgsRec, 171> EMsgs = {{
    {"Message captions", kEMsgsGroup},
    {"Information", mtInformationMsgCaption},
    {"Question", mtQuestionMsgCaption},
    {"Error", mtErrorMsgCaption},
    {"Exception Dialog (VexlorLog type)", kEMsgsGroup},
    {"Caption (all types)", mtDialog_Caption},
    {"Error message", mtDialog_ErrorMsgCaption},
    {"General Caption", mtDialog_GeneralCaption},
    {"General Header", mtDialog_GeneralHeader},
    {"Call Stack Caption", mtDialog_CallStackCaption},
    {"Call Stack Header", mtDialog_CallStackHeader},
    {"Modules List Caption", mtDialog_ModulesCaption},
    {"Modules List Header", mtDialog_ModulesHeader},
    {"Processes List Caption", mtDialog_ProcessesCaption},
    {"Processes List Header", mtDialog_ProcessesHeader},
    {"Asembler Caption", mtDialog_AsmCaption},
    {"Assembler Header", mtDialog_AsmHeader},
    {"CPU Caption", mtDialog_CPUCaption},
    {"CPU Header", mtDialog_CPUHeader},
    {"OK Button", mtDialog_OKButtonCaption},
    {"Terminate Button", mtDialog_TerminateButtonCaption},
    {"Restart Button", mtDialog_RestartButtonCaption},
    {"Details Button", mtDialog_DetailsButtonCaption},
    {"Custom Button (all typed)", mtDialog_CustomButtonCaption},
    {"Internet message", mtDialog_SendMessage},
    {"Screenshot message", mtDialog_ScreenshotMessage},
    {"Copy message", mtDialog_CopyMessage},
    {"Support message", mtDialog_SupportMessage},
    {"Exception Dialog (MS Classic type)", kEMsgsGroup},
    {"Error message", mtMSDialog_ErrorMsgCaption},
    {"Restart message", mtMSDialog_RestartCaption},
    {"Terminate message", mtMSDialog_TerminateCaption},
    {"\"Please...\" message", mtMSDialog_PleaseCaption},
    {"Details message", mtMSDialog_DescriptionCaption},
    {"\"To see...\" message", mtMSDialog_SeeDetailsCaption},
    {"\"click here\" message", mtMSDialog_SeeClickCaption},
    {"\"How to reproduce\" message", mtMSDialog_HowToReproduceCaption},
    {"\"Email address\" text", mtMSDialog_EmailCaption},
    {"Send Button", mtMSDialog_SendButtonCaption},
    {"Don't Send Button", mtMSDialog_NoSendButtonCaption},
    {"Send Dialog", kEMsgsGroup},
    {"Caption", mtSendDialog_Caption},
    {"Message", mtSendDialog_Message},
    {"Resolving message", mtSendDialog_Resolving},
    {"Login message", mtSendDialog_Login},
    {"Connecting message", mtSendDialog_Connecting},
    {"Connected message", mtSendDialog_Connected},
    {"Sending message", mtSendDialog_Sending},
    {"Sent message", mtSendDialog_Sent},
    {"Select project message", mtSendDialog_SelectProject},
    {"Searching message", mtSendDialog_Searching},
    {"Modifying message", mtSendDialog_Modifying},
    {"Disconnecting message", mtSendDialog_Disconnecting},
    {"Disconnected message", mtSendDialog_Disconnected},
    {"Reproduce Dialog", kEMsgsGroup},
    {"Caption", mtReproduceDialog_Caption},
    {"Request message", mtReproduceDialog_Request},
    {"OK Button", mtReproduceDialog_OKButtonCaption},
    {"General Data", kEMsgsGroup},
    {"Application Header", mtLog_AppHeader},
    {"    Start Date", mtLog_AppStartDate},
    {"    Name/Description", mtLog_AppName},
    {"    Version Number", mtLog_AppVersionNumber},
    {"    Parameters", mtLog_AppParameters},
    {"    Compilation Date", mtLog_AppCompilationDate},
    {"    Up Time", mtLog_AppUpTime},
    {"Exception Header", mtLog_ExcHeader},
    {"    Date", mtLog_ExcDate},
    {"    Address", mtLog_ExcAddress},
    {"    Module Name", mtLog_ExcModuleName},
    {"    Module Version", mtLog_ExcModuleVersion},
    {"    Type", mtLog_ExcType},
    {"    Message", mtLog_ExcMessage},
    {"    ID", mtLog_ExcID},
    {"    Count", mtLog_ExcCount},
    {"    Status", mtLog_ExcStatus},
    {"    Note", mtLog_ExcNote},
    {"User Header", mtLog_UserHeader},
    {"    ID", mtLog_UserID},
    {"    Name", mtLog_UserName},
    {"    Email", mtLog_UserEmail},
    {"    Company", mtLog_UserCompany},
    {"    Privileges", mtLog_UserPrivileges},
    {"Active Controls Header", mtLog_ActCtrlsHeader},
    {"    Form Class", mtLog_ActCtrlsFormClass},
    {"    Form Text", mtLog_ActCtrlsFormText},
    {"    Control Class", mtLog_ActCtrlsControlClass},
    {"    Control Text", mtLog_ActCtrlsControlText},
    {"Computer Header", mtLog_CmpHeader},
    {"    Name", mtLog_CmpName},
    {"    Total Memory", mtLog_CmpTotalMemory},
    {"    Free Memory", mtLog_CmpFreeMemory},
    {"    Total Disk", mtLog_CmpTotalDisk},
    {"    Free Disk", mtLog_CmpFreeDisk},
    {"    System Up Time", mtLog_CmpSystemUpTime},
    {"    Processor", mtLog_CmpProcessor},
    {"    Display Mode", mtLog_CmpDisplayMode},
    {"    Display DPI", mtLog_CmpDisplayDPI},
    {"    Video Card", mtLog_CmpVideoCard},
    {"    Printer", mtLog_CmpPrinter},
    {"Operating System Header", mtLog_OSHeader},
    {"    Type", mtLog_OSType},
    {"    Build #", mtLog_OSBuildN},
    {"    Update", mtLog_OSUpdate},
    {"    Language", mtLog_OSLanguage},
    {"    Charset", mtLog_OSCharset},
    {"Network Header", mtLog_NetHeader},
    {"    IP Address", mtLog_NetIP},
    {"    Submask", mtLog_NetSubmask},
    {"    Gateway", mtLog_NetGateway},
    {"    DNS 1", mtLog_NetDNS1},
    {"    DNS 2", mtLog_NetDNS2},
    {"    DHCP", mtLog_NetDHCP},
    {"Custom Information Header", mtLog_CustInfoHeader},
    {"Call Stack", kEMsgsGroup},
    {"Address", mtCallStack_Address},
    {"Module", mtCallStack_Name},
    {"Unit", mtCallStack_Unit},
    {"Class", mtCallStack_Class},
    {"Procedure/Method", mtCallStack_Procedure},
    {"Line", mtCallStack_Line},
    {"Threads Data", kEMsgsGroup},
    {"Main Thread", mtCallStack_MainThread},
    {"Exception Thread", mtCallStack_ExceptionThread},
    {"Running Thread", mtCallStack_RunningThread},
    {"Calling Thread", mtCallStack_CallingThread},
    {"Thread ID", mtCallStack_ThreadID},
    {"Thread Priority", mtCallStack_ThreadPriority},
    {"Thread Class", mtCallStack_ThreadClass},
    {"Leaks Data", kEMsgsGroup},
    {"Leak Caption", mtCallStack_LeakCaption},
    {"Leak 'Data'", mtCallStack_LeakData},
    {"Leak Type", mtCallStack_LeakType},
    {"Leak Size", mtCallStack_LeakSize},
    {"Leak Count", mtCallStack_LeakCount},
    {"Modules List", kEMsgsGroup},
    {"Handle", mtModules_Handle},
    {"Name", mtModules_Name},
    {"Description", mtModules_Description},
    {"Version", mtModules_Version},
    {"Size", mtModules_Size},
    {"Last Modified", mtModules_LastModified},
    {"Path", mtModules_Path},
    {"Processes List", kEMsgsGroup},
    {"ID", mtProcesses_ID},
    {"Name", mtProcesses_Name},
    {"Description", mtProcesses_Description},
    {"Version", mtProcesses_Version},
    {"Memory", mtProcesses_Memory},
    {"Priority", mtProcesses_Priority},
    {"Threads", mtProcesses_Threads},
    {"Path", mtProcesses_Path},
    {"CPU", kEMsgsGroup},
    {"Registers", mtCPU_Registers},
    {"Stack", mtCPU_Stack},
    {"Memory Dump", mtCPU_MemoryDump},
    {"Send messages", kEMsgsGroup},
    {"Success", mtSend_SuccessMsg},
    {"Failure", mtSend_FailureMsg},
    {"Bug closed", mtSend_BugClosedMsg},
    {"Unknown error", mtSend_UnknownErrorMsg},
    {"Invalid login", mtSend_InvalidLoginMsg},
    {"Invalid search", mtSend_InvalidSearchMsg},
    {"Invalid selection", mtSend_InvalidSelectionMsg},
    {"Invalid insert", mtSend_InvalidInsertMsg},
    {"Invalid modify", mtSend_InvalidModifyMsg},
    {"Other messages", kEMsgsGroup},
    {"Multi Free exception", mtException_LeakMultiFree},
    {"Memory Overrun exception", mtException_LeakMemoryOverrun},
    {"Anti Freeze exception", mtException_AntiFreeze},
    {"Invalid email", mtInvalidEmailMsg},
}};

// "Section|Item" of every report-header item, indexed by TShowOption: the
// default texts of its section header and of its label.
inline constexpr std::array<std::string_view, kShowOptionCount> EShowOptions = {
    "Application|Start Date",         // soAppStartDate
    "Application|Name",               // soAppName
    "Application|Version Number",     // soAppVersionNumber
    "Application|Parameters",         // soAppParameters
    "Application|Compilation Date",   // soAppCompilationDate
    "Application|Up Time",            // soAppUpTime
    "Exception|Date",                 // soExcDate
    "Exception|Address",              // soExcAddress
    "Exception|Module Name",          // soExcModuleName
    "Exception|Module Version",       // soExcModuleVersion
    "Exception|Type",                 // soExcType
    "Exception|Message",              // soExcMessage
    "Exception|ID",                   // soExcID
    "Exception|Count",                // soExcCount
    "Exception|Status",               // soExcStatus
    "Exception|Note",                 // soExcNote
    "User|ID",                        // soUserID
    "User|Name",                      // soUserName
    "User|Email",                     // soUserEmail
    "User|Privileges",                // soUserPrivileges
    "User|Company",                   // soUserCompany
    "Active Controls|Form Class",     // soActCtlsFormClass
    "Active Controls|Form Text",      // soActCtlsFormText
    "Active Controls|Control Class",  // soActCtlsControlClass
    "Active Controls|Control Text",   // soActCtlsControlText
    "Computer|Name",                  // soCmpName
    "Computer|Total Memory",          // soCmpTotalMemory
    "Computer|Free Memory",           // soCmpFreeMemory
    "Computer|Total Disk",            // soCmpTotalDisk
    "Computer|Free Disk",             // soCmpFreeDisk
    "Computer|System Up Time",        // soCmpSysUpTime
    "Computer|Processor",             // soCmpProcessor
    "Computer|Display Mode",          // soCmpDisplayMode
    "Computer|Display DPI",           // soCmpDisplayDPI
    "Computer|Video Card",            // soCmpVideoCard
    "Computer|Printer",               // soCmpPrinter
    "Operating System|Type",          // soOSType
    "Operating System|Build #",       // soOSBuildN
    "Operating System|Update",        // soOSUpdate
    "Operating System|Language",      // soOSLanguage
    "Operating System|Charset",       // soOSCharset
    "Network|IP Address",             // soNetIP
    "Network|Submask",                // soNetSubmask
    "Network|Gateway",                // soNetGateway
    "Network|DNS 1",                  // soNetDNS1
    "Network|DNS 2",                  // soNetDNS2
    "Network|DHCP",                   // soNetDHCP
    "Custom Data|All",                // soCustomData
};

// "Name | Description" of every variable a text may use as %Name%. The names
// beginning with "_" are set by the exception pipeline for each report; "Date",
// "Time" and "CD" are built into the expansion; the rest are the system's.
inline constexpr std::array<std::string_view, 26> EVariablesOptions = {
    "_BugReport | Full VexlorLog bug report",
    "_ExceptModuleDesc | Description of the module that has raised the last exception",
    "_ExceptModuleName | Name of the module that has raised the last exception",
    "_ExceptModuleVer | Version of the module that has raised the last exception",
    "_ExceptMsg | Last exception message",
    "_LineBreak | Line break",
    "_MainModuleDesc | Description of the current running module",
    "_MainModuleName | Name of the current running module",
    "_MainModuleVer | Version of the current running module",
    "AllUsersProfile | \\Documents and Settings\\All Users",
    "AppData | \\Documents and Settings\\{username}\\Application Data",
    "CD | Current directory with its full path",
    "ComputerName | {computername}",
    "Date | Current date in the format determined by OS",
    "HomeDrive | The drive containing the Home directory",
    "HomePath | \\Documents and Settings\\{username}",
    "ProgramFiles | Directory containing program files",
    "SystemDrive | The drive containing the Windows root directory",
    "SystemRoot | The Windows root directory",
    "Temp | Temporary directory",
    "Time | Current time in the format determined by OS",
    "Tmp | Temporary directory",
    "UserDomain | Current user domain name",
    "UserName | {username}",
    "UserProfile | \\Documents and Settings\\{username}",
    "WinDir | Windows directory",
};

}  // namespace crash
