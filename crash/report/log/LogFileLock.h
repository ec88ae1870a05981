// TLogFileLock: the lock that lets several writers share one crash log.
//
// Processes, and modules that carry their own copy of the library, write the
// same log: each loads it, changes it and saves it whole, so two at once would
// save from stale copies and the later save would drop the other's entry. The
// lock is a named mutex, one per log file, named after the file's expanded,
// full, case-folded path, so that every spelling of one file meets the same
// mutex. Hold it from loading the log to saving it.
//
// Threads: the mutex belongs to the thread that took it (Win32's rule): take
// and leave it on one thread. Taking it again on that thread is allowed.
// Failure: the constructor raises ELogFileLocked when the wait times out and
// rtl::Exception when the system gives no mutex. A writer that ended while
// holding it leaves it abandoned, which counts as taken: its save either
// finished or never replaced the file.
// Zone: report thread and ordinary code.
#pragma once
#include <windows.h>

#include <string>

#include "rtl/SyncObjs.h"
#include "rtl/SysUtils.h"

namespace crash {

class ELogFileLocked : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    RTL_CLASS(ELogFileLocked)
};

// The longest wait for another writer of the log.
inline constexpr DWORD kLogFileLockTimeout = 10000;

// The mutex name of a log file: "VexlorLog_Log_" and the MD5 of the path
// (variables expanded, made full, long names, upper case) in hexadecimal.
std::wstring LogFileLockName(const std::string& fileName);

class TLogFileLock : public rtl::TObject {
public:
    // Waits at most timeoutMs for the mutex of fileName's log.
    explicit TLogFileLock(const std::string& fileName, DWORD timeoutMs = kLogFileLockTimeout);
    // Releases the mutex.
    ~TLogFileLock() override;
    TLogFileLock(const TLogFileLock&) = delete;
    TLogFileLock& operator=(const TLogFileLock&) = delete;

    // The previous holder ended without releasing the mutex.
    bool Abandoned() const noexcept { return FAbandoned; }

private:
    rtl::TMutex FMutex;
    bool FAbandoned = false;
};

}  // namespace crash
