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
// false (data empty) otherwise. Never raises beyond running out of memory.
bool LoadSideFile(const std::string& fileName, std::vector<std::uint8_t>& data);
// count bytes from offset of the file; false when they are not all there.
bool ReadFileRange(const std::string& fileName, std::uint64_t offset, std::size_t count,
                   std::vector<std::uint8_t>& data);

// The headers of a loaded module, copied out through the checked reader.
struct TImageHeaders {
    IMAGE_FILE_HEADER File{};
    std::uint32_t SizeOfImage = 0;
    // Zero for a directory the optional header does not have.
    IMAGE_DATA_DIRECTORY Debug{};
    std::vector<IMAGE_SECTION_HEADER> Sections;
};
// False when the module's headers cannot be read or are not a 32-bit image's.
bool ReadImageHeaders(HMODULE module, TImageHeaders& headers);

// Copies size bytes at the image's relative address rva out through the
// checked reader; false when they are not all inside the image and readable.
bool ReadImageRange(HMODULE module, const TImageHeaders& headers, std::uint32_t rva, std::size_t size,
                    std::vector<std::uint8_t>& data);

// Whether the two texts are equal without regard to case, by the system's
// rules for its ANSI code page.
bool SameTextNoCase(std::string_view a, std::string_view b) noexcept;

// The location as every kind finds it, from a scanner with the lookups
// ModuleNameFromAddr, ProcNameFromAddr, LineNumberFromAddr and
// SourceNameFromAddr.
template <class TScanner>
bool LocationFromScanner(const TScanner& scanner, TVLDebugInfoSource& source, std::uintptr_t address,
                         TVLLocationInfo& info)
{
    const std::uint32_t va = source.VAFromAddr(address);
    info.UnitName = scanner.ModuleNameFromAddr(va);
    if (info.UnitName.empty()) return false;
    info.Address = address;
    std::int32_t procOffset = 0;
    info.ProcedureName = scanner.ProcNameFromAddr(va, procOffset);
    info.LineNumber = scanner.LineNumberFromAddr(va);
    info.SourceName = scanner.SourceNameFromAddr(va);
    info.DebugInfo = &source;
    info.ProcOffsetLine = info.LineNumber - scanner.LineNumberFromAddr(va - static_cast<std::uint32_t>(procOffset));
    return true;
}

}  // namespace crash::debuginfo
