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

void TVexlorModuleOptionsEx::SetActive(bool value)
{
    if (this != LibraryModuleOptions() || value == Active()) {
        TVexlorModuleOptions::SetActive(value);
        return;
    }
    TVexlorModuleOptions::SetActive(value);
    FollowWatcherSwitches(*this);
}

void TVexlorModuleOptionsEx::SetFreezeActivate(bool value)
{
    if (this != LibraryModuleOptions() || value == FreezeActivate()) {
        TVexlorModuleOptions::SetFreezeActivate(value);
        return;
    }
    TVexlorModuleOptions::SetFreezeActivate(value);
    FollowWatcherSwitches(*this);
}

std::unique_ptr<TVexlorModuleOptions> CreateModuleOptionsFor(HMODULE module, std::string moduleName)
{
    if (module != nullptr && module == LibraryModuleHandle())
        return TVexlorModuleOptions::Create<TVexlorModuleOptionsEx>(std::move(moduleName));
    return TVexlorModuleOptions::Create(std::move(moduleName));
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
