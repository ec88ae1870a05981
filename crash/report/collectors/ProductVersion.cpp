// The product version of a file, as the video-card and printer items show
// their drivers'.
#include <vector>

#include "crash/report/collectors/CollectorsInternal.h"

namespace crash {

std::string FileProductVersion(const std::string& fileName)
{
    if (fileName.empty()) return {};
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(fileName.c_str(), 0, size, block.data())) return {};
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && value &&
        length >= 2 * sizeof(WORD)) {
        const WORD* translation = static_cast<const WORD*>(value);
        char path[64];
        wsprintfA(path, "\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0], translation[1]);
        if (::VerQueryValueA(block.data(), path, &value, &length) && value && length > 0) {
            std::string text(static_cast<const char*>(value), length);
            text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
            if (!text.empty()) return text;
        }
    }
    if (::VerQueryValueA(block.data(), "\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        char text[64];
        wsprintfA(text, "%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                  HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
        return text;
    }
    return {};
}

}  // namespace crash
