// The crash reporter's own routines on zlib and minizip: one-shot inflation of
// a zlib stream, and the calls that write a zip archive of files.
//
// Ordinary delivery code: any thread; an archive handle belongs to one thread
// at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rtl/SysUtils.h"

namespace crash {

// A zlib failure. The message is zlib's own text for the code ("data error"
// for -3, "buffer error" for -5, "need dictionary" for 2).
class EZLibError : public rtl::Exception {
public:
    RTL_CLASS(EZLibError)
    explicit EZLibError(int code);
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

// Inflates a whole zlib stream (zlib header and Adler-32 trailer). The output
// grows in steps of the input size rounded up to a multiple of 256. Succeeds
// only when the stream ends cleanly; bytes after its end are ignored. A damaged,
// truncated or dictionary stream raises EZLibError and yields nothing, so that
// corrupt data never passes for good. May also throw std::bad_alloc.
std::vector<std::uint8_t> ZDecompress(const void* inBuffer, std::size_t inCount);

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
