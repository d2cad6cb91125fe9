#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/ZTask.h"

namespace {

using Log = std::vector<int>;

// What most tests register: a task that its manager owns and deletes once it has finished.
constexpr ZTaskFlags kOwned = ZTaskFlags::kOwnedByManager | ZTaskFlags::kDeleteWhenFinished;
constexpr ZTaskFlags kOwnedActive = ZTaskFlags::kActive | kOwned;

// Logs its id when run, then does what the test asks; logs its id again when destroyed.
struct Probe : ZTask {
    Probe(int32_t id, ZTaskManager* manager, Log* ran, Log* gone, ZTaskFlags flags = kOwned)
        : ZTask(id, ZTaskFlags::kActive | flags, manager), ran(ran), gone(gone) {}
    ~Probe() override { gone->push_back(GetId()); }
    bool Run(uint32_t count) override {
        ran->push_back(GetId());
        lastCount = count;
        return then ? then() : true;
    }
    Log* ran;
    Log* gone;
    std::function<bool()> then;
    uint32_t lastCount = 0;
};

struct World {
    Log ran, gone;
    ZTaskManager root{0, ZTaskFlags::kNone, nullptr};
    Probe* Add(int32_t id, ZTaskFlags flags = kOwned, ZTaskManager* to = nullptr) {
        return new Probe(id, to != nullptr ? to : &root, &ran, &gone, flags);
    }
    Log Pass() {
        ran.clear();
        root.Run(7);
        return ran;
    }
};

// Tasks whose run destroys their own object; they touch no member afterwards.
struct DeletesItself : ZTask {
    explicit DeletesItself(ZTaskManager* manager) : ZTask(50, kOwnedActive, manager) {}
    bool Run(uint32_t) override {
        delete this;
        return false;
    }
};

struct ShutsDownItsManager : ZTask {
    explicit ShutsDownItsManager(ZTaskManager* manager) : ZTask(51, kOwnedActive, manager) {}
    bool Run(uint32_t) override {
        GetManager()->ShutDownAll();
        return false;
    }
};

struct DeletesItsManager : ZTask {
    explicit DeletesItsManager(ZTaskManager* manager) : ZTask(52, kOwnedActive, manager) {}
    bool Run(uint32_t) override {
        delete GetManager();
        return false;
    }
};

}  // namespace

TEST(CoreTasks, PassRunsAndFinishesTasks) {
    World w;
    Probe* a = w.Add(1);
    Probe* b = w.Add(2);
    Probe* c = w.Add(3, ZTaskFlags::kOwnedByManager);
    Probe* d = w.Add(4);
    b->then = [] { return false; };
    c->then = [] { return false; };
    EXPECT_TRUE(d->SetActive(false));

    EXPECT_EQ(w.Pass(), Log({1, 2, 3}));
    EXPECT_EQ(a->lastCount, 7u);
    EXPECT_EQ(w.gone, Log({2}));          // finished, owned and delete-when-finished
    EXPECT_EQ(c->GetManager(), nullptr);  // only detached
    EXPECT_EQ(w.root.GetTaskCount(), 2);

    c->then = nullptr;
    EXPECT_TRUE(w.root.AddTask(c));
    EXPECT_FALSE(d->SetActive(true));
    a->SetFinished();
    EXPECT_EQ(w.Pass(), Log({4, 3}));
    EXPECT_EQ(w.gone, Log({2, 1}));
    w.root.ShutDownAll();
    EXPECT_EQ(w.gone, Log({2, 1, 4, 3}));
}

TEST(CoreTasks, FindSearchesFollowersThenChildren) {
    World w;
    Probe* t1 = w.Add(1);
    ZTaskManager* sub = new ZTaskManager(10, kOwned, &w.root);
    Probe* t2 = w.Add(2, kOwned, sub);
    Probe* t3 = w.Add(3);
    EXPECT_EQ(w.root.Find(0), &w.root);
    EXPECT_EQ(w.root.Find(2), t2);
    EXPECT_EQ(t1->Find(3), t3);
    EXPECT_EQ(sub->Find(3), t3);
    EXPECT_EQ(t3->Find(1), nullptr);
    EXPECT_EQ(w.root.Find(99), nullptr);
    EXPECT_EQ(w.Pass(), Log({1, 2, 3}));

    EXPECT_FALSE(w.root.AddTask(&w.root));
    EXPECT_FALSE(sub->AddTask(&w.root));  // would make a cycle
    EXPECT_FALSE(w.root.AddTask(nullptr));
    EXPECT_EQ(sub->GetManager(), &w.root);
}

TEST(CoreTasks, DestroyedManagerLeavesNoChildBehind) {
    World w;
    ZTaskManager* sub = new ZTaskManager(10, kOwned, &w.root);
    w.Add(1, kOwned, sub);
    Probe* kept = w.Add(2, ZTaskFlags::kDeleteWhenFinished, sub);
    SetRootTaskManager(sub);
    delete sub;
    EXPECT_EQ(GetRootTaskManager(), nullptr);
    EXPECT_EQ(w.gone, Log({1}));
    EXPECT_EQ(kept->GetManager(), nullptr);
    EXPECT_EQ(w.root.GetTaskCount(), 0);
    delete kept;
}

TEST(CoreTasks, RunsMayRemoveAndAddTasks) {
    World w;
    Probe* a = w.Add(1);
    new DeletesItself(&w.root);
    Probe* b = w.Add(2);
    Probe* c = w.Add(3);
    Probe* d = w.Add(4);
    b->then = [&] {
        delete c;  // the task that follows
        return true;
    };
    d->then = [&] {
        w.root.AddTask(d);  // leaves and comes back: not run twice
        w.Add(5);           // registered during the pass: runs in it
        return true;
    };
    EXPECT_EQ(w.Pass(), Log({1, 2, 4, 5}));
    EXPECT_EQ(w.root.GetTaskCount(), 4);

    a->then = [&] {
        b->Detach();
        w.root.AddTask(b);  // moved behind the others, still run once
        return true;
    };
    b->then = nullptr;
    d->then = nullptr;
    EXPECT_EQ(w.Pass(), Log({1, 4, 5, 2}));

    a->then = nullptr;
    ZTaskManager* sub = new ZTaskManager(10, kOwned, &w.root);
    new DeletesItsManager(sub);
    w.Add(6, kOwned, sub);
    new ShutsDownItsManager(&w.root);
    w.Add(7);
    EXPECT_EQ(w.Pass(), Log({1, 4, 5, 2}));
    EXPECT_EQ(w.root.GetTaskCount(), 0);
    EXPECT_EQ(w.gone, Log({3, 6, 1, 4, 5, 2, 7}));
}

// Runs that delete, detach and re-register random tasks: after each pass, every task still
// registered ran exactly once and no task ran twice. The sanitizer build checks that no pass reads a
// deleted task.
TEST(CoreTasks, ChurnKeepsPassesExact) {
    constexpr int kSlots = 12;
    struct Churn;
    struct Harness {
        ZTaskManager root{0, ZTaskFlags::kNone, nullptr};
        Churn* slots[kSlots] = {};
        uint32_t state = 99;
        uint32_t Draw(uint32_t range) {
            state = state * 1664525u + 1013904223u;
            return (state >> 16) % range;
        }
    };
    struct Churn : ZTask {
        Churn(Harness* h, int slot) : ZTask(slot, ZTaskFlags::kActive, &h->root), harness(h) {}
        bool Run(uint32_t) override {
            ++runs;
            Harness* h = harness;
            for (int step = 0; step < 2; ++step) {
                int j = static_cast<int>(h->Draw(kSlots));
                Churn* target = h->slots[j];
                switch (h->Draw(4)) {
                    case 0:
                        h->slots[j] = nullptr;
                        delete target;
                        if (target == this) {
                            return true;
                        }
                        break;
                    case 1:
                        if (target != nullptr) {
                            target->Detach();
                        }
                        break;
                    case 2:
                        if (target != nullptr) {
                            h->root.AddTask(target);
                        } else {
                            h->slots[j] = new Churn(h, j);
                        }
                        break;
                    default:
                        break;
                }
            }
            return true;
        }
        Harness* harness;
        int runs = 0;
    };

    Harness h;
    for (int i = 0; i < kSlots; ++i) {
        h.slots[i] = new Churn(&h, i);
    }
    for (int pass = 0; pass < 300; ++pass) {
        h.root.Run(static_cast<uint32_t>(pass));
        for (Churn*& task : h.slots) {
            if (task == nullptr) {
                task = new Churn(&h, static_cast<int>(&task - h.slots));
                continue;
            }
            ASSERT_LE(task->runs, 1) << pass;
            if (task->GetManager() == &h.root) {
                ASSERT_EQ(task->runs, 1) << pass;
            } else {
                h.root.AddTask(task);
            }
            task->runs = 0;
        }
    }
    for (Churn* task : h.slots) {
        delete task;
    }
}
