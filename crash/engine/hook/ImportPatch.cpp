// Import-table patches: a module's calls into a DLL redirected by rewriting
// the entries of its import address table.
#include "crash/engine/EHook.h"
#include "crash/engine/hook/HookInternals.h"
#include "rtl/Libraries.h"

#include <algorithm>
#include <cstring>

#include "rtl/CheckedMemory.h"

namespace crash {
namespace {

using namespace hook_detail;

// The non-NT systems hand out per-process thunks for system routines: a push
// of a 32-bit immediate followed by a relative jump. Two thunks of the same
// routine carry the same immediate.
bool ReadSystemThunk(const void* address, std::uint32_t& immediate)
{
    std::uint8_t code[10];
    if (!rtl::ReadMemory(address, code, sizeof code) || code[0] != 0x68 || code[5] != 0xE9) return false;
    std::memcpy(&immediate, code + 1, sizeof immediate);
    return true;
}

// A zero-terminated name inside a module, read only as far as it is readable.
bool ReadName(const char* text, std::string& out)
{
    out.clear();
    char piece[64];
    while (out.size() < 512) {
        const std::size_t got = rtl::ReadMemoryPrefix(text + out.size(), piece, sizeof piece);
        if (got == 0) return false;
        const std::size_t length = std::find(piece, piece + got, '\0') - piece;
        out.append(piece, length);
        if (length < got) return out.size() < 512;
    }
    return false;
}

const IMAGE_IMPORT_DESCRIPTOR* FirstImportDescriptor(HMODULE module)
{
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    IMAGE_DOS_HEADER dos;
    if (!rtl::ReadValue(base, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    IMAGE_NT_HEADERS32 nt;
    if (!rtl::ReadValue(base + dos.e_lfanew, nt) || nt.Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_OPTIONAL_HEADER32& optional = nt.OptionalHeader;
    if (optional.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) return nullptr;
    const IMAGE_DATA_DIRECTORY& dir = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0 || dir.Size == 0) return nullptr;
    return reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
}

void* ExportOf(const std::string& dllName, const std::string& routineName)
{
    HMODULE dll = ::GetModuleHandleA(dllName.c_str());
    if (dll == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(dll, routineName.c_str()));
}

}  // namespace

namespace hook_detail {

bool PatchImports(HMODULE module, const std::string& dllName, void* replaced, void* replacement, bool removable,
                  bool noRaise, const std::string& name)
{
    if (replaced == nullptr) throw EProcNull(NullProcedureText(name));
    if (IsWin9x() && reinterpret_cast<std::uintptr_t>(module) >= 0x80000000u) {
        throw ESharedArea("Cannot hook the module \"" + rtl::ModuleFileNameAnsi(module) +
                          "\" located into the shared-area.");
    }
    std::uint32_t thunkImmediate = 0;
    const bool byThunk = IsWin9x() && ReadSystemThunk(replaced, thunkImmediate);

    const IMAGE_IMPORT_DESCRIPTOR* descriptor = FirstImportDescriptor(module);
    if (descriptor == nullptr) throw EHookingError(HookFailureText(name));
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);

    bool patched = false;
    std::string importedName;
    IMAGE_IMPORT_DESCRIPTOR imports;
    for (; rtl::ReadValue(descriptor, imports) && imports.Name != 0; ++descriptor) {
        if (!ReadName(reinterpret_cast<const char*>(base + imports.Name), importedName)) continue;
        if (::lstrcmpiA(importedName.c_str(), dllName.c_str()) != 0) continue;
        auto* entry = reinterpret_cast<void**>(const_cast<std::uint8_t*>(base) + imports.FirstThunk);
        void* imported = nullptr;
        for (; rtl::ReadValue(entry, imported) && imported != nullptr; ++entry) {
            bool matches;
            if (byThunk) {
                std::uint32_t immediate;
                matches = ReadSystemThunk(imported, immediate) && immediate == thunkImmediate;
            } else {
                matches = imported == replaced;
            }
            if (matches && WriteCode(entry, &replacement, sizeof replacement)) patched = true;
        }
    }
    if (patched && removable) State().FImportPatches.push_back({module, dllName, replaced, replacement});
    if (!patched && !noRaise) throw EHookingError(HookFailureText(name));
    return patched;
}

}  // namespace hook_detail

void* HookDllProcedureEx(const std::string& moduleName, const std::string& dllName, const std::string& routineName,
                         void* replacement)
{
    const std::string name = dllName + "." + routineName;
    void* replaced = ExportOf(dllName, routineName);
    HMODULE module = ::GetModuleHandleA(moduleName.c_str());
    if (replaced == nullptr) throw EProcNull(NullProcedureText(name));
    if (module == nullptr) throw EHookingError(HookFailureText(name));
    PatchImports(module, dllName, replaced, replacement, /*removable=*/true, /*noRaise=*/false, name);
    return replaced;
}

bool UnhookDllProcedure(const void* replacement) noexcept
{
    std::vector<TImportPatch>& patches = State().FImportPatches;
    bool reverted = false;
    for (auto it = patches.begin(); it != patches.end();) {
        if (it->FReplacement != replacement) {
            ++it;
            continue;
        }
        try {
            if (PatchImports(it->FModule, it->FDllName, it->FReplacement, it->FReplaced,
                             /*removable=*/false, /*noRaise=*/true, it->FDllName))
                reverted = true;
        } catch (...) {
            // A module that went away takes its patch with it.
        }
        it = patches.erase(it);
    }
    return reverted;
}

bool TryHookDllProcedureEx(const std::vector<std::string>& moduleNames, const std::string& dllName,
                           const std::string& routineName, void* replacement, void*& replaced, bool noRaise)
{
    const std::string name = dllName + "." + routineName;
    replaced = ExportOf(dllName, routineName);
    if (replaced == nullptr) {
        if (noRaise) return false;
        throw EProcNull(NullProcedureText(name));
    }
    bool any = false;
    for (const std::string& moduleName : moduleNames) {
        HMODULE module = ::GetModuleHandleA(moduleName.c_str());
        if (module == nullptr) continue;
        try {
            if (PatchImports(module, dllName, replaced, replacement, /*removable=*/true, noRaise, name)) any = true;
        } catch (const EHookError&) {
            if (!noRaise) throw;
        }
    }
    return any;
}

}  // namespace crash
