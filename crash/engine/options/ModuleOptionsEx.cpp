// The library's own options and the shared copy.
#include "crash/engine/options/ModuleOptionsEx.h"

#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/options/OptionsSharedMapping.h"

namespace crash {

std::atomic<TFreezeWatcherSwitch> FreezeWatcherSwitch{nullptr};

namespace {

// Starts or stops the hang watcher after a change of the own options.
void FollowWatcherSwitches(const TVexlorModuleOptions& options)
{
    if (const TFreezeWatcherSwitch run = FreezeWatcherSwitch.load()) run(options.Active() && options.FreezeActivate());
}

}  // namespace

void TVexlorModuleOptionsEx::SetActive(bool Value)
{
    if (this != LibraryModuleOptions() || Value == Active()) {
        TVexlorModuleOptions::SetActive(Value);
        return;
    }
    TVexlorModuleOptions::SetActive(Value);
    FollowWatcherSwitches(*this);
}

void TVexlorModuleOptionsEx::SetFreezeActivate(bool Value)
{
    if (this != LibraryModuleOptions() || Value == FreezeActivate()) {
        TVexlorModuleOptions::SetFreezeActivate(Value);
        return;
    }
    TVexlorModuleOptions::SetFreezeActivate(Value);
    FollowWatcherSwitches(*this);
}

std::unique_ptr<TVexlorModuleOptions> CreateModuleOptionsFor(HMODULE Module, std::string ModuleName)
{
    if (Module != nullptr && Module == LibraryModuleHandle())
        return TVexlorModuleOptions::Create<TVexlorModuleOptionsEx>(std::move(ModuleName));
    return TVexlorModuleOptions::Create(std::move(ModuleName));
}

void TVexlorModuleOptionsEx::StoreSharedData()
{
    PublishSharedOptions(this);
}

void TVexlorModuleOptionsEx::LoadSharedData()
{
    // Reading the copy changes every option; that must not publish the half
    // read options back.
    DisableSharedDataWrite();
    ReadSharedOptions(this);
    EnableSharedDataWrite();
}

}  // namespace crash
