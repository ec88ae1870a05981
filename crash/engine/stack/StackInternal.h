// Internals of the call-stack walk shared by the folder's files and its tests.
#pragma once
#include <cstdint>

#include "crash/engine/stack/CallStack.h"

namespace crash::stack {

// The walk's stack range and where it came from: Origin is the address the
// byte at Start had on the thread's stack (Start itself for a live stack, the
// thread's stack pointer for a copy), so that saved frame pointers, which
// hold addresses of the original stack, can be followed in a copy.
struct TStackRange {
    std::uintptr_t Start = 0;
    std::uintptr_t End = 0;  // the highest byte
    std::uintptr_t Origin = 0;
};

// The module records one walk has found, by module handle: the module list
// asks the loader for a module's name at every lookup (a module may have
// been replaced at its address), which a walk over one stack need not repeat.
// Made with the walk and gone with it.
class TModuleRecordCache {
public:
    // ModuleInfoByAddr, asked once per module.
    TVexlorModuleInfo* RecordOf(std::uintptr_t address);

private:
    struct Entry {
        HMODULE Handle;
        TVexlorModuleInfo* Record;
    };
    static constexpr int kEntries = 8;
    Entry FEntries[kEntries] = {};
    int FCount = 0;
    int FNext = 0;
};

// GetDebugInfoByAddr with the walk's records (null: the module list alone).
void ResolveAddress(std::uintptr_t x, std::uint32_t threadId, TVexlorDebugInfo& item, bool errorLine,
                    bool runningThread, TModuleRecordCache* modules);

// ScanStackForReturnAddresses over a range that may be a copy.
void ScanStackRange(TVexlorStackList& list, std::uintptr_t firstAddr, const TStackRange& range, std::uint32_t threadId,
                    bool runningThread, bool followCallTargets, std::int32_t firstLevel, std::int32_t levelsCount,
                    TVexlorDebugDetails details, bool fullResolution);

// How many saved frame pointers in a row, each followed by a return address,
// vouch for a call through a register and a displacement (one more may be
// the chain's end instead).
inline constexpr int kVouchingLinks = 2;

}  // namespace crash::stack
