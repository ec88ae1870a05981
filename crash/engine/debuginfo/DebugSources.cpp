// The sources of other debug information: what they share, the side files and
// image headers they read, and the choice of a module's source.
#include <cstring>

#include "crash/engine/debuginfo/DebugInfoInternal.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Libraries.h"

namespace crash {

std::uint32_t TVLDebugInfoSource::VAFromAddr(std::uintptr_t address) const noexcept
{
    return static_cast<std::uint32_t>(address - reinterpret_cast<std::uintptr_t>(FModule) - 0x1000);
}

std::string TVLDebugInfoSource::GetFileName() const
{
    return rtl::ModuleFileNameAnsi(FModule);
}

bool AssignValidDebugInfo(HMODULE module, std::unique_ptr<TVLDebugInfoSource>& source) noexcept
{
    if (source) return false;
    static constexpr TVLDebugInfoSourceClass kKinds[] = {
        &TVLDebugInfoSource::Create<TVLDebugInfoMap>,
        &TVLDebugInfoSource::Create<TVLDebugInfoTD32>,
        &TVLDebugInfoSource::Create<TVLDebugInfoJedy>,
    };
    for (TVLDebugInfoSourceClass kind : kKinds) {
        std::unique_ptr<TVLDebugInfoSource> candidate = kind(module);
        if (candidate && candidate->ValidData()) {
            source = std::move(candidate);
            return true;
        }
    }
    return false;
}

void InstallOtherDebugInfoReader() noexcept
{
    ModuleDebugReaders.AssignValidDebugInfo.Set([](const TVexlorModuleInfo& module) -> std::unique_ptr<rtl::TObject> {
        std::unique_ptr<TVLDebugInfoSource> source;
        AssignValidDebugInfo(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(module.Handle)), source);
        return source;
    });
}

namespace debuginfo {

bool SameTextNoCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool LoadSideFile(const std::string& fileName, std::vector<std::uint8_t>& data)
{
    data.clear();
    const DWORD attributes = ::GetFileAttributesA(fileName.c_str());
    if (fileName.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    try {
        rtl::TFileStream file(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        const std::int64_t size = file.Size();
        if (size < 0 || static_cast<std::uint64_t>(size) > kMaxDebugFileSize) return false;
        data.resize(static_cast<std::size_t>(size));
        if (!data.empty()) file.ReadBuffer(data.data(), data.size());
        return true;
    } catch (const rtl::Exception&) {
        data.clear();
        return false;
    }
}

bool ReadFileRange(const std::string& fileName, std::uint64_t offset, std::size_t count,
                   std::vector<std::uint8_t>& data)
{
    data.clear();
    if (count > kMaxDebugFileSize || fileName.empty()) return false;
    try {
        rtl::TFileStream file(fileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        const std::int64_t size = file.Size();
        if (size < 0 || offset > static_cast<std::uint64_t>(size) || count > static_cast<std::uint64_t>(size) - offset)
            return false;
        if (file.Seek(static_cast<std::int64_t>(offset), rtl::TSeekOrigin::soBeginning) < 0) return false;
        data.resize(count);
        if (count != 0) file.ReadBuffer(data.data(), count);
        return true;
    } catch (const rtl::Exception&) {
        data.clear();
        return false;
    }
}

bool ReadImageHeaders(HMODULE module, TImageHeaders& headers)
{
    headers = TImageHeaders{};
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    IMAGE_DOS_HEADER dos;
    if (base == nullptr || !rtl::ReadValue(base, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;
    const std::uint8_t* nt = base + dos.e_lfanew;
    DWORD signature = 0;
    if (!rtl::ReadValue(nt, signature) || signature != IMAGE_NT_SIGNATURE) return false;
    if (!rtl::ReadValue(nt + 4, headers.File)) return false;
    // The optional header is as long as the file header says, which need not
    // be the size of the structure: the section table follows that length.
    const std::uint8_t* optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    IMAGE_OPTIONAL_HEADER32 header{};
    const std::size_t optionalSize = headers.File.SizeOfOptionalHeader;
    const std::size_t copied = optionalSize < sizeof header ? optionalSize : sizeof header;
    if (copied < offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) || !rtl::ReadMemory(optional, &header, copied))
        return false;
    if (header.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return false;
    headers.SizeOfImage = header.SizeOfImage;
    const std::size_t debugEnd = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) +
                                 (IMAGE_DIRECTORY_ENTRY_DEBUG + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_DEBUG && copied >= debugEnd)
        headers.Debug = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const std::size_t count = headers.File.NumberOfSections;
    headers.Sections.resize(count);
    if (count != 0 &&
        !rtl::ReadMemory(optional + optionalSize, headers.Sections.data(), count * sizeof(IMAGE_SECTION_HEADER))) {
        headers.Sections.clear();
        return false;
    }
    return true;
}

bool ReadImageRange(HMODULE module, const TImageHeaders& headers, std::uint32_t rva, std::size_t size,
                    std::vector<std::uint8_t>& data)
{
    data.clear();
    if (size > kMaxDebugFileSize || rva > headers.SizeOfImage || size > headers.SizeOfImage - rva) return false;
    data.resize(size);
    if (size != 0 && !rtl::ReadMemory(reinterpret_cast<const std::uint8_t*>(module) + rva, data.data(), size)) {
        data.clear();
        return false;
    }
    return true;
}

}  // namespace debuginfo

}  // namespace crash
