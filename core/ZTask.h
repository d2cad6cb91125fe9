// Cooperative timed work. A task's Run is called once per pass of its manager, on the user-interface
// thread; tasks keep their own clocks. A manager is itself a task, so managers form a tree.
#pragma once

#include <cstdint>

#include "core/ZFlags.h"
#include "core/ZLinkedList.h"

class ZTask;
class ZTaskManager;

// A task's node in its manager's list. It lives inside the task, so lists of tasks never delete it.
class ZTaskListElement : public ZListElement {
  public:
    explicit ZTaskListElement(ZTask* task) : task_(task) {}
    ZTask* GetTask() const { return task_; }

  private:
    ZTask* task_;
};

// How a task lives in its manager's list; combine with |.
enum class ZTaskFlags : uint32_t {
    kNone = 0,
    kActive = 1u << 0,              // run on every pass; an inactive task stays registered until SetActive
    kOwnedByManager = 1u << 1,      // the manager deletes the task when it shuts down
    kDeleteWhenFinished = 1u << 2,  // an owned task is deleted, not only detached, once it has finished
};
template <>
inline constexpr bool kIsFlagSet<ZTaskFlags> = true;

class ZTask {
  public:
    // Appends the task to manager's list when a manager is given.
    ZTask(int32_t id, ZTaskFlags flags, ZTaskManager* manager);
    ZTask(const ZTask&) = delete;
    ZTask& operator=(const ZTask&) = delete;
    // Detaches the task from its manager.
    virtual ~ZTask();

    // One step of the task's work; false ends the task.
    virtual bool Run(uint32_t count) = 0;
    // This task or a later one in the same list (managers also search their children) with the id.
    virtual ZTask* Find(int32_t id);
    // Returns the previous value. An inactive task stays registered but is not run.
    virtual bool SetActive(bool active);

    // Leaves the manager's list; nothing is deleted.
    void Detach();
    // Ends the task at the next pass without running it again.
    void SetFinished() { finished_ = true; }

    int32_t GetId() const { return id_; }
    bool IsActive() const { return active_; }
    bool IsOwnedByManager() const { return ownedByManager_; }
    bool IsDeleteWhenFinished() const { return deleteWhenFinished_; }
    bool IsFinished() const { return finished_; }
    ZTaskManager* GetManager() const { return manager_; }

  protected:
    ZTask* FindInFollowers(int32_t id);

  private:
    friend class ZTaskManager;

    int32_t id_;
    bool active_;
    bool ownedByManager_;
    bool deleteWhenFinished_;
    bool finished_ = false;
    ZTaskManager* manager_ = nullptr;
    ZTaskListElement element_{this};
    uint64_t lastPass_ = 0;  // the pass that last ran the task, so that no pass runs it twice
};

class ZTaskManager : public ZTask {
  public:
    // A manager is always active, whether flags say so or not.
    ZTaskManager(int32_t id, ZTaskFlags flags, ZTaskManager* parent);
    // Deletes the children it owns and detaches the others, so no child is left pointing at it.
    ~ZTaskManager() override;

    // One pass over the children in registration order; always true. Runs may add, detach or delete
    // any task, their own included: every task still registered is visited once, and tasks added
    // during the pass are visited in it.
    bool Run(uint32_t count) override;
    ZTask* Find(int32_t id) override;

    // Appends task at the end of the list, taking it from any other manager; a fresh registration
    // clears its finished flag. Refused (false) for null, for itself and for its own ancestors.
    bool AddTask(ZTask* task);
    // In order: deletes each child that is owned by the manager, detaches the others.
    void ShutDownAll();
    int32_t GetTaskCount() const { return list_.GetCount(); }
    ZTask* GetFirstTask() const;

  private:
    friend class ZTask;
    struct Pass;

    void RemoveTask(ZTask* task);
    static bool RunTask(ZTask* task, uint32_t count, uint64_t pass);
    static void Finish(ZTask* task);

    ZLinkedList list_;
    Pass* passes_ = nullptr;  // the passes in progress over this list, innermost first
};

// The application's task manager, run on every idle pass; null when there is none.
ZTaskManager* GetRootTaskManager();
void SetRootTaskManager(ZTaskManager* manager);
