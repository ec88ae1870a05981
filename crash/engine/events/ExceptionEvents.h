// The application's part in a report: the nine events, the TVexlorLog
// component and its list, the exported procedure variables and event entries
// through which the copies of the crash reporter in other modules of the
// process take part, and the one call slot through which the report thread
// hands work to the thread that raised.
//
// Across modules: everything a module hands to another's copy has a C layout
// (the record, Booleans, length-prefixed passwords, lists behind a
// three-method interface) and every entry is __stdcall; no exception ever
// leaves an entry.
// Threads: the handlers run where CallInMainThread runs its procedure, one at
// a time (reports are serialised). The component list has a lock of its own.
// Zone: report thread and the raising thread while it waits for a report;
// everything here allocates, nothing runs in the hooks.
// Failure: the runners and entries raise nothing of their own; a handler's
// exception leaves its runner (CallInMainThread swallows it) but never an
// entry. A module that lacks an entry, or carries an incompatible copy, is
// skipped without a word.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "crash/engine/ReportSteps.h"
#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"

namespace crash {

class TVexlorModulesList;
class TVexlorStackList;
class TVexlorModuleOptions;

// ---- The exception record -------------------------------------------------------

// What every event and report step receives about the exception being
// reported. The pipeline fills it; a copy of it crosses to other modules, so
// it holds only pointers and 32-bit values. The lists and the options are the
// objects of the module that made the record: another module's copy of the
// library built from these headers may read them, nothing else.
struct TVexlorExceptionRecord {
    void* ExceptionObject = nullptr;  // the raised object (a TObject), or null
    // For a raise of the language: the raising call (return address - 5).
    void* ExceptionAddress = nullptr;
    std::uint32_t ExceptionThreadID = 0;               // the raising thread (main thread for a hang)
    EXCEPTION_RECORD* Win32ExceptionRecord = nullptr;  // the system's record, or null
    CONTEXT* Win32Context = nullptr;                   // the raising thread's registers, or null
    const char* LogText = nullptr;  // the full report text: LogTextLength bytes, no terminator needed
    std::uint32_t LogTextLength = 0;
    TVexlorModulesList* ModulesList = nullptr;
    TVexlorStackList* CallStack = nullptr;
    TVexlorModuleOptions* CurrentModuleOptions = nullptr;  // the options in force for this report
};
static_assert(std::is_standard_layout_v<TVexlorExceptionRecord> &&
              std::is_trivially_copyable_v<TVexlorExceptionRecord> && sizeof(TVexlorExceptionRecord) == 40);

inline std::string_view LogTextOf(const TVexlorExceptionRecord& record) noexcept
{
    return record.LogText != nullptr ? std::string_view(record.LogText, record.LogTextLength) : std::string_view();
}

// The record of the report in progress, published by the pipeline once the
// report text is made and cleared when the report is over; the receiving
// entries below publish their own copy while their handlers run. Null when
// no report is in progress.
TVexlorExceptionRecord* CurrentExceptionRecord() noexcept;
void SetCurrentExceptionRecord(TVexlorExceptionRecord* record) noexcept;

// ---- Lists that cross modules -------------------------------------------------------

// A list of 8-bit texts as one module lends it to another: count, item, add.
// Not owned through this interface (no destructor in it), so the table of
// its three functions is all that crosses.
class IVexlorStrings {
public:
    virtual std::int32_t __stdcall Count() const noexcept = 0;
    // The text of item index (length bytes); null for an index outside the list.
    virtual const char* __stdcall Item(std::int32_t index, std::uint32_t* length) const noexcept = 0;
    // Appends a text; false when it could not.
    virtual bool __stdcall Add(const char* text, std::uint32_t length) noexcept = 0;

protected:
    ~IVexlorStrings() = default;
};

// The lists the events fill (lines, e.g. "name=value"), lent to other modules
// as IVexlorStrings.
class TVexlorStrings final : public rtl::TObject, public IVexlorStrings {
public:
    std::int32_t __stdcall Count() const noexcept override;
    const char* __stdcall Item(std::int32_t index, std::uint32_t* length) const noexcept override;
    bool __stdcall Add(const char* text, std::uint32_t length) noexcept override;

    void Add(std::string text) { FItems.push_back(std::move(text)); }
    void Clear() noexcept { FItems.clear(); }
    const std::vector<std::string>& Strings() const noexcept { return FItems; }
    std::vector<std::string>& Strings() noexcept { return FItems; }

private:
    std::vector<std::string> FItems;
};

// ---- Events ---------------------------------------------------------------------------

// The action an action or error event is about. Crosses modules as its
// ordinal.
enum TVexlorActionType : std::uint8_t {
    atShowingExceptionInfo,
    atShowedExceptionInfo,
    atSavingLogFile,
    atSavedLogFile,
    atSendingEmail,
    atSentEmail,
    atSendingWebMessage,
    atSentWebMessage,
    atTerminating,
};

// The handlers of a TVexlorLog. Each gets a copy of the current record.
using TExceptionNotify = std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, bool& handled)>;
using TExceptionActionNotify =
    std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, TVexlorActionType vexlorAction, bool& execute)>;
using TExceptionErrorNotify =
    std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, TVexlorActionType vexlorAction, bool& retry)>;
using TPasswordRequestNotify = std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, std::string& password)>;
using TCustomDataRequestNotify =
    std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, TVexlorStrings& dataFields)>;
using TAttachedFilesRequestNotify =
    std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, TVexlorStrings& attachedFiles)>;
using TCustomWebFieldsRequestNotify =
    std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, TVexlorStrings& webFields)>;
using TCustomButtonClickNotify = std::function<void(TVexlorExceptionRecord vexlorExceptionRecord, bool& closeDialog)>;

// The plain procedures of the exported procedure variables: the same
// arguments in C form. A password is a length-prefixed buffer: Password[0]
// characters follow it, at most MaxLength of them (and never more than 255).
using TExceptionNotifyProc = void(__stdcall*)(TVexlorExceptionRecord record, bool* handled);
using TExceptionActionNotifyProc = void(__stdcall*)(TVexlorExceptionRecord record, std::uint32_t action, bool* execute);
using TExceptionErrorNotifyProc = void(__stdcall*)(TVexlorExceptionRecord record, std::uint32_t action, bool* retry);
using TPasswordRequestProc = void(__stdcall*)(TVexlorExceptionRecord record, unsigned char* password,
                                              std::int32_t maxLength);
using TStringsRequestProc = void(__stdcall*)(TVexlorExceptionRecord record, IVexlorStrings* strings);
using TCustomButtonClickProc = void(__stdcall*)(TVexlorExceptionRecord record, bool* closeDialog);

static_assert(sizeof(bool) == 1, "a Boolean crosses modules as one byte");

// The longest password text an entry passes.
inline constexpr std::int32_t kMaxPasswordLength = 255;

// The flags and lists the handlers change, process-wide (one set per copy of
// the library). The pipeline presets a flag before the event it hands over and
// reads it after; a later handler sees what an earlier one left.
struct TVexlorEventData {
    bool Handled = true;
    bool Execute = true;
    bool Retry = false;
    bool CloseDialog = false;
    std::string Password;
    TVexlorStrings CustomData;
    TVexlorStrings AttachedFiles;
    TVexlorStrings WebFields;
};
TVexlorEventData& VexlorEventData();

// ---- The component ------------------------------------------------------------------

// A component the application puts on a form (or makes in code) to receive
// the crash reporter's events. From construction to destruction it is in the
// global TVexlorLogList, when that exists. Handlers are set on the thread
// that makes the component, before reports; firing copies a handler under
// the list's lock, so a component may be freed on its own thread while a
// report runs (its handler then no longer fires).
class TVexlorLog : public rtl::TComponent {
public:
    // With the crash reporter inactive in this module and a debugger attached,
    // shows the warning that the component does nothing here
    // (VexlorLogWarningSeams).
    explicit TVexlorLog(rtl::TComponent* aOwner = nullptr);
    ~TVexlorLog() override;

    const TExceptionNotify& OnExceptionNotify() const noexcept { return FExceptionNotify; }
    void SetOnExceptionNotify(TExceptionNotify value) { Store(FExceptionNotify, std::move(value)); }
    const TExceptionNotify& OnHandledExceptionNotify() const noexcept { return FHandledExceptionNotify; }
    void SetOnHandledExceptionNotify(TExceptionNotify value) { Store(FHandledExceptionNotify, std::move(value)); }
    const TExceptionActionNotify& OnExceptionActionNotify() const noexcept { return FExceptionActionNotify; }
    void SetOnExceptionActionNotify(TExceptionActionNotify value) { Store(FExceptionActionNotify, std::move(value)); }
    const TExceptionErrorNotify& OnExceptionErrorNotify() const noexcept { return FExceptionErrorNotify; }
    void SetOnExceptionErrorNotify(TExceptionErrorNotify value) { Store(FExceptionErrorNotify, std::move(value)); }
    const TPasswordRequestNotify& OnPasswordRequest() const noexcept { return FPasswordRequest; }
    void SetOnPasswordRequest(TPasswordRequestNotify value) { Store(FPasswordRequest, std::move(value)); }
    const TCustomDataRequestNotify& OnCustomDataRequest() const noexcept { return FCustomDataRequest; }
    void SetOnCustomDataRequest(TCustomDataRequestNotify value) { Store(FCustomDataRequest, std::move(value)); }
    const TAttachedFilesRequestNotify& OnAttachedFilesRequest() const noexcept { return FAttachedFilesRequest; }
    void SetOnAttachedFilesRequest(TAttachedFilesRequestNotify value)
    {
        Store(FAttachedFilesRequest, std::move(value));
    }
    const TCustomWebFieldsRequestNotify& OnCustomWebFieldsRequest() const noexcept { return FCustomWebFieldsRequest; }
    void SetOnCustomWebFieldsRequest(TCustomWebFieldsRequestNotify value)
    {
        Store(FCustomWebFieldsRequest, std::move(value));
    }
    const TCustomButtonClickNotify& OnCustomButtonClickNotify() const noexcept { return FCustomButtonClickNotify; }
    void SetOnCustomButtonClickNotify(TCustomButtonClickNotify value)
    {
        Store(FCustomButtonClickNotify, std::move(value));
    }

private:
    // Sets a handler under the list's lock, so that a report never copies
    // one half set.
    template <class THandler>
    void Store(THandler& field, THandler value);

    TExceptionNotify FExceptionNotify;
    TExceptionNotify FHandledExceptionNotify;
    TExceptionActionNotify FExceptionActionNotify;
    TExceptionErrorNotify FExceptionErrorNotify;
    TPasswordRequestNotify FPasswordRequest;
    TCustomDataRequestNotify FCustomDataRequest;
    TAttachedFilesRequestNotify FAttachedFilesRequest;
    TCustomWebFieldsRequestNotify FCustomWebFieldsRequest;
    TCustomButtonClickNotify FCustomButtonClickNotify;
};

// Every TVexlorLog of this module, in the order they were made.
class TVexlorLogList : public rtl::TObject {
public:
    void Add(TVexlorLog* item);
    void Remove(const TVexlorLog* item) noexcept;
    bool Contains(const TVexlorLog* item) const noexcept;
    int Count() const noexcept;
    // Null for an index outside the list.
    TVexlorLog* Items(int index) const noexcept;
    // The lock of the list and of its components' handlers.
    rtl::TCriticalSection& Lock() const noexcept { return FLock; }

private:
    mutable rtl::TCriticalSection FLock;
    std::vector<TVexlorLog*> FItems;  // weak
};

// Start-up makes the list (a second call keeps it); shut-down frees it
// (components still alive then are in no list). Null before and after.
void CreateVexlorLogList();
void FreeVexlorLogList() noexcept;
TVexlorLogList* VexlorLogList() noexcept;

template <class THandler>
void TVexlorLog::Store(THandler& field, THandler value)
{
    if (TVexlorLogList* list = VexlorLogList()) {
        rtl::TCriticalSectionLock lock(list->Lock());
        field = std::move(value);
    } else {
        field = std::move(value);
    }
}

// What the component's warning asks and how it shows: start-up fills the
// first, tests all three. An empty slot answers as noted.
struct TVexlorLogWarningSeams {
    // The crash reporter is active in this module; empty: it is not.
    TReportStep<bool()> IsActive;
    // Empty: the kernel's debugger test (IsDebuggerAttached).
    TReportStep<bool()> IsDebuggerAttached;
    // Empty: MessageBoxA.
    TReportStep<int(HWND owner, const char* text, const char* caption, UINT flags)> ShowMessageBox;
};
inline TVexlorLogWarningSeams VexlorLogWarningSeams;

// The warning's text for the module file name (its name part is shown).
std::string VexlorLogWarningText(const std::string& moduleFileName);
inline constexpr UINT kVexlorLogWarningFlags = 0x242030;  // warning icon, task-modal, topmost

// ---- The call slot ------------------------------------------------------------------

using TMainThreadProc = std::function<void()>;

// Runs proc in the thread that raised and returns when it has run. While a
// report is in progress (CurrentExceptionRecord set) and the caller is not
// the raising thread, proc goes into the call slot and the caller polls every
// 10 ms until the raising thread, waiting for the report, has run it
// (ServeMainThreadCall). Otherwise it runs at once here. Its exceptions are
// swallowed either way. Afterwards, while a report is in progress, the
// report's duplicate flag is computed again without counting
// (ReportSteps.CountDuplicateError) and its options are read back from the
// shared options copy, so that what handlers of another module changed takes
// effect. One caller at a time (the report thread; reports are serialised).
// The wait has no time limit: proc lives in this caller's frame, and the
// raising thread does nothing but wait for the report and serve the slot.
void CallInMainThread(const TMainThreadProc& proc) noexcept;

// The raising thread's side, called by the pipeline's wait loop: runs the
// procedure in the slot, swallows its exceptions and empties the slot. True
// when there was one.
bool ServeMainThreadCall() noexcept;

// Whether the calling thread is running a procedure of CallInMainThread (from
// the slot or at once): a report's handler, whose exceptions the class
// library's hooks leave to the application.
bool IsMainThreadCallRunning() noexcept;

// ---- Runners --------------------------------------------------------------------------
// Each forwards the event to the module that raised (the module holding the
// current record's ExceptionAddress, when it is another module with a
// compatible copy of the library and the entry), then fires it here: every
// TVexlorLog from the last made to the first, then the exported procedure
// variable. The report steps run them through CallInMainThread. Without a
// current record nothing is forwarded and the handlers get an empty record.

void DoExceptionNotify();         // Handled
void DoHandledExceptionNotify();  // Handled
void ForwardExceptionActionNotify(TVexlorActionType action, bool& execute);
void FireExceptionActionNotify(TVexlorActionType action, bool& execute);
void ForwardExceptionErrorNotify(TVexlorActionType action, bool& retry);
void FireExceptionErrorNotify(TVexlorActionType action, bool& retry);
void DoCustomDataRequest();       // CustomData
void DoAttachedFilesRequest();    // AttachedFiles
void DoCustomWebFieldsRequest();  // WebFields
void DoCustomButtonClick();       // CloseDialog
// The password of the debug data of module, into VexlorEventData().Password:
// from module's copy of the library (its extended entry with the current
// record, else its plain one), whose handlers fire there; for this module
// its own handlers fire. False when nothing answered (no entry, an
// incompatible copy, no module).
bool DoPasswordRequest(HMODULE module);

// The module a record's events are forwarded to: the one holding its
// exception address when that is another module than this one, carrying a
// copy of the library of a compatible version; else null.
HMODULE EventForwardingModule(const void* exceptionAddress);

// ---- The exported side ---------------------------------------------------------------
// The program that carries the crash reporter exports these under their
// undecorated names (crash/engine/events/VexlorLogExports.def), so that the
// copies of the library in its other modules find them by name.

extern "C" {

// The procedure variables: a module may set them instead of (or beside)
// components. Null when unset.
extern TExceptionNotifyProc ExceptionNotify;
extern TExceptionNotifyProc HandledExceptionNotify;
extern TExceptionActionNotifyProc ExceptionActionNotify;
extern TExceptionErrorNotifyProc ExceptionErrorNotify;
extern TPasswordRequestProc PasswordRequest;
extern TStringsRequestProc CustomDataRequest;
extern TStringsRequestProc AttachedFilesRequest;
extern TStringsRequestProc CustomWebFieldsRequest;
extern TCustomButtonClickProc CustomButtonClickNotify;

// The receiving entries: each publishes a copy of the caller's record as this
// module's current record (its text copied, its exception object mapped to
// one this module knows, its options replaced by those this module holds for
// the same module), fires the local handlers with the caller's argument,
// copies a flag back, publishes this module's options to the shared copy and
// restores the previous record. A list's items are copied in first; items
// the handlers here add are added to the caller's list afterwards. A
// password is taken in from the caller's buffer and the result written back,
// cut to MaxLength (at most 255) characters. An unreadable record or
// argument fires nothing; nothing raised here reaches the caller.
void __stdcall VexlorLog_ExceptionNotifyEvent(const TVexlorExceptionRecord* record, bool* handled) noexcept;
void __stdcall VexlorLog_HandledExceptionNotifyEvent(const TVexlorExceptionRecord* record, bool* handled) noexcept;
void __stdcall VexlorLog_ExceptionActionNotifyEvent(const TVexlorExceptionRecord* record, std::uint32_t action,
                                                    bool* execute) noexcept;
void __stdcall VexlorLog_ExceptionErrorNotifyEvent(const TVexlorExceptionRecord* record, std::uint32_t action,
                                                   bool* retry) noexcept;
void __stdcall VexlorLog_CustomDataRequestEventEx(const TVexlorExceptionRecord* record,
                                                  IVexlorStrings* dataFields) noexcept;
void __stdcall VexlorLog_AttachedFilesRequestEvent(const TVexlorExceptionRecord* record,
                                                   IVexlorStrings* attachedFiles) noexcept;
void __stdcall VexlorLog_CustomWebFieldsRequestEvent(const TVexlorExceptionRecord* record,
                                                     IVexlorStrings* webFields) noexcept;
void __stdcall VexlorLog_CustomButtonClickEvent(const TVexlorExceptionRecord* record, bool* closeDialog) noexcept;
void __stdcall VexlorLog_PasswordRequestEventEx(const TVexlorExceptionRecord* record, unsigned char* password,
                                                std::int32_t maxLength) noexcept;
// Without a record: the current one, if any, goes to the handlers.
void __stdcall VexlorLog_PasswordRequestEvent(unsigned char* password, std::int32_t maxLength) noexcept;

}  // extern "C"

}  // namespace crash
