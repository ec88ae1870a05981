// The library's own options and the shared copy.
#include "crash/engine/options/ModuleOptionsEx.h"

#include "crash/engine/options/OptionsSharedMapping.h"

namespace crash {

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
