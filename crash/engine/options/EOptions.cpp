// The options of one module: construction, defaults, copying and publication.
#include "crash/engine/EOptions.h"

#include "crash/engine/ECore.h"
#include "crash/engine/ELang.h"
#include "rtl/SysUtils.h"

namespace crash {

const std::string_view kDefaultHTMLLayout = "<html>\r\n"
                                            "  <head>\r\n"
                                            "  </head>\r\n"
                                            "  <body TopMargin=10 LeftMargin=10>\r\n"
                                            "    <table width=\"100%\" border=\"0\">\r\n"
                                            "      <tr>\r\n"
                                            "        <td nowrap>\r\n"
                                            "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n"
                                            "            <%HTML_TAG%>\r\n"
                                            "          </font>\r\n"
                                            "        </td>\r\n"
                                            "      </tr>\r\n"
                                            "    </table>\r\n"
                                            "  </body>\r\n"
                                            "</html>";

HMODULE LibraryModuleHandle() noexcept
{
    // The module that holds this very function: the program when the library
    // is linked in statically, the library's own file otherwise.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(&LibraryModuleHandle), &module)) {
        return nullptr;
    }
    return module;
}

TVexlorModuleOptions::TVexlorModuleOptions(CreateKey, std::string aModuleName)
    : FModuleName(std::move(aModuleName)),
      FModuleHandle(FModuleName.empty() ? nullptr : ::GetModuleHandleA(FModuleName.c_str())),
      FExceptionsFilters(std::make_unique<TVexlorExceptionsFilters>(this))
{}

TVexlorModuleOptions::~TVexlorModuleOptions()
{
    DisableSharedDataWrite();
    FExceptionsFilters.reset();
}

void TVexlorModuleOptions::SaveToSharedData()
{
    if (FSharedData > 0) return;
    // Only the library's own options are shared; another module's options
    // object is a working copy or the other module's business.
    if (FModuleHandle != nullptr && FModuleHandle == LibraryModuleHandle()) StoreSharedData();
}

void TVexlorModuleOptions::SetActive(bool value)
{
    Store(FActive, value);
}

void TVexlorModuleOptions::SetFreezeActivate(bool value)
{
    Store(FFreezeActivate, value);
}

void TVexlorModuleOptions::SetExceptionsFilters(std::unique_ptr<TVexlorExceptionsFilters> value)
{
    if (!value) value = std::make_unique<TVexlorExceptionsFilters>(this);
    value->FOwner = this;
    FExceptionsFilters = std::move(value);
    SaveToSharedData();
}

const std::string& TVexlorModuleOptions::GetCustomizedTexts(TMessageType index) const noexcept
{
    static const std::string kNone;
    return index < kMessageTypeCount ? FCustomizedTexts[index] : kNone;
}

void TVexlorModuleOptions::SetCustomizedTexts(TMessageType index, std::string value)
{
    if (index >= kMessageTypeCount) return;
    Store(FCustomizedTexts[index], std::move(value));
}

std::string TVexlorModuleOptions::GetCustomizedExpandedTexts(TMessageType index) const
{
    return ExpandEnvVars(GetCustomizedTexts(index));
}

void TVexlorModuleOptions::SetToDefaultOptions()
{
    RunBulkChange([this] {
        FCustomizedTexts = DefaultCustomizedTexts();
        FTextsCollection = "English";
        FFreezeActivate = false;
        FFreezeTimeout = 60;
        FSMTPFrom = std::string(kDefaultSMTPFrom);
        FSMTPHost.clear();
        FSMTPUserID.clear();
        FSMTPPassword.clear();
        FSMTPPort = 25;
        FActivateLog = false;
        FSaveLogFile = true;
        FForegroundTab = ftGeneral;
        FActivateHandle = true;
        FAppendLogs = false;
        FTerminateBtnOperation = tbRestart;
        FLogOptions = {loSaveModulesAndProcessesSections, loSaveAssemblerAndCPUSections};
        FShowOptions = TShowOptions::All();
        FErrorsNumberToSave = 32;
        FErrorsNumberToShowTerminateBtn = 3;
        FOutputPath.clear();
        FEMailAddresses.clear();
        FEMailSubject.clear();
        FEMailMessage.clear();
        FEMailSendMode = esmNoSend;
        FWebSendMode = wsmNoSend;
        FWebURL.clear();
        FWebUserID.clear();
        FWebPassword.clear();
        FWebPort = 0;
        FAttachedFiles.clear();
        FCommonSendOptions = {sndShowSendDialog, sndSendScreenshot, sndSendLastHTMLPage};
        FExceptionDialogOptions = {edoSendErrorReportChecked,    edoAttachScreenshotChecked,
                                   edoShowCopyToClipOption,      edoShowDetailsButton,
                                   edoShowSendErrorReportOption, edoShowAttachScreenshotOption};
        FAutoCloseDialogSecs = 0;
        FSupportURL.clear();
        FHTMLLayout = std::string(kDefaultHTMLLayout);
        FCallStackOptions = {csoShowDLLs, csoShowBPLs, csoShowBorlandThreads, csoShowWindowsThreads};
        FBehaviourOptions = {boUseMainModuleOptions, boCopyLogInCaseOfError, boHandleSafeCallExceptions};
        FLeaksOptions = {loGroupsSonLeaks, loHideBorlandLeaks, loFreeAllLeaks, loCatchLeaksExceptions};
        FAutoCrashOperation = tbRestart;
        FAutoCrashNumber = 10;
        FAutoCrashMinutes = 1;
        FProxyURL.clear();
        FProxyUserID.clear();
        FProxyPassword.clear();
        FProxyPort = 8080;
        FTrakerUserID.clear();
        FTrakerPassword.clear();
        FTrakerAssignTo.clear();
        FTrakerProject.clear();
        FTrakerCategory.clear();
        FTrakerTrialID.clear();
        FZipPassword.clear();
        FPreBuildEvent.clear();
        FPostSuccessfulBuildEvent.clear();
        FPostFailureBuildEvent.clear();
        FCompiledFileOptions = {cfoReduceFileSize};
        FExceptionDialogType = edtMSClassic;
        FExceptionsFilters->Clear();
        FReproduceText.clear();
        FActive = true;
    });
}

void TVexlorModuleOptions::Assign(const TVexlorModuleOptions* source)
{
    if (source == nullptr) throw rtl::EConvertError("Impossible to assign nil as TVexlorModuleOptions.");
    if (source == this) return;
    RunBulkChange([this, &s = *source] {
        FExceptionsFilters->Assign(*s.FExceptionsFilters);
        FCustomizedTexts = s.FCustomizedTexts;
        SetTextsCollection(s.FTextsCollection);
        SetActivateLog(s.FActivateLog);
        SetSaveLogFile(s.FSaveLogFile);
        SetFreezeActivate(s.FFreezeActivate);
        SetFreezeTimeout(s.FFreezeTimeout);
        SetSMTPFrom(s.FSMTPFrom);
        SetSMTPHost(s.FSMTPHost);
        SetSMTPPort(s.FSMTPPort);
        SetSMTPUserID(s.FSMTPUserID);
        SetSMTPPassword(s.FSMTPPassword);
        SetForegroundTab(s.FForegroundTab);
        SetActivateHandle(s.FActivateHandle);
        SetAppendLogs(s.FAppendLogs);
        SetTerminateBtnOperation(s.FTerminateBtnOperation);
        SetLogOptions(s.FLogOptions);
        SetErrorsNumberToSave(s.FErrorsNumberToSave);
        SetErrorsNumberToShowTerminateBtn(s.FErrorsNumberToShowTerminateBtn);
        SetOutputPath(s.FOutputPath);
        SetEMailAddresses(s.FEMailAddresses);
        SetEMailSubject(s.FEMailSubject);
        SetEMailMessage(s.FEMailMessage);
        SetEMailSendMode(s.FEMailSendMode);
        SetShowOptions(s.FShowOptions);
        SetWebSendMode(s.FWebSendMode);
        SetWebURL(s.FWebURL);
        SetWebUserID(s.FWebUserID);
        SetWebPassword(s.FWebPassword);
        SetWebPort(s.FWebPort);
        SetCommonSendOptions(s.FCommonSendOptions);
        SetAttachedFiles(s.FAttachedFiles);
        SetExceptionDialogOptions(s.FExceptionDialogOptions);
        SetAutoCloseDialogSecs(s.FAutoCloseDialogSecs);
        SetSupportURL(s.FSupportURL);
        SetHTMLLayout(s.FHTMLLayout);
        SetCallStackOptions(s.FCallStackOptions);
        SetBehaviourOptions(s.FBehaviourOptions);
        SetAutoCrashOperation(s.FAutoCrashOperation);
        SetAutoCrashNumber(s.FAutoCrashNumber);
        SetAutoCrashMinutes(s.FAutoCrashMinutes);
        SetProxyURL(s.FProxyURL);
        SetProxyUserID(s.FProxyUserID);
        SetProxyPassword(s.FProxyPassword);
        SetProxyPort(s.FProxyPort);
        SetTrakerUserID(s.FTrakerUserID);
        SetTrakerPassword(s.FTrakerPassword);
        SetTrakerAssignTo(s.FTrakerAssignTo);
        SetTrakerProject(s.FTrakerProject);
        SetTrakerCategory(s.FTrakerCategory);
        SetTrakerTrialID(s.FTrakerTrialID);
        SetZipPassword(s.FZipPassword);
        SetPreBuildEvent(s.FPreBuildEvent);
        SetPostSuccessfulBuildEvent(s.FPostSuccessfulBuildEvent);
        SetPostFailureBuildEvent(s.FPostFailureBuildEvent);
        SetCompiledFileOptions(s.FCompiledFileOptions);
        SetExceptionDialogType(s.FExceptionDialogType);
        FLeaksOptions = s.FLeaksOptions;
        FReproduceText = s.FReproduceText;
    });
}

}  // namespace crash
