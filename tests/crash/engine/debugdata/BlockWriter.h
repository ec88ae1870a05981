// A writer of data blocks of every layout, for the reader's tests: the parts
// are given by the test (options stream, line tables), the writer puts them
// together as the version of the block lays them out.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "crash/engine/EDebugData.h"
#include "crash/engine/EEncrypt.h"

namespace crash::test {

inline std::string Le32(std::uint32_t v)
{
    std::string s(4, '\0');
    std::memcpy(s.data(), &v, 4);
    return s;
}
inline std::string Le16(std::uint16_t v)
{
    std::string s(2, '\0');
    std::memcpy(s.data(), &v, 2);
    return s;
}
inline std::string Compressed(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
              static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

// Records in their one-byte forms and the long form, as the reader decodes them.
inline std::string Short(int d, int delta)
{
    return std::string(1, static_cast<char>(((delta - 1) << 6) | ((d - 1) << 1)));
}
inline std::string Proc(int d, int delta)
{
    return std::string(1, static_cast<char>(((delta - 1) << 5) | ((d - 1) << 2) | 1));
}
inline std::string Long(int d, int delta, bool proc = false)
{
    const std::uint32_t field = d == 0 ? 0xFFF : static_cast<std::uint32_t>(d - 1);
    const std::uint32_t v = field << 16 | (static_cast<std::uint32_t>(delta - 1) & 0xFFFF);
    return Le32(v << 4 | 8 | (proc ? 4 : 0) | 3);
}

// Names and units as a block of one version stores them.
class LineTables {
public:
    explicit LineTables(std::uint16_t version, std::string_view password = kEmbeddedDataKey) : FVersion(version)
    {
        InitKey(FKey, password);
    }

    // A name of parts (joined by "." when read); before version 502 one part.
    std::string Name(std::initializer_list<std::string_view> parts) const
    {
        std::string out;
        std::size_t index = 0;
        for (std::string_view part : parts) {
            const bool more = ++index < parts.size();
            out += static_cast<char>(part.size() | (more ? 0x80 : 0));
            std::string bytes(part);
            if (FVersion < 500) {
                for (char& c : bytes) c = static_cast<char>(c ^ kOldNameKey);
            } else {
                Encrypt(FKey, bytes.data(), bytes.data(), bytes.size());
            }
            out += bytes;
        }
        return out;
    }
    std::string Name(std::string_view name) const { return Name({name}); }

    LineTables& Unit(std::string_view name, std::uint32_t firstLine, std::uint32_t start, std::uint32_t size,
                     const std::string& records)
    {
        FUnits += Name(name) + Le32(firstLine) + Le32(start) + Le32(size) +
                  Le32(static_cast<std::uint32_t>(records.size())) + records;
        ++FCount;
        return *this;
    }
    std::string Bytes() const
    {
        std::string prefix;
        if (FVersion >= 405 && FVersion <= 499) prefix = Le32(3) + "old";
        return prefix + Le32(FCount) + FUnits;
    }

private:
    std::uint16_t FVersion;
    TCipherContext FKey;
    std::string FUnits;
    std::uint32_t FCount = 0;
};

struct BlockParts {
    std::uint16_t Word = 6101;
    std::uint32_t Signature = kVexlorDataSignature;
    double Date = 45000.5;
    std::uint16_t Flags = 0;
    std::string Symbols;
    std::string Options;  // the options stream, as the version writes it
    std::string Tables;   // LineTables::Bytes()
    std::string CheckPassword = std::string(kEmbeddedDataKey);
};

inline std::string ResourceBlock(const BlockParts& p)
{
    const std::uint16_t v = NormalizeVexlorVersion(p.Word);
    std::string out = Le32(p.Signature) + Le16(p.Word);
    out.append(reinterpret_cast<const char*>(&p.Date), 8);
    if (v >= 6000) out += Le16(p.Flags);
    const std::string tables = Le32(static_cast<std::uint32_t>(p.Tables.size())) + p.Tables;
    if (v >= 500) {
        out += Le32(static_cast<std::uint32_t>(p.Symbols.size())) + p.Symbols;
        const std::string options = Compressed(p.Options);
        out += Le32(static_cast<std::uint32_t>(options.size())) + options;
        TCipherContext key;
        InitKey(key, p.CheckPassword);
        std::string check = Le32(kVexlorDataSignature);
        Encrypt(key, check.data(), check.data(), 4);
        out += check + Compressed(tables);
    } else if (v >= 450) {
        out += Compressed(p.Options + tables);
    } else {
        out += p.Options + tables;
    }
    return out;
}

inline std::string AppendedBlock(const BlockParts& p)
{
    std::string block = Le16(p.Word);
    block.append(reinterpret_cast<const char*>(&p.Date), 8);
    block += p.Options + Le32(static_cast<std::uint32_t>(p.Tables.size())) + p.Tables;
    return block + Le32(static_cast<std::uint32_t>(block.size())) + Le32(p.Signature);
}

}  // namespace crash::test
