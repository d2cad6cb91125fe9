#include "app/ZExceptionFilter.h"

#include "platform/Signals.h"

ZExceptionFilter::ZExceptionFilter() {
    platform::InstallCrashHandler(&ZExceptionFilter::OnCrash, this);
}

ZExceptionFilter::~ZExceptionFilter() {
    platform::RemoveCrashHandler();
}

long ZExceptionFilter::Handle(int signal) {
    lastSignal_ = signal;
    if (handled_.fetch_add(1) != 0) {
        return 0;
    }
    RestoreSystemState();
    return 1;
}

void ZExceptionFilter::OnCrash(int signal, void* context) {
    static_cast<ZExceptionFilter*>(context)->Handle(signal);
}
