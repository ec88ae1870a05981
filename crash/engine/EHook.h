// Code hooking: instruction lengths, detours, import-table patches and
// virtual-method slot hooks, all undone at shut-down.
//
// Thread: hooks are placed at start-up and removed at shut-down on one thread,
// while no other thread runs the code being patched (writing a 5-byte jump is
// not atomic). Only the virtual-method list is locked. Failures raise the
// EHookError family into the caller; the length decoder never raises.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"

namespace crash {

class EHookError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    RTL_CLASS(EHookError)
};
// A null routine or a routine name that the DLL does not export.
class EProcNull : public EHookError {
public:
    using EHookError::EHookError;
    RTL_CLASS(EProcNull)
};
// The code or the import table could not be patched.
class EHookingError : public EHookError {
public:
    using EHookError::EHookError;
    RTL_CLASS(EHookingError)
};
// Code in the shared area of the non-NT systems, which must not be patched.
class ESharedArea : public EHookError {
public:
    using EHookError::EHookError;
    RTL_CLASS(ESharedArea)
};

// Length of the instruction at `code`. True and the length when it is decoded;
// false and 1 for an opcode the decoder does not know. The caller makes sure
// that 15 bytes at `code` are readable.
bool GetAsmSize(const void* code, std::uint8_t& size) noexcept;

// Length of a routine up to and including its first return instruction (C2,
// C3, CA, CB) that ends within `maxLength` bytes. 0 for a maximum of 0; 1 when
// no return is found or the memory cannot be read. Checks memory itself.
std::size_t GetFunctionSize(const void* address, std::size_t maxLength) noexcept;

// Writes a 5-byte relative jump to `target` at `at` (protection lifted for the
// write and restored, instruction cache flushed). Raises EHookingError when
// the page cannot be made writable.
void JumpToMem(void* at, const void* target);

// Places a detour on `routine` (followed through a jump thunk first) that sends
// every call to `replacement`, and answers the trampoline through which the
// routine's own code can still be called. A routine that already has a detour
// answers its existing trampoline and nothing is written. Raises EProcNull for
// a null routine or replacement, ESharedArea for shared-area code on non-NT
// systems, EHookingError when the first instructions cannot be decoded or
// relocated or the code cannot be written. `name` is used in the messages.
void* HookProcedureEx(void* routine, void* replacement, const std::string& name);

// Removes the detour placed on `address`, which may be the routine or its
// trampoline: the overwritten bytes come back and the trampoline is freed.
// True when a detour was removed.
bool UnhookProcedure(void* address) noexcept;

// Patches the import table of the module named `moduleName` (a loaded module's
// name or file name) so that its imports of `routineName` from `dllName` call
// `replacement`. Answers the DLL's own export. Removable: undone by EHookDone.
// Raises EProcNull when the DLL does not export the routine, EHookingError
// when the module is not loaded, its headers are unreadable or nothing matched.
void* HookDllProcedureEx(const std::string& moduleName, const std::string& dllName, const std::string& routineName,
                         void* replacement);

// Reverts the removable import patches that installed `replacement` (in every
// module) and forgets them, so that EHookDone does not revert them again.
// True when any was reverted. Never raises.
bool UnhookDllProcedure(const void* replacement) noexcept;

// The same for every loaded module among `moduleNames` (names that are not
// loaded are skipped). `replaced` receives the DLL's own export address (null
// when it has none). True when any entry was patched. With `noRaise` set no
// exception escapes for a module that does not import the routine or a
// routine that does not exist.
bool TryHookDllProcedureEx(const std::vector<std::string>& moduleNames, const std::string& dllName,
                           const std::string& routineName, void* replacement, void*& replaced, bool noRaise);

// Replaces slot `slotIndex` of the virtual method table `vmt` by `replacement`
// and answers the method it held. The slot is written only when it lies inside
// a loaded module; otherwise nothing changes and the answer is null. Hooking a
// slot with the method it already holds answers the method saved when it was
// first hooked. Locked: safe from any thread.
void* HookVirtualMethod(void* const* vmt, int slotIndex, void* replacement) noexcept;
// Restores the slot; true when it was hooked.
bool UnhookVirtualMethod(void* const* vmt, int slotIndex) noexcept;

// The hooked virtual-method slots: class, old method, slot index. Freeing the
// list restores every slot, the most recent hook first.
class THookedMethodsList : public rtl::TObject {
public:
    struct THookedMethod {
        void* const* FClass;
        void* FOldMethod;
        int FSlot;
    };
    THookedMethodsList() = default;
    ~THookedMethodsList() override;
    THookedMethodsList(const THookedMethodsList&) = delete;
    THookedMethodsList& operator=(const THookedMethodsList&) = delete;

    void Lock() noexcept { FLock.Enter(); }
    void Unlock() noexcept { FLock.Leave(); }
    // The section Lock and Unlock take, for an rtl::TCriticalSectionLock.
    rtl::TCriticalSection& CriticalSection() noexcept { return FLock; }
    // Callers hold the lock.
    std::vector<THookedMethod>& Items() noexcept { return FItems; }

private:
    rtl::TCriticalSection FLock;
    std::vector<THookedMethod> FItems;
};

// Unit start-up ("EHook.Init"): creates the lists of import patches, hooked
// methods and detours. Hooking before it creates them on first use.
void EHookInit();
// Unit shut-down ("EHook.Done"): reverts every removable import patch, restores
// every virtual-method slot, then removes every detour, most recent first.
// Never raises; a hook that cannot be undone is left as it is.
void EHookDone() noexcept;

}  // namespace crash
