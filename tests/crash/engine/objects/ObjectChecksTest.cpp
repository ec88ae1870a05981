// Class records, class tests by name, copies of exception objects, the COM
// error class and the emergency reserve.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "crash/engine/ExceptionLog.h"

namespace {

struct EDerivedAbort : rtl::EAbort {
    RTL_CLASS(EDerivedAbort)
    using EAbort::EAbort;
};

// Declares no RTL_CLASS of its own: it cannot be copied whole.
struct EUndeclared : rtl::Exception {
    EUndeclared() : Exception("undeclared") {}
    std::string FDetail = "detail";
};

// Counts its live instances, copies included.
struct ECounted : rtl::Exception {
    RTL_CLASS(ECounted)
    explicit ECounted(std::string message) : Exception(std::move(message)) { ++Alive; }
    ECounted(const ECounted& other) : Exception(other) { ++Alive; }
    ~ECounted() override { --Alive; }
    static inline int Alive = 0;
};

// Larger than the size up to which an instance is not checked to its end.
struct EBig : rtl::Exception {
    RTL_CLASS(EBig)
    EBig() : Exception("big") {}
    char FData[2000];
};

}  // namespace

// The same name as the runtime's silent abort, as if compiled into another module.
namespace othermodule {
struct EAbort : rtl::Exception {
    RTL_CLASS(EAbort)
    EAbort() : Exception("elsewhere") {}
};
}  // namespace othermodule

namespace {

TEST(ObjectChecks, ClassRecordIsValidWhenReadableAndNamed)
{
    // Type information of our own making: a real class's vtable word and a
    // name of our choice.
    struct TFakeType {
        const void* FVtable;
        const char* FName;
        const std::type_info* FBase;
    };
    const void* classVtable = *reinterpret_cast<const void* const*>(&typeid(rtl::Exception));
    const TFakeType named{classVtable, "9TFakeName", &typeid(rtl::TObject)};
    const TFakeType controlChar{classVtable, "9TFake\x1fName", &typeid(rtl::TObject)};
    void* freed = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    std::memcpy(freed, &typeid(rtl::EAbort), sizeof(TFakeType));
    VirtualFree(freed, 0, MEM_RELEASE);
    const int plainInts[4] = {1, 2, 3, 4};

    static constexpr struct {
        const char* what;
        bool valid;
    } kCases[] = {
        {"a class", true},
        {"null", false},
        {"a fundamental type", false},
        {"freed memory", false},
        {"plain integers", false},
        {"made up, printable name", true},
        {"made up, a character below the blank", false},
    };
    const std::type_info* types[] = {&typeid(EDerivedAbort),
                                     nullptr,
                                     &typeid(int),
                                     static_cast<const std::type_info*>(freed),
                                     reinterpret_cast<const std::type_info*>(plainInts),
                                     reinterpret_cast<const std::type_info*>(&named),
                                     reinterpret_cast<const std::type_info*>(&controlChar)};
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE(kCases[i].what);
        EXPECT_EQ(crash::IsValidClass(types[i]), kCases[i].valid);
    }
}

TEST(ObjectChecks, ClassTestsByNameAndWhatIsReported)
{
    const EDerivedAbort derivedAbort("quiet");
    const rtl::EAbort abort("quiet");
    const othermodule::EAbort otherAbort;
    const rtl::EAccessViolation violation(
        EXCEPTION_RECORD{EXCEPTION_ACCESS_VIOLATION, 0, nullptr, nullptr, 2, {0, 16}});
    const rtl::EConvertError convert("x");
    const std::runtime_error standard("std");
    void* freed = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    new (freed) rtl::EConvertError("gone");
    VirtualFree(freed, 0, MEM_RELEASE);
    // An instance whose end lies on a page that cannot be read.
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
    auto* cutBig = new (pages + 4096 - 1000) EBig;

    static constexpr struct {
        const char* what;
        bool reportable;
        bool language;
        bool ofAbort;  // IsObjectOfClass(typeid(rtl::EAbort))
        bool ofAny;    // IsObjectOfAnyClass({EConvertError, EExternal})
    } kCases[] = {
        {"a class derived from EAbort", false, true, true, false},
        {"EAbort", false, true, true, false},
        {"another module's EAbort", false, true, true, false},
        {"an access violation", true, false, false, true},
        {"a conversion error", true, true, false, true},
        {"a standard library exception", true, true, false, false},
        {"null", false, true, false, false},
        {"freed memory", false, true, false, false},
        {"2000 bytes, the end unreadable", false, true, false, false},
    };
    const void* objects[] = {&derivedAbort, &abort,  &otherAbort, &violation, &convert,
                             &standard,     nullptr, freed,       cutBig};
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const auto& c = kCases[i];
        SCOPED_TRACE(c.what);
        EXPECT_EQ(crash::IsReportableObject(objects[i]), c.reportable);
        EXPECT_EQ(crash::IsLanguageException(objects[i]), c.language);
        EXPECT_EQ(crash::IsObjectOfClass(objects[i], typeid(rtl::EAbort)), c.ofAbort);
        EXPECT_EQ(
            crash::IsObjectOfAnyClass(objects[i], {nullptr, &typeid(rtl::EConvertError), &typeid(rtl::EExternal)}),
            c.ofAny);
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(ObjectChecks, CopyIsTheClassOwnAndOutlivesTheOriginal)
{
    auto* original = new crash::TActiveXException("EOleSysError\r\nEOleError", "call failed");
    std::unique_ptr<rtl::TObject> copy = crash::CopyObjectInstance(original);
    delete original;
    auto* error = dynamic_cast<crash::TActiveXException*>(copy.get());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->Message(), "call failed");
    EXPECT_EQ(error->ExceptionType(), "EOleSysError");
    EXPECT_EQ(error->Parents(), (std::vector<std::string>{"EOleSysError", "EOleError"}));

    // A record holding the copy frees it with its destructor.
    struct TRecord {
        rtl::TObject* ExceptionObject;
    };
    const ECounted counted("counted");
    TRecord record{crash::CopyObjectInstance(&counted).release()};
    ASSERT_NE(record.ExceptionObject, nullptr);
    EXPECT_EQ(ECounted::Alive, 2);
    crash::FreeCopiedExceptionObject(record);
    EXPECT_EQ(record.ExceptionObject, nullptr);
    EXPECT_EQ(ECounted::Alive, 1);
}

TEST(ObjectChecks, NoCopyOfWhatCannotBeCopiedWhole)
{
    const EUndeclared undeclared;
    const std::runtime_error standard("std");
    void* freed = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    new (freed) rtl::EConvertError("gone");
    VirtualFree(freed, 0, MEM_RELEASE);
    static constexpr const char* kCases[] = {"null", "no RTL_CLASS of its own", "not a TObject", "freed memory"};
    const void* objects[] = {nullptr, &undeclared, &standard, freed};
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        SCOPED_TRACE(kCases[i]);
        EXPECT_EQ(crash::CopyObjectInstance(objects[i]).get(), nullptr);
    }
}

TEST(ActiveXException, TypeTextGivesTheTypeAndItsParents)
{
    static const struct {
        const char* text;
        const char* type;
        std::vector<std::string> parents;
    } kCases[] = {
        {"EOleSysError\r\nEOleError\r\nException", "EOleSysError", {"EOleSysError", "EOleError", "Exception"}},
        {"", "", {}},
        {"A\nB\n", "A", {"A", "B"}},  // a closing break opens no line
        {"A\rB\r\n\r\nC", "A", {"A", "B", "", "C"}},
        {"\r\nB", "", {"", "B"}},  // an empty first line is no type
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text);
        const crash::TActiveXException error(c.text, "message");
        EXPECT_EQ(error.ExceptionType(), c.type);
        EXPECT_EQ(error.Parents(), c.parents);
        EXPECT_EQ(error.Message(), "message");
    }
}

TEST(EmergencyReserve, OneRegionOfReservedAddressSpaceUntilReleased)
{
    ASSERT_EQ(crash::EmergencyAddressSpace(), nullptr);
    crash::ReserveEmergencyAddressSpace();
    void* region = crash::EmergencyAddressSpace();
    ASSERT_NE(region, nullptr);
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(VirtualQuery(region, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_RESERVE));
    EXPECT_EQ(info.AllocationProtect, static_cast<DWORD>(PAGE_NOACCESS));
    EXPECT_EQ(info.RegionSize, crash::kEmergencyReserveSize);
    // A second reserve keeps the region it has instead of taking another.
    crash::ReserveEmergencyAddressSpace();
    EXPECT_EQ(crash::EmergencyAddressSpace(), region);

    crash::ReleaseEmergencyAddressSpace();
    EXPECT_EQ(crash::EmergencyAddressSpace(), nullptr);
    ASSERT_EQ(VirtualQuery(region, &info, sizeof info), sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
    crash::ReleaseEmergencyAddressSpace();  // nothing left to release
    EXPECT_EQ(crash::EmergencyAddressSpace(), nullptr);
}

}  // namespace
