// The program's file version, read from its own version resource.
#pragma once
#include <string>

namespace app {

struct TProgramVersion {
    unsigned Major = 0;
    unsigned Minor = 0;
    unsigned Release = 0;
};

// Reads the first translation of "\VarFileInfo\Translation", then that
// translation's "FileVersion" string, scanned as "%u.%u.%u" (rtl::ScanFields).
// Fields the scan does not convert stay as they were. False when the file has
// no version block, no translation, no "FileVersion" string or one whose first
// number does not convert.
bool ReadProgramVersion(const std::wstring& fileName, TProgramVersion& version);

}  // namespace app
