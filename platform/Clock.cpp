#include "platform/Clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace platform {

namespace {
RealClock gRealClock;
Clock* gClock = &gRealClock;
}  // namespace

uint32_t RealClock::Now() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);  // wraps, as tick counts do
}

void RealClock::Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock& GetClock() {
    return *gClock;
}

Clock* SetClock(Clock* clock) {
    Clock* previous = gClock;
    gClock = clock != nullptr ? clock : &gRealClock;
    return previous == &gRealClock ? nullptr : previous;
}

uint32_t WallSeconds() {
    return static_cast<uint32_t>(std::time(nullptr));
}

}  // namespace platform
