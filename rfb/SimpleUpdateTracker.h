// Tracker that holds its changes as three regions plus one pending copy
// (copied, in destination coordinates, with a single delta). A copy that
// cannot be merged with the pending one is turned into changed pixels.
// No lock of its own: the owner guards it.
#pragma once

#include "rfb/UpdateTracker.h"

namespace rfb {

class SimpleUpdateTracker : public UpdateTracker {
public:
    SimpleUpdateTracker() = default;

    void add_changed(const Region& region) override;
    void add_cached(const Region& region) override;
    void add_copied(const Region& dest, const Point& delta) override;

    virtual void enable_copyrect(bool enable) { m_copyEnabled = enable; }
    // Moves the parts inside clip into the other tracker (copied, changed,
    // cached, each only when not empty) and removes them from this one.
    virtual void flush_to_clipped(UpdateTracker& to, const Region& clip);
    // Fills info with the parts inside clip and removes them from this tracker.
    virtual void get_update_clipped(UpdateInfo& info, const Region& clip);
    // Hands everything to the other tracker; this tracker keeps it.
    virtual void flush_to(UpdateTracker& to) const;
    // Fills info from the whole tracker, which is left unchanged.
    virtual void get_update(UpdateInfo& info) const;

    virtual const Region& get_changed() const { return m_changed; }
    virtual const Region& get_cached() const { return m_cached; }
    virtual const Region& get_copied() const { return m_copied; }
    const Point& get_delta() const { return m_copyDelta; }
    virtual bool is_empty() const;
    virtual void clear();

private:
    Region m_changed;
    Region m_cached;
    Region m_copied;
    Point m_copyDelta;
    bool m_copyEnabled = false;
};

} // namespace rfb
