// The thread registry's list, its snapshots, and the handle and thread tests.
#include "crash/engine/threads/ThreadRegistry.h"

#include <cstring>
#include <new>

#include "crash/engine/threads/ThreadsInternal.h"
#include "rtl/CheckedMemory.h"
#include "rtl/Handles.h"

namespace crash {

bool IsUsableHandle(HANDLE handle) noexcept
{
    DWORD flags = 0;
    if (::GetHandleInformation(handle, &flags)) return true;
    if (::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    const HANDLE process = ::GetCurrentProcess();
    rtl::KernelHandle duplicate;
    return ::DuplicateHandle(process, handle, process, duplicate.Receive(), 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
}

bool IsThreadRunning(HANDLE handle) noexcept
{
    DWORD code = 0;
    if (!IsUsableHandle(handle) || !::GetExitCodeThread(handle, &code) || code != STILL_ACTIVE) return false;
    return ::WaitForSingleObject(handle, 0) != WAIT_OBJECT_0;
}

TVexlorThreadKind ThreadKindOf(const TVexlorThreadInfo& item) noexcept
{
    if (item.ID == rtl::MainThreadID()) return TVexlorThreadKind::tkMain;
    return item.Thread != nullptr ? TVexlorThreadKind::tkRuntime : TVexlorThreadKind::tkSystem;
}

namespace threads_detail {

HANDLE DuplicateThreadHandle(HANDLE thread, DWORD access) noexcept
{
    const HANDLE process = ::GetCurrentProcess();
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(process, thread, process, &duplicate, access, FALSE,
                           access == 0 ? DUPLICATE_SAME_ACCESS : 0))
        return nullptr;
    return duplicate;
}

void TakeCallerStack(TVexlorThreadInfo& item, const void* from, std::uint32_t size) noexcept
{
    delete[] item.CallerStackDump;
    item.CallerStackDump = nullptr;
    item.CallerStackSize = 0;
    if (from == nullptr || size == 0) return;
    auto* copy = new (std::nothrow) std::uint8_t[size];
    if (copy == nullptr) return;
    if (!rtl::ReadMemory(from, copy, size)) {
        delete[] copy;
        return;
    }
    item.CallerStackDump = copy;
    item.CallerStackSize = size;
}

void AssignItem(TVexlorThreadInfo& target, const TVexlorThreadInfo& source) noexcept
{
    const HANDLE handle = target.Handle;
    std::uint8_t* const oldStack = target.CallerStackDump;
    std::memcpy(&target, &source, sizeof target);
    target.Handle = handle;
    target.CallerStackDump = oldStack;
    TakeCallerStack(target, source.CallerStackDump, source.CallerStackSize);
}

TVexlorThreadInfo* CopyItem(const TVexlorThreadInfo& source) noexcept
{
    auto* item = new (std::nothrow) TVexlorThreadInfo{};
    if (item == nullptr) return nullptr;
    item->Handle = source.Handle != nullptr ? DuplicateThreadHandle(source.Handle, 0) : nullptr;
    AssignItem(*item, source);
    return item;
}

void FreeItem(TVexlorThreadInfo* item) noexcept
{
    if (item == nullptr) return;
    rtl::KernelHandle(item->Handle).Reset();
    delete[] item->CallerStackDump;
    delete item;
}

}  // namespace threads_detail

using namespace threads_detail;

TVexlorThreadsList::TVexlorThreadsList(TVexlorThreadsList* copyList)
{
    if (copyList == nullptr) {
        FLock = std::make_unique<rtl::TMultiReadExclusiveWriteSynchronizer>();
        return;
    }
    FSimpleCopy = true;
    rtl::TReadLockGuard guard(*copyList);
    FItems.reserve(copyList->FItems.size());
    for (const TVexlorThreadInfo* source : copyList->FItems) {
        // An item there is no memory for is left out; reserve made room for
        // the others.
        if (TVexlorThreadInfo* item = CopyItem(*source)) FItems.push_back(item);
    }
}

TVexlorThreadsList::~TVexlorThreadsList()
{
    Clear();
}

TVexlorThreadInfo* TVexlorThreadsList::NewItem(bool addNow) noexcept
{
    auto* item = new (std::nothrow) TVexlorThreadInfo{};
    if (item == nullptr) return nullptr;
    item->Priority = kPriorityNotRead;
    if (addNow && !Add(item)) return nullptr;
    return item;
}

bool TVexlorThreadsList::Add(TVexlorThreadInfo* item) noexcept
{
    try {
        FItems.push_back(item);
        return true;
    } catch (const std::bad_alloc&) {
        FreeItem(item);
        return false;
    }
}

void TVexlorThreadsList::Delete(int index) noexcept
{
    const auto position = FItems.begin() + index;
    TVexlorThreadInfo* item = *position;
    FItems.erase(position);
    FreeItem(item);
}

void TVexlorThreadsList::Clear() noexcept
{
    while (!FItems.empty()) Delete(Count() - 1);
}

int TVexlorThreadsList::FindByThreadID(DWORD threadId) const noexcept
{
    for (int index = Count() - 1; index >= 0; --index)
        if (GetItem(index)->ID == threadId) return index;
    return -1;
}

int TVexlorThreadsList::FindByThreadHandle(HANDLE handle) const noexcept
{
    const DWORD threadId = ::GetThreadId(handle);
    return threadId == 0 ? -1 : FindByThreadID(threadId);
}

int TVexlorThreadsList::FindByThreadObject(const rtl::TThread* thread) const noexcept
{
    for (int index = Count() - 1; index >= 0; --index)
        if (GetItem(index)->Thread == thread) return index;
    return -1;
}

void TVexlorThreadsList::RemoveCurrentThread() noexcept
{
    rtl::TWriteLockGuard guard(*this);
    const int index = FindByThreadID(::GetCurrentThreadId());
    if (index >= 0) Delete(index);
}

void TVexlorThreadsList::PurgeList() noexcept
{
    rtl::TWriteLockGuard guard(*this);
    for (int index = Count() - 1; index >= 0; --index)
        if (!IsThreadRunning(GetItem(index)->Handle)) Delete(index);
}

void TVexlorThreadsList::BeginRead() noexcept
{
    if (FLock) FLock->BeginRead();
}

void TVexlorThreadsList::EndRead() noexcept
{
    if (FLock) FLock->EndRead();
}

void TVexlorThreadsList::BeginWrite() noexcept
{
    if (FLock) FLock->BeginWrite();
}

void TVexlorThreadsList::EndWrite() noexcept
{
    if (FLock) FLock->EndWrite();
}

}  // namespace crash
