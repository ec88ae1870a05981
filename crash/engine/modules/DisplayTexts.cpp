// The small texts of the report's module and process sections.
#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/system/SystemInfo.h"

namespace crash {

std::string ExtractPathText(const std::string& fileName)
{
    std::string_view name = fileName;
    if (name.starts_with("\\??\\")) name.remove_prefix(4);
    const std::size_t delimiter = name.find_last_of("\\:");
    if (delimiter == std::string_view::npos) return {};
    std::string_view folder = name.substr(0, delimiter + 1);
    if (folder.ends_with('\\') && !(folder.size() >= 2 && folder[folder.size() - 2] == ':')) folder.remove_suffix(1);
    return std::string(folder);
}

std::string SizeInKbText(std::uint32_t bytes)
{
    if (bytes == 0) return {};
    std::uint32_t kb = bytes / 1024;
    const std::uint32_t rest = bytes % 1024;
    if (rest > 512 || (rest == 512 && kb % 2 == 1)) ++kb;
    return std::to_string(kb) + " Kb";
}

std::string ShortVersionText(const std::string& version)
{
    const std::size_t first = version.find('.');
    const std::size_t second = first == std::string::npos ? first : version.find('.', first + 1);
    if (second == std::string::npos) return version;
    return version.substr(0, second + 1) + "x";
}

std::string PriorityClassText(std::uint32_t priority)
{
    switch (priority) {
    case NORMAL_PRIORITY_CLASS: return "Normal";
    case IDLE_PRIORITY_CLASS: return "Low";
    case HIGH_PRIORITY_CLASS: return "High";
    case REALTIME_PRIORITY_CLASS: return "Real-Time";
    case BELOW_NORMAL_PRIORITY_CLASS: return "Below-Normal";
    case ABOVE_NORMAL_PRIORITY_CLASS: return "Above-Normal";
    default: return {};
    }
}

std::string ThreadCountText(std::uint32_t count)
{
    return count == 0 ? std::string("??") : std::to_string(count);
}

std::string GetMainModuleVersion()
{
    std::string description;
    std::string version;
    GetFileDescriptionAndVersion(GetModuleFullFileName(::GetModuleHandleW(nullptr)), description, version);
    return version;
}

}  // namespace crash
