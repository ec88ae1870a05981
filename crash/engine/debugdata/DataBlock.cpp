// Reading a module's data block: its layouts by version, in the resource and
// appended to the file.
#include <cstring>

#include "crash/engine/EConsts.h"
#include "crash/engine/EZlib.h"
#include "crash/engine/debugdata/DebugDataInternal.h"
#include "crash/engine/options/ModuleOptionsEx.h"
#include "rtl/Streams.h"

namespace crash {

void DeleteLineIndex(const TLineIndex* index) noexcept;

namespace {

std::string ModuleFileName(std::uintptr_t handle)
{
    char name[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(reinterpret_cast<HMODULE>(handle), name, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(name, length) : std::string();
}

// The options stream carries no version: the block's goes into the global
// for the load, the previous value comes back after it.
class VersionScope {
public:
    explicit VersionScope(std::uint16_t version) : FSaved(LastVexlorVersion) { LastVexlorVersion = version; }
    ~VersionScope() { LastVexlorVersion = FSaved; }
    VersionScope(const VersionScope&) = delete;
    VersionScope& operator=(const VersionScope&) = delete;

private:
    std::uint16_t FSaved;
};

// Loads the options stream at the cursor's position; the cursor moves past it.
void LoadOptions(TModuleDebugData& target, rtl::ByteCursor& cursor, std::uint16_t version)
{
    rtl::TReadOnlyMemoryStream stream(cursor.Position(), cursor.Remaining());
    VersionScope scope(version);
    target.Options->LoadFromStream(stream);
    cursor.Skip(static_cast<std::size_t>(stream.Position()));
}

// N and N bytes of line tables.
bool TakeLineTables(TModuleDebugData& target, rtl::ByteCursor& cursor)
{
    std::uint32_t length = 0;
    const std::uint8_t* bytes = nullptr;
    if (!cursor.Read(length) || !cursor.Take(length, bytes)) return false;
    target.DebugInformation.emplace(bytes, bytes + length);
    return true;
}

void SetPassword(TModuleDebugData& target, const TDataReadSettings& settings)
{
    target.EncryptPassword =
        settings.Password ? *settings.Password : ModulePassword(reinterpret_cast<HMODULE>(target.Handle));
    InitKey(target.Key, target.EncryptPassword);
}

// As a module without data has it.
void ClearData(TModuleDebugData& target)
{
    target.VexlorVersion = VexlorLogCurrentVersion;
    target.VersionWord = 0;
    target.CompilationDate = 0;
    target.HeaderFlags = 0;
    target.DebugInformation.reset();
    target.Symbols.clear();
    target.IsValidEncryptPassword = true;
}

bool ReadResource(const void* data, std::size_t size, TModuleDebugData& target, const TDataReadSettings& settings)
{
    rtl::ByteCursor cursor(data, size);
    std::uint32_t signature = 0;
    std::uint16_t word = 0;
    double date = 0;
    if (!cursor.Read(signature) || !IsVexlorDataSignature(signature) || !cursor.Read(word) || !cursor.Read(date))
        return false;
    const std::uint16_t version = NormalizeVexlorVersion(word);
    if (version > VexlorLogCurrentVersion) return false;
    std::uint16_t flags = 0;
    if (version >= 6000 && !cursor.Read(flags)) return false;
    target.VersionWord = word;
    target.VexlorVersion = version;
    target.CompilationDate = date;
    target.HeaderFlags = flags;

    std::vector<std::uint8_t> remainder;
    rtl::ByteCursor rest;
    if (version >= 500) {
        std::uint32_t length = 0;
        const std::uint8_t* bytes = nullptr;
        if (!cursor.Read(length) || !cursor.Take(length, bytes)) return false;
        target.Symbols.assign(bytes, bytes + length);
        if (!cursor.Read(length) || !cursor.Take(length, bytes)) return false;
        const std::vector<std::uint8_t> options = ZDecompress(bytes, length);
        if (options.empty()) return false;
        rtl::ByteCursor optionsCursor(options.data(), options.size());
        LoadOptions(target, optionsCursor, version);
        if (settings.Refresh) return true;
        std::uint8_t check[4];
        if (!cursor.Read(check, 4)) return false;
        SetPassword(target, settings);
        std::uint32_t plain = 0;
        Decrypt(target.Key, check, &plain, 4);
        target.IsValidEncryptPassword = IsVexlorDataSignature(plain);
        remainder = ZDecompress(cursor.Position(), cursor.Remaining());
        if (remainder.empty()) return false;
        rest = rtl::ByteCursor(remainder.data(), remainder.size());
    } else {
        if (version >= 450) {
            remainder = ZDecompress(cursor.Position(), cursor.Remaining());
            if (remainder.empty()) return false;
            rest = rtl::ByteCursor(remainder.data(), remainder.size());
        } else {
            rest = cursor;
        }
        LoadOptions(target, rest, version);
        if (settings.Refresh) return true;
    }
    return TakeLineTables(target, rest);
}

bool ReadAppended(const void* data, std::size_t size, TModuleDebugData& target, const TDataReadSettings& settings)
{
    if (size < 8) return false;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t signature = 0, length = 0;
    std::memcpy(&signature, bytes + size - 4, 4);
    std::memcpy(&length, bytes + size - 8, 4);
    if (!IsVexlorDataSignature(signature) || length > size - 8) return false;
    rtl::ByteCursor cursor(bytes + size - 8 - length, length);
    std::uint16_t word = 0;
    double date = 0;
    if (!cursor.Read(word) || !cursor.Read(date)) return false;
    const std::uint16_t version = NormalizeVexlorVersion(word);
    if (version > VexlorLogCurrentVersion) return false;
    target.VersionWord = word;
    target.VexlorVersion = version;
    target.CompilationDate = date;
    LoadOptions(target, cursor, version);
    if (settings.Refresh) return true;
    SetPassword(target, settings);
    return TakeLineTables(target, cursor);
}

template <class Read>
bool Guarded(TModuleDebugData& target, Read&& read) noexcept
{
    try {
        if (read()) return true;
    } catch (...) {
        // A damaged block of another module must not break whoever asked.
    }
    try {
        ClearData(target);
    } catch (...) {}
    return false;
}

}  // namespace

TModuleDebugData::TModuleDebugData(std::uintptr_t handle)
    : Handle(handle),
      VexlorVersion(VexlorLogCurrentVersion),
      Options(CreateModuleOptionsFor(reinterpret_cast<HMODULE>(handle), ModuleFileName(handle)))
{}

TModuleDebugData::~TModuleDebugData()
{
    DeleteLineIndex(FIndex.load());
}

std::string ModulePassword(HMODULE module)
{
    if (module != nullptr) {
        if (auto request = reinterpret_cast<TPasswordRequestEvent>(
                reinterpret_cast<void*>(::GetProcAddress(module, "VexlorLog_PasswordRequestEvent")))) {
            unsigned char password[256] = {};
            if (PasswordRequestCall)
                PasswordRequestCall(request, password, 255);
            else
                request(password, 255);
            // No handler gave one (a program exports the entry whether or not
            // it handles the event): the block was written with the library's
            // key, which an empty password would leave enciphered.
            if (password[0] != 0) return std::string(reinterpret_cast<const char*>(password + 1), password[0]);
        }
    }
    return std::string(kEmbeddedDataKey);
}

bool ReadResourceData(const void* data, std::size_t size, TModuleDebugData& target, const TDataReadSettings& settings)
{
    target.FromResource = true;
    return Guarded(target, [&] { return ReadResource(data, size, target, settings); });
}

bool ReadAppendedData(const void* data, std::size_t size, TModuleDebugData& target, const TDataReadSettings& settings)
{
    target.FromResource = false;
    return Guarded(target, [&] { return ReadAppended(data, size, target, settings); });
}

}  // namespace crash
