#pragma once
// A thread whose join has a real limit, and whose body never takes the
// process down. Everything the body throws (omni_thread_fatal included) is
// caught and handed to the fault callback on the thread itself. Join waits
// for the body's end up to the limit; a body that has not ended by then is
// left to finish on its own (detached) and Join says so, so a caller on the
// main thread never waits without a bound. Owners keep that case theoretical
// by making every blocking call of the body end on their stop; the thread's
// own bookkeeping is shared, so a late end touches no freed memory of ours.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class BoundedThread {
public:
    using Body = std::function<void()>;
    using Fault = std::function<void(const std::string& what)>;

    BoundedThread() = default;
    // Joins with kDestructorJoinMs.
    ~BoundedThread();
    BoundedThread(const BoundedThread&) = delete;
    BoundedThread& operator=(const BoundedThread&) = delete;

    static constexpr unsigned kDestructorJoinMs = 5000;

    // False when a thread is still attached or none could be made.
    bool Start(Body body, Fault onFault = {});
    // True once the body has ended and the thread is joined (also when none
    // was started); false when the limit passed first (the thread is then
    // detached and this object is free for a new Start).
    bool Join(unsigned limitMs);
    bool Started() const { return m_thread.joinable(); }
    // The body has not ended yet.
    bool Running() const;

private:
    struct State {
        std::mutex lock;
        std::condition_variable ended;
        bool done = false;
    };
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};
