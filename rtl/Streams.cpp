// Byte streams: memory, foreign memory and files.
#include "rtl/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace rtl {

namespace {

// The new position of a seek, or -1 when it would lie before the start.
std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset, TSeekOrigin origin) noexcept
{
    std::int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning: base = 0; break;
    case TSeekOrigin::soCurrent: base = position; break;
    case TSeekOrigin::soEnd: base = size; break;
    }
    if (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) return -1;
    const std::int64_t target = base + offset;
    return target < 0 ? -1 : target;
}

}  // namespace

std::int64_t TStream::Size()
{
    const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

std::int64_t TStream::Remaining()
{
    const std::int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

void TStream::ReadBuffer(void* Buffer, std::size_t Count)
{
    if (Count != 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, std::size_t Count)
{
    if (Count != 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& Source, std::int64_t Count)
{
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(Count, 0xF000)));
    std::int64_t left = Count;
    while (left > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
        Source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= chunk;
    }
    return Count;
}

// ---- Memory ----------------------------------------------------------------------

void TCustomMemoryStream::SetPointer(const void* Memory, std::size_t Size) noexcept
{
    FMemory = static_cast<const std::uint8_t*>(Memory);
    FSize = Size;
}

std::size_t TCustomMemoryStream::Read(void* Buffer, std::size_t Count)
{
    if (FPosition >= FSize) return 0;
    const std::size_t taken = std::min(Count, FSize - FPosition);
    std::memcpy(Buffer, FMemory + FPosition, taken);
    FPosition += taken;
    return taken;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    const std::int64_t target = SeekTarget(static_cast<std::int64_t>(FPosition), Size(), Offset, Origin);
    // The position must stay a size_t; past 4 GB is no place in our memory.
    if (target < 0 || static_cast<std::uint64_t>(target) > std::numeric_limits<std::size_t>::max()) return -1;
    FPosition = static_cast<std::size_t>(target);
    return target;
}

std::size_t TMemoryStream::Write(const void* Buffer, std::size_t Count)
{
    if (Count == 0) return 0;
    if (Count > std::numeric_limits<std::size_t>::max() - FPosition) return 0;
    const std::size_t end = FPosition + Count;
    if (end > FBytes.size()) FBytes.resize(end);
    std::memcpy(FBytes.data() + FPosition, Buffer, Count);
    FPosition = end;
    Sync();
    return Count;
}

void TMemoryStream::SetSize(std::size_t NewSize)
{
    FBytes.resize(NewSize);
    if (FPosition > NewSize) FPosition = NewSize;
    Sync();
}

void TMemoryStream::Clear()
{
    FBytes.clear();
    FBytes.shrink_to_fit();
    FPosition = 0;
    Sync();
}

std::size_t TReadOnlyMemoryStream::Write(const void*, std::size_t)
{
    return 0;
}

// ---- Files -----------------------------------------------------------------------

TFileStream::TFileStream(const std::string& FileName, unsigned Mode) : FFileName(FileName)
{
    // The share values are the runtime's: 0x10 and the compatibility value 0
    // share nothing.
    static constexpr DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    const bool create = (Mode & fmCreate) == fmCreate;
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = 0;
    if (!create) {
        static constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
        const unsigned accessIndex = Mode & 0x3;
        const unsigned shareIndex = (Mode & 0xF0) >> 4;
        if (accessIndex > 2 || shareIndex > 4)
            throw EFOpenError("Cannot open file \"" + FileName + "\". Invalid mode.");
        access = kAccess[accessIndex];
        share = kShare[shareIndex];
    }
    FHandle.Reset(::CreateFileA(FileName.c_str(), access, share, nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FHandle) {
        const DWORD error = ::GetLastError();
        const std::string reason = WideToAnsi(SysErrorMessage(error));
        if (create) throw EFCreateError("Cannot create file \"" + FileName + "\". " + reason);
        throw EFOpenError("Cannot open file \"" + FileName + "\". " + reason);
    }
}

std::size_t TFileStream::Read(void* Buffer, std::size_t Count)
{
    auto* out = static_cast<std::uint8_t*>(Buffer);
    std::size_t done = 0;
    while (done < Count) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(Count - done, 0x10000000));
        if (!::ReadFile(FHandle.Get(), out + done, ask, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

std::size_t TFileStream::Write(const void* Buffer, std::size_t Count)
{
    const auto* in = static_cast<const std::uint8_t*>(Buffer);
    std::size_t done = 0;
    while (done < Count) {
        DWORD put = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(Count - done, 0x10000000));
        if (!::WriteFile(FHandle.Get(), in + done, ask, &put, nullptr) || put == 0) break;
        done += put;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance;
    distance.QuadPart = Offset;
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(FHandle.Get(), distance, &position, kMethod[static_cast<int>(Origin)])) return -1;
    return position.QuadPart;
}

std::int64_t TFileStream::Size()
{
    LARGE_INTEGER size;
    return ::GetFileSizeEx(FHandle.Get(), &size) ? size.QuadPart : -1;
}

}  // namespace rtl
