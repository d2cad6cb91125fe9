#include "core/ZMutex.h"

#include <chrono>
#include <system_error>

bool ZMutex::Lock(uint32_t ms) {
    bool acquired = false;
    if (ms == kWaitForever) {
        try {
            mutex_.lock();
            acquired = true;
        } catch (const std::system_error&) {
            return false;  // too deep a recursion
        }
    } else if (ms == 0) {
        acquired = mutex_.try_lock();
    } else {
        acquired = mutex_.try_lock_for(std::chrono::milliseconds(ms));
    }
    if (!acquired) {
        return false;
    }
    if (depth_++ == 0) {
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    return true;
}

bool ZMutex::Unlock() {
    if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
        return false;
    }
    if (--depth_ == 0) {
        owner_.store(std::thread::id(), std::memory_order_relaxed);
    }
    mutex_.unlock();
    return true;
}

ZMutexLock::ZMutexLock(ZMutex& mutex) : mutex_(mutex), locked_(mutex.Lock(ZMutex::kWaitForever)) {}

ZMutexLock::~ZMutexLock() {
    if (locked_) {
        mutex_.Unlock();
    }
}
