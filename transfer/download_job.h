#pragma once
// A download job: fetches one URL into one local file on the installation
// engine's worker thread and passes every progress record on to the engine.
// Its phases, each a function of its own: reuse a file already there
// (TakePresentFile) or an earlier run's partial file (ResumeEarlierRun); fetch
// (Fetch: the size, the room on the disk, the transfers, each attempt after a
// failure worth another one from the bytes the file has, with growing waits;
// transfer/transfer_failure holds the rules); check the bytes (Verify; wrong
// bytes are fetched once more from the start); finish (Complete). A package's
// download survives the end of the process as a partial file with a record
// beside it, which a later run goes on with.
//
// Threads: everything here runs on the thread that calls Run, progress
// reports too. The transfer's request and writer threads are the HTTP
// client's (transfer/http_client.h); Run returns only when they have let go
// of the job's file.

#include "framework/handles.h"
#include "transfer/download_file.h"
#include "transfer/http_client.h"
#include "transfer/sha256.h"
#include "transfer/transfer_failure.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// What is known of a file before it is fetched; either may be absent.
struct ExpectedFile {
    std::optional<std::uint64_t> size;
    std::wstring sha256; // 64 hexadecimal digits, or empty
    // The most a file of this kind may have (a document's, not a package's):
    // a larger announced size is refused before the body is read.
    std::optional<std::uint64_t> maxSize = std::nullopt;
};

// Why a job did not deliver its file.
enum class DownloadFailure : std::int32_t {
    None = 0,
    Network,       // no size, an error status, or the transfer failed on every attempt
    Verification,  // the bytes that came were not the expected ones, twice
    DiskSpace,     // the volume cannot hold what is still to come
    LocalFile,     // the local file could not be created, written or locked
};

// A few words for the log ("the network or the server", ...).
const wchar_t* DescribeDownloadFailure(DownloadFailure failure) noexcept;

struct DiskShortage {
    std::wstring folder;
    std::uint64_t needed = 0;
    std::uint64_t available = 0;
};

// The shortage of the folder that holds path when `needed` bytes are wanted there.
DiskShortage ShortageAt(const std::wstring& path, std::uint64_t needed);

// Free space kept beyond what the downloads still need: an eighth of it,
// at least 1 MiB and at most 16 MiB.
inline constexpr std::uint64_t kDiskSpaceMargin = 16ull * 1024 * 1024;
inline constexpr std::uint64_t kSmallestDiskSpaceMargin = 1024ull * 1024;
std::uint64_t DiskSpaceMarginFor(std::uint64_t bytes) noexcept;
// The unit of the waits between attempts (WaitBeforeAttempt; settable for tests).
void SetRetryWaitUnit(DWORD milliseconds);

// One download's file on its way, carried from one attempt to the next.
struct FetchState {
    std::wstring target;      // the file written: the partial path, else the local path
    std::wstring recordPath;  // the record beside a partial file; empty without one
    bool verifyHash = false;  // the expectation has a SHA-256
    CDownloadFile file;
    Sha256 hash;              // of the bytes in the file, in file order (when verifyHash)
    ResumePoint from;         // where the next request goes on
    std::wstring sizeValidator; // what named the size query's reply
    std::uint64_t fileSize = 0; // bytes in the file after the last transfer
    bool roomChecked = false;
    TransferFailure lastFailure; // of the last attempt that failed
    bool attemptsUsedUp = false; // the last failure was worth another attempt, and none was left
};

class CDownloadJob : public IDownloadCallback {
public:
    CDownloadJob(std::wstring url, std::wstring localPath);
    ~CDownloadJob();
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    // What the file must be. A file already at the local path with this
    // SHA-256 is taken as it is, without a request.
    void Expect(ExpectedFile expected);
    // Downloads into partialPath, with a record of the download beside it
    // (partialPath + ".record"), and gives the file the local path (through its
    // handle) only when it is complete and verified. A partial file of an
    // earlier run for the same address and expectation is continued when the
    // expectation has a SHA-256 (which then vouches for the earlier bytes too).
    void UsePartialFile(std::wstring partialPath);
    // Other addresses of the same file ("mirrors"), tried in order when one
    // cannot deliver it: its attempts are used up, or it answers 403, 404 or
    // 410, or its certificate is refused. With an expected SHA-256 the next
    // one continues the bytes the file has (Range, no If-Range: the hash
    // decides at the end); without one it starts from the first byte.
    void AddMirrors(std::vector<std::wstring> mirrors) { m_mirrors = std::move(mirrors); }
    // Space later downloads will need on the same volume, checked with this
    // file's before any byte is written.
    void AlsoNeedSpace(std::uint64_t bytes) noexcept { m_alsoNeeded = bytes; }

    // Asks for the size, creates the file, downloads into it. Non-zero when the
    // size was known (announced, else expected), the file was created and the
    // whole file arrived (and matched what was expected). The file never grows past the expected size
    // (else the announced one): a server that sends more fails the download. Every record goes to callback on this thread;
    // the last one is (Downloading, 0, size). Returns 0 without any report when
    // owner is null.
    int Run(IDownloadJobOwner* owner, DownloadProgressCallback callback);

    DownloadFailure Failure() const noexcept { return m_failure; }
    const DiskShortage& Shortage() const noexcept { return m_shortage; }
    // After a successful Run: the file at the local path, the very file that
    // was written and checked, open for reading; nobody can write, rename or
    // delete it while it is held.
    UniqueFile TakeVerifiedFile() noexcept { return std::move(m_verifiedFile); }

    // Writes the known size into info and passes it on.
    void OnStatus(DownloadStatusInfo& info) override;

private:
    // What one attempt came to.
    enum class Attempt { Done, Again, Stop };

    bool Download(CancelRequest& cancel, DownloadStatusInfo& info);
    bool TakePresentFile();
    void ResumeEarlierRun(FetchState& state);
    bool FetchFromAnyAddress(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state);
    bool Fetch(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state);
    bool SwitchToNextAddress(CancelRequest& cancel, FetchState& state);
    Attempt AskForSize(CancelRequest& cancel, DownloadStatusInfo& info, FetchState& state, int attempt,
                       std::optional<DWORD>& retryAfter);
    bool PrepareFile(FetchState& state);
    Attempt TransferOnce(CancelRequest& cancel, FetchState& state, int attempt, std::optional<DWORD>& retryAfter);
    bool WaitForAttempt(CancelRequest& cancel, DownloadStatusInfo& info, int attempt,
                        std::optional<DWORD> retryAfterSeconds);
    bool Verify(FetchState& state, bool fetchedBefore, std::wstring& digest);
    void StartAgain(FetchState& state);
    bool HasRoomFor(std::uint64_t bytes);
    void WriteRecord(const FetchState& state, const std::wstring& validator);
    // The size the file must end with: the expected one, else the announced one.
    std::uint64_t WholeSize() const { return m_expected.size.value_or(m_announcedSize.value_or(0)); }
    // The most bytes the file may hold: the expected size, else the announced one.
    std::optional<std::uint64_t> SizeLimit() const;
    void Discard(FetchState& state);
    bool Complete(FetchState& state, const std::wstring& digest);
    void LogWrittenFile() const;

    std::wstring m_strUrl; // the address fetched now: the first one, then each mirror in turn
    std::wstring m_firstUrl; // names the download in its partial record, whichever address served it
    std::vector<std::wstring> m_mirrors;
    std::size_t m_nextMirror = 0;
    std::wstring m_strLocalPath;
    std::wstring m_strPartialPath;
    ExpectedFile m_expected;
    std::uint64_t m_alsoNeeded = 0;
    std::int64_t m_nTotal = 0;
    // The whole length the first size query announced: the most a file without
    // an expected size may hold, whatever later replies say.
    std::optional<std::uint64_t> m_announcedSize;
    IDownloadJobOwner* m_pOwner = nullptr;
    DownloadProgressCallback m_callback;
    DownloadFailure m_failure = DownloadFailure::None;
    bool m_aborted = false; // the file refused a write: the job ends as Aborted
    DiskShortage m_shortage;
    UniqueFile m_verifiedFile;
};

} // namespace kelm
