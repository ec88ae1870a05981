// The shared copy of the options: name, creation, publication and reading by
// another module's handle.
#include "crash/engine/options/OptionsSharedMapping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crash/engine/EConsts.h"
#include "crash/engine/EOptions.h"
#include "rtl/Handles.h"
#include "tests/crash/engine/options/CountingOptions.h"
#include "tests/crash/engine/stream/StreamTestSupport.h"

namespace crash {
namespace {

using test::DebugLines;

// Options of a module of their own (a made-up handle), so that the mapping
// names of the cases never meet.
class SharingOptions : public TVexlorModuleOptions {
public:
    SharingOptions(CreateKey key, std::string name, HMODULE module) : TVexlorModuleOptions(key, std::move(name))
    {
        SetModuleHandle(module);
    }
};

std::unique_ptr<SharingOptions> Make(HMODULE module)
{
    return TVexlorModuleOptions::Create<SharingOptions>("", module);
}

// Options that publish every change the way the library's own options do.
class PublishingOptions : public test::CountingOptions {
public:
    using CountingOptions::CountingOptions;
    void StoreSharedData() override
    {
        CountingOptions::StoreSharedData();
        PublishSharedOptions(this);
    }
};

// The mapping as another module opens it: by name, through a handle of its own.
class ForeignView {
public:
    explicit ForeignView(HMODULE module)
        : FHandle(
              OpenFileMappingA(FILE_MAP_READ, FALSE, SharedOptionsMappingName(GetCurrentProcessId(), module).c_str()))
    {
        if (FHandle) FView.Reset(MapViewOfFile(FHandle.Get(), FILE_MAP_READ, 0, 0, 0));
        FBase = static_cast<const std::uint8_t*>(FView.Get());
    }
    explicit operator bool() const { return FBase != nullptr; }
    std::uint32_t Capacity() const
    {
        std::uint32_t capacity;
        std::memcpy(&capacity, FBase, 4);
        return capacity;
    }
    std::uint8_t Flag() const { return FBase[4]; }
    const std::uint8_t* Base() const { return FBase; }

private:
    rtl::KernelHandle FHandle;
    rtl::MappedView FView;
    const std::uint8_t* FBase = nullptr;
};

HMODULE FakeModule(std::uintptr_t n)
{
    return reinterpret_cast<HMODULE>(0x10000000 + n * 0x10000);
}

class SharedOptions : public ::testing::Test {
protected:
    void TearDown() override { CloseLibrarySharedOptionsMapping(); }
};

TEST_F(SharedOptions, NameIsProcessAndModuleInSixteenUpperCaseDigits)
{
    EXPECT_EQ(SharedOptionsMappingName(0x1A2B, reinterpret_cast<HMODULE>(0x00400000)), "00001A2B00400000");
    EXPECT_EQ(SharedOptionsMappingName(0xFFFFFFFF, reinterpret_cast<HMODULE>(0xABCDEF00)), "FFFFFFFFABCDEF00");
}

TEST_F(SharedOptions, OpeningOnlyMakesNothing)
{
    TSharedOptionsMapping mapping;
    EXPECT_FALSE(CreateSharedOptionsMapping(FakeModule(1), 0, mapping));
    EXPECT_FALSE(mapping);
    EXPECT_FALSE(ForeignView(FakeModule(1)));

    ASSERT_TRUE(CreateSharedOptionsMapping(FakeModule(1), 10, mapping));
    EXPECT_FALSE(mapping.Existed());
    EXPECT_EQ(mapping.ContentSize(), 10u);
    TSharedOptionsMapping second;
    ASSERT_TRUE(CreateSharedOptionsMapping(FakeModule(1), 0, second));
    EXPECT_TRUE(second.Existed());
    EXPECT_EQ(second.ContentSize(), 10u) << "an existing mapping keeps its capacity";
    CloseSharedOptionsMapping(mapping);
    CloseSharedOptionsMapping(second);
    EXPECT_FALSE(ForeignView(FakeModule(1))) << "closed by both: gone";
}

TEST_F(SharedOptions, StartUpMappingHoldsNoOptions)
{
    ASSERT_TRUE(CreateLibrarySharedOptionsMapping(FakeModule(2)));
    const ForeignView view(FakeModule(2));
    ASSERT_TRUE(view);
    EXPECT_EQ(view.Capacity(), 5u);
    EXPECT_EQ(view.Flag(), 0);

    const auto reader = Make(FakeModule(2));
    reader->SetSMTPHost("kept");
    EXPECT_FALSE(ReadSharedOptions(reader.get()));
    EXPECT_EQ(reader->SMTPHost(), "kept");
}

TEST_F(SharedOptions, AnotherModuleReadsWhatWasPublishedLast)
{
    int stores = 0;
    const auto own = TVexlorModuleOptions::Create<PublishingOptions>(test::TestModuleName(), &stores);
    const HMODULE module = own->ModuleHandle();
    ASSERT_EQ(module, LibraryModuleHandle());
    ASSERT_EQ(stores, 1) << "the defaults were published";

    own->SetSMTPHost("first.example.org");
    own->SetSMTPHost("second.example.org");  // publishing twice
    own->ExceptionsFilters().Add({true, "EFilter", "", fetAll, fdtNone, fhtNone, fatNone});

    const ForeignView view(module);
    ASSERT_TRUE(view);
    EXPECT_EQ(view.Flag(), 1);
    rtl::TMemoryStream expected;
    own->SaveToStream(expected);
    EXPECT_EQ(view.Capacity(), 4 + 1 + expected.Bytes().size()) << "made anew at the size of the last stream";
    EXPECT_EQ(std::memcmp(view.Base() + 5, expected.Bytes().data(), expected.Bytes().size()), 0);

    // Another module's copy of the library, holding its own object for the module.
    LastVexlorVersion = 450;
    const auto reader = Make(module);
    EXPECT_TRUE(ReadSharedOptions(reader.get()));
    EXPECT_EQ(LastVexlorVersion, VexlorLogCurrentVersion);
    EXPECT_EQ(reader->SMTPHost(), "second.example.org");
    ASSERT_EQ(reader->ExceptionsFilters().Count(), 1);
    EXPECT_EQ(reader->ExceptionsFilters().Items(0)->ExceptionClassName, "EFilter");
}

TEST_F(SharedOptions, AStreamTooBigForAHeldMappingIsRefusedAndTheOldOneStays)
{
    const HMODULE module = FakeModule(3);
    const auto own = Make(module);
    own->SetSMTPHost("old.example.org");
    ASSERT_TRUE(PublishSharedOptions(own.get()));
    const ForeignView holder(module);  // another module keeps the mapping open
    ASSERT_TRUE(holder);
    const std::uint32_t capacity = holder.Capacity();

    DebugLines lines;
    own->SetSMTPHost(std::string(5000, 'x'));  // past the capacity and its page
    EXPECT_FALSE(PublishSharedOptions(own.get()));
    EXPECT_EQ(DebugLines::Count("another module holds the copy"), 1);
    EXPECT_EQ(holder.Capacity(), capacity);
    EXPECT_EQ(holder.Flag(), 1);
    for (std::uint32_t at = capacity; at < 4096; ++at)
        ASSERT_EQ(holder.Base()[at], 0) << "written past the capacity at " << at;

    const auto reader = Make(module);
    EXPECT_TRUE(ReadSharedOptions(reader.get()));
    EXPECT_EQ(reader->SMTPHost(), "old.example.org");

    // A stream that fits the held mapping replaces the old one.
    own->SetSMTPHost("new");
    EXPECT_TRUE(PublishSharedOptions(own.get()));
    EXPECT_EQ(holder.Capacity(), capacity);
    EXPECT_TRUE(ReadSharedOptions(reader.get()));
    EXPECT_EQ(reader->SMTPHost(), "new");
}

TEST_F(SharedOptions, ADamagedCopyIsAWarningAndNothingMore)
{
    const HMODULE module = FakeModule(4);
    TSharedOptionsMapping mapping;
    ASSERT_TRUE(CreateSharedOptionsMapping(module, 16, mapping));
    mapping.View()[0] = 1;                      // "options follow"
    std::memset(mapping.View() + 1, 0x7F, 15);  // but a length of 0x7F7F7F7F

    DebugLines lines;
    const auto reader = Make(module);
    EXPECT_FALSE(ReadSharedOptions(reader.get()));
    EXPECT_EQ(DebugLines::Count("cannot be read"), 1);
    EXPECT_EQ(reader->SharedDataSuspensions(), 0);
}

TEST_F(SharedOptions, OptionsWithoutAModuleAreNeitherPublishedNorRead)
{
    const auto none = Make(nullptr);
    EXPECT_FALSE(PublishSharedOptions(none.get()));
    EXPECT_FALSE(ReadSharedOptions(none.get()));
    EXPECT_FALSE(PublishSharedOptions(nullptr));
    EXPECT_FALSE(ReadSharedOptions(nullptr));
}

}  // namespace
}  // namespace crash
