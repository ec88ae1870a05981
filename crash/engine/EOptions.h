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
    explicit TVexlorExceptionsFilters(TVexlorModuleOptions* AOwner) noexcept : FOwner(AOwner) {}
    TVexlorExceptionsFilters(const TVexlorExceptionsFilters&) = delete;
    TVexlorExceptionsFilters& operator=(const TVexlorExceptionsFilters&) = delete;
    // Frees the records; publishes nothing (the owner is going away or has
    // already taken another list).
    ~TVexlorExceptionsFilters() override = default;

    // Appends a copy of Item; its index.
    int Add(TVexlorExceptionFilter Item);
    // Index may be Count() (append).
    bool Insert(int Index, TVexlorExceptionFilter Item);
    bool Delete(int Index);
    void Clear();
    // A deep copy of Source's records; assigning the list to itself keeps it.
    void Assign(const TVexlorExceptionsFilters& Source);

    PVexlorExceptionFilter GetItem(int Index) const noexcept;
    PVexlorExceptionFilter Items(int Index) const noexcept { return GetItem(Index); }
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

// LogFile with "_" and the computer name inserted before its extension, each of
// the characters " * / : < > ? \ | of the name replaced by "_"; an empty name
// leaves LogFile as it is.
std::string InsertComputerNameInFileName(const std::string& LogFile, std::string_view ComputerName);

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
    // The options of the module AModuleName (a file name as GetModuleHandleA
    // takes it; empty for none), at their defaults.
    template <class T = TVexlorModuleOptions, class... Args>
    static std::unique_ptr<T> Create(std::string AModuleName, Args&&... args)
    {
        static_assert(std::is_base_of_v<TVexlorModuleOptions, T>);
        auto options = std::make_unique<T>(CreateKey{}, std::move(AModuleName), std::forward<Args>(args)...);
        options->SetToDefaultOptions();
        options->FSharedData = 0;
        return options;
    }

    // First phase only: name, handle and an empty filter list; see Create.
    TVexlorModuleOptions(CreateKey, std::string AModuleName);
    TVexlorModuleOptions(const TVexlorModuleOptions&) = delete;
    TVexlorModuleOptions& operator=(const TVexlorModuleOptions&) = delete;
    // Suspends publication for good and frees the filters.
    ~TVexlorModuleOptions() override;

    // ---- Virtual operations (publication and the hang watcher are the
    // subclass's business) ----
    virtual void SetActive(bool Value);
    virtual void SetFreezeActivate(bool Value);
    // Copies every option of Source but Active, ModuleName, ModuleHandle and
    // the suspension counter; publishes once. Source null: rtl::EConvertError
    // "Impossible to assign nil as TVexlorModuleOptions."; Source == this: no
    // change, no publication.
    virtual void Assign(const TVexlorModuleOptions* Source);
    // Every option but ModuleName, ModuleHandle and the counter to its default;
    // the filters cleared; publishes once.
    virtual void SetToDefaultOptions();

    // ---- The options stream (OptionsStream.cpp) ----
    // Writes the stream of VexlorLogCurrentVersion: every option but Active,
    // ModuleName, ModuleHandle and the build events. Strings are scrambled; a
    // text whose only line break ends it is stored without that break.
    // Raises what the stream raises (rtl::EWriteError).
    virtual void SaveToStream(rtl::TStream& Stream) const;
    // Creates or truncates the file (shared with nobody while written) and
    // writes the stream. rtl::EFCreateError / rtl::EWriteError.
    virtual void SaveToFile(const std::string& FileName) const;
    // Reads a stream of version LastVexlorVersion (400 on) from the stream's
    // position. Options the version lacks keep their values; the filters are
    // replaced. A length or count larger than the bytes left, or a stream that
    // ends early, raises rtl::EReadError: what was read so far stays. An
    // enumeration value out of range keeps the option's value and records a
    // warning. Publication is suspended meanwhile and runs once at the end,
    // also on failure.
    virtual void LoadFromStream(rtl::TStream& Stream);
    // Opens the file for reading (others may read, not write) and loads it as
    // the current version, the one SaveToFile writes, whatever
    // LastVexlorVersion holds (which it leaves as it was).
    // rtl::EFOpenError / rtl::EReadError.
    virtual void LoadFromFile(const std::string& FileName);

    // ---- Customised texts file (OptionsCustomTexts.cpp) ----
    // Every text into the INI file, section "Exception Log", one key per line;
    // then TextsCollection becomes the file's name without folder and
    // extension. A bare name lies in the library's default folder. Never
    // raises for the file: keys that cannot be written are warnings.
    void SaveCustomizedTextsToFile(const std::string& FileName);
    // Every text from the file, a missing text keeping its current value;
    // then TextsCollection as above. Never fails the caller.
    void LoadCustomizedTextsFromFile(const std::string& FileName);

    // Publish to and read from the shared copy; nothing here.
    virtual void StoreSharedData() {}
    virtual void LoadSharedData() {}

    // ---- Publication ----
    void DisableSharedDataWrite() noexcept { ++FSharedData; }
    void EnableSharedDataWrite() noexcept { --FSharedData; }
    void SaveToSharedData();
    std::int32_t SharedDataSuspensions() const noexcept { return FSharedData; }

    // ---- Texts ----
    const std::string& GetCustomizedTexts(TMessageType Index) const noexcept;
    void SetCustomizedTexts(TMessageType Index, std::string Value);
    // The text with its %NAME% variables expanded (ExpandEnvVars).
    std::string GetCustomizedExpandedTexts(TMessageType Index) const;
    const TCustomizedTexts& CustomizedTexts() const noexcept { return FCustomizedTexts; }

    // ---- Output files ----
    // The full name of an output file named like FileName: OutputPath itself
    // when it ends with ".vlf", else FileName's name in OutputPath (or in
    // FileName's folder when OutputPath is empty). Its folders are created and
    // it is moved to the user's folder when not writable (GetWorkingFile).
    std::string OutputFile(const std::string& FileName) const;
    // The log file's full name: BaseFile (or ModuleName without ".vshost") with
    // the extension ".vlf", through OutputFile, with "_" and the computer name
    // before the extension under loAddComputerNameInLogFileName.
    std::string OutputLogFile(const std::string& BaseFile) const;

    // ---- Properties ----
    const std::string& ModuleName() const noexcept { return FModuleName; }
    void SetModuleName(std::string Value) { Store(FModuleName, std::move(Value)); }
    HMODULE ModuleHandle() const noexcept { return FModuleHandle; }
    void SetModuleHandle(HMODULE Value) { Store(FModuleHandle, Value); }

    const std::string& SMTPFrom() const noexcept { return FSMTPFrom; }
    void SetSMTPFrom(std::string Value) { Store(FSMTPFrom, std::move(Value)); }
    const std::string& SMTPHost() const noexcept { return FSMTPHost; }
    void SetSMTPHost(std::string Value) { Store(FSMTPHost, std::move(Value)); }
    std::uint16_t SMTPPort() const noexcept { return FSMTPPort; }
    void SetSMTPPort(std::uint16_t Value) { Store(FSMTPPort, Value); }
    const std::string& SMTPUserID() const noexcept { return FSMTPUserID; }
    void SetSMTPUserID(std::string Value) { Store(FSMTPUserID, std::move(Value)); }
    const std::string& SMTPPassword() const noexcept { return FSMTPPassword; }
    void SetSMTPPassword(std::string Value) { Store(FSMTPPassword, std::move(Value)); }

    bool FreezeActivate() const noexcept { return FFreezeActivate; }
    std::int32_t FreezeTimeout() const noexcept { return FFreezeTimeout; }
    void SetFreezeTimeout(std::int32_t Value) { Store(FFreezeTimeout, Value); }

    TVexlorExceptionsFilters& ExceptionsFilters() noexcept { return *FExceptionsFilters; }
    const TVexlorExceptionsFilters& ExceptionsFilters() const noexcept { return *FExceptionsFilters; }
    // Takes the list over (the old one is freed; the new one's owner becomes
    // this object). A null list is replaced by an empty one.
    void SetExceptionsFilters(std::unique_ptr<TVexlorExceptionsFilters> Value);

    const std::string& TextsCollection() const noexcept { return FTextsCollection; }
    void SetTextsCollection(std::string Value) { Store(FTextsCollection, std::move(Value)); }
    bool ActivateLog() const noexcept { return FActivateLog; }
    void SetActivateLog(bool Value) { Store(FActivateLog, Value); }
    bool SaveLogFile() const noexcept { return FSaveLogFile; }
    void SetSaveLogFile(bool Value) { Store(FSaveLogFile, Value); }
    bool ActivateHandle() const noexcept { return FActivateHandle; }
    void SetActivateHandle(bool Value) { Store(FActivateHandle, Value); }
    TForegroundType ForegroundTab() const noexcept { return FForegroundTab; }
    void SetForegroundTab(TForegroundType Value) { Store(FForegroundTab, Value); }
    bool AppendLogs() const noexcept { return FAppendLogs; }
    void SetAppendLogs(bool Value) { Store(FAppendLogs, Value); }
    TTerminateBtnOperation TerminateBtnOperation() const noexcept { return FTerminateBtnOperation; }
    void SetTerminateBtnOperation(TTerminateBtnOperation Value) { Store(FTerminateBtnOperation, Value); }
    TLogOptions LogOptions() const noexcept { return FLogOptions; }
    void SetLogOptions(TLogOptions Value) { Store(FLogOptions, Value); }
    TShowOptions ShowOptions() const noexcept { return FShowOptions; }
    void SetShowOptions(TShowOptions Value) { Store(FShowOptions, Value); }
    std::int32_t ErrorsNumberToSave() const noexcept { return FErrorsNumberToSave; }
    // 0 is stored as 1: the log keeps at least one report.
    void SetErrorsNumberToSave(std::int32_t Value) { Store(FErrorsNumberToSave, Value == 0 ? 1 : Value); }
    std::int32_t ErrorsNumberToShowTerminateBtn() const noexcept { return FErrorsNumberToShowTerminateBtn; }
    void SetErrorsNumberToShowTerminateBtn(std::int32_t Value) { Store(FErrorsNumberToShowTerminateBtn, Value); }
    const std::string& OutputPath() const noexcept { return FOutputPath; }
    void SetOutputPath(std::string Value) { Store(FOutputPath, std::move(Value)); }

    const std::string& EMailAddresses() const noexcept { return FEMailAddresses; }
    void SetEMailAddresses(std::string Value) { Store(FEMailAddresses, std::move(Value)); }
    const std::string& EMailSubject() const noexcept { return FEMailSubject; }
    void SetEMailSubject(std::string Value) { Store(FEMailSubject, std::move(Value)); }
    const std::string& EMailMessage() const noexcept { return FEMailMessage; }
    void SetEMailMessage(std::string Value) { Store(FEMailMessage, std::move(Value)); }
    TEmailSendMode EMailSendMode() const noexcept { return FEMailSendMode; }
    void SetEMailSendMode(TEmailSendMode Value) { Store(FEMailSendMode, Value); }
    TWebSendMode WebSendMode() const noexcept { return FWebSendMode; }
    void SetWebSendMode(TWebSendMode Value) { Store(FWebSendMode, Value); }
    const std::string& WebURL() const noexcept { return FWebURL; }
    void SetWebURL(std::string Value) { Store(FWebURL, std::move(Value)); }
    const std::string& WebUserID() const noexcept { return FWebUserID; }
    void SetWebUserID(std::string Value) { Store(FWebUserID, std::move(Value)); }
    const std::string& WebPassword() const noexcept { return FWebPassword; }
    void SetWebPassword(std::string Value) { Store(FWebPassword, std::move(Value)); }
    std::int32_t WebPort() const noexcept { return FWebPort; }
    void SetWebPort(std::int32_t Value) { Store(FWebPort, Value); }
    TCommonSendOptions CommonSendOptions() const noexcept { return FCommonSendOptions; }
    void SetCommonSendOptions(TCommonSendOptions Value) { Store(FCommonSendOptions, Value); }
    const std::string& AttachedFiles() const noexcept { return FAttachedFiles; }
    void SetAttachedFiles(std::string Value) { Store(FAttachedFiles, std::move(Value)); }

    TExceptionDialogType ExceptionDialogType() const noexcept { return FExceptionDialogType; }
    void SetExceptionDialogType(TExceptionDialogType Value) { Store(FExceptionDialogType, Value); }
    TExceptionDialogOptions ExceptionDialogOptions() const noexcept { return FExceptionDialogOptions; }
    void SetExceptionDialogOptions(TExceptionDialogOptions Value) { Store(FExceptionDialogOptions, Value); }
    std::int32_t AutoCloseDialogSecs() const noexcept { return FAutoCloseDialogSecs; }
    void SetAutoCloseDialogSecs(std::int32_t Value) { Store(FAutoCloseDialogSecs, Value); }
    const std::string& SupportURL() const noexcept { return FSupportURL; }
    void SetSupportURL(std::string Value) { Store(FSupportURL, std::move(Value)); }
    const std::string& HTMLLayout() const noexcept { return FHTMLLayout; }
    void SetHTMLLayout(std::string Value) { Store(FHTMLLayout, std::move(Value)); }
    TTerminateBtnOperation AutoCrashOperation() const noexcept { return FAutoCrashOperation; }
    void SetAutoCrashOperation(TTerminateBtnOperation Value) { Store(FAutoCrashOperation, Value); }
    std::int32_t AutoCrashNumber() const noexcept { return FAutoCrashNumber; }
    void SetAutoCrashNumber(std::int32_t Value) { Store(FAutoCrashNumber, Value); }
    std::int32_t AutoCrashMinutes() const noexcept { return FAutoCrashMinutes; }
    void SetAutoCrashMinutes(std::int32_t Value) { Store(FAutoCrashMinutes, Value); }
    TCallStackOptions CallStackOptions() const noexcept { return FCallStackOptions; }
    void SetCallStackOptions(TCallStackOptions Value) { Store(FCallStackOptions, Value); }
    TBehaviourOptions BehaviourOptions() const noexcept { return FBehaviourOptions; }
    void SetBehaviourOptions(TBehaviourOptions Value) { Store(FBehaviourOptions, Value); }
    // Read-only: set by the defaults, Assign and loading.
    TLeaksOptions LeaksOptions() const noexcept { return FLeaksOptions; }

    const std::string& ProxyURL() const noexcept { return FProxyURL; }
    void SetProxyURL(std::string Value) { Store(FProxyURL, std::move(Value)); }
    const std::string& ProxyUserID() const noexcept { return FProxyUserID; }
    void SetProxyUserID(std::string Value) { Store(FProxyUserID, std::move(Value)); }
    const std::string& ProxyPassword() const noexcept { return FProxyPassword; }
    void SetProxyPassword(std::string Value) { Store(FProxyPassword, std::move(Value)); }
    std::uint16_t ProxyPort() const noexcept { return FProxyPort; }
    void SetProxyPort(std::uint16_t Value) { Store(FProxyPort, Value); }

    const std::string& TrakerUserID() const noexcept { return FTrakerUserID; }
    void SetTrakerUserID(std::string Value) { Store(FTrakerUserID, std::move(Value)); }
    const std::string& TrakerPassword() const noexcept { return FTrakerPassword; }
    void SetTrakerPassword(std::string Value) { Store(FTrakerPassword, std::move(Value)); }
    const std::string& TrakerAssignTo() const noexcept { return FTrakerAssignTo; }
    void SetTrakerAssignTo(std::string Value) { Store(FTrakerAssignTo, std::move(Value)); }
    const std::string& TrakerProject() const noexcept { return FTrakerProject; }
    void SetTrakerProject(std::string Value) { Store(FTrakerProject, std::move(Value)); }
    const std::string& TrakerCategory() const noexcept { return FTrakerCategory; }
    void SetTrakerCategory(std::string Value) { Store(FTrakerCategory, std::move(Value)); }
    const std::string& TrakerTrialID() const noexcept { return FTrakerTrialID; }
    void SetTrakerTrialID(std::string Value) { Store(FTrakerTrialID, std::move(Value)); }
    const std::string& ZipPassword() const noexcept { return FZipPassword; }
    void SetZipPassword(std::string Value) { Store(FZipPassword, std::move(Value)); }

    // Kept for the build tool only.
    const std::string& PreBuildEvent() const noexcept { return FPreBuildEvent; }
    void SetPreBuildEvent(std::string Value) { Store(FPreBuildEvent, std::move(Value)); }
    const std::string& PostSuccessfulBuildEvent() const noexcept { return FPostSuccessfulBuildEvent; }
    void SetPostSuccessfulBuildEvent(std::string Value) { Store(FPostSuccessfulBuildEvent, std::move(Value)); }
    const std::string& PostFailureBuildEvent() const noexcept { return FPostFailureBuildEvent; }
    void SetPostFailureBuildEvent(std::string Value) { Store(FPostFailureBuildEvent, std::move(Value)); }

    TCompiledFileOptions CompiledFileOptions() const noexcept { return FCompiledFileOptions; }
    void SetCompiledFileOptions(TCompiledFileOptions Value) { Store(FCompiledFileOptions, Value); }
    const std::string& ReproduceText() const noexcept { return FReproduceText; }
    void SetReproduceText(std::string Value) { Store(FReproduceText, std::move(Value)); }
    bool Active() const noexcept { return FActive; }

protected:
    // Runs Change with publication suspended, then resumes and publishes once,
    // also when Change throws (the exception then goes on).
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
