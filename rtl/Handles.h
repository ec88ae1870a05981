// Owners of Win32 handles: one type per close function.
#pragma once
#include <windows.h>

#include <utility>

namespace rtl {

// Owns one value of a Win32 handle kind: closes it when it goes, hands it on
// when moved, never copies it. Traits give the kind's value type, its "none"
// (Traits::None()) and its close function (Traits::Close, true when the
// system accepted the close). Each kind below is a type of its own, so a file
// handle cannot be given where a kernel object is expected.
template <class Traits>
class UniqueHandle {
public:
    using Value = typename Traits::Value;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Value value) noexcept : FValue(value) {}
    UniqueHandle(UniqueHandle&& other) noexcept : FValue(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle other) noexcept
    {
        std::swap(FValue, other.FValue);
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    Value Get() const noexcept { return FValue; }
    explicit operator bool() const noexcept { return FValue != Traits::None(); }
    // Closes the value held (its failure is not reported) and holds `value`.
    void Reset(Value value = Traits::None()) noexcept
    {
        if (FValue != Traits::None()) Traits::Close(FValue);
        FValue = value;
    }
    // Gives the value up without closing it.
    Value Release() noexcept { return std::exchange(FValue, Traits::None()); }
    // Closes now and answers whether the system accepted it (true when
    // nothing was held): a file's last buffered write can still fail here.
    bool Close() noexcept
    {
        const bool closed = FValue == Traits::None() || Traits::Close(FValue);
        FValue = Traits::None();
        return closed;
    }
    // Closes the value held and lends the slot to a call that returns a new
    // one through a pointer (RegOpenKeyExW(..., key.Receive())).
    Value* Receive() noexcept
    {
        Reset();
        return &FValue;
    }

private:
    Value FValue = Traits::None();
};

namespace detail {

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value None() noexcept { return nullptr; }
    static bool Close(Value value) noexcept { return ::CloseHandle(value) != FALSE; }
};

struct FileHandleTraits {
    using Value = HANDLE;
    static Value None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Value value) noexcept { return ::CloseHandle(value) != FALSE; }
};

struct FindHandleTraits {
    using Value = HANDLE;
    static Value None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Value value) noexcept { return ::FindClose(value) != FALSE; }
};

struct SnapshotHandleTraits {
    using Value = HANDLE;
    static Value None() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Value value) noexcept { return ::CloseHandle(value) != FALSE; }
};

struct RegistryKeyTraits {
    using Value = HKEY;
    static Value None() noexcept { return nullptr; }
    static bool Close(Value value) noexcept { return ::RegCloseKey(value) == ERROR_SUCCESS; }
};

struct MappedViewTraits {
    using Value = void*;
    static Value None() noexcept { return nullptr; }
    static bool Close(Value value) noexcept { return ::UnmapViewOfFile(value) != FALSE; }
};

struct LibraryHandleTraits {
    using Value = HMODULE;
    static Value None() noexcept { return nullptr; }
    static bool Close(Value value) noexcept { return ::FreeLibrary(value) != FALSE; }
};

}  // namespace detail

// A kernel object handle (event, thread, mutex, mapping) whose "none" is null.
// Closing never fails in a way the owner could act on, so Reset does not
// report it.
using KernelHandle = UniqueHandle<detail::KernelHandleTraits>;

// A file handle from CreateFile, whose "none" is INVALID_HANDLE_VALUE, not null.
using FileHandle = UniqueHandle<detail::FileHandleTraits>;

// A search from FindFirstFile, ended with FindClose; "none" is
// INVALID_HANDLE_VALUE.
using FindHandle = UniqueHandle<detail::FindHandleTraits>;

// A Tool Help snapshot from CreateToolhelp32Snapshot, which answers
// INVALID_HANDLE_VALUE, not null, when it fails.
using SnapshotHandle = UniqueHandle<detail::SnapshotHandleTraits>;

// An open registry key from RegOpenKeyEx or RegCreateKeyEx, closed with
// RegCloseKey. Never holds one of the predefined roots (HKEY_CURRENT_USER...).
using RegistryKey = UniqueHandle<detail::RegistryKeyTraits>;

// The base of a view from MapViewOfFile, unmapped with UnmapViewOfFile.
using MappedView = UniqueHandle<detail::MappedViewTraits>;

// A module loaded with LoadLibrary, freed with FreeLibrary (rtl/Libraries.h
// looks its entry points up).
using LibraryHandle = UniqueHandle<detail::LibraryHandleTraits>;

}  // namespace rtl
