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

// The options this module holds for module: those its module list read from
// the module's data. Null when it has none or there is no list.
TVexlorModuleOptions* ModuleOptionsHeldFor(HMODULE module)
{
    if (module == nullptr || ModulesList() == nullptr) return nullptr;
    rtl::TCriticalSectionLock lock(ModulesListLock());
    const PVexlorModuleInfo info = ModuleInfoByHandle(module);
    return info != nullptr ? info->ExtraInformation.Options.get() : nullptr;
}

// The module whose options a caller's options object is (an object of
// another copy of the library built from these headers). Only its field is
// read, after the whole object was found readable: the object tests cannot
// vouch for it, since its type information belongs to the caller's own copy
// of the C++ runtime.
HMODULE OptionsModule(const TVexlorModuleOptions* options) noexcept
{
    if (options == nullptr || !rtl::IsReadableMemory(options, sizeof(TVexlorModuleOptions))) return nullptr;
    return options->ModuleHandle();
}

// While it lives, a copy of the caller's record is this module's current
// record: its text copied, its object one this module can use, its options
// this module's own for the same module. When it goes, the mapped object is
// freed, the options are published for the caller to read back, and the
// previous record comes back.
class TReceivedRecord {
public:
    explicit TReceivedRecord(const TVexlorExceptionRecord* caller) : FSaved(CurrentExceptionRecord())
    {
        if (caller == nullptr || !rtl::ReadValue(caller, FRecord)) return;
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
void ReceiveFlag(const TVexlorExceptionRecord* record, bool* callerFlag, bool& shared, TFire&& fire) noexcept
{
    bool value = false;
    if (callerFlag == nullptr || !rtl::ReadValue(callerFlag, value)) return;
    try {
        const TReceivedRecord received(record);
        if (!received.Valid()) return;
        shared = value;
        try {
            fire();
        } catch (...) {}
        *callerFlag = shared;
    } catch (...) {}
}

// A list event: the caller's items copied into the list here, the handlers
// here, and what they added there added to the caller's list.
void ReceiveStrings(const TVexlorExceptionRecord* record, IVexlorStrings* caller, TVexlorStrings& local,
                    void (*fire)()) noexcept
{
    const void* vtable = nullptr;
    if (caller == nullptr || !rtl::ReadValue(caller, vtable) || !rtl::IsReadableMemory(vtable, 3 * sizeof(void*)))
        return;
    try {
        const TReceivedRecord received(record);
        if (!received.Valid()) return;
        local.Clear();
        const std::int32_t count = caller->Count();
        for (std::int32_t i = 0; i < count; ++i) {
            std::uint32_t length = 0;
            const char* text = caller->Item(i, &length);
            std::string item(text != nullptr ? length : 0, '\0');
            if (!item.empty()) item.resize(rtl::ReadMemoryPrefix(text, item.data(), item.size()));
            local.Add(std::move(item));
        }
        const std::size_t copied = local.Strings().size();
        try {
            fire();
        } catch (...) {}
        const std::vector<std::string>& items = local.Strings();
        for (std::size_t i = copied; i < items.size(); ++i)
            caller->Add(items[i].data(), static_cast<std::uint32_t>(items[i].size()));
    } catch (...) {}
}

// The password handlers on the caller's text, the result back into its buffer.
void ReceivePassword(unsigned char* password, std::int32_t maxLength) noexcept
{
    try {
        TVexlorEventData& data = VexlorEventData();
        if (!ReadPasswordBuffer(password, maxLength, data.Password)) return;
        try {
            FirePasswordRequest();
        } catch (...) {}
        WritePasswordBuffer(data.Password, password, maxLength);
    } catch (...) {}
}

}  // namespace

extern "C" {

void __stdcall VexlorLog_ExceptionNotifyEvent(const TVexlorExceptionRecord* record, bool* handled) noexcept
{
    ReceiveFlag(record, handled, VexlorEventData().Handled, [] { FireExceptionNotify(false); });
}

void __stdcall VexlorLog_HandledExceptionNotifyEvent(const TVexlorExceptionRecord* record, bool* handled) noexcept
{
    ReceiveFlag(record, handled, VexlorEventData().Handled, [] { FireExceptionNotify(true); });
}

void __stdcall VexlorLog_ExceptionActionNotifyEvent(const TVexlorExceptionRecord* record, std::uint32_t action,
                                                    bool* execute) noexcept
{
    ReceiveFlag(record, execute, VexlorEventData().Execute, [action] {
        FireExceptionActionNotify(static_cast<TVexlorActionType>(action), VexlorEventData().Execute);
    });
}

void __stdcall VexlorLog_ExceptionErrorNotifyEvent(const TVexlorExceptionRecord* record, std::uint32_t action,
                                                   bool* retry) noexcept
{
    ReceiveFlag(record, retry, VexlorEventData().Retry, [action] {
        FireExceptionErrorNotify(static_cast<TVexlorActionType>(action), VexlorEventData().Retry);
    });
}

void __stdcall VexlorLog_CustomDataRequestEventEx(const TVexlorExceptionRecord* record,
                                                  IVexlorStrings* dataFields) noexcept
{
    ReceiveStrings(record, dataFields, VexlorEventData().CustomData, &FireCustomDataRequest);
}

void __stdcall VexlorLog_AttachedFilesRequestEvent(const TVexlorExceptionRecord* record,
                                                   IVexlorStrings* attachedFiles) noexcept
{
    ReceiveStrings(record, attachedFiles, VexlorEventData().AttachedFiles, &FireAttachedFilesRequest);
}

void __stdcall VexlorLog_CustomWebFieldsRequestEvent(const TVexlorExceptionRecord* record,
                                                     IVexlorStrings* webFields) noexcept
{
    ReceiveStrings(record, webFields, VexlorEventData().WebFields, &FireCustomWebFieldsRequest);
}

void __stdcall VexlorLog_CustomButtonClickEvent(const TVexlorExceptionRecord* record, bool* closeDialog) noexcept
{
    ReceiveFlag(record, closeDialog, VexlorEventData().CloseDialog, [] { FireCustomButtonClick(); });
}

void __stdcall VexlorLog_PasswordRequestEventEx(const TVexlorExceptionRecord* record, unsigned char* password,
                                                std::int32_t maxLength) noexcept
{
    try {
        const TReceivedRecord received(record);
        if (received.Valid()) ReceivePassword(password, maxLength);
    } catch (...) {}
}

void __stdcall VexlorLog_PasswordRequestEvent(unsigned char* password, std::int32_t maxLength) noexcept
{
    ReceivePassword(password, maxLength);
}

}  // extern "C"

}  // namespace crash
