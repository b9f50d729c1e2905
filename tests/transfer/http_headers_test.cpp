// The reply headers the HTTP client reads, as tables of the texts servers and
// proxies send: no server needed.
#include <gtest/gtest.h>

#include <windows.h>

#include "transfer/http_headers.h"

namespace kelm {
namespace {

TEST(HttpHeaders, ContentLengthIsAPlainNumberOfAnySize)
{
    const struct {
        const wchar_t* text;
        std::optional<std::uint64_t> length;
    } cases[] = {
        {L"0", 0},
        {L"1167360", 1167360},
        {L"3000000000", 3000000000ull},
        {L"1844674407370955161", 1844674407370955161ull},
        {L"18446744073709551615", std::nullopt}, // the 64-bit edge is refused, not wrapped
        {L"99999999999999999999", std::nullopt},
        {L"", std::nullopt},
        {L"-1", std::nullopt},
        {L"12 ", std::nullopt},
        {L"1e6", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseContentLength(c.text), c.length) << testing::PrintToString(std::wstring(c.text));
}

TEST(HttpHeaders, ContentRangeNamesWhereThePartStartsAndTheWholeSize)
{
    const struct {
        const wchar_t* text;
        bool valid;
        std::uint64_t first;
        std::optional<std::uint64_t> total;
    } cases[] = {
        {L"bytes 100-199/200", true, 100, 200},
        {L"bytes 0-0/1", true, 0, 1},
        {L"bytes 150000-299999/*", true, 150000, std::nullopt},
        {L"bytes 5000000000-5000000009/5000000010", true, 5000000000ull, 5000000010ull},
        {L"bytes 200-100/300", false, 0, std::nullopt},  // last before first
        {L"bytes 100-199/199", false, 0, std::nullopt},  // total not beyond last
        {L"bytes 100-199/200x", false, 0, std::nullopt}, // anything after it
        {L"bytes */200", false, 0, std::nullopt},        // the form of a 416
        {L"items 100-199/200", false, 0, std::nullopt},
        {L"bytes 100-/200", false, 0, std::nullopt},
        {L"", false, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
        const std::optional<ContentRange> range = ParseContentRange(c.text);
        ASSERT_EQ(range.has_value(), c.valid);
        if (range) {
            EXPECT_EQ(range->first, c.first);
            EXPECT_EQ(range->total, c.total);
        }
    }
}

TEST(HttpHeaders, AValidatorIsAStrongETagElseTheLastModifiedDate)
{
    const wchar_t* date = L"Mon, 07 Dec 2026 08:00:00 GMT";
    EXPECT_EQ(ChooseValidator(L"\"zunder-8.0.1\"", date), L"\"zunder-8.0.1\"");
    EXPECT_EQ(ChooseValidator(L"W/\"weak\"", date), date) << "a weak ETag may not name a range";
    EXPECT_EQ(ChooseValidator(L"", date), date);
    EXPECT_EQ(ChooseValidator(L"", L""), L"");
}

TEST(HttpHeaders, RetryAfterIsSecondsOrADate)
{
    SYSTEMTIME nowSystem{2026, 12, 5, 11, 12, 0, 0, 0}; // Friday, 11 December 2026, 12:00:00 UTC
    FILETIME now{};
    ASSERT_TRUE(SystemTimeToFileTime(&nowSystem, &now));
    const struct {
        const wchar_t* text;
        std::optional<DWORD> seconds;
    } cases[] = {
        {L"2", 2},
        {L"0", 0},
        {L"120", 120},
        {L"Fri, 11 Dec 2026 12:00:30 GMT", 30},
        {L"Fri, 11 Dec 2026 11:59:00 GMT", 0}, // passed
        {L"", std::nullopt},
        // Texts that are neither are left to the system's date parser, which
        // under Wine takes almost anything as some date.
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRetryAfter(c.text, now), c.seconds) << testing::PrintToString(std::wstring(c.text));
}

} // namespace
} // namespace kelm
