// Data blocks built byte by byte: the records' encoding, every layout, the
// rules of the lookup, and damaged blocks.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crash/engine/EBase64.h"
#include "crash/engine/EConsts.h"
#include "crash/engine/EDebugData.h"
#include "rtl/Streams.h"
#include "tests/crash/engine/debugdata/BlockWriter.h"
#include "tests/crash/engine/stream/OldStreamWriter.h"

namespace crash {
namespace {

using namespace crash::test;

// ---- The records ---------------------------------------------------------------------

std::vector<std::uint8_t> FromHex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

TEST(LineRecords, HandComputedTableDecodes)
{
    std::ifstream table(DEBUGDATA_SOURCE_DIR "/record-bytes.txt");
    ASSERT_TRUE(table);
    std::string line;
    int rows = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string d, delta, proc, part, hex;
        fields >> d >> delta >> proc;
        while (fields >> part) hex += part;
        const std::vector<std::uint8_t> bytes = FromHex(hex);
        TLineRecord record;
        SCOPED_TRACE(line);
        ASSERT_EQ(DecodeLineRecord(bytes.data(), bytes.size(), 6101, record), bytes.size());
        EXPECT_EQ(record.D, std::stoul(d, nullptr, 0));
        EXPECT_EQ(record.Delta, std::stol(delta));
        EXPECT_EQ(record.NewProcedure, proc == "1");
        // One byte short is no record.
        EXPECT_EQ(DecodeLineRecord(bytes.data(), bytes.size() - 1, 6101, record), 0u);
        ++rows;
    }
    EXPECT_GE(rows, 20);
}

TEST(LineRecords, ExtendedFormOnlyFrom423)
{
    const std::vector<std::uint8_t> bytes = FromHex("ebffefff"
                                                    "feff"
                                                    "fe0f");
    TLineRecord record;
    ASSERT_EQ(DecodeLineRecord(bytes.data(), bytes.size(), 423, record), 8u);
    EXPECT_EQ(record.D, 0xFFFu);
    EXPECT_EQ(record.Delta, -1);
    // Before 423 the marker is an ordinary long record: zero bytes would be
    // 0xFFF, so this covers 0xFFF bytes and steps -1 as well, in 4 bytes.
    ASSERT_EQ(DecodeLineRecord(bytes.data(), bytes.size(), 422, record), 4u);
    EXPECT_EQ(record.D, 0xFFFu);
    EXPECT_EQ(record.Delta, -1);
}

// ---- Blocks ---------------------------------------------------------------------------

std::string CurrentOptions(std::int32_t freezeTimeout = 45)
{
    auto options = TVexlorModuleOptions::Create("");
    options->SetFreezeTimeout(freezeTimeout);
    options->SetSMTPHost("smtp.example.org");
    rtl::TMemoryStream stream;
    options->SaveToStream(stream);
    return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

constexpr std::uintptr_t kHandle = 0x10000000;
constexpr std::uintptr_t kBase = kHandle + 0x1000;

struct Lookup {
    bool Found = false;
    TVexlorDebugInfo Item;
};

Lookup Find(const TModuleDebugData& data, std::uintptr_t address)
{
    Lookup index, scan;
    index.Found = LookupSourceInfo(data, address, index.Item);
    scan.Found = ScanSourceInfo(data, address, scan.Item);
    // The index answers exactly as the scan.
    EXPECT_EQ(index.Found, scan.Found) << std::hex << address;
    if (index.Found && scan.Found) {
        EXPECT_EQ(index.Item.UnitName.View(), scan.Item.UnitName.View());
        EXPECT_EQ(index.Item.ClassName.View(), scan.Item.ClassName.View());
        EXPECT_EQ(index.Item.ProcedureName.View(), scan.Item.ProcedureName.View());
        EXPECT_EQ(index.Item.Line, scan.Item.Line);
        EXPECT_EQ(index.Item.ProcOffsetLine, scan.Item.ProcOffsetLine);
        EXPECT_EQ(index.Item.DebugDetail, scan.Item.DebugDetail);
    }
    return index;
}

class Blocks : public ::testing::Test {
protected:
    void SetUp() override { ShowVexlorLogUnits = true; }
    void TearDown() override { ShowVexlorLogUnits = false; }

    // Reads a block of the current version holding tables.
    std::unique_ptr<TModuleDebugData> Read(const std::string& tables, std::uint16_t flags = 0,
                                           std::uintptr_t handle = kHandle,
                                           std::string password = std::string(kEmbeddedDataKey))
    {
        BlockParts parts;
        parts.Options = CurrentOptions();
        parts.Tables = tables;
        parts.Flags = flags;
        const std::string block = ResourceBlock(parts);
        auto data = std::make_unique<TModuleDebugData>(handle);
        TDataReadSettings settings;
        settings.Password = password;
        EXPECT_TRUE(ReadResourceData(block.data(), block.size(), *data, settings));
        return data;
    }
};

TEST_F(Blocks, EveryLayoutReadsItsParts)
{
    for (const std::uint16_t word : {405, 423, 450, 500, 502, 600, 601, 6000, 6101}) {
        SCOPED_TRACE(word);
        const std::uint16_t v = NormalizeVexlorVersion(word);
        LineTables tables(v);
        // A procedure name in two parts from 502 on, one part with its "." before.
        const std::string name = v >= 502 ? tables.Name({"TFoo", "Bar"}) : tables.Name("TFoo.Bar");
        tables.Unit("Main", 10, 0x100, 0x40, Long(0, 0, true) + name + Short(16, 2) + Short(16, 1));
        BlockParts parts;
        parts.Word = word;
        parts.Options = WriteOld(v);
        parts.Tables = tables.Bytes();
        parts.Symbols = std::string(1, '\x05') + Le32(0x20) + Le32(8);
        const std::string block = ResourceBlock(parts);
        LastVexlorVersion = 1234;
        TModuleDebugData data(kHandle);
        TDataReadSettings settings;
        settings.Password = std::string(kEmbeddedDataKey);
        ASSERT_TRUE(ReadResourceData(block.data(), block.size(), data, settings));
        EXPECT_EQ(LastVexlorVersion, 1234) << "restored after the options load";
        EXPECT_EQ(data.VexlorVersion, v);
        EXPECT_EQ(data.VersionWord, word);
        EXPECT_EQ(data.CompilationDate, 45000.5);
        // Fields the version did not have keep their defaults.
        EXPECT_EQ(data.Options->FreezeTimeout(), v >= 420 ? 45 : 60);
        EXPECT_EQ(data.Options->SMTPHost(), v >= 420 ? "smtp.example.org" : "");
        EXPECT_EQ(FindVexlorSymbolIn(data, 5), v >= 500 ? reinterpret_cast<void*>(kBase + 0x20) : nullptr);
        const Lookup hit = Find(data, kBase + 0x111);
        ASSERT_TRUE(hit.Found);
        EXPECT_EQ(hit.Item.UnitName.View(), "Main.cpp");
        EXPECT_EQ(hit.Item.ClassName.View(), "TFoo");
        EXPECT_EQ(hit.Item.ProcedureName.View(), "Bar");
        EXPECT_EQ(hit.Item.Line, 12u);
        EXPECT_EQ(hit.Item.DebugDetail, ddSourceCode);
        EXPECT_EQ(hit.Item.Addr, kBase + 0x111);

        // A refresh reads the options alone.
        TModuleDebugData light(kHandle);
        settings.Refresh = true;
        ASSERT_TRUE(ReadResourceData(block.data(), block.size(), light, settings));
        EXPECT_EQ(light.Options->FreezeTimeout(), v >= 420 ? 45 : 60);
        EXPECT_FALSE(light.DebugInformation.has_value());
        TVexlorDebugInfo item;
        EXPECT_FALSE(LookupSourceInfo(light, kBase + 0x111, item));
    }
    LastVexlorVersion = VexlorLogCurrentVersion;
}

TEST_F(Blocks, HandWrittenVersion423Block)
{
    // Below 450 nothing is compressed: the block is these bytes.
    std::string block("\x10\xab\x0f\x10"
                      "\xa7\x01",
                      6);                                         // signature, version 423
    block += std::string("\x00\x00\x00\x00\x20\x21\xe6\x40", 8);  // 45321.0
    block += WriteOld(423);                                       // the options of 423
    std::string units = Le32(0);                                  // 405..499: a block skipped, empty
    units += Le32(1);                                             // one unit
    units += std::string("\x04\xf0\xcb\xcc\xd1", 5);              // "Unit", XORed with 0xA5
    units += Le32(7) + Le32(0x10) + Le32(4) + Le32(1);            // line 7, at 0x10, 4 bytes, 1 byte of records
    units += "\x06";                                              // 4 bytes, then one line on
    block += Le32(static_cast<std::uint32_t>(units.size())) + units;
    TModuleDebugData data(kHandle);
    ASSERT_TRUE(ReadResourceData(block.data(), block.size(), data));
    EXPECT_EQ(data.VexlorVersion, 423);
    EXPECT_EQ(data.CompilationDate, 45321.0);
    EXPECT_EQ(data.Options->FreezeTimeout(), 45);
    const Lookup hit = Find(data, kBase + 0x13);
    ASSERT_TRUE(hit.Found);
    EXPECT_EQ(hit.Item.UnitName.View(), "Unit.cpp");
    EXPECT_EQ(hit.Item.Line, 7u);
    EXPECT_EQ(hit.Item.ProcedureName.View(), "");
    TVexlorDebugInfo item;
    EXPECT_FALSE(LookupSourceInfo(data, kBase + 0x14, item));
}

TEST_F(Blocks, NewerVersionsAndOtherSignaturesAreNoData)
{
    LineTables tables(6101);
    tables.Unit("Main", 1, 0, 4, Short(4, 1));
    for (const auto& [word, signature, readable] : std::vector<std::tuple<std::uint16_t, std::uint32_t, bool>>{
             {6102, kVexlorDataSignature, false}, {6101, kVexlorDataSignatureOld, true}, {6101, 0x100FAB11, false}}) {
        BlockParts parts;
        parts.Word = word;
        parts.Signature = signature;
        parts.Options = CurrentOptions();
        parts.Tables = tables.Bytes();
        const std::string block = ResourceBlock(parts);
        TModuleDebugData data(kHandle);
        EXPECT_EQ(ReadResourceData(block.data(), block.size(), data), readable) << word;
        if (!readable) {
            EXPECT_EQ(data.VexlorVersion, VexlorLogCurrentVersion);
            EXPECT_FALSE(data.DebugInformation.has_value());
        }
    }
}

TEST_F(Blocks, TailAndOverlappingUnits)
{
    LineTables tables(6101);
    // Outer [0x100, 0x200): records cover 0x40 bytes, the tail the rest.
    tables.Unit("Outer", 100, 0x100, 0x100, Short(32, 1) + Short(32, 4));
    // Two later units inside it; the last one holding an address wins.
    tables.Unit("Inner", 500, 0x150, 0x40, Short(32, 1));
    tables.Unit("Innermost", 900, 0x160, 0x10, Short(16, 1));
    const auto data = Read(tables.Bytes());
    struct Case {
        std::uintptr_t offset;
        const char* unit;
        std::uint32_t line;
    };
    for (const Case& c : {Case{0x100, "Outer.cpp", 100}, Case{0x120, "Outer.cpp", 101},
                          Case{0x140, "Outer.cpp", 105},  // the tail: the last line
                          Case{0x150, "Inner.cpp", 500}, Case{0x165, "Innermost.cpp", 900},
                          Case{0x171, "Inner.cpp", 501},  // inner's tail: the line after its last record
                          Case{0x190, "Outer.cpp", 105},  // the scan walks back to the outer unit
                          Case{0x1FF, "Outer.cpp", 105}}) {
        const Lookup hit = Find(*data, kBase + c.offset);
        ASSERT_TRUE(hit.Found) << std::hex << c.offset;
        EXPECT_EQ(hit.Item.UnitName.View(), c.unit) << std::hex << c.offset;
        EXPECT_EQ(hit.Item.Line, c.line) << std::hex << c.offset;
    }
    TVexlorDebugInfo item;
    EXPECT_FALSE(LookupSourceInfo(*data, kBase + 0x200, item));
    EXPECT_FALSE(LookupSourceInfo(*data, kBase + 0xFF, item));
    EXPECT_FALSE(LookupSourceInfo(*data, kHandle, item));
}

TEST_F(Blocks, UnitsOutOfOrderAreScanned)
{
    // The scan looks ahead only over units that start inside the one it
    // found: here the blocker ends the look-ahead before the wide unit, which
    // holds the late unit's code too. Out of order, the scan's answer stands.
    LineTables tables(6101);
    tables.Unit("Late", 1, 0x200, 0x10, Short(16, 1));
    tables.Unit("Blocker", 20, 0x400, 0x10, Short(16, 1));
    tables.Unit("Wide", 40, 0x100, 0x200, Short(16, 1));
    const auto data = Read(tables.Bytes());
    EXPECT_EQ(Find(*data, kBase + 0x205).Item.UnitName.View(), "Late.cpp");
    EXPECT_EQ(Find(*data, kBase + 0x105).Item.UnitName.View(), "Wide.cpp");
    EXPECT_EQ(Find(*data, kBase + 0x405).Item.UnitName.View(), "Blocker.cpp");
}

TEST_F(Blocks, ProcedureNamesAndTheirLag)
{
    LineTables tables(6101);
    std::string records;
    records += Short(8, 1);                                    // 0x00: before any announcement: no names
    records += Proc(8, 2) + tables.Name({"TAlpha", "First"});  // 0x08: still the first name
    records += Proc(8, 1) + tables.Name({"", "Second"});       // 0x10: First; ".": class TAlpha
    records += Proc(8, 1) + tables.Name("Plain");              // 0x18: Second
    records += Proc(8, 1) + tables.Name("@Hidden");            // 0x20: Plain, no class
    records += Short(8, 1);                                    // 0x28: _Hidden
    tables.Unit("Procs", 10, 0, 0x30, records);
    const auto data = Read(tables.Bytes());
    struct Case {
        std::uintptr_t offset;
        const char* cls;
        const char* proc;
    };
    for (const Case& c : {Case{0x00, "", ""}, Case{0x08, "TAlpha", "First"}, Case{0x10, "TAlpha", "First"},
                          Case{0x18, "TAlpha", "Second"}, Case{0x20, "", "Plain"}, Case{0x28, "", "_Hidden"}}) {
        const Lookup hit = Find(*data, kBase + c.offset);
        ASSERT_TRUE(hit.Found);
        EXPECT_EQ(hit.Item.ClassName.View(), c.cls) << c.offset;
        EXPECT_EQ(hit.Item.ProcedureName.View(), c.proc) << c.offset;
    }
}

TEST_F(Blocks, ProcOffsetLineFollowsThePrologue)
{
    // A fake module whose code lies in this buffer: the rule reads the bytes
    // at each procedure's start.
    static std::uint8_t code[0x40] = {};
    code[0x10] = 0x55, code[0x11] = 0x8B, code[0x12] = 0xEC;  // First: PUSH EBP; MOV EBP,ESP
    code[0x20] = 0x53;                                        // Second: PUSH EBX
    code[0x38] = 0x89, code[0x39] = 0xE5;                     // Third: GCC's MOV EBP,ESP
    LineTables tables(6101);
    std::string records = Short(8, 1);                    // 0x00 line 20
    records += Proc(8, 1) + tables.Name("First");         // 0x08 line 21; First from 0x10 at 22
    records += Short(8, 2);                               // 0x10 line 22
    records += Proc(8, 1) + tables.Name("Second");        // 0x18 line 24; Second from 0x20 at 25
    records += Short(8, 3);                               // 0x20 line 25
    records += Proc(8, 1) + tables.Name("Finalization");  // 0x28 line 28; from 0x30 at 29
    records += Proc(8, 1) + tables.Name("Third");         // 0x30 line 29; Third from 0x38 at 30
    records += Short(8, 2);                               // 0x38 line 30
    tables.Unit("Frames", 20, 0, 0x40, records);
    const auto data = Read(tables.Bytes(), 0, reinterpret_cast<std::uintptr_t>(code) - 0x1000);
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(code);
    struct Case {
        std::uintptr_t offset;
        std::uint32_t line, offsetLine;
        const char* proc;
    };
    for (const Case& c : {Case{0x00, 20, 0, ""},       // before any procedure
                          Case{0x08, 21, 0, "First"},  // the announcing record's own code
                          Case{0x10, 22, 0, "First"},  // the frame prologue: its line is the first
                          Case{0x18, 24, 2, "First"}, Case{0x20, 25, 0, "Second"},  // PUSH EBX counts as a prologue too
                          Case{0x28, 28, 3, "Second"}, Case{0x30, 29, 1, "Finalization"},  // always one line lower
                          Case{0x3F, 30, 1, "Third"}}) {  // no prologue: the start lowered by one
        const Lookup hit = Find(*data, base + c.offset);
        ASSERT_TRUE(hit.Found);
        EXPECT_EQ(hit.Item.Line, c.line) << std::hex << c.offset;
        EXPECT_EQ(hit.Item.ProcOffsetLine, c.offsetLine) << std::hex << c.offset;
        EXPECT_EQ(hit.Item.ProcedureName.View(), c.proc) << std::hex << c.offset;
    }
}

TEST_F(Blocks, OwnUnitsShowOnlyTheModule)
{
    LineTables tables(6101);
    tables.Unit("EOptions.cpp", 5, 0, 0x10, Proc(8, 1) + tables.Name({"crash", "Load"}) + Short(8, 1));
    tables.Unit("Calibration.cpp", 5, 0x10, 0x10, Short(16, 1));
    const auto data = Read(tables.Bytes(), kDataFlagUnitExtensions);
    ShowVexlorLogUnits = false;
    const Lookup own = Find(*data, kBase + 4);
    ASSERT_TRUE(own.Found);
    EXPECT_EQ(own.Item.DebugDetail, ddModule);
    EXPECT_EQ(own.Item.UnitName.View(), "");
    EXPECT_EQ(own.Item.ProcedureName.View(), "");
    EXPECT_EQ(own.Item.Line, 0u);
    EXPECT_EQ(Find(*data, kBase + 0x14).Item.DebugDetail, ddSourceCode);
    ShowVexlorLogUnits = true;
    EXPECT_EQ(Find(*data, kBase + 4).Item.UnitName.View(), "EOptions.cpp");
    EXPECT_TRUE(IsOwnUnitName("eoptions.CPP"));
    EXPECT_TRUE(IsOwnUnitName("ExceptionLog.cpp"));
    EXPECT_TRUE(IsOwnUnitName("DebugDataInternal.h"));
    EXPECT_FALSE(IsOwnUnitName("Calibration.cpp"));
}

TEST_F(Blocks, UnitExtensionsAndAWrongPassword)
{
    LineTables tables(6101, "another password");
    tables.Unit("tuple", 5, 0, 0x10, Proc(8, 1) + tables.Name({"std", "get"}) + Short(8, 1));
    const std::string stored = tables.Bytes();
    // The names and the check value were enciphered with another key than the
    // module's: the names show their stored bytes.
    {
        BlockParts parts;
        parts.Options = CurrentOptions();
        parts.Tables = stored;
        parts.CheckPassword = "another password";
        const std::string block = ResourceBlock(parts);
        TModuleDebugData data(kHandle);
        TDataReadSettings settings;
        settings.Password = std::string(kEmbeddedDataKey);
        ASSERT_TRUE(ReadResourceData(block.data(), block.size(), data, settings));
        EXPECT_FALSE(data.IsValidEncryptPassword);
        const Lookup hit = Find(data, kBase + 9);
        ASSERT_TRUE(hit.Found);
        TCipherContext key;
        InitKey(key, "another password");
        std::string tuple = "tuple", scope = "std", get = "get";
        Encrypt(key, tuple.data(), tuple.data(), tuple.size());
        Encrypt(key, scope.data(), scope.data(), scope.size());
        Encrypt(key, get.data(), get.data(), get.size());
        EXPECT_EQ(hit.Item.UnitName.View(), "?c" + Base64EncodeString(tuple));
        EXPECT_EQ(hit.Item.ClassName.View(), "?" + Base64EncodeString(scope));
        EXPECT_EQ(hit.Item.ProcedureName.View(), "?" + Base64EncodeString(get));
    }
    // With the module's password right, the same names read plainly.
    BlockParts parts;
    parts.Options = CurrentOptions();
    parts.Tables = stored;
    parts.CheckPassword = "another password";
    const std::string block = ResourceBlock(parts);
    TModuleDebugData data(kHandle);
    TDataReadSettings settings;
    settings.Password = std::string("another password");
    ASSERT_TRUE(ReadResourceData(block.data(), block.size(), data, settings));
    EXPECT_TRUE(data.IsValidEncryptPassword);
    EXPECT_EQ(Find(data, kBase + 9).Item.UnitName.View(), "tuple.cpp") << "the rule appends the extension";
    EXPECT_EQ(Find(data, kBase + 9).Item.ProcedureName.View(), "get");
    // With the flag the name keeps what it has.
    const auto flagged =
        Read(LineTables(6101).Unit("tuple", 5, 0, 0x10, Short(16, 1)).Bytes(), kDataFlagUnitExtensions);
    EXPECT_EQ(Find(*flagged, kBase + 9).Item.UnitName.View(), "tuple");
}

// Every cut of a block and every length past the data: no data, nothing raised.
TEST_F(Blocks, DamagedBlocksAreNoData)
{
    LineTables tables(6101);
    tables.Unit("Main", 10, 0x100, 0x40, Proc(8, 1) + tables.Name({"TFoo", "Bar"}) + Short(16, 2));
    BlockParts parts;
    parts.Options = CurrentOptions();
    parts.Tables = tables.Bytes();
    const std::string block = ResourceBlock(parts);
    for (std::size_t size = 0; size < block.size(); ++size) {
        TModuleDebugData data(kHandle);
        EXPECT_FALSE(ReadResourceData(block.data(), size, data)) << size;
    }
    // Lengths in the line tables past their end: no unit answers.
    const std::string good = tables.Bytes();
    for (std::size_t at : {std::size_t{0}, std::size_t{21}}) {  // the unit count, the records' length
        std::string bad = good;
        bad.replace(at, 4, Le32(0x7FFFFFF0));
        const auto data = Read(bad);
        TVexlorDebugInfo item;
        EXPECT_FALSE(LookupSourceInfo(*data, kBase + 0x101, item)) << at;
        EXPECT_FALSE(ScanSourceInfo(*data, kBase + 0x101, item)) << at;
    }
    // A record running past its unit's end ends the unit.
    LineTables cut(6101);
    cut.Unit("Cut", 3, 0, 0x20, Short(8, 1) + std::string("\x0b", 1));
    const auto data = Read(cut.Bytes());
    EXPECT_EQ(Find(*data, kBase + 0x10).Item.Line, 4u);
    // The symbol table's and the options' lengths.
    for (std::size_t at : {std::size_t{16}, std::size_t{20}}) {
        std::string bad = block;
        bad.replace(at, 4, Le32(0xFFFFFFF0));
        TModuleDebugData broken(kHandle);
        EXPECT_FALSE(ReadResourceData(bad.data(), bad.size(), broken));
    }
    // Appended data whose length is longer than the file.
    std::string appended = AppendedBlock(parts);
    appended.replace(appended.size() - 8, 4, Le32(static_cast<std::uint32_t>(appended.size())));
    TModuleDebugData broken(kHandle);
    EXPECT_FALSE(ReadAppendedData(appended.data(), appended.size(), broken));
}

TEST_F(Blocks, AppendedDataOfEveryEra)
{
    for (const std::uint16_t word : {423, 601, 6101, 6102}) {
        const std::uint16_t v = NormalizeVexlorVersion(word);
        LineTables tables(v);
        tables.Unit("Tail", 8, 0x10, 0x10, Short(16, 1));
        BlockParts parts;
        parts.Word = word;
        parts.Options = WriteOld(v);
        parts.Tables = tables.Bytes();
        const std::string file = std::string(100, 'M') + AppendedBlock(parts);
        TModuleDebugData data(kHandle);
        TDataReadSettings settings;
        settings.Password = std::string(kEmbeddedDataKey);
        const bool read = ReadAppendedData(file.data(), file.size(), data, settings);
        EXPECT_EQ(read, word != 6102) << word;
        if (!read) continue;
        EXPECT_EQ(data.VexlorVersion, v);
        EXPECT_EQ(data.Options->FreezeTimeout(), 45);
        EXPECT_EQ(Find(data, kBase + 0x15).Item.UnitName.View(), "Tail.cpp");
    }
}

}  // namespace
}  // namespace crash
