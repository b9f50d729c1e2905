#pragma once
// A request whose blocking WinINet calls run on a thread of their own, so that
// the thread waiting for it can walk away the moment the transfer is cancelled.
// Closing a request handle does not make a call that blocks on a silent server
// return under every WinINet (Wine's returns when the server or the receive
// timeout ends it); a walked-away request thread ends by itself later and
// touches nothing of its caller's by then.

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

    // Request thread: the open request becomes closable by Abandon. False (and
    // the request closed) when the waiter has walked away already.
    bool Hold(UniqueInternetHandle request) noexcept;
    // Either thread: closes the held request, once.
    void CloseRequest() noexcept;

    // Waiter: no further step of the request, its handle closed. A block write
    // under way (g_csDownload) ends first; none starts afterwards.
    void Abandon() noexcept;
    bool IsAbandoned() const noexcept { return m_abandoned; }

    // Request thread: the outcome is complete; the waiter goes on although the
    // thread may still be closing its handles. Returning from Run says so too.
    void Finish() noexcept;
    HANDLE FinishedEvent() const noexcept { return m_finished.Get(); }

    // Set by the waiter, read by the request thread before each read.
    std::atomic<bool> paused{false};
    // Body bytes received so far; written by the request thread.
    std::atomic<std::uint64_t> received{0};

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

} // namespace kelm
