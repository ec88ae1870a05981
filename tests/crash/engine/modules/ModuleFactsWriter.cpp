// Writes what the module list makes of each fixture library, for a reader of
// the files other than ours to check (verify_module_facts.py, with pefile).
//
// usage: ModuleFactsWriter.exe FOLDER LIBRARY...   (Linux paths are taken as
// paths on drive Z:). One file NAME.facts per library in FOLDER; exit code 0
// when every library was loaded and got a record.
#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Handles.h"
#include "rtl/Startup.h"

namespace {

std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string Hex(const std::string& bytes)
{
    std::string text;
    char digits[3];
    for (const unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", c);
        text += digits;
    }
    return text;
}

bool WriteFacts(const std::string& folder, const std::string& library)
{
    const rtl::LibraryHandle module(LoadLibraryA(library.c_str()));
    if (!module) return false;
    const crash::PVexlorModuleInfo record = crash::ModuleInfoByHandle(module.Get());
    if (!record) return false;
    const auto base = reinterpret_cast<std::uintptr_t>(module.Get());
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const std::uintptr_t end = base + nt->OptionalHeader.SizeOfImage;

    const std::string name = library.substr(library.find_last_of('\\') + 1);
    FILE* out = std::fopen((folder + "\\" + name + ".facts").c_str(), "w");
    if (!out) return false;
    std::fprintf(out, "type %d\n", static_cast<int>(record->ModuleType));
    std::fprintf(out, "size %u\n", record->Size);
    std::fprintf(out, "version %s\n", record->Version.c_str());
    std::fprintf(out, "description %s\n", Hex(record->Description).c_str());
    for (int i = 0; i < record->FunctionsList.Count(); ++i) {
        const crash::TVexlorFunctionInfo* function = record->FunctionsList.GetItem(i);
        // Inside the image: its RVA; a forwarder's target lies outside.
        if (function->Addr >= base && function->Addr < end)
            std::fprintf(out, "function %s %x %u\n", function->Name.c_str(),
                         static_cast<unsigned>(function->Addr - base), function->Size);
        else
            std::fprintf(out, "function %s outside %u\n", function->Name.c_str(), function->Size);
    }
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc < 3) return 2;
    crash::CreateModuleLists();
    const std::string folder = WindowsPath(argv[1]);
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const bool written = WriteFacts(folder, WindowsPath(argv[i]));
        std::printf("%s: %s\n", written ? "written" : "FAILED", argv[i]);
        if (!written) ++failures;
    }
    crash::FreeModuleLists();
    return failures == 0 ? 0 : 1;
}
