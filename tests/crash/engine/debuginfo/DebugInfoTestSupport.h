// What the tests of the debug-information readers share: a source over a
// scanner at a made-up module address, the check of a scanner against the
// answers the fixture generator computed, and copies of data that end right
// before an unreadable page.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "DebugInfoFixtures.h"
#include "crash/engine/EDebug.h"
#include "crash/engine/debuginfo/DebugInfoInternal.h"

namespace crash::test {

// A module address no module has: lookups only compute offsets from it.
inline const HMODULE kFakeModule = reinterpret_cast<HMODULE>(0x20000000);
inline std::uintptr_t AddressOfVa(std::uint32_t va)
{
    return 0x20000000u + 0x1000u + va;
}

// A source that only answers VAFromAddr: the frame for a scanner's lookups.
class TStubSource : public TVLDebugInfoSource {
public:
    TStubSource() noexcept : TVLDebugInfoSource(kFakeModule) {}
    bool InitializeSource() override { return true; }
    bool ValidData() const noexcept override { return true; }
    bool GetLocationInfo(std::uintptr_t, TVLLocationInfo&) noexcept override { return false; }
};

// The location the scanner gives at the offset, as a module's source would.
template <class TScanner>
bool LocationAt(const TScanner& scanner, std::uint32_t va, TVLLocationInfo& info)
{
    TStubSource source;
    return debuginfo::LocationFromScanner(scanner, source, AddressOfVa(va), info);
}

template <class TScanner, std::size_t N>
void ExpectFixtureAnswers(const TScanner& scanner, const fixtures::FixtureAnswer (&answers)[N])
{
    for (const fixtures::FixtureAnswer& a : answers) {
        SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << a.Va);
        TVLLocationInfo info;
        const bool found = LocationAt(scanner, a.Va, info);
        ASSERT_EQ(found, a.Found);
        if (!found) continue;
        EXPECT_EQ(info.Address, AddressOfVa(a.Va));
        EXPECT_EQ(info.UnitName, a.Unit);
        EXPECT_EQ(info.ProcedureName, a.Procedure);
        EXPECT_EQ(info.LineNumber, a.Line);
        EXPECT_EQ(info.ProcOffsetLine, a.ProcOffsetLine);
        EXPECT_EQ(info.SourceName, a.Source);
    }
}

template <std::size_t N>
std::string_view TextOf(const unsigned char (&bytes)[N])
{
    return {reinterpret_cast<const char*>(bytes), N};
}

// A copy of bytes whose last byte lies right before a page that cannot be
// read, so that a read past their end faults instead of passing unseen.
class TGuardedCopy {
public:
    explicit TGuardedCopy(std::string_view data)
    {
        const std::size_t page = 4096;
        FPages = (data.size() + page - 1) / page + 1;
        FBase = static_cast<std::uint8_t*>(
            ::VirtualAlloc(nullptr, FPages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        ::VirtualProtect(FBase + (FPages - 1) * page, page, PAGE_NOACCESS, &previous);
        FData = FBase + (FPages - 1) * page - data.size();
        if (!data.empty()) std::memcpy(FData, data.data(), data.size());
        FSize = data.size();
    }
    ~TGuardedCopy() { ::VirtualFree(FBase, 0, MEM_RELEASE); }
    TGuardedCopy(const TGuardedCopy&) = delete;
    TGuardedCopy& operator=(const TGuardedCopy&) = delete;

    const std::uint8_t* Data() const noexcept { return FData; }
    std::size_t Size() const noexcept { return FSize; }
    std::string_view Text() const noexcept { return {reinterpret_cast<const char*>(FData), FSize}; }

private:
    std::uint8_t* FBase = nullptr;
    std::uint8_t* FData = nullptr;
    std::size_t FPages = 0;
    std::size_t FSize = 0;
};

}  // namespace crash::test
