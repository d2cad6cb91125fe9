// One running instance per application title. The first instance holds the title's lock for as long as
// it runs and records its main window there; a later start finds the lock taken and ends.
#pragma once

#include <cstdint>

#include "platform/CMutex.h"
#include "platform/CObject.h"
#include "platform/InstanceLock.h"

class ZInstanceChecker : public CObject {
  public:
    // True when no other instance runs; this instance then holds the lock until it is destroyed.
    // False when another one runs: it is brought forward where the platform allows.
    bool Check(const char* title);
    // Records the main window handle for later starts to read.
    void SetMainWindow(uint32_t window);
    bool IsHolding() const { return lock_.IsHeld(); }

  private:
    CMutex mutex_;  // orders this process's accesses to the lock file
    platform::InstanceLock lock_;
};
