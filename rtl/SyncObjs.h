// Locks and events of the runtime: Win32 critical sections, reader/writer
// locks and events behind RAII owners (this toolchain's thread model has no
// std::mutex).
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

// A lock that many readers may hold at once, or one writer alone: a slim
// reader/writer lock. Not recursive in either mode: a thread that holds it
// must not take it again, not even to read while it writes (it would wait for
// itself). Any thread may use it; it is neither copied nor moved.
class TMultiReadExclusiveWriteSynchronizer : public TObject {
public:
    TMultiReadExclusiveWriteSynchronizer() noexcept { ::InitializeSRWLock(&FLock); }
    TMultiReadExclusiveWriteSynchronizer(const TMultiReadExclusiveWriteSynchronizer&) = delete;
    TMultiReadExclusiveWriteSynchronizer& operator=(const TMultiReadExclusiveWriteSynchronizer&) = delete;

    void BeginRead() noexcept { ::AcquireSRWLockShared(&FLock); }
    void EndRead() noexcept { ::ReleaseSRWLockShared(&FLock); }
    void BeginWrite() noexcept { ::AcquireSRWLockExclusive(&FLock); }
    void EndWrite() noexcept { ::ReleaseSRWLockExclusive(&FLock); }

private:
    SRWLOCK FLock;
};

// Hold a reader/writer lock (anything with BeginRead/EndRead, resp.
// BeginWrite/EndWrite) for the lifetime of the guard.
template <class TLock>
class TReadLockGuard {
public:
    explicit TReadLockGuard(TLock& lock) noexcept : FLock(lock) { FLock.BeginRead(); }
    ~TReadLockGuard() { FLock.EndRead(); }
    TReadLockGuard(const TReadLockGuard&) = delete;
    TReadLockGuard& operator=(const TReadLockGuard&) = delete;

private:
    TLock& FLock;
};

template <class TLock>
class TWriteLockGuard {
public:
    explicit TWriteLockGuard(TLock& lock) noexcept : FLock(lock) { FLock.BeginWrite(); }
    ~TWriteLockGuard() { FLock.EndWrite(); }
    TWriteLockGuard(const TWriteLockGuard&) = delete;
    TWriteLockGuard& operator=(const TWriteLockGuard&) = delete;

private:
    TLock& FLock;
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
