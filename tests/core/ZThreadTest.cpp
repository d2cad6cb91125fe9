#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/ZMutex.h"
#include "core/ZRandom.h"
#include "core/ZThread.h"
#include "platform/Clock.h"
#include "platform/Random.h"

namespace {

// Runs until released, so the test decides when the run returns.
struct Gate : ZThread {
    ~Gate() override { Join(); }
    uint32_t Run() override {
        ++runs;
        while (!open.load()) {
            std::this_thread::yield();
        }
        return 40 + runs.load();
    }
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};
};

bool LockFromOtherThread(ZMutex& mutex, uint32_t ms) {
    bool locked = true;
    std::thread([&] {
        locked = mutex.Lock(ms);
        if (locked) {
            mutex.Unlock();
        }
    }).join();
    return locked;
}

}  // namespace

TEST(CoreThreads, StartRunsOnceAtATimeAndRestarts) {
    Gate gate;
    ASSERT_TRUE(gate.Start(0));
    EXPECT_FALSE(gate.Start(0));  // the first run has not returned
    gate.open = true;
    EXPECT_TRUE(gate.Join());
    EXPECT_FALSE(gate.IsRunning());
    EXPECT_EQ(gate.GetExitCode(), 41u);
    ASSERT_TRUE(gate.Start(2));  // a finished run can be started again
    EXPECT_EQ(gate.GetPriority(), 2);
    EXPECT_TRUE(gate.Join());
    EXPECT_EQ(gate.runs.load(), 2);
    EXPECT_EQ(gate.GetExitCode(), 42u);

    Gate unjoined;
    unjoined.open = true;
    ASSERT_TRUE(unjoined.Start(0));
    while (unjoined.IsRunning()) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(unjoined.Start(0));  // joins the finished run first
}

TEST(CoreThreads, MutexIsRecursiveAndOwned) {
    ZMutex mutex;
    EXPECT_FALSE(mutex.Unlock());  // not held
    ASSERT_TRUE(mutex.Lock(0));
    ASSERT_TRUE(mutex.Lock(ZMutex::kWaitForever));
    EXPECT_FALSE(LockFromOtherThread(mutex, 0));
    EXPECT_FALSE(LockFromOtherThread(mutex, 5));
    bool foreignUnlock = true;
    std::thread([&] { foreignUnlock = mutex.Unlock(); }).join();
    EXPECT_FALSE(foreignUnlock);
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(LockFromOtherThread(mutex, 0));  // still held once
    EXPECT_TRUE(mutex.Unlock());
    EXPECT_FALSE(mutex.Unlock());
    EXPECT_TRUE(LockFromOtherThread(mutex, 0));

    {
        ZMutexLock scope(mutex);
        EXPECT_TRUE(scope.IsLocked());
        EXPECT_FALSE(LockFromOtherThread(mutex, 0));
    }
    EXPECT_TRUE(LockFromOtherThread(mutex, 0));
}

TEST(CoreThreads, RandomSeedsOnceAndSleepUsesTheClock) {
    platform::LcgRandom generator;
    platform::Random* previous = platform::SetRandom(&generator);
    platform::SetFixedSeed(true, 1234);
    ResetRandomSeed();
    SeedRandom();
    EXPECT_TRUE(IsRandomSeeded());
    platform::LcgRandom reference(1234);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(RandomValue(), reference.Next());
    }
    SeedRandom();  // already seeded: the sequence goes on
    EXPECT_EQ(RandomValue(), reference.Next());
    ResetRandomSeed();
    SeedRandom();
    EXPECT_EQ(RandomValue(), platform::LcgRandom(1234).Next());
    platform::SetFixedSeed(false, 0);
    platform::SetRandom(previous);

    platform::VirtualClock clock(100);
    platform::Clock* previousClock = platform::SetClock(&clock);
    ZSleep(250);
    EXPECT_EQ(clock.Now(), 350u);
    platform::SetClock(previousClock);
}
