// The data of loaded modules: their resource or file, the symbols the hooks
// look up, and the reader that puts it into their module records.
#include <algorithm>
#include <cstring>

#include "crash/engine/EConsts.h"
#include "crash/engine/debugdata/DebugDataInternal.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Handles.h"

namespace crash {

std::atomic<bool> ShowVexlorLogUnits{false};

namespace {

// The module's file, opened for reading while others may read and write it
// (it is running).
rtl::FileHandle OpenModuleFile(HMODULE module)
{
    wchar_t name[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(module, name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return rtl::FileHandle();
    return rtl::FileHandle(::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadAt(HANDLE file, std::uint64_t offset, void* buffer, std::uint32_t count)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD done = 0;
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ::ReadFile(file, buffer, count, &done, nullptr) &&
           done == count;
}

// The appended block and the 8 bytes after it, read from the end of the
// module's file; empty when the file does not end with a signature or the
// block's length is longer than the file.
std::vector<std::uint8_t> ReadAppendedTail(HMODULE module, bool signatureOnly, std::uint16_t* version = nullptr)
{
    rtl::FileHandle file = OpenModuleFile(module);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 8) return {};
    const auto fileSize = static_cast<std::uint64_t>(size.QuadPart);
    std::uint32_t trailer[2] = {};
    if (!ReadAt(file.Get(), fileSize - 8, trailer, 8) || !IsVexlorDataSignature(trailer[1])) return {};
    if (signatureOnly) return std::vector<std::uint8_t>(8);
    const std::uint32_t length = trailer[0];
    if (length > fileSize - 8) return {};
    if (version != nullptr) {
        *version = 0;
        if (length >= 2) ReadAt(file.Get(), fileSize - 8 - length, version, 2);
        return std::vector<std::uint8_t>(8);
    }
    std::vector<std::uint8_t> tail(std::size_t{length} + 8);
    if (!ReadAt(file.Get(), fileSize - 8 - length, tail.data(), static_cast<std::uint32_t>(tail.size()))) return {};
    return tail;
}

// The resource's version word when it has a signature.
bool ResourceHeader(HMODULE module, std::uint16_t& word) noexcept
{
    std::size_t size = 0;
    const auto* data = static_cast<const std::uint8_t*>(FindVexlorDataResource(module, size));
    std::uint32_t signature = 0;
    if (data == nullptr || size < 4) return false;
    std::memcpy(&signature, data, 4);
    if (!IsVexlorDataSignature(signature)) return false;
    word = 0;
    if (size >= 6) std::memcpy(&word, data + 4, 2);
    return true;
}

void* SymbolIn(const std::uint8_t* table, std::size_t size, std::uintptr_t codeBase, std::uint8_t identifier) noexcept
{
    for (std::size_t at = 0; at + 9 <= size; at += 9) {
        if (table[at] != identifier) continue;
        std::uint32_t offset = 0;
        std::memcpy(&offset, table + at + 1, 4);
        return reinterpret_cast<void*>(codeBase + offset);
    }
    return nullptr;
}

}  // namespace

const void* FindVexlorDataResource(HMODULE module, std::size_t& size) noexcept
{
    size = 0;
    if (module == nullptr) return nullptr;
    HRSRC resource = ::FindResourceA(module, "VLDATA", MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (resource == nullptr) return nullptr;
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data != nullptr) size = ::SizeofResource(module, resource);
    return data;
}

bool ReadModuleData(HMODULE module, TModuleDebugData& target, const TDataReadSettings& settings)
{
    std::size_t size = 0;
    if (const void* data = FindVexlorDataResource(module, size)) return ReadResourceData(data, size, target, settings);
    try {
        const std::vector<std::uint8_t> tail = ReadAppendedTail(module, false);
        if (!tail.empty()) return ReadAppendedData(tail.data(), tail.size(), target, settings);
    } catch (...) {}
    return false;
}

bool IsVexlorLogModule(HMODULE module)
{
    std::uint16_t word = 0;
    if (ResourceHeader(module, word)) return true;
    try {
        return !ReadAppendedTail(module, true).empty();
    } catch (...) {
        return false;
    }
}

std::uint16_t GetVexlorLogModuleVersion(HMODULE module)
{
    std::uint16_t word = 0;
    std::size_t size = 0;
    if (FindVexlorDataResource(module, size) != nullptr) return ResourceHeader(module, word) ? word : 0;
    try {
        ReadAppendedTail(module, false, &word);
    } catch (...) {
        word = 0;
    }
    return word;
}

bool IsVexlorLogCurrentData(HMODULE module)
{
    return IsVexlorLogModule(module) && GetVexlorLogModuleVersion(module) >= VexlorLogCurrentVersion;
}

void* FindVexlorSymbol(std::uint8_t identifier) noexcept
{
    const HMODULE module = LibraryModuleHandle();
    std::size_t size = 0;
    const void* data = FindVexlorDataResource(module, size);
    rtl::ByteCursor cursor(data, data != nullptr ? size : 0);
    std::uint32_t signature = 0, length = 0;
    std::uint16_t word = 0;
    if (!cursor.Read(signature) || !IsVexlorDataSignature(signature) || !cursor.Read(word)) return nullptr;
    const std::uint16_t version = NormalizeVexlorVersion(word);
    const std::uint8_t* table = nullptr;
    if (version < 500 || !cursor.Skip(version >= 6000 ? 10 : 8) || !cursor.Read(length) || !cursor.Take(length, table))
        return nullptr;
    return SymbolIn(table, length, reinterpret_cast<std::uintptr_t>(module) + 0x1000, identifier);
}

void* FindVexlorSymbolIn(const TModuleDebugData& data, std::uint8_t identifier) noexcept
{
    return SymbolIn(data.Symbols.data(), data.Symbols.size(), data.CodeBase(), identifier);
}

bool ReadModuleRecordData(TVexlorModuleInfo& module, bool light)
{
    auto data = std::make_unique<TModuleDebugData>(module.Handle);
    TDataReadSettings settings;
    settings.Refresh = light;
    // Records are made outside the module list's lock, and a read sets the
    // process-wide version of the options load.
    static rtl::TCriticalSection readLock;
    rtl::TCriticalSectionLock hold(readLock);
    if (!ReadModuleData(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(module.Handle)), *data, settings))
        return false;
    TVexlorExtraInformation& extra = module.ExtraInformation;
    extra.VexlorVersion = data->VexlorVersion;
    extra.CompilationDate = data->CompilationDate;
    extra.Options = std::move(data->Options);
    module.EncryptPassword = data->EncryptPassword;
    module.IsValidEncryptPassword = data->IsValidEncryptPassword;
    if (data->DebugInformation)
        extra.DebugInformation = std::move(data);
    else
        extra.DebugInformation.reset();
    return true;
}

void InstallModuleDataReader() noexcept
{
    ModuleDebugReaders.ReadModuleData.Set(&ReadModuleRecordData);
}

bool GetSourceInfoByAddr(std::uintptr_t address, TVexlorDebugInfo& item) noexcept
{
    try {
        const TVexlorModuleInfo* module = ModuleInfoByAddr(reinterpret_cast<const void*>(address));
        // A record's data is made with it and never changes.
        const TModuleDebugData* data = module ? module->ExtraInformation.DebugInformation.get() : nullptr;
        return data != nullptr && LookupSourceInfo(*data, address, item);
    } catch (...) {
        return false;
    }
}

// ---- The library's own units ----------------------------------------------------

namespace {

// Sorted without regard to case (made at configure time).
constexpr std::string_view kOwnUnitNames[] = {
#include "OwnUnitNames.inc"
};

int CompareNoCase(std::string_view a, std::string_view b) noexcept
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i]);
        const auto y = static_cast<unsigned char>(b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

bool IsOwnUnitName(std::string_view name) noexcept
{
    const auto found = std::lower_bound(std::begin(kOwnUnitNames), std::end(kOwnUnitNames), name,
                                        [](std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; });
    return found != std::end(kOwnUnitNames) && CompareNoCase(*found, name) == 0;
}

}  // namespace crash
