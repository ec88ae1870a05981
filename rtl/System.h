// The root class of our class hierarchy, and the checked tests that tell an
// object from any other pointer by the C++ run-time type information.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace rtl {

class TObject;

// A copy of `self` as a new object of its own class, or null when that class
// cannot be copied or did not declare itself with RTL_CLASS (a copy through the
// declaring base would silently lose the derived part).
template <class T>
std::unique_ptr<TObject> CloneOf(const T& self)
{
    if constexpr (std::is_copy_constructible_v<T> && !std::is_abstract_v<T>) {
        if (typeid(self) == typeid(T)) return std::make_unique<T>(self);
    }
    return nullptr;
}

// Declares the class's copy and size to TObject; put it in the public part of
// every class whose objects may be copied by the crash reporter (exceptions).
#define RTL_CLASS(TName)                                                                                               \
    std::unique_ptr<::rtl::TObject> Clone() const override                                                             \
    {                                                                                                                  \
        return ::rtl::CloneOf<TName>(*this);                                                                           \
    }                                                                                                                  \
    std::size_t InstanceSize() const noexcept override                                                                 \
    {                                                                                                                  \
        return sizeof(TName);                                                                                          \
    }

// Every class of the system's own design derives from TObject. Objects are
// owned explicitly (std::unique_ptr or an owner component).
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    // The unqualified class name, from the C++ type information.
    std::string ClassName() const;

    // A member-wise copy of the whole object (its strings are copied, not
    // shared), or null for a class that cannot be copied (see CloneOf).
    virtual std::unique_ptr<TObject> Clone() const { return CloneOf<TObject>(*this); }
    // The size of the object in bytes, as far as its class declared it
    // (RTL_CLASS): a class without the declaration answers its nearest
    // declaring ancestor's size, never more than the real one. Reads nothing
    // of the object, so it may be called through a checked vtable.
    virtual std::size_t InstanceSize() const noexcept { return sizeof(TObject); }
};

// ---- Objects and classes by the C++ ABI's type information ---------------
// All of these run in any thread, take no locks and never raise. Every read
// of the pointer's memory goes through the checked reader (rtl/CheckedMemory.h),
// so a dangling or random pointer answers "no object" instead of faulting.

// The type information of the polymorphic object at `object`, or null when it
// is not one: its vtable pointer readable, the offset-to-top before the vtable
// 0 (a pointer to the whole object), the type_info pointer readable and its own
// vtable one of the C++ runtime's three class-type vtables, the mangled name
// readable and printable. No allocation.
const std::type_info* ObjectTypeInfo(const void* object) noexcept;

// Whether `object` points to a live polymorphic object (ObjectTypeInfo); for a
// TObject whose declared instance size exceeds 1024 bytes the whole instance
// must be readable too.
bool IsValidObject(const void* object) noexcept;

// Whether `type` is sane type information of a class: readable, carrying one
// of the C++ runtime's three class-type vtables, its mangled name readable and
// printable. The test ObjectTypeInfo makes of an object's class. No allocation.
bool IsValidClassType(const std::type_info* type) noexcept;

// `object` as the TObject it is: a valid object (IsValidObject) of a class
// derived from TObject through the bases at the object's address; else null.
const TObject* AsValidTObject(const void* object) noexcept;

// The parent of a class: the single base of a class with one public base, the
// first base of a class with several; null for a root class or unknown type
// information. Checked reads, no allocation.
const std::type_info* ClassParent(const std::type_info& type) noexcept;

// The unqualified class name ("EAccessViolation" for rtl::EAccessViolation);
// empty for an unreadable name. Allocates (the report zone, not the hooks).
std::string ClassNameOf(const std::type_info& type);
// ClassNameOf of a valid object; empty for anything else.
std::string SafeClassName(const void* object);
// Whether the object's class or one of its parents has the name (blanks
// around it ignored, letters compared without case). Names, not identities, so
// that the same class compiled into another module is recognised. False for a
// pointer that is not a valid object.
bool IsObjectOfClassName(const void* object, std::string_view name);
bool IsTypeOfClassName(const std::type_info& type, std::string_view name);

}  // namespace rtl
