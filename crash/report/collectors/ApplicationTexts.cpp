// The application and exception-module items of the report header.
#include <cstdio>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/HeaderCollectors.h"
#include "rtl/Handles.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

// The metadata module mapped for its version data, kept until shut-down so
// that the handle handed out stays good.
struct TMappedMainModule {
    rtl::LibraryHandle FModule;
    std::string FFileName;
};

TMappedMainModule& MappedMainModule()
{
    static TMappedMainModule mapped;
    return mapped;
}

}  // namespace

std::string HostedMainModuleFileName()
{
    return DotNetHostedFile(Real_GetMainModuleFileName());
}

HMODULE MainModuleHandle(const std::string& metadataFilePath)
{
    const std::string fileName =
        !metadataFilePath.empty() && IsReadableFile(metadataFilePath) ? metadataFilePath : HostedMainModuleFileName();
    if (fileName.empty()) return nullptr;
    if (HMODULE loaded = ::GetModuleHandleA(fileName.c_str())) return loaded;
    TMappedMainModule& mapped = MappedMainModule();
    if (mapped.FModule && lstrcmpiA(mapped.FFileName.c_str(), fileName.c_str()) == 0) return mapped.FModule.Get();
    // Only its resources are read: a metadata library's own code has no
    // business running while a report is made.
    mapped.FModule.Reset(::LoadLibraryExA(fileName.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    mapped.FFileName = mapped.FModule ? fileName : std::string();
    return mapped.FModule.Get();
}

void FreeMainModuleHandle() noexcept
{
    MappedMainModule().FModule.Reset();
}

std::string NameWithDescription(const std::string& fileName, const std::string& description)
{
    std::string text = ExtractFileName(fileName);
    const std::string_view trimmed = rtl::Trim(description);
    if (!trimmed.empty()) text.append(" - (").append(trimmed).append(")");
    return text;
}

std::string ApplicationNameText(bool callFromComObject, const std::string& metadataFilePath)
{
    const std::string fileName =
        callFromComObject ? HostedMainModuleFileName() : GetModuleFullFileName(::GetModuleHandleW(nullptr));
    std::string description;
    std::string version;
    if (HMODULE module = MainModuleHandle(metadataFilePath))
        GetFileDescriptionAndVersion(GetModuleFullFileName(module), description, version);
    return NameWithDescription(fileName, description);
}

std::string CommandLineParameters(const std::string& commandLine)
{
    const std::string_view line = rtl::Trim(commandLine);
    std::size_t position = 0;
    // The system's argument rules for the program's own name: a quoted name
    // runs to the next double quote (or the end), an unquoted one to the first
    // blank or tab; quotes inside it and backslashes mean nothing there.
    if (!line.empty() && line[0] == '"') {
        const std::size_t quote = line.find('"', 1);
        position = quote == std::string_view::npos ? line.size() : quote + 1;
    } else {
        position = line.find_first_of(" \t");
        if (position == std::string_view::npos) position = line.size();
    }
    return std::string(rtl::Trim(line.substr(position)));
}

std::string CommandLineParametersText()
{
    return CommandLineParameters(CommandLineText());
}

std::string CompilationDateText(TDateTime compilationDate)
{
    if (compilationDate == 0) return {};
    // The zone's real offset, as the date's suffix shows it: a zone half an
    // hour off whole hours would otherwise show an instant thirty minutes off.
    return MailDateText(compilationDate + GetGMTMinutes() / 1440.0);
}

std::string CompilationDateText()
{
    TDateTime date = 0;
    {
        const rtl::TCriticalSectionLock lock(ModulesListLock());
        if (const PVexlorModuleInfo module = ModuleInfoByHandle(LibraryModuleHandle()))
            date = module->ExtraInformation.CompilationDate;
    }
    return CompilationDateText(date);
}

std::string ExceptionAddressText(const void* address)
{
    if (address == nullptr) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(address)));
    return text;
}

std::string ExceptionModuleFileName(const void* address, bool callFromComObject, const TVexlorStackList* stackList)
{
    if (callFromComObject) {
        if (stackList == nullptr) return {};
        const rtl::TCriticalSectionLock lock(ModulesListLock());
        const TVexlorDebugInfo* first = stackList->Items(0);
        return first != nullptr && first->ModuleInfo != nullptr ? first->ModuleInfo->Name : std::string();
    }
    HMODULE module = ModuleHandleByAddr(address);
    return module != nullptr ? GetModuleFullFileName(module) : std::string();
}

std::string ExceptionModuleText(const void* address, bool callFromComObject, const TVexlorStackList* stackList)
{
    const std::string fileName = ExceptionModuleFileName(address, callFromComObject, stackList);
    if (fileName.empty()) return {};
    std::string description;
    std::string version;
    GetFileDescriptionAndVersion(fileName, description, version);
    return NameWithDescription(fileName, description);
}

std::string ExceptionModuleVersionText(const void* address, bool callFromComObject, const TVexlorStackList* stackList)
{
    const std::string fileName = ExceptionModuleFileName(address, callFromComObject, stackList);
    std::string description;
    std::string version;
    GetFileDescriptionAndVersion(fileName, description, version);
    return version;
}

}  // namespace crash
