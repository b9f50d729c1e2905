#include "transfer/download_job.h"

#include "runlog/run_log.h"
#include "transfer/download_file.h"

#include <exception>
#include <utility>

namespace kelm {

int CancelRequest::IsCancelled()
{
    return m_hCancel && ::WaitForSingleObject(m_hCancel, 0) == WAIT_OBJECT_0;
}

int CancelRequest::IsPaused()
{
    return m_hRun && ::WaitForSingleObject(m_hRun, 0) != WAIT_OBJECT_0;
}

CDownloadJob::CDownloadJob(std::wstring url, std::wstring localPath)
    : m_strUrl(std::move(url)), m_strLocalPath(std::move(localPath))
{
}

CDownloadJob::~CDownloadJob()
{
    m_callback = nullptr;
}

void CDownloadJob::LogWrittenFile() const
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(m_strLocalPath.c_str(), GetFileExInfoStandard, &data))
        Log(L"file written: ", m_strLocalPath, L", ",
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, L" bytes");
}

void CDownloadJob::OnStatus(DownloadStatusInfo& info)
{
    if (!m_callback)
        return;
    if (m_nTotal != 0)
        info.total = static_cast<std::uint64_t>(m_nTotal);
    m_callback(info);
}

int CDownloadJob::Run(IDownloadJobOwner* owner, DownloadProgressCallback callback)
{
    if (!owner)
        return 0;
    m_pOwner = owner;
    m_callback = std::move(callback);

    DownloadStatusInfo info;
    CancelRequest cancel(owner->GetCancelEvent(), owner->GetRunEvent());
    if (cancel.m_hCancel && ::WaitForSingleObject(cancel.m_hCancel, 0) == WAIT_OBJECT_0) {
        info.status = Aborted;
        try {
            OnStatus(info);
        } catch (...) {
        }
        m_callback = nullptr;
        return 0;
    }

    bool transferReturned = false;
    bool result = false;
    try {
        info.status = Downloading;
        OnStatus(info);

        // Closed (in the background) once the download is over: see HeldRequest.
        HeldRequest sizeRequest;
        m_nTotal = QueryRemoteFileSize(m_strUrl, &cancel, &sizeRequest);
        if (m_nTotal != 0) {
            info.received = 0;
            info.total = static_cast<std::uint64_t>(m_nTotal);
            // Created only now that the size is known; closed before Run returns.
            CDownloadFile file;
            if (file.Create(m_strLocalPath)) {
                result = DownloadToFile(cancel, m_strUrl, file, this);
                transferReturned = true;
                file.Close();
                LogWrittenFile();
            } else {
                Log(L"could not create ", m_strLocalPath, L" (error ", ::GetLastError(), L")");
            }
        } else {
            Log(L"no size for ", m_strUrl, L": not downloaded");
        }
        OnStatus(info);
    } catch (...) {
        // Nothing leaves the engine's worker: a failed write or a
        // throwing receiver ends the job as aborted.
        info.status = Aborted;
        try {
            OnStatus(info);
        } catch (...) {
        }
        if (!transferReturned)
            result = false;
    }
    return result ? 1 : 0;
}

} // namespace kelm
