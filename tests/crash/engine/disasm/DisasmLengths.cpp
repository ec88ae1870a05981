// Reads an executable file and, for each address of a list, prints the lengths
// that the length decoder and the disassembler give for the instruction there.
// usage: disasm-lengths IMAGE ADDRESSES OUTPUT
//   ADDRESSES: one hexadecimal virtual address a line
//   OUTPUT: "address decoded asm-size disasm-size is-data text" a line
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crash/engine/EDisAsm.h"
#include "crash/engine/EHook.h"
#include "rtl/Startup.h"

namespace {

struct TImage {
    std::vector<std::uint8_t> FFile;
    std::uint32_t FImageBase = 0;
    std::vector<IMAGE_SECTION_HEADER> FSections;

    bool Load(const char* path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        FFile.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (FFile.size() < sizeof(IMAGE_DOS_HEADER)) return false;
        IMAGE_DOS_HEADER dos;
        std::memcpy(&dos, FFile.data(), sizeof dos);
        if (dos.e_magic != IMAGE_DOS_SIGNATURE || FFile.size() < dos.e_lfanew + sizeof(IMAGE_NT_HEADERS32))
            return false;
        IMAGE_NT_HEADERS32 nt;
        std::memcpy(&nt, FFile.data() + dos.e_lfanew, sizeof nt);
        if (nt.Signature != IMAGE_NT_SIGNATURE) return false;
        FImageBase = nt.OptionalHeader.ImageBase;
        const std::size_t first =
            dos.e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
        for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (first + (i + 1) * sizeof section > FFile.size()) return false;
            std::memcpy(&section, FFile.data() + first + i * sizeof section, sizeof section);
            FSections.push_back(section);
        }
        FFile.resize(FFile.size() + 64, 0);  // the last instruction may be read past the end
        return true;
    }

    const std::uint8_t* At(std::uint32_t address) const
    {
        const std::uint32_t rva = address - FImageBase;
        for (const auto& s : FSections) {
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return FFile.data() + s.PointerToRawData + (rva - s.VirtualAddress);
        }
        return nullptr;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 4) {
        std::fprintf(stderr, "usage: disasm-lengths IMAGE ADDRESSES OUTPUT\n");
        return 2;
    }
    TImage image;
    if (!image.Load(argv[1])) {
        std::fprintf(stderr, "cannot read the image %s\n", argv[1]);
        return 1;
    }
    std::ifstream addresses(argv[2]);
    std::ofstream out(argv[3], std::ios::binary);
    if (!addresses || !out) {
        std::fprintf(stderr, "cannot open the lists\n");
        return 1;
    }
    crash::TDisAsm disasm;
    std::string line;
    while (std::getline(addresses, line)) {
        const std::uint32_t address = std::strtoul(line.c_str(), nullptr, 16);
        const std::uint8_t* code = image.At(address);
        if (code == nullptr) {
            std::fprintf(stderr, "address %08X is in no section\n", static_cast<unsigned>(address));
            return 1;
        }
        std::uint8_t asmSize = 0;
        const bool decoded = crash::GetAsmSize(code, asmSize);
        int disasmSize = 0;
        const std::string text = disasm.GetInstruction(code, disasmSize);
        const bool isData = text.rfind("DB ", 0) == 0;
        char row[64];
        std::snprintf(row, sizeof row, "%08X %d %d %d %d ", static_cast<unsigned>(address), decoded ? 1 : 0, asmSize,
                      disasmSize, isData ? 1 : 0);
        out << row << text << '\n';
    }
    return out ? 0 : 1;
}
