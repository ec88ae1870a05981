// Byte streams of the runtime: the stream base with its checked reads and
// writes, a growing memory stream, a read-only stream over memory owned by
// someone else, and a file stream with the runtime's open and share modes.
//
// Failure: ReadBuffer raises EReadError when fewer bytes than asked for are
// left, WriteBuffer raises EWriteError when the stream takes fewer; a file that
// cannot be created or opened raises EFCreateError / EFOpenError with the
// system's reason. Read, Write and Seek themselves answer counts and never
// raise for a short transfer.
// Threads: a stream object belongs to one thread at a time; nothing locks.
// Zone: ordinary and report code (memory streams allocate); never in hooks.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rtl/Handles.h"
#include "rtl/SysUtils.h"

namespace rtl {

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
// A stream ended before the bytes that had to be read.
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
// A stream took fewer bytes than had to be written.
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
    // Up to count bytes from the position on; the number of bytes read (0 at
    // the end or past it).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // The number of bytes taken.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // The new position; -1 when the stream refuses it (the position stays).
    // A position past the end is allowed: reads there give nothing.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t value) { Seek(value, TSeekOrigin::soBeginning); }
    // Bytes between the position and the end; 0 past the end.
    std::int64_t Remaining();

    // Exactly count bytes, or EReadError ("Stream read error"); the position
    // then stands after the bytes that were there.
    void ReadBuffer(void* buffer, std::size_t count);
    // Exactly count bytes, or EWriteError ("Stream write error").
    void WriteBuffer(const void* buffer, std::size_t count);
    // count bytes of source from its position on (count 0: source from its
    // beginning to its end); the number copied. EReadError / EWriteError as
    // above.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over bytes that the object does not own or grow: the base of the
// memory streams. Reads stop at Size.
class TCustomMemoryStream : public TStream {
public:
    std::size_t Read(void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FSize); }
    const void* Memory() const noexcept { return FMemory; }

protected:
    void SetPointer(const void* memory, std::size_t size) noexcept;

    const std::uint8_t* FMemory = nullptr;
    std::size_t FSize = 0;
    std::size_t FPosition = 0;
};

// A growing stream in memory that it owns. Writing past the end grows it (the
// gap filled with zeros). Allocation failure raises std::bad_alloc.
class TMemoryStream : public TCustomMemoryStream {
public:
    std::size_t Write(const void* buffer, std::size_t count) override;
    // Cuts or extends (zeros) the content; the position stays unless past the
    // new end, where it moves to the end.
    void SetSize(std::size_t newSize);
    void Clear();
    using TCustomMemoryStream::Memory;
    void* Memory() noexcept { return FBytes.data(); }
    const std::vector<std::uint8_t>& Bytes() const noexcept { return FBytes; }

private:
    void Sync() noexcept { SetPointer(FBytes.data(), FBytes.size()); }
    std::vector<std::uint8_t> FBytes;
};

// A read-only stream over Size bytes at Memory, which another party owns and
// must keep alive and unchanged while the stream is read. Write takes nothing
// (WriteBuffer raises EWriteError).
class TReadOnlyMemoryStream : public TCustomMemoryStream {
public:
    TReadOnlyMemoryStream(const void* memory, std::size_t size) noexcept { SetPointer(memory, size); }
    std::size_t Write(const void* buffer, std::size_t count) override;
};

// File open modes: one access value or'ed with one share value, or fmCreate.
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyRead = 0x0030;
inline constexpr unsigned fmShareDenyNone = 0x0040;
// Creates the file or truncates it; read and write access, shared with
// nobody.
inline constexpr unsigned fmCreate = 0xFF00;

// A file opened by its 8-bit (ANSI) name. fmShareDenyWrite lets others read
// but not write while the stream lives; fmShareExclusive and no share value
// let nobody in.
class TFileStream : public TStream {
public:
    // EFCreateError "Cannot create file \"NAME\". REASON" (fmCreate) or
    // EFOpenError "Cannot open file \"NAME\". REASON".
    TFileStream(const std::string& fileName, unsigned mode);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    HANDLE Handle() const noexcept { return FHandle.Get(); }
    const std::string& FileName() const noexcept { return FFileName; }

private:
    std::string FFileName;
    FileHandle FHandle;
};

}  // namespace rtl
