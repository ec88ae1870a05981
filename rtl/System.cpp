// The root class and the checked object and class tests.
#include "rtl/System.h"

#include "rtl/CheckedMemory.h"

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

// The first words of a class's type information, as the C++ ABI lays them out:
// its vtable, its mangled name and, for a class with one base, that base. Read
// whole for every shape, as the largest of the three starts with them.
struct TTypeWords {
    const void* FVtable;
    const char* FName;
    const std::type_info* FBase;
};

const void* VtableOf(const std::type_info& type) noexcept
{
    return *reinterpret_cast<const void* const*>(&type);
}

enum class TTypeShape { tsNone, tsPlain, tsSingle, tsSeveral };

TTypeShape ShapeOf(const std::type_info* type, ReadableRegionCache& cache, TTypeWords& words) noexcept
{
    if (type == nullptr || !ReadValue(type, words, &cache)) return TTypeShape::tsNone;
    if (words.FVtable == VtableOf(typeid(PlainClass))) return TTypeShape::tsPlain;
    if (words.FVtable == VtableOf(typeid(SingleBaseClass))) return TTypeShape::tsSingle;
    if (words.FVtable == VtableOf(typeid(SeveralBasesClass))) return TTypeShape::tsSeveral;
    return TTypeShape::tsNone;
}

TTypeShape ShapeOf(const std::type_info* type, ReadableRegionCache& cache) noexcept
{
    TTypeWords words;
    return ShapeOf(type, cache, words);
}

constexpr std::size_t kMaxName = 1024;

// Copies the mangled name at `name` piece by piece while it is readable,
// handing each piece to `take` (false from it stops the copy); answers whether
// the name is sane: readable up to its terminating zero, printable, not empty,
// shorter than kMaxName.
template <class Take>
bool CopyName(const char* name, ReadableRegionCache& cache, Take take) noexcept(noexcept(take("", 0)))
{
    char piece[64];
    for (std::size_t done = 0; done < kMaxName;) {
        const std::size_t want = sizeof piece < kMaxName - done ? sizeof piece : kMaxName - done;
        const std::size_t got = ReadMemoryPrefix(name + done, piece, want, &cache);
        for (std::size_t i = 0; i < got; ++i) {
            const unsigned char c = static_cast<unsigned char>(piece[i]);
            if (c == 0) return done + i > 0 && take(piece, i);
            if (c < 32) return false;
        }
        if (got < want || !take(piece, got)) return false;
        done += got;
    }
    return false;
}

bool IsSaneName(const char* name, ReadableRegionCache& cache) noexcept
{
    return CopyName(name, cache, [](const char*, std::size_t) noexcept { return true; });
}

// Whether the sane mangled name at `name` is `wanted`.
bool IsNamed(const char* name, const char* wanted, ReadableRegionCache& cache) noexcept
{
    const std::size_t length = std::strlen(wanted);
    std::size_t matched = 0;
    const bool sane = CopyName(name, cache, [&](const char* piece, std::size_t count) noexcept {
        if (count > length - matched || std::memcmp(piece, wanted + matched, count) != 0) return false;
        matched += count;
        return true;
    });
    return sane && matched == length;
}

// The parent of a class, as ClassParent, through one cache.
const std::type_info* ParentOf(const std::type_info& type, ReadableRegionCache& cache) noexcept
{
    TTypeWords words;
    switch (ShapeOf(&type, cache, words)) {
    case TTypeShape::tsSingle: return ShapeOf(words.FBase, cache) != TTypeShape::tsNone ? words.FBase : nullptr;
    case TTypeShape::tsSeveral: {
        const auto& several = static_cast<const abi::__vmi_class_type_info&>(type);
        unsigned count = 0;
        if (!ReadValue(&several.__base_count, count, &cache)) return nullptr;
        if (count == 0 || count > 64) return nullptr;
        // The base that shares the object's address is the parent; else the first.
        const abi::__class_type_info* parent = nullptr;
        for (unsigned i = 0; i < count; ++i) {
            abi::__base_class_type_info base;
            if (!ReadValue(&several.__base_info[i], base, &cache)) return nullptr;
            if (i == 0) parent = base.__base_type;
            const long flags = base.__offset_flags;
            if ((flags & abi::__base_class_type_info::__virtual_mask) == 0 &&
                (flags >> abi::__base_class_type_info::__offset_shift) == 0) {
                parent = base.__base_type;
                break;
            }
        }
        return ShapeOf(parent, cache) != TTypeShape::tsNone ? parent : nullptr;
    }
    default: return nullptr;
    }
}

// The type information of the object at `object`, as ObjectTypeInfo.
const std::type_info* TypeOfObject(const void* object, ReadableRegionCache& cache) noexcept
{
    // The object's first word is its vtable's address point; before it lie the
    // offset to the top of the whole object and the type_info pointer.
    std::uintptr_t vtable = 0;
    if (!ReadValue(object, vtable, &cache) || vtable == 0) return nullptr;
    std::intptr_t prefix[3];
    if (!ReadMemory(reinterpret_cast<const void*>(vtable - 2 * sizeof(std::intptr_t)), prefix, sizeof prefix, &cache))
        return nullptr;
    if (prefix[0] != 0) return nullptr;
    const auto* type = reinterpret_cast<const std::type_info*>(prefix[1]);
    TTypeWords words;
    if (ShapeOf(type, cache, words) == TTypeShape::tsNone) return nullptr;
    if (!IsSaneName(words.FName, cache)) return nullptr;
    return type;
}

bool IsTObjectType(const std::type_info* type, ReadableRegionCache& cache) noexcept
{
    const char* rootName = typeid(TObject).name();
    for (int depth = 0; type != nullptr && depth < 64; ++depth) {
        TTypeWords words;
        if (ShapeOf(type, cache, words) == TTypeShape::tsNone || !IsSaneName(words.FName, cache)) return false;
        if (IsNamed(words.FName, rootName, cache)) return true;
        type = ParentOf(*type, cache);
    }
    return false;
}

}  // namespace

std::string TObject::ClassName() const
{
    return ClassNameOf(typeid(*this));
}

const std::type_info* ObjectTypeInfo(const void* object) noexcept
{
    ReadableRegionCache cache;
    return TypeOfObject(object, cache);
}

namespace {

enum class TObjectKind { okNone, okOther, okTObject };

// What `object` is, as IsValidObject and AsValidTObject tell it.
TObjectKind KindOfObject(const void* object) noexcept
{
    ReadableRegionCache cache;
    const std::type_info* type = TypeOfObject(object, cache);
    if (type == nullptr) return TObjectKind::okNone;
    if (!IsTObjectType(type, cache)) return TObjectKind::okOther;
    // InstanceSize's slot, from the ABI's form of a pointer to a virtual
    // member function (1 + the slot's byte offset in the vtable).
    std::size_t (TObject::*member)() const noexcept = &TObject::InstanceSize;
    std::uintptr_t slotOffset;
    std::memcpy(&slotOffset, &member, sizeof slotOffset);
    if ((slotOffset & 1) == 0) return TObjectKind::okTObject;
    --slotOffset;
    std::uintptr_t vtable = 0;
    std::uintptr_t method = 0;
    if (!ReadValue(object, vtable, &cache) ||
        !ReadValue(reinterpret_cast<const void*>(vtable + slotOffset), method, &cache))
        return TObjectKind::okNone;
    // The slot is called below: it must hold code, not merely readable bytes,
    // on a page that may be touched at all.
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(reinterpret_cast<const void*>(method), &info, sizeof info) != sizeof info ||
        info.State != MEM_COMMIT || !IsReadableProtection(info.Protect) ||
        (info.Protect & (PAGE_EXECUTE_READ | PAGE_EXECUTE | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) == 0)
        return TObjectKind::okNone;
    const std::size_t size = static_cast<const TObject*>(object)->InstanceSize();
    return size <= 1024 || IsReadableMemory(object, size, &cache) ? TObjectKind::okTObject : TObjectKind::okNone;
}

}  // namespace

bool IsValidObject(const void* object) noexcept
{
    return KindOfObject(object) != TObjectKind::okNone;
}

const TObject* AsValidTObject(const void* object) noexcept
{
    return KindOfObject(object) == TObjectKind::okTObject ? static_cast<const TObject*>(object) : nullptr;
}

bool IsValidClassType(const std::type_info* type) noexcept
{
    ReadableRegionCache cache;
    TTypeWords words;
    return ShapeOf(type, cache, words) != TTypeShape::tsNone && IsSaneName(words.FName, cache);
}

const std::type_info* ClassParent(const std::type_info& type) noexcept
{
    ReadableRegionCache cache;
    return ParentOf(type, cache);
}

std::string ClassNameOf(const std::type_info& type)
{
    ReadableRegionCache cache;
    TTypeWords words;
    if (!ReadMemory(&type, &words, 2 * sizeof(void*), &cache)) return {};
    // The name is copied before it is demangled: the demangler reads without checks.
    std::string name;
    const bool sane = CopyName(words.FName, cache, [&](const char* piece, std::size_t count) {
        name.append(piece, count);
        return true;
    });
    if (!sane) return {};
    if (name.front() == '*') name.erase(0, 1);  // a type local to its unit
    int status = 0;
    char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status == 0 && demangled != nullptr) name = demangled;
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
