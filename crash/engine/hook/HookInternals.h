// Shared internals of the hooking unit: code writes and the detailed
// instruction-length decoder. Memory is read through rtl/CheckedMemory.h. Private to crash/engine/hook.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "crash/engine/ECore.h"
#include "crash/engine/EHook.h"

namespace crash::hook_detail {

// ConvertAddress for pointers: the target of a jump thunk, else `address`.
inline void* FollowJumpThunk(void* address) noexcept
{
    return reinterpret_cast<void*>(ConvertAddress(reinterpret_cast<std::uintptr_t>(address)));
}

// Writes `count` bytes at `at` with the page protection lifted for the write
// and restored after it, then flushes the instruction cache. False when the
// protection could not be lifted (nothing is written then).
bool WriteCode(void* at, const void* bytes, std::size_t count) noexcept;

// True on the non-NT systems (whose upper 2 GB are shared by all processes).
bool IsWin9x() noexcept;

// What the length decoder learnt about one instruction.
struct TAsmInfo {
    std::uint8_t FLength = 1;    // whole instruction, prefixes included
    std::uint8_t FPrefixes = 0;  // number of prefix bytes
    std::uint8_t FOpcode = 0;    // the opcode byte (the second one after 0F)
    bool FTwoByte = false;       // the opcode followed 0F
    bool FOperandSize = false;   // a 66 prefix was present
    bool FDecoded = false;       // false: the opcode is not decoded
};

// Decodes the instruction at `code` reading at most `available` bytes. False
// when the instruction is not decoded or would not fit (FLength is then 1,
// FDecoded tells which of the two).
bool DecodeAsm(const std::uint8_t* code, std::size_t available, TAsmInfo& info) noexcept;

// True for the return instructions C2, C3, CA and CB.
constexpr bool IsReturnOpcode(std::uint8_t opcode) noexcept
{
    return opcode == 0xC2 || opcode == 0xC3 || opcode == 0xCA || opcode == 0xCB;
}

// Message texts of the hooking errors.
std::string NullProcedureText(const std::string& name);
std::string HookFailureText(const std::string& name);

// A removable import-table patch, reverted at shut-down.
struct TImportPatch {
    HMODULE FModule;
    std::string FDllName;
    void* FReplaced;
    void* FReplacement;
};

// A detour: the hooked address, its trampoline and the bytes the jump covered
// (whole instructions, so possibly more than the 5 bytes of the jump).
struct TDetour {
    std::uint8_t* FHooked;
    std::uint8_t* FTrampoline;
    std::size_t FTrampolineSize;
    std::vector<std::uint8_t> FSaved;
};

// The three lists of the unit, in the order they are undone at shut-down.
struct THookState {
    std::vector<TImportPatch> FImportPatches;
    std::unique_ptr<THookedMethodsList> FMethods;
    std::vector<TDetour> FDetours;
};

// The unit's lists, made on first use.
THookState& State();

// Patches the imports of `routine`-valued entries from `dllName` in `module`
// (the shared step of the import hooks); true when any entry was patched.
bool PatchImports(HMODULE module, const std::string& dllName, void* replaced, void* replacement, bool removable,
                  bool noRaise, const std::string& name);

// Removes one detour (restores its bytes, frees its trampoline); false when
// the bytes could not be written back (the detour is then kept).
bool RemoveDetour(std::size_t index) noexcept;

}  // namespace crash::hook_detail
