// The sources of other debug information: what they share, the side files and
// image headers they read, and the choice of a module's source.
#include <cstring>

#include "crash/engine/debuginfo/DebugInfoInternal.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Libraries.h"

namespace crash {

std::uint32_t TVLDebugInfoSource::VAFromAddr(std::uintptr_t Address) const noexcept
{
    return static_cast<std::uint32_t>(Address - reinterpret_cast<std::uintptr_t>(FModule) - 0x1000);
}

std::string TVLDebugInfoSource::GetFileName() const
{
    return rtl::ModuleFileNameAnsi(FModule);
}

bool AssignValidDebugInfo(HMODULE Module, std::unique_ptr<TVLDebugInfoSource>& Source) noexcept
{
    if (Source) return false;
    static constexpr TVLDebugInfoSourceClass kKinds[] = {
        &TVLDebugInfoSource::Create<TVLDebugInfoMap>,
        &TVLDebugInfoSource::Create<TVLDebugInfoTD32>,
        &TVLDebugInfoSource::Create<TVLDebugInfoJedy>,
    };
    for (TVLDebugInfoSourceClass kind : kKinds) {
        std::unique_ptr<TVLDebugInfoSource> candidate = kind(Module);
        if (candidate && candidate->ValidData()) {
            Source = std::move(candidate);
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

bool SameTextNoCase(std::string_view A, std::string_view B) noexcept
{
    if (A.size() != B.size()) return false;
    if (A.empty()) return true;
    return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, A.data(), static_cast<int>(A.size()), B.data(),
                            static_cast<int>(B.size())) == CSTR_EQUAL;
}

bool LoadSideFile(const std::string& FileName, std::vector<std::uint8_t>& Data)
{
    Data.clear();
    const DWORD attributes = ::GetFileAttributesA(FileName.c_str());
    if (FileName.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    try {
        rtl::TFileStream file(FileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        const std::int64_t size = file.Size();
        if (size < 0 || static_cast<std::uint64_t>(size) > kMaxDebugFileSize) return false;
        Data.resize(static_cast<std::size_t>(size));
        if (!Data.empty()) file.ReadBuffer(Data.data(), Data.size());
        return true;
    } catch (const rtl::Exception&) {
        Data.clear();
        return false;
    }
}

bool ReadFileRange(const std::string& FileName, std::uint64_t Offset, std::size_t Count,
                   std::vector<std::uint8_t>& Data)
{
    Data.clear();
    if (Count > kMaxDebugFileSize || FileName.empty()) return false;
    try {
        rtl::TFileStream file(FileName, rtl::fmOpenRead | rtl::fmShareDenyNone);
        const std::int64_t size = file.Size();
        if (size < 0 || Offset > static_cast<std::uint64_t>(size) || Count > static_cast<std::uint64_t>(size) - Offset)
            return false;
        if (file.Seek(static_cast<std::int64_t>(Offset), rtl::TSeekOrigin::soBeginning) < 0) return false;
        Data.resize(Count);
        if (Count != 0) file.ReadBuffer(Data.data(), Count);
        return true;
    } catch (const rtl::Exception&) {
        Data.clear();
        return false;
    }
}

bool ReadImageHeaders(HMODULE Module, TImageHeaders& Headers)
{
    Headers = TImageHeaders{};
    const auto* base = reinterpret_cast<const std::uint8_t*>(Module);
    IMAGE_DOS_HEADER dos;
    if (base == nullptr || !rtl::ReadValue(base, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;
    const std::uint8_t* nt = base + dos.e_lfanew;
    DWORD signature = 0;
    if (!rtl::ReadValue(nt, signature) || signature != IMAGE_NT_SIGNATURE) return false;
    if (!rtl::ReadValue(nt + 4, Headers.File)) return false;
    // The optional header is as long as the file header says, which need not
    // be the size of the structure: the section table follows that length.
    const std::uint8_t* optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
    IMAGE_OPTIONAL_HEADER32 header{};
    const std::size_t optionalSize = Headers.File.SizeOfOptionalHeader;
    const std::size_t copied = optionalSize < sizeof header ? optionalSize : sizeof header;
    if (copied < offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) || !rtl::ReadMemory(optional, &header, copied))
        return false;
    if (header.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return false;
    Headers.SizeOfImage = header.SizeOfImage;
    const std::size_t debugEnd = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) +
                                 (IMAGE_DIRECTORY_ENTRY_DEBUG + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_DEBUG && copied >= debugEnd)
        Headers.Debug = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const std::size_t count = Headers.File.NumberOfSections;
    Headers.Sections.resize(count);
    if (count != 0 &&
        !rtl::ReadMemory(optional + optionalSize, Headers.Sections.data(), count * sizeof(IMAGE_SECTION_HEADER))) {
        Headers.Sections.clear();
        return false;
    }
    return true;
}

bool ReadImageRange(HMODULE Module, const TImageHeaders& Headers, std::uint32_t Rva, std::size_t Size,
                    std::vector<std::uint8_t>& Data)
{
    Data.clear();
    if (Size > kMaxDebugFileSize || Rva > Headers.SizeOfImage || Size > Headers.SizeOfImage - Rva) return false;
    Data.resize(Size);
    if (Size != 0 && !rtl::ReadMemory(reinterpret_cast<const std::uint8_t*>(Module) + Rva, Data.data(), Size)) {
        Data.clear();
        return false;
    }
    return true;
}

}  // namespace debuginfo

}  // namespace crash
