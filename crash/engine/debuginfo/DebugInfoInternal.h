// What the debug-information readers share: side files, the image headers of
// a loaded module, and the location lookup that every kind runs the same way.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crash/engine/EDebug.h"

namespace crash::debuginfo {

// The whole file, when it exists and holds at most kMaxDebugFileSize bytes;
// false (Data empty) otherwise. Never raises beyond running out of memory.
bool LoadSideFile(const std::string& FileName, std::vector<std::uint8_t>& Data);
// Count bytes from Offset of the file; false when they are not all there.
bool ReadFileRange(const std::string& FileName, std::uint64_t Offset, std::size_t Count,
                   std::vector<std::uint8_t>& Data);

// The headers of a loaded module, copied out through the checked reader.
struct TImageHeaders {
    IMAGE_FILE_HEADER File{};
    std::uint32_t SizeOfImage = 0;
    // Zero for a directory the optional header does not have.
    IMAGE_DATA_DIRECTORY Debug{};
    std::vector<IMAGE_SECTION_HEADER> Sections;
};
// False when the module's headers cannot be read or are not a 32-bit image's.
bool ReadImageHeaders(HMODULE Module, TImageHeaders& Headers);

// Copies Size bytes at the image's relative address Rva out through the
// checked reader; false when they are not all inside the image and readable.
bool ReadImageRange(HMODULE Module, const TImageHeaders& Headers, std::uint32_t Rva, std::size_t Size,
                    std::vector<std::uint8_t>& Data);

// Whether the two texts are equal without regard to case, by the system's
// rules for its ANSI code page.
bool SameTextNoCase(std::string_view A, std::string_view B) noexcept;

// The location as every kind finds it, from a scanner with the lookups
// ModuleNameFromAddr, ProcNameFromAddr, LineNumberFromAddr and
// SourceNameFromAddr.
template <class TScanner>
bool LocationFromScanner(const TScanner& Scanner, TVLDebugInfoSource& Source, std::uintptr_t Address,
                         TVLLocationInfo& Info)
{
    const std::uint32_t va = Source.VAFromAddr(Address);
    Info.UnitName = Scanner.ModuleNameFromAddr(va);
    if (Info.UnitName.empty()) return false;
    Info.Address = Address;
    std::int32_t procOffset = 0;
    Info.ProcedureName = Scanner.ProcNameFromAddr(va, procOffset);
    Info.LineNumber = Scanner.LineNumberFromAddr(va);
    Info.SourceName = Scanner.SourceNameFromAddr(va);
    Info.DebugInfo = &Source;
    Info.ProcOffsetLine = Info.LineNumber - Scanner.LineNumberFromAddr(va - static_cast<std::uint32_t>(procOffset));
    return true;
}

}  // namespace crash::debuginfo
