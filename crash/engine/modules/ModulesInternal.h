// Internals of the module and process lists: the steps under the public
// operations, shared by the folder's files and its tests only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crash/engine/modules/ModuleLists.h"

namespace crash::modules {

// The file header of the image at base, read through a module stream: "MZ",
// a non-zero offset to the NT headers, the PE signature there. False when any
// of it cannot be read; ntHeaders is then left as it was.
bool ReadFileHeader(std::uintptr_t base, IMAGE_FILE_HEADER& header, std::uint32_t& ntHeaders) noexcept;

// Appends the named exports of the image at base to functions, sorted by
// address: only when the headers and the code section are readable, the
// export directory lies in one of the sections and its Characteristics are 0.
// A name is read up to the end of its readable stretch (at most 255
// characters). A forwarded export takes the address the system's lookup of
// its name in the module answers (none: left out). With nonNt, a PUSH imm32 /
// JMP stub at an address stands for the pushed address. False when nothing
// was read.
bool ReadExportTable(std::uintptr_t base, TVexlorFunctionsList& functions, bool nonNt);

// The type of the loaded module: mtMainModule for an executable, for a DLL
// mtBorlandPackage or mtOSLibrary by the resources of its file (opened as a
// data file); mtUnknown when its headers cannot be read.
TVexlorModuleType ModuleTypeOf(HMODULE module, const std::string& fileName);

// A new record of the module (not in any list): full, outside a refresh, with
// its functions, type and debug data; else light.
std::unique_ptr<TVexlorModuleInfo> MakeModuleRecord(HMODULE module, const std::string& fileName, bool full);

// The handles of the process's loaded modules, as the system lists them.
std::vector<HMODULE> EnumerateModules();

// The priority class a Tool Help process entry's base priority stands for.
std::uint32_t PriorityOfBasePriority(LONG basePriority) noexcept;

enum class TProcessListMethod {
    plmBySystem,       // as the running system asks: the snapshot method on Vista and later
    plmOpenProcess,    // the Tool Help process walk, each process opened, threads counted after
    plmEnumProcesses,  // the process identifiers of PSAPI, each opened, threads counted after
};
// Fills list (cleared first) with the machine's processes, sorted by ID.
void FillProcessesList(TVexlorProcessesList& list, TProcessListMethod method);

}  // namespace crash::modules
