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

THModuleStream::THModuleStream(HMODULE module) noexcept : rtl::TReadOnlyMemoryStream(module, kImageReach) {}

bool THModuleStream::SecureRead(void* buffer, std::size_t count) noexcept
{
    if (FPosition > FSize || count > FSize - FPosition) return false;
    if (!rtl::ReadMemory(AddressAt(FMemory, FPosition), buffer, count, &FCache)) return false;
    FPosition += count;
    return true;
}

std::size_t THModuleStream::SecureReadPrefix(void* buffer, std::size_t count) noexcept
{
    if (FPosition >= FSize) return 0;
    if (count > FSize - FPosition) count = FSize - FPosition;
    const std::size_t read = rtl::ReadMemoryPrefix(AddressAt(FMemory, FPosition), buffer, count, &FCache);
    FPosition += read;
    return read;
}

namespace modules {

namespace {

template <class T>
bool ReadAt(THModuleStream& stream, std::uint32_t position, T& value) noexcept
{
    stream.SetPosition(position);
    return stream.SecureRead(&value, sizeof value);
}

// The optional header, as much of it as the file header says there is (the
// standard one at most); false unless it is a 32-bit one that reaches the
// export directory's entry.
bool ReadOptionalHeader(THModuleStream& stream, std::uint32_t ntHeaders, const IMAGE_FILE_HEADER& fileHeader,
                        IMAGE_OPTIONAL_HEADER32& optional) noexcept
{
    constexpr std::size_t kExportEntryEnd =
        offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) + sizeof(IMAGE_DATA_DIRECTORY);
    const std::size_t size = std::min<std::size_t>(fileHeader.SizeOfOptionalHeader, sizeof optional);
    if (size < kExportEntryEnd) return false;
    optional = {};
    stream.SetPosition(ntHeaders + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER));
    if (!stream.SecureRead(&optional, size)) return false;
    return optional.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC && optional.NumberOfRvaAndSizes >= 1;
}

// The section table follows the optional header, whatever its size.
bool ExportsLieInSection(THModuleStream& stream, std::uint32_t ntHeaders, const IMAGE_FILE_HEADER& fileHeader,
                         std::uint32_t exportRva) noexcept
{
    const std::uint32_t table = ntHeaders + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + fileHeader.SizeOfOptionalHeader;
    for (std::uint32_t i = 0; i < fileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!ReadAt(stream, table + i * sizeof section, section)) return false;
        if (section.VirtualAddress <= exportRva && exportRva - section.VirtualAddress < section.Misc.VirtualSize)
            return true;
    }
    return false;
}

// count entries of T at rva, read in one piece.
template <class T>
bool ReadArray(THModuleStream& stream, std::uint32_t rva, std::uint32_t count, std::vector<T>& values)
{
    values.resize(count);
    stream.SetPosition(rva);
    return count == 0 || stream.SecureRead(values.data(), count * sizeof(T));
}

}  // namespace

bool ReadFileHeader(std::uintptr_t base, IMAGE_FILE_HEADER& header, std::uint32_t& ntHeaders) noexcept
{
    THModuleStream stream(reinterpret_cast<HMODULE>(base));
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(stream, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return false;
    const auto offset = static_cast<std::uint32_t>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER fileHeader;
    if (!ReadAt(stream, offset, signature) || signature != IMAGE_NT_SIGNATURE ||
        !stream.SecureRead(&fileHeader, sizeof fileHeader))
        return false;
    header = fileHeader;
    ntHeaders = offset;
    return true;
}

bool ReadExportTable(std::uintptr_t base, TVexlorFunctionsList& functions, bool nonNt)
{
    IMAGE_FILE_HEADER fileHeader;
    std::uint32_t ntHeaders = 0;
    if (!ReadFileHeader(base, fileHeader, ntHeaders)) return false;
    THModuleStream stream(reinterpret_cast<HMODULE>(base));
    IMAGE_OPTIONAL_HEADER32 optional;
    if (!ReadOptionalHeader(stream, ntHeaders, fileHeader, optional)) return false;
    const std::uintptr_t codeStart = base + optional.BaseOfCode;
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
        std::uintptr_t address = base + rva;
        if (rva - exports.VirtualAddress < exports.Size) {
            // A forwarder names a function of another module: ask the system.
            address = reinterpret_cast<std::uintptr_t>(
                ::GetProcAddress(reinterpret_cast<HMODULE>(base), function->Name.c_str()));
            if (address == 0) continue;
        }
        if (nonNt) {
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
        functions.Add(std::move(function));
    }
    functions.Sort([](const TVexlorFunctionInfo& a, const TVexlorFunctionInfo& b) { return a.Addr < b.Addr; });
    return true;
}

TVexlorModuleType ModuleTypeOf(HMODULE module, const std::string& fileName)
{
    IMAGE_FILE_HEADER header;
    std::uint32_t ntHeaders = 0;
    if (!ReadFileHeader(reinterpret_cast<std::uintptr_t>(module), header, ntHeaders))
        return TVexlorModuleType::mtUnknown;
    if (!(header.Characteristics & IMAGE_FILE_DLL)) return TVexlorModuleType::mtMainModule;
    // As a data file: nothing of the module runs for the look at its resources.
    const rtl::LibraryHandle data(::LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    const LPCSTR rcData = MAKEINTRESOURCEA(10);  // RT_RCDATA
    if (data && ::FindResourceA(data.Get(), "PACKAGEINFO", rcData) &&
        ::FindResourceA(data.Get(), "PACKAGEOPTIONS", rcData))
        return TVexlorModuleType::mtBorlandPackage;
    return TVexlorModuleType::mtOSLibrary;
}

}  // namespace modules

bool IsLibraryModule(HMODULE module)
{
    IMAGE_FILE_HEADER header;
    std::uint32_t ntHeaders = 0;
    if (modules::ReadFileHeader(reinterpret_cast<std::uintptr_t>(module), header, ntHeaders))
        return (header.Characteristics & IMAGE_FILE_DLL) != 0;
    return LibraryModuleHandle() != ::GetModuleHandleW(nullptr);
}

}  // namespace crash
