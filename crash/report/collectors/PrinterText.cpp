// The printer item: the default printer's driver and its version.
#include <windows.h>
#include <winspool.h>

#include <vector>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Libraries.h"

namespace crash {

namespace {

struct TSpoolerEntries {
    decltype(&::OpenPrinterA) OpenPrinter = nullptr;
    decltype(&::ClosePrinter) ClosePrinter = nullptr;
    decltype(&::GetPrinterDriverA) GetPrinterDriver = nullptr;
    decltype(&::GetDefaultPrinterA) GetDefaultPrinter = nullptr;
    template <class TBinder>
    void BindEntries(TBinder& bind)
    {
        bind.Required(OpenPrinter, "OpenPrinterA");
        bind.Required(ClosePrinter, "ClosePrinter");
        bind.Required(GetPrinterDriver, "GetPrinterDriverA");
        bind.Optional(GetDefaultPrinter, "GetDefaultPrinterA");
    }
};
using TSpooler = rtl::RuntimeLibrary<TSpoolerEntries>;

// An open printer, closed through the spooler that opened it.
class TOpenPrinter {
public:
    TOpenPrinter(const TSpooler& spooler, const std::string& name) noexcept : FSpooler(spooler)
    {
        if (!spooler->OpenPrinter(const_cast<LPSTR>(name.c_str()), &FHandle, nullptr)) FHandle = nullptr;
    }
    ~TOpenPrinter()
    {
        if (FHandle != nullptr) FSpooler->ClosePrinter(FHandle);
    }
    TOpenPrinter(const TOpenPrinter&) = delete;
    TOpenPrinter& operator=(const TOpenPrinter&) = delete;
    HANDLE Get() const noexcept { return FHandle; }

private:
    const TSpooler& FSpooler;  // weak
    HANDLE FHandle = nullptr;
};

std::string DefaultPrinterName(const TSpooler& spooler)
{
    if (QueryWindowsVersion().PlatformId == VER_PLATFORM_WIN32_WINDOWS || OSIsWindowsNT4()) {
        char device[1024] = {};
        ::GetProfileStringA("windows", "device", "", device, sizeof device);
        const std::string text = device;
        return text.substr(0, text.find(','));
    }
    if (spooler->GetDefaultPrinter == nullptr) return {};
    char name[1024];
    DWORD length = sizeof name;
    if (!spooler->GetDefaultPrinter(name, &length)) return {};
    return name;
}

}  // namespace

std::string PrinterText()
{
    const TSpooler spooler(L"winspool.drv");
    if (!spooler) return {};
    const std::string printerName = DefaultPrinterName(spooler);
    if (printerName.empty()) return {};
    const TOpenPrinter printer(spooler, printerName);
    if (printer.Get() == nullptr) return {};
    DWORD size = 0;
    spooler->GetPrinterDriver(printer.Get(), nullptr, 2, nullptr, 0, &size);
    if (size < sizeof(DRIVER_INFO_2A)) return {};
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!spooler->GetPrinterDriver(printer.Get(), nullptr, 2, reinterpret_cast<BYTE*>(buffer.data()), size, &size))
        return {};
    const auto* driver = reinterpret_cast<const DRIVER_INFO_2A*>(buffer.data());
    std::string version = FileProductVersion(driver->pDriverPath ? driver->pDriverPath : "");
    std::erase(version, ' ');
    return std::string(driver->pName ? driver->pName : "") + " (driver " + version + ")";
}

}  // namespace crash
