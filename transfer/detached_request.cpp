#include "transfer/detached_request.h"

#include "framework/handles.h"
#include "transfer/http_client.h"

#include <mutex>
#include <utility>

namespace kelm {

namespace {

// How often the waiting thread asks the cancel request (milliseconds): each
// question waits on an event, a wineserver round trip under Wine.
constexpr DWORD kAskInterval = 20;

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
    {
        std::lock_guard writes(g_csDownload);
        std::lock_guard lock(m_requestLock);
        m_abandoned = true;
    }
    CloseRequest();
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

} // namespace kelm
