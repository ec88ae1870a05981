// Warnings: the last error of the crash reporter, its debugger line and the
// box of a failed send; and the exception being handled, as the warnings and
// the internal-error hook read it.
#include <cstdio>
#include <exception>

#include "crash/engine/errors/ErrorsInternal.h"
#include "crash/engine/errors/InternalErrors.h"
#include "crash/engine/objects/ObjectsAndWindows.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/ExceptHooks.h"
#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"

namespace crash {

bool ShowInternalSendErrors = false;

namespace errors {
namespace {

int ShowMessageBox(const std::string& text, const char* caption, UINT flags) noexcept
{
    return ::MessageBoxA(nullptr, text.c_str(), caption, flags);
}

bool AskDebugger() noexcept
{
    return IsDebuggerAttached();
}

}  // namespace

std::atomic<TMessageBoxProc> MessageBoxProc{&ShowMessageBox};
std::atomic<TDebuggerTest> DebuggerTest{&AskDebugger};

std::string Hex8(std::uintptr_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

TCurrentException CurrentException()
{
    TCurrentException current;
    const std::exception_ptr handled = std::current_exception();
    if (!handled) return current;
    current.Object = rtl::ExceptionPtrObject(handled);
    current.Type = handled.__cxa_exception_type();
    const rtl::TThreadExceptState* state = rtl::CurrentExceptState();
    if (state && current.Object && state->LastRaise.Object == current.Object)
        current.Address = reinterpret_cast<std::uintptr_t>(state->LastRaise.Address);
    if (!current.Type) return current;  // a foreign exception: nothing to read
    rtl::TRaiseInfo raise{};
    raise.Object = current.Object;
    raise.Type = current.Type;
    if (const rtl::TObject* object = rtl::RaisedObject(raise)) {
        current.IsLanguage = IsLanguageException(object);
        current.IsAbort = IsObjectOfClassName(object, "EAbort") || IsObjectOfClassName(object, "EVexlorSocketError");
        if (const auto* exception = dynamic_cast<const rtl::Exception*>(object)) {
            current.HasMessage = true;
            current.Message = exception->Message();
            current.ClassName = SafeClassName(object);
        }
        return current;
    }
    // The standard library's exceptions read as the runtime's do.
    void* adjusted = current.Object;
    if (typeid(std::exception).__do_catch(current.Type, &adjusted, 1)) {
        current.HasMessage = true;
        current.Message = static_cast<const std::exception*>(adjusted)->what();
        current.ClassName = rtl::ExceptionClassName(current.Type);
    }
    return current;
}

}  // namespace errors

namespace {

struct TLastError {
    rtl::TCriticalSection Lock;
    TVexlorLogErrorCode Code = eeNone;
    std::string Message;
};

// Made at the first warning and never freed: a warning may come from a
// thread that runs while the process ends.
TLastError& LastError()
{
    static TLastError* last = new TLastError;
    return *last;
}

// The warning's debugger line when building it failed (no memory): cut to a
// buffer.
void FallbackLine(TVexlorLogErrorCode code, std::uintptr_t address, const char* message) noexcept
{
    const std::string_view name = ErrorCodeName(code);  // a literal, or empty
    char line[512];
    std::snprintf(line, sizeof line, "[WARNING] - Code: %s - Address: %08X - Message: \"%s\"",
                  name.empty() ? "" : name.data(), static_cast<unsigned>(address), message);
    ::OutputDebugStringA(line);
}

}  // namespace

std::string_view ErrorCodeName(TVexlorLogErrorCode code) noexcept
{
    static constexpr std::string_view kNames[] = {
        "eeNone",           "eeShowError",    "eeLogError",      "eeEmailMAPIError", "eeEmailShellError",
        "eeEmailSMTPError", "eeWebHTTPError", "eeWebHTTPSError", "eeWebFTPError",    "eeWebTrakerError",
    };
    return code < std::size(kNames) ? kNames[code] : std::string_view{};
}

void SetLastVexlorLogError(TVexlorLogErrorCode code, const std::string& message) noexcept
{
    std::uintptr_t address = 0;
    try {
        address = errors::CurrentException().Address;
        {
            TLastError& last = LastError();
            rtl::TCriticalSectionLock hold(last.Lock);
            last.Code = code;
            last.Message = message;
        }
        const std::string line = "[WARNING] - Code: " + std::string(ErrorCodeName(code)) +
                                 " - Address: " + errors::Hex8(address) + " - Message: \"" + message + "\"";
        ::OutputDebugStringA(line.c_str());
        if (ShowInternalSendErrors && code >= eeEmailSMTPError && code <= eeWebTrakerError &&
            InternalErrorSteps.SendProgressWindow())
            errors::MessageBoxProc.load()(message, "Error.", 0x242010);
    } catch (...) {
        FallbackLine(code, address, message.c_str());
    }
}

void ClearLastVexlorLogError() noexcept
{
    try {
        TLastError& last = LastError();
        rtl::TCriticalSectionLock hold(last.Lock);
        last.Code = eeNone;
        last.Message.clear();
    } catch (...) {
        // Only the first call allocates; without memory there is nothing to clear.
    }
}

void SetLastVexlorLogErrorFromException(TVexlorLogErrorCode code, const std::string& step) noexcept
{
    try {
        const errors::TCurrentException current = errors::CurrentException();
        SetLastVexlorLogError(code, current.HasMessage ? "[" + step + "] " + current.Message
                                                       : "General '" + step + "' error.");
    } catch (...) {
        FallbackLine(code, 0, step.c_str());
    }
}

TVexlorLogErrorCode GetLastVexlorLogErrorCode() noexcept
{
    try {
        TLastError& last = LastError();
        rtl::TCriticalSectionLock hold(last.Lock);
        return last.Code;
    } catch (...) {
        return eeNone;
    }
}

std::string GetLastVexlorLogErrorMsg()
{
    TLastError& last = LastError();
    rtl::TCriticalSectionLock hold(last.Lock);
    return last.Message;
}

}  // namespace crash
