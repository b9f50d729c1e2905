// Version arithmetic, decimal conversion and the install decision.

#include <gtest/gtest.h>

#include <limits>

#include "config/decimal.h"
#include "config/installer_config.h"
#include "config/version_check.h"
#include "config_test_support.h"

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

std::string Descriptor(const std::string& freshMin, const std::string& patchVersion, const std::string& patchMin)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kelmwebinstaller>\n"
           "  <product_code>{5B7C1E2A-0C4D-4F11-9A3B-6D2E8F9A0B1C}</product_code>\n"
           "  <fresh_install>\n    <product_version>8.0.3.0</product_version>\n"
           "    <min_web_installer_version>" + freshMin + "</min_web_installer_version>\n"
           "    <web_installer_download_url>http://127.0.0.1/client/fresh.exe</web_installer_download_url>\n"
           "  </fresh_install>\n  <patch_install>\n"
           "    <product_version>" + patchVersion + "</product_version>\n"
           "    <min_web_installer_version>" + patchMin + "</min_web_installer_version>\n"
           "    <web_installer_download_url>http://127.0.0.1/client/patch.exe</web_installer_download_url>\n"
           "  </patch_install>\n</kelmwebinstaller>\n";
}

const std::string kErrorPage = "<html><head><title>502 Bad Gateway</title></head>"
                               "<body><h1>Bad Gateway</h1></body></html>";
const std::string kNotXml = "502 Bad Gateway: the upstream server did not answer.";
const std::string kPortalPage = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Sign in</title></head>"
                                "<body><form action=\"/login\"><input name=\"user\"/></form></body></html>";
const std::string kBrokenHtml = "<html><body>Service unavailable<br></body></html>";

// The manifest before any descriptor: client 2.0.0.5, standalone_version 8.0.1.0.
void PrepareManifest(InstallerConfig& config, int32_t standalone)
{
    config.manifest.full_name = L"Zunder Pro 8";
    config.manifest.web_installer_version = L"2.0.0.5";
    config.manifest.targetVersion = L"8.0.1.0";
    config.manifest.standalone = standalone;
}

TEST(VersionDescriptor, ReadsIntoTheManifest)
{
    const test::TempFolder folder(L"kelm-config-version");
    const std::filesystem::path file = folder.File(L"version.xml");
    const struct {
        const char* description;
        std::optional<std::string> text; // absent: no file
        bool loaded;
        const wchar_t* targetVersion;
        const wchar_t* freshMin;
        const wchar_t* patchMin;
        const wchar_t* descriptorCode;
    } cases[] = {
        {"complete", Descriptor("2.0.0.5", "8.0.3.1", "2.0.0.6"), true, L"8.0.3.1", L"2.0.0.5", L"2.0.0.6",
         L"{5B7C1E2A-0C4D-4F11-9A3B-6D2E8F9A0B1C}"},
        {"update without product_version keeps standalone_version",
         "<kelmwebinstaller><patch_install><min_web_installer_version>2.0.0.7</min_web_installer_version>"
         "</patch_install></kelmwebinstaller>",
         true, L"8.0.1.0", L"", L"2.0.0.7", L""},
        {"update before first installation is passed",
         "<kelmwebinstaller><product_code>p</product_code><patch_install><product_version>9.0.0.0</product_version>"
         "</patch_install><fresh_install><min_web_installer_version>3.0.0.0</min_web_installer_version>"
         "</fresh_install></kelmwebinstaller>",
         true, L"8.0.1.0", L"3.0.0.0", L"", L"p"},
        // A captive portal's or a proxy's page is no descriptor, however well-formed.
        {"error page that is well-formed XML", kErrorPage, false, L"8.0.1.0", L"", L"", L""},
        {"XHTML login page", kPortalPage, false, L"8.0.1.0", L"", L"", L""},
        {"error page that is not XML", kNotXml, false, L"8.0.1.0", L"", L"", L""},
        {"error page that is not well-formed", kBrokenHtml, false, L"8.0.1.0", L"", L"", L""},
        {"empty file", std::string(), false, L"8.0.1.0", L"", L"", L""},
        {"no file", std::nullopt, false, L"8.0.1.0", L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove(file);
        if (c.text)
            test::WriteBytes(file, *c.text);
        InstallerConfig config;
        PrepareManifest(config, 0);
        EXPECT_EQ(c.loaded, LoadVersionDescriptor(config, file.wstring()));
        EXPECT_EQ(c.targetVersion, config.manifest.targetVersion);
        EXPECT_EQ(c.freshMin, config.manifest.freshRelease.min_web_installer_version);
        EXPECT_EQ(c.patchMin, config.manifest.patchRelease.min_web_installer_version);
        EXPECT_EQ(c.descriptorCode, config.manifest.descriptorProductCode);
    }
    InstallerConfig config;
    EXPECT_FALSE(LoadVersionDescriptor(config, L""));
}

TEST(VersionDescriptor, CompleteDescriptorFillsBothReleases)
{
    const test::TempFolder folder(L"kelm-config-version-2");
    const std::filesystem::path file = folder.File(L"version.xml");
    test::WriteBytes(file, Descriptor("2.0.0.5", "8.0.3.1", "2.0.0.6"));
    InstallerConfig config;
    ASSERT_TRUE(LoadVersionDescriptor(config, file.wstring()));
    const ProductManifest& m = config.manifest;
    EXPECT_EQ(L"8.0.3.0", m.freshRelease.product_version);
    EXPECT_EQ(L"http://127.0.0.1/client/fresh.exe", m.freshRelease.web_installer_download_url);
    EXPECT_EQ(L"8.0.3.1", m.patchRelease.product_version);
    EXPECT_EQ(L"http://127.0.0.1/client/patch.exe", m.patchRelease.web_installer_download_url);
    EXPECT_EQ(L"", m.patchRelease.web_installer_sha256);
}

TEST(VersionDescriptor, ReadsTheNewerClientsHashAfterItsAddress)
{
    const test::TempFolder folder(L"kelm-config-version-hash");
    const std::filesystem::path file = folder.File(L"version.xml");
    std::string text = Descriptor("2.0.0.5", "8.0.3.1", "2.0.0.6");
    const std::string hash = "<web_installer_sha256>" + std::string(64, 'a') + "</web_installer_sha256>";
    text.replace(text.find("</fresh_install>"), 0, hash);
    // Before the address it is passed by the forward-only reader.
    text.replace(text.find("    <web_installer_download_url>http://127.0.0.1/client/patch.exe"), 0,
                 "<web_installer_sha256>bb</web_installer_sha256>");
    test::WriteBytes(file, text);
    InstallerConfig config;
    ASSERT_TRUE(LoadVersionDescriptor(config, file.wstring()));
    EXPECT_EQ(std::wstring(64, L'a'), config.manifest.freshRelease.web_installer_sha256);
    EXPECT_EQ(L"http://127.0.0.1/client/patch.exe", config.manifest.patchRelease.web_installer_download_url);
    EXPECT_EQ(L"", config.manifest.patchRelease.web_installer_sha256);
}

struct DecisionCase {
    const char* description;
    std::optional<std::string> descriptor; // absent: none is read (standalone run)
    int32_t standalone;
    bool productInstalled;
    bool relatedInstalled;
    InstalledProductInfo installed;
    bool loaded;
    VersionCheckResult expected; // when loaded
};

class DecisionTest : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(DecisionTest, Evaluates)
{
    const DecisionCase& c = GetParam();
    const test::TempFolder folder(L"kelm-config-version-3");
    InstallerConfig config;
    PrepareManifest(config, c.standalone);
    config.installedProduct = c.installed;
    if (c.descriptor) {
        const std::filesystem::path file = folder.File(L"version.xml");
        test::WriteBytes(file, *c.descriptor);
        ASSERT_EQ(c.loaded, LoadVersionDescriptor(config, file.wstring())) << c.description;
        if (!c.loaded)
            return; // the caller reports the server as unreachable and decides nothing
    }
    EXPECT_EQ(c.expected, EvaluateVersionCheck(config, c.productInstalled, c.relatedInstalled)) << c.description;
}

const InstalledProductInfo kOld{L"7.5.0.0", L"Zunder Pro 8", L"C:\\Zunder"};
const InstalledProductInfo kSameRevision{L"8.0.0.1", L"Zunder Pro 8", L"C:\\Zunder"};
const InstalledProductInfo kSameName{L"8.0.2.3", L"zunder PRO 8", L"C:\\Zunder"};
const InstalledProductInfo kOther{L"8.0.0.1", L"Zunder Home 8", L"C:\\Zunder"};
const InstalledProductInfo kNameOnly{L"", L"Zunder Pro 8", L""};
const InstalledProductInfo kVersionOnly{L"8.0.0.1", L"", L""};
const InstalledProductInfo kNothing{};

INSTANTIATE_TEST_SUITE_P(
    Table, DecisionTest,
    ::testing::Values(
        DecisionCase{"fresh, client new enough", Descriptor("2.0.0.5", "8.0.3.1", ""), 0, false, false, kNothing,
                     true, Proceed},
        DecisionCase{"fresh, client too old", Descriptor("2.0.0.6", "8.0.3.1", ""), 0, false, false, kNothing, true,
                     ClientTooOld},
        DecisionCase{"fresh, minimum newer only in build", Descriptor("2.0.9.5", "8.0.3.1", ""), 0, false, false,
                     kNothing, true, Proceed},
        DecisionCase{"fresh, unparsable minimum", Descriptor("latest", "8.0.3.1", "9.9.9.9"), 0, false, false,
                     kNothing, true, Proceed},
        DecisionCase{"fresh standalone, nothing read", std::nullopt, 1, false, false, kNothing, true, Proceed},
        DecisionCase{"fresh, error page that is well-formed XML", kErrorPage, 0, false, false, kNothing, false,
                     Proceed},
        DecisionCase{"fresh, error page that is not XML", kNotXml, 0, false, false, kNothing, false, Proceed},
        DecisionCase{"installed, nothing known", Descriptor("", "8.0.3.1", ""), 0, true, false, kNothing, true,
                     NoInstalledInfo},
        DecisionCase{"related, nothing known", Descriptor("", "8.0.3.1", ""), 0, false, true, kNothing, true,
                     NoInstalledInfo},
        DecisionCase{"installed, other name", Descriptor("", "8.0.3.1", ""), 0, true, false, kOther, true,
                     OtherProductInstalled},
        DecisionCase{"installed, version but no name", Descriptor("", "8.0.3.1", ""), 0, true, false, kVersionOnly,
                     true, OtherProductInstalled},
        DecisionCase{"installed, equal version, name differs in case", Descriptor("", "8.0.2.3", ""), 0, true, false,
                     kSameName, true, AlreadyInstalled},
        DecisionCase{"installed, update newer only in build", Descriptor("", "8.0.9.3", ""), 0, true, false,
                     kSameName, true, AlreadyInstalled},
        DecisionCase{"installed, update differs only in build", Descriptor("", "8.0.3.1", ""), 0, true, false,
                     kSameRevision, true, AlreadyInstalled},
        DecisionCase{"installed, error page is not read", kErrorPage, 0, true, false, kSameName, false,
                     AlreadyInstalled},
        DecisionCase{"installed, update without product_version",
                     "<kelmwebinstaller><patch_install/></kelmwebinstaller>", 0, true, false, kOld, true, Proceed},
        DecisionCase{"installed, unknown version counts as oldest", Descriptor("", "8.0.0.0", ""), 0, true, false,
                     kNameOnly, true, Proceed},
        DecisionCase{"installed older, update allowed", Descriptor("9.0.0.0", "8.0.3.1", "2.0.0.5"), 0, true, false,
                     kOld, true, Proceed},
        DecisionCase{"installed older, client too old for the update", Descriptor("", "8.0.3.1", "2.1.0.0"), 0, true,
                     false, kOld, true, ClientTooOld},
        DecisionCase{"related older, client too old for the update", Descriptor("", "8.0.3.1", "3.0.0.0"), 0, false,
                     true, kOld, true, ClientTooOld},
        DecisionCase{"installed older, standalone", std::nullopt, 1, true, false, kOld, true, Proceed},
        DecisionCase{"installed same, standalone", std::nullopt, 1, true, false,
                     InstalledProductInfo{L"8.0.1.0", L"Zunder Pro 8", L""}, true, AlreadyInstalled}));

} // namespace
} // namespace kelm
