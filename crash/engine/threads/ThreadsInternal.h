// Shared internals of the thread registry: the items' handles and stack
// copies. Private to crash/engine/threads.
#pragma once
#include <cstdint>

#include "crash/engine/threads/ThreadRegistry.h"

namespace crash::threads_detail {

// A duplicate of a thread handle within the process: with `access`, or with
// the handle's own access when `access` is 0. Null when it cannot be made.
HANDLE DuplicateThreadHandle(HANDLE thread, DWORD access) noexcept;

// Replaces the item's stack copy by a copy of the `size` bytes at `from`
// (none when `from` is null, `size` 0, the bytes are not all readable or
// there is no memory: the size is then 0 too).
void TakeCallerStack(TVexlorThreadInfo& item, const void* from, std::uint32_t size) noexcept;

// Gives `target` every field of `source` but keeps its own handle, and takes
// its own copy of source's stack (the old copy is freed).
void AssignItem(TVexlorThreadInfo& target, const TVexlorThreadInfo& source) noexcept;

// A new item like `source` with a duplicate of its handle (same access) and
// its own stack copy; null when there is no memory.
TVexlorThreadInfo* CopyItem(const TVexlorThreadInfo& source) noexcept;

// Frees the item, its handle and its stack copy.
void FreeItem(TVexlorThreadInfo* item) noexcept;

}  // namespace crash::threads_detail
