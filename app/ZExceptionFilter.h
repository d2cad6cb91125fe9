// Last-chance clean-up when the program crashes: the display, palette and system colours are put back
// once, then the crash takes its course.
#pragma once

#include <atomic>

class ZExceptionFilter {
  public:
    // Installs the filter process-wide; the destructor puts the previous handling back.
    ZExceptionFilter();
    virtual ~ZExceptionFilter();
    ZExceptionFilter(const ZExceptionFilter&) = delete;
    ZExceptionFilter& operator=(const ZExceptionFilter&) = delete;

    // Called for a crash with its signal: the first time restores the system state and answers 1 (let the
    // process end without further ado); any later call answers 0.
    virtual long Handle(int signal);
    int GetLastSignal() const { return lastSignal_; }

  protected:
    // Puts back what the program changed on the host's display. The virtual display needs nothing yet;
    // the graphic device adds its display-mode and palette restore here.
    virtual void RestoreSystemState() {}

  private:
    static void OnCrash(int signal, void* context);

    std::atomic<int> handled_{0};
    int lastSignal_ = 0;
};
