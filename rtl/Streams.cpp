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

void TStream::ReadBuffer(void* buffer, std::size_t count)
{
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count)
{
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(count, 0xF000)));
    std::int64_t left = count;
    while (left > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, buffer.size()));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= chunk;
    }
    return count;
}

// ---- Memory ----------------------------------------------------------------------

void TCustomMemoryStream::SetPointer(const void* memory, std::size_t size) noexcept
{
    FMemory = static_cast<const std::uint8_t*>(memory);
    FSize = size;
}

std::size_t TCustomMemoryStream::Read(void* buffer, std::size_t count)
{
    if (FPosition >= FSize) return 0;
    const std::size_t taken = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, taken);
    FPosition += taken;
    return taken;
}

std::int64_t TCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const std::int64_t target = SeekTarget(static_cast<std::int64_t>(FPosition), Size(), offset, origin);
    // The position must stay a size_t; past 4 GB is no place in our memory.
    if (target < 0 || static_cast<std::uint64_t>(target) > std::numeric_limits<std::size_t>::max()) return -1;
    FPosition = static_cast<std::size_t>(target);
    return target;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count)
{
    if (count == 0) return 0;
    if (count > std::numeric_limits<std::size_t>::max() - FPosition) return 0;
    const std::size_t end = FPosition + count;
    if (end > FBytes.size()) FBytes.resize(end);
    std::memcpy(FBytes.data() + FPosition, buffer, count);
    FPosition = end;
    Sync();
    return count;
}

void TMemoryStream::SetSize(std::size_t newSize)
{
    FBytes.resize(newSize);
    if (FPosition > newSize) FPosition = newSize;
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

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : FFileName(fileName)
{
    // The share values are the runtime's: 0x10 and the compatibility value 0
    // share nothing.
    static constexpr DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    const bool create = (mode & fmCreate) == fmCreate;
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = 0;
    if (!create) {
        static constexpr DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
        const unsigned accessIndex = mode & 0x3;
        const unsigned shareIndex = (mode & 0xF0) >> 4;
        if (accessIndex > 2 || shareIndex > 4)
            throw EFOpenError("Cannot open file \"" + fileName + "\". Invalid mode.");
        access = kAccess[accessIndex];
        share = kShare[shareIndex];
    }
    FHandle.Reset(::CreateFileA(fileName.c_str(), access, share, nullptr, create ? CREATE_ALWAYS : OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FHandle) {
        const DWORD error = ::GetLastError();
        const std::string reason = WideToAnsi(SysErrorMessage(error));
        if (create) throw EFCreateError("Cannot create file \"" + fileName + "\". " + reason);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason);
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 0x10000000));
        if (!::ReadFile(FHandle.Get(), out + done, ask, &got, nullptr) || got == 0) break;
        done += got;
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count)
{
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        DWORD put = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(count - done, 0x10000000));
        if (!::WriteFile(FHandle.Get(), in + done, ask, &put, nullptr) || put == 0) break;
        done += put;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(FHandle.Get(), distance, &position, kMethod[static_cast<int>(origin)])) return -1;
    return position.QuadPart;
}

std::int64_t TFileStream::Size()
{
    LARGE_INTEGER size;
    return ::GetFileSizeEx(FHandle.Get(), &size) ? size.QuadPart : -1;
}

}  // namespace rtl
