// Version arithmetic, decimal conversion and the install decision.

#include <gtest/gtest.h>

#include <limits>

#include "config/decimal.h"
#include "config/installer_config.h"
#include "config/version_check.h"

namespace kelm {
namespace {

TEST(Decimal, ReadsLikeTheRuntimesWtol)
{
    const struct {
        const wchar_t* text;
        int32_t value;
    } cases[] = {
        {L"1041", 1041},         {L"  \t\r\n 42", 42},   {L"+7", 7},
        {L"-1", -1},             {L"12abc", 12},         {L"abc", 0},
        {L"", 0},                {L" - 5", 0},           {L"--5", 0},
        {L"2147483647", std::numeric_limits<int32_t>::max()},
        {L"2147483648", std::numeric_limits<int32_t>::max()},
        {L"99999999999999999999999", std::numeric_limits<int32_t>::max()},
        {L"-2147483648", std::numeric_limits<int32_t>::min()},
        {L"-2147483649", std::numeric_limits<int32_t>::min()},
        {L"0x10", 0},            {L"1 000", 1},          {L"\u0661\u0662", 0}, // Arabic-Indic digits are not digits here
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, ParseLeadingInt32(c.text)) << std::wstring(c.text).size() << " characters";
}

TEST(ProductVersionParse, Cases)
{
    const struct {
        const wchar_t* text;
        ProductVersion expected; // revision, build, minor, major
    } cases[] = {
        {L"8.0.1.12", {12, 1, 0, 8}},
        {L"8.0.1", {}},                  // shorter than 7 characters
        {L"10.10.10", {}},               // three parts
        {L"8..0.1.12", {12, 1, 0, 8}},   // empty parts skipped
        {L".8.0.1.12.", {12, 1, 0, 8}},
        {L"8.0.1.-1", {4294967295u, 1, 0, 8}},
        {L"1.2.3.4.5", {}},              // five parts
        {L"a.b.c.d.e", {}},
        {L"x1.2y.3.4z", {4, 3, 2, 0}},   // leading digits of each part
        {L"4294967295.0.0.0", {0, 0, 0, 2147483647u}}, // clamped like _wtol
        {L"", {}},
    };
    for (const auto& c : cases) {
        const ProductVersion v = ParseProductVersion(c.text);
        EXPECT_EQ(c.expected, v) << "text of " << std::wstring(c.text).size() << " characters: " << v.major << "."
                                 << v.minor << "." << v.build << "." << v.revision;
    }
}

TEST(IsNewerVersion, ComparesMajorMinorRevisionOnly)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool newer;
    } cases[] = {
        {L"8.1.0.0", L"8.0.9.9", true},
        {L"8.0.9.0", L"8.0.1.0", false}, // third component ignored
        {L"8.0.5.1", L"8.0.1.1", false},
        {L"8.0.0.2", L"8.0.0.1", true},
        {L"8.0.0.1", L"8.0.0.1", false}, // equal is not newer
        {L"9.0.0.0", L"8.9.9.9", true},
        {L"8.0.0.1", L"9.0.0.0", false},
        {L"8.0.1.-1", L"8.0.1.5", true}, // -1 is the largest unsigned part
        {L"8.0.0.1", L"", true},         // empty parses as zero
        {L"", L"8.0.0.1", false},
        {L"", L"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.newer, IsNewerVersion(c.a, c.b)) << std::string(c.a, c.a + wcslen(c.a)) << " vs "
                                                     << std::string(c.b, c.b + wcslen(c.b));
}

struct DecisionCase {
    const char* description;
    bool productInstalled;
    bool relatedInstalled;
    InstalledProductInfo installed;
    int32_t standalone;
    const wchar_t* targetVersion;
    const wchar_t* freshMinClient;
    const wchar_t* patchMinClient;
    VersionCheckResult expected;
};

class DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionTest, Evaluates)
{
    const DecisionCase& c = GetParam();
    InstallerConfig config;
    config.manifest.full_name = L"Zunder Pro 8";
    config.manifest.web_installer_version = L"2.0.0.5";
    config.manifest.standalone = c.standalone;
    config.manifest.targetVersion = c.targetVersion;
    config.manifest.freshRelease.min_web_installer_version = c.freshMinClient;
    config.manifest.patchRelease.min_web_installer_version = c.patchMinClient;
    config.installedProduct = c.installed;
    EXPECT_EQ(c.expected, EvaluateVersionCheck(config, c.productInstalled, c.relatedInstalled)) << c.description;
}

const InstalledProductInfo kOld{L"8.0.0.1", L"Zunder Pro 8", L"C:\\Zunder"};
const InstalledProductInfo kSame{L"8.0.2.3", L"zunder PRO 8", L"C:\\Zunder"};
const InstalledProductInfo kOther{L"8.0.0.1", L"Zunder Home 8", L"C:\\Zunder"};
const InstalledProductInfo kNameOnly{L"", L"Zunder Pro 8", L""};
const InstalledProductInfo kVersionOnly{L"8.0.0.1", L"", L""};
const InstalledProductInfo kNothing{};

INSTANTIATE_TEST_SUITE_P(
    Table, DecisionTest,
    ::testing::Values(
        DecisionCase{"fresh, client new enough", false, false, kNothing, 0, L"8.0.2.3", L"2.0.0.5", L"", Proceed},
        DecisionCase{"fresh, client too old", false, false, kNothing, 0, L"8.0.2.3", L"2.0.0.6", L"", ClientTooOld},
        DecisionCase{"fresh, minimum only newer in build", false, false, kNothing, 0, L"", L"2.0.9.5", L"", Proceed},
        DecisionCase{"fresh, no minimum", false, false, kNothing, 0, L"", L"", L"9.9.9.9", Proceed},
        DecisionCase{"fresh standalone ignores minimum", false, false, kNothing, 1, L"", L"9.0.0.0", L"", Proceed},
        DecisionCase{"installed, nothing known", true, false, kNothing, 0, L"8.0.2.3", L"", L"", NoInstalledInfo},
        DecisionCase{"related, nothing known", false, true, kNothing, 0, L"8.0.2.3", L"", L"", NoInstalledInfo},
        DecisionCase{"installed, other name", true, false, kOther, 0, L"8.0.2.3", L"", L"", OtherProductInstalled},
        DecisionCase{"installed, version only: name differs", true, false, kVersionOnly, 0, L"8.0.2.3", L"", L"",
                     OtherProductInstalled},
        DecisionCase{"installed, same version (name case differs)", true, false, kSame, 0, L"8.0.2.3", L"", L"",
                     AlreadyInstalled},
        DecisionCase{"installed, newer only in build", true, false, kSame, 0, L"8.0.9.3", L"", L"", AlreadyInstalled},
        DecisionCase{"installed, unknown version counts as oldest", true, false, kNameOnly, 0, L"8.0.0.0", L"", L"",
                     Proceed},
        DecisionCase{"installed older, update allowed", true, false, kOld, 0, L"8.0.2.3", L"9.0.0.0", L"2.0.0.5",
                     Proceed},
        DecisionCase{"installed older, client too old for update", true, false, kOld, 0, L"8.0.2.3", L"", L"2.1.0.0",
                     ClientTooOld},
        DecisionCase{"related older, client too old for update", false, true, kOld, 0, L"8.0.2.3", L"", L"3.0.0.0",
                     ClientTooOld},
        DecisionCase{"installed older, standalone", true, false, kOld, 1, L"8.0.2.3", L"", L"9.0.0.0", Proceed}));

} // namespace
} // namespace kelm
