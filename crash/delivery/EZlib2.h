// The crash reporter's own routines on zlib and minizip: the calls that write a
// zip archive of files, beside the engine's one-shot inflation (EZlib.h).
//
// Ordinary delivery code: any thread; an archive handle belongs to one thread
// at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crash/engine/EZlib.h"
#include "rtl/SysUtils.h"

namespace crash {

// An open zip archive being written; nullptr is "none".
using ZipHandle = void*;

// Creates a new, empty archive, deleting any file of that name first.
// Returns nullptr when the file cannot be created.
ZipHandle CreateZipFile(const std::string& fileName);

// Adds the file `fileName` to the archive as the entry `archiveFileName`
// (8-bit names stored as they are): deflated at level 9, stamped with the
// file's last-write time in local time, and encrypted with the traditional
// zip encryption when `password` is not empty. The file is read whole while
// others are denied writing to it. False, with nothing added, when the archive
// is none or the file cannot be opened, is larger than 4 GB - 1, does not fit
// in memory or cannot be read whole; false also when writing the entry failed
// (the archive may then hold a damaged entry). Never throws.
bool AddZipFile(ZipHandle archive, const std::string& fileName, const std::string& archiveFileName,
                const std::string& password = std::string());

// Closes any open entry and the archive, writing its directory, and releases
// the handle in every case. False when the handle is none or writing failed.
bool CloseZipFile(ZipHandle archive);

}  // namespace crash
