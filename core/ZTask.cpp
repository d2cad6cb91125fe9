#include "core/ZTask.h"

namespace {

ZTaskManager* gRootTaskManager = nullptr;
// Numbers the passes of every manager, so that a task can tell whether this pass already ran it.
// Passes run on the user-interface thread only.
uint64_t gPassNumber = 0;

ZTask* TaskOf(ZListElement* e) {
    return static_cast<ZTaskListElement*>(e)->GetTask();
}

}  // namespace

// A pass in progress. Removing an element from the list moves these cursors past it, so a run may
// detach or delete any task without the pass touching freed memory or skipping a task.
struct ZTaskManager::Pass {
    Pass* outer;            // an enclosing pass over the same manager
    ZListElement* current;  // the element whose task runs now; null once it has left the list
    ZListElement* next;     // the element to visit after it; null at the end of the list
    bool managerGone;       // a run destroyed the manager itself
};

ZTask::ZTask(int32_t id, ZTaskFlags flags, ZTaskManager* manager)
    : id_(id),
      active_(HasFlags(flags, ZTaskFlags::kActive)),
      ownedByManager_(HasFlags(flags, ZTaskFlags::kOwnedByManager)),
      deleteWhenFinished_(HasFlags(flags, ZTaskFlags::kDeleteWhenFinished)) {
    if (manager != nullptr) {
        manager->AddTask(this);
    }
}

ZTask::~ZTask() {
    Detach();
}

ZTask* ZTask::Find(int32_t id) {
    return id == id_ ? this : FindInFollowers(id);
}

ZTask* ZTask::FindInFollowers(int32_t id) {
    ZListElement* next = element_.next;
    return next != nullptr ? TaskOf(next)->Find(id) : nullptr;
}

bool ZTask::SetActive(bool active) {
    bool previous = active_;
    active_ = active;
    return previous;
}

void ZTask::Detach() {
    if (manager_ != nullptr) {
        manager_->RemoveTask(this);
    }
}

ZTaskManager::ZTaskManager(int32_t id, ZTaskFlags flags, ZTaskManager* parent)
    : ZTask(id, flags | ZTaskFlags::kActive, parent) {}

ZTaskManager::~ZTaskManager() {
    for (Pass* pass = passes_; pass != nullptr; pass = pass->outer) {
        pass->managerGone = true;
    }
    passes_ = nullptr;
    if (gRootTaskManager == this) {
        gRootTaskManager = nullptr;
    }
    ShutDownAll();
}

bool ZTaskManager::Run(uint32_t count) {
    Pass pass{passes_, nullptr, list_.GetHead(), false};
    passes_ = &pass;
    uint64_t number = ++gPassNumber;
    while (pass.next != nullptr && !pass.managerGone) {
        pass.current = pass.next;
        pass.next = pass.current->next;
        ZTask* task = TaskOf(pass.current);
        bool finished = RunTask(task, count, number);
        // A task that left the list during its run is no longer ours to finish.
        if (finished && pass.current != nullptr && !pass.managerGone) {
            Finish(task);
        }
    }
    if (!pass.managerGone) {
        passes_ = pass.outer;
    }
    return true;
}

// True when the task is finished. A task re-registered during a pass is not run twice in it.
bool ZTaskManager::RunTask(ZTask* task, uint32_t count, uint64_t pass) {
    if (task->finished_) {
        return true;
    }
    if (!task->active_ || task->lastPass_ == pass) {
        return false;
    }
    task->lastPass_ = pass;
    return !task->Run(count);
}

void ZTaskManager::Finish(ZTask* task) {
    if (task->deleteWhenFinished_ && task->ownedByManager_) {
        delete task;  // its destructor detaches it
    } else {
        task->Detach();
    }
}

ZTask* ZTaskManager::Find(int32_t id) {
    if (id == GetId()) {
        return this;
    }
    if (ZTask* found = FindInFollowers(id)) {
        return found;
    }
    ZListElement* first = list_.GetHead();
    return first != nullptr ? TaskOf(first)->Find(id) : nullptr;
}

bool ZTaskManager::AddTask(ZTask* task) {
    if (task == nullptr) {
        return false;
    }
    for (ZTask* at = this; at != nullptr; at = at->manager_) {
        if (at == task) {
            return false;  // a manager inside its own subtree would run forever
        }
    }
    task->Detach();
    task->finished_ = false;
    task->manager_ = this;
    list_.Append(&task->element_);
    // A pass that has reached the end of the list still visits the new task.
    for (Pass* pass = passes_; pass != nullptr; pass = pass->outer) {
        if (pass->next == nullptr) {
            pass->next = &task->element_;
        }
    }
    return true;
}

void ZTaskManager::RemoveTask(ZTask* task) {
    ZListElement* e = &task->element_;
    for (Pass* pass = passes_; pass != nullptr; pass = pass->outer) {
        if (pass->current == e) {
            pass->current = nullptr;
        }
        if (pass->next == e) {
            pass->next = e->next;
        }
    }
    list_.Remove(e, false);
    task->manager_ = nullptr;
}

// Each step takes the head out of the list, whatever the task's destructor does to the others.
void ZTaskManager::ShutDownAll() {
    while (ZListElement* head = list_.GetHead()) {
        ZTask* task = TaskOf(head);
        if (task->ownedByManager_) {
            delete task;
        } else {
            task->Detach();
        }
    }
}

ZTask* ZTaskManager::GetFirstTask() const {
    ZListElement* first = list_.GetHead();
    return first != nullptr ? TaskOf(first) : nullptr;
}

ZTaskManager* GetRootTaskManager() {
    return gRootTaskManager;
}

void SetRootTaskManager(ZTaskManager* manager) {
    gRootTaskManager = manager;
}
