// A thread whose body is the virtual Run. Only the audio mixer uses one. Start, Join and the
// destructor belong to the thread that owns the object.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

class ZThread {
  public:
    ZThread() = default;
    ZThread(const ZThread&) = delete;
    ZThread& operator=(const ZThread&) = delete;
    // Waits for a run in progress. A derived class whose Run reads its own members must Join in its
    // own destructor, before those members go.
    virtual ~ZThread();

    // Starts Run on a new thread; false while a previous run has not returned or when no thread could
    // be made. The priority is kept as a hint: ordinary threads here all share one priority.
    bool Start(int priority);
    // The thread body; the result is the thread's exit code.
    virtual uint32_t Run();

    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    // Waits until the run has returned; false when called from the thread itself.
    bool Join();
    int GetPriority() const { return priority_; }
    uint32_t GetExitCode() const { return exitCode_.load(std::memory_order_acquire); }

  private:
    void Body();

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> exitCode_{0};
    int priority_ = 0;
};
