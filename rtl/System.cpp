// The root class and the checked object and class tests.
#include "rtl/System.h"

#include <windows.h>

#include <cxxabi.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rtl/SysUtils.h"

namespace rtl {
namespace {

// Three classes whose type information carries the three class-type vtables of
// the C++ runtime: no base, one public base, several bases.
struct PlainClass {
    virtual ~PlainClass() = default;
};
struct SingleBaseClass : PlainClass {};
struct OtherBase {
    virtual ~OtherBase() = default;
};
struct SeveralBasesClass : PlainClass, OtherBase {};

const void* VtableOf(const std::type_info& type) noexcept
{
    return *reinterpret_cast<const void* const*>(&type);
}

enum class TTypeShape { tsNone, tsPlain, tsSingle, tsSeveral };

TTypeShape ShapeOf(const std::type_info* type) noexcept
{
    if (type == nullptr || !IsReadableMemory(type, sizeof(abi::__si_class_type_info))) return TTypeShape::tsNone;
    const void* vtable = VtableOf(*type);
    if (vtable == VtableOf(typeid(PlainClass))) return TTypeShape::tsPlain;
    if (vtable == VtableOf(typeid(SingleBaseClass))) return TTypeShape::tsSingle;
    if (vtable == VtableOf(typeid(SeveralBasesClass))) return TTypeShape::tsSeveral;
    return TTypeShape::tsNone;
}

// A mangled name must be readable up to its terminating zero and printable.
bool IsSaneName(const char* name) noexcept
{
    constexpr std::size_t kMaxName = 1024;
    for (std::size_t i = 0; i < kMaxName; ++i) {
        // Check once per page: the name may end right before an unreadable one.
        if ((i == 0 || (reinterpret_cast<std::uintptr_t>(name + i) & 0xFFF) == 0) && !IsReadableMemory(name + i, 1))
            return false;
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == 0) return i > 0;
        if (c < 32) return false;
    }
    return false;
}

bool SameTextNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsTObjectType(const std::type_info* type) noexcept
{
    const char* rootName = typeid(TObject).name();
    for (int depth = 0; type != nullptr && depth < 64; ++depth) {
        if (!IsSaneName(type->name())) return false;
        if (std::strcmp(type->name(), rootName) == 0) return true;
        type = ClassParent(*type);
    }
    return false;
}

}  // namespace

std::string TObject::ClassName() const
{
    return ClassNameOf(typeid(*this));
}

bool IsReadableMemory(const void* address, std::size_t size) noexcept
{
    if (address == nullptr) return false;
    auto position = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t end = position + size;
    if (end < position) return false;
    while (position < end) {
        MEMORY_BASIC_INFORMATION info;
        if (::VirtualQuery(reinterpret_cast<const void*>(position), &info, sizeof info) == 0) return false;
        if (info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
        constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                    PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if ((info.Protect & kReadable) == 0) return false;
        const auto regionEnd = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (regionEnd <= position) return false;
        position = regionEnd;
    }
    return true;
}

const std::type_info* ObjectTypeInfo(const void* object) noexcept
{
    if (!IsReadableMemory(object, sizeof(void*))) return nullptr;
    // The object's first word is its vtable's address point; before it lie the
    // offset to the top of the whole object and the type_info pointer.
    const auto* vtable = *static_cast<const std::intptr_t* const*>(object);
    if (vtable == nullptr || !IsReadableMemory(vtable - 2, 3 * sizeof(std::intptr_t))) return nullptr;
    if (vtable[-2] != 0) return nullptr;
    const auto* type = reinterpret_cast<const std::type_info*>(vtable[-1]);
    if (ShapeOf(type) == TTypeShape::tsNone) return nullptr;
    if (!IsSaneName(type->name())) return nullptr;
    return type;
}

bool IsValidObject(const void* object) noexcept
{
    const std::type_info* type = ObjectTypeInfo(object);
    if (type == nullptr) return false;
    if (!IsTObjectType(type)) return true;
    // InstanceSize's slot, from the ABI's form of a pointer to a virtual
    // member function (1 + the slot's byte offset in the vtable).
    std::size_t (TObject::*member)() const noexcept = &TObject::InstanceSize;
    std::uintptr_t slotOffset;
    std::memcpy(&slotOffset, &member, sizeof slotOffset);
    if ((slotOffset & 1) == 0) return true;
    --slotOffset;
    const auto* vtable = *static_cast<const std::uintptr_t* const*>(object);
    const auto* slot = reinterpret_cast<const std::uintptr_t*>(reinterpret_cast<const char*>(vtable) + slotOffset);
    if (!IsReadableMemory(slot, sizeof *slot)) return false;
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(*slot), &info, sizeof info) == 0 ||
        (info.Protect & (PAGE_EXECUTE_READ | PAGE_EXECUTE | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) == 0)
        return false;
    const std::size_t size = static_cast<const TObject*>(object)->InstanceSize();
    return size <= 1024 || IsReadableMemory(object, size);
}

const std::type_info* ClassParent(const std::type_info& type) noexcept
{
    switch (ShapeOf(&type)) {
    case TTypeShape::tsSingle: {
        const auto& single = static_cast<const abi::__si_class_type_info&>(type);
        return ShapeOf(single.__base_type) != TTypeShape::tsNone ? single.__base_type : nullptr;
    }
    case TTypeShape::tsSeveral: {
        const auto& several = static_cast<const abi::__vmi_class_type_info&>(type);
        if (!IsReadableMemory(&several.__base_count, sizeof several.__base_count)) return nullptr;
        const unsigned count = several.__base_count;
        if (count == 0 || count > 64 ||
            !IsReadableMemory(several.__base_info, count * sizeof(abi::__base_class_type_info)))
            return nullptr;
        // The base that shares the object's address is the parent; else the first.
        const abi::__class_type_info* parent = several.__base_info[0].__base_type;
        for (unsigned i = 0; i < count; ++i) {
            const long flags = several.__base_info[i].__offset_flags;
            if ((flags & abi::__base_class_type_info::__virtual_mask) == 0 &&
                (flags >> abi::__base_class_type_info::__offset_shift) == 0) {
                parent = several.__base_info[i].__base_type;
                break;
            }
        }
        return ShapeOf(parent) != TTypeShape::tsNone ? parent : nullptr;
    }
    default:
        return nullptr;
    }
}

std::string ClassNameOf(const std::type_info& type)
{
    if (!IsReadableMemory(&type, 2 * sizeof(void*))) return {};
    const char* mangled = type.name();
    if (!IsSaneName(mangled)) return {};
    if (*mangled == '*') ++mangled;  // a type local to its unit
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
    std::free(demangled);
    // Namespaces are ours, not the class's: "rtl::Exception" is "Exception".
    // Template arguments may hold "::" too; only the part before them counts.
    const std::size_t angle = name.find('<');
    const std::size_t colon = name.rfind("::", angle == std::string::npos ? std::string::npos : angle);
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string SafeClassName(const void* object)
{
    const std::type_info* type = ObjectTypeInfo(object);
    return type != nullptr ? ClassNameOf(*type) : std::string();
}

bool IsTypeOfClassName(const std::type_info& type, std::string_view name)
{
    const std::string_view wanted = Trim(name);
    const std::type_info* current = &type;
    for (int depth = 0; current != nullptr && depth < 64; ++depth) {
        if (SameTextNoCase(ClassNameOf(*current), wanted)) return true;
        current = ClassParent(*current);
    }
    return false;
}

bool IsObjectOfClassName(const void* object, std::string_view name)
{
    const std::type_info* type = ObjectTypeInfo(object);
    return type != nullptr && IsTypeOfClassName(*type, name);
}

}  // namespace rtl
