#include "platform/MessageQueue.h"

#include <atomic>
#include <csignal>
#include <deque>
#include <mutex>

#include "platform/Clock.h"

namespace platform {

namespace {
std::mutex gQueueMutex;
std::deque<Message> gQueue;
// Set from signal handlers: a lock-free atomic is the only shared state they may touch.
std::atomic<bool> gQuitRequested{false};
uint32_t gMessageTime = 0;  // the user-interface thread's alone
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

void PostMessage(WindowHandle window, uint32_t message, WParam wParam, LParam lParam) {
    Message m{window, message, wParam, lParam, TickCount()};
    std::lock_guard<std::mutex> lock(gQueueMutex);
    gQueue.push_back(m);
}

void PostQuitMessage(int exitCode) {
    PostMessage(0, kMsgQuit, static_cast<WParam>(exitCode), 0);
}

bool TakeMessage(Message& out) {
    std::lock_guard<std::mutex> lock(gQueueMutex);
    if (gQueue.empty()) {
        return false;
    }
    out = gQueue.front();
    gQueue.pop_front();
    return true;
}

bool HasMessage() {
    std::lock_guard<std::mutex> lock(gQueueMutex);
    return !gQueue.empty();
}

size_t MessageCount() {
    std::lock_guard<std::mutex> lock(gQueueMutex);
    return gQueue.size();
}

void ClearMessages() {
    std::lock_guard<std::mutex> lock(gQueueMutex);
    gQueue.clear();
    gQuitRequested = false;
}

bool RequestQuit() {
    return !gQuitRequested.exchange(true);
}

bool TakeQuitRequest() {
    return gQuitRequested.exchange(false);
}

uint32_t GetMessageTime() {
    return gMessageTime;
}

void SetMessageTime(uint32_t time) {
    gMessageTime = time;
}

}  // namespace platform
