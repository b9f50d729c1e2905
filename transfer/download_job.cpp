#include "transfer/download_job.h"

#include "runlog/run_log.h"
#include "transfer/partial_record.h"
#include "transfer/transfer_failure.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace kelm {

namespace {

std::atomic<DWORD> g_retryWaitUnit{kDefaultRetryWaitUnit};

// How often a wait between attempts looks at the cancel and run events (milliseconds).
constexpr DWORD kWaitStep = 20;

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
    : m_strUrl(std::move(url)), m_firstUrl(m_strUrl), m_strLocalPath(std::move(localPath))
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
    m_strPartialPath = std::move(partialPath);
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
    m_aborted = false;

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

    // A file that refuses a change or a throwing receiver ends the job as aborted.
    auto endAborted = [&] {
        m_failure = DownloadFailure::LocalFile;
        m_verifiedFile.Reset();
        info.status = Aborted;
        try {
            OnStatus(info);
        } catch (...) {
        }
    };
    bool result = false;
    try {
        info.status = Downloading;
        OnStatus(info);
        result = Download(cancel, info);
        if (m_aborted) {
            endAborted();
            return 0;
        }
        info.status = Downloading;
        info.received = 0;
        OnStatus(info);
    } catch (...) {
        // Nothing leaves the engine's worker.
        endAborted();
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

bool CDownloadJob::WaitForAttempt(CancelRequest& cancel, DownloadStatusInfo& info, int attempt,
                                  std::optional<DWORD> retryAfterSeconds)
{
    const DWORD wait = WaitBeforeAttempt(attempt, g_retryWaitUnit, retryAfterSeconds);
    DWORD waited = 0;
    while (waited < wait) {
        if (cancel.IsCancelled()) {
            info.status = Cancelled;
            ::Sleep(kCancelledReportDelay);
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
void CDownloadJob::Discard(FetchState& state)
{
    state.file.Close();
    ::DeleteFileW(state.target.c_str());
    if (!state.recordPath.empty())
        ::DeleteFileW(state.recordPath.c_str());
    m_failure = DownloadFailure::Verification;
}

std::optional<std::uint64_t> CDownloadJob::SizeLimit() const
{
    std::optional<std::uint64_t> limit = m_expected.size ? m_expected.size : m_announcedSize;
    if (m_expected.maxSize)
        limit = std::min(limit.value_or(*m_expected.maxSize), *m_expected.maxSize);
    return limit;
}

std::uint64_t DiskSpaceMarginFor(std::uint64_t bytes) noexcept
{
    return std::clamp(bytes / 8, kSmallestDiskSpaceMargin, kDiskSpaceMargin);
}

DiskShortage ShortageAt(const std::wstring& path, std::uint64_t needed)
{
    const std::wstring folder = FolderOf(path);
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        available.QuadPart = 0;
    return {folder, needed, available.QuadPart};
}

bool CDownloadJob::HasRoomFor(std::uint64_t bytes)
{
    const std::wstring folder = FolderOf(m_strPartialPath.empty() ? m_strLocalPath : m_strPartialPath);
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return true; // no figure to go by: the writes will tell
    const std::uint64_t needed = bytes + m_alsoNeeded + DiskSpaceMarginFor(bytes + m_alsoNeeded);
    if (available.QuadPart >= needed)
        return true;
    m_shortage = {folder, needed, available.QuadPart};
    m_failure = DownloadFailure::DiskSpace;
    Log(L"not enough free space in ", folder, L": ", needed, L" bytes needed, ", available.QuadPart,
        L" bytes free; nothing downloaded");
    return false;
}

void CDownloadJob::WriteRecord(const FetchState& state, const std::wstring& validator)
{
    if (!state.recordPath.empty())
        WritePartialRecord(state.recordPath,
                           {m_firstUrl, validator, state.fileSize, m_expected.size, m_expected.sha256});
}

// The whole file has arrived and was verified: it takes the local path
// through its own handle and stays open for reading only until it is used.
// Nothing opens it by name between the check and the use.
bool CDownloadJob::Complete(FetchState& state, const std::wstring& digest)
{
    if (!m_strPartialPath.empty()) {
        if (!state.file.RenameTo(m_strLocalPath)) {
            Log(L"could not rename ", m_strPartialPath, L" to ", m_strLocalPath, L" (error ", ::GetLastError(), L")");
            m_failure = DownloadFailure::LocalFile;
            return false;
        }
        ::DeleteFileW(state.recordPath.c_str());
    }
    m_verifiedFile = state.file.HoldForReading();
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

// Reuse, fetch, verify, finish. Bytes that are not the expected file are
// fetched once more from the start, with attempts of their own.
bool CDownloadJob::Download(CancelRequest& cancel, DownloadStatusInfo& info)
{
    if (TakePresentFile()) {
        info.status = Finished;
        info.received = static_cast<std::uint64_t>(m_nTotal);
        OnStatus(info);
        return true;
    }
    FetchState state;
    state.target = m_strPartialPath.empty() ? m_strLocalPath : m_strPartialPath;
    state.recordPath = m_strPartialPath.empty() ? std::wstring() : m_strPartialPath + L".record";
    state.verifyHash = IsSha256Text(m_expected.sha256);
    ResumeEarlierRun(state);
    for (bool fetchedBefore = false;; fetchedBefore = true) {
        if (!FetchFromAnyAddress(cancel, info, state))
            return false;
        std::wstring digest;
        if (Verify(state, fetchedBefore, digest))
            return Complete(state, digest);
        if (fetchedBefore) {
            Discard(state);
            return false;
        }
        StartAgain(state);
    }
}

// A partial file of an earlier run for the same file goes on from its bytes,
// when the SHA-256 will vouch for them as well as for the rest.
void CDownloadJob::ResumeEarlierRun(FetchState& state)
{
    PartialRecord record;
    if (!state.verifyHash || state.recordPath.empty() || !ReadPartialRecord(state.recordPath, record) ||
        record.url != m_firstUrl || record.sha256 != m_expected.sha256 ||
        (m_expected.size && record.size != m_expected.size) || record.validator.empty() ||
        !state.file.OpenExisting(state.target))
        return;
    state.from = {state.file.Size(), record.validator};
    if (!HashFileStart(state.file.Handle(), state.from.offset, state.hash))
        state.from = {};
    if (state.from.offset == 0)
        state.file.Truncate(0);
    Log(L"continuing ", state.target, L" of an earlier run: ", state.from.offset, L" bytes");
}

// The file is fetched from the start: nothing of it is kept.
void CDownloadJob::StartAgain(FetchState& state)
{
    if (state.file.IsOpen())
        state.file.Truncate(0);
    state.hash.Reset();
    state.from = {};
}

// The current address, then its mirrors in turn while one cannot deliver.
bool CDownloadJob::FetchFromAnyAddress(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state)
{
    while (!Fetch(cancel, info, state)) {
        if (!SwitchToNextAddress(cancel, state))
            return false;
    }
    return true;
}

// After a failed fetch: true when the next mirror is to be tried, with the
// file kept (a SHA-256 will vouch for its bytes) or emptied.
bool CDownloadJob::SwitchToNextAddress(CancelRequest& cancel, FetchState& state)
{
    if (m_nextMirror >= m_mirrors.size() || cancel.IsCancelled() || m_failure != DownloadFailure::None)
        return false;
    const TransferFailure& failure = state.lastFailure;
    const DWORD status = failure.httpStatus.value_or(0);
    const bool elsewhere = state.attemptsUsedUp || failure.kind == FailureKind::Certificate ||
                           (failure.kind == FailureKind::NotThere && (status == 403 || status == 404 || status == 410));
    if (!elsewhere)
        return false;
    const std::wstring& next = m_mirrors[m_nextMirror++];
    const bool keep = state.verifyHash && state.fileSize > 0;
    Log(L"download of ", m_strUrl, L" failed (", DescribeFailure(failure), L"); trying its mirror ", next,
        keep ? L" from byte " + std::to_wstring(state.fileSize) : std::wstring(L" from the start"));
    m_strUrl = next;
    if (keep)
        state.from = {state.fileSize, L""}; // another host's validator would not name these bytes
    else
        StartAgain(state);
    state.lastFailure = {};
    state.attemptsUsedUp = false;
    return true;
}

// Attempts until the whole body has arrived (true), or until a failure that
// is not worth another attempt, the last attempt or a cancellation (false).
bool CDownloadJob::Fetch(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state)
{
    std::optional<DWORD> retryAfter;
    for (int attempt = 1;; ++attempt) {
        if (attempt > 1 && !WaitForAttempt(cancel, info, attempt, retryAfter))
            return false;
        retryAfter.reset();
        Attempt outcome = m_nTotal == 0 ? AskForSize(cancel, info, state, attempt, retryAfter) : Attempt::Done;
        if (outcome == Attempt::Done) {
            if (!PrepareFile(state))
                return false;
            outcome = TransferOnce(cancel, state, attempt, retryAfter);
        }
        if (outcome != Attempt::Again)
            return outcome == Attempt::Done;
    }
}

CDownloadJob::Attempt CDownloadJob::AskForSize(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state,
                                               int attempt, std::optional<DWORD>& retryAfter)
{
    SizeReply reply = QueryRemoteFile(m_strUrl, &cancel);
    if (reply.cancelled)
        return Attempt::Stop;
    if (reply.failure.kind == FailureKind::NoLength && m_expected.size) {
        // The manifest's size will do (a chunked reply): the body is held to it, and to the SHA-256.
        Log(L"no length in the reply for ", m_strUrl, L"; the expected ", *m_expected.size, L" bytes are taken");
        reply.length = m_expected.size;
        reply.size = static_cast<std::int64_t>(std::min<std::uint64_t>(*m_expected.size, INT64_MAX));
        reply.failure = {};
    }
    // An error status that may pass, or one that wants credentials nobody
    // gave, holds even when a length came with it.
    if (reply.size == 0 || IsWorthRetrying(reply.failure.kind) || reply.failure.kind == FailureKind::NeedsCredentials) {
        const bool again = IsWorthRetrying(reply.failure.kind) && attempt < kMaxDownloadAttempts;
        state.lastFailure = reply.failure;
        state.attemptsUsedUp = IsWorthRetrying(reply.failure.kind) && !again;
        Log(L"no size for ", m_strUrl, L" (attempt ", attempt, L" of ", kMaxDownloadAttempts, L": ",
            DescribeFailure(reply.failure), again ? L"; asking again)" : L"): not downloaded");
        retryAfter = reply.retryAfterSeconds;
        return again ? Attempt::Again : Attempt::Stop;
    }
    // The size announced first holds for every attempt: a later reply (a
    // Content-Range total, say) cannot make the file grow beyond it.
    m_announcedSize = reply.length.value_or(static_cast<std::uint64_t>(reply.size));
    if (m_expected.maxSize && *m_announcedSize > *m_expected.maxSize) {
        Log(L"download of ", m_strUrl, L": the server announces ", *m_announcedSize, L" bytes, more than the ",
            *m_expected.maxSize, L" such a file may have; not downloaded");
        return Attempt::Stop;
    }
    m_nTotal = reply.size;
    state.sizeValidator = reply.validator;
    info.received = state.from.offset;
    info.total = static_cast<std::uint64_t>(m_nTotal);
    return Attempt::Done;
}

// Room on the disk for what is still to come (checked once), the file open,
// and its record written before any byte of this attempt.
bool CDownloadJob::PrepareFile(FetchState& state)
{
    if (!state.roomChecked) {
        const std::uint64_t size = WholeSize();
        if (!HasRoomFor(size > state.from.offset ? size - state.from.offset : 0))
            return false;
        state.roomChecked = true;
    }
    if (!state.file.IsOpen() && !state.file.Create(state.target)) {
        Log(L"could not create ", state.target, L" (error ", ::GetLastError(), L")");
        m_failure = DownloadFailure::LocalFile;
        return false;
    }
    if (state.from.offset > WholeSize())
        StartAgain(state); // more than the whole file: not the bytes of this one
    state.fileSize = state.from.offset;
    WriteRecord(state, state.from.offset > 0 ? state.from.validator : state.sizeValidator);
    return true;
}

// One request for the file (or for the rest of it). Done: the body has ended
// and the file has every byte the size says; Again: worth another attempt,
// from where `state.from` now says.
CDownloadJob::Attempt CDownloadJob::TransferOnce(CancelRequest& cancel, FetchState& state, int attempt,
                                                 std::optional<DWORD>& retryAfter)
{
    TransferOutcome outcome;
    if (state.from.offset > 0 && state.from.offset == WholeSize()) {
        // An earlier run had every byte and ended before the check.
        outcome.complete = true;
        outcome.fileSize = state.from.offset;
        outcome.validator = state.from.validator;
    } else {
        TransferToFile(cancel, m_strUrl, state.file, this, state.from, state.verifyHash ? &state.hash : nullptr,
                       outcome, SizeLimit());
    }
    if (outcome.cancelled)
        return Attempt::Stop;
    if (outcome.failure.kind == FailureKind::LocalFile && IsDiskFullError(outcome.failure.systemError)) {
        // The volume filled up while the file was written: a full disk, not a network failure.
        const std::uint64_t whole = WholeSize();
        m_shortage = ShortageAt(state.target, (whole > outcome.fileSize ? whole - outcome.fileSize : 1) + m_alsoNeeded);
        m_failure = DownloadFailure::DiskSpace;
        Log(L"not enough free space in ", m_shortage.folder, L": the volume filled up after ", outcome.fileSize,
            L" bytes of ", m_strUrl, L"; ", m_shortage.available, L" bytes free");
        return Attempt::Stop;
    }
    if (outcome.failure.kind == FailureKind::LocalFile) {
        Log(L"download of ", m_strUrl, L": ", DescribeFailure(outcome.failure), L" into ", state.target);
        m_failure = DownloadFailure::LocalFile;
        m_aborted = true;
        return Attempt::Stop;
    }
    if (outcome.failure.kind == FailureKind::TooLong) {
        // More than the file has: not the expected bytes, and another attempt would bring the same.
        Log(L"download of ", m_strUrl, L": the server sends more than the ", SizeLimit().value_or(0),
            L" bytes expected; nothing past them was written, not used, not asked again");
        Discard(state);
        return Attempt::Stop;
    }
    const std::wstring validator = !outcome.validator.empty()                     ? outcome.validator
                                   : outcome.restarted || state.from.offset == 0 ? state.sizeValidator
                                                                                  : state.from.validator;
    state.fileSize = outcome.fileSize;
    WriteRecord(state, validator);
    if (outcome.totalSize)
        m_nTotal = static_cast<std::int64_t>(*outcome.totalSize);
    if (outcome.complete)
        return Attempt::Done;

    const TransferFailure& failure = outcome.failure;
    const bool again = IsWorthRetrying(failure.kind) && attempt < kMaxDownloadAttempts;
    state.lastFailure = failure;
    state.attemptsUsedUp = IsWorthRetrying(failure.kind) && !again;
    Log(L"download of ", m_strUrl, L": attempt ", attempt, L" of ", kMaxDownloadAttempts, L" failed with ",
        outcome.fileSize, L" bytes in the file: ", DescribeFailure(failure), again ? L"; trying again" : L"; giving up");
    if (!again)
        return Attempt::Stop;
    retryAfter = outcome.retryAfterSeconds;
    // The next request goes on from the bytes the file has, if a validator can
    // make sure they belong to the same file; else from the start.
    const bool sameReply = !failure.httpStatus || *failure.httpStatus == 200 || *failure.httpStatus == 206;
    if (failure.kind != FailureKind::RangeRefused && outcome.fileSize > 0 && !validator.empty() && sameReply)
        state.from = {outcome.fileSize, validator};
    else
        StartAgain(state);
    return Attempt::Again;
}

// True when the file has the size and SHA-256 it must have; digest is the
// SHA-256 of what came (when one is expected).
bool CDownloadJob::Verify(FetchState& state, bool fetchedBefore, std::wstring& digest)
{
    digest = state.verifyHash ? state.hash.Finish() : std::wstring();
    const bool sizeRight = state.fileSize == WholeSize();
    if (sizeRight && (!state.verifyHash || SameSha256(digest, m_expected.sha256)))
        return true;
    Log(L"download of ", m_strUrl, L" is not the expected file: ", state.fileSize, L" bytes (", WholeSize(),
        L" expected)", state.verifyHash ? L", SHA-256 " : L"", digest,
        state.verifyHash ? L" (" + m_expected.sha256 + L" expected)" : std::wstring(),
        fetchedBefore ? L"; not used" : L"; fetching it once more from the start");
    return false;
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
