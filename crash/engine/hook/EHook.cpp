// The hooking unit's lists, its start-up and shut-down, and plain jumps.
#include "crash/engine/EHook.h"
#include "crash/engine/hook/HookInternals.h"

#include <cstring>

namespace crash {
namespace hook_detail {
namespace {

// Made on first use and freed by EHookDone; a static object would be
// destroyed in an order of its own, after code it still patches may be gone.
THookState* GState = nullptr;

}  // namespace

THookState& State()
{
    if (GState == nullptr) {
        auto state = std::make_unique<THookState>();
        state->FMethods = std::make_unique<THookedMethodsList>();
        GState = state.release();
    }
    return *GState;
}

std::string NullProcedureText(const std::string& name)
{
    return "Cannot hook a null procedure (\"" + name + "\").";
}

std::string HookFailureText(const std::string& name)
{
    return "Cannot hook the procedure \"" + name + "\".";
}

}  // namespace hook_detail

void JumpToMem(void* at, const void* target)
{
    std::uint8_t jump[5] = {0xE9};
    const std::uint32_t distance =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target) - reinterpret_cast<std::uintptr_t>(at) - 5);
    std::memcpy(jump + 1, &distance, sizeof distance);
    if (!hook_detail::WriteCode(at, jump, sizeof jump)) throw EHookingError(hook_detail::HookFailureText("JumpToMem"));
}

void EHookInit()
{
    hook_detail::State();
}

void EHookDone() noexcept
{
    using namespace hook_detail;
    if (GState == nullptr) return;
    THookState& state = *GState;
    // Patches first: a reverted entry must not point into a trampoline that is
    // about to go.
    for (auto it = state.FImportPatches.rbegin(); it != state.FImportPatches.rend(); ++it) {
        try {
            PatchImports(it->FModule, it->FDllName, it->FReplacement, it->FReplaced,
                         /*removable=*/false, /*noRaise=*/true, it->FDllName);
        } catch (...) {
            // A module that went away takes its patch with it.
        }
    }
    state.FImportPatches.clear();
    state.FMethods.reset();  // restores every slot
    // Newest first: a later detour may sit on an earlier one's trampoline,
    // which must still be there when its bytes are written back.
    while (!state.FDetours.empty()) {
        const std::size_t last = state.FDetours.size() - 1;
        if (!RemoveDetour(last)) state.FDetours.pop_back();
    }
    delete GState;
    GState = nullptr;
}

}  // namespace crash
