// Classes and objects by the C++ type information: names, parents, the
// checked object test, copies.
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "rtl/Classes.h"
#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"

namespace {

struct EDerivedAbort : rtl::EAbort {
    RTL_CLASS(EDerivedAbort)
    using EAbort::EAbort;
};

// Declares no RTL_CLASS: a copy through Exception would lose FDetail.
struct EUndeclared : rtl::Exception {
    EUndeclared() : Exception("undeclared") {}
    std::string FDetail = "detail";
};

struct OtherRoot {
    virtual ~OtherRoot() = default;
    int Value = 7;
};
struct TwoParents : OtherRoot, rtl::TObject {};

template <std::size_t Size>
struct TSized : rtl::TObject {
    RTL_CLASS(TSized)
    char FData[Size - sizeof(rtl::TObject)];
};

TEST(ObjectModel, ClassNamesAndParentChainComeFromTheTypeInformation)
{
    const rtl::EAccessViolation violation(
        EXCEPTION_RECORD{EXCEPTION_ACCESS_VIOLATION, 0, nullptr, nullptr, 2, {0, 16}});
    EXPECT_EQ(violation.ClassName(), "EAccessViolation");
    std::string chain;
    for (const std::type_info* type = &typeid(violation); type != nullptr; type = rtl::ClassParent(*type))
        chain += rtl::ClassNameOf(*type) + " ";
    EXPECT_EQ(chain, "EAccessViolation EExternal Exception TObject ");
    // Of two bases the one at the object's own address is the parent.
    EXPECT_EQ(rtl::ClassParent(typeid(TwoParents)), &typeid(OtherRoot));
    EXPECT_EQ(rtl::ClassNameOf(typeid(std::out_of_range)), "out_of_range");
}

TEST(ObjectModel, ValidObjectOnlyWhereEveryReadChecksOut)
{
    const rtl::EConvertError object("x");
    const TwoParents twoParents;
    const int plainInts[4] = {0x1234, 0, 0, 0};
    const void* codeAsObject = reinterpret_cast<const void*>(&rtl::Abort);
    // A vtable pointer that points at readable memory which is no vtable.
    const void* const selfPointing[2] = {&selfPointing[1], nullptr};
    void* freed = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    new (freed) rtl::EConvertError("gone");
    VirtualFree(freed, 0, MEM_RELEASE);

    static const struct {
        const char* what;
        int index;
        bool valid;
    } kCases[] = {
        {"an object", 0, true},
        {"null", 1, false},
        {"freed memory", 2, false},
        {"plain integers", 3, false},
        {"code", 4, false},
        {"a self-pointing word", 5, false},
        {"second base of an object (offset to top is not 0)", 6, false},
        {"first base of an object", 7, true},
    };
    const void* pointers[] = {&object,
                              nullptr,
                              freed,
                              plainInts,
                              codeAsObject,
                              selfPointing,
                              static_cast<const rtl::TObject*>(&twoParents),
                              static_cast<const OtherRoot*>(&twoParents)};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rtl::IsValidObject(pointers[c.index]), c.valid);
        EXPECT_EQ(rtl::ObjectTypeInfo(pointers[c.index]) != nullptr, c.valid);
    }
    EXPECT_EQ(rtl::SafeClassName(&object), "EConvertError");
    EXPECT_EQ(rtl::SafeClassName(freed), "");
}

TEST(ObjectModel, LargeInstanceMustBeReadableToItsEnd)
{
    // Objects placed so that their second half lies on a no-access page:
    // 2000 bytes are checked to the end, 1000 are not. (Default-initialised:
    // only the vtable pointer is written.)
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 3 * 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + 2 * 4096, 4096, PAGE_NOACCESS, &old));
    auto* big = new (pages + 2 * 4096 - 1000) TSized<2000>;
    auto* small = new (pages + 2 * 4096 - 500) TSized<1000>;
    EXPECT_FALSE(rtl::IsValidObject(big));
    EXPECT_TRUE(rtl::IsValidObject(small));
    auto* whole = new (pages) TSized<2000>;
    EXPECT_TRUE(rtl::IsValidObject(whole));
    EXPECT_EQ(whole->InstanceSize(), 2000u);
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(ObjectModel, ClassNameTestsWalkTheParentsByName)
{
    const EDerivedAbort derived("quiet");
    const rtl::EConvertError other("x");
    EXPECT_TRUE(rtl::IsObjectOfClassName(&derived, "  eabort "));
    EXPECT_TRUE(rtl::IsObjectOfClassName(&derived, "TObject"));
    EXPECT_FALSE(rtl::IsObjectOfClassName(&other, "EAbort"));
    EXPECT_FALSE(rtl::IsObjectOfClassName(nullptr, "TObject"));
}

TEST(ObjectModel, CloneCopiesTheWholeObjectOrRefuses)
{
    rtl::EOSError original(std::string(200, 'x'), 5);
    original.SetRaiseAddress(reinterpret_cast<void*>(0x401000));
    std::unique_ptr<rtl::TObject> copy = original.Clone();
    ASSERT_NE(copy, nullptr);
    auto* error = dynamic_cast<rtl::EOSError*>(copy.get());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->ErrorCode(), 5u);
    EXPECT_EQ(error->Message(), original.Message());
    EXPECT_NE(error->Message().data(), original.Message().data());  // its own buffer, freed on its own
    EXPECT_EQ(error->RaiseAddress(), original.RaiseAddress());
    EXPECT_EQ(copy->InstanceSize(), sizeof(rtl::EOSError));
    EXPECT_EQ(EUndeclared().Clone(), nullptr);
    EXPECT_EQ(rtl::TEvent(true, false).Clone(), nullptr);  // not copyable at all
}

}  // namespace
