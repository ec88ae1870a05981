// Detours: a jump over a routine's first instructions and a trampoline that
// runs them in their new place and jumps back.
#include "crash/engine/EHook.h"
#include "crash/engine/hook/HookInternals.h"
#include "rtl/Libraries.h"

#include <cstring>

#include "rtl/CheckedMemory.h"

namespace crash {
namespace {

using namespace hook_detail;

constexpr std::size_t kJumpSize = 5;

void PutRel32(std::uint8_t* at, std::int32_t value)
{
    std::memcpy(at, &value, sizeof value);
}

std::int32_t GetRel32(const std::uint8_t* at)
{
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::int32_t Distance(const void* from, const void* to)
{
    return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(to) - reinterpret_cast<std::uintptr_t>(from));
}

bool IsShortJump(const TAsmInfo& info)
{
    if (info.FTwoByte) return false;
    const std::uint8_t op = info.FOpcode;
    return (op >= 0x70 && op <= 0x7F) || (op >= 0xE0 && op <= 0xE3) || op == 0xEB;
}

bool IsRelativeJumpOrCall(const TAsmInfo& info)
{
    if (info.FTwoByte) return info.FOpcode >= 0x80 && info.FOpcode <= 0x8F;
    return info.FOpcode == 0xE8 || info.FOpcode == 0xE9;
}

std::string ModuleFileNameOf(const void* address)
{
    MEMORY_BASIC_INFORMATION mbi;
    if (::VirtualQuery(address, &mbi, sizeof mbi) != sizeof mbi) return {};
    return rtl::ModuleFileNameAnsi(static_cast<HMODULE>(mbi.AllocationBase));
}

struct TPiece {
    std::size_t FAt;
    TAsmInfo FInfo;
};

}  // namespace

namespace hook_detail {

bool RemoveDetour(std::size_t index) noexcept
{
    auto& detours = State().FDetours;
    TDetour& d = detours[index];
    if (!WriteCode(d.FHooked, d.FSaved.data(), d.FSaved.size())) return false;
    ::VirtualFree(d.FTrampoline, 0, MEM_RELEASE);
    detours.erase(detours.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

}  // namespace hook_detail

void* HookProcedureEx(void* routine, void* replacement, const std::string& name)
{
    if (routine == nullptr || replacement == nullptr) throw EProcNull(NullProcedureText(name));
    auto* code = static_cast<std::uint8_t*>(FollowJumpThunk(routine));
    replacement = FollowJumpThunk(replacement);
    if (IsWin9x() && reinterpret_cast<std::uintptr_t>(code) >= 0x80000000u)
        throw ESharedArea("Cannot hook the module \"" + ModuleFileNameOf(code) + "\" located into the shared-area.");

    THookState& state = State();
    for (const TDetour& d : state.FDetours)
        if (d.FHooked == code) return d.FTrampoline;

    // Whole instructions until the jump fits, measured on a copy of the
    // routine's first bytes. A byte that cannot be decoded stops the hook:
    // copying half an instruction would run garbage.
    const std::string failure = HookFailureText(name);
    std::uint8_t head[64];
    const std::size_t extent = rtl::ReadMemoryPrefix(code, head, sizeof head);
    std::vector<TPiece> pieces;
    std::size_t copied = 0;
    std::size_t outsideJumps = 0;
    while (copied < kJumpSize) {
        TAsmInfo info;
        if (!DecodeAsm(head + copied, extent - copied, info)) throw EHookingError(failure);
        // A 16-bit displacement cannot reach the trampoline from the old place.
        if ((IsShortJump(info) || IsRelativeJumpOrCall(info)) && info.FOperandSize) throw EHookingError(failure);
        pieces.push_back({copied, info});
        copied += info.FLength;
    }
    // Whether a short jump leaves the copied bytes is known only now.
    for (const TPiece& p : pieces) {
        if (!IsShortJump(p.FInfo)) continue;
        const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(p.FAt + p.FInfo.FLength);
        const std::ptrdiff_t target = end + static_cast<std::int8_t>(head[end - 1]);
        if (target < 0 || target >= static_cast<std::ptrdiff_t>(copied)) ++outsideJumps;
    }

    const std::size_t size = copied + kJumpSize + kJumpSize * outsideJumps;
    auto* trampoline =
        static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (trampoline == nullptr) throw EHookingError(failure);
    std::memcpy(trampoline, head, copied);

    // Relative targets outside the copied bytes must still be reached from the
    // new place; targets inside move along with the code.
    std::size_t stub = copied + kJumpSize;
    for (const TPiece& p : pieces) {
        const std::size_t end = p.FAt + p.FInfo.FLength;
        if (IsShortJump(p.FInfo)) {
            const std::ptrdiff_t target = static_cast<std::ptrdiff_t>(end) + static_cast<std::int8_t>(head[end - 1]);
            if (target >= 0 && target < static_cast<std::ptrdiff_t>(copied)) continue;
            // The short jump now lands on a long jump to its old target.
            trampoline[stub] = 0xE9;
            PutRel32(trampoline + stub + 1, Distance(trampoline + stub + kJumpSize, code + target));
            trampoline[end - 1] = static_cast<std::uint8_t>(stub - end);
            stub += kJumpSize;
        } else if (IsRelativeJumpOrCall(p.FInfo)) {
            const std::uint8_t* target = code + end + GetRel32(head + end - 4);
            if (target >= code && target < code + copied) continue;
            PutRel32(trampoline + end - 4, Distance(trampoline + end, target));
        }
    }
    trampoline[copied] = 0xE9;
    PutRel32(trampoline + copied + 1, Distance(trampoline + copied + kJumpSize, code + copied));
    ::FlushInstructionCache(::GetCurrentProcess(), trampoline, size);

    TDetour detour{code, trampoline, size, std::vector<std::uint8_t>(head, head + copied)};
    std::uint8_t jump[kJumpSize] = {0xE9};
    PutRel32(jump + 1, Distance(code + kJumpSize, replacement));
    try {
        state.FDetours.push_back(std::move(detour));
    } catch (...) {
        ::VirtualFree(trampoline, 0, MEM_RELEASE);
        throw;
    }
    if (!WriteCode(code, jump, sizeof jump)) {
        state.FDetours.pop_back();
        ::VirtualFree(trampoline, 0, MEM_RELEASE);
        throw EHookingError(failure);
    }
    return trampoline;
}

bool UnhookProcedure(void* address) noexcept
{
    if (address == nullptr) return false;
    auto* thunkTarget = static_cast<std::uint8_t*>(FollowJumpThunk(address));
    auto& detours = State().FDetours;
    for (std::size_t i = detours.size(); i-- > 0;) {
        const TDetour& d = detours[i];
        if (d.FHooked == address || d.FTrampoline == address || d.FHooked == thunkTarget) return RemoveDetour(i);
    }
    return false;
}

}  // namespace crash
