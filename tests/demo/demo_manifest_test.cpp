// The demo's manifest, version descriptors and language folders, read by the
// installer's own configuration code: every element arrives in its field (the
// forward-only order holds), a laid-out installer folder loads completely, the two
// releases lead to the decisions the demo relies on, and each language folder
// gives the texts, links and slides of its language.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "config/installer_config.h"
#include "config/ui_strings.h"
#include "config/version_check.h"
#include "support/test_paths.h"

namespace {

using namespace kelm;

constexpr wchar_t kProductName[] = L"Zunder Pro Video Editor 8";

using kelm::test::SourceFolderPath;

std::wstring Manifest() { return SourceFolderPath(L"demo\\config\\manifest.xml"); }
std::wstring Descriptor(const std::wstring& release)
{
    return SourceFolderPath(L"demo\\site\\releases\\" + release + L"\\version.xml");
}

TEST(DemoManifest, EveryElementArrivesInItsField)
{
    ProductManifest manifest;
    ASSERT_TRUE(ParseManifest(Manifest(), manifest));
    const std::wstring packages = L"http://127.0.0.1:8470/zunder/8/packages/";

    EXPECT_EQ(manifest.web_installer_version, L"8.0.0.5");
    EXPECT_EQ(manifest.product_code, L"{580D94DB-01C3-4959-9172-4F6E1569690A}");
    EXPECT_EQ(manifest.upgrade_code, L"{DBBD8404-4F73-4057-8D2D-2A1D73DAA88B}");
    EXPECT_EQ(manifest.pid, L"ZUNDERPRO8-DEMO");
    EXPECT_EQ(manifest.full_name, kProductName);
    EXPECT_EQ(manifest.short_name, L"Zunder Pro 8");
    EXPECT_EQ(manifest.registry, L"SOFTWARE\\Kelmware\\Zunder Pro\\080");
    EXPECT_EQ(manifest.prev_registry, L"SOFTWARE\\Kelmware\\Zunder Pro\\070");
    EXPECT_EQ(manifest.standalone, 0);
    EXPECT_EQ(manifest.targetVersion, L"8.0.1.0");
    EXPECT_EQ(manifest.version_check_url, L"http://127.0.0.1:8470/zunder/8/version.xml");
    EXPECT_EQ(manifest.mainComponent.name, L"ZunderPro8.msi");
    EXPECT_EQ(manifest.executable, L"Zunder Pro Video Editor 8.exe");
    EXPECT_EQ(manifest.mainComponent.full_url, packages + L"ZunderPro8.msi");
    EXPECT_EQ(manifest.mainComponent.patch_url, packages + L"update/ZunderPro8.msi");
    ASSERT_EQ(manifest.transforms.size(), 1u);
    EXPECT_EQ(manifest.transforms[0].lang_id, 1031);
    EXPECT_EQ(manifest.transforms[0].name, L"ZunderPro8-1031.mst");
    ASSERT_EQ(manifest.languagePacks.size(), 1u);
    EXPECT_EQ(manifest.languagePacks[0].lang_id, 1031);
    EXPECT_EQ(manifest.languagePacks[0].pid, L"ZUNDERPRO8-DEMO-DE");
    EXPECT_EQ(manifest.languagePacks[0].full_url, packages + L"ZunderPro8-LanguagePack-1031.msi");
    ASSERT_EQ(manifest.dependencies.size(), 1u);
    EXPECT_EQ(manifest.dependencies[0].name, L"zunder_runtime_setup.exe");
    EXPECT_EQ(manifest.dependencies[0].full_url, packages + L"zunder_runtime_setup.exe");
    EXPECT_EQ(manifest.dependencies[0].install_commandline, L"/quiet /norestart");
    // Sizes and hashes name the build outputs demo/layout.py computes them from.
    EXPECT_EQ(manifest.mainComponent.full_size, L"@size:demo/release-8.0.1.0/ZunderPro8.msi@");
    EXPECT_EQ(manifest.mainComponent.full_sha256, L"@sha256:demo/release-8.0.1.0/ZunderPro8.msi@");
    EXPECT_EQ(manifest.mainComponent.patch_size, L"@size:demo/release-8.1.0.0/ZunderPro8.msi@");
    EXPECT_EQ(manifest.mainComponent.patch_sha256, L"@sha256:demo/release-8.1.0.0/ZunderPro8.msi@");
    EXPECT_EQ(manifest.dependencies[0].size, L"@size:demo/zunder_runtime_setup.exe@");
    EXPECT_EQ(manifest.dependencies[0].sha256, L"@sha256:demo/zunder_runtime_setup.exe@");
}

TEST(DemoManifest, AnInstallerFolderWithItLoadsCompletely)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"zunder-demo-manifest-test";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\config").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Manifest().c_str(), (folder + L"\\config\\manifest.xml").c_str(), FALSE));

    InstallerConfig config;
    int32_t productInstalled = 0;
    int32_t relatedProductInstalled = 0;
    ManifestLoadReport report = LoadManifestFor(config, {productInstalled, relatedProductInstalled},
                                                folder + L"\\KelmWebInstaller.exe");
    EXPECT_EQ(report.status, ManifestLoaded) << static_cast<int>(report.fault) << " " << report.subject;
    EXPECT_EQ(config.loaded, 1);
    // Its downloads go into the demo product's folder under program data.
    EXPECT_EQ(config.msiFolder, ProgramDataFolder() + L"\\Kelmware\\Web Installer\\ZUNDERPRO8-DEMO\\msi\\");
}

struct DecisionCase {
    const wchar_t* publishedRelease;
    const wchar_t* installedVersion; // empty: nothing installed
    VersionCheckResult expected;
};

TEST(DemoReleases, PublishedReleasesLeadToTheIntendedDecisions)
{
    const DecisionCase cases[] = {
        {L"8.0.1.0", L"", Proceed},                // first installation
        {L"8.1.0.0", L"", Proceed},                // first installation of the newer release
        {L"8.1.0.0", L"8.0.1.0", Proceed},         // the update
        {L"8.0.1.0", L"8.0.1.0", AlreadyInstalled},
        {L"8.1.0.0", L"8.1.0.0", AlreadyInstalled},
        {L"8.0.1.0", L"8.1.0.0", AlreadyInstalled}, // never back to the older release
    };
    for (const DecisionCase& c : cases) {
        InstallerConfig config;
        ASSERT_TRUE(ParseManifest(Manifest(), config.manifest));
        ASSERT_TRUE(LoadVersionDescriptor(config, Descriptor(c.publishedRelease))) << c.publishedRelease;
        EXPECT_EQ(config.manifest.freshRelease.product_version, c.publishedRelease);
        EXPECT_EQ(config.manifest.freshRelease.web_installer_sha256, L"@sha256:app/KelmWebInstaller.exe@");
        EXPECT_EQ(config.manifest.patchRelease.web_installer_sha256, L"@sha256:app/KelmWebInstaller.exe@");
        EXPECT_EQ(config.manifest.targetVersion, c.publishedRelease);
        const bool installed = *c.installedVersion != L'\0';
        if (installed)
            config.installedProduct = {c.installedVersion, kProductName, L"C:\\Program Files\\Kelmware\\"};
        EXPECT_EQ(EvaluateVersionCheck(config, installed, false), c.expected)
            << c.publishedRelease << " over " << (installed ? c.installedVersion : L"nothing");
    }
}

TEST(DemoLanguageFolders, TheSelectedLanguageGivesItsTextsLinksAndSlides)
{
    LanguageResources german{1031, SourceFolderPath(L"demo\\language\\")};
    EXPECT_EQ(german.GetUiString(IDS_INSTALL), L"Installieren");
    EXPECT_EQ(german.GetUiString(IDS_PRODUCT_READY), L"%s ist bereit");
    EXPECT_EQ(german.GetUiString(IDS_CLOSE_RUNNING_APPS),
              L"Bitte schlie\u00dfen Sie die folgenden Anwendungen, bevor die Installation fortgesetzt wird:");
    EXPECT_EQ(german.GetLink(IDS_RLINK_TERMS), L"http://127.0.0.1:8470/zunder/terms.html?lang=1031");
    EXPECT_EQ(german.FindSlideImages(96).size(), 3u);
    EXPECT_EQ(german.FindSlideImages(192).size(), 3u);

    LanguageResources starting{LanguageResources::kDefaultLangId, SourceFolderPath(L"demo\\language\\")};
    EXPECT_EQ(starting.GetUiString(IDS_INSTALL), L"Install");  // the built-in English text
    EXPECT_EQ(starting.GetUiString(IDS_START_NOW), L"Start Now");
    EXPECT_EQ(starting.GetLink(IDS_RLINK_SLIDE_SHOW), L"http://127.0.0.1:8470/zunder/tour.html");
    EXPECT_EQ(starting.FindSlideImages(144).size(), 3u);

    LanguageResources japanese{1041, SourceFolderPath(L"demo\\language\\")};  // no such folder
    EXPECT_EQ(japanese.GetUiString(IDS_INSTALL), L"Install");
    EXPECT_TRUE(japanese.FindSlideImages(96).empty());
}

} // namespace
