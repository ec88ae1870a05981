// The exported side: the procedure variables and the entries through which
// another module's copy of the library hands its events to this one.
#include <exception>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/events/EventsInternal.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/options/OptionsSharedMapping.h"
#include "rtl/CheckedMemory.h"
#include "rtl/ExceptHooks.h"
#include "rtl/System.h"

namespace crash {

extern "C" {
TExceptionNotifyProc ExceptionNotify = nullptr;
TExceptionNotifyProc HandledExceptionNotify = nullptr;
TExceptionActionNotifyProc ExceptionActionNotify = nullptr;
TExceptionErrorNotifyProc ExceptionErrorNotify = nullptr;
TPasswordRequestProc PasswordRequest = nullptr;
TStringsRequestProc CustomDataRequest = nullptr;
TStringsRequestProc AttachedFilesRequest = nullptr;
TStringsRequestProc CustomWebFieldsRequest = nullptr;
TCustomButtonClickProc CustomButtonClickNotify = nullptr;
}

namespace {

using namespace events;

// The options this module holds for Module: those its module list read from
// the module's data. Null when it has none or there is no list.
TVexlorModuleOptions* ModuleOptionsHeldFor(HMODULE Module)
{
    if (Module == nullptr || ModulesList() == nullptr) return nullptr;
    rtl::TCriticalSectionLock lock(ModulesListLock());
    const PVexlorModuleInfo info = ModuleInfoByHandle(Module);
    return info != nullptr ? info->ExtraInformation.Options.get() : nullptr;
}

// The module whose options a caller's options object is (an object of
// another copy of the library built from these headers). Only its field is
// read, after the whole object was found readable: the object tests cannot
// vouch for it, since its type information belongs to the caller's own copy
// of the C++ runtime.
HMODULE OptionsModule(const TVexlorModuleOptions* Options) noexcept
{
    if (Options == nullptr || !rtl::IsReadableMemory(Options, sizeof(TVexlorModuleOptions))) return nullptr;
    return Options->ModuleHandle();
}

// While it lives, a copy of the caller's record is this module's current
// record: its text copied, its object one this module can use, its options
// this module's own for the same module. When it goes, the mapped object is
// freed, the options are published for the caller to read back, and the
// previous record comes back.
class TReceivedRecord {
public:
    explicit TReceivedRecord(const TVexlorExceptionRecord* Caller) : FSaved(CurrentExceptionRecord())
    {
        if (Caller == nullptr || !rtl::ReadValue(Caller, FRecord)) return;
        CopyLogText();
        MapExceptionObject();
        FRecord.CurrentModuleOptions = ModuleOptionsHeldFor(OptionsModule(FRecord.CurrentModuleOptions));
        FValid = true;
        SetCurrentExceptionRecord(&FRecord);
    }
    ~TReceivedRecord()
    {
        if (!FValid) return;
        FMapped = nullptr;
        try {
            if (FRecord.CurrentModuleOptions != nullptr) PublishSharedOptions(FRecord.CurrentModuleOptions);
        } catch (...) {}
        SetCurrentExceptionRecord(FSaved);
    }
    TReceivedRecord(const TReceivedRecord&) = delete;
    TReceivedRecord& operator=(const TReceivedRecord&) = delete;

    bool Valid() const noexcept { return FValid; }

private:
    void CopyLogText()
    {
        if (FRecord.LogText != nullptr && FRecord.LogTextLength > 0) {
            FLogText.resize(FRecord.LogTextLength);
            FLogText.resize(rtl::ReadMemoryPrefix(FRecord.LogText, FLogText.data(), FLogText.size()));
        }
        FRecord.LogText = FLogText.data();
        FRecord.LogTextLength = static_cast<std::uint32_t>(FLogText.size());
    }

    // An object of a class of this module is used as it is; anything else is
    // only known here through the system's record, if there is one.
    void MapExceptionObject()
    {
        void* const object = FRecord.ExceptionObject;
        const void* vtable = nullptr;
        if (object != nullptr && rtl::IsValidObject(object) && rtl::ReadValue(object, vtable) &&
            ModuleHandleByAddr(vtable) == LibraryModuleHandle())
            return;
        FRecord.ExceptionObject = nullptr;
        EXCEPTION_RECORD system{};
        if (FRecord.Win32ExceptionRecord == nullptr || !rtl::ReadValue(FRecord.Win32ExceptionRecord, system)) return;
        CONTEXT context{};
        if (FRecord.Win32Context != nullptr && !rtl::ReadValue(FRecord.Win32Context, context)) context = CONTEXT{};
        const rtl::TExceptObjProc hook = rtl::ExceptObjProc.load(std::memory_order_acquire);
        FMapped = hook != nullptr ? hook(system, context) : rtl::MapSystemException(system, context);
        if (!FMapped) return;
        rtl::TRaiseInfo raised{};
        raised.Object = rtl::ExceptionPtrObject(FMapped);
        raised.Type = FMapped.__cxa_exception_type();
        rtl::TObject* mapped = rtl::RaisedObject(raised);
        FRecord.ExceptionObject = mapped != nullptr ? static_cast<void*>(mapped) : raised.Object;
    }

    TVexlorExceptionRecord* const FSaved;
    TVexlorExceptionRecord FRecord{};
    std::string FLogText;
    std::exception_ptr FMapped;
    bool FValid = false;
};

// A flag event: the caller's flag in, the handlers here, the flag back out
// (also when a handler raised).
template <class TFire>
void ReceiveFlag(const TVexlorExceptionRecord* Record, bool* CallerFlag, bool& Shared, TFire&& Fire) noexcept
{
    bool value = false;
    if (CallerFlag == nullptr || !rtl::ReadValue(CallerFlag, value)) return;
    try {
        const TReceivedRecord received(Record);
        if (!received.Valid()) return;
        Shared = value;
        try {
            Fire();
        } catch (...) {}
        *CallerFlag = Shared;
    } catch (...) {}
}

// A list event: the caller's items copied into the list here, the handlers
// here, and what they added there added to the caller's list.
void ReceiveStrings(const TVexlorExceptionRecord* Record, IVexlorStrings* Caller, TVexlorStrings& Local,
                    void (*Fire)()) noexcept
{
    const void* vtable = nullptr;
    if (Caller == nullptr || !rtl::ReadValue(Caller, vtable) || !rtl::IsReadableMemory(vtable, 3 * sizeof(void*)))
        return;
    try {
        const TReceivedRecord received(Record);
        if (!received.Valid()) return;
        Local.Clear();
        const std::int32_t count = Caller->Count();
        for (std::int32_t i = 0; i < count; ++i) {
            std::uint32_t length = 0;
            const char* text = Caller->Item(i, &length);
            std::string item(text != nullptr ? length : 0, '\0');
            if (!item.empty()) item.resize(rtl::ReadMemoryPrefix(text, item.data(), item.size()));
            Local.Add(std::move(item));
        }
        const std::size_t copied = Local.Strings().size();
        try {
            Fire();
        } catch (...) {}
        const std::vector<std::string>& items = Local.Strings();
        for (std::size_t i = copied; i < items.size(); ++i)
            Caller->Add(items[i].data(), static_cast<std::uint32_t>(items[i].size()));
    } catch (...) {}
}

// The password handlers on the caller's text, the result back into its buffer.
void ReceivePassword(unsigned char* Password, std::int32_t MaxLength) noexcept
{
    try {
        TVexlorEventData& data = VexlorEventData();
        if (!ReadPasswordBuffer(Password, MaxLength, data.Password)) return;
        try {
            FirePasswordRequest();
        } catch (...) {}
        WritePasswordBuffer(data.Password, Password, MaxLength);
    } catch (...) {}
}

}  // namespace

extern "C" {

void __stdcall VexlorLog_ExceptionNotifyEvent(const TVexlorExceptionRecord* Record, bool* Handled) noexcept
{
    ReceiveFlag(Record, Handled, VexlorEventData().Handled, [] { FireExceptionNotify(false); });
}

void __stdcall VexlorLog_HandledExceptionNotifyEvent(const TVexlorExceptionRecord* Record, bool* Handled) noexcept
{
    ReceiveFlag(Record, Handled, VexlorEventData().Handled, [] { FireExceptionNotify(true); });
}

void __stdcall VexlorLog_ExceptionActionNotifyEvent(const TVexlorExceptionRecord* Record, std::uint32_t Action,
                                                    bool* Execute) noexcept
{
    ReceiveFlag(Record, Execute, VexlorEventData().Execute, [Action] {
        FireExceptionActionNotify(static_cast<TVexlorActionType>(Action), VexlorEventData().Execute);
    });
}

void __stdcall VexlorLog_ExceptionErrorNotifyEvent(const TVexlorExceptionRecord* Record, std::uint32_t Action,
                                                   bool* Retry) noexcept
{
    ReceiveFlag(Record, Retry, VexlorEventData().Retry, [Action] {
        FireExceptionErrorNotify(static_cast<TVexlorActionType>(Action), VexlorEventData().Retry);
    });
}

void __stdcall VexlorLog_CustomDataRequestEventEx(const TVexlorExceptionRecord* Record,
                                                  IVexlorStrings* DataFields) noexcept
{
    ReceiveStrings(Record, DataFields, VexlorEventData().CustomData, &FireCustomDataRequest);
}

void __stdcall VexlorLog_AttachedFilesRequestEvent(const TVexlorExceptionRecord* Record,
                                                   IVexlorStrings* AttachedFiles) noexcept
{
    ReceiveStrings(Record, AttachedFiles, VexlorEventData().AttachedFiles, &FireAttachedFilesRequest);
}

void __stdcall VexlorLog_CustomWebFieldsRequestEvent(const TVexlorExceptionRecord* Record,
                                                     IVexlorStrings* WebFields) noexcept
{
    ReceiveStrings(Record, WebFields, VexlorEventData().WebFields, &FireCustomWebFieldsRequest);
}

void __stdcall VexlorLog_CustomButtonClickEvent(const TVexlorExceptionRecord* Record, bool* CloseDialog) noexcept
{
    ReceiveFlag(Record, CloseDialog, VexlorEventData().CloseDialog, [] { FireCustomButtonClick(); });
}

void __stdcall VexlorLog_PasswordRequestEventEx(const TVexlorExceptionRecord* Record, unsigned char* Password,
                                                std::int32_t MaxLength) noexcept
{
    try {
        const TReceivedRecord received(Record);
        if (received.Valid()) ReceivePassword(Password, MaxLength);
    } catch (...) {}
}

void __stdcall VexlorLog_PasswordRequestEvent(unsigned char* Password, std::int32_t MaxLength) noexcept
{
    ReceivePassword(Password, MaxLength);
}

}  // extern "C"

}  // namespace crash
