// The module records of the call-stack tests' program, made as start-up makes
// them, with the data block read into them.
#include <gtest/gtest.h>

#include "crash/engine/EDebugData.h"
#include "crash/engine/modules/ModuleLists.h"

namespace {

class ModuleRecords : public ::testing::Environment {
public:
    void SetUp() override
    {
        crash::CreateModuleLists();
        crash::InstallModuleDataReader();
    }
};

::testing::Environment* const gModuleRecords = ::testing::AddGlobalTestEnvironment(new ModuleRecords);

}  // namespace
