#pragma once
// The HTTP client: the only code of the installer that talks to the network.
// Three blocking request operations over WinINet, meant for worker threads, and
// the process-wide session they share.
//
// Threads: each operation blocks the thread that calls it. The size query and
// the file transfer run their WinINet calls on a request thread of their own
// (transfer/detached_request) so that the caller can walk away the moment it
// cancels; a file transfer's blocks go to the disk on a writer thread
// (transfer/block_writer). Progress reports and the result come on the
// caller's thread only. After a walk-away the request thread touches nothing of
// the caller's: the transfer's WriteFence is closed before the operation returns.

#include "transfer/transfer_failure.h"

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kelm {

class CDownloadFile;
class Sha256;

// A buffer of a file download (two take turns: one fills while the other is
// written): its largest read and its largest write. And the most often a
// download reports progress (milliseconds).
inline constexpr DWORD kFileReadSize = 1024 * 1024;
inline constexpr ULONGLONG kProgressInterval = 100;
// The pace progress receivers were built for: a transfer's Cancelled report
// comes this long after it stopped (milliseconds).
inline constexpr DWORD kCancelledReportDelay = 500;

// The process-wide WinINet session; null until OpenSession.
extern HINTERNET g_hInternet;
// Sent as "Referer" with every request; no header when empty.
inline constexpr std::wstring_view g_strReferer = L"https://www.kelmware.com/";

inline constexpr wchar_t kInternetAgent[] = L"Mirelle Web Installer Client";

// Opens the session (agent "Mirelle Web Installer Client", the proxy UseProxy
// gave, else the system's settings) when it is not open yet; true when it is
// open afterwards. Safe from any thread and from static initialisation.
bool OpenSession();
// This run's proxy for the sessions opened afterwards: "host:port" (every
// request goes through it), "direct" (none), or empty (the system's settings).
void UseProxy(std::wstring proxy);
// Closes the session once no request thread is running any more (waiting up to
// kSessionCloseWait for them; with one still running it stays open for the end
// of the process, and later calls do not wait again); requests made afterwards
// fail to connect until it is opened again.
inline constexpr DWORD kSessionCloseWait = 2000;
void CloseSession();

// Who asks the user for the credentials a proxy (407) or a server (401) wants.
// Called on the requesting thread with the request whose reply asked for them
// (its body read); shows the system's credentials dialog and returns its
// answer: ERROR_INTERNET_FORCE_RETRY (send again with them), ERROR_NOT_SUPPORTED
// (nobody could be asked), anything else (the user said no: ERROR_CANCELLED on
// Windows, 0 under Wine). Without a prompt
// (a silent run) such a reply stands as the request's failure. Credentials
// given once are sent with every later request of the run.
using CredentialsPrompt = DWORD (*)(HINTERNET request) noexcept;
void SetCredentialsPrompt(CredentialsPrompt prompt) noexcept;

// How long a connect, a send or a receive may wait for the other side before
// the request fails (milliseconds); applies to the session open now and to later
// ones. A body that stops arriving for that long fails like a broken transfer.
inline constexpr DWORD kDefaultTransferTimeout = 30000;
void SetTransferTimeout(DWORD milliseconds);

// A body that brings fewer than kMinimumSpeedBytes in a window of this many
// milliseconds (the time paused aside) has broken off, like a stalled one: a
// trickle would never meet the receive timeout. Settable for tests.
inline constexpr std::uint64_t kMinimumSpeedBytes = 1024;
inline constexpr DWORD kDefaultMinimumSpeedWindow = 60000;
void SetMinimumSpeedWindow(DWORD milliseconds);

// What has arrived reaches the file at least this often (milliseconds), full
// buffer or not: a run that ends on a slow line loses no more than that.
inline constexpr ULONGLONG kFlushInterval = 2000;

// The caller's wish to stop or to hold a transfer; polled by the transfer's thread.
class ICancelRequest {
public:
    virtual int IsCancelled() = 0;
    virtual int IsPaused() = 0;

protected:
    ~ICancelRequest() = default;
};

enum DownloadState : std::int32_t {
    Idle = 0,
    Downloading = 2,
    // Ended without cancellation; the operation's result tells success or failure.
    Finished = 3,
    Cancelled = 4,
    // Never started, or broken off by an exception (download job only).
    Aborted = 5,
};

struct DownloadStatusInfo {
    std::int32_t status = Idle;  // DownloadState
    std::uint64_t received = 0;
    std::uint64_t total = 0;      // 0 while unknown; DownloadToFile leaves it 0
    std::uint32_t errorCode = 0;  // GetLastError() or HTTP status of the failure
    std::wstring message;         // failure text, empty when none
};

// Receives progress records on the downloading thread; may modify the record.
class IDownloadCallback {
public:
    virtual void OnStatus(DownloadStatusInfo& info) = 0;

protected:
    ~IDownloadCallback() = default;
};

// Every request writes one line to the run's log (runlog/run_log.h).

// Size the server announces for url (Content-Length of a HEAD reply), or 0 when
// the request fails, the status is 403, 404 or outside 200..500, or no length
// comes. A server that refuses HEAD (405, 501) is asked with a GET for the
// first byte only (the whole length from its Content-Range; a 200 reply's
// Content-Length), whose body is not read. Lengths above 2147483647 answer
// 2147483647. A cancellation (cancel may be null) ends it at once with 0.
std::int64_t QueryRemoteFileSize(const std::wstring& url, ICancelRequest* cancel = nullptr);

// The size query with all it found out, for a caller that decides whether to ask again.
struct SizeReply {
    std::int64_t size = 0;               // what QueryRemoteFileSize returns
    std::optional<std::uint64_t> length; // the announced length, whole (size stops at 2^31 - 1)
    // Why the size cannot be used: set whenever size is 0 (but for a
    // cancellation), and for an error status that came with a length.
    TransferFailure failure;
    bool cancelled = false;
    std::wstring validator;              // strong ETag, else Last-Modified, of the reply
    std::optional<DWORD> retryAfterSeconds;
};
SizeReply QueryRemoteFile(const std::wstring& url, ICancelRequest* cancel = nullptr);

// Fetches url into file (written from offset 0) in large reads, with a progress
// report at most every kProgressInterval while bytes arrive, one when the body
// has ended, and one final report (Finished or Cancelled) on every path.
// True only when the whole body arrived with a 2xx status and no cancellation.
// A cancellation ends it at once, also while WinINet waits for a silent server.
// A file that refuses a write ends the transfer (a LocalFile failure with the
// Windows error). Exceptions of the callback pass through, with every handle closed.
bool DownloadToFile(ICancelRequest& cancel, const std::wstring& url, CDownloadFile& file,
                    IDownloadCallback* callback);

// Where a file transfer goes on: the bytes the file holds already, and what
// names the reply they came from (If-Range). From offset 0 the whole body is asked for.
struct ResumePoint {
    std::uint64_t offset = 0;
    std::wstring validator;
};

// What one file transfer found out.
struct TransferOutcome {
    bool complete = false;              // 2xx, every announced byte arrived, not cancelled
    bool cancelled = false;
    bool restarted = false;             // the rest was asked for and the whole file came (200)
    std::optional<DWORD> status;        // HTTP status of the reply, when one came
    TransferFailure failure;            // when not complete and not cancelled
    std::uint64_t fileSize = 0;         // bytes the file holds afterwards, from its start
    std::optional<std::uint64_t> totalSize; // size of the whole file, as the reply told it
    std::wstring validator;             // strong ETag, else Last-Modified, of the reply
    std::optional<DWORD> retryAfterSeconds;
};

// DownloadToFile from a resume point: with an offset it asks for
// "Range: bytes=<offset>-" (and "If-Range: <validator>" when there is one). A
// 206 from that offset goes on after the file's bytes; a 200 starts the file
// (and hash) again from 0; anything else fails. Every byte written goes to
// hash (may be null) in file order. Reports count the file's bytes, so they go
// on from the offset. With a size limit the file never holds more than that
// many bytes: a reply that announces more is not read, and a body that goes on
// past it ends the transfer (FailureKind::TooLong) with nothing written beyond it.
bool TransferToFile(ICancelRequest& cancel, const std::wstring& url, CDownloadFile& file, IDownloadCallback* callback,
                    const ResumePoint& from, Sha256* hash, TransferOutcome& outcome,
                    std::optional<std::uint64_t> sizeLimit = std::nullopt);

// Where DownloadToStream puts a document's bytes as they arrive: a binary output
// byte stream owned by the caller (a file, memory).
class IByteSink {
public:
    // False: the bytes could not be kept, and the document is lost.
    virtual bool Write(const char* data, std::size_t size) = 0;

protected:
    ~IByteSink() = default;
};

// The bytes kept in memory.
class StringSink final : public IByteSink {
public:
    bool Write(const char* data, std::size_t size) override
    {
        text.append(data, size);
        return true;
    }
    std::string text;
};

// Fetches a small document into stream. False when the request could not be
// made, was cancelled, the stream refused bytes, or the reply's status is not
// 2xx (an error page may then have landed in the stream; it is not the
// document). No progress reports. A document that announces or brings more
// than maxBytes is refused as soon as that shows, without reading on.
bool DownloadToStream(ICancelRequest& cancel, const std::wstring& url, IByteSink& stream,
                      std::uint64_t maxBytes = UINT64_MAX);

} // namespace kelm
