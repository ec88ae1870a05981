// The fixture libraries the module tests load: built beside the test
// programs by tests/crash/engine/modules/CMakeLists.txt.
#pragma once
#include <windows.h>

#include <string>

#include "rtl/Handles.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace testsupport {

// Named exports, a data export, a forwarder to kernel32, a full version block.
inline constexpr const char* kExportsFixture = "ModFixExports.dll";
// The same, linked with the export directory in the last section.
inline constexpr const char* kEdataLastFixture = "ModFixEdataLast.dll";
// The same, its export directory's Characteristics patched to 1.
inline constexpr const char* kFlaggedFixture = "ModFixFlagged.dll";
// Both package resources.
inline constexpr const char* kPackageFixture = "ModFixPackage.dll";
// One package resource, version 0.0.0.0, a one-letter description.
inline constexpr const char* kHalfPackageFixture = "ModFixHalfPackage.dll";

// The full name of a file beside the test program.
inline std::string BesideProgram(const std::string& name)
{
    std::string program = rtl::ModuleFileNameAnsi();
    return program.substr(0, program.find_last_of('\\') + 1) + name;
}

inline rtl::LibraryHandle LoadFixture(const char* name)
{
    return rtl::LibraryHandle(LoadLibraryA(BesideProgram(name).c_str()));
}

}  // namespace testsupport
