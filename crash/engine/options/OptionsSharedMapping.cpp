// The shared copy of the options: the named mapping, publication and reading.
#include "crash/engine/options/OptionsSharedMapping.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

#include "crash/engine/core/ECoreInternal.h"
#include "crash/engine/EConsts.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/errors/InternalErrors.h"
#include "rtl/Streams.h"
#include "rtl/SyncObjs.h"

namespace crash {

namespace {

constexpr std::uint32_t kCapacityWord = 4;

// The library's own mapping, held from one publication to the next so that
// other modules find it; the lock keeps two publications from closing and
// refilling it at once.
struct LibraryMapping {
    rtl::TCriticalSection Lock;
    TSharedOptionsMapping Mapping;
};

LibraryMapping& Library()
{
    static LibraryMapping library;
    return library;
}

// The flag is written and read as an atomic byte: its store after the stream
// (and before it, the store of 0) must not be moved across the copy.
std::atomic_ref<std::uint8_t> Flag(const TSharedOptionsMapping& mapping) noexcept
{
    return std::atomic_ref<std::uint8_t>(mapping.View()[0]);
}

}  // namespace

TSharedOptionsMapping::~TSharedOptionsMapping()
{
    CloseSharedOptionsMapping(*this);
}

std::string SharedOptionsMappingName(DWORD processId, HMODULE module)
{
    char name[17];
    std::snprintf(name, sizeof name, "%08lX%08lX", static_cast<unsigned long>(processId),
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(module)));
    return name;
}

void CloseSharedOptionsMapping(TSharedOptionsMapping& mapping) noexcept
{
    mapping.FBase.Reset();
    mapping.FView = nullptr;
    mapping.FContentSize = 0;
    mapping.FExisted = false;
    mapping.FMapping.Reset();
}

bool CreateSharedOptionsMapping(HMODULE module, std::uint32_t size, TSharedOptionsMapping& mapping)
{
    CloseSharedOptionsMapping(mapping);
    if (size > std::numeric_limits<std::uint32_t>::max() - kCapacityWord) return false;
    const std::string name = SharedOptionsMappingName(::GetCurrentProcessId(), module);

    rtl::KernelHandle handle;
    bool existed = true;
    if (size == 0) {
        // Only opening: a mapping that is not there is not made.
        handle.Reset(::OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
    } else {
        ::SetLastError(ERROR_SUCCESS);
        handle.Reset(
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size + kCapacityWord, name.c_str()));
        existed = handle && ::GetLastError() == ERROR_ALREADY_EXISTS;
    }
    if (!handle) return false;

    rtl::MappedView view(::MapViewOfFile(handle.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    if (!view) return false;
    void* const base = view.Get();
    // What the system really mapped bounds everything: a capacity word that
    // another party wrote is only believed within it.
    MEMORY_BASIC_INFORMATION region{};
    const std::size_t mapped = ::VirtualQuery(base, &region, sizeof region) == sizeof region ? region.RegionSize : 0;
    if (mapped < kCapacityWord) return false;
    std::uint32_t capacity = 0;
    if (existed) {
        capacity = *static_cast<const std::uint32_t*>(base);
        if (capacity > mapped) capacity = static_cast<std::uint32_t>(mapped);
        if (capacity < kCapacityWord) capacity = kCapacityWord;
    } else {
        capacity = size + kCapacityWord;
        *static_cast<std::uint32_t*>(base) = capacity;
    }
    mapping.FMapping = std::move(handle);
    mapping.FBase = std::move(view);
    mapping.FView = static_cast<std::uint8_t*>(base) + kCapacityWord;
    mapping.FContentSize = capacity - kCapacityWord;
    mapping.FExisted = existed;
    return true;
}

bool CreateLibrarySharedOptionsMapping(HMODULE module)
{
    LibraryMapping& library = Library();
    rtl::TCriticalSectionLock lock(library.Lock);
    if (!CreateSharedOptionsMapping(module, 1, library.Mapping)) return false;
    if (library.Mapping.ContentSize() >= 1 && !library.Mapping.Existed()) Flag(library.Mapping).store(0);
    return true;
}

void CloseLibrarySharedOptionsMapping() noexcept
{
    LibraryMapping& library = Library();
    rtl::TCriticalSectionLock lock(library.Lock);
    CloseSharedOptionsMapping(library.Mapping);
}

bool PublishSharedOptions(const TVexlorModuleOptions* options)
{
    if (options == nullptr || options->ModuleHandle() == nullptr) return false;
    try {
        rtl::TMemoryStream stream;
        options->SaveToStream(stream);
        const std::size_t streamSize = stream.Bytes().size();
        if (streamSize >= std::numeric_limits<std::uint32_t>::max() - kCapacityWord) return false;
        const auto content = static_cast<std::uint32_t>(streamSize + 1);

        LibraryMapping& library = Library();
        rtl::TCriticalSectionLock lock(library.Lock);
        // Closing ours first lets the mapping be made anew at the new size when
        // nobody else holds it; otherwise the old one comes back with its size.
        CloseSharedOptionsMapping(library.Mapping);
        TSharedOptionsMapping& mapping = library.Mapping;
        if (!CreateSharedOptionsMapping(options->ModuleHandle(), content, mapping)) return false;
        if (mapping.ContentSize() < content) {
            SetLastVexlorLogError(
                eeLogError, "The shared options of module " +
                                SharedOptionsMappingName(::GetCurrentProcessId(), options->ModuleHandle()) + " need " +
                                std::to_string(content) + " bytes, but another module holds the copy with " +
                                std::to_string(mapping.ContentSize()) + "; the copy keeps the options it has.");
            return false;
        }
        // A reader that finds the flag 1 must find the whole stream behind it.
        Flag(mapping).store(0);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        std::memcpy(mapping.View() + 1, stream.Bytes().data(), streamSize);
        std::atomic_thread_fence(std::memory_order_seq_cst);
        Flag(mapping).store(1);
        return true;
    } catch (const std::exception& e) {
        SetLastVexlorLogError(eeLogError, std::string("The options could not be shared: ") + e.what());
    } catch (const rtl::Exception& e) {
        SetLastVexlorLogError(eeLogError, "The options could not be shared: " + e.Message());
    }
    return false;
}

bool ReadSharedOptions(TVexlorModuleOptions* options)
{
    if (options == nullptr || options->ModuleHandle() == nullptr) return false;
    TSharedOptionsMapping mapping;
    if (!CreateSharedOptionsMapping(options->ModuleHandle(), 0, mapping)) return false;
    if (mapping.ContentSize() < 1 || Flag(mapping).load() == 0) return false;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    try {
        LastVexlorVersion = VexlorLogCurrentVersion;
        rtl::TReadOnlyMemoryStream stream(mapping.View() + 1, mapping.ContentSize() - 1);
        options->LoadFromStream(stream);
        return true;
    } catch (const rtl::Exception& e) {
        SetLastVexlorLogError(eeLogError,
                              "The shared options of module " +
                                  SharedOptionsMappingName(::GetCurrentProcessId(), options->ModuleHandle()) +
                                  " cannot be read: " + e.Message());
    } catch (const std::exception& e) {
        SetLastVexlorLogError(eeLogError, std::string("The shared options cannot be read: ") + e.what());
    }
    return false;
}

}  // namespace crash
