// Writing zip archives of files through minizip.
#include <windows.h>

#include <memory>
#include <new>

#include <zip.h>
#include <iowin32.h>

#include "crash/delivery/EZlib2.h"
#include "rtl/Handles.h"

namespace crash {
namespace {

// Entry settings: deflate at level 9, compressed by minizip (not raw), a bare
// deflate stream as the zip format wants it, zlib's usual memory level.
constexpr int kLevel = 9;
constexpr int kRaw = 0;
constexpr int kWindowBits = -MAX_WBITS;
constexpr int kMemLevel = 8;

// The earliest time a DOS stamp can hold, 1980-01-01 00:00, for files whose
// time it cannot express.
constexpr WORD kEarliestDosDate = (1 << 5) | 1;

uLong DosDateTime(const FILETIME& lastWrite)
{
    FILETIME local;
    WORD date = kEarliestDosDate;
    WORD time = 0;
    if (!::FileTimeToLocalFileTime(&lastWrite, &local) || !::FileTimeToDosDateTime(&local, &date, &time)) {
        date = kEarliestDosDate;
        time = 0;
    }
    return (static_cast<uLong>(date) << 16) | time;
}

bool ReadWhole(HANDLE file, std::uint8_t* data, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(file, data + done, size - done, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

}  // namespace

ZipHandle CreateZipFile(const std::string& fileName)
{
    ::DeleteFileA(fileName.c_str());
    zlib_filefunc64_def io;
    fill_win32_filefunc64A(&io);
    return zipOpen2_64(fileName.c_str(), APPEND_STATUS_CREATE, nullptr, &io);
}

bool AddZipFile(ZipHandle archive, const std::string& fileName, const std::string& archiveFileName,
                const std::string& password)
{
    if (archive == nullptr) return false;

    // Size and time come from the open handle, so they belong to the very file
    // that is read; a directory entry can lag behind a file still being written.
    rtl::FileHandle file(::CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(file.Get(), &info)) return false;
    // An entry of the low 32 bits alone would be a silently cut copy.
    if (info.nFileSizeHigh != 0) return false;
    const DWORD size = info.nFileSizeLow;

    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!data || !ReadWhole(file.Get(), data.get(), size)) return false;

    zip_fileinfo entry{};
    entry.dosDate = DosDateTime(info.ftLastWriteTime);
    const char* secret = password.empty() ? nullptr : password.c_str();
    // The traditional encryption writes a check byte from the CRC before the
    // data, so the CRC must be known in advance.
    const uLong crc = secret != nullptr ? crc32(0, data.get(), size) : 0;

    if (zipOpenNewFileInZip3_64(archive, archiveFileName.c_str(), &entry, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                kLevel, kRaw, kWindowBits, kMemLevel, Z_DEFAULT_STRATEGY, secret, crc, 0) != ZIP_OK)
        return false;
    const bool written = zipWriteInFileInZip(archive, data.get(), size) == ZIP_OK;
    // Closing the entry here flushes the deflate stream and writes its CRC and
    // sizes, so that a failure at that point belongs to this file and not to
    // the next one added or to the archive's close.
    const bool closed = zipCloseFileInZip(archive) == ZIP_OK;
    return written && closed;
}

bool CloseZipFile(ZipHandle archive)
{
    if (archive == nullptr) return false;
    // zipClose closes an entry left open and frees the handle whatever happens.
    return zipClose(archive, nullptr) == ZIP_OK;
}

}  // namespace crash
