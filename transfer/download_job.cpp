#include "transfer/download_job.h"

#include <algorithm>

#include "runlog/run_log.h"
#include "transfer/download_file.h"
#include "transfer/partial_record.h"
#include "transfer/sha256.h"

#include <atomic>
#include <exception>
#include <memory>
#include <utility>

namespace kelm {

namespace {

std::atomic<DWORD> g_retryWaitUnit{kDefaultRetryWaitUnit};

// How often a wait between attempts looks at the cancel and run events (milliseconds).
constexpr DWORD kWaitStep = 20;

bool IsCertificateFailure(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return true;
    default:
        return false;
    }
}

// Worth asking again: the line or the server may be better in a moment. A
// refused certificate, an address that cannot be read or a status that says
// the file is not there (other 4xx) will be the same the next time.
bool IsWorthRetrying(bool invalidUrl, std::optional<DWORD> status, DWORD errorCode)
{
    if (invalidUrl)
        return false;
    if (!status)
        return !IsCertificateFailure(errorCode);
    return *status == 408 || *status == 429 || (*status >= 500 && *status <= 599) ||
           (*status >= 200 && *status <= 299);
}

std::wstring DescribeFailure(std::optional<DWORD> status, DWORD errorCode)
{
    if (status && (*status < 200 || *status > 299))
        return L"HTTP " + std::to_wstring(*status);
    if (status)
        return L"the body broke off (error " + std::to_wstring(errorCode) + L")";
    return L"no reply (error " + std::to_wstring(errorCode) + L")";
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash + 1);
}

// Opens path for reading; while the handle is held nobody can write, rename or delete the file.
UniqueFile OpenLocked(const std::wstring& path)
{
    return UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

} // namespace

void SetRetryWaitUnit(DWORD milliseconds)
{
    g_retryWaitUnit = milliseconds;
}

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

void CDownloadJob::Expect(ExpectedFile expected)
{
    m_expected = std::move(expected);
}

void CDownloadJob::UsePartialFile(std::wstring partialPath)
{
    m_partialPath = std::move(partialPath);
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
    m_failure = DownloadFailure::None;

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

    bool result = false;
    try {
        info.status = Downloading;
        OnStatus(info);
        result = Download(cancel, info);
        info.status = Downloading;
        info.received = 0;
        OnStatus(info);
    } catch (...) {
        // Nothing leaves the engine's worker: a failed write or a
        // throwing receiver ends the job as aborted.
        m_failure = DownloadFailure::LocalFile;
        m_verifiedFile.Reset();
        info.status = Aborted;
        try {
            OnStatus(info);
        } catch (...) {
        }
        result = false;
    }
    if (!result && m_failure == DownloadFailure::None)
        m_failure = DownloadFailure::Network;
    return result ? 1 : 0;
}

// A file at the local path that already has the expected SHA-256 is the
// download; it is kept open from the check on.
bool CDownloadJob::TakePresentFile()
{
    if (!IsSha256Text(m_expected.sha256))
        return false;
    UniqueFile file = OpenLocked(m_strLocalPath);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size))
        return false;
    if (m_expected.size && *m_expected.size != static_cast<std::uint64_t>(size.QuadPart))
        return false;
    Sha256 hash;
    if (!HashFileStart(file.Get(), static_cast<std::uint64_t>(size.QuadPart), hash) ||
        !SameSha256(hash.Finish(), m_expected.sha256))
        return false;
    Log(L"already present and verified: ", m_strLocalPath, L" (", static_cast<std::uint64_t>(size.QuadPart),
        L" bytes); not downloaded");
    m_verifiedFile = std::move(file);
    m_nTotal = size.QuadPart;
    return true;
}

bool CDownloadJob::WaitBeforeAttempt(CancelRequest& cancel, DownloadStatusInfo& info, int attempt,
                                     std::optional<DWORD> retryAfterSeconds)
{
    // Waits of 1, 2, 4, 8 units before attempts 2 to 5.
    DWORD wait = g_retryWaitUnit * (1u << (attempt - 2));
    if (retryAfterSeconds)
        wait = std::min(*retryAfterSeconds, kMaxRetryAfterSeconds) * 1000;
    DWORD waited = 0;
    while (waited < wait) {
        if (cancel.IsCancelled()) {
            info.status = Cancelled;
            ::Sleep(500);
            OnStatus(info);
            return false;
        }
        ::Sleep(kWaitStep);
        // A pause holds the wait as it holds a transfer.
        if (!cancel.IsPaused())
            waited += kWaitStep;
    }
    return !cancel.IsCancelled();
}

// Bytes that are not the expected file are never used: the file and its record go.
void CDownloadJob::Discard(CDownloadFile& file, const std::wstring& target, const std::wstring& recordPath)
{
    file.Close();
    ::DeleteFileW(target.c_str());
    if (!recordPath.empty())
        ::DeleteFileW(recordPath.c_str());
    m_failure = DownloadFailure::Verification;
}

std::optional<std::uint64_t> CDownloadJob::SizeLimit() const
{
    std::optional<std::uint64_t> limit = m_expected.size ? m_expected.size : m_announcedSize;
    if (m_expected.maxSize)
        limit = std::min(limit.value_or(*m_expected.maxSize), *m_expected.maxSize);
    return limit;
}

bool CDownloadJob::HasRoomFor(std::uint64_t bytes)
{
    const std::wstring folder = FolderOf(m_partialPath.empty() ? m_strLocalPath : m_partialPath);
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return true; // no figure to go by: the writes will tell
    const std::uint64_t needed = bytes + m_alsoNeeded + kDiskSpaceMargin;
    if (available.QuadPart >= needed)
        return true;
    m_shortage = {folder, needed, available.QuadPart};
    m_failure = DownloadFailure::DiskSpace;
    Log(L"not enough free space in ", folder, L": ", needed, L" bytes needed, ", available.QuadPart,
        L" bytes free; nothing downloaded");
    return false;
}

// The whole file has arrived and was verified: it takes the local path
// through its own handle and stays open for reading only until it is used.
// Nothing opens it by name between the check and the use.
bool CDownloadJob::Complete(CDownloadFile& file, const std::wstring& digest)
{
    if (!m_partialPath.empty()) {
        if (!file.RenameTo(m_strLocalPath)) {
            Log(L"could not rename ", m_partialPath, L" to ", m_strLocalPath, L" (error ", ::GetLastError(), L")");
            m_failure = DownloadFailure::LocalFile;
            return false;
        }
        ::DeleteFileW((m_partialPath + L".record").c_str());
    }
    m_verifiedFile = file.HoldForReading();
    if (!m_verifiedFile) {
        Log(L"the downloaded file ", m_strLocalPath, L" could not be held for reading after its check (error ",
            ::GetLastError(), L")");
        m_failure = DownloadFailure::LocalFile;
        return false;
    }
    LogWrittenFile();
    if (!digest.empty())
        Log(L"verified: ", m_strLocalPath, L", SHA-256 ", digest);
    return true;
}

bool CDownloadJob::Download(CancelRequest& cancel, DownloadStatusInfo& info)
{
    if (TakePresentFile()) {
        info.status = Finished;
        info.received = static_cast<std::uint64_t>(m_nTotal);
        OnStatus(info);
        return true;
    }
    const bool verifyHash = IsSha256Text(m_expected.sha256);
    const std::wstring& target = m_partialPath.empty() ? m_strLocalPath : m_partialPath;
    const std::wstring recordPath = m_partialPath.empty() ? std::wstring() : m_partialPath + L".record";
    CDownloadFile file;
    Sha256 hash;
    ResumePoint from;

    // A partial file of an earlier run for the same file goes on from its
    // bytes, when the SHA-256 will vouch for them as well as for the rest.
    PartialRecord record;
    if (verifyHash && !recordPath.empty() && ReadPartialRecord(recordPath, record) && record.url == m_strUrl &&
        record.sha256 == m_expected.sha256 && (!m_expected.size || record.size == m_expected.size) &&
        !record.validator.empty() && file.OpenExisting(target)) {
        from = {file.Size(), record.validator};
        if (verifyHash && !HashFileStart(file.Handle(), from.offset, hash))
            from = {};
        if (from.offset == 0)
            file.Truncate(0);
        Log(L"going on with ", target, L" of an earlier run: ", from.offset, L" bytes");
    }

    // Closed (in the background) once the download is over: see HeldRequest.
    HeldRequest sizeRequest;
    std::wstring sizeValidator;
    bool verifiedOnce = false;
    bool roomChecked = false;
    std::optional<DWORD> retryAfter;
    for (int attempt = 1;; ++attempt) {
        if (attempt > 1 && !WaitBeforeAttempt(cancel, info, attempt, retryAfter))
            return false;
        const bool lastAttempt = attempt >= kMaxDownloadAttempts;
        retryAfter.reset();

        if (m_nTotal == 0) {
            const SizeReply reply = QueryRemoteFile(m_strUrl, &cancel, &sizeRequest);
            if (reply.cancelled)
                return false;
            const bool errorStatus = reply.status && (*reply.status < 200 || *reply.status > 299);
            if (reply.size == 0 || (errorStatus && IsWorthRetrying(false, reply.status, 0))) {
                // A reply with no length that is not an error will not get one.
                const bool retry = (errorStatus || !reply.status) &&
                                   IsWorthRetrying(reply.invalidUrl, reply.status, reply.errorCode);
                Log(L"no size for ", m_strUrl, L" (attempt ", attempt, L" of ", kMaxDownloadAttempts, L": ",
                    DescribeFailure(reply.status, reply.errorCode),
                    retry && !lastAttempt ? L"; asking again)" : L"): not downloaded");
                if (!retry || lastAttempt)
                    return false;
                retryAfter = reply.retryAfterSeconds;
                continue;
            }
            // The size announced first holds for every attempt: a later reply
            // (a Content-Range total, say) cannot make the file grow beyond it.
            m_announcedSize = reply.length.value_or(static_cast<std::uint64_t>(reply.size));
            if (m_expected.maxSize && *m_announcedSize > *m_expected.maxSize) {
                Log(L"download of ", m_strUrl, L": the server announces ", *m_announcedSize, L" bytes, more than the ",
                    *m_expected.maxSize, L" such a file may have; not downloaded");
                return false;
            }
            m_nTotal = reply.size;
            sizeValidator = reply.validator;
            info.received = from.offset;
            info.total = static_cast<std::uint64_t>(m_nTotal);
        }
        if (!roomChecked) {
            const std::uint64_t size = m_expected.size.value_or(m_announcedSize.value_or(0));
            if (!HasRoomFor(size > from.offset ? size - from.offset : 0))
                return false;
            roomChecked = true;
        }
        if (!file.IsOpen() && !file.Create(target)) {
            Log(L"could not create ", target, L" (error ", ::GetLastError(), L")");
            m_failure = DownloadFailure::LocalFile;
            return false;
        }
        const std::uint64_t wholeSize = m_expected.size.value_or(m_announcedSize.value_or(0));
        if (from.offset > wholeSize) {
            // More than the whole file: not the bytes of this one.
            from = {};
            file.Truncate(0);
            hash.Reset();
        }
        if (!recordPath.empty()) {
            record = {m_strUrl, from.offset > 0 ? from.validator : sizeValidator, from.offset, m_expected.size,
                      m_expected.sha256};
            WritePartialRecord(recordPath, record);
        }

        TransferOutcome outcome;
        bool transferred = false;
        if (from.offset > 0 && from.offset == wholeSize) {
            // An earlier run had every byte and ended before the check.
            transferred = true;
            outcome.fileSize = from.offset;
            outcome.validator = from.validator;
        } else {
            transferred = TransferToFile(cancel, m_strUrl, file, this, from, verifyHash ? &hash : nullptr, outcome,
                                         SizeLimit());
        }
        if (outcome.cancelled)
            return false;
        if (outcome.tooLong) {
            // More than the file has: not the expected bytes, and another attempt would bring the same.
            Log(L"download of ", m_strUrl, L": the server sends more than the ", SizeLimit().value_or(0),
                L" bytes expected; nothing past them was written, not used, not asked again");
            Discard(file, target, recordPath);
            return false;
        }
        const std::wstring validator = !outcome.validator.empty() ? outcome.validator
                                       : outcome.restarted || from.offset == 0 ? sizeValidator
                                                                                : from.validator;
        if (!recordPath.empty()) {
            record.validator = validator;
            record.received = outcome.fileSize;
            WritePartialRecord(recordPath, record);
        }
        if (outcome.totalSize)
            m_nTotal = static_cast<std::int64_t>(*outcome.totalSize);

        if (transferred) {
            const std::uint64_t expectedSize = m_expected.size.value_or(m_announcedSize.value_or(0));
            const std::wstring digest = verifyHash ? hash.Finish() : std::wstring();
            const bool sizeRight = outcome.fileSize == expectedSize;
            const bool hashRight = !verifyHash || SameSha256(digest, m_expected.sha256);
            if (sizeRight && hashRight)
                return Complete(file, digest);
            Log(L"download of ", m_strUrl, L" is not the expected file: ", outcome.fileSize, L" bytes (",
                expectedSize, L" expected)", verifyHash ? L", SHA-256 " : L"", digest,
                verifyHash ? L" (" + m_expected.sha256 + L" expected)" : std::wstring(),
                verifiedOnce ? L"; not used" : L"; fetching it once more from the start");
            if (verifiedOnce) {
                Discard(file, target, recordPath);
                return false;
            }
            verifiedOnce = true;
            file.Truncate(0);
            hash.Reset();
            from = {};
            attempt = 0; // the second download has attempts of its own, and starts at once
            continue;
        }

        // A range the server cannot serve: the whole file is asked for next.
        const bool rangeRefused = from.offset > 0 && outcome.status == 416u;
        const bool retry = rangeRefused || IsWorthRetrying(outcome.invalidUrl,
                                                           outcome.sent ? outcome.status : std::nullopt,
                                                           outcome.errorCode);
        Log(L"download of ", m_strUrl, L": attempt ", attempt, L" of ", kMaxDownloadAttempts, L" failed with ",
            outcome.fileSize, L" bytes in the file: ", DescribeFailure(outcome.sent ? outcome.status : std::nullopt,
                                                                       outcome.errorCode),
            retry && !lastAttempt ? L"; trying again" : L"; giving up");
        if (!retry || lastAttempt)
            return false;
        retryAfter = outcome.retryAfterSeconds;
        // The next request goes on from the bytes the file has, if a validator
        // can make sure they belong to the same file; else from the start.
        if (!rangeRefused && outcome.fileSize > 0 && !validator.empty() &&
            (!outcome.status || *outcome.status == 200 || *outcome.status == 206)) {
            from = {outcome.fileSize, validator};
        } else {
            from = {};
            file.Truncate(0);
            hash.Reset();
        }
    }
}

const wchar_t* DescribeDownloadFailure(DownloadFailure failure) noexcept
{
    switch (failure) {
    case DownloadFailure::None:
        return L"no failure";
    case DownloadFailure::Network:
        return L"the network or the server failed on every attempt";
    case DownloadFailure::Verification:
        return L"the bytes that came were not the expected ones";
    case DownloadFailure::DiskSpace:
        return L"not enough disk space";
    case DownloadFailure::LocalFile:
        return L"the local file could not be created, written or locked";
    }
    return L"unknown";
}

} // namespace kelm
