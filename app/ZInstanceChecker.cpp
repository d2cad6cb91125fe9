#include "app/ZInstanceChecker.h"

#include "platform/CWnd.h"

bool ZInstanceChecker::Check(const char* title) {
    mutex_.Lock();
    bool alone = lock_.Acquire(title != nullptr ? title : "");
    if (!alone) {
        // Another process holds the lock. Its window lives in that process; raising it from here is
        // possible only when it is ours, which it is when both run in one process (tests).
        uint32_t other = platform::InstanceLock::ReadRunningWindow(title != nullptr ? title : "");
        if (CWnd* window = CWnd::FromHandle(other)) {
            CWnd* popup = window->GetLastActivePopup();
            if (window->IsIconic()) {
                window->ShowWindow(kShowRestore);
            }
            popup->SetForegroundWindow();
        }
    }
    mutex_.Unlock();
    return alone;
}

void ZInstanceChecker::SetMainWindow(uint32_t window) {
    mutex_.Lock();
    lock_.WriteWindow(window);
    mutex_.Unlock();
}
