// The probe of a program's data block: linked into a program that carries the
// crash reporter, it answers for every relative address in a file what the
// program's own lookup finds there, and ends the program.
//
// VOLUMETRA_DEBUGDATA_PROBE=IN;OUT[;DLL]: IN holds one hexadecimal relative
// virtual address per line (of the program, or of DLL, loaded first); OUT gets
// one line per address: the address, then tab-separated the detail, unit,
// class, procedure, line and offset line, or "-" when nothing was found.
// Frames of the library's own units keep their details here.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "crash/engine/EDebugData.h"
#include "crash/engine/modules/ModuleLists.h"

namespace {

int RunProbe(const std::string& setting)
{
    const std::size_t first = setting.find(';');
    if (first == std::string::npos) return 2;
    const std::size_t second = setting.find(';', first + 1);
    const std::string in = setting.substr(0, first);
    const std::string out =
        setting.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    HMODULE module = ::GetModuleHandleA(nullptr);
    if (second != std::string::npos) {
        module = ::LoadLibraryA(setting.substr(second + 1).c_str());
        if (module == nullptr) return 3;
    }
    // The data blocks live in the module records, as after start-up.
    crash::CreateModuleLists();
    crash::InstallModuleDataReader();
    crash::ShowVexlorLogUnits = true;
    std::ifstream input(in);
    std::ofstream output(out, std::ios::binary);
    if (!input || !output) return 4;
    std::string line;
    while (std::getline(input, line)) {
        if (line.empty() || line == "\r") continue;
        const unsigned long rva = std::strtoul(line.c_str(), nullptr, 16);
        crash::TVexlorDebugInfo item;
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(module) + rva;
        char head[16];
        std::snprintf(head, sizeof head, "%lx", rva);
        output << head;
        if (crash::GetSourceInfoByAddr(address, item)) {
            output << '\t' << int{item.DebugDetail} << '\t' << item.UnitName.View() << '\t' << item.ClassName.View()
                   << '\t' << item.ProcedureName.View() << '\t' << item.Line << '\t' << item.ProcOffsetLine << '\n';
        } else {
            output << "\t-\n";
        }
    }
    return output ? 0 : 5;
}

// Before main, so that a test program's own start (GoogleTest's) never runs.
struct Probe {
    Probe()
    {
        char setting[2048];
        const DWORD length = ::GetEnvironmentVariableA("VOLUMETRA_DEBUGDATA_PROBE", setting, sizeof setting);
        if (length == 0 || length >= sizeof setting) return;
        ::ExitProcess(static_cast<UINT>(RunProbe(std::string(setting, length))));
    }
} gProbe;

}  // namespace
