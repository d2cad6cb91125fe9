// A recursive mutex with a time-out, guarding data shared with the audio thread, and its scope lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

class ZMutex {
  public:
    static constexpr uint32_t kWaitForever = 0xFFFFFFFF;

    ZMutex() = default;
    ZMutex(const ZMutex&) = delete;
    ZMutex& operator=(const ZMutex&) = delete;
    virtual ~ZMutex() = default;

    // True when the mutex was acquired within ms milliseconds (0: only if free now). The holder may
    // lock again; each lock needs its unlock.
    bool Lock(uint32_t ms = kWaitForever);
    // False when the calling thread does not hold the mutex.
    bool Unlock();

  private:
    std::recursive_timed_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    uint32_t depth_ = 0;  // touched only by the holder
};

// Holds a mutex for one scope, so that every path out of it unlocks.
class ZMutexLock {
  public:
    explicit ZMutexLock(ZMutex& mutex);
    ZMutexLock(const ZMutexLock&) = delete;
    ZMutexLock& operator=(const ZMutexLock&) = delete;
    virtual ~ZMutexLock();

    bool IsLocked() const { return locked_; }

  private:
    ZMutex& mutex_;
    bool locked_;
};
