// GoogleTest's port hook header, shadowing its empty default.
//
// GCC 12's win32 thread model has no std::mutex or std::condition_variable,
// which GoogleTest's own Notification uses; this one polls an atomic flag.
#pragma once
#include <atomic>
#include <chrono>
#include <thread>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {
class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { FNotified.store(true, std::memory_order_release); }
    void WaitForNotification()
    {
        while (!FNotified.load(std::memory_order_acquire)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    std::atomic<bool> FNotified{false};
};
}  // namespace testing::internal
