// The version resource of a file: its description and its file version.
#include <cstdio>
#include <cstring>
#include <vector>

#include "crash/engine/modules/ModuleLists.h"

namespace crash {

void GetFileDescriptionAndVersion(const std::string& fileName, std::string& description, std::string& version)
{
    description.clear();
    version.clear();
    if (fileName.empty()) return;
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(fileName.c_str(), &unused);
    if (size == 0) return;
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(fileName.c_str(), 0, size, block.data())) return;

    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && value &&
        length >= 2 * sizeof(WORD)) {
        WORD translation[2];
        std::memcpy(translation, value, sizeof translation);
        char path[64];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\FileDescription", translation[0], translation[1]);
        if (::VerQueryValueA(block.data(), path, &value, &length) && value && length > 0) {
            const char* text = static_cast<const char*>(value);
            // A one-character description is a placeholder, not a description.
            const std::size_t textLength = ::strnlen(text, length);
            if (textLength > 1) description.assign(text, textLength);
        }
    }
    if (::VerQueryValueA(block.data(), "\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof fixed);
        char text[32];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed.dwFileVersionMS), LOWORD(fixed.dwFileVersionMS),
                      HIWORD(fixed.dwFileVersionLS), LOWORD(fixed.dwFileVersionLS));
        if (std::strcmp(text, "0.0.0.0") != 0) version = text;
    }
}

}  // namespace crash
