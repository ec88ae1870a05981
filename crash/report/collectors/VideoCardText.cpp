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

void ReadMemorySize(const std::string& Key, const std::string& Name, TVideoCardFacts& Facts)
{
    Facts.MemoryKnown = ReadKeyDword(kMachine, Key, Name, Facts.MemorySize);
}

}  // namespace

std::string WithoutZeroBytes(const std::string& Bytes)
{
    std::string text;
    text.reserve(Bytes.size());
    for (char c : Bytes)
        if (c != '\0') text += c;
    return text;
}

std::string VideoMemoryKeyOf(const std::string& DeviceMapValue)
{
    const std::string& path = DeviceMapValue;
    std::string upper = path;
    ::CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    const std::size_t system = upper.find("\\SYSTEM");
    return system == std::string::npos ? std::string() : path.substr(system);
}

std::string VideoMemoryKeyOfDeviceMap()
{
    return VideoMemoryKeyOf(ReadKey(kMachine, "Hardware\\Devicemap\\Video", "\\Device\\Video0"));
}

TVideoCardFacts VideoFactsOfDeviceNT(const std::string& DeviceString, const std::string& DeviceId)
{
    TVideoCardFacts facts;
    facts.AdapterName = DeviceString;
    const std::string enumKey = "System\\CurrentControlSet\\Enum\\" + DeviceId;
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

TVideoCardFacts VideoFactsOfDevice9x(const std::string& DeviceString, const std::string& DeviceKey)
{
    TVideoCardFacts facts;
    facts.AdapterName = DeviceString;
    facts.DriverVersion = ReadKey(kMachine, DeviceKey, "Ver");
    ReadMemorySize(DeviceKey + "\\INFO", "VideoMemory", facts);
    return facts;
}

TVideoCardFacts VideoFactsOfDeviceMap()
{
    return VideoFactsOfVideoKey(VideoMemoryKeyOfDeviceMap());
}

TVideoCardFacts VideoFactsOfVideoKey(const std::string& MemoryKey)
{
    TVideoCardFacts facts;
    const std::string& memoryKey = MemoryKey;
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

std::string VideoCardTextOf(const TVideoCardFacts& Facts)
{
    std::string text(rtl::Trim(Facts.AdapterName));
    text += " (driver " + Facts.DriverVersion;
    if (Facts.MemoryKnown && Facts.MemorySize != 0)
        text += " - RAM " + std::to_string(Facts.MemorySize >> 20) + " MB)";
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
