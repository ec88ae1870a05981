// Per-thread state of the raise path and the hook points.
#include <windows.h>

#include <cstdint>
#include <exception>

#include "rtl/ExceptInternal.h"
#include "rtl/SysUtils.h"

namespace rtl {

std::atomic<TRaiseHook> RaiseHook{nullptr};
std::atomic<TEndCatchHook> EndCatchHook{nullptr};
std::atomic<TExceptProc> ExceptProc{nullptr};
std::atomic<TExceptObjProc> ExceptObjProc{nullptr};
std::atomic<TUnhandledFilterProc> UnhandledFilterProc{nullptr};

namespace {

DWORD gStateSlot = TLS_OUT_OF_INDEXES;
TThreadExceptState gMainThreadState;
std::uintptr_t gOwnCodeBegin = 0;
std::uintptr_t gOwnCodeEnd = 0;

// The loader calls this before the program's own start-up code, once for the
// process and once for every thread that starts or ends later, so that a
// thread's block exists before its first raise and the raise path never
// allocates. A thread that ends without the loader (TerminateThread) leaves
// its block behind.
void NTAPI ExceptStateTlsCallback(void*, DWORD reason, void*)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (gStateSlot == TLS_OUT_OF_INDEXES) {
            gStateSlot = ::TlsAlloc();
            gMainThreadState.TopOfStack = detail::StackTop();
            if (gStateSlot != TLS_OUT_OF_INDEXES) ::TlsSetValue(gStateSlot, &gMainThreadState);
        }
        break;
    case DLL_THREAD_ATTACH:
        if (gStateSlot != TLS_OUT_OF_INDEXES) {
            auto* state = static_cast<TThreadExceptState*>(
                ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TThreadExceptState)));
            if (state != nullptr) state->TopOfStack = detail::StackTop();
            ::TlsSetValue(gStateSlot, state);
        }
        break;
    case DLL_THREAD_DETACH:
        if (gStateSlot != TLS_OUT_OF_INDEXES) {
            void* state = ::TlsGetValue(gStateSlot);
            ::TlsSetValue(gStateSlot, nullptr);
            if (state != nullptr && state != &gMainThreadState) ::HeapFree(::GetProcessHeap(), 0, state);
        }
        break;
    default:
        break;
    }
}

}  // namespace

// The C runtime's TLS directory runs every callback between its .CRT$XLA and
// .CRT$XLZ markers.
extern "C" {
__attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK rtl_except_state_tls_callback =
    ExceptStateTlsCallback;
}

namespace detail {

TThreadExceptState* ExceptStateOrNull() noexcept
{
    if (gStateSlot == TLS_OUT_OF_INDEXES) return nullptr;
    // TlsGetValue clears the last error on success; the raise path must not.
    const DWORD lastError = ::GetLastError();
    auto* state = static_cast<TThreadExceptState*>(::TlsGetValue(gStateSlot));
    ::SetLastError(lastError);
    return state;
}

void SetOwnCodeBounds(const void* begin, const void* end) noexcept
{
    gOwnCodeBegin = reinterpret_cast<std::uintptr_t>(begin);
    gOwnCodeEnd = reinterpret_cast<std::uintptr_t>(end);
}

}  // namespace detail

TThreadExceptState* CurrentExceptState() noexcept
{
    return detail::ExceptStateOrNull();
}

bool IsOwnCode(const void* address) noexcept
{
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    return value >= gOwnCodeBegin && value < gOwnCodeEnd;
}

std::string ExceptionClassName(const std::type_info* type)
{
    return type != nullptr ? ClassNameOf(*type) : std::string();
}

std::string ExceptionMessage(void* object, const std::type_info* type)
{
    if (object == nullptr || type == nullptr) return {};
    void* adjusted = object;
    if (typeid(Exception).__do_catch(type, &adjusted, 1)) return static_cast<Exception*>(adjusted)->Message();
    adjusted = object;
    if (typeid(std::exception).__do_catch(type, &adjusted, 1)) return static_cast<std::exception*>(adjusted)->what();
    return {};
}

TObject* RaisedObject(const TRaiseInfo& raise) noexcept
{
    if (raise.Object == nullptr || raise.Type == nullptr) return nullptr;
    void* object = raise.Object;
    // The catch matcher, asked as a handler for TObject would ask: it also
    // adjusts the pointer to the TObject part.
    if (!typeid(TObject).__do_catch(raise.Type, &object, 1)) return nullptr;
    return static_cast<TObject*>(object);
}

THookScope::THookScope() noexcept : FState(detail::ExceptStateOrNull())
{
    if (FState != nullptr) ++FState->HookDepth;
}

THookScope::~THookScope()
{
    if (FState != nullptr) --FState->HookDepth;
}

}  // namespace rtl
