#pragma once
// Stands between the threads of one transfer and the file (and hash) of the
// download they write into. The download closes the fence when it walks away
// from the transfer; from then on the transfer changes nothing of the
// download's, and a change under way when it closed has ended first. Only the
// download and the threads of its transfer hold one.

#include "framework/slim_lock.h"

#include <mutex>

namespace kelm {

class WriteFence {
public:
    WriteFence() = default;
    WriteFence(const WriteFence&) = delete;
    WriteFence& operator=(const WriteFence&) = delete;

    // Runs change under the fence and returns true; false without running it
    // once the fence is closed. Exceptions of change pass through.
    template <class Change>
    bool IfOpen(Change&& change)
    {
        std::lock_guard lock(m_lock);
        if (m_closed)
            return false;
        change();
        return true;
    }
    // Waits for a change under way; none runs afterwards.
    void Close() noexcept
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
    }

private:
    SlimLock m_lock;
    bool m_closed = false;
};

} // namespace kelm
