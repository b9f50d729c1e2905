// The record kept beside a partial download, as text: what a later run accepts
// and what it refuses, without files.
#include <gtest/gtest.h>

#include "transfer/partial_record.h"

namespace kelm {
namespace {

const std::wstring kSha(64, L'a');

TEST(PartialRecord, WhatIsWrittenReadsBackTheSame)
{
    const PartialRecord records[] = {
        {L"https://dl.example/p.msi?a=1&b=\u00e9", L"\"e1\"", 150000, 300000, kSha},
        {L"http://dl.example/p.exe", L"Wed, 21 Oct 2026 07:28:00 GMT", 0, std::nullopt, L""},
        {L"u", L"", 5000000000000ull, 1, L""}, // beyond 32 bits
    };
    for (const PartialRecord& record : records) {
        const std::optional<std::string> text = FormatPartialRecord(record);
        ASSERT_TRUE(text.has_value());
        const std::optional<PartialRecord> back = ParsePartialRecord(*text);
        ASSERT_TRUE(back.has_value()) << *text;
        EXPECT_EQ(back->url, record.url);
        EXPECT_EQ(back->validator, record.validator);
        EXPECT_EQ(back->received, record.received);
        EXPECT_EQ(back->size, record.size);
        EXPECT_EQ(back->sha256, record.sha256);
    }
}

TEST(PartialRecord, TextsThatAreNoRecordAreRefused)
{
    const struct {
        const char* text;
        bool accepted;
        std::uint64_t received;
    } cases[] = {
        {"url=u\nreceived=5\n", true, 5},
        {"url=u\nreceived=5", true, 5},                       // no last line break
        {"received=5\nurl=u\nunknown=x\nno equals sign\n", true, 5}, // order and strange lines do not matter
        {"url=u\n", false, 0},                                // nothing received is no record
        {"received=5\n", false, 0},                           // nor is one without its address
        {"url=u\nreceived=-1\n", false, 0},
        {"url=u\nreceived=5 \n", false, 0},
        {"url=u\nreceived=99999999999999999999\n", false, 0}, // more digits than any count
        {"url=u\nreceived=\n", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        const std::optional<PartialRecord> parsed = ParsePartialRecord(c.text);
        EXPECT_EQ(parsed.has_value(), c.accepted) << testing::PrintToString(std::string(c.text));
        if (parsed && c.accepted) {
            EXPECT_EQ(parsed->received, c.received);
        }
    }
    // A size that is not a number is no size; the record stands.
    const std::optional<PartialRecord> sizeless = ParsePartialRecord("url=u\nreceived=1\nsize=big\n");
    ASSERT_TRUE(sizeless.has_value());
    EXPECT_EQ(sizeless->size, std::nullopt);
}

TEST(PartialRecord, ValuesThatWouldBreakTheTextAreNotWritten)
{
    EXPECT_FALSE(FormatPartialRecord({L"http://a/\nreceived=9", L"", 1, std::nullopt, L""}));
    EXPECT_FALSE(FormatPartialRecord({L"http://a/", L"\"e\"\r\nurl=http://b/", 1, std::nullopt, L""}));
    EXPECT_FALSE(FormatPartialRecord({std::wstring(70000, L'a'), L"", 1, std::nullopt, L""}));
}

} // namespace
} // namespace kelm
