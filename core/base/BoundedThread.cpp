#include "core/base/BoundedThread.h"

#include <chrono>
#include <exception>
#include <system_error>

BoundedThread::~BoundedThread()
{
    Join(kDestructorJoinMs);
}

bool BoundedThread::Start(Body body, Fault onFault)
{
    if (m_thread.joinable())
        return false;
    auto state = std::make_shared<State>();
    try {
        m_thread = std::thread([state, body = std::move(body), onFault = std::move(onFault)] {
            std::string fault;
            try {
                body();
            } catch (const std::exception& e) {
                fault = e.what();
            } catch (...) {
                fault = "unknown exception";
            }
            if (!fault.empty() && onFault) {
                try {
                    onFault(fault);
                } catch (...) {
                }
            }
            std::lock_guard<std::mutex> l(state->lock);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_state = std::move(state);
    return true;
}

bool BoundedThread::Join(unsigned limitMs)
{
    if (!m_thread.joinable())
        return true;
    bool ended;
    {
        std::unique_lock<std::mutex> l(m_state->lock);
        ended = m_state->ended.wait_for(l, std::chrono::milliseconds(limitMs), [&] { return m_state->done; });
    }
    // Past `done` the body only unlocks and returns, so this join is immediate.
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
    m_state.reset();
    return ended;
}

bool BoundedThread::Running() const
{
    if (!m_state)
        return false;
    std::lock_guard<std::mutex> l(m_state->lock);
    return !m_state->done;
}
