// The video card item: adapter name, driver version and video memory, from
// the first display device's keys or the video keys of the registry.
#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/CollectorsInternal.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace collectors {

namespace {

const HKEY kMachine = HKEY_LOCAL_MACHINE;

void ReadMemorySize(const std::string& key, const std::string& name, TVideoCardFacts& facts)
{
    facts.MemoryKnown = ReadKeyDword(kMachine, key, name, facts.MemorySize);
}

}  // namespace

std::string WithoutZeroBytes(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes)
        if (c != '\0') text += c;
    return text;
}

std::string VideoMemoryKeyOf(const std::string& deviceMapValue)
{
    const std::string& path = deviceMapValue;
    std::string upper = path;
    ::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const std::size_t system = upper.find("\\SYSTEM");
    return system == std::string::npos ? std::string() : path.substr(system);
}

std::string VideoMemoryKeyOfDeviceMap()
{
    return VideoMemoryKeyOf(ReadKey(kMachine, "Hardware\\Devicemap\\Video", "\\Device\\Video0"));
}

TVideoCardFacts VideoFactsOfDeviceNT(const std::string& deviceString, const std::string& deviceId)
{
    TVideoCardFacts facts;
    facts.AdapterName = deviceString;
    const std::string enumKey = "System\\CurrentControlSet\\Enum\\" + deviceId;
    const std::string instance = FirstSubKey(kMachine, enumKey);
    const std::string deviceKey = enumKey + "\\" + instance;
    std::string rawVideoId;
    const bool hasVideoId =
        !instance.empty() && ReadKeyBytes(kMachine, deviceKey + "\\Device Parameters", "VideoID", rawVideoId);
    const std::string memoryKey = hasVideoId
                                      ? "System\\CurrentControlSet\\Control\\Video\\" +
                                            ReadKey(kMachine, deviceKey + "\\Device Parameters", "VideoID") + "\\0000"
                                      : VideoMemoryKeyOfDeviceMap();
    if (!memoryKey.empty()) ReadMemorySize(memoryKey, "HardwareInformation.MemorySize", facts);
    if (!instance.empty()) {
        const std::string driver = ReadKey(kMachine, deviceKey, "Driver");
        if (!driver.empty())
            facts.DriverVersion =
                ReadKey(kMachine, "System\\CurrentControlSet\\Control\\Class\\" + driver, "DriverVersion");
    }
    return facts;
}

TVideoCardFacts VideoFactsOfDevice9x(const std::string& deviceString, const std::string& deviceKey)
{
    TVideoCardFacts facts;
    facts.AdapterName = deviceString;
    facts.DriverVersion = ReadKey(kMachine, deviceKey, "Ver");
    ReadMemorySize(deviceKey + "\\INFO", "VideoMemory", facts);
    return facts;
}

TVideoCardFacts VideoFactsOfDeviceMap()
{
    return VideoFactsOfVideoKey(VideoMemoryKeyOfDeviceMap());
}

TVideoCardFacts VideoFactsOfVideoKey(const std::string& memoryKey)
{
    TVideoCardFacts facts;
    if (memoryKey.empty()) return facts;
    ReadMemorySize(memoryKey, "HardwareInformation.MemorySize", facts);
    std::string adapter;
    if (ReadKeyBytes(kMachine, memoryKey, "HardwareInformation.AdapterString", adapter))
        facts.AdapterName = WithoutZeroBytes(adapter);
    const std::size_t parentEnd = memoryKey.find_last_of('\\');
    if (parentEnd != std::string::npos && parentEnd > 0) {
        const std::string image = ReadKey(kMachine, memoryKey.substr(0, parentEnd), "ImagePath");
        if (!image.empty()) facts.DriverVersion = FileProductVersion(image);
    }
    return facts;
}

TVideoCardFacts VideoFactsOfDisplayClass()
{
    static constexpr const char* kClass = "System\\CurrentControlSet\\Services\\Class\\Display";
    std::string last = LastSubKey(kMachine, kClass);
    if (last.empty()) last = "0000";
    const std::string key = std::string(kClass) + "\\" + last;
    TVideoCardFacts facts;
    facts.AdapterName = ReadKey(kMachine, key, "DriverDesc");
    facts.DriverVersion = ReadKey(kMachine, key, "Ver");
    ReadMemorySize(key + "\\INFO", "VideoMemory", facts);
    return facts;
}

}  // namespace collectors

std::string VideoCardTextOf(const TVideoCardFacts& facts)
{
    std::string text(rtl::Trim(facts.AdapterName));
    text += " (driver " + facts.DriverVersion;
    if (facts.MemoryKnown && facts.MemorySize != 0)
        text += " - RAM " + std::to_string(facts.MemorySize >> 20) + " MB)";
    else
        text += ")";
    return text;
}

std::string VideoCardText()
{
    using namespace collectors;
    const TWindowsVersion version = QueryWindowsVersion();
    const bool nt = version.PlatformId == VER_PLATFORM_WIN32_NT;
    const bool nineX = version.PlatformId == VER_PLATFORM_WIN32_WINDOWS;
    // Windows 98 and 2000 brought the display-device enumeration.
    const bool supported =
        nineX ? version.MajorVersion > 4 || version.MinorVersion >= 10 : !nt || version.MajorVersion >= 5;
    auto* enumerate =
        rtl::EntryPoint<decltype(::EnumDisplayDevicesA)>(::GetModuleHandleW(L"user32.dll"), "EnumDisplayDevicesA");
    if (enumerate != nullptr && supported) {
        DISPLAY_DEVICEA device = {};
        device.cb = sizeof device;
        if (enumerate(nullptr, 0, &device, 0)) {
            const std::string name(device.DeviceString, strnlen(device.DeviceString, sizeof device.DeviceString));
            if (nineX)
                return VideoCardTextOf(VideoFactsOfDevice9x(
                    name, std::string(device.DeviceKey, strnlen(device.DeviceKey, sizeof device.DeviceKey))));
            return VideoCardTextOf(VideoFactsOfDeviceNT(
                name, std::string(device.DeviceID, strnlen(device.DeviceID, sizeof device.DeviceID))));
        }
    }
    return VideoCardTextOf(nt ? VideoFactsOfDeviceMap() : VideoFactsOfDisplayClass());
}

}  // namespace crash
