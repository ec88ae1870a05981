// The library's own options object: the module options that publish
// themselves to the process-wide shared copy and read it back, so that the
// copies of the library in other modules see what this one holds.
//
// Threads and failure as the shared copy's and the hang watcher's
// (freeze/FreezeWatcher.h); otherwise (OptionsSharedMapping.h): nothing
// raises, a copy that cannot be written or read is a warning.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "crash/engine/EOptions.h"

namespace crash {

class TVexlorModuleOptionsEx : public TVexlorModuleOptions {
public:
    TVexlorModuleOptionsEx(CreateKey key, std::string aModuleName) : TVexlorModuleOptions(key, std::move(aModuleName))
    {}

    // For this module's own options (CurrentVexlorLogOptions): a change
    // starts the hang watcher when Active and FreezeActivate both hold, and
    // stops it otherwise. Any other options object only stores the value.
    void SetActive(bool value) override;
    void SetFreezeActivate(bool value) override;

    // Writes the options into the shared mapping of their module.
    void StoreSharedData() override;
    // Reads them back from it when it holds options.
    void LoadSharedData() override;
};

// What a change of the own options' Active or FreezeActivate runs: the hang
// watcher's start (true) or stop (false), set by the library's start-up and
// cleared at its shut-down; null: nothing. A pointer, so that every program
// that reads a module's data block does not link the watcher and the
// pipeline behind it.
using TFreezeWatcherSwitch = void (*)(bool run);
extern std::atomic<TFreezeWatcherSwitch> FreezeWatcherSwitch;

// A module's options object: this module's own are a TVexlorModuleOptionsEx
// (they start and stop the hang watcher and publish themselves), any other
// module's the plain options.
std::unique_ptr<TVexlorModuleOptions> CreateModuleOptionsFor(HMODULE module, std::string moduleName);

}  // namespace crash
