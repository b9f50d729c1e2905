#include "transfer/detached_request.h"

#include "framework/handles.h"
#include "transfer/http_client.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace kelm {

namespace {

// How often the waiting thread asks the cancel request (milliseconds): each
// question waits on an event, a wineserver round trip under Wine.
constexpr DWORD kAskInterval = 20;

// The request threads that may still run: each one's handle, kept until it has ended.
constinit SlimLock g_threadsLock;
std::vector<UniqueHandle>* g_threads = nullptr; // made on first use, never destroyed: threads may outlive statics

void Track(HANDLE thread) noexcept
{
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
        return;
    UniqueHandle owned(copy);
    try {
        std::lock_guard lock(g_threadsLock);
        if (!g_threads)
            g_threads = new std::vector<UniqueHandle>();
        // Threads that have ended are dropped as new ones come.
        std::erase_if(*g_threads, [](const UniqueHandle& t) { return ::WaitForSingleObject(t.Get(), 0) == WAIT_OBJECT_0; });
        g_threads->push_back(std::move(owned));
    } catch (...) {
        // Not counted: the wait at the end does not know of it.
    }
}

DWORD WINAPI DetachedRequestThread(void* parameter) noexcept
{
    std::unique_ptr<std::shared_ptr<DetachedRequest>> work(static_cast<std::shared_ptr<DetachedRequest>*>(parameter));
    (*work)->Run();
    (*work)->Finish();
    return 0;
}

} // namespace

DetachedRequest::~DetachedRequest()
{
    CloseRequest();
}

bool DetachedRequest::Hold(UniqueInternetHandle request) noexcept
{
    std::lock_guard lock(m_requestLock);
    if (m_abandoned)
        return false;
    m_request = request.Release();
    return true;
}

void DetachedRequest::CloseRequest() noexcept
{
    std::lock_guard lock(m_requestLock);
    if (m_request)
        ::InternetCloseHandle(std::exchange(m_request, nullptr));
}

void DetachedRequest::Abandon() noexcept
{
    std::lock_guard lock(m_requestLock);
    m_abandoned = true;
}

void DetachedRequest::Finish() noexcept
{
    if (m_finished)
        ::SetEvent(m_finished.Get());
}

bool RunDetached(const std::shared_ptr<DetachedRequest>& work, ICancelRequest* cancel,
                 const std::function<void()>& everyAsk)
{
    auto parameter = std::make_unique<std::shared_ptr<DetachedRequest>>(work);
    UniqueHandle thread;
    if (work->FinishedEvent())
        thread.Reset(::CreateThread(nullptr, 0, DetachedRequestThread, parameter.get(), 0, nullptr));
    if (!thread) {
        work->Run();
        return true;
    }
    parameter.release(); // the thread's now
    Track(thread.Get());
    try {
        for (;;) {
            if (::WaitForSingleObject(work->FinishedEvent(), kAskInterval) == WAIT_OBJECT_0)
                return true;
            if (cancel && cancel->IsCancelled()) {
                work->Abandon();
                return false;
            }
            if (cancel)
                work->paused = cancel->IsPaused() != 0;
            if (everyAsk)
                everyAsk();
        }
    } catch (...) {
        work->Abandon();
        throw;
    }
}

bool WaitForRequestThreads(DWORD milliseconds) noexcept
{
    const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
    for (;;) {
        HANDLE running = nullptr;
        {
            std::lock_guard lock(g_threadsLock);
            if (g_threads) {
                std::erase_if(*g_threads,
                              [](const UniqueHandle& t) { return ::WaitForSingleObject(t.Get(), 0) == WAIT_OBJECT_0; });
                if (!g_threads->empty())
                    running = g_threads->front().Get();
            }
        }
        if (!running)
            return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return false;
        // Another thread may drop the handle meanwhile: wait in short steps and look again.
        ::WaitForSingleObject(running, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 50)));
    }
}

} // namespace kelm
