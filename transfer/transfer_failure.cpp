#include "transfer/transfer_failure.h"

#include <wininet.h>

#include <algorithm>
#include <iterator>

namespace kelm {

FailureKind KindOfStatus(DWORD status) noexcept
{
    if (status >= 200 && status <= 299)
        return FailureKind::None;
    if (status == 408 || status == 429 || (status >= 500 && status <= 599))
        return FailureKind::ServerBusy;
    if (status == 401 || status == 407)
        return FailureKind::NeedsCredentials;
    return FailureKind::NotThere;
}

bool IsCertificateFailure(DWORD error) noexcept
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

bool IsDiskFullError(DWORD error) noexcept
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

FailureKind KindOfSystemError(DWORD error) noexcept
{
    return IsCertificateFailure(error) ? FailureKind::Certificate : FailureKind::NoReply;
}

namespace {

// Each step's name in the log, and the text of a transfer's final report when it failed there.
struct StepWords {
    const wchar_t* name;
    const wchar_t* report;
};
constexpr StepWords kStepWords[] = {
    {L"", L""},
    {L"InternetConnect", L"InternetConnect Failed."},
    {L"HttpOpenRequest", L"HttpOpenRequest Failed."},
    {L"HttpSendRequest", L"HttpSendRequest Failed."},
    {L"InternetReadFile", L"Internet download file Failed"},
    {L"WriteFile", L"Internet download file Failed"},
};

const StepWords& WordsOf(TransferStep step) noexcept
{
    const auto index = static_cast<std::size_t>(step);
    return kStepWords[index < std::size(kStepWords) ? index : 0];
}

} // namespace

const wchar_t* StepName(TransferStep step) noexcept
{
    return WordsOf(step).name;
}

const wchar_t* StepReportText(TransferStep step) noexcept
{
    return WordsOf(step).report;
}

std::wstring DescribeFailure(const TransferFailure& failure)
{
    const std::wstring error = L"(error " + std::to_wstring(failure.systemError) + L")";
    switch (failure.kind) {
    case FailureKind::None:
        return L"no failure";
    case FailureKind::InvalidAddress:
        return L"not an address";
    case FailureKind::ServerBusy:
    case FailureKind::NotThere:
    case FailureKind::RangeRefused:
        return L"HTTP " + std::to_wstring(failure.httpStatus.value_or(0));
    case FailureKind::BrokenBody:
        return L"the body broke off " + error;
    case FailureKind::NoLength:
        return L"no length in the reply";
    case FailureKind::TooLong:
        return L"more than the file may have";
    case FailureKind::LocalFile:
        return L"the local file could not be written " + error;
    case FailureKind::NeedsCredentials:
        return failure.httpStatus == 407u ? L"HTTP 407: the proxy asks for credentials"
                                          : L"HTTP 401: the server asks for credentials";
    case FailureKind::Certificate:
    case FailureKind::NoReply:
        break;
    }
    return L"no reply " + error;
}

bool IsWorthRetrying(FailureKind kind) noexcept
{
    switch (kind) {
    case FailureKind::NoReply:
    case FailureKind::ServerBusy:
    case FailureKind::RangeRefused:
    case FailureKind::BrokenBody:
        return true;
    default:
        return false;
    }
}

DWORD WaitBeforeAttempt(int attempt, DWORD unit, std::optional<DWORD> retryAfterSeconds) noexcept
{
    if (retryAfterSeconds)
        return std::min(*retryAfterSeconds, kMaxRetryAfterSeconds) * 1000;
    return unit * (1u << std::clamp(attempt - 2, 0, kMaxDownloadAttempts - 2));
}

} // namespace kelm
