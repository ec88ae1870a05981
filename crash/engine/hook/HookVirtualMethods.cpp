// Virtual-method slot hooks.
#include "crash/engine/EHook.h"
#include "crash/engine/hook/HookInternals.h"

namespace crash {
namespace {

using namespace hook_detail;

// Method tables of a loaded module are the only ones worth patching; anything
// else is a stale or foreign pointer.
bool IsInLoadedModule(const void* address)
{
    HMODULE module = nullptr;
    return ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                static_cast<LPCSTR>(address), &module) &&
           module != nullptr;
}

void** SlotOf(void* const* vmt, int slotIndex)
{
    return const_cast<void**>(vmt + slotIndex);
}

}  // namespace

THookedMethodsList::~THookedMethodsList()
{
    rtl::TCriticalSectionLock lock(FLock);
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
        void* old = it->FOldMethod;
        WriteCode(SlotOf(it->FClass, it->FSlot), &old, sizeof old);
    }
    FItems.clear();
}

void* HookVirtualMethod(void* const* vmt, int slotIndex, void* replacement) noexcept
{
    if (vmt == nullptr || slotIndex < 0) return nullptr;
    try {
        THookedMethodsList& list = *State().FMethods;
        rtl::TCriticalSectionLock lock(list.CriticalSection());
        void** slot = SlotOf(vmt, slotIndex);
        void* current = nullptr;
        if (!IsInLoadedModule(slot) || !rtl::ReadValue(slot, current)) return nullptr;
        auto& items = list.Items();
        if (current == replacement) {
            for (auto it = items.rbegin(); it != items.rend(); ++it)
                if (it->FClass == vmt && it->FSlot == slotIndex) return it->FOldMethod;
            return current;
        }
        items.push_back({vmt, current, slotIndex});
        if (!WriteCode(slot, &replacement, sizeof replacement)) {
            items.pop_back();
            return nullptr;
        }
        return current;
    } catch (...) {
        return nullptr;
    }
}

bool UnhookVirtualMethod(void* const* vmt, int slotIndex) noexcept
{
    if (vmt == nullptr) return false;
    try {
        THookedMethodsList& list = *State().FMethods;
        rtl::TCriticalSectionLock lock(list.CriticalSection());
        auto& items = list.Items();
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            if (it->FClass != vmt || it->FSlot != slotIndex) continue;
            void* old = it->FOldMethod;
            if (!WriteCode(SlotOf(vmt, slotIndex), &old, sizeof old)) return false;
            items.erase(std::next(it).base());
            return true;
        }
        return false;
    } catch (...) {
        return false;
    }
}

}  // namespace crash
