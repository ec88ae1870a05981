// Internals shared by the core utilities: path pieces and date conversions.
// Only the core utilities' own files and their tests use it.
#pragma once
#include <windows.h>

#include <string>

#include "crash/engine/ECore.h"

namespace crash::core {

// The folder part of a path, with its closing delimiter ("C:\a\" of "C:\a\b.ini",
// "C:" of "C:b.ini"); empty for a bare file name.
std::string ExtractFilePath(const std::string& path);
// The file-name part of a path (ECore.h).
using crash::ExtractFileName;
// folder and name joined with exactly one backslash; an empty folder gives the
// root of the current drive, never a network path.
std::string JoinPath(const std::string& folder, const std::string& name);
// The library's folder below an application-data folder.
std::string LibraryFolderIn(const std::string& applicationData);

// A date-time from a SYSTEMTIME (no range check).
double SystemTimeToDateTime(const SYSTEMTIME& time);

}  // namespace crash::core
