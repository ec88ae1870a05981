// The module records of a test program as start-up makes them, with the data
// block reader and the other debug-information readers in their slots: included by any file of the program, it sets
// them up before the first test.
#pragma once
#include <gtest/gtest.h>

#include "crash/engine/EDebug.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/modules/ModuleLists.h"

namespace testsupport {

class ModuleRecords : public ::testing::Environment {
public:
    void SetUp() override
    {
        crash::CreateModuleLists();
        crash::InstallModuleDataReader();
        crash::InstallOtherDebugInfoReader();
    }
};

// One registration per program, however many files include this.
inline ::testing::Environment* const gModuleRecords = ::testing::AddGlobalTestEnvironment(new ModuleRecords);

}  // namespace testsupport
