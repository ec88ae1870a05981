// The crash reporter's options of one module: TVexlorModuleOptions, its
// enumerations and sets, and the exception filters it owns.
//
// Threads: the object takes no lock. It is written at start-up, by loading and,
// for a report's working copy, inside the main report lock; other threads read
// it. Zone: report thread and ordinary code (it allocates); never from hooks.
// Failure: Assign from nothing raises (rtl::EConvertError), and the stream and
// options-file operations raise the stream's errors (see there); everything
// else answers values. Publication to the process-wide shared copy goes through the
// virtual StoreSharedData, which a subclass fills.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "crash/engine/ETypes.h"
#include "rtl/System.h"

namespace rtl {
class TStream;
}

namespace crash {

// The library version that wrote the options stream about to be loaded: the
// stream does not carry it, so whoever hands a stream to LoadFromStream sets it
// first (the data-block reader from its header, the shared-copy reader to
// VexlorLogCurrentVersion). Starts at VexlorLogCurrentVersion. Not locked:
// set and load on one thread.
extern std::uint16_t LastVexlorVersion;

// ---- Enumerations and sets ------------------------------------------------------

enum TCompiledFileOption : std::uint8_t { cfoReduceFileSize, cfoUseVL7 };
using TCompiledFileOptions = EnumSet<TCompiledFileOption, cfoUseVL7 + 1>;

enum TTerminateBtnOperation : std::uint8_t { tbNone, tbTerminate, tbRestart };

enum TExceptionDialogType : std::uint8_t { edtNone, edtMessageBox, edtMSClassic, edtVexlorLog };

enum TLogOption : std::uint8_t {
    loNoDuplicateErrors,
    loAppendReproduceText,
    loDeleteLogAtVersionChange,
    loAddComputerNameInLogFileName,
    loSaveModulesAndProcessesSections,
    loSaveAssemblerAndCPUSections,
};
using TLogOptions = EnumSet<TLogOption, loSaveAssemblerAndCPUSections + 1>;

enum TCommonSendOption : std::uint8_t {
    sndShowSendDialog,
    sndShowSuccessFailureMsg,
    sndSendEntireLog,
    sndSendXMLLogCopy,
    sndSendScreenshot,
    sndUseOnlyActiveWindow,
    sndSendLastHTMLPage,
    sndSendInSeparatedThread,
    sndAddDateInFileName,
    sndAddComputerNameInFileName,
};
using TCommonSendOptions = EnumSet<TCommonSendOption, sndAddComputerNameInFileName + 1>;

enum TForegroundType : std::uint8_t { ftGeneral, ftCallStack, ftModules, ftProcesses, ftAssembler, ftCPU };

enum TEmailSendMode : std::uint8_t { esmNoSend, esmEmailClient, esmSMTPClient, esmSMTPServer };

enum TWebSendMode : std::uint8_t { wsmNoSend, wsmHTTP, wsmHTTPS, wsmFTP, wsmBugZilla, wsmFogBugz, wsmMantis };

enum TExceptionDialogOption : std::uint8_t {
    edoSendErrorReportChecked,
    edoAttachScreenshotChecked,
    edoShowCopyToClipOption,
    edoShowDetailsButton,
    edoShowInDetailedMode,
    edoShowInTopMostMode,
    edoUseVexlorLogLookAndFeel,
    edoShowSendErrorReportOption,
    edoShowAttachScreenshotOption,
    edoShowCustomButton,
};
using TExceptionDialogOptions = EnumSet<TExceptionDialogOption, edoShowCustomButton + 1>;

enum TCallStackOption : std::uint8_t {
    csoShowDLLs,
    csoShowBPLs,
    csoShowBorlandThreads,
    csoShowWindowsThreads,
    csoDoNotStoreProcNames,
};
using TCallStackOptions = EnumSet<TCallStackOption, csoDoNotStoreProcNames + 1>;

enum TBehaviourOption : std::uint8_t {
    boPauseBorlandThreads,
    boDoNotPauseMainThread,
    boPauseWindowsThreads,
    boUseMainModuleOptions,
    boCopyLogInCaseOfError,
    boSaveCompressedCopyInCaseOfError,
    boHandleSafeCallExceptions,
    boCallRTLExceptionEvent,
    boCatchHandledExceptions,
};
using TBehaviourOptions = EnumSet<TBehaviourOption, boCatchHandledExceptions + 1>;

enum TLeaksOption : std::uint8_t {
    loCatchLeaks,
    loGroupsSonLeaks,
    loHideBorlandLeaks,
    loFreeAllLeaks,
    loCatchLeaksExceptions,
};
using TLeaksOptions = EnumSet<TLeaksOption, loCatchLeaksExceptions + 1>;

enum TModuleType : std::uint8_t { mtUnknown, mtProgram, mtPackage, mtLibrary };

enum TLoadType : std::uint8_t { ltLoadModuleOptions, ltLoadDefaultOptions };

enum TFilterExceptionType : std::uint8_t { fetAll, fetHandled, fetUnhandled };
enum TFilterDialogType : std::uint8_t { fdtNone, fdtUnchanged, fdtMessageBox, fdtMSClassic, fdtVexlorLog };
enum TFilterHandlerType : std::uint8_t { fhtNone, fhtRTL, fhtVexlorLog };
enum TFilterActionType : std::uint8_t { fatNone, fatTerminate, fatRestart };

static_assert(TShowOptions::kByteCount == 6 && TCommonSendOptions::kByteCount == 2 &&
              TExceptionDialogOptions::kByteCount == 2 && TBehaviourOptions::kByteCount == 2 &&
              TLogOptions::kByteCount == 1 && TCallStackOptions::kByteCount == 1 && TLeaksOptions::kByteCount == 1 &&
              TCompiledFileOptions::kByteCount == 1);

// ---- Exception filters ----------------------------------------------------------

// What to do with the exceptions of one class and message.
struct TVexlorExceptionFilter {
    bool Active = false;
    std::string ExceptionClassName;
    std::string ExceptionMessage;
    TFilterExceptionType ExceptionType = fetAll;
    TFilterDialogType DialogType = fdtNone;
    TFilterHandlerType HandlerType = fhtNone;
    TFilterActionType ActionType = fatNone;

    friend bool operator==(const TVexlorExceptionFilter&, const TVexlorExceptionFilter&) = default;
};
using PVexlorExceptionFilter = TVexlorExceptionFilter*;

class TVexlorModuleOptions;

// The filters of one options object, each record owned by the list. Every change
// (Add, Insert, Delete, Clear, Assign) publishes the owner's options once. An
// index outside the list changes nothing: Insert and Delete answer false, Items
// answers null. Item pointers stay valid until their record is deleted.
class TVexlorExceptionsFilters : public rtl::TObject {
public:
    explicit TVexlorExceptionsFilters(TVexlorModuleOptions* aOwner) noexcept : FOwner(aOwner) {}
    TVexlorExceptionsFilters(const TVexlorExceptionsFilters&) = delete;
    TVexlorExceptionsFilters& operator=(const TVexlorExceptionsFilters&) = delete;
    // Frees the records; publishes nothing (the owner is going away or has
    // already taken another list).
    ~TVexlorExceptionsFilters() override = default;

    // Appends a copy of item; its index.
    int Add(TVexlorExceptionFilter item);
    // index may be Count() (append).
    bool Insert(int index, TVexlorExceptionFilter item);
    bool Delete(int index);
    void Clear();
    // A deep copy of source's records; assigning the list to itself keeps it.
    void Assign(const TVexlorExceptionsFilters& source);

    PVexlorExceptionFilter GetItem(int index) const noexcept;
    PVexlorExceptionFilter Items(int index) const noexcept { return GetItem(index); }
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TVexlorModuleOptions* Owner() const noexcept { return FOwner; }

private:
    friend class TVexlorModuleOptions;
    void Publish() const;

    std::vector<std::unique_ptr<TVexlorExceptionFilter>> FItems;
    TVexlorModuleOptions* FOwner;  // weak
};

// ---- Module options -------------------------------------------------------------

// The module instance handle of the module this library is linked into: only
// the options of that module are published.
HMODULE LibraryModuleHandle() noexcept;

// logFile with "_" and the computer name inserted before its extension, each of
// the characters " * / : < > ? \ | of the name replaced by "_"; an empty name
// leaves logFile as it is.
std::string InsertComputerNameInFileName(const std::string& logFile, std::string_view computerName);

// Every option of the crash reporter for one module.
//
// Construction is two-phase so that a subclass's overrides take part in it:
// create objects only through Create<T>(), which constructs T and then applies
// the defaults (publishing through T's StoreSharedData). A subclass declares a
// public constructor (CreateKey, std::string AModuleName, ...) that passes the
// key on; only Create can make a key.
//
// Publication: every setter stores its value and then calls SaveToSharedData,
// which calls StoreSharedData once, unless publication is suspended or the
// options belong to another module than LibraryModuleHandle(). A bulk change
// (SetToDefaultOptions, Assign, loading) suspends publication and publishes
// once at its end, also when it fails.
class TVexlorModuleOptions : public rtl::TObject {
protected:
    class CreateKey {
        CreateKey() = default;
        friend class TVexlorModuleOptions;
    };

public:
    // The options of the module aModuleName (a file name as GetModuleHandleA
    // takes it; empty for none), at their defaults.
    template <class T = TVexlorModuleOptions, class... Args>
    static std::unique_ptr<T> Create(std::string aModuleName, Args&&... args)
    {
        static_assert(std::is_base_of_v<TVexlorModuleOptions, T>);
        auto options = std::make_unique<T>(CreateKey{}, std::move(aModuleName), std::forward<Args>(args)...);
        options->SetToDefaultOptions();
        options->FSharedData = 0;
        return options;
    }

    // First phase only: name, handle and an empty filter list; see Create.
    TVexlorModuleOptions(CreateKey, std::string aModuleName);
    TVexlorModuleOptions(const TVexlorModuleOptions&) = delete;
    TVexlorModuleOptions& operator=(const TVexlorModuleOptions&) = delete;
    // Suspends publication for good and frees the filters.
    ~TVexlorModuleOptions() override;

    // ---- Virtual operations (publication and the hang watcher are the
    // subclass's business) ----
    virtual void SetActive(bool value);
    virtual void SetFreezeActivate(bool value);
    // Copies every option of source but Active, ModuleName, ModuleHandle and
    // the suspension counter; publishes once. source null: rtl::EConvertError
    // "Impossible to assign nil as TVexlorModuleOptions."; source == this: no
    // change, no publication.
    virtual void Assign(const TVexlorModuleOptions* source);
    // Every option but ModuleName, ModuleHandle and the counter to its default;
    // the filters cleared; publishes once.
    virtual void SetToDefaultOptions();

    // ---- The options stream (OptionsStream.cpp) ----
    // Writes the stream of VexlorLogCurrentVersion: every option but Active,
    // ModuleName, ModuleHandle and the build events. Strings are scrambled; a
    // text whose only line break ends it is stored without that break.
    // Raises what the stream raises (rtl::EWriteError).
    virtual void SaveToStream(rtl::TStream& stream) const;
    // Creates or truncates the file (shared with nobody while written) and
    // writes the stream. rtl::EFCreateError / rtl::EWriteError.
    virtual void SaveToFile(const std::string& fileName) const;
    // Reads a stream of version LastVexlorVersion (400 on) from the stream's
    // position. Options the version lacks keep their values; the filters are
    // replaced. A length or count larger than the bytes left, or a stream that
    // ends early, raises rtl::EReadError: what was read so far stays. An
    // enumeration value out of range keeps the option's value and records a
    // warning. Publication is suspended meanwhile and runs once at the end,
    // also on failure.
    virtual void LoadFromStream(rtl::TStream& stream);
    // Opens the file for reading (others may read, not write) and loads it as
    // the current version, the one SaveToFile writes, whatever
    // LastVexlorVersion holds (which it leaves as it was).
    // rtl::EFOpenError / rtl::EReadError.
    virtual void LoadFromFile(const std::string& fileName);

    // ---- Customised texts file (OptionsCustomTexts.cpp) ----
    // Every text into the INI file, section "Exception Log", one key per line;
    // then TextsCollection becomes the file's name without folder and
    // extension. A bare name lies in the library's default folder. Never
    // raises for the file: keys that cannot be written are warnings.
    void SaveCustomizedTextsToFile(const std::string& fileName);
    // Every text from the file, a missing text keeping its current value;
    // then TextsCollection as above. Never fails the caller.
    void LoadCustomizedTextsFromFile(const std::string& fileName);

    // Publish to and read from the shared copy; nothing here.
    virtual void StoreSharedData() {}
    virtual void LoadSharedData() {}

    // ---- Publication ----
    void DisableSharedDataWrite() noexcept { ++FSharedData; }
    void EnableSharedDataWrite() noexcept { --FSharedData; }
    void SaveToSharedData();
    std::int32_t SharedDataSuspensions() const noexcept { return FSharedData; }

    // ---- Texts ----
    const std::string& GetCustomizedTexts(TMessageType index) const noexcept;
    void SetCustomizedTexts(TMessageType index, std::string value);
    // The text with its %NAME% variables expanded (ExpandEnvVars).
    std::string GetCustomizedExpandedTexts(TMessageType index) const;
    const TCustomizedTexts& CustomizedTexts() const noexcept { return FCustomizedTexts; }

    // ---- Output files ----
    // The full name of an output file named like fileName: OutputPath itself
    // when it ends with ".vlf", else fileName's name in OutputPath (or in
    // fileName's folder when OutputPath is empty). Its folders are created and
    // it is moved to the user's folder when not writable (GetWorkingFile).
    std::string OutputFile(const std::string& fileName) const;
    // The log file's full name: baseFile (or ModuleName without ".vshost") with
    // the extension ".vlf", through OutputFile, with "_" and the computer name
    // before the extension under loAddComputerNameInLogFileName.
    std::string OutputLogFile(const std::string& baseFile) const;

    // ---- Properties ----
    const std::string& ModuleName() const noexcept { return FModuleName; }
    void SetModuleName(std::string value) { Store(FModuleName, std::move(value)); }
    HMODULE ModuleHandle() const noexcept { return FModuleHandle; }
    void SetModuleHandle(HMODULE value) { Store(FModuleHandle, value); }

    const std::string& SMTPFrom() const noexcept { return FSMTPFrom; }
    void SetSMTPFrom(std::string value) { Store(FSMTPFrom, std::move(value)); }
    const std::string& SMTPHost() const noexcept { return FSMTPHost; }
    void SetSMTPHost(std::string value) { Store(FSMTPHost, std::move(value)); }
    std::uint16_t SMTPPort() const noexcept { return FSMTPPort; }
    void SetSMTPPort(std::uint16_t value) { Store(FSMTPPort, value); }
    const std::string& SMTPUserID() const noexcept { return FSMTPUserID; }
    void SetSMTPUserID(std::string value) { Store(FSMTPUserID, std::move(value)); }
    const std::string& SMTPPassword() const noexcept { return FSMTPPassword; }
    void SetSMTPPassword(std::string value) { Store(FSMTPPassword, std::move(value)); }

    bool FreezeActivate() const noexcept { return FFreezeActivate; }
    std::int32_t FreezeTimeout() const noexcept { return FFreezeTimeout; }
    void SetFreezeTimeout(std::int32_t value) { Store(FFreezeTimeout, value); }

    TVexlorExceptionsFilters& ExceptionsFilters() noexcept { return *FExceptionsFilters; }
    const TVexlorExceptionsFilters& ExceptionsFilters() const noexcept { return *FExceptionsFilters; }
    // Takes the list over (the old one is freed; the new one's owner becomes
    // this object). A null list is replaced by an empty one.
    void SetExceptionsFilters(std::unique_ptr<TVexlorExceptionsFilters> value);

    const std::string& TextsCollection() const noexcept { return FTextsCollection; }
    void SetTextsCollection(std::string value) { Store(FTextsCollection, std::move(value)); }
    bool ActivateLog() const noexcept { return FActivateLog; }
    void SetActivateLog(bool value) { Store(FActivateLog, value); }
    bool SaveLogFile() const noexcept { return FSaveLogFile; }
    void SetSaveLogFile(bool value) { Store(FSaveLogFile, value); }
    bool ActivateHandle() const noexcept { return FActivateHandle; }
    void SetActivateHandle(bool value) { Store(FActivateHandle, value); }
    TForegroundType ForegroundTab() const noexcept { return FForegroundTab; }
    void SetForegroundTab(TForegroundType value) { Store(FForegroundTab, value); }
    bool AppendLogs() const noexcept { return FAppendLogs; }
    void SetAppendLogs(bool value) { Store(FAppendLogs, value); }
    TTerminateBtnOperation TerminateBtnOperation() const noexcept { return FTerminateBtnOperation; }
    void SetTerminateBtnOperation(TTerminateBtnOperation value) { Store(FTerminateBtnOperation, value); }
    TLogOptions LogOptions() const noexcept { return FLogOptions; }
    void SetLogOptions(TLogOptions value) { Store(FLogOptions, value); }
    TShowOptions ShowOptions() const noexcept { return FShowOptions; }
    void SetShowOptions(TShowOptions value) { Store(FShowOptions, value); }
    std::int32_t ErrorsNumberToSave() const noexcept { return FErrorsNumberToSave; }
    // 0 is stored as 1: the log keeps at least one report.
    void SetErrorsNumberToSave(std::int32_t value) { Store(FErrorsNumberToSave, value == 0 ? 1 : value); }
    std::int32_t ErrorsNumberToShowTerminateBtn() const noexcept { return FErrorsNumberToShowTerminateBtn; }
    void SetErrorsNumberToShowTerminateBtn(std::int32_t value) { Store(FErrorsNumberToShowTerminateBtn, value); }
    const std::string& OutputPath() const noexcept { return FOutputPath; }
    void SetOutputPath(std::string value) { Store(FOutputPath, std::move(value)); }

    const std::string& EMailAddresses() const noexcept { return FEMailAddresses; }
    void SetEMailAddresses(std::string value) { Store(FEMailAddresses, std::move(value)); }
    const std::string& EMailSubject() const noexcept { return FEMailSubject; }
    void SetEMailSubject(std::string value) { Store(FEMailSubject, std::move(value)); }
    const std::string& EMailMessage() const noexcept { return FEMailMessage; }
    void SetEMailMessage(std::string value) { Store(FEMailMessage, std::move(value)); }
    TEmailSendMode EMailSendMode() const noexcept { return FEMailSendMode; }
    void SetEMailSendMode(TEmailSendMode value) { Store(FEMailSendMode, value); }
    TWebSendMode WebSendMode() const noexcept { return FWebSendMode; }
    void SetWebSendMode(TWebSendMode value) { Store(FWebSendMode, value); }
    const std::string& WebURL() const noexcept { return FWebURL; }
    void SetWebURL(std::string value) { Store(FWebURL, std::move(value)); }
    const std::string& WebUserID() const noexcept { return FWebUserID; }
    void SetWebUserID(std::string value) { Store(FWebUserID, std::move(value)); }
    const std::string& WebPassword() const noexcept { return FWebPassword; }
    void SetWebPassword(std::string value) { Store(FWebPassword, std::move(value)); }
    std::int32_t WebPort() const noexcept { return FWebPort; }
    void SetWebPort(std::int32_t value) { Store(FWebPort, value); }
    TCommonSendOptions CommonSendOptions() const noexcept { return FCommonSendOptions; }
    void SetCommonSendOptions(TCommonSendOptions value) { Store(FCommonSendOptions, value); }
    const std::string& AttachedFiles() const noexcept { return FAttachedFiles; }
    void SetAttachedFiles(std::string value) { Store(FAttachedFiles, std::move(value)); }

    TExceptionDialogType ExceptionDialogType() const noexcept { return FExceptionDialogType; }
    void SetExceptionDialogType(TExceptionDialogType value) { Store(FExceptionDialogType, value); }
    TExceptionDialogOptions ExceptionDialogOptions() const noexcept { return FExceptionDialogOptions; }
    void SetExceptionDialogOptions(TExceptionDialogOptions value) { Store(FExceptionDialogOptions, value); }
    std::int32_t AutoCloseDialogSecs() const noexcept { return FAutoCloseDialogSecs; }
    void SetAutoCloseDialogSecs(std::int32_t value) { Store(FAutoCloseDialogSecs, value); }
    const std::string& SupportURL() const noexcept { return FSupportURL; }
    void SetSupportURL(std::string value) { Store(FSupportURL, std::move(value)); }
    const std::string& HTMLLayout() const noexcept { return FHTMLLayout; }
    void SetHTMLLayout(std::string value) { Store(FHTMLLayout, std::move(value)); }
    TTerminateBtnOperation AutoCrashOperation() const noexcept { return FAutoCrashOperation; }
    void SetAutoCrashOperation(TTerminateBtnOperation value) { Store(FAutoCrashOperation, value); }
    std::int32_t AutoCrashNumber() const noexcept { return FAutoCrashNumber; }
    void SetAutoCrashNumber(std::int32_t value) { Store(FAutoCrashNumber, value); }
    std::int32_t AutoCrashMinutes() const noexcept { return FAutoCrashMinutes; }
    void SetAutoCrashMinutes(std::int32_t value) { Store(FAutoCrashMinutes, value); }
    TCallStackOptions CallStackOptions() const noexcept { return FCallStackOptions; }
    void SetCallStackOptions(TCallStackOptions value) { Store(FCallStackOptions, value); }
    TBehaviourOptions BehaviourOptions() const noexcept { return FBehaviourOptions; }
    void SetBehaviourOptions(TBehaviourOptions value) { Store(FBehaviourOptions, value); }
    // Read-only: set by the defaults, Assign and loading.
    TLeaksOptions LeaksOptions() const noexcept { return FLeaksOptions; }

    const std::string& ProxyURL() const noexcept { return FProxyURL; }
    void SetProxyURL(std::string value) { Store(FProxyURL, std::move(value)); }
    const std::string& ProxyUserID() const noexcept { return FProxyUserID; }
    void SetProxyUserID(std::string value) { Store(FProxyUserID, std::move(value)); }
    const std::string& ProxyPassword() const noexcept { return FProxyPassword; }
    void SetProxyPassword(std::string value) { Store(FProxyPassword, std::move(value)); }
    std::uint16_t ProxyPort() const noexcept { return FProxyPort; }
    void SetProxyPort(std::uint16_t value) { Store(FProxyPort, value); }

    const std::string& TrakerUserID() const noexcept { return FTrakerUserID; }
    void SetTrakerUserID(std::string value) { Store(FTrakerUserID, std::move(value)); }
    const std::string& TrakerPassword() const noexcept { return FTrakerPassword; }
    void SetTrakerPassword(std::string value) { Store(FTrakerPassword, std::move(value)); }
    const std::string& TrakerAssignTo() const noexcept { return FTrakerAssignTo; }
    void SetTrakerAssignTo(std::string value) { Store(FTrakerAssignTo, std::move(value)); }
    const std::string& TrakerProject() const noexcept { return FTrakerProject; }
    void SetTrakerProject(std::string value) { Store(FTrakerProject, std::move(value)); }
    const std::string& TrakerCategory() const noexcept { return FTrakerCategory; }
    void SetTrakerCategory(std::string value) { Store(FTrakerCategory, std::move(value)); }
    const std::string& TrakerTrialID() const noexcept { return FTrakerTrialID; }
    void SetTrakerTrialID(std::string value) { Store(FTrakerTrialID, std::move(value)); }
    const std::string& ZipPassword() const noexcept { return FZipPassword; }
    void SetZipPassword(std::string value) { Store(FZipPassword, std::move(value)); }

    // Kept for the build tool only.
    const std::string& PreBuildEvent() const noexcept { return FPreBuildEvent; }
    void SetPreBuildEvent(std::string value) { Store(FPreBuildEvent, std::move(value)); }
    const std::string& PostSuccessfulBuildEvent() const noexcept { return FPostSuccessfulBuildEvent; }
    void SetPostSuccessfulBuildEvent(std::string value) { Store(FPostSuccessfulBuildEvent, std::move(value)); }
    const std::string& PostFailureBuildEvent() const noexcept { return FPostFailureBuildEvent; }
    void SetPostFailureBuildEvent(std::string value) { Store(FPostFailureBuildEvent, std::move(value)); }

    TCompiledFileOptions CompiledFileOptions() const noexcept { return FCompiledFileOptions; }
    void SetCompiledFileOptions(TCompiledFileOptions value) { Store(FCompiledFileOptions, value); }
    const std::string& ReproduceText() const noexcept { return FReproduceText; }
    void SetReproduceText(std::string value) { Store(FReproduceText, std::move(value)); }
    bool Active() const noexcept { return FActive; }

protected:
    // Runs change with publication suspended, then resumes and publishes once,
    // also when change throws (the exception then goes on).
    template <class Change>
    void RunBulkChange(Change&& change)
    {
        DisableSharedDataWrite();
        try {
            change();
        } catch (...) {
            EnableSharedDataWrite();
            SaveToSharedData();
            throw;
        }
        EnableSharedDataWrite();
        SaveToSharedData();
    }

    template <class Field, class Value>
    void Store(Field& field, Value&& value)
    {
        field = std::forward<Value>(value);
        SaveToSharedData();
    }

    // In declaration order of the options' own design.
    std::int32_t FSharedData = 0;
    std::string FSMTPFrom;
    std::string FSMTPHost;
    std::string FSMTPUserID;
    std::string FSMTPPassword;
    std::uint16_t FSMTPPort = 0;
    std::string FProxyURL;
    std::string FProxyUserID;
    std::string FProxyPassword;
    std::uint16_t FProxyPort = 0;
    std::string FTrakerUserID;
    std::string FTrakerPassword;
    std::string FTrakerAssignTo;
    std::string FTrakerProject;
    std::string FTrakerCategory;
    std::string FTrakerTrialID;
    std::string FZipPassword;
    std::string FPreBuildEvent;
    std::string FPostSuccessfulBuildEvent;
    std::string FPostFailureBuildEvent;
    TCompiledFileOptions FCompiledFileOptions;
    TTerminateBtnOperation FTerminateBtnOperation = tbNone;
    bool FFreezeActivate = false;
    std::int32_t FFreezeTimeout = 0;
    std::string FModuleName;
    HMODULE FModuleHandle = nullptr;
    TShowOptions FShowOptions;
    TExceptionDialogType FExceptionDialogType = edtNone;
    std::unique_ptr<TVexlorExceptionsFilters> FExceptionsFilters;
    TCustomizedTexts FCustomizedTexts;
    std::string FTextsCollection;
    bool FActivateLog = false;
    bool FActivateHandle = false;
    bool FAppendLogs = false;
    bool FSaveLogFile = false;
    TLogOptions FLogOptions;
    TCommonSendOptions FCommonSendOptions;
    TForegroundType FForegroundTab = ftGeneral;
    std::int32_t FErrorsNumberToSave = 0;
    std::int32_t FErrorsNumberToShowTerminateBtn = 0;
    std::string FOutputPath;
    std::string FEMailAddresses;
    std::string FEMailSubject;
    std::string FEMailMessage;
    TEmailSendMode FEMailSendMode = esmNoSend;
    TWebSendMode FWebSendMode = wsmNoSend;
    std::string FAttachedFiles;
    TExceptionDialogOptions FExceptionDialogOptions;
    std::int32_t FAutoCloseDialogSecs = 0;
    std::string FSupportURL;
    std::string FHTMLLayout;
    TTerminateBtnOperation FAutoCrashOperation = tbNone;
    std::int32_t FAutoCrashNumber = 0;
    std::int32_t FAutoCrashMinutes = 0;
    TCallStackOptions FCallStackOptions;
    TBehaviourOptions FBehaviourOptions;
    TLeaksOptions FLeaksOptions;
    std::string FWebURL;
    std::int32_t FWebPort = 0;
    std::string FWebPassword;
    std::string FWebUserID;
    std::string FReproduceText;
    bool FActive = false;
};

// The sender address of the own SMTP client until the options name one.
inline constexpr std::string_view kDefaultSMTPFrom = "vexlorlog@localhost";

// The page template of the web error page; "<%HTML_TAG%>" stands for the report.
extern const std::string_view kDefaultHTMLLayout;

}  // namespace crash
