#pragma once
// An exclusive lock that is ready before any constructor runs, so process-wide
// locks work from other objects' static initialisation too. BasicLockable: use
// it with std::lock_guard.

#include <windows.h>

namespace kelm {

class SlimLock {
public:
    constexpr SlimLock() noexcept = default;
    SlimLock(const SlimLock&) = delete;
    SlimLock& operator=(const SlimLock&) = delete;

    void lock() noexcept { ::AcquireSRWLockExclusive(&m_lock); }
    void unlock() noexcept { ::ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

} // namespace kelm
