#include <gtest/gtest.h>

#include "config/localised_format.h"

using namespace kelm;

TEST(LocalisedFormat, FillsOnlyTheExpectedConversions)
{
    struct Case { const wchar_t* format; const wchar_t* expected; };
    const Case texts[] = {
        {L"%s is ready", L"Zunder is ready"},
        {L"100%% %s", L"100% Zunder"},
        {L"%s und %s", L"Zunder und Zunder"},
        {L"[%8s]", L"[  Zunder]"},
        {L"%d is ready", L"Zunder is ready"}, // a number conversion: the built-in text
        {L"%n%s", L"Zunder is ready"},
        {L"trailing %", L"Zunder is ready"},
        {L"no name", L"no name"},
    };
    for (const Case& c : texts)
        EXPECT_EQ(FormatWithText(c.format, L"Zunder", L"%s is ready"), c.expected) << c.format;

    const Case numbers[] = {
        {L"%02d:%02d", L"07:05"},
        {L"%d-%i", L"7-5"},
        {L"%-3d|", L"7  |"},
        {L"%+d %u", L"+7 5"},
        {L"%02d %02d %02d", L"07 mins 05 secs"}, // one conversion too many
        {L"%s", L"07 mins 05 secs"},
        {L"%x", L"07 mins 05 secs"},
    };
    for (const Case& c : numbers)
        EXPECT_EQ(FormatWithNumbers(c.format, {7, 5}, L"%02d mins %02d secs"), c.expected) << c.format;
    EXPECT_EQ(FormatWithNumbers(L"%03d", {-4}, L""), L"-04");
}
