#pragma once
// A download job: fetches one URL into one local file on the installation
// engine's worker thread and passes every progress record on to the engine.

#include "transfer/http_client.h"

#include <functional>
#include <string>

namespace kelm {

// The ICancelRequest over the engine's two manual-reset events: cancel
// (signalled = stop) and run (reset = paused). Neither event is owned; a null
// event never cancels or pauses.
class CancelRequest : public ICancelRequest {
public:
    CancelRequest() = default;
    CancelRequest(HANDLE cancelEvent, HANDLE runEvent) noexcept : m_hCancel(cancelEvent), m_hRun(runEvent) {}

    int IsCancelled() override;
    int IsPaused() override;

    HANDLE m_hCancel = nullptr;
    HANDLE m_hRun = nullptr;
};

// What a job reads from the one who runs it (the installation engine): its
// cancel event and its run event. Both stay owned by the owner.
class IDownloadJobOwner {
public:
    virtual HANDLE GetCancelEvent() const = 0;
    virtual HANDLE GetRunEvent() const = 0;

protected:
    ~IDownloadJobOwner() = default;
};

using DownloadProgressCallback = std::function<void(const DownloadStatusInfo&)>;

class CDownloadJob : public IDownloadCallback {
public:
    CDownloadJob(std::wstring url, std::wstring localPath);
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    // Asks for the size, creates the file, downloads into it. Non-zero when the
    // size was known, the file was created and the whole file arrived. Every
    // record goes to callback on this thread; the last one is (Downloading, 0,
    // size). Returns 0 without any report when owner is null.
    int Run(IDownloadJobOwner* owner, DownloadProgressCallback callback);

    // Writes the known size into info and passes it on.
    void OnStatus(DownloadStatusInfo& info) override;

private:
    void LogWrittenFile() const;

    std::wstring m_strUrl;
    std::wstring m_strLocalPath;
    std::int64_t m_nTotal = 0;
    IDownloadJobOwner* m_pOwner = nullptr;
    DownloadProgressCallback m_callback;
};

} // namespace kelm
