// Reading loaded module images: the module stream, the file header, the
// export table and the module type.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "crash/engine/modules/ModulesInternal.h"
#include "crash/engine/system/SystemInfo.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Handles.h"

namespace crash {

namespace {

// The largest image the stream reaches: positions are RVAs from the handle.
constexpr std::size_t kImageReach = 0x7FFFFFFF;
// Export names are read as at most this many bytes, terminating zero included.
constexpr std::size_t kNameReach = 256;

const void* AddressAt(const void* memory, std::size_t position) noexcept
{
    return reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(memory) + position);
}

}  // namespace

THModuleStream::THModuleStream(HMODULE Module) noexcept : rtl::TReadOnlyMemoryStream(Module, kImageReach) {}

bool THModuleStream::SecureRead(void* Buffer, std::size_t Count) noexcept
{
    if (FPosition > FSize || Count > FSize - FPosition) return false;
    if (!rtl::ReadMemory(AddressAt(FMemory, FPosition), Buffer, Count, &FCache)) return false;
    FPosition += Count;
    return true;
}

std::size_t THModuleStream::SecureReadPrefix(void* Buffer, std::size_t Count) noexcept
{
    if (FPosition >= FSize) return 0;
    if (Count > FSize - FPosition) Count = FSize - FPosition;
    const std::size_t read = rtl::ReadMemoryPrefix(AddressAt(FMemory, FPosition), Buffer, Count, &FCache);
    FPosition += read;
    return read;
}

namespace modules {

namespace {

template <class T>
bool ReadAt(THModuleStream& Stream, std::uint32_t Position, T& Value) noexcept
{
    Stream.SetPosition(Position);
    return Stream.SecureRead(&Value, sizeof Value);
}

// The optional header, as much of it as the file header says there is (the
// standard one at most); false unless it is a 32-bit one that reaches the
// export directory's entry.
bool ReadOptionalHeader(THModuleStream& Stream, std::uint32_t NtHeaders, const IMAGE_FILE_HEADER& FileHeader,
                        IMAGE_OPTIONAL_HEADER32& Optional) noexcept
{
    constexpr std::size_t kExportEntryEnd =
        offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) + sizeof(IMAGE_DATA_DIRECTORY);
    const std::size_t size = std::min<std::size_t>(FileHeader.SizeOfOptionalHeader, sizeof Optional);
    if (size < kExportEntryEnd) return false;
    Optional = {};
    Stream.SetPosition(NtHeaders + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER));
    if (!Stream.SecureRead(&Optional, size)) return false;
    return Optional.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC && Optional.NumberOfRvaAndSizes >= 1;
}

// The section table follows the optional header, whatever its size.
bool ExportsLieInSection(THModuleStream& Stream, std::uint32_t NtHeaders, const IMAGE_FILE_HEADER& FileHeader,
                         std::uint32_t ExportRva) noexcept
{
    const std::uint32_t table = NtHeaders + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + FileHeader.SizeOfOptionalHeader;
    for (std::uint32_t i = 0; i < FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!ReadAt(Stream, table + i * sizeof section, section)) return false;
        if (section.VirtualAddress <= ExportRva && ExportRva - section.VirtualAddress < section.Misc.VirtualSize)
            return true;
    }
    return false;
}

// Count entries of T at Rva, read in one piece.
template <class T>
bool ReadArray(THModuleStream& Stream, std::uint32_t Rva, std::uint32_t Count, std::vector<T>& Values)
{
    Values.resize(Count);
    Stream.SetPosition(Rva);
    return Count == 0 || Stream.SecureRead(Values.data(), Count * sizeof(T));
}

}  // namespace

bool ReadFileHeader(std::uintptr_t Base, IMAGE_FILE_HEADER& Header, std::uint32_t& NtHeaders) noexcept
{
    THModuleStream stream(reinterpret_cast<HMODULE>(Base));
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(stream, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
    const auto offset = static_cast<std::uint32_t>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER header;
    if (!ReadAt(stream, offset, signature) || signature != IMAGE_NT_SIGNATURE ||
        !stream.SecureRead(&header, sizeof header))
        return false;
    Header = header;
    NtHeaders = offset;
    return true;
}

bool ReadExportTable(std::uintptr_t Base, TVexlorFunctionsList& Functions, bool NonNT)
{
    IMAGE_FILE_HEADER fileHeader;
    std::uint32_t ntHeaders = 0;
    if (!ReadFileHeader(Base, fileHeader, ntHeaders)) return false;
    THModuleStream stream(reinterpret_cast<HMODULE>(Base));
    IMAGE_OPTIONAL_HEADER32 optional;
    if (!ReadOptionalHeader(stream, ntHeaders, fileHeader, optional)) return false;
    const std::uintptr_t codeStart = Base + optional.BaseOfCode;
    if (!rtl::IsReadableMemory(reinterpret_cast<const void*>(codeStart), optional.SizeOfCode)) return false;

    const IMAGE_DATA_DIRECTORY exports = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exports.VirtualAddress == 0 || !ExportsLieInSection(stream, ntHeaders, fileHeader, exports.VirtualAddress))
        return false;
    IMAGE_EXPORT_DIRECTORY directory;
    if (!ReadAt(stream, exports.VirtualAddress, directory) || directory.Characteristics != 0) return false;

    // Each name is 4 bytes of a table in the image: a count beyond the image
    // is no table.
    const std::uint32_t limit = optional.SizeOfImage / 4;
    if (directory.NumberOfNames > limit || directory.NumberOfFunctions > limit) return false;
    std::vector<std::uint32_t> names;
    std::vector<std::uint16_t> ordinals;
    std::vector<std::uint32_t> addresses;
    if (!ReadArray(stream, directory.AddressOfNames, directory.NumberOfNames, names) ||
        !ReadArray(stream, directory.AddressOfNameOrdinals, directory.NumberOfNames, ordinals) ||
        !ReadArray(stream, directory.AddressOfFunctions, directory.NumberOfFunctions, addresses))
        return false;

    // Every name counts, also where several names share one function.
    for (std::uint32_t i = 0; i < directory.NumberOfNames; ++i) {
        if (ordinals[i] >= directory.NumberOfFunctions) continue;
        char text[kNameReach];
        stream.SetPosition(names[i]);
        const std::size_t read = stream.SecureReadPrefix(text, sizeof text - 1);
        const std::size_t length = ::strnlen(text, read);
        if (length == 0) continue;
        auto function = std::make_unique<TVexlorFunctionInfo>();
        function->Name.assign(text, length);
        const std::uint32_t rva = addresses[ordinals[i]];
        std::uintptr_t address = Base + rva;
        if (rva - exports.VirtualAddress < exports.Size) {
            // A forwarder names a function of another module: ask the system.
            address = reinterpret_cast<std::uintptr_t>(
                ::GetProcAddress(reinterpret_cast<HMODULE>(Base), function->Name.c_str()));
            if (address == 0) continue;
        }
        if (NonNT) {
            // The 9x kernel exports some functions as PUSH target / JMP stubs.
            std::uint8_t stub[6];
            if (rtl::ReadMemory(reinterpret_cast<const void*>(address), stub, sizeof stub) && stub[0] == 0x68 &&
                stub[5] == 0xE9) {
                std::uint32_t target;
                std::memcpy(&target, stub + 1, sizeof target);
                address = target;
            }
        }
        function->Addr = static_cast<std::uint32_t>(address);
        function->Size = address < codeStart ? 1 : 0;
        Functions.Add(std::move(function));
    }
    Functions.Sort([](const TVexlorFunctionInfo& a, const TVexlorFunctionInfo& b) { return a.Addr < b.Addr; });
    return true;
}

TVexlorModuleType ModuleTypeOf(HMODULE Module, const std::string& FileName)
{
    IMAGE_FILE_HEADER header;
    std::uint32_t ntHeaders = 0;
    if (!ReadFileHeader(reinterpret_cast<std::uintptr_t>(Module), header, ntHeaders))
        return TVexlorModuleType::mtUnknown;
    if (!(header.Characteristics & IMAGE_FILE_DLL)) return TVexlorModuleType::mtMainModule;
    // As a data file: nothing of the module runs for the look at its resources.
    const rtl::LibraryHandle data(::LoadLibraryExA(FileName.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const LPCSTR rcData = MAKEINTRESOURCEA(10);  // RT_RCDATA
    if (data && ::FindResourceA(data.Get(), "PACKAGEINFO", rcData) &&
        ::FindResourceA(data.Get(), "PACKAGEOPTIONS", rcData))
        return TVexlorModuleType::mtBorlandPackage;
    return TVexlorModuleType::mtOSLibrary;
}

}  // namespace modules

bool IsLibraryModule(HMODULE Module)
{
    IMAGE_FILE_HEADER header;
    std::uint32_t ntHeaders = 0;
    if (modules::ReadFileHeader(reinterpret_cast<std::uintptr_t>(Module), header, ntHeaders))
        return (header.Characteristics & IMAGE_FILE_DLL) != 0;
    return LibraryModuleHandle() != ::GetModuleHandleW(nullptr);
}

}  // namespace crash
