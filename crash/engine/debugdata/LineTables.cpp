// The line tables' encoding: records, names and unit headers.
#include <cstring>

#include "crash/engine/EBase64.h"
#include "crash/engine/debugdata/DebugDataInternal.h"
#include "rtl/CheckedMemory.h"

namespace crash {

namespace {

constexpr std::uint32_t kExtendedMarker = 0x0FFEFFFE;
constexpr std::uint32_t kZeroLengthField = 0xFFF;

std::int32_t SignedWord(std::uint32_t value) noexcept
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

}  // namespace

std::size_t DecodeLineRecord(const std::uint8_t* data, std::size_t size, std::uint16_t version,
                             TLineRecord& record) noexcept
{
    record = {};
    if (size < 1) return 0;
    const std::uint8_t b = data[0];
    if ((b & 1) == 0) {
        record.Delta = (b >> 6) + 1;
        record.D = ((b >> 1) & 31) + 1;
        return 1;
    }
    if ((b & 2) == 0) {
        record.Delta = (b >> 5) + 1;
        record.D = ((b >> 2) & 7) + 1;
        record.NewProcedure = true;
        return 1;
    }
    record.NewProcedure = (b & 4) != 0;
    if ((b & 8) == 0) {
        if (size < 2) return 0;
        const std::uint32_t w = data[0] | std::uint32_t{data[1]} << 8;
        record.Delta = static_cast<std::int32_t>(w >> 11) + 1;
        record.D = ((w >> 4) & 127) + 1;
        return 2;
    }
    if (size < 4) return 0;
    std::uint32_t d;
    std::memcpy(&d, data, 4);
    const std::uint32_t v = d >> 4;
    if (v == kExtendedMarker && version >= 423) {
        if (size < 8) return 0;
        std::uint16_t words[2];
        std::memcpy(words, data + 4, 4);
        record.Delta = SignedWord(std::uint32_t{words[0]} + 1);
        record.D = std::uint32_t{words[1]} + 1;
        return 8;
    }
    record.Delta = SignedWord((v & 0xFFFF) + 1);
    record.D = (v >> 16) == kZeroLengthField ? 0 : (v >> 16) + 1;
    return 4;
}

namespace debugdata {

TNameReader NameReaderOf(const TModuleDebugData& data) noexcept
{
    TNameReader reader;
    reader.Version = data.VexlorVersion;
    reader.Key = &data.Key;
    reader.ValidPassword = data.IsValidEncryptPassword;
    reader.UnitExtensions = data.VexlorVersion >= 6000 && (data.HeaderFlags & kDataFlagUnitExtensions) != 0;
    return reader;
}

bool ReadDebugName(rtl::ByteCursor& cursor, const TNameReader& reader, std::string& name)
{
    name.clear();
    for (;;) {
        std::uint8_t length = 0;
        if (!cursor.Read(length)) return false;
        const bool more = reader.Version >= 502 && (length & 0x80) != 0;
        if (more) length &= 0x7F;
        const std::uint8_t* bytes = nullptr;
        if (!cursor.Take(length, bytes)) return false;
        char part[255];
        if (reader.Version < 500) {
            for (std::size_t i = 0; i < length; ++i) part[i] = static_cast<char>(bytes[i] ^ kOldNameKey);
            name.append(part, length);
        } else if (reader.ValidPassword) {
            Decrypt(*reader.Key, bytes, part, length);
            name.append(part, length);
        } else {
            // Without the password the stored bytes are all there is to show.
            std::string shown = "?" + Base64EncodeToString(bytes, length);
            if (shown.size() > 255) shown.resize(255);
            name += shown;
        }
        if (!more) return true;
        name += '.';
    }
}

bool ReadUnitHeader(rtl::ByteCursor& cursor, const TNameReader& reader, TUnitHeader& header)
{
    if (!ReadDebugName(cursor, reader, header.Name)) return false;
    std::uint32_t recordsLength = 0;
    if (!cursor.Read(header.FirstLine) || !cursor.Read(header.StartOffset) || !cursor.Read(header.CodeSize) ||
        !cursor.Read(recordsLength))
        return false;
    if (recordsLength > cursor.Remaining()) return false;
    header.RecordsBegin = cursor.Offset();
    header.RecordsEnd = header.RecordsBegin + recordsLength;
    if (!reader.ValidPassword) {
        header.Name.insert(header.Name.size() < 1 ? header.Name.size() : 1, "c");
    } else if (!reader.UnitExtensions && header.Name.find('.') == std::string::npos) {
        header.Name += kUnitSourceExtension;
    }
    return cursor.Skip(recordsLength);
}

bool SeekUnitCount(rtl::ByteCursor& cursor, std::uint16_t version, std::uint32_t& count) noexcept
{
    if (version >= 405 && version <= 499) {
        std::uint32_t skipped = 0;
        if (!cursor.Read(skipped) || !cursor.Skip(skipped)) return false;
    }
    if (!cursor.Read(count)) return false;
    // Every unit takes at least its name's length byte and four numbers.
    return count <= cursor.Remaining() / 17;
}

void SplitProcedureName(std::string_view name, const std::string& previousClass, std::string& className,
                        std::string& procedureName)
{
    if (!name.empty() && name.front() == '.') {
        className = previousClass;
        procedureName.assign(name.substr(1));
    } else if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
        className.assign(name.substr(0, dot));
        procedureName.assign(name.substr(dot + 1));
    } else {
        className.clear();
        procedureName.assign(name);
    }
    if (!procedureName.empty() && procedureName.front() == '@') procedureName.front() = '_';
}

std::uint32_t ProcOffsetLineOf(const TUnitState& state) noexcept
{
    if (!state.StartKnown) return 0;
    std::int64_t start = state.StartLine;
    if (state.ProcedureName == "Finalization") {
        --start;
    } else if (state.ProcedureName != "Initialization") {
        // The procedure's first line is the one of its prologue; code that
        // does not begin with PUSH EBP; MOV EBP,ESP or PUSH EBX has its first
        // row on the line after it.
        std::uint8_t code[3] = {};
        const bool read = rtl::ReadMemory(reinterpret_cast<const void*>(state.StartAddress), code, 3);
        const bool prologue = read && ((code[0] == 0x55 && code[1] == 0x8B && code[2] == 0xEC) || code[0] == 0x53);
        if (!prologue) --start;
    }
    const std::int64_t offset = std::int64_t{state.Line} - start;
    return offset < 0 ? 0 : static_cast<std::uint32_t>(offset);
}

}  // namespace debugdata
}  // namespace crash
