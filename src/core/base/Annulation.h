#pragma once

#include <atomic>

// A request to stop a running action, set from another thread (the window's "Annuler", a
// closed window, the command line's signal handler) and read where the work can stop
// cleanly: between blocks of records, between buffers of a file, in libcurl's progress calls.
// Cheap to read; async-signal-safe to set.
class Annulation
{
public:
    void annuler() noexcept { m_demandee.store(true, std::memory_order_relaxed); }
    bool demandee() const noexcept { return m_demandee.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_demandee{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};

// True when `a` is given and asks to stop.
inline bool annulee(const Annulation *a) noexcept
{
    return a && a->demandee();
}
