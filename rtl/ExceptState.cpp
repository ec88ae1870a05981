// Per-thread state of the raise path and the hook points.
#include <windows.h>

#include <algorithm>
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
            gMainThreadState.TopOfStack = CurrentStackTop();
            if (gStateSlot != TLS_OUT_OF_INDEXES) ::TlsSetValue(gStateSlot, &gMainThreadState);
        }
        break;
    case DLL_THREAD_ATTACH:
        if (gStateSlot != TLS_OUT_OF_INDEXES) {
            auto* state = static_cast<TThreadExceptState*>(
                ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TThreadExceptState)));
            if (state != nullptr) state->TopOfStack = CurrentStackTop();
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
    default: break;
    }
}

}  // namespace

// The table of our own code, reserved here with zeros in a section of its own
// and filled by the build's post-link step (tools/own-code-table.py) with the
// ranges of .text that came from the build's own objects and libraries. An
// image the step did not fill has a count of 0: no own code at all.
extern "C" {
__attribute__((section(".rtlown"), used))
const detail::TOwnCodeTable rtl_own_code_table = {detail::kOwnCodeSignature, detail::kOwnCodeCapacity, 0, 0, {}};
}

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

}  // namespace detail

TThreadExceptState* CurrentExceptState() noexcept
{
    return detail::ExceptStateOrNull();
}

bool IsOwnCode(const void* address) noexcept
{
    // The compiler sees only the zeros the table is linked with: the words
    // the post-link step wrote are read through a pointer it cannot follow.
    const detail::TOwnCodeTable* table = &rtl_own_code_table;
    asm("" : "+r"(table));
    const std::uint32_t count = table->Count;
    if (table->Signature != detail::kOwnCodeSignature || count == 0 || count > table->Capacity) return false;
    const auto base = reinterpret_cast<std::uintptr_t>(&__ImageBase);
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    if (value < base) return false;
    const std::uintptr_t rva = value - base;
    // The last range that begins at or before the address is the only one
    // that can hold it.
    const detail::TOwnCodeRange* end = table->Ranges + count;
    const detail::TOwnCodeRange* next =
        std::upper_bound(table->Ranges, end, rva,
                         [](std::uintptr_t key, const detail::TOwnCodeRange& range) { return key < range.Begin; });
    return next != table->Ranges && rva < next[-1].End;
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

void* ExceptionPtrObject(const std::exception_ptr& pointer) noexcept
{
    // Its only member, by the library's layout.
    return *reinterpret_cast<void* const*>(&pointer);
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
