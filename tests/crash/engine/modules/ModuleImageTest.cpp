// Reading module images: the checked stream, and export tables laid out by
// hand where the linker would never put them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "crash/engine/modules/ModuleLists.h"
#include "crash/engine/modules/ModulesInternal.h"

namespace crash {
namespace {

constexpr std::size_t kPage = 0x1000;

// An image of two readable pages and a no-access one after them. Page 0: the
// headers, with an optional header shorter than the standard one (two data
// directories), so that the section table is not where a fixed offset would
// look; a code section at 0x100. Page 1: the last section, holding the
// export directory, and a name that ends right before the no-access page.
class HandMadeImage : public ::testing::Test {
public:
    static constexpr std::uint32_t kNt = 0x40;
    static constexpr std::uint16_t kOptionalSize = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) + 2 * 8;
    static constexpr std::uint32_t kSections = kNt + 24 + kOptionalSize;
    static constexpr std::uint32_t kExports = 0x1000;
    static constexpr std::uint32_t kExportsSize = 0x80;

    void SetUp() override
    {
        FBase = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 3 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(FBase, nullptr);
        auto& dos = At<IMAGE_DOS_HEADER>(0);
        dos.e_magic = IMAGE_DOS_SIGNATURE;
        dos.e_lfanew = kNt;
        At<DWORD>(kNt) = IMAGE_NT_SIGNATURE;
        auto& file = At<IMAGE_FILE_HEADER>(kNt + 4);
        file.Machine = IMAGE_FILE_MACHINE_I386;
        file.NumberOfSections = 2;
        file.SizeOfOptionalHeader = kOptionalSize;
        file.Characteristics = IMAGE_FILE_DLL | IMAGE_FILE_EXECUTABLE_IMAGE;
        auto& optional = At<IMAGE_OPTIONAL_HEADER32>(kNt + 24);
        optional.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
        optional.BaseOfCode = 0x100;
        optional.SizeOfCode = 0x100;
        optional.SizeOfImage = 3 * kPage;
        optional.NumberOfRvaAndSizes = 2;
        optional.DataDirectory[0] = {kExports, kExportsSize};
        // What a reader at the standard offset would take for sections.
        std::memset(FBase + kNt + 248, 0xCC, 2 * sizeof(IMAGE_SECTION_HEADER));
        Section(0, ".text", 0x100, 0x100);
        Section(1, ".edata", kPage, kPage);

        auto& directory = At<IMAGE_EXPORT_DIRECTORY>(kExports);
        directory.NumberOfFunctions = 5;
        directory.NumberOfNames = 7;
        directory.AddressOfFunctions = kExports + 0x40;
        directory.AddressOfNames = 0x1100;
        directory.AddressOfNameOrdinals = 0x1180;
        // Code at 0x180, 0x1A0, 0x1C0; one export below the code; a forwarder.
        const std::uint32_t functions[] = {0x180, 0x1A0, 0x50, 0x1C0, kExports + 0x60};
        std::memcpy(FBase + directory.AddressOfFunctions, functions, sizeof functions);
        std::strcpy(reinterpret_cast<char*>(FBase + kExports + 0x60), "other.Function");
        // Alpha and its alias share a function; Broken's ordinal is past the table.
        AddName(0, "Alpha", 0, 0x1200);
        AddName(1, "AlphaAlias", 0, 0x1210);
        AddName(2, "Beta", 1, 0x1220);
        AddName(3, "Low", 2, 0x1230);
        AddName(4, "Broken", 9, 0x1240);
        AddName(5, "Forwarded", 4, 0x1250);
        // 255 bytes from here reach into the no-access page.
        AddName(6, "EdgeName", 3, static_cast<std::uint32_t>(2 * kPage - sizeof "EdgeName"));
        // A PUSH imm32 / JMP stub at EdgeName's address, as the 9x kernel has them.
        const std::uint8_t stub[] = {0x68, 0x78, 0x56, 0x34, 0x12, 0xE9, 0, 0, 0, 0};
        std::memcpy(FBase + 0x1C0, stub, sizeof stub);
        DWORD previous;
        ASSERT_TRUE(VirtualProtect(FBase + 2 * kPage, kPage, PAGE_NOACCESS, &previous));
    }
    void TearDown() override { VirtualFree(FBase, 0, MEM_RELEASE); }

    template <class T>
    T& At(std::uint32_t rva)
    {
        return *reinterpret_cast<T*>(FBase + rva);
    }
    void Section(int index, const char* name, std::uint32_t address, std::uint32_t size)
    {
        auto& section = At<IMAGE_SECTION_HEADER>(kSections + index * sizeof(IMAGE_SECTION_HEADER));
        std::memcpy(section.Name, name, std::strlen(name));
        section.VirtualAddress = address;
        section.Misc.VirtualSize = size;
    }
    void AddName(int index, const char* name, std::uint16_t ordinal, std::uint32_t rva)
    {
        const auto& directory = At<IMAGE_EXPORT_DIRECTORY>(kExports);
        At<std::uint32_t>(directory.AddressOfNames + 4 * index) = rva;
        At<std::uint16_t>(directory.AddressOfNameOrdinals + 2 * index) = ordinal;
        std::strcpy(reinterpret_cast<char*>(FBase + rva), name);
    }
    std::uintptr_t Base() const { return reinterpret_cast<std::uintptr_t>(FBase); }
    std::uint32_t Address(std::uint32_t rva) const { return static_cast<std::uint32_t>(Base() + rva); }

    std::uint8_t* FBase = nullptr;
};

TEST_F(HandMadeImage, EveryNamedExportWithItsAddress)
{
    TVexlorFunctionsList functions;
    ASSERT_TRUE(modules::ReadExportTable(Base(), functions, false));
    static const struct {
        const char* name;
        std::uint32_t rva;
        std::uint32_t size;
    } kExpected[] = {
        {"Low", 0x50, 1},  // below the code section
        {"Alpha", 0x180, 0}, {"AlphaAlias", 0x180, 0},
        {"Beta", 0x1A0, 0},  {"EdgeName", 0x1C0, 0},  // its name read up to the unreadable page
    };
    ASSERT_EQ(functions.Count(), 5);  // Broken and the unresolvable forwarder left out
    for (int i = 0; i < functions.Count(); ++i) {
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(functions.GetItem(i)->Name, kExpected[i].name);
        EXPECT_EQ(functions.GetItem(i)->Addr, Address(kExpected[i].rva));
        EXPECT_EQ(functions.GetItem(i)->Size, kExpected[i].size);
    }
}

TEST_F(HandMadeImage, StubsOfThe9xKernelStandForTheirTarget)
{
    TVexlorFunctionsList functions;
    ASSERT_TRUE(modules::ReadExportTable(Base(), functions, true));
    ASSERT_EQ(functions.Count(), 5);
    EXPECT_EQ(functions.GetItem(4)->Name, "EdgeName");
    EXPECT_EQ(functions.GetItem(4)->Addr, 0x12345678u);
}

TEST_F(HandMadeImage, HeadersThatGiveNoFunctions)
{
    static const struct {
        const char* what;
        void (*spoil)(HandMadeImage&);
    } kCases[] = {
        {"flags in the export directory",
         [](HandMadeImage& image) { image.At<IMAGE_EXPORT_DIRECTORY>(kExports).Characteristics = 1; }},
        {"directory in no section", [](HandMadeImage& image) { image.Section(1, ".edata", kPage, 0); }},
        {"code section unreadable",
         [](HandMadeImage& image) { image.At<IMAGE_OPTIONAL_HEADER32>(kNt + 24).BaseOfCode = 2 * kPage; }},
        {"no export directory",
         [](HandMadeImage& image) {
             image.At<IMAGE_OPTIONAL_HEADER32>(kNt + 24).DataDirectory[0] = {0, 0};
         }},
        {"a 64-bit optional header",
         [](HandMadeImage& image) { image.At<IMAGE_OPTIONAL_HEADER32>(kNt + 24).Magic = 0x20B; }},
        {"no PE signature", [](HandMadeImage& image) { image.At<DWORD>(kNt) = 0; }},
        {"no MZ", [](HandMadeImage& image) { image.At<IMAGE_DOS_HEADER>(0).e_magic = 0; }},
        {"names past the image",
         [](HandMadeImage& image) { image.At<IMAGE_EXPORT_DIRECTORY>(kExports).NumberOfNames = 0x10000; }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        c.spoil(*this);
        TVexlorFunctionsList functions;
        EXPECT_FALSE(modules::ReadExportTable(Base(), functions, false));
        EXPECT_EQ(functions.Count(), 0);
    }
}

TEST_F(HandMadeImage, FileHeaderAndLibraryFlag)
{
    IMAGE_FILE_HEADER header;
    std::uint32_t nt = 0;
    ASSERT_TRUE(modules::ReadFileHeader(Base(), header, nt));
    EXPECT_EQ(nt, kNt);
    EXPECT_EQ(header.NumberOfSections, 2);
    EXPECT_TRUE(IsLibraryModule(reinterpret_cast<HMODULE>(FBase)));
    At<IMAGE_FILE_HEADER>(kNt + 4).Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE;
    EXPECT_FALSE(IsLibraryModule(reinterpret_cast<HMODULE>(FBase)));
}

TEST_F(HandMadeImage, StreamReadsOnlyWhatIsReadable)
{
    THModuleStream stream(reinterpret_cast<HMODULE>(FBase));
    EXPECT_EQ(stream.Size(), 0x7FFFFFFF);
    WORD magic = 0;
    ASSERT_TRUE(stream.SecureRead(&magic, sizeof magic));
    EXPECT_EQ(magic, IMAGE_DOS_SIGNATURE);
    EXPECT_EQ(stream.Position(), 2);

    // Across into the no-access page: nothing read, the position stays.
    char bytes[16] = {};
    stream.SetPosition(2 * kPage - 8);
    EXPECT_FALSE(stream.SecureRead(bytes, sizeof bytes));
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(2 * kPage - 8));
    // The readable part of it.
    EXPECT_EQ(stream.SecureReadPrefix(bytes, sizeof bytes), 8u);
    EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(2 * kPage));
    EXPECT_EQ(stream.SecureReadPrefix(bytes, sizeof bytes), 0u);
    // Past the stream's end.
    stream.SetPosition(0x7FFFFFFE);
    EXPECT_FALSE(stream.SecureRead(bytes, 4));
}

}  // namespace
}  // namespace crash
