// The runtime's own start-up steps (rtl/Startup.cpp lists them); no other
// folder includes this.
#pragma once

namespace rtl::detail {

// Records the calling thread as the main thread.
void InitMainThread() noexcept;
// The queue of main-thread calls and its hidden window; Done destroys the
// window (the queue stays: a thread that outlives the list may still reach it).
void InitSynchronize();
void DoneSynchronize() noexcept;

}  // namespace rtl::detail
