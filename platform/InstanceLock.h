// One running instance per application title. The lock is a file locked with flock(): the kernel drops
// the lock when its holder ends, so a crashed instance never blocks later starts, and taking it is atomic,
// so of two simultaneous starts exactly one wins. The file holds the running instance's 4-byte main
// window handle (0 until its main window exists).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class InstanceLock {
  public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock() { Release(); }

    // Takes the lock for title. False when another process holds it (or the lock file cannot be made).
    bool Acquire(const std::string& title);
    void Release();
    bool IsHeld() const { return fd_ >= 0; }
    // Records the main window handle for other instances to read.
    bool WriteWindow(uint32_t window);

    // For an instance that could not take the lock: the window handle its holder recorded (0 if none).
    static uint32_t ReadRunningWindow(const std::string& title);
    // Where the lock file of title lives: $XDG_RUNTIME_DIR, else /tmp with the user id in the name.
    static std::string LockPath(const std::string& title);

  private:
    int fd_ = -1;
};

}  // namespace platform
