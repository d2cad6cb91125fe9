#include "platform/Signals.h"

#include <signal.h>

#include <cstring>

#include "platform/MessageQueue.h"

namespace platform {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];

struct sigaction gPrevious[kFatalCount];
bool gInstalled = false;
CrashHandler gHandler = nullptr;
void* gContext = nullptr;

void OnFatalSignal(int signal) {
    if (gHandler != nullptr) {
        gHandler(signal, gContext);
    }
    // SA_RESETHAND put the default action back: raising again ends the process as the signal would have.
    raise(signal);
}

// The first request ends the loop gently. A second one while the first is still waiting (the loop is stuck
// in a modal alert, say) ends the process the way the signal normally would.
void OnTerminate(int signal) {
    if (!RequestQuit()) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = SIG_DFL;
        sigaction(signal, &action, nullptr);
        raise(signal);
    }
}

}  // namespace

bool InstallCrashHandler(CrashHandler handler, void* context) {
    RemoveCrashHandler();
    gHandler = handler;
    gContext = context;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    bool ok = true;
    for (int i = 0; i < kFatalCount; ++i) {
        ok = sigaction(kFatalSignals[i], &action, &gPrevious[i]) == 0 && ok;
    }
    gInstalled = true;
    return ok;
}

void RemoveCrashHandler() {
    if (!gInstalled) {
        return;
    }
    for (int i = 0; i < kFatalCount; ++i) {
        sigaction(kFatalSignals[i], &gPrevious[i], nullptr);
    }
    gInstalled = false;
    gHandler = nullptr;
    gContext = nullptr;
}

void InstallTerminationHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace platform
