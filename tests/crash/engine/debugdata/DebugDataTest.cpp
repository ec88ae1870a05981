// The data block the post-link step wrote into this very program: its parts,
// lookups in it (from many threads at once), the options file in it, and
// data appended to a library's file.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "crash/engine/EConsts.h"
#include "crash/engine/EDebugData.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Streams.h"
#include "tests/crash/engine/debugdata/BlockWriter.h"
#include "tests/support/ModuleRecords.h"
#include "tests/support/TestFolders.h"

// The symbols the step puts into this program's table (SYMBOLS in CMakeLists.txt).
extern "C" __attribute__((noinline, used)) int DebugDataSymbolTarget(int value)
{
    return value + 1;
}
namespace crash::test {
__attribute__((noinline, used)) int DebugDataOtherTarget(int value)
{
    return value * 2;
}

// The line of the opening brace, where the function's first row lies.
constexpr std::uint32_t kMarkerLine = __LINE__ + 2;
__attribute__((noinline, used)) int LineMarker(int value)
{
    return value ^ 0x5A;
}
}  // namespace crash::test

namespace crash {
namespace {

HMODULE Self()
{
    return ::GetModuleHandleA(nullptr);
}

const TModuleDebugData* DataOf(HMODULE module)
{
    const TVexlorModuleInfo* record = ModuleInfoByHandle(module);
    return record ? record->ExtraInformation.DebugInformation.get() : nullptr;
}

std::string WindowsPath(std::string path)
{
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

std::string FileBytes(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string StreamOf(const TVexlorModuleOptions& options)
{
    rtl::TMemoryStream stream;
    options.SaveToStream(stream);
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

// The .text section of this program.
std::pair<std::uintptr_t, std::uintptr_t> CodeRange()
{
    const auto base = reinterpret_cast<std::uintptr_t>(Self());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (std::memcmp(section->Name, ".text", 6) == 0)
            return {base + section->VirtualAddress, base + section->VirtualAddress + section->Misc.VirtualSize};
    return {0, 0};
}

struct Answer {
    bool Found = false;
    std::string Unit, Class, Procedure;
    std::uint32_t Line = 0, Offset = 0;
    int Detail = 0;
    bool operator==(const Answer&) const = default;
};

Answer Ask(std::uintptr_t address, bool scan = false)
{
    TVexlorDebugInfo item;
    Answer a;
    const TModuleDebugData* data = DataOf(Self());
    a.Found = scan ? ScanSourceInfo(*data, address, item) : GetSourceInfoByAddr(address, item);
    if (a.Found) {
        a.Unit = item.UnitName.Str();
        a.Class = item.ClassName.Str();
        a.Procedure = item.ProcedureName.Str();
        a.Line = item.Line;
        a.Offset = item.ProcOffsetLine;
        a.Detail = item.DebugDetail;
    }
    return a;
}

std::vector<std::uintptr_t> RandomCodeAddresses(std::size_t count, unsigned seed)
{
    const auto [begin, end] = CodeRange();
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::uintptr_t> pick(begin, end - 1);
    std::vector<std::uintptr_t> addresses(count);
    for (auto& address : addresses) address = pick(random);
    return addresses;
}

class OwnBlock : public ::testing::Test {
protected:
    void SetUp() override { ShowVexlorLogUnits = true; }
    void TearDown() override { ShowVexlorLogUnits = false; }
};

TEST_F(OwnBlock, TheProgramCarriesCurrentData)
{
    EXPECT_TRUE(IsVexlorLogModule(Self()));
    EXPECT_EQ(GetVexlorLogModuleVersion(Self()), VexlorLogCurrentVersion);
    EXPECT_TRUE(IsVexlorLogCurrentData(Self()));
    const TModuleDebugData* data = DataOf(Self());
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->FromResource);
    EXPECT_TRUE(data->IsValidEncryptPassword);
    EXPECT_EQ(data->HeaderFlags & kDataFlagUnitExtensions, kDataFlagUnitExtensions);
    EXPECT_GT(data->CompilationDate, 45000.0);  // linked after 2023
    ASSERT_TRUE(data->DebugInformation.has_value());
    EXPECT_NE(data->Index(), nullptr);
    // A module of the system carries none.
    EXPECT_FALSE(IsVexlorLogModule(::GetModuleHandleA("kernel32.dll")));
    EXPECT_EQ(GetVexlorLogModuleVersion(::GetModuleHandleA("kernel32.dll")), 0);
    EXPECT_EQ(DataOf(::GetModuleHandleA("kernel32.dll")), nullptr);
}

TEST_F(OwnBlock, SymbolsAreWhereTheLinkerPutThem)
{
    EXPECT_EQ(FindVexlorSymbol(0), reinterpret_cast<void*>(&DebugDataSymbolTarget));
    EXPECT_EQ(FindVexlorSymbol(7), reinterpret_cast<void*>(&test::DebugDataOtherTarget));
    EXPECT_EQ(FindVexlorSymbol(1), nullptr);
    EXPECT_EQ(FindVexlorSymbolIn(*DataOf(Self()), 7), reinterpret_cast<void*>(&test::DebugDataOtherTarget));
}

TEST_F(OwnBlock, AFunctionOfThisFileResolvesToItsLine)
{
    const Answer a = Ask(reinterpret_cast<std::uintptr_t>(&test::LineMarker));
    ASSERT_TRUE(a.Found);
    EXPECT_EQ(a.Unit, "DebugDataTest.cpp");
    EXPECT_EQ(a.Class, "crash::test");
    EXPECT_EQ(a.Procedure, "LineMarker");
    EXPECT_EQ(a.Line, test::kMarkerLine);
    EXPECT_EQ(a.Offset, 0u);
    EXPECT_EQ(a.Detail, ddSourceCode);
}

TEST_F(OwnBlock, TheLibrarysOwnUnitsShowOnlyTheModule)
{
    const auto address = reinterpret_cast<std::uintptr_t>(&ScanSourceInfo);
    EXPECT_EQ(Ask(address).Unit, "LineIndex.cpp");
    ShowVexlorLogUnits = false;
    const Answer reduced = Ask(address);
    EXPECT_TRUE(reduced.Found);
    EXPECT_EQ(reduced.Detail, ddModule);
    EXPECT_EQ(reduced.Unit, "");
    EXPECT_EQ(reduced.Line, 0u);
}

TEST_F(OwnBlock, TheIndexAnswersAsTheScan)
{
    int found = 0;
    for (std::uintptr_t address : RandomCodeAddresses(1500, 17)) {
        const Answer index = Ask(address), scan = Ask(address, true);
        EXPECT_EQ(index, scan) << std::hex << address;
        found += index.Found;
    }
    EXPECT_GT(found, 100);
}

struct ThreadWork {
    const std::vector<std::uintptr_t>* Addresses;
    const std::vector<Answer>* Expected;
    int Mismatches = 0;
};

DWORD WINAPI LookUpAll(void* parameter)
{
    auto& work = *static_cast<ThreadWork*>(parameter);
    for (int round = 0; round < 4; ++round)
        for (std::size_t i = 0; i < work.Addresses->size(); ++i)
            if (!(Ask((*work.Addresses)[i]) == (*work.Expected)[i])) ++work.Mismatches;
    return 0;
}

TEST_F(OwnBlock, EightThreadsGetTheAnswersOfOne)
{
    const std::vector<std::uintptr_t> addresses = RandomCodeAddresses(5000, 99);
    std::vector<Answer> expected;
    for (std::uintptr_t address : addresses) expected.push_back(Ask(address));
    std::vector<ThreadWork> work(8, ThreadWork{&addresses, &expected});
    std::vector<HANDLE> threads;
    for (ThreadWork& w : work) threads.push_back(::CreateThread(nullptr, 0, &LookUpAll, &w, 0, nullptr));
    ASSERT_EQ(::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 120000),
              WAIT_OBJECT_0);
    for (HANDLE thread : threads) ::CloseHandle(thread);
    for (const ThreadWork& w : work) EXPECT_EQ(w.Mismatches, 0);
}

TEST_F(OwnBlock, TheChecksumOfTheFilledImageIsValid)
{
    char path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(Self(), path, MAX_PATH), 0u);
    DWORD header = 0, computed = 0;
    ASSERT_EQ(::MapFileAndCheckSumA(path, &header, &computed), CHECKSUM_SUCCESS);
    EXPECT_NE(header, 0u);
    EXPECT_EQ(header, computed);
}

// ---- The options file ------------------------------------------------------------------

TEST(OptionsFile, TheBlockHoldsTheOptionsOfItsFile)
{
    auto fromFile = TVexlorModuleOptions::Create("");
    fromFile->LoadFromFile(WindowsPath(DEBUGDATA_TEST_OPTIONS));
    EXPECT_EQ(StreamOf(*ModuleInfoByHandle(Self())->ExtraInformation.Options), StreamOf(*fromFile));
    EXPECT_EQ(fromFile->SMTPPort(), 2525);  // not the defaults
}

TEST(OptionsFile, TheGeneratorWritesWhatSaveToFileWrites)
{
    // The values of TestOptions.txt, set here.
    auto o = TVexlorModuleOptions::Create("");
    o->SetActivateLog(true);
    o->SetActivateHandle(false);
    o->SetLogOptions({loNoDuplicateErrors, loDeleteLogAtVersionChange});
    o->SetAppendLogs(true);
    o->SetSaveLogFile(false);
    o->SetForegroundTab(ftAssembler);
    o->SetFreezeActivate(true);
    o->SetFreezeTimeout(-7);
    o->SetSMTPFrom("sender@example.test");
    o->SetSMTPHost("smtp.example.test");
    o->SetSMTPPort(2525);
    o->SetSMTPUserID("user");
    o->SetSMTPPassword("pa\"ss");
    o->SetTerminateBtnOperation(tbTerminate);
    o->SetErrorsNumberToSave(5);
    o->SetErrorsNumberToShowTerminateBtn(0);
    o->SetEMailAddresses("a@example.test;b@example.test");
    o->SetEMailSubject("One line\r\n");
    o->SetEMailSendMode(esmSMTPServer);
    o->SetShowOptions({soAppName, soExcDate, soCustomData});
    o->SetOutputPath("C:\\Logs\\");
    o->SetWebSendMode(wsmMantis);
    o->SetWebURL("http://example.test/");
    o->SetWebUserID("web");
    o->SetWebPassword("secret");
    o->SetWebPort(8081);
    o->SetAttachedFiles("a.txt;b.txt");
    o->SetCommonSendOptions(TCommonSendOptions::All());
    o->SetExceptionDialogOptions({edoShowCustomButton});
    o->SetAutoCloseDialogSecs(30);
    o->SetSupportURL("http://example.test/support");
    o->SetHTMLLayout("<html>\r\n<%HTML_TAG%>\r\n</html>");
    o->SetCallStackOptions({});
    o->SetBehaviourOptions({boCatchHandledExceptions, boPauseBorlandThreads});
    o->SetAutoCrashOperation(tbNone);
    o->SetAutoCrashNumber(3);
    o->SetAutoCrashMinutes(2);
    o->SetCompiledFileOptions({cfoUseVL7});
    o->SetExceptionDialogType(edtVexlorLog);
    o->SetProxyURL("proxy.example.test");
    o->SetProxyUserID("proxy");
    o->SetProxyPassword("pp");
    o->SetProxyPort(3128);
    o->SetTrakerUserID("t1");
    o->SetTrakerPassword("t2");
    o->SetTrakerAssignTo("t3");
    o->SetTrakerProject("t4");
    o->SetTrakerCategory("t5");
    o->SetTrakerTrialID("t6");
    o->SetZipPassword("zip");
    o->ExceptionsFilters().Add({true, "EAccessViolation", "", fetAll, fdtVexlorLog, fhtRTL, fatRestart});
    o->ExceptionsFilters().Add({false, "EConvertError", "bad \xe4", fetHandled, fdtNone, fhtVexlorLog, fatTerminate});
    o->SetEMailMessage("Two\r\nlines\r\n");
    o->SetCustomizedTexts(mtDialog_Caption, "\xce\xf8\xe8\xe1\xea\xe0");  // in code page 1251
    o->SetCustomizedTexts(mtInvalidEmailMsg, "");
    o->SetTextsCollection("Test");
    // LeaksOptions has no setter: the source keeps its default.
    EXPECT_EQ(FileBytes(WindowsPath(DEBUGDATA_TEST_OPTIONS)), StreamOf(*o));
}

TEST(OptionsFile, TheProgramsOptionsFileReadsBackEqual)
{
    const std::string name = WindowsPath(DEBUGDATA_CRASH_OPTIONS);
    auto options = TVexlorModuleOptions::Create("");
    options->LoadFromFile(name);
    EXPECT_EQ(StreamOf(*options), FileBytes(name));
}

// ---- Data appended to a library's file -------------------------------------------------

TEST(AppendedData, ACopyOfALibraryWithABlockAtItsEnd)
{
    const std::string original = WindowsPath(DEBUGDATA_DLL);
    HMODULE plain = ::LoadLibraryA(original.c_str());
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(IsVexlorLogModule(plain));
    const auto rva = reinterpret_cast<std::uintptr_t>(::GetProcAddress(plain, "DebugDataDllFunction")) -
                     reinterpret_cast<std::uintptr_t>(plain);
    ::FreeLibrary(plain);

    test::LineTables tables(6101);
    tables.Unit("Appended", 40, static_cast<std::uint32_t>(rva - 0x1000), 4,
                test::Proc(2, 1) + tables.Name({"", "DebugDataDllFunction"}) + test::Short(2, 1));
    test::BlockParts parts;
    auto options = TVexlorModuleOptions::Create("");
    options->SetWebPort(4321);
    parts.Options = StreamOf(*options);
    parts.Tables = tables.Bytes();
    const std::wstring folder = testsupport::EnvironmentFolder(L"VOLUMETRA_TEST_OUT");
    const std::string copy = std::string(folder.begin(), folder.end()) + "\\AppendedCopy.dll";
    {
        std::ofstream out(copy, std::ios::binary);
        out << FileBytes(original) << test::AppendedBlock(parts);
    }
    HMODULE module = ::LoadLibraryA(copy.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(IsVexlorLogModule(module));
    EXPECT_EQ(GetVexlorLogModuleVersion(module), 6101);
    const TModuleDebugData* data = DataOf(module);
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->FromResource);
    // The options went to the module's record with the data.
    EXPECT_EQ(data->Options, nullptr);
    EXPECT_EQ(ModuleInfoByHandle(module)->ExtraInformation.Options->WebPort(), 4321);
    TVexlorDebugInfo item;
    const auto function = reinterpret_cast<std::uintptr_t>(::GetProcAddress(module, "DebugDataDllFunction"));
    ASSERT_TRUE(GetSourceInfoByAddr(function + 2, item));
    EXPECT_EQ(item.UnitName.View(), "Appended.cpp");
    EXPECT_EQ(item.ProcedureName.View(), "DebugDataDllFunction");
    EXPECT_EQ(item.Line, 41u);
    ::FreeLibrary(module);
}

}  // namespace
}  // namespace crash
