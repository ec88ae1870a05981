// The choice of a module's source, on copies of a library that the fixture
// generator gave a map, JDBG or TD32 data beside them, in a section of their
// own or behind a debug directory; and the side files' size limit.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "crash/engine/stack/CallStack.h"
#include "tests/crash/engine/debuginfo/DebugInfoTestSupport.h"
#include "tests/support/ModuleRecords.h"
#include "tests/support/TestFolders.h"

namespace crash::test {
namespace {

std::string FixtureFile(const std::string& name)
{
    return std::string(DEBUGINFO_FIXTURES) + "\\" + name;
}

// A fixture library loaded for one test.
class TLoaded {
public:
    explicit TLoaded(const std::string& name) : FModule(::LoadLibraryA(FixtureFile(name + ".dll").c_str())) {}
    ~TLoaded()
    {
        if (FModule != nullptr) ::FreeLibrary(FModule);
    }
    HMODULE Get() const noexcept { return FModule; }

private:
    HMODULE FModule;
};

template <std::size_t N>
void ExpectSourceAnswers(TVLDebugInfoSource& source, const fixtures::FixtureAnswer (&answers)[N])
{
    const auto base = reinterpret_cast<std::uintptr_t>(source.Module()) + 0x1000;
    for (const fixtures::FixtureAnswer& a : answers) {
        SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << a.Va);
        TVLLocationInfo info;
        ASSERT_EQ(source.GetLocationInfo(base + a.Va, info), a.Found);
        if (!a.Found) continue;
        EXPECT_EQ(info.Address, base + a.Va);
        EXPECT_EQ(info.DebugInfo, &source);
        EXPECT_EQ(info.UnitName, a.Unit);
        EXPECT_EQ(info.ProcedureName, a.Procedure);
        EXPECT_EQ(info.LineNumber, a.Line);
        EXPECT_EQ(info.ProcOffsetLine, a.ProcOffsetLine);
        EXPECT_EQ(info.SourceName, a.Source);
    }
}

TEST(AssignValidDebugInfo, ChoosesTheFirstValidKind)
{
    static constexpr struct {
        const char* library;
        const char* kind;
        const char* what;
    } kCases[] = {
        {"DbgMapTds", "TVLDebugInfoMap", "a map and a .tds file: the map"},
        {"DbgTdsOnly", "TVLDebugInfoTD32", "a .tds file"},
        {"DbgTdImage", "TVLDebugInfoTD32", "TD32 data loaded with the image, behind its debug directory"},
        {"DbgTdFile", "TVLDebugInfoTD32", "TD32 data the debug directory places in the file alone"},
        {"DbgJdbgOnly", "TVLDebugInfoJedy", "only a .jdbg file"},
        {"DbgJclSection", "TVLDebugInfoJedy", "a JCLDEBUG section added to the library"},
        {"DbgGnuMap", "TVLDebugInfoJedy", "a map of another linker does not hide the .jdbg file"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        TLoaded module(c.library);
        ASSERT_NE(module.Get(), nullptr) << ::GetLastError();
        std::unique_ptr<TVLDebugInfoSource> source;
        ASSERT_TRUE(AssignValidDebugInfo(module.Get(), source));
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(source->ClassName(), c.kind);
        EXPECT_EQ(source->Module(), module.Get());
        EXPECT_EQ(source->GetFileName(), FixtureFile(std::string(c.library) + ".dll"));
        if (auto* map = dynamic_cast<TVLDebugInfoMap*>(source.get()))
            ExpectSourceAnswers(*map, fixtures::kMapAnswers);
        else if (auto* td32 = dynamic_cast<TVLDebugInfoTD32*>(source.get()))
            ExpectSourceAnswers(*td32, fixtures::kTd32Answers);
        else
            ExpectSourceAnswers(*source, fixtures::kJdbgAnswers);
    }
}

TEST(AssignValidDebugInfo, WhereTheDataCameFrom)
{
    const auto sourceOf = [](HMODULE module) {
        std::unique_ptr<TVLDebugInfoSource> source;
        AssignValidDebugInfo(module, source);
        return source;
    };
    {
        TLoaded module("DbgTdImage");
        auto source = sourceOf(module.Get());
        const auto* td32 = dynamic_cast<TVLDebugInfoTD32*>(source.get());
        ASSERT_NE(td32, nullptr);
        EXPECT_TRUE(td32->Image()->IsTD32DebugInImage());
    }
    {
        TLoaded module("DbgTdsOnly");
        auto source = sourceOf(module.Get());
        const auto* td32 = dynamic_cast<TVLDebugInfoTD32*>(source.get());
        ASSERT_NE(td32, nullptr);
        EXPECT_FALSE(td32->Image()->IsTD32DebugInImage());
    }
    {
        TLoaded module("DbgJclSection");
        auto source = sourceOf(module.Get());
        const auto* jedy = dynamic_cast<TVLDebugInfoJedy*>(source.get());
        ASSERT_NE(jedy, nullptr);
        EXPECT_TRUE(jedy->FromSection());
    }
    {
        TLoaded module("DbgJdbgOnly");
        auto source = sourceOf(module.Get());
        const auto* jedy = dynamic_cast<TVLDebugInfoJedy*>(source.get());
        ASSERT_NE(jedy, nullptr);
        EXPECT_FALSE(jedy->FromSection());
        EXPECT_EQ(jedy->Scanner()->ModuleName(), "FixtureModule");
    }
}

// A full module record of a library without the crash reporter's data takes
// its other source, and an address of the library resolves through it.
TEST(AssignValidDebugInfo, ModuleRecordsTakeTheSourceAndAddressesResolveThroughIt)
{
    TLoaded module("DbgMapTds");
    ASSERT_NE(module.Get(), nullptr) << ::GetLastError();
    const TVexlorModuleInfo* record = ModuleInfoByHandle(module.Get());
    ASSERT_NE(record, nullptr);
    ASSERT_NE(dynamic_cast<TVLDebugInfoMap*>(record->OtherDebugData.get()), nullptr);
    const auto base = reinterpret_cast<std::uintptr_t>(module.Get()) + 0x1000;
    int resolved = 0;
    for (const fixtures::FixtureAnswer& a : fixtures::kMapAnswers) {
        if (!a.Found || a.Line <= 0) continue;
        SCOPED_TRACE(testing::Message() << "va 0x" << std::hex << a.Va);
        TVexlorDebugInfo item;
        GetDebugInfoByAddr(base + a.Va, GetCurrentThreadId(), item, false, true);
        EXPECT_EQ(item.DebugDetail, ddSourceCode);
        EXPECT_EQ(item.ModuleInfo, record);
        EXPECT_EQ(item.Line, static_cast<std::uint32_t>(a.Line));
        ++resolved;
    }
    EXPECT_GT(resolved, 0);
}

TEST(AssignValidDebugInfo, NothingOrAlreadySet)
{
    TLoaded none("DbgNone");
    ASSERT_NE(none.Get(), nullptr);
    std::unique_ptr<TVLDebugInfoSource> source;
    EXPECT_FALSE(AssignValidDebugInfo(none.Get(), source));
    EXPECT_EQ(source, nullptr);

    // Every kind on its own says why: no data of its kind.
    for (const auto& candidate : {TVLDebugInfoSource::Create<TVLDebugInfoMap>(none.Get()),
                                  TVLDebugInfoSource::Create<TVLDebugInfoTD32>(none.Get()),
                                  TVLDebugInfoSource::Create<TVLDebugInfoJedy>(none.Get())}) {
        ASSERT_NE(candidate, nullptr);
        EXPECT_FALSE(candidate->ValidData());
        TVLLocationInfo info;
        EXPECT_FALSE(candidate->GetLocationInfo(reinterpret_cast<std::uintptr_t>(none.Get()) + 0x1040, info));
    }

    TLoaded map("DbgMapTds");
    ASSERT_TRUE(AssignValidDebugInfo(map.Get(), source));
    TVLDebugInfoSource* kept = source.get();
    TLoaded jdbg("DbgJdbgOnly");
    EXPECT_FALSE(AssignValidDebugInfo(jdbg.Get(), source));
    EXPECT_EQ(source.get(), kept);
    EXPECT_EQ(source->ClassName(), "TVLDebugInfoMap");
}

TEST(AssignValidDebugInfo, ThisProgramHasNone)
{
    // The test program carries no data block and no side file.
    std::unique_ptr<TVLDebugInfoSource> source;
    EXPECT_FALSE(AssignValidDebugInfo(::GetModuleHandleA(nullptr), source));
}

TEST(DebugSideFiles, LargerThanTheLimitIsNotLoaded)
{
    const std::string folder = rtl::WideToAnsi(testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT"));
    const std::string name = folder + "\\TooLarge.map";
    rtl::FileHandle file(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(kMaxDebugFileSize) + 1;
    ASSERT_TRUE(::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(file.Get()));
    file.Close();
    std::vector<std::uint8_t> data;
    EXPECT_FALSE(debuginfo::LoadSideFile(name, data));
    EXPECT_TRUE(data.empty());
    TVLMapScanner scanner(name);
    EXPECT_FALSE(scanner.Loaded());
    ::DeleteFileA(name.c_str());

    EXPECT_TRUE(debuginfo::LoadSideFile(FixtureFile("DbgMapTds.map"), data));
    EXPECT_EQ(data.size(), sizeof fixtures::kMapText);
    EXPECT_FALSE(debuginfo::LoadSideFile(FixtureFile("NoSuchFile.map"), data));
    EXPECT_FALSE(debuginfo::LoadSideFile(DEBUGINFO_FIXTURES, data));  // a folder
}

}  // namespace
}  // namespace crash::test
