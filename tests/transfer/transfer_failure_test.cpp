// The rules a download follows after a failure, as tables: which replies and
// errors are worth another attempt, and how long the waits between attempts are.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "transfer/transfer_failure.h"

namespace kelm {
namespace {

TEST(TransferFailure, StatusesAndErrorsDecideWhetherToAskAgain)
{
    const struct {
        const char* what;
        FailureKind kind;
        bool again;
    } cases[] = {
        {"200", KindOfStatus(200), false}, // no failure at all
        {"206", KindOfStatus(206), false},
        {"408 request timeout", KindOfStatus(408), true},
        {"429 too many requests", KindOfStatus(429), true},
        {"500", KindOfStatus(500), true},
        {"503", KindOfStatus(503), true},
        {"599", KindOfStatus(599), true},
        {"600", KindOfStatus(600), false},
        {"404", KindOfStatus(404), false},
        {"403", KindOfStatus(403), false},
        {"401", KindOfStatus(401), false},
        {"416 without an offset", KindOfStatus(416), false},
        {"304", KindOfStatus(304), false},
        {"cannot connect", KindOfSystemError(ERROR_INTERNET_CANNOT_CONNECT), true},
        {"timeout", KindOfSystemError(ERROR_INTERNET_TIMEOUT), true},
        {"connection reset", KindOfSystemError(ERROR_INTERNET_CONNECTION_RESET), true},
        {"unknown CA", KindOfSystemError(ERROR_INTERNET_INVALID_CA), false},
        {"other host's certificate", KindOfSystemError(ERROR_INTERNET_SEC_CERT_CN_INVALID), false},
        {"expired certificate", KindOfSystemError(ERROR_INTERNET_SEC_CERT_DATE_INVALID), false},
        {"client certificate wanted", KindOfSystemError(ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED), false},
        {"range refused", FailureKind::RangeRefused, true},
        {"body broke off", FailureKind::BrokenBody, true},
        {"not an address", FailureKind::InvalidAddress, false},
        {"no length", FailureKind::NoLength, false},
        {"too long", FailureKind::TooLong, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWorthRetrying(c.kind), c.again) << c.what;
    EXPECT_EQ(KindOfStatus(200), FailureKind::None);
    EXPECT_EQ(KindOfStatus(404), FailureKind::NotThere);
    EXPECT_EQ(KindOfSystemError(ERROR_INTERNET_INVALID_CA), FailureKind::Certificate);
}

TEST(TransferFailure, WaitsDoubleUnlessTheServerNamesOne)
{
    const struct {
        int attempt;
        std::optional<DWORD> retryAfter;
        DWORD wait;
    } cases[] = {
        {2, std::nullopt, 100},  {3, std::nullopt, 200}, {4, std::nullopt, 400}, {5, std::nullopt, 800},
        {2, 0u, 0},              {3, 7u, 7000},          {2, 60u, 60000},        {2, 3600u, 60000},
        {9, std::nullopt, 800}, // never beyond the last attempt's wait
    };
    for (const auto& c : cases)
        EXPECT_EQ(WaitBeforeAttempt(c.attempt, 100, c.retryAfter), c.wait)
            << "attempt " << c.attempt << ", Retry-After " << c.retryAfter.value_or(~0u);
}

TEST(TransferFailure, TheLogNamesTheFailure)
{
    const struct {
        TransferFailure failure;
        const wchar_t* text;
    } cases[] = {
        {{FailureKind::NotThere, 0, 404u, TransferStep::ReadBody}, L"HTTP 404"},
        {{FailureKind::ServerBusy, 0, 503u, TransferStep::ReadBody}, L"HTTP 503"},
        {{FailureKind::NoReply, 12029, std::nullopt, TransferStep::SendRequest}, L"no reply (error 12029)"},
        {{FailureKind::BrokenBody, 12030, 200u, TransferStep::ReadBody}, L"the body broke off (error 12030)"},
        {{FailureKind::NoLength, 0, 200u, TransferStep::ReadBody}, L"no length in the reply"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribeFailure(c.failure), c.text);
    EXPECT_STREQ(StepName(TransferStep::Connect), L"InternetConnect");
    EXPECT_STREQ(StepName(TransferStep::ReadBody), L"InternetReadFile");
    EXPECT_STREQ(StepReportText(TransferStep::SendRequest), L"HttpSendRequest Failed.");
    EXPECT_STREQ(StepReportText(TransferStep::ReadBody), L"Internet download file Failed");
    EXPECT_STREQ(StepReportText(TransferStep::None), L"");
}

} // namespace
} // namespace kelm
