// A process-local mutex of the platform's application framework: recursive, with a timed wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/CObject.h"

class CMutex : public CObject {
  public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    // Waits up to ms milliseconds (kInfinite: for ever); true when the mutex is now held.
    bool Lock(uint32_t ms = kInfinite) {
        if (ms == kInfinite) {
            mutex_.lock();
            return true;
        }
        return mutex_.try_lock_for(std::chrono::milliseconds(ms));
    }
    // The caller must hold the mutex.
    void Unlock() { mutex_.unlock(); }

  private:
    std::recursive_timed_mutex mutex_;
};
