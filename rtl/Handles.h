// Owners of Win32 handles: one type per close function.
#pragma once
#include <windows.h>

#include <utility>

namespace rtl {

// A kernel object handle (event, thread, mutex, mapping) whose "none" is null.
// Closing never fails in a way the owner could act on, so it is not reported.
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) noexcept : FHandle(handle) {}
    KernelHandle(KernelHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
    KernelHandle& operator=(KernelHandle other) noexcept
    {
        std::swap(FHandle, other.FHandle);
        return *this;
    }
    ~KernelHandle() { Reset(); }

    HANDLE Get() const noexcept { return FHandle; }
    explicit operator bool() const noexcept { return FHandle != nullptr; }
    void Reset(HANDLE handle = nullptr) noexcept
    {
        if (FHandle != nullptr) ::CloseHandle(FHandle);
        FHandle = handle;
    }
    HANDLE Release() noexcept { return std::exchange(FHandle, nullptr); }

private:
    HANDLE FHandle = nullptr;
};

// A file handle from CreateFile, whose "none" is INVALID_HANDLE_VALUE, not null.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) noexcept : FHandle(handle) {}
    FileHandle(FileHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle other) noexcept
    {
        std::swap(FHandle, other.FHandle);
        return *this;
    }
    ~FileHandle() { Reset(); }

    HANDLE Get() const noexcept { return FHandle; }
    explicit operator bool() const noexcept { return FHandle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) noexcept
    {
        if (FHandle != INVALID_HANDLE_VALUE) ::CloseHandle(FHandle);
        FHandle = handle;
    }
    // Closes now and answers whether the system accepted it: a file's last
    // buffered write can still fail here.
    bool Close() noexcept
    {
        const bool closed = FHandle == INVALID_HANDLE_VALUE || ::CloseHandle(FHandle) != FALSE;
        FHandle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// A module loaded with LoadLibrary, freed with FreeLibrary.
class LibraryHandle {
public:
    LibraryHandle() = default;
    explicit LibraryHandle(HMODULE module) noexcept : FModule(module) {}
    LibraryHandle(LibraryHandle&& other) noexcept : FModule(std::exchange(other.FModule, nullptr)) {}
    LibraryHandle& operator=(LibraryHandle other) noexcept
    {
        std::swap(FModule, other.FModule);
        return *this;
    }
    ~LibraryHandle() { Reset(); }

    HMODULE Get() const noexcept { return FModule; }
    explicit operator bool() const noexcept { return FModule != nullptr; }
    void Reset(HMODULE module = nullptr) noexcept
    {
        if (FModule != nullptr) ::FreeLibrary(FModule);
        FModule = module;
    }

private:
    HMODULE FModule = nullptr;
};

}  // namespace rtl
