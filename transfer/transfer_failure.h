#pragma once
// Why a request or a file transfer did not deliver: one record for every
// failure of the transfer layer, and the rules that decide whether another
// attempt is worth it and how long to wait for it. Pure functions: every
// case can be tested without a server.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kelm {

enum class FailureKind : std::int32_t {
    None = 0,
    InvalidAddress, // the URL could not be read
    Certificate,    // the server's certificate was refused
    NoReply,        // no connection, no reply, or the reply could not be read
    ServerBusy,     // 408, 429 or 5xx: the server may answer the next time
    NotThere,       // any other error status (403, 404, 3xx the client did not follow)
    RangeRefused,   // the rest of the file was asked for and the server cannot send it (416)
    BrokenBody,     // a success status, and the body broke off or was not the part asked for
    NoLength,       // a success status without a length, where the size was asked for
    TooLong,        // the reply announced or sent more than the file may have
    LocalFile,      // the local file could not be written (or no memory was left)
    NeedsCredentials, // 407 from the proxy or 401 from the server, and none were given
};

// The step of a request that failed, as the log names it.
enum class TransferStep : std::int32_t { None = 0, Connect, OpenRequest, SendRequest, ReadBody, WriteFile };

struct TransferFailure {
    FailureKind kind = FailureKind::None;
    DWORD systemError = 0;             // the Windows error of the failed step, 0 when none
    std::optional<DWORD> httpStatus;   // the status of the reply, when one came
    TransferStep step = TransferStep::None;

    explicit operator bool() const noexcept { return kind != FailureKind::None; }
};

// The kind of failure a reply's status means (None for 2xx).
FailureKind KindOfStatus(DWORD status) noexcept;
// The kind of failure of a step that got no usable reply: a refused
// certificate, else no reply.
FailureKind KindOfSystemError(DWORD error) noexcept;
bool IsCertificateFailure(DWORD error) noexcept;
// A write refused because the volume is full.
bool IsDiskFullError(DWORD error) noexcept;

// "InternetConnect", "HttpOpenRequest", "HttpSendRequest", "InternetReadFile", "WriteFile".
const wchar_t* StepName(TransferStep step) noexcept;
// The text of a transfer's final report when the step failed: "InternetConnect
// Failed.", "HttpOpenRequest Failed.", "HttpSendRequest Failed.", "Internet
// download file Failed" (the reply, its body and its writing); empty for no step.
const wchar_t* StepReportText(TransferStep step) noexcept;

// A few words for the log: "HTTP 404", "no reply (error 12029)", ...
std::wstring DescribeFailure(const TransferFailure& failure);

// Worth asking again: the line or the server may be better in a moment. A
// refused certificate, an address that cannot be read, a status that says the
// file is not there or a file too long will be the same the next time.
bool IsWorthRetrying(FailureKind kind) noexcept;

// Attempts of one file (each fetch of it from the start has as many), and the
// longest wait a server's Retry-After is granted.
inline constexpr int kMaxDownloadAttempts = 5;
inline constexpr DWORD kMaxRetryAfterSeconds = 60;
// The unit of the waits between attempts (milliseconds).
inline constexpr DWORD kDefaultRetryWaitUnit = 1000;

// The wait before attempt `attempt` (2 to kMaxDownloadAttempts), in
// milliseconds: 1, 2, 4, 8 units, or what the server asked for (Retry-After,
// up to kMaxRetryAfterSeconds).
DWORD WaitBeforeAttempt(int attempt, DWORD unit, std::optional<DWORD> retryAfterSeconds) noexcept;

} // namespace kelm
