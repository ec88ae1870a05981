// The memory, disk, processor, display and language items of the report
// header.
#include <cmath>
#include <cstdio>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

HMODULE Kernel() noexcept
{
    return ::GetModuleHandleW(L"kernel32.dll");
}

struct TMemoryFacts {
    std::uint64_t Total = 0;
    std::uint64_t Available = 0;
};

TMemoryFacts QueryMemory()
{
    TMemoryFacts facts;
    if (auto* query = rtl::EntryPoint<decltype(::GlobalMemoryStatusEx)>(Kernel(), "GlobalMemoryStatusEx")) {
        MEMORYSTATUSEX status = {};
        status.dwLength = sizeof status;
        if (query(&status)) {
            facts.Total = status.ullTotalPhys;
            facts.Available = status.ullAvailPhys;
            return facts;
        }
    }
    MEMORYSTATUS status = {};
    status.dwLength = sizeof status;
    ::GlobalMemoryStatus(&status);
    facts.Total = status.dwTotalPhys;
    facts.Available = status.dwAvailPhys;
    return facts;
}

struct TDiskFacts {
    bool Known = false;
    std::uint64_t Total = 0;
    std::uint64_t FreeToCaller = 0;
};

TDiskFacts QueryDisk()
{
    TDiskFacts facts;
    auto* query = rtl::EntryPoint<decltype(::GetDiskFreeSpaceExA)>(Kernel(), "GetDiskFreeSpaceExA");
    const std::string root = DriveRootOf(ThisModuleFileName());
    if (query == nullptr || root.empty()) return facts;
    ULARGE_INTEGER freeToCaller = {};
    ULARGE_INTEGER total = {};
    ULARGE_INTEGER totalFree = {};
    if (!query(root.c_str(), &freeToCaller, &total, &totalFree)) return facts;
    facts.Known = true;
    facts.Total = total.QuadPart;
    facts.FreeToCaller = freeToCaller.QuadPart;
    return facts;
}

}  // namespace

std::string MegabytesText(std::uint64_t bytes)
{
    std::uint64_t megabytes = bytes >> 20;
    const std::uint64_t rest = bytes & 0xFFFFF;
    if (rest > 0x80000 || (rest == 0x80000 && megabytes % 2 == 1)) ++megabytes;
    return std::to_string(megabytes) + " Mb";
}

std::string GigabytesText(std::uint64_t bytes)
{
    // Hundredths, a half rounded away from zero as the number format does.
    const std::uint64_t hundredths = static_cast<std::uint64_t>(std::floor(bytes * 100.0 / 1073741824.0 + 0.5));
    std::string text = std::to_string(hundredths / 100);
    const unsigned fraction = static_cast<unsigned>(hundredths % 100);
    if (fraction != 0) {
        const std::wstring separator(1, rtl::DecimalSeparator());
        text += rtl::WideToAnsi(separator);
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text + " Gb";
}

std::string TotalMemoryText()
{
    return MegabytesText(QueryMemory().Total);
}

std::string FreeMemoryText()
{
    return MegabytesText(QueryMemory().Available);
}

std::string DriveRootOf(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
    // A network path's drive is its server and share.
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const std::size_t server = path.find('\\', 2);
        if (server == std::string::npos || server == 2) return {};
        const std::size_t share = path.find('\\', server + 1);
        if (share == server + 1) return {};
        return (share == std::string::npos ? path : path.substr(0, share)) + "\\";
    }
    return {};
}

std::string TotalDiskText()
{
    const TDiskFacts facts = QueryDisk();
    return facts.Known ? GigabytesText(facts.Total) : std::string();
}

std::string FreeDiskText()
{
    const TDiskFacts facts = QueryDisk();
    return facts.Known ? GigabytesText(facts.FreeToCaller) : std::string();
}

std::string ProcessorTextOf(const std::string& nameString, const std::string& vendor, const std::string& identifier)
{
    std::string text(rtl::Trim(nameString));
    if (text.empty()) {
        text = rtl::Trim(vendor);
        const std::string_view trimmed = rtl::Trim(identifier);
        if (!text.empty() && !trimmed.empty()) text.append(" - ").append(trimmed);
    }
    return text.empty() ? std::string("Unknown processor") : text;
}

std::string ProcessorText()
{
    static constexpr const char* kKey = "\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";
    const std::string name = ReadKey(HKEY_LOCAL_MACHINE, kKey, "ProcessorNameString");
    if (!rtl::Trim(name).empty()) return ProcessorTextOf(name, {}, {});
    return ProcessorTextOf({}, ReadKey(HKEY_LOCAL_MACHINE, kKey, "VendorIdentifier"),
                           ReadKey(HKEY_LOCAL_MACHINE, kKey, "Identifier"));
}

std::string DisplayModeTextOf(int width, int height, int bitsPerPixel)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d, %d bit", width, height, bitsPerPixel);
    return text;
}

namespace {

// The screen's device context, given back when it goes.
class TScreenDC {
public:
    TScreenDC() noexcept : FDC(::GetDC(nullptr)) {}
    ~TScreenDC()
    {
        if (FDC) ::ReleaseDC(nullptr, FDC);
    }
    TScreenDC(const TScreenDC&) = delete;
    TScreenDC& operator=(const TScreenDC&) = delete;
    int Caps(int index) const noexcept { return FDC ? ::GetDeviceCaps(FDC, index) : 0; }

private:
    HDC FDC;
};

}  // namespace

std::string DisplayModeText()
{
    const TScreenDC screen;
    return DisplayModeTextOf(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), screen.Caps(BITSPIXEL));
}

std::string DisplayDPIText()
{
    const TScreenDC screen;
    return std::to_string(screen.Caps(LOGPIXELSY));
}

namespace {

// The locale search's state: the system calls the search's callback without
// a context.
struct TLanguageSearch {
    LANGID FDefault = 0;
    bool FUnicode = true;
    std::string FFound;
};
TLanguageSearch* ActiveSearch = nullptr;

BOOL CALLBACK VisitLocale(LPSTR idText) noexcept
{
    try {
        TLanguageSearch& search = *ActiveSearch;
        const std::string text = idText != nullptr ? idText : "";
        const std::string lastFour = text.size() > 4 ? text.substr(text.size() - 4) : text;
        unsigned long id = 0;
        if (std::sscanf(lastFour.c_str(), "%lx", &id) != 1) return TRUE;
        const LCID locale = static_cast<LCID>(id);
        bool named = false;
        if (search.FUnicode) {
            wchar_t native[1024];
            named = ::GetLocaleInfoW(locale, LOCALE_SNATIVELANGNAME, native, 1024) > 1;
        } else {
            char native[1024];
            named = ::GetLocaleInfoA(locale, LOCALE_SNATIVELANGNAME, native, 1024) > 1;
        }
        if (!named) return TRUE;
        char english[1024];
        const int length = ::GetLocaleInfoA(locale, LOCALE_SENGLANGUAGE, english, 1024);
        if (id == search.FDefault) {
            search.FFound.assign(english, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
            return FALSE;
        }
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

std::string SystemLanguageText()
{
    static bool searched = false;
    static std::string language;
    if (searched) return language;
    TLanguageSearch search;
    search.FDefault = ::GetSystemDefaultLangID();
    search.FUnicode = QueryWindowsVersion().PlatformId == VER_PLATFORM_WIN32_NT;
    ActiveSearch = &search;
    ::EnumSystemLocalesA(VisitLocale, LCID_INSTALLED);
    ActiveSearch = nullptr;
    language = search.FFound;
    searched = true;
    return language;
}

std::string CharsetText()
{
    return std::to_string(UserCharSet());
}

}  // namespace crash
