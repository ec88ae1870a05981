// The one list of the crash reporter's customisable texts: identifier and default
// text, in stored order.
//
// VEXLOR_MESSAGE_TYPES(X) calls X(identifier, "default text") once per text.
// The enumeration TMessageType, the identifier names and the default texts EVals
// are all generated from it, so they cannot drift apart. The order is the order
// of the options stream and of the customised texts file: append nothing in the
// middle, reorder nothing.
#pragma once

// clang-format off
#define VEXLOR_MESSAGE_TYPES(X)                                                                  \
    /* Message-box captions */                                                                   \
    X(mtInformationMsgCaption, "Information.")                                                   \
    X(mtQuestionMsgCaption, "Question.")                                                         \
    X(mtErrorMsgCaption, "Error.")                                                               \
    /* Detailed dialog */                                                                        \
    X(mtDialog_Caption, "Error occurred")                                                        \
    X(mtDialog_ErrorMsgCaption, "An error has occurred during program execution.\r\n"           \
                                "Please read the following information for further details.")   \
    X(mtDialog_GeneralCaption, "General")                                                        \
    X(mtDialog_GeneralHeader, "General Information")                                             \
    X(mtDialog_CallStackCaption, "Call Stack")                                                   \
    X(mtDialog_CallStackHeader, "Call Stack Information")                                        \
    X(mtDialog_ModulesCaption, "Modules")                                                        \
    X(mtDialog_ModulesHeader, "Modules Information")                                             \
    X(mtDialog_ProcessesCaption, "Processes")                                                    \
    X(mtDialog_ProcessesHeader, "Processes Information")                                         \
    X(mtDialog_AsmCaption, "Assembler")                                                          \
    X(mtDialog_AsmHeader, "Assembler Information")                                               \
    X(mtDialog_CPUCaption, "CPU")                                                                \
    X(mtDialog_CPUHeader, "CPU Information")                                                     \
    X(mtDialog_OKButtonCaption, "&OK")                                                           \
    X(mtDialog_TerminateButtonCaption, "&Terminate")                                             \
    X(mtDialog_RestartButtonCaption, "&Restart")                                                 \
    X(mtDialog_DetailsButtonCaption, "&Details")                                                 \
    X(mtDialog_CustomButtonCaption, "&Help")                                                     \
    X(mtDialog_SendMessage, "&Send this error via Internet")                                     \
    X(mtDialog_ScreenshotMessage, "&Attach a Screenshot image")                                  \
    X(mtDialog_CopyMessage, "&Copy to Clipboard")                                                \
    X(mtDialog_SupportMessage, "Go to the Support Page")                                         \
    /* Message-style dialog */                                                                   \
    X(mtMSDialog_ErrorMsgCaption,                                                                \
      "The application has encountered a problem. We are sorry for the inconvenience.")         \
    X(mtMSDialog_RestartCaption, "Restart application.")                                         \
    X(mtMSDialog_TerminateCaption, "Terminate application.")                                     \
    X(mtMSDialog_PleaseCaption, "Please tell us about this problem.")                            \
    X(mtMSDialog_DescriptionCaption,                                                             \
      "We have created an error report that you can send to us. We will treat this report as "  \
      "confidential and anonymous.")                                                             \
    X(mtMSDialog_SeeDetailsCaption, "To see what data the error report contains,")               \
    X(mtMSDialog_SeeClickCaption, "click here.")                                                 \
    X(mtMSDialog_HowToReproduceCaption, "What were you doing when the problem happened (optional)?") \
    X(mtMSDialog_EmailCaption, "Email address (optional):")                                      \
    X(mtMSDialog_SendButtonCaption, "&Send Error Report")                                        \
    X(mtMSDialog_NoSendButtonCaption, "&Don't Send")                                             \
    /* Report header labels */                                                                   \
    X(mtLog_AppHeader, "Application")                                                            \
    X(mtLog_AppStartDate, "Start Date")                                                          \
    X(mtLog_AppName, "Name/Description")                                                         \
    X(mtLog_AppVersionNumber, "Version Number")                                                  \
    X(mtLog_AppParameters, "Parameters")                                                         \
    X(mtLog_AppCompilationDate, "Compilation Date")                                              \
    X(mtLog_AppUpTime, "Up Time")                                                                \
    X(mtLog_ExcHeader, "Exception")                                                              \
    X(mtLog_ExcDate, "Date")                                                                     \
    X(mtLog_ExcAddress, "Address")                                                               \
    X(mtLog_ExcModuleName, "Module Name")                                                        \
    X(mtLog_ExcModuleVersion, "Module Version")                                                  \
    X(mtLog_ExcType, "Type")                                                                     \
    X(mtLog_ExcMessage, "Message")                                                               \
    X(mtLog_ExcID, "ID")                                                                         \
    X(mtLog_ExcCount, "Count")                                                                   \
    X(mtLog_ExcStatus, "Status")                                                                 \
    X(mtLog_ExcNote, "Note")                                                                     \
    X(mtLog_UserHeader, "User")                                                                  \
    X(mtLog_UserID, "ID")                                                                        \
    X(mtLog_UserName, "Name")                                                                    \
    X(mtLog_UserEmail, "Email")                                                                  \
    X(mtLog_UserCompany, "Company")                                                              \
    X(mtLog_UserPrivileges, "Privileges")                                                        \
    X(mtLog_ActCtrlsHeader, "Active Controls")                                                   \
    X(mtLog_ActCtrlsFormClass, "Form Class")                                                     \
    X(mtLog_ActCtrlsFormText, "Form Text")                                                       \
    X(mtLog_ActCtrlsControlClass, "Control Class")                                               \
    X(mtLog_ActCtrlsControlText, "Control Text")                                                 \
    X(mtLog_CmpHeader, "Computer")                                                               \
    X(mtLog_CmpName, "Name")                                                                     \
    X(mtLog_CmpTotalMemory, "Total Memory")                                                      \
    X(mtLog_CmpFreeMemory, "Free Memory")                                                        \
    X(mtLog_CmpTotalDisk, "Total Disk")                                                          \
    X(mtLog_CmpFreeDisk, "Free Disk")                                                            \
    X(mtLog_CmpSystemUpTime, "System Up Time")                                                   \
    X(mtLog_CmpProcessor, "Processor")                                                           \
    X(mtLog_CmpDisplayMode, "Display Mode")                                                      \
    X(mtLog_CmpDisplayDPI, "Display DPI")                                                        \
    X(mtLog_CmpVideoCard, "Video Card")                                                          \
    X(mtLog_CmpPrinter, "Printer")                                                               \
    X(mtLog_OSHeader, "Operating System")                                                        \
    X(mtLog_OSType, "Type")                                                                      \
    X(mtLog_OSBuildN, "Build #")                                                                 \
    X(mtLog_OSUpdate, "Update")                                                                  \
    X(mtLog_OSLanguage, "Language")                                                              \
    X(mtLog_OSCharset, "Charset")                                                                \
    X(mtLog_NetHeader, "Network")                                                                \
    X(mtLog_NetIP, "IP Address")                                                                 \
    X(mtLog_NetSubmask, "Submask")                                                               \
    X(mtLog_NetGateway, "Gateway")                                                               \
    X(mtLog_NetDNS1, "DNS 1")                                                                    \
    X(mtLog_NetDNS2, "DNS 2")                                                                    \
    X(mtLog_NetDHCP, "DHCP")                                                                     \
    X(mtLog_CustInfoHeader, "Custom Information")                                                \
    /* Call-stack and thread labels */                                                           \
    X(mtCallStack_Address, "Address")                                                            \
    X(mtCallStack_Name, "Module")                                                                \
    X(mtCallStack_Unit, "Unit")                                                                  \
    X(mtCallStack_Class, "Class")                                                                \
    X(mtCallStack_Procedure, "Procedure/Method")                                                 \
    X(mtCallStack_Line, "Line")                                                                  \
    X(mtCallStack_MainThread, "Main")                                                            \
    X(mtCallStack_ExceptionThread, "Exception Thread")                                           \
    X(mtCallStack_RunningThread, "Running Thread")                                               \
    X(mtCallStack_CallingThread, "Calling Thread")                                               \
    X(mtCallStack_ThreadID, "ID")                                                                \
    X(mtCallStack_ThreadPriority, "Priority")                                                    \
    X(mtCallStack_ThreadClass, "Class")                                                          \
    X(mtCallStack_LeakCaption, "Memory Leak")                                                    \
    X(mtCallStack_LeakData, "Data")                                                              \
    X(mtCallStack_LeakType, "Type")                                                              \
    X(mtCallStack_LeakSize, "Total size")                                                        \
    X(mtCallStack_LeakCount, "Count")                                                            \
    /* Send-progress dialog */                                                                   \
    X(mtSendDialog_Caption, "Send.")                                                             \
    X(mtSendDialog_Message, "Message")                                                           \
    X(mtSendDialog_Resolving, "Resolving DNS...")                                                \
    X(mtSendDialog_Login, "Login...")                                                            \
    X(mtSendDialog_Connecting, "Connecting with server...")                                      \
    X(mtSendDialog_Connected, "Connected with server.")                                          \
    X(mtSendDialog_Sending, "Sending message...")                                                \
    X(mtSendDialog_Sent, "Message sent.")                                                        \
    X(mtSendDialog_SelectProject, "Select project...")                                           \
    X(mtSendDialog_Searching, "Searching...")                                                    \
    X(mtSendDialog_Modifying, "Modifying...")                                                    \
    X(mtSendDialog_Disconnecting, "Disconnecting...")                                            \
    X(mtSendDialog_Disconnected, "Disconnected.")                                                \
    /* Request dialog */                                                                         \
    X(mtReproduceDialog_Caption, "Request")                                                      \
    X(mtReproduceDialog_Request, "Please describe the steps to reproduce the error:")            \
    X(mtReproduceDialog_OKButtonCaption, "&OK")                                                  \
    /* Modules table */                                                                          \
    X(mtModules_Handle, "Handle")                                                                \
    X(mtModules_Name, "Name")                                                                    \
    X(mtModules_Description, "Description")                                                      \
    X(mtModules_Version, "Version")                                                              \
    X(mtModules_Size, "Size")                                                                    \
    X(mtModules_LastModified, "Modified")                                                        \
    X(mtModules_Path, "Path")                                                                    \
    /* Processes table */                                                                        \
    X(mtProcesses_ID, "ID")                                                                      \
    X(mtProcesses_Name, "Name")                                                                  \
    X(mtProcesses_Description, "Description")                                                    \
    X(mtProcesses_Version, "Version")                                                            \
    X(mtProcesses_Memory, "Memory")                                                              \
    X(mtProcesses_Priority, "Priority")                                                          \
    X(mtProcesses_Threads, "Threads")                                                            \
    X(mtProcesses_Path, "Path")                                                                  \
    /* CPU section */                                                                            \
    X(mtCPU_Registers, "Registers")                                                              \
    X(mtCPU_Stack, "Stack")                                                                      \
    X(mtCPU_MemoryDump, "Memory Dump")                                                           \
    /* Send results */                                                                           \
    X(mtSend_SuccessMsg, "The message was sent successfully.")                                   \
    X(mtSend_FailureMsg, "Sorry, sending the message didn't work.")                              \
    X(mtSend_BugClosedMsg, "These BUG is just closed.\r\n"                                       \
                           "Contact the program support to obtain an update.")                   \
    X(mtSend_UnknownErrorMsg, "Unknown error.")                                                  \
    X(mtSend_InvalidLoginMsg, "Invalid login request.")                                          \
    X(mtSend_InvalidSearchMsg, "Invalid search request.")                                        \
    X(mtSend_InvalidSelectionMsg, "Invalid selection request.")                                  \
    X(mtSend_InvalidInsertMsg, "Invalid insert request.")                                        \
    X(mtSend_InvalidModifyMsg, "Invalid modify request.")                                        \
    /* Other messages */                                                                         \
    X(mtException_LeakMultiFree, "Multi Free memory leak.")                                      \
    X(mtException_LeakMemoryOverrun, "Memory Overrun leak.")                                     \
    X(mtException_AntiFreeze, "The application seems to be frozen.")                             \
    X(mtInvalidEmailMsg, "Invalid email.")

// VEXLOR_SHOW_OPTIONS(X) calls X(identifier, section header text, label text)
// once per report-header item, in stored order (bit n of TShowOptions is the
// n-th row).
#define VEXLOR_SHOW_OPTIONS(X)                                          \
    X(soAppStartDate, mtLog_AppHeader, mtLog_AppStartDate)              \
    X(soAppName, mtLog_AppHeader, mtLog_AppName)                        \
    X(soAppVersionNumber, mtLog_AppHeader, mtLog_AppVersionNumber)      \
    X(soAppParameters, mtLog_AppHeader, mtLog_AppParameters)            \
    X(soAppCompilationDate, mtLog_AppHeader, mtLog_AppCompilationDate)  \
    X(soAppUpTime, mtLog_AppHeader, mtLog_AppUpTime)                    \
    X(soExcDate, mtLog_ExcHeader, mtLog_ExcDate)                        \
    X(soExcAddress, mtLog_ExcHeader, mtLog_ExcAddress)                  \
    X(soExcModuleName, mtLog_ExcHeader, mtLog_ExcModuleName)            \
    X(soExcModuleVersion, mtLog_ExcHeader, mtLog_ExcModuleVersion)      \
    X(soExcType, mtLog_ExcHeader, mtLog_ExcType)                        \
    X(soExcMessage, mtLog_ExcHeader, mtLog_ExcMessage)                  \
    X(soExcID, mtLog_ExcHeader, mtLog_ExcID)                            \
    X(soExcCount, mtLog_ExcHeader, mtLog_ExcCount)                      \
    X(soExcStatus, mtLog_ExcHeader, mtLog_ExcStatus)                    \
    X(soExcNote, mtLog_ExcHeader, mtLog_ExcNote)                        \
    X(soUserID, mtLog_UserHeader, mtLog_UserID)                         \
    X(soUserName, mtLog_UserHeader, mtLog_UserName)                     \
    X(soUserEmail, mtLog_UserHeader, mtLog_UserEmail)                   \
    X(soUserPrivileges, mtLog_UserHeader, mtLog_UserPrivileges)         \
    X(soUserCompany, mtLog_UserHeader, mtLog_UserCompany)               \
    X(soActCtlsFormClass, mtLog_ActCtrlsHeader, mtLog_ActCtrlsFormClass)         \
    X(soActCtlsFormText, mtLog_ActCtrlsHeader, mtLog_ActCtrlsFormText)           \
    X(soActCtlsControlClass, mtLog_ActCtrlsHeader, mtLog_ActCtrlsControlClass)   \
    X(soActCtlsControlText, mtLog_ActCtrlsHeader, mtLog_ActCtrlsControlText)     \
    X(soCmpName, mtLog_CmpHeader, mtLog_CmpName)                        \
    X(soCmpTotalMemory, mtLog_CmpHeader, mtLog_CmpTotalMemory)          \
    X(soCmpFreeMemory, mtLog_CmpHeader, mtLog_CmpFreeMemory)            \
    X(soCmpTotalDisk, mtLog_CmpHeader, mtLog_CmpTotalDisk)              \
    X(soCmpFreeDisk, mtLog_CmpHeader, mtLog_CmpFreeDisk)                \
    X(soCmpSysUpTime, mtLog_CmpHeader, mtLog_CmpSystemUpTime)           \
    X(soCmpProcessor, mtLog_CmpHeader, mtLog_CmpProcessor)              \
    X(soCmpDisplayMode, mtLog_CmpHeader, mtLog_CmpDisplayMode)          \
    X(soCmpDisplayDPI, mtLog_CmpHeader, mtLog_CmpDisplayDPI)            \
    X(soCmpVideoCard, mtLog_CmpHeader, mtLog_CmpVideoCard)              \
    X(soCmpPrinter, mtLog_CmpHeader, mtLog_CmpPrinter)                  \
    X(soOSType, mtLog_OSHeader, mtLog_OSType)                           \
    X(soOSBuildN, mtLog_OSHeader, mtLog_OSBuildN)                       \
    X(soOSUpdate, mtLog_OSHeader, mtLog_OSUpdate)                       \
    X(soOSLanguage, mtLog_OSHeader, mtLog_OSLanguage)                   \
    X(soOSCharset, mtLog_OSHeader, mtLog_OSCharset)                     \
    X(soNetIP, mtLog_NetHeader, mtLog_NetIP)                            \
    X(soNetSubmask, mtLog_NetHeader, mtLog_NetSubmask)                  \
    X(soNetGateway, mtLog_NetHeader, mtLog_NetGateway)                  \
    X(soNetDNS1, mtLog_NetHeader, mtLog_NetDNS1)                        \
    X(soNetDNS2, mtLog_NetHeader, mtLog_NetDNS2)                        \
    X(soNetDHCP, mtLog_NetHeader, mtLog_NetDHCP)                        \
    X(soCustomData, mtLog_CustInfoHeader, mtLog_CustInfoHeader)
// clang-format on
