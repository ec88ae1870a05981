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

bool IsForwardingTarget(HMODULE module)
{
    if (module == nullptr || module == LibraryModuleHandle()) return false;
    const std::uint16_t word = GetVexlorLogModuleVersion(module);
    return word != 0 && IsCompatibleLibraryVersion(NormalizeVexlorVersion(word));
}

bool ReadPasswordBuffer(const unsigned char* buffer, std::int32_t maxLength, std::string& password) noexcept
{
    unsigned char length = 0;
    if (buffer == nullptr || !rtl::ReadValue(buffer, length)) return false;
    const auto count = std::min<std::int32_t>(length, ClampPasswordLength(maxLength));
    char text[kMaxPasswordLength];
    if (count > 0 && !rtl::ReadMemory(buffer + 1, text, static_cast<std::size_t>(count))) return false;
    try {
        password.assign(text, static_cast<std::size_t>(count));
    } catch (...) {
        return false;
    }
    return true;
}

void WritePasswordBuffer(const std::string& password, unsigned char* buffer, std::int32_t maxLength) noexcept
{
    if (buffer == nullptr) return;
    const std::size_t count =
        std::min<std::size_t>(password.size(), static_cast<std::size_t>(ClampPasswordLength(maxLength)));
    buffer[0] = static_cast<unsigned char>(count);
    std::memcpy(buffer + 1, password.data(), count);
}

void FireExceptionNotify(bool handledException)
{
    TVexlorEventData& data = VexlorEventData();
    FireComponents(
        [&](const TVexlorLog& log) -> const TExceptionNotify& {
            return handledException ? log.OnHandledExceptionNotify() : log.OnExceptionNotify();
        },
        [&](const TExceptionNotify& handler) { handler(CurrentRecordCopy(), data.Handled); });
    if (const TExceptionNotifyProc proc = LoadProc(handledException ? HandledExceptionNotify : ExceptionNotify))
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
void FireStrings(TGet&& get, TStringsRequestProc& variable, TVexlorStrings& list)
{
    FireComponents(get, [&](const auto& handler) { handler(CurrentRecordCopy(), list); });
    if (const TStringsRequestProc proc = LoadProc(variable)) proc(CurrentRecordCopy(), &list);
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

// Calls the entry name of the module that raised the current exception with
// the current record and args; skipped without a report, a module to
// forward to, or the entry.
template <class TEntry, class... TArgs>
void Forward(const char* name, TArgs... args)
{
    const TVexlorExceptionRecord* record = CurrentExceptionRecord();
    if (record == nullptr) return;
    const HMODULE module = EventForwardingModule(record->ExceptionAddress);
    if (module == nullptr) return;
    if (TEntry* entry = rtl::EntryPoint<TEntry>(module, name)) entry(record, args...);
}

}  // namespace

HMODULE EventForwardingModule(const void* exceptionAddress)
{
    const HMODULE module = exceptionAddress != nullptr ? ModuleHandleByAddr(exceptionAddress) : nullptr;
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

void ForwardExceptionActionNotify(TVexlorActionType action, bool& execute)
{
    Forward<decltype(VexlorLog_ExceptionActionNotifyEvent)>("VexlorLog_ExceptionActionNotifyEvent",
                                                            static_cast<std::uint32_t>(action), &execute);
}

void FireExceptionActionNotify(TVexlorActionType action, bool& execute)
{
    FireComponents([](const TVexlorLog& log) -> const TExceptionActionNotify& { return log.OnExceptionActionNotify(); },
                   [&](const TExceptionActionNotify& handler) { handler(CurrentRecordCopy(), action, execute); });
    if (const TExceptionActionNotifyProc proc = LoadProc(ExceptionActionNotify))
        proc(CurrentRecordCopy(), static_cast<std::uint32_t>(action), &execute);
}

void ForwardExceptionErrorNotify(TVexlorActionType action, bool& retry)
{
    Forward<decltype(VexlorLog_ExceptionErrorNotifyEvent)>("VexlorLog_ExceptionErrorNotifyEvent",
                                                           static_cast<std::uint32_t>(action), &retry);
}

void FireExceptionErrorNotify(TVexlorActionType action, bool& retry)
{
    FireComponents([](const TVexlorLog& log) -> const TExceptionErrorNotify& { return log.OnExceptionErrorNotify(); },
                   [&](const TExceptionErrorNotify& handler) { handler(CurrentRecordCopy(), action, retry); });
    if (const TExceptionErrorNotifyProc proc = LoadProc(ExceptionErrorNotify))
        proc(CurrentRecordCopy(), static_cast<std::uint32_t>(action), &retry);
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

bool DoPasswordRequest(HMODULE module)
{
    if (module == nullptr) return false;
    if (module == LibraryModuleHandle()) {
        FirePasswordRequest();
        return true;
    }
    if (!IsForwardingTarget(module)) return false;
    TVexlorEventData& data = VexlorEventData();
    unsigned char buffer[kMaxPasswordLength + 1];
    WritePasswordBuffer(data.Password, buffer, kMaxPasswordLength);
    if (auto* extended =
            rtl::EntryPoint<decltype(VexlorLog_PasswordRequestEventEx)>(module, "VexlorLog_PasswordRequestEventEx")) {
        const TVexlorExceptionRecord record = CurrentRecordCopy();
        extended(&record, buffer, kMaxPasswordLength);
    } else if (auto* plain = rtl::EntryPoint<decltype(VexlorLog_PasswordRequestEvent)>(
                   module, "VexlorLog_PasswordRequestEvent")) {
        plain(buffer, kMaxPasswordLength);
    } else {
        return false;
    }
    data.Password.assign(reinterpret_cast<const char*>(buffer + 1), buffer[0]);
    return true;
}

}  // namespace crash
