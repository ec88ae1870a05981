// Test options whose publications are counted, and the test program's module.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "crash/engine/EOptions.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash::test {

// The counter lives outside the object, so that a test can also see what its
// destruction publishes.
class CountingOptions : public TVexlorModuleOptions {
public:
    CountingOptions(CreateKey key, std::string moduleName, int* stores)
        : TVexlorModuleOptions(key, std::move(moduleName)), FStores(stores)
    {}

    void StoreSharedData() override { ++*FStores; }
    void SetFreezeActivate(bool value) override
    {
        if (FFailFreezeActivate) throw rtl::Exception("hang watcher failed");
        TVexlorModuleOptions::SetFreezeActivate(value);
    }
    // Loading sets this read-only option; tests set it here.
    void SetLeaksOptionsForTest(TLeaksOptions value) { FLeaksOptions = value; }

    bool FFailFreezeActivate = false;

private:
    int* FStores;
};

inline std::string TestModuleName()
{
    return rtl::ModuleFileNameAnsi();
}

inline std::unique_ptr<CountingOptions> MakeOptions(int* stores, std::string moduleName = TestModuleName())
{
    return TVexlorModuleOptions::Create<CountingOptions>(std::move(moduleName), stores);
}

}  // namespace crash::test
