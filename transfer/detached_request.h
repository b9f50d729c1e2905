#pragma once
// A request whose blocking WinINet calls run on a thread of their own, so that
// the thread waiting for it can walk away the moment the transfer is cancelled.
// The request thread owns its request handle: nobody closes it under a call
// that may still be using it (a closed handle's value can be given to another
// handle). A walked-away request thread sees the abandonment before its next
// step, or when the server or the receive timeout ends the call it is in,
// closes its handle itself and ends, touching nothing of its caller's by then.
// The process waits for such threads (WaitForRequestThreads) before it closes
// the internet session and the log.

#include "framework/handles.h"
#include "framework/slim_lock.h"
#include "transfer/internet_handle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace kelm {

class ICancelRequest;

class DetachedRequest {
public:
    DetachedRequest() = default;
    virtual ~DetachedRequest();
    DetachedRequest(const DetachedRequest&) = delete;
    DetachedRequest& operator=(const DetachedRequest&) = delete;

    // The request's work; runs on its own thread and must not throw.
    virtual void Run() noexcept = 0;

    // Request thread: the open request is kept here until the thread closes it.
    // False (and the request closed) when the waiter has walked away already.
    bool Hold(UniqueInternetHandle request) noexcept;
    // Request thread (or the last owner, once the thread has ended): closes the
    // held request, once.
    void CloseRequest() noexcept;

    // Waiter: no further step of the request; the request thread closes the
    // handle itself. (What the request writes for its waiter has a fence of
    // its own: transfer/write_fence.)
    void Abandon() noexcept;
    bool IsAbandoned() const noexcept { return m_abandoned; }

    // Request thread: the outcome is complete; the waiter goes on although the
    // thread may still be closing its handles. Returning from Run says so too.
    void Finish() noexcept;
    HANDLE FinishedEvent() const noexcept { return m_finished.Get(); }

    // Set by the waiter, read by the request thread before each read.
    std::atomic<bool> paused{false};

private:
    UniqueHandle m_finished{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    SlimLock m_requestLock;
    HINTERNET m_request = nullptr;
    std::atomic<bool> m_abandoned{false};
};

// Runs work on a thread of its own and waits until it has finished, asking
// cancel (may be null) every few milliseconds, passing its pause on to the work
// and calling everyAsk (may be empty) each time. True when the work finished;
// false when cancel said stop and the work was abandoned. An exception of everyAsk abandons the
// work and passes through. Without a thread to be had, the work runs here.
bool RunDetached(const std::shared_ptr<DetachedRequest>& work, ICancelRequest* cancel,
                 const std::function<void()>& everyAsk);

// Waits up to `milliseconds` for every request thread of the process that may
// still be running (walked-away requests); true
// when none is left.
bool WaitForRequestThreads(DWORD milliseconds) noexcept;

} // namespace kelm
