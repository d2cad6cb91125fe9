#include "core/ZThread.h"

#include <system_error>

ZThread::~ZThread() {
    if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();  // the run is deleting its own object; nobody is left to wait for it
        return;
    }
    Join();
}

bool ZThread::Start(int priority) {
    if (IsRunning()) {
        return false;
    }
    // A finished run still holds its thread until joined.
    if (!Join()) {
        return false;
    }
    priority_ = priority;
    running_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread(&ZThread::Body, this);
    } catch (const std::system_error&) {
        running_.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

uint32_t ZThread::Run() {
    return 0;
}

bool ZThread::Join() {
    if (!thread_.joinable()) {
        return true;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        return false;
    }
    thread_.join();
    return true;
}

void ZThread::Body() {
    exitCode_.store(Run(), std::memory_order_release);
    running_.store(false, std::memory_order_release);
}
