// The library's own options object: the module options that publish
// themselves to the process-wide shared copy and read it back, so that the
// copies of the library in other modules see what this one holds.
//
// Threads and failure as the shared copy's (OptionsSharedMapping.h): nothing
// raises, a copy that cannot be written or read is a warning.
#pragma once
#include <string>

#include "crash/engine/EOptions.h"

namespace crash {

class TVexlorModuleOptionsEx : public TVexlorModuleOptions {
public:
    TVexlorModuleOptionsEx(CreateKey Key, std::string AModuleName) : TVexlorModuleOptions(Key, std::move(AModuleName))
    {}

    // Writes the options into the shared mapping of their module.
    void StoreSharedData() override;
    // Reads them back from it when it holds options.
    void LoadSharedData() override;
};

}  // namespace crash
