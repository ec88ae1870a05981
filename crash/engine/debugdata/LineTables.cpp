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

std::size_t DecodeLineRecord(const std::uint8_t* Data, std::size_t Size, std::uint16_t Version,
                             TLineRecord& Record) noexcept
{
    Record = {};
    if (Size < 1) return 0;
    const std::uint8_t b = Data[0];
    if ((b & 1) == 0) {
        Record.Delta = (b >> 6) + 1;
        Record.D = ((b >> 1) & 31) + 1;
        return 1;
    }
    if ((b & 2) == 0) {
        Record.Delta = (b >> 5) + 1;
        Record.D = ((b >> 2) & 7) + 1;
        Record.NewProcedure = true;
        return 1;
    }
    Record.NewProcedure = (b & 4) != 0;
    if ((b & 8) == 0) {
        if (Size < 2) return 0;
        const std::uint32_t w = Data[0] | std::uint32_t{Data[1]} << 8;
        Record.Delta = static_cast<std::int32_t>(w >> 11) + 1;
        Record.D = ((w >> 4) & 127) + 1;
        return 2;
    }
    if (Size < 4) return 0;
    std::uint32_t d;
    std::memcpy(&d, Data, 4);
    const std::uint32_t v = d >> 4;
    if (v == kExtendedMarker && Version >= 423) {
        if (Size < 8) return 0;
        std::uint16_t words[2];
        std::memcpy(words, Data + 4, 4);
        Record.Delta = SignedWord(std::uint32_t{words[0]} + 1);
        Record.D = std::uint32_t{words[1]} + 1;
        return 8;
    }
    Record.Delta = SignedWord((v & 0xFFFF) + 1);
    Record.D = (v >> 16) == kZeroLengthField ? 0 : (v >> 16) + 1;
    return 4;
}

namespace debugdata {

TNameReader NameReaderOf(const TModuleDebugData& Data) noexcept
{
    TNameReader reader;
    reader.Version = Data.VexlorVersion;
    reader.Key = &Data.Key;
    reader.ValidPassword = Data.IsValidEncryptPassword;
    reader.UnitExtensions = Data.VexlorVersion >= 6000 && (Data.HeaderFlags & kDataFlagUnitExtensions) != 0;
    return reader;
}

bool ReadDebugName(rtl::ByteCursor& Cursor, const TNameReader& Reader, std::string& Name)
{
    Name.clear();
    for (;;) {
        std::uint8_t length = 0;
        if (!Cursor.Read(length)) return false;
        const bool more = Reader.Version >= 502 && (length & 0x80) != 0;
        if (more) length &= 0x7F;
        const std::uint8_t* bytes = nullptr;
        if (!Cursor.Take(length, bytes)) return false;
        char part[255];
        if (Reader.Version < 500) {
            for (std::size_t i = 0; i < length; ++i) part[i] = static_cast<char>(bytes[i] ^ kOldNameKey);
            Name.append(part, length);
        } else if (Reader.ValidPassword) {
            Decrypt(*Reader.Key, bytes, part, length);
            Name.append(part, length);
        } else {
            // Without the password the stored bytes are all there is to show.
            std::string shown = "?" + Base64EncodeToString(bytes, length);
            if (shown.size() > 255) shown.resize(255);
            Name += shown;
        }
        if (!more) return true;
        Name += '.';
    }
}

bool ReadUnitHeader(rtl::ByteCursor& Cursor, const TNameReader& Reader, TUnitHeader& Header)
{
    if (!ReadDebugName(Cursor, Reader, Header.Name)) return false;
    std::uint32_t recordsLength = 0;
    if (!Cursor.Read(Header.FirstLine) || !Cursor.Read(Header.StartOffset) || !Cursor.Read(Header.CodeSize) ||
        !Cursor.Read(recordsLength))
        return false;
    if (recordsLength > Cursor.Remaining()) return false;
    Header.RecordsBegin = Cursor.Offset();
    Header.RecordsEnd = Header.RecordsBegin + recordsLength;
    if (!Reader.ValidPassword) {
        Header.Name.insert(Header.Name.size() < 1 ? Header.Name.size() : 1, "c");
    } else if (!Reader.UnitExtensions && Header.Name.find('.') == std::string::npos) {
        Header.Name += kUnitSourceExtension;
    }
    return Cursor.Skip(recordsLength);
}

bool SeekUnitCount(rtl::ByteCursor& Cursor, std::uint16_t Version, std::uint32_t& Count) noexcept
{
    if (Version >= 405 && Version <= 499) {
        std::uint32_t skipped = 0;
        if (!Cursor.Read(skipped) || !Cursor.Skip(skipped)) return false;
    }
    if (!Cursor.Read(Count)) return false;
    // Every unit takes at least its name's length byte and four numbers.
    return Count <= Cursor.Remaining() / 17;
}

void SplitProcedureName(std::string_view Name, const std::string& PreviousClass, std::string& ClassName,
                        std::string& ProcedureName)
{
    if (!Name.empty() && Name.front() == '.') {
        ClassName = PreviousClass;
        ProcedureName.assign(Name.substr(1));
    } else if (const std::size_t dot = Name.find('.'); dot != std::string_view::npos) {
        ClassName.assign(Name.substr(0, dot));
        ProcedureName.assign(Name.substr(dot + 1));
    } else {
        ClassName.clear();
        ProcedureName.assign(Name);
    }
    if (!ProcedureName.empty() && ProcedureName.front() == '@') ProcedureName.front() = '_';
}

std::uint32_t ProcOffsetLineOf(const TUnitState& State) noexcept
{
    if (!State.StartKnown) return 0;
    std::int64_t start = State.StartLine;
    if (State.ProcedureName == "Finalization") {
        --start;
    } else if (State.ProcedureName != "Initialization") {
        // The procedure's first line is the one of its prologue; code that
        // does not begin with PUSH EBP; MOV EBP,ESP or PUSH EBX has its first
        // row on the line after it.
        std::uint8_t code[3] = {};
        const bool read = rtl::ReadMemory(reinterpret_cast<const void*>(State.StartAddress), code, 3);
        const bool prologue = read && ((code[0] == 0x55 && code[1] == 0x8B && code[2] == 0xEC) || code[0] == 0x53);
        if (!prologue) --start;
    }
    const std::int64_t offset = std::int64_t{State.Line} - start;
    return offset < 0 ? 0 : static_cast<std::uint32_t>(offset);
}

}  // namespace debugdata
}  // namespace crash
