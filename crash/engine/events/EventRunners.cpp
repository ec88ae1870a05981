// The runners: forwarding to the module that raised, and firing here.
#include <algorithm>
#include <cstring>

#include "crash/engine/EDebugData.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/events/EventsInternal.h"
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Libraries.h"

namespace crash {
namespace events {

bool IsForwardingTarget(HMODULE Module)
{
    if (Module == nullptr || Module == LibraryModuleHandle()) return false;
    const std::uint16_t word = GetVexlorLogModuleVersion(Module);
    return word != 0 && IsCompatibleLibraryVersion(NormalizeVexlorVersion(word));
}

bool ReadPasswordBuffer(const unsigned char* Buffer, std::int32_t MaxLength, std::string& Password) noexcept
{
    unsigned char length = 0;
    if (Buffer == nullptr || !rtl::ReadValue(Buffer, length)) return false;
    const auto count = std::min<std::int32_t>(length, ClampPasswordLength(MaxLength));
    char text[kMaxPasswordLength];
    if (count > 0 && !rtl::ReadMemory(Buffer + 1, text, static_cast<std::size_t>(count))) return false;
    try {
        Password.assign(text, static_cast<std::size_t>(count));
    } catch (...) {
        return false;
    }
    return true;
}

void WritePasswordBuffer(const std::string& Password, unsigned char* Buffer, std::int32_t MaxLength) noexcept
{
    if (Buffer == nullptr) return;
    const std::size_t count =
        std::min<std::size_t>(Password.size(), static_cast<std::size_t>(ClampPasswordLength(MaxLength)));
    Buffer[0] = static_cast<unsigned char>(count);
    std::memcpy(Buffer + 1, Password.data(), count);
}

void FireExceptionNotify(bool HandledException)
{
    TVexlorEventData& data = VexlorEventData();
    FireComponents(
        [&](const TVexlorLog& log) -> const TExceptionNotify& {
            return HandledException ? log.OnHandledExceptionNotify() : log.OnExceptionNotify();
        },
        [&](const TExceptionNotify& handler) { handler(CurrentRecordCopy(), data.Handled); });
    if (const TExceptionNotifyProc proc = LoadProc(HandledException ? HandledExceptionNotify : ExceptionNotify))
        proc(CurrentRecordCopy(), &data.Handled);
}

void FirePasswordRequest()
{
    TVexlorEventData& data = VexlorEventData();
    FireComponents([](const TVexlorLog& log) -> const TPasswordRequestNotify& { return log.OnPasswordRequest(); },
                   [&](const TPasswordRequestNotify& handler) { handler(CurrentRecordCopy(), data.Password); });
    if (const TPasswordRequestProc proc = LoadProc(PasswordRequest)) {
        unsigned char buffer[kMaxPasswordLength + 1];
        WritePasswordBuffer(data.Password, buffer, kMaxPasswordLength);
        proc(CurrentRecordCopy(), buffer, kMaxPasswordLength);
        // What the procedure left, however long it says it is.
        data.Password.assign(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
    }
}

namespace {

template <class TGet>
void FireStrings(TGet&& Get, TStringsRequestProc& Variable, TVexlorStrings& List)
{
    FireComponents(Get, [&](const auto& handler) { handler(CurrentRecordCopy(), List); });
    if (const TStringsRequestProc proc = LoadProc(Variable)) proc(CurrentRecordCopy(), &List);
}

}  // namespace

void FireCustomDataRequest()
{
    FireStrings([](const TVexlorLog& log) -> const TCustomDataRequestNotify& { return log.OnCustomDataRequest(); },
                CustomDataRequest, VexlorEventData().CustomData);
}

void FireAttachedFilesRequest()
{
    FireStrings(
        [](const TVexlorLog& log) -> const TAttachedFilesRequestNotify& { return log.OnAttachedFilesRequest(); },
        AttachedFilesRequest, VexlorEventData().AttachedFiles);
}

void FireCustomWebFieldsRequest()
{
    FireStrings(
        [](const TVexlorLog& log) -> const TCustomWebFieldsRequestNotify& { return log.OnCustomWebFieldsRequest(); },
        CustomWebFieldsRequest, VexlorEventData().WebFields);
}

void FireCustomButtonClick()
{
    TVexlorEventData& data = VexlorEventData();
    FireComponents(
        [](const TVexlorLog& log) -> const TCustomButtonClickNotify& { return log.OnCustomButtonClickNotify(); },
        [&](const TCustomButtonClickNotify& handler) { handler(CurrentRecordCopy(), data.CloseDialog); });
    if (const TCustomButtonClickProc proc = LoadProc(CustomButtonClickNotify))
        proc(CurrentRecordCopy(), &data.CloseDialog);
}

}  // namespace events

namespace {

using namespace events;

// Calls the entry Name of the module that raised the current exception with
// the current record and Args; skipped without a report, a module to
// forward to, or the entry.
template <class TEntry, class... TArgs>
void Forward(const char* Name, TArgs... Args)
{
    const TVexlorExceptionRecord* record = CurrentExceptionRecord();
    if (record == nullptr) return;
    const HMODULE module = EventForwardingModule(record->ExceptionAddress);
    if (module == nullptr) return;
    if (TEntry* entry = rtl::EntryPoint<TEntry>(module, Name)) entry(record, Args...);
}

}  // namespace

HMODULE EventForwardingModule(const void* ExceptionAddress)
{
    const HMODULE module = ExceptionAddress != nullptr ? ModuleHandleByAddr(ExceptionAddress) : nullptr;
    return IsForwardingTarget(module) ? module : nullptr;
}

void DoExceptionNotify()
{
    Forward<decltype(VexlorLog_ExceptionNotifyEvent)>("VexlorLog_ExceptionNotifyEvent", &VexlorEventData().Handled);
    FireExceptionNotify(false);
}

void DoHandledExceptionNotify()
{
    Forward<decltype(VexlorLog_HandledExceptionNotifyEvent)>("VexlorLog_HandledExceptionNotifyEvent",
                                                             &VexlorEventData().Handled);
    FireExceptionNotify(true);
}

void ForwardExceptionActionNotify(TVexlorActionType Action, bool& Execute)
{
    Forward<decltype(VexlorLog_ExceptionActionNotifyEvent)>("VexlorLog_ExceptionActionNotifyEvent",
                                                            static_cast<std::uint32_t>(Action), &Execute);
}

void FireExceptionActionNotify(TVexlorActionType Action, bool& Execute)
{
    FireComponents([](const TVexlorLog& log) -> const TExceptionActionNotify& { return log.OnExceptionActionNotify(); },
                   [&](const TExceptionActionNotify& handler) { handler(CurrentRecordCopy(), Action, Execute); });
    if (const TExceptionActionNotifyProc proc = LoadProc(ExceptionActionNotify))
        proc(CurrentRecordCopy(), static_cast<std::uint32_t>(Action), &Execute);
}

void ForwardExceptionErrorNotify(TVexlorActionType Action, bool& Retry)
{
    Forward<decltype(VexlorLog_ExceptionErrorNotifyEvent)>("VexlorLog_ExceptionErrorNotifyEvent",
                                                           static_cast<std::uint32_t>(Action), &Retry);
}

void FireExceptionErrorNotify(TVexlorActionType Action, bool& Retry)
{
    FireComponents([](const TVexlorLog& log) -> const TExceptionErrorNotify& { return log.OnExceptionErrorNotify(); },
                   [&](const TExceptionErrorNotify& handler) { handler(CurrentRecordCopy(), Action, Retry); });
    if (const TExceptionErrorNotifyProc proc = LoadProc(ExceptionErrorNotify))
        proc(CurrentRecordCopy(), static_cast<std::uint32_t>(Action), &Retry);
}

void DoCustomDataRequest()
{
    IVexlorStrings* list = &VexlorEventData().CustomData;
    Forward<decltype(VexlorLog_CustomDataRequestEventEx)>("VexlorLog_CustomDataRequestEventEx", list);
    FireCustomDataRequest();
}

void DoAttachedFilesRequest()
{
    IVexlorStrings* list = &VexlorEventData().AttachedFiles;
    Forward<decltype(VexlorLog_AttachedFilesRequestEvent)>("VexlorLog_AttachedFilesRequestEvent", list);
    FireAttachedFilesRequest();
}

void DoCustomWebFieldsRequest()
{
    IVexlorStrings* list = &VexlorEventData().WebFields;
    Forward<decltype(VexlorLog_CustomWebFieldsRequestEvent)>("VexlorLog_CustomWebFieldsRequestEvent", list);
    FireCustomWebFieldsRequest();
}

void DoCustomButtonClick()
{
    Forward<decltype(VexlorLog_CustomButtonClickEvent)>("VexlorLog_CustomButtonClickEvent",
                                                        &VexlorEventData().CloseDialog);
    FireCustomButtonClick();
}

bool DoPasswordRequest(HMODULE Module)
{
    if (Module == nullptr) return false;
    if (Module == LibraryModuleHandle()) {
        FirePasswordRequest();
        return true;
    }
    if (!IsForwardingTarget(Module)) return false;
    TVexlorEventData& data = VexlorEventData();
    unsigned char buffer[kMaxPasswordLength + 1];
    WritePasswordBuffer(data.Password, buffer, kMaxPasswordLength);
    if (auto* extended =
            rtl::EntryPoint<decltype(VexlorLog_PasswordRequestEventEx)>(Module, "VexlorLog_PasswordRequestEventEx")) {
        const TVexlorExceptionRecord record = CurrentRecordCopy();
        extended(&record, buffer, kMaxPasswordLength);
    } else if (auto* plain = rtl::EntryPoint<decltype(VexlorLog_PasswordRequestEvent)>(
                   Module, "VexlorLog_PasswordRequestEvent")) {
        plain(buffer, kMaxPasswordLength);
    } else {
        return false;
    }
    data.Password.assign(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
    return true;
}

}  // namespace crash
