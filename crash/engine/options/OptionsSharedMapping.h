// The shared copy of a module's options: a named, page-file-backed mapping per
// module and process through which the modules of one process see each other's
// options.
//
// Layout: a 32-bit capacity word (content bytes + 4), a flag byte (1 when
// options follow, 0 when none were published), then the options stream of the
// current version. The name is the process ID and the module handle as 16
// upper-case hexadecimal digits.
//
// Failure: nothing here raises. A mapping that cannot be made gives no view
// (publication is skipped, reading finds nothing) without a warning; a stream
// that does not fit an existing mapping, and a shared stream that cannot be
// loaded, are warnings.
// Threads: publication is serialised by a lock of its own; reading takes no
// lock. Across modules there is none: a reader sees the flag 0 or a complete
// stream as long as publication does not overlap its read.
// Zone: ordinary and report code (allocates); never in hooks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "rtl/Handles.h"

namespace crash {

class TVexlorModuleOptions;

// One opened mapping and its view; unmapped and closed when it goes.
class TSharedOptionsMapping {
public:
    TSharedOptionsMapping() = default;
    TSharedOptionsMapping(const TSharedOptionsMapping&) = delete;
    TSharedOptionsMapping& operator=(const TSharedOptionsMapping&) = delete;
    ~TSharedOptionsMapping();

    explicit operator bool() const noexcept { return FView != nullptr; }
    HANDLE Handle() const noexcept { return FMapping.Get(); }
    // The content: the flag byte and the stream, after the capacity word.
    std::uint8_t* View() const noexcept { return FView; }
    // How many content bytes the view holds (the capacity word less 4, never
    // more than the system really mapped).
    std::uint32_t ContentSize() const noexcept { return FContentSize; }
    // True when the mapping was there before this object opened it.
    bool Existed() const noexcept { return FExisted; }

private:
    friend bool CreateSharedOptionsMapping(HMODULE, std::uint32_t, TSharedOptionsMapping&);
    friend void CloseSharedOptionsMapping(TSharedOptionsMapping&) noexcept;

    rtl::KernelHandle FMapping;
    rtl::MappedView FBase;  // the capacity word
    std::uint8_t* FView = nullptr;
    std::uint32_t FContentSize = 0;
    bool FExisted = false;
};

// "PPPPPPPPMMMMMMMM": process ID and module handle.
std::string SharedOptionsMappingName(DWORD processId, HMODULE module);

// Opens the mapping of module in this process, creating it with size content
// bytes when it does not exist; size 0 only opens. An existing mapping keeps
// its capacity, whatever size asks. True with mapping holding the view (any
// mapping it held is closed first); false when there is none.
bool CreateSharedOptionsMapping(HMODULE module, std::uint32_t size, TSharedOptionsMapping& mapping);
// Unmaps and closes; an empty mapping stays empty.
void CloseSharedOptionsMapping(TSharedOptionsMapping& mapping) noexcept;

// Start-up: the library's own mapping for module with one content byte, the
// flag 0 (no options yet). Shut-down: the library lets its mapping go.
bool CreateLibrarySharedOptionsMapping(HMODULE module);
void CloseLibrarySharedOptionsMapping() noexcept;

// Writes options (which need a module handle) into the mapping of their
// module, which the library then holds until the next publication or
// shut-down. The mapping is made anew at the stream's size; when another party
// still holds the old one and the stream does not fit it, nothing is written
// (warning) and the old, complete stream stays. The flag is 0 while the stream
// is written and 1 after. True when the options were written.
bool PublishSharedOptions(const TVexlorModuleOptions* options);

// Loads options (which need a module handle) from the mapping of their module
// when it exists and holds options, as the current version (LastVexlorVersion
// is set to it). True when options were loaded; a stream that fails to load is
// a warning (the options read so far stay).
bool ReadSharedOptions(TVexlorModuleOptions* options);

}  // namespace crash
