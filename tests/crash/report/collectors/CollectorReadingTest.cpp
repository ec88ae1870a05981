// The collectors' reading paths: registry values seeded in the prefix (and
// restored), and the live sources of the machine the tests run on.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>

#include "crash/engine/ExceptionLog.h"
#include "crash/engine/pipeline/ReportContext.h"
#include "crash/report/collectors/CollectorsInternal.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "tests/crash/report/collectors/RegistrySeed.h"

namespace crash {
namespace {

using testsupport::RegistrySeed;

constexpr const char* kProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
constexpr const char* kNtVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kAcmeKey = "SOFTWARE\\Microsoft\\MS Setup (ACME)\\User Info";

TEST(CollectorReading, ProcessorFromItsKey)
{
    {
        RegistrySeed seed;
        ASSERT_TRUE(seed.SetString(kProcessorKey, "ProcessorNameString", "  Volumetra Test CPU @ 2.00GHz "));
        EXPECT_EQ(ProcessorText(), "Volumetra Test CPU @ 2.00GHz");
    }
    {
        RegistrySeed seed;
        ASSERT_TRUE(seed.SetString(kProcessorKey, "ProcessorNameString", " "));
        ASSERT_TRUE(seed.SetString(kProcessorKey, "VendorIdentifier", "GenuineTest"));
        ASSERT_TRUE(seed.SetString(kProcessorKey, "Identifier", "x86 Family 6 Model 99"));
        EXPECT_EQ(ProcessorText(), "GenuineTest - x86 Family 6 Model 99");
    }
    {
        RegistrySeed seed;
        ASSERT_TRUE(seed.Remove(kProcessorKey, "ProcessorNameString"));
        ASSERT_TRUE(seed.Remove(kProcessorKey, "VendorIdentifier"));
        EXPECT_EQ(ProcessorText(), "Unknown processor");
    }
    // Restored: the machine's own text again.
    EXPECT_NE(ProcessorText(), "GenuineTest - x86 Family 6 Model 99");
}

TEST(CollectorReading, CompanyFromTheFirstSetupKeyThatNamesOne)
{
    ASSERT_TRUE(OSIsVistaOrLater()) << "the prefix should say Windows 7 or later";
    {
        RegistrySeed seed;
        ASSERT_TRUE(seed.SetString(kNtVersionKey, "RegisteredOrganization", "Fuel Tanks Ltd"));
        ASSERT_TRUE(seed.SetString(kVersionKey, "RegisteredOrganization", "Other"));
        EXPECT_EQ(UserCompanyText(), "Fuel Tanks Ltd");
    }
    {
        RegistrySeed seed;
        // The placeholder counts as empty on Vista and later.
        ASSERT_TRUE(seed.SetString(kNtVersionKey, "RegisteredOrganization", "Microsoft"));
        ASSERT_TRUE(seed.SetString(kVersionKey, "RegisteredOrganization", ""));
        ASSERT_TRUE(seed.SetString(kAcmeKey, "DefCompany", "Acme Depot"));
        EXPECT_EQ(UserCompanyText(), "Acme Depot");
    }
    {
        RegistrySeed seed;
        ASSERT_TRUE(seed.SetString(kNtVersionKey, "RegisteredOrganization", "Microsoft"));
        ASSERT_TRUE(seed.Remove(kVersionKey, "RegisteredOrganization"));
        ASSERT_TRUE(seed.Remove(kAcmeKey, "DefCompany"));
        EXPECT_EQ(UserCompanyText(), "");
    }
}

// A display adapter of our own under the enumeration tree, the video and the
// class keys, as the NT line keeps them.
struct TSeededAdapter {
    static constexpr const char* kDeviceId = "VOLUMETRA\\TEST_ADAPTER";
    static constexpr const char* kVideoId = "{5E1D7E57-0000-4000-8000-000000000001}";
    static constexpr const char* kClassId = "{5E1D7E57-0000-4000-8000-000000000003}";
    RegistrySeed FSeed;

    bool Seed(bool withVideoId, bool fourByteMemory)
    {
        const std::string device = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kDeviceId + "\\0000";
        const std::string memory = std::string("SYSTEM\\CurrentControlSet\\Control\\Video\\") + kVideoId + "\\0000";
        // A class key of our own: Wine's display driver rewrites the real
        // display class while other test programs start their desktops.
        bool ok = FSeed.SetString(device, "Driver", std::string(kClassId) + "\\0777");
        if (withVideoId) ok = ok && FSeed.SetString(device + "\\Device Parameters", "VideoID", kVideoId);
        ok = ok && FSeed.SetString(std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kClassId + "\\0777",
                                   "DriverVersion", "8.593.100.0");
        if (fourByteMemory) {
            ok = ok && FSeed.SetDword(memory, "HardwareInformation.MemorySize", 268435456);
        } else {
            const std::uint64_t big = 268435456;
            ok = ok && FSeed.Set(memory, "HardwareInformation.MemorySize", REG_QWORD, &big, sizeof big);
        }
        return ok;
    }
};

TEST(CollectorReading, VideoCardOfTheFirstDisplayDevice)
{
    {
        TSeededAdapter adapter;
        ASSERT_TRUE(adapter.Seed(true, true));
        EXPECT_EQ(
            VideoCardTextOf(collectors::VideoFactsOfDeviceNT("  Volumetra Test Adapter ", TSeededAdapter::kDeviceId)),
            "Volumetra Test Adapter (driver 8.593.100.0 - RAM 256 MB)");
    }
    {
        // A memory value that is not 4 bytes long is not read.
        TSeededAdapter adapter;
        ASSERT_TRUE(adapter.Seed(true, false));
        EXPECT_EQ(
            VideoCardTextOf(collectors::VideoFactsOfDeviceNT("Volumetra Test Adapter", TSeededAdapter::kDeviceId)),
            "Volumetra Test Adapter (driver 8.593.100.0)");
    }
    // Not there at all: the name, no driver, and the memory only as the
    // device map gives it (another test seeds the device map meanwhile, so
    // its value is not fixed here).
    const TVideoCardFacts missing = collectors::VideoFactsOfDeviceNT("Nothing", "VOLUMETRA\\NO_SUCH_ADAPTER");
    EXPECT_EQ(missing.AdapterName, "Nothing");
    EXPECT_EQ(missing.DriverVersion, "");
}

TEST(CollectorReading, VideoCardOfTheDeviceMap)
{
    // The device map names the key in the kernel's form, in any case; its
    // value itself is not seeded: Wine's display driver rewrites it while
    // other test programs start their desktops.
    const struct {
        const char* value;
        const char* key;
    } kValues[] = {
        {"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\{X}\\0000",
         "\\System\\CurrentControlSet\\Control\\Video\\{X}\\0000"},
        {"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Video\\{X}\\0000", "\\SYSTEM\\ControlSet001\\Video\\{X}\\0000"},
        {"\\Registry\\Machine\\Software\\Video", ""},
        {"", ""},
    };
    for (const auto& v : kValues) EXPECT_EQ(collectors::VideoMemoryKeyOf(v.value), v.key) << v.value;

    // A key of its own: the tests run side by side on one registry.
    static constexpr const char* kVideoId = "{5E1D7E57-0000-4000-8000-000000000002}";
    RegistrySeed seed;
    const std::string memoryKey = std::string("SYSTEM\\CurrentControlSet\\Control\\Video\\") + kVideoId + "\\0000";
    ASSERT_TRUE(seed.SetDword(memoryKey, "HardwareInformation.MemorySize", 134217728));
    static const wchar_t kAdapter[] = L"Volumetra Map Adapter";
    ASSERT_TRUE(seed.Set(memoryKey, "HardwareInformation.AdapterString", REG_BINARY, kAdapter, sizeof kAdapter));
    // The driver file: a system library that has a product version.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string driverFile = std::string(system) + "\\user32.dll";
    const std::string version = FileProductVersion(driverFile);
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(
        seed.SetString(std::string("SYSTEM\\CurrentControlSet\\Control\\Video\\") + kVideoId, "ImagePath", driverFile));
    EXPECT_EQ(VideoCardTextOf(collectors::VideoFactsOfVideoKey("\\" + memoryKey)),
              "Volumetra Map Adapter (driver " + version + " - RAM 128 MB)");
    EXPECT_EQ(VideoCardTextOf(collectors::VideoFactsOfVideoKey("")), " (driver )");
}

TEST(CollectorReading, VideoCardOfTheLastDisplayClassKey)
{
    RegistrySeed seed;
    const std::string display = "SYSTEM\\CurrentControlSet\\Services\\Class\\Display";
    ASSERT_TRUE(seed.SetString(display + "\\0000", "DriverDesc", "Old Card"));
    ASSERT_TRUE(seed.SetString(display + "\\0001", "DriverDesc", "New Card"));
    ASSERT_TRUE(seed.SetString(display + "\\0001", "Ver", "4.10"));
    ASSERT_TRUE(seed.SetDword(display + "\\0001\\INFO", "VideoMemory", 8388608));
    EXPECT_EQ(VideoCardTextOf(collectors::VideoFactsOfDisplayClass()), "New Card (driver 4.10 - RAM 8 MB)");
    EXPECT_EQ(VideoCardTextOf(collectors::VideoFactsOfDevice9x("Nine Card", display + "\\0001")),
              "Nine Card (driver 4.10 - RAM 8 MB)");
}

// The live sources: whatever the machine has, each collector answers in its
// form and none raises.
TEST(CollectorReading, LiveSourcesAnswerInTheirForm)
{
    const std::string total = TotalMemoryText();
    const std::string free = FreeMemoryText();
    EXPECT_TRUE(total.ends_with(" Mb") && total != "0 Mb") << total;
    EXPECT_TRUE(free.ends_with(" Mb")) << free;
    EXPECT_LE(std::stoull(free), std::stoull(total));

    // The prefix's drive of this program is a real folder of the guest.
    const std::string disk = TotalDiskText();
    const std::string freeDisk = FreeDiskText();
    EXPECT_TRUE(disk.ends_with(" Gb")) << disk;
    EXPECT_TRUE(freeDisk.ends_with(" Gb")) << freeDisk;

    const std::string dpi = DisplayDPIText();
    EXPECT_GT(std::stoi(dpi), 0) << dpi;
    const std::string mode = DisplayModeText();
    EXPECT_NE(mode.find(" x "), std::string::npos) << mode;
    EXPECT_TRUE(mode.ends_with(" bit")) << mode;

    // LANG=ru_RU.UTF-8: the system language is Russian, its character set 204.
    ASSERT_EQ(GetACP(), 1251u);
    EXPECT_EQ(SystemLanguageText(), "Russian");
    EXPECT_EQ(SystemLanguageText(), "Russian");  // kept
    EXPECT_EQ(CharsetText(), "204");

    // Every line of the privileges in its columns; Wine's token has them.
    const std::string privileges = UserPrivilegesText();
    ASSERT_FALSE(privileges.empty());
    EXPECT_NE(privileges.find("SeChangeNotifyPrivilege         - ON\r\n"), std::string::npos) << privileges;
    for (std::size_t start = 0; start < privileges.size();) {
        const std::size_t end = privileges.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = privileges.substr(start, end - start);
        EXPECT_TRUE(line.ends_with(" - ON") || line.ends_with(" - OFF")) << line;
        EXPECT_GE(line.size(), 31u + 5) << line;
        start = end + 2;
    }

    const std::string processor = ProcessorText();
    EXPECT_FALSE(processor.empty());
    EXPECT_EQ(processor, rtl::Trim(processor));

    // Wine has no video keys or printers of its own to speak of: only the form.
    const std::string video = VideoCardText();
    EXPECT_NE(video.find(" (driver "), std::string::npos) << video;
    EXPECT_TRUE(video.ends_with(")")) << video;
    // Without a default printer the item is empty.
    bool hasDefault = false;
    {
        // Looked up, not imported: the other tests check that the spooler is
        // not left loaded.
        const rtl::LibraryHandle spooler(LoadLibraryW(L"winspool.drv"));
        auto* query = rtl::EntryPoint<decltype(::GetDefaultPrinterA)>(spooler.Get(), "GetDefaultPrinterA");
        char name[1024];
        DWORD length = sizeof name;
        hasDefault = query != nullptr && query(name, &length);
    }
    const std::string printer = PrinterText();
    if (hasDefault)
        EXPECT_NE(printer.find(" (driver "), std::string::npos) << printer;
    else
        EXPECT_EQ(printer, "");

    const TNetworkTexts network = NetworkInfoTexts();
    for (const int item : {niIP, niMask, niGateway, niDNS1, niDNS2}) {
        const std::string& text = network[item];
        EXPECT_FALSE(text.ends_with(" - ")) << text;
        // Padded: each address 15 characters, joined by " - ".
        EXPECT_TRUE(text.empty() || (text.size() + 3) % 18 == 0) << text;
    }
    EXPECT_EQ(network[niIP].empty(), network[niDHCP].empty());

    EXPECT_EQ(ForegroundFormText(), SingleLineText(ForegroundFormText()));
}

TEST(CollectorReading, WindowTextsOfTheDesktop)
{
    // With nothing in the foreground the system may answer its desktop
    // window: that is no form of the program, and its class atom name
    // "#32769" no class the report can show.
    EXPECT_EQ(WindowClassText(::GetDesktopWindow()), "");
    EXPECT_EQ(WindowCaptionText(::GetDesktopWindow()), "");
    EXPECT_EQ(WindowClassText(nullptr), "");
    EXPECT_NE(ForegroundFormClassText(), "#32769");
}

TEST(CollectorReading, ApplicationAndModuleTexts)
{
    const std::string own = ExtractFileName(rtl::ModuleFileNameAnsi(nullptr));
    // The test program has no version resource: the bare file name.
    EXPECT_EQ(ApplicationNameText(), own);
    EXPECT_EQ(MainModuleHandle(), GetModuleHandleW(nullptr));
    // A metadata file that is no loaded module is mapped for its resources
    // and kept: the same handle again, its description shown.
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string metadata = std::string(system) + "\\msi.dll";
    ASSERT_EQ(GetModuleHandleA(metadata.c_str()), nullptr) << "pick a library the test does not load";
    HMODULE mapped = MainModuleHandle(metadata);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(MainModuleHandle(metadata), mapped);
    std::string description;
    std::string version;
    GetFileDescriptionAndVersion(metadata, description, version);
    EXPECT_EQ(ApplicationNameText(false, metadata), NameWithDescription(own, description));
    FreeMainModuleHandle();
    // A missing metadata file: the program's own.
    EXPECT_EQ(MainModuleHandle("C:\\no\\such\\file.dll"), GetModuleHandleW(nullptr));

    // The faulting module: this program, or a system library with its
    // description and version.
    const void* here = reinterpret_cast<const void*>(&PrivilegeLine);
    EXPECT_EQ(ExceptionModuleText(here), own);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const void* inKernel = reinterpret_cast<const void*>(GetProcAddress(kernel, "GetTickCount"));
    GetFileDescriptionAndVersion(GetModuleFullFileName(kernel), description, version);
    EXPECT_EQ(ExceptionModuleText(inKernel), NameWithDescription(GetModuleFullFileName(kernel), description));
    EXPECT_EQ(ExceptionModuleVersionText(inKernel), version);
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(ExceptionModuleText(reinterpret_cast<const void*>(0x10)), "");
    EXPECT_EQ(ExceptionModuleVersionText(reinterpret_cast<const void*>(0x10)), "");

    // ctest starts the program with its filter switch.
    EXPECT_TRUE(CommandLineParametersText().starts_with("--gtest")) << CommandLineParametersText();

    // The test program carries the crash reporter's data, with its compile
    // time: read through the module list, as the crash reporter's start-up
    // makes it.
    CreateModuleLists();
    InstallModuleDataReader();
    const std::string compiled = CompilationDateText();
    EXPECT_FALSE(compiled.empty());
    EXPECT_TRUE(compiled.size() > 20 && compiled[3] == ',') << compiled;
}

}  // namespace
}  // namespace crash

namespace crash {
namespace {

// Every path gives back what it took: the libraries a collector loads are
// gone again and the process holds no more handles than before.
TEST(CollectorReading, NothingIsLeftBehind)
{
    static constexpr const wchar_t* kLoaded[] = {L"winspool.drv", L"iphlpapi.dll"};
    for (const wchar_t* library : kLoaded)
        ASSERT_EQ(GetModuleHandleW(library), nullptr) << "loaded before: " << rtl::WideToAnsi(library);
    auto all = [] {
        std::string sink = PrinterText() + UserPrivilegesText() + VideoCardText() + TotalDiskText() + ProcessorText() +
                           UserCompanyText() + DisplayModeText() + DisplayDPIText() + ApplicationNameText() +
                           ExceptionModuleText(reinterpret_cast<const void*>(&PrivilegeLine));
        for (const std::string& text : NetworkInfoTexts()) sink += text;
        return sink;
    };
    all();  // first calls may make what the system keeps for good
    DWORD before = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    for (int i = 0; i < 10; ++i) all();
    DWORD after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
    for (const wchar_t* library : kLoaded)
        EXPECT_EQ(GetModuleHandleW(library), nullptr) << "still loaded: " << rtl::WideToAnsi(library);
}

}  // namespace
}  // namespace crash

namespace crash {
namespace {

TEST(CollectorReading, HeaderValuesOfTheShownItems)
{
    const rtl::Exception error("Pump stopped");
    TReportContext context;
    context.ExceptionObject = const_cast<rtl::Exception*>(&error);
    context.ExceptionAddress = reinterpret_cast<void*>(&PrivilegeLine);
    context.ActiveControlClass = "TEdit";
    context.ActiveControlText = "12,5\r\n";
    THeaderValues values;
    values.fill("untouched");
    TShowOptions shown = TShowOptions::All();
    shown.Exclude(soCmpPrinter);
    shown.Exclude(soNetIP);
    shown.Exclude(soExcType);  // made all the same: the dialogs read it
    CollectHeaderValues(context, values, shown);

    const std::string own = ExtractFileName(rtl::ModuleFileNameAnsi(nullptr));
    EXPECT_EQ(values[soAppName], own);
    EXPECT_EQ(values[soExcModuleName], own);
    EXPECT_EQ(values[soExcAddress], ExceptionAddressText(context.ExceptionAddress));
    EXPECT_EQ(values[soExcType], "Exception");
    EXPECT_EQ(values[soExcMessage], "Pump stopped.");
    EXPECT_EQ(values[soActCtlsControlClass], "TEdit");
    EXPECT_EQ(values[soActCtlsControlText], "12,5 ");
    EXPECT_EQ(values[soOSCharset], "204");
    EXPECT_EQ(values[soNetSubmask], NetworkInfoTexts()[niMask]);
    // Not shown, or not the collectors' own: as they were.
    for (const TShowOption option :
         {soCmpPrinter, soNetIP, soAppStartDate, soAppVersionNumber, soAppUpTime, soExcDate, soExcID, soExcCount,
          soExcStatus, soExcNote, soUserID, soUserName, soCmpName, soCmpSysUpTime, soOSType, soOSBuildN, soOSUpdate}) {
        SCOPED_TRACE(static_cast<int>(option));
        EXPECT_EQ(values[option], "untouched");
    }
}

}  // namespace
}  // namespace crash
