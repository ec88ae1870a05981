// Locks and events of the runtime: Win32 critical sections and events behind
// RAII owners (this toolchain's thread model has no std::mutex).
#pragma once
#include <windows.h>

#include <string>

#include "rtl/Handles.h"
#include "rtl/System.h"

namespace rtl {

// A critical section; recursive for its owning thread, as Win32's is.
// Any thread may use it; it is neither copied nor moved.
class TCriticalSection : public TObject {
public:
    TCriticalSection() noexcept { ::InitializeCriticalSection(&FSection); }
    ~TCriticalSection() override { ::DeleteCriticalSection(&FSection); }
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Enter() noexcept { ::EnterCriticalSection(&FSection); }
    bool TryEnter() noexcept { return ::TryEnterCriticalSection(&FSection) != FALSE; }
    void Leave() noexcept { ::LeaveCriticalSection(&FSection); }

private:
    CRITICAL_SECTION FSection;
};

// Holds a critical section for the lifetime of the guard.
class TCriticalSectionLock {
public:
    explicit TCriticalSectionLock(TCriticalSection& section) noexcept : FSection(section) { FSection.Enter(); }
    ~TCriticalSectionLock() { FSection.Leave(); }
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

private:
    TCriticalSection& FSection;
};

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// An unnamed Win32 event. The constructor raises Exception when the system
// has no event to give; the rest never raises. Any thread may use it.
class TEvent : public TObject {
public:
    TEvent(bool manualReset, bool initialState);

    void SetEvent() noexcept { ::SetEvent(FHandle.Get()); }
    void ResetEvent() noexcept { ::ResetEvent(FHandle.Get()); }
    TWaitResult WaitFor(DWORD timeoutMs = INFINITE) noexcept;
    HANDLE Handle() const noexcept { return FHandle.Get(); }

private:
    KernelHandle FHandle;
};

// A Win32 mutex, named (shared with other processes) or not. The constructor
// creates it, or opens it when another process has created that name, and
// raises Exception when the system gives neither. Never owned at creation.
class TMutex : public TObject {
public:
    explicit TMutex(const std::wstring& name = std::wstring());

    // wrAbandoned: the owner ended without releasing; the caller owns it now.
    TWaitResult WaitFor(DWORD timeoutMs) noexcept;
    void Release() noexcept { ::ReleaseMutex(FHandle.Get()); }
    HANDLE Handle() const noexcept { return FHandle.Get(); }

private:
    KernelHandle FHandle;
};

}  // namespace rtl
