// The installer manifest: parsing fixtures along the forward-only reading
// sequence, and the whole load with a module folder of its own, the registered
// manifest of the test prefix's registry and real work folders.

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <sstream>

#include "config/installer_config.h"
#include "config_test_support.h"

namespace kelm {
namespace {

using test::TempFolder;

std::string ReadFixture(const wchar_t* name)
{
    std::ifstream in(test::DataDir() / L"manifests" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The complete fixture with some of its text replaced (each `from` must occur).
std::string EditedComplete(const std::vector<std::pair<std::string, std::string>>& edits)
{
    std::string text = ReadFixture(L"complete.xml");
    for (const auto& [from, to] : edits) {
        const size_t at = text.find(from);
        EXPECT_NE(std::string::npos, at) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
    }
    return text;
}

void ExpectComplete(const ProductManifest& m)
{
    EXPECT_EQ(L"2.0.0.5", m.web_installer_version);
    EXPECT_EQ(L"{5B7C1E2A-0C4D-4F11-9A3B-6D2E8F9A0B1C}", m.product_code);
    EXPECT_EQ(L"{C3D4E5F6-1A2B-4C3D-8E9F-0A1B2C3D4E5F}", m.upgrade_code);
    EXPECT_EQ(L"ZP80", m.pid);
    EXPECT_EQ(L"Zunder Pro 8", m.full_name);
    EXPECT_EQ(L"Zunder", m.short_name);
    EXPECT_EQ(L"SOFTWARE\\KelmTests\\Manifest\\080", m.registry);
    EXPECT_EQ(L"SOFTWARE\\KelmTests\\Manifest\\075", m.prev_registry);
    EXPECT_EQ(0, m.standalone);
    EXPECT_EQ(L"8.0.2.3", m.targetVersion);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/version.xml?channel=web&v=80", m.version_check_url);
    EXPECT_EQ(L"ZunderPro8.msi", m.mainComponent.name);
    EXPECT_EQ(L"bin\\Zunder.exe", m.executable);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/ZunderPro8.msi", m.mainComponent.full_url);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/ZunderPro8-patch.msi", m.mainComponent.patch_url);
    EXPECT_EQ((std::vector<std::wstring>{L"https://mirror.kelmware.test/zunder/version.xml"}), m.version_check_mirrors);
    EXPECT_EQ((std::vector<std::wstring>{L"https://mirror.kelmware.test/zunder/ZunderPro8.msi",
                                         L"http://127.0.0.2:8080/zunder/ZunderPro8.msi"}),
              m.mainComponent.full_mirrors);
    EXPECT_EQ((std::vector<std::wstring>{L"https://mirror.kelmware.test/zunder/ZunderPro8-patch.msi"}),
              m.mainComponent.patch_mirrors);
    ASSERT_EQ(2u, m.transforms.size());
    EXPECT_EQ(1041, m.transforms[0].lang_id);
    EXPECT_EQ(L"1041.mst", m.transforms[0].name);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/1041.mst", m.transforms[0].full_url);
    EXPECT_EQ(1031, m.transforms[1].lang_id);
    ASSERT_EQ(2u, m.languagePacks.size());
    EXPECT_EQ(1041, m.languagePacks[0].lang_id);
    EXPECT_EQ(L"ZP80JA", m.languagePacks[0].pid);
    EXPECT_EQ(L"lang_ja.msi", m.languagePacks[0].name);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/lang_ja.msi", m.languagePacks[0].full_url);
    EXPECT_EQ(2052, m.languagePacks[1].lang_id);
    ASSERT_EQ(2u, m.dependencies.size());
    EXPECT_EQ(L"vcredist_x64.exe", m.dependencies[0].name);
    EXPECT_EQ(L"http://127.0.0.1:8080/zunder/vcredist_x64.exe", m.dependencies[0].full_url);
    EXPECT_EQ(L"/install /quiet /norestart", m.dependencies[0].install_commandline);
    EXPECT_EQ((std::vector<std::wstring>{L"https://mirror.kelmware.test/zunder/vcredist_x64.exe"}),
              m.dependencies[0].mirrors);
    EXPECT_TRUE(m.dependencies[1].mirrors.empty());
    EXPECT_EQ(L"codec_pack.msi", m.dependencies[1].name);
    EXPECT_EQ(L"", m.dependencies[1].install_commandline);
    EXPECT_EQ(L"734003200", m.mainComponent.full_size);
    EXPECT_EQ(L"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08", m.mainComponent.full_sha256);
    EXPECT_EQ(L"52428800", m.mainComponent.patch_size);
    EXPECT_EQ(L"60303AE22B998861BCE3B28F33EEC1BE758A213C86C93C076DBE9F558C11C752", m.mainComponent.patch_sha256);
    EXPECT_EQ(L"25165824", m.dependencies[0].size);
    EXPECT_EQ(L"2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae", m.dependencies[0].sha256);
    EXPECT_EQ(L"", m.dependencies[1].size);
    EXPECT_EQ(L"", m.dependencies[1].sha256);
    EXPECT_EQ(L"", m.dependencies[0].publisher);
    EXPECT_EQ(L"Kelmware Codecs", m.dependencies[1].publisher);
    EXPECT_EQ(L"Kelmware Software", m.mainComponent.publisher);
    EXPECT_TRUE(m.descriptorProductCode.empty());
    EXPECT_TRUE(m.freshRelease.product_version.empty());
}

TEST(ParseManifest, CompleteManifest)
{
    ProductManifest manifest;
    ASSERT_TRUE(ParseManifest((test::DataDir() / L"manifests" / L"complete.xml").wstring(), manifest));
    ExpectComplete(manifest);
}

struct ParseCase {
    const char* description;
    std::vector<std::pair<std::string, std::string>> edits;
    std::function<void(const ProductManifest&)> check;
};

class ParseManifestVariant : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseManifestVariant, Reads)
{
    const TempFolder folder(L"kelm-config-parse");
    const std::filesystem::path file = folder.File(L"manifest.xml");
    test::WriteBytes(file, EditedComplete(GetParam().edits));
    ProductManifest manifest;
    ASSERT_TRUE(ParseManifest(file.wstring(), manifest)) << GetParam().description;
    GetParam().check(manifest);
}

const std::string kCode = "  <product_code>{5B7C1E2A-0C4D-4F11-9A3B-6D2E8F9A0B1C}</product_code>\n";
const std::string kFirstPack = "    <language_pack>\n      <lang_id>1041</lang_id>";
const std::string kDependencyEnd = "    </dependency>\n  </product>";

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ParseManifestVariant,
    ::testing::Values(
        ParseCase{"product_code before web_installer_version is passed by the search",
                  {{kCode, ""}, {"  <web_installer_version>", kCode + "  <web_installer_version>"}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.product_code);
                      EXPECT_EQ(L"2.0.0.5", m.web_installer_version);
                      EXPECT_EQ(L"{C3D4E5F6-1A2B-4C3D-8E9F-0A1B2C3D4E5F}", m.upgrade_code);
                  }},
        ParseCase{"short_name before full_name is passed; later fields still read",
                  {{"    <short_name>Zunder</short_name>\n", ""},
                   {"    <full_name>", "    <short_name>Zunder</short_name>\n    <full_name>"}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.short_name);
                      EXPECT_EQ(L"Zunder Pro 8", m.full_name);
                      EXPECT_EQ(L"SOFTWARE\\KelmTests\\Manifest\\080", m.registry);
                  }},
        ParseCase{"a mirror_url stands right after its address; one elsewhere is not a mirror",
                  {{"      <install_commandline>/install /quiet /norestart</install_commandline>\n",
                    "      <install_commandline>/install /quiet /norestart</install_commandline>\n"
                    "      <mirror_url>https://stray.kelmware.test/vcredist_x64.exe</mirror_url>\n"}},
                  [](const ProductManifest& m) {
                      ASSERT_EQ(2u, m.dependencies.size());
                      EXPECT_EQ((std::vector<std::wstring>{L"https://mirror.kelmware.test/zunder/vcredist_x64.exe"}),
                                m.dependencies[0].mirrors);
                      EXPECT_EQ(L"25165824", m.dependencies[0].size);
                  }},
        ParseCase{"patch_url without mirrors: the full package's mirrors stay its own",
                  {{"      <mirror_url>https://mirror.kelmware.test/zunder/ZunderPro8-patch.msi</mirror_url>\n", ""}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(2u, m.mainComponent.full_mirrors.size());
                      EXPECT_TRUE(m.mainComponent.patch_mirrors.empty());
                      EXPECT_EQ(L"http://127.0.0.1:8080/zunder/ZunderPro8-patch.msi", m.mainComponent.patch_url);
                  }},
        ParseCase{"a missing element does not stop the search",
                  {{"    <prev_registry>SOFTWARE\\KelmTests\\Manifest\\075</prev_registry>\n", ""},
                   {"  <upgrade_code>{C3D4E5F6-1A2B-4C3D-8E9F-0A1B2C3D4E5F}</upgrade_code>\n", ""}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.prev_registry);
                      EXPECT_EQ(L"", m.upgrade_code);
                      EXPECT_EQ(L"8.0.2.3", m.targetVersion);
                      EXPECT_EQ(2u, m.dependencies.size());
                  }},
        ParseCase{"standalone TRUE", {{"<standalone>false<", "<standalone>TRUE<"}},
                  [](const ProductManifest& m) { EXPECT_EQ(1, m.standalone); }},
        ParseCase{"standalone true after a blank", {{"<standalone>false<", "<standalone> true<"}},
                  [](const ProductManifest& m) { EXPECT_EQ(0, m.standalone); }},
        ParseCase{"standalone tRuE", {{"<standalone>false<", "<standalone>tRuE<"}},
                  [](const ProductManifest& m) { EXPECT_EQ(1, m.standalone); }},
        ParseCase{"transform and language pack without lang_id are dropped",
                  {{"        <lang_id>1041</lang_id>\n", ""}, {"      <lang_id>2052</lang_id>\n", ""}},
                  [](const ProductManifest& m) {
                      ASSERT_EQ(1u, m.transforms.size());
                      EXPECT_EQ(L"1031.mst", m.transforms[0].name);
                      ASSERT_EQ(1u, m.languagePacks.size());
                      EXPECT_EQ(L"ZP80JA", m.languagePacks[0].pid);
                      EXPECT_EQ(2u, m.dependencies.size());
                  }},
        ParseCase{"non-numeric lang_id reads as 0, leading digits and blanks as a number",
                  {{"<lang_id>1041</lang_id>", "<lang_id>ja-JP</lang_id>"},
                   {"<lang_id>1031</lang_id>", "<lang_id> 1031de</lang_id>"},
                   {"<lang_id>1041</lang_id>", "<lang_id>x</lang_id>"},
                   {"<lang_id>2052</lang_id>", "<lang_id>99999999999</lang_id>"}},
                  [](const ProductManifest& m) {
                      ASSERT_EQ(2u, m.transforms.size());
                      EXPECT_EQ(0, m.transforms[0].lang_id);
                      EXPECT_EQ(1031, m.transforms[1].lang_id);
                      ASSERT_EQ(2u, m.languagePacks.size());
                      EXPECT_EQ(0, m.languagePacks[0].lang_id);
                      EXPECT_EQ(2147483647, m.languagePacks[1].lang_id);
                  }},
        ParseCase{"a language pack inside main_component is not read",
                  {{"    </main_component>\n",
                    "      <language_pack>\n        <lang_id>1036</lang_id>\n        <pid>ZP80FR</pid>\n"
                    "      </language_pack>\n    </main_component>\n"}},
                  [](const ProductManifest& m) {
                      ASSERT_EQ(2u, m.languagePacks.size());
                      EXPECT_EQ(L"ZP80JA", m.languagePacks[0].pid);
                      EXPECT_EQ(2u, m.transforms.size());
                  }},
        ParseCase{"a language pack before main_component and a dependency before the packs are passed",
                  {{"    <main_component>", "    <language_pack><lang_id>1036</lang_id></language_pack>\n"
                                             "    <main_component>"},
                   {kFirstPack, "    <dependency><name>early.exe</name></dependency>\n" + kFirstPack}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(2u, m.languagePacks.size());
                      EXPECT_EQ(L"ZunderPro8.msi", m.mainComponent.name);
                      ASSERT_EQ(2u, m.dependencies.size());
                      EXPECT_EQ(L"vcredist_x64.exe", m.dependencies[0].name);
                  }},
        ParseCase{"a size or hash placed before the elements of its parent is passed",
                  {{"      <name>ZunderPro8.msi</name>\n      <executable>",
                    "      <name>ZunderPro8.msi</name>\n      <full_sha256>00</full_sha256>\n      <executable>"},
                   {"      <full_sha256>9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08</full_sha256>\n",
                    ""},
                   {"      <name>vcredist_x64.exe</name>\n",
                    "      <name>vcredist_x64.exe</name>\n      <size>1</size>\n"},
                   {"      <size>25165824</size>\n", ""}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.mainComponent.full_sha256);
                      EXPECT_EQ(L"52428800", m.mainComponent.patch_size);
                      EXPECT_EQ(L"", m.dependencies[0].size);
                      EXPECT_EQ(L"/install /quiet /norestart", m.dependencies[0].install_commandline);
                      EXPECT_EQ(L"2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae",
                                m.dependencies[0].sha256);
                  }},
        ParseCase{"a dependency without name is dropped",
                  {{kDependencyEnd,
                    "    </dependency>\n    <dependency><full_url>http://x/y</full_url></dependency>\n  </product>"}},
                  [](const ProductManifest& m) { EXPECT_EQ(2u, m.dependencies.size()); }},
        ParseCase{"main_component without name: nothing of it is read",
                  {{"      <name>ZunderPro8.msi</name>\n", ""}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.mainComponent.full_url);
                      EXPECT_EQ(L"", m.executable);
                      EXPECT_TRUE(m.transforms.empty());
                      EXPECT_EQ(2u, m.languagePacks.size());
                  }},
        ParseCase{"another root: nothing is read",
                  {{"<kelmwebinstaller>", "<installer>"}, {"</kelmwebinstaller>", "</installer>"}},
                  [](const ProductManifest& m) {
                      EXPECT_EQ(L"", m.web_installer_version);
                      EXPECT_EQ(L"", m.pid);
                  }}));

TEST(ParseManifest, FileThatCannotBeLoadedLeavesTargetUntouched)
{
    for (const std::wstring& path : {(test::DataDir() / L"manifests" / L"not_well_formed.xml").wstring(),
                                    (test::DataDir() / L"manifests" / L"absent.xml").wstring()}) {
        ProductManifest manifest;
        manifest.pid = L"kept";
        EXPECT_FALSE(ParseManifest(path, manifest));
        EXPECT_EQ(L"kept", manifest.pid);
    }
}

// A module folder of its own: <scratch>\installer.exe with config\manifest.xml beside it.
class LoadManifestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No registered manifest unless a test sets one.
        ASSERT_TRUE(m_registered.Set(std::nullopt));
    }

    void WriteLocal(const std::string& text) { test::WriteBytes(m_module.File(L"config\\manifest.xml"), text); }
    std::wstring CopyFixture(const wchar_t* name)
    {
        const std::filesystem::path target = m_other.File(name);
        test::WriteBytes(target, ReadFixture(name));
        return target.wstring();
    }
    ManifestLoadReport Load()
    {
        return LoadManifestFor(m_config, InstalledFlags{m_product, m_related}, m_module.File(L"installer.exe"));
    }
    std::wstring Module(const std::wstring& rest) const { return m_module.Folder() + rest; }

    TempFolder m_module{L"kelm-config-module"};
    TempFolder m_other{L"kelm-config-other"};
    test::SavedRegistryValue m_registered{HKEY_CURRENT_USER, L"SOFTWARE\\Kelmware\\Zunder Pro\\080",
                                          L"WebInstallerManifest"};
    InstallerConfig m_config;
    int32_t m_product = 0;
    int32_t m_related = 0;
};

TEST_F(LoadManifestTest, CompleteLocalManifest)
{
    WriteLocal(ReadFixture(L"complete.xml"));
    const ManifestLoadReport report = Load();
    EXPECT_EQ(ManifestLoaded, report.status);
    EXPECT_EQ(ManifestFault::None, report.fault);
    EXPECT_EQ(1, m_config.loaded);
    EXPECT_EQ(m_module.Folder(), m_config.moduleFolder);
    EXPECT_EQ(Module(L"\\config\\manifest.xml"), m_config.manifestPath);
    ExpectComplete(m_config.manifest);
    EXPECT_EQ(Module(L"\\language\\"), m_config.languages.languageFolder);
    EXPECT_EQ(2052, m_config.languages.langId);
    // Downloads go into the product's folder under program data, not beside the installer.
    EXPECT_EQ(ProgramDataFolder() + L"\\Kelmware\\Web Installer\\ZP80\\", m_config.workFolder);
    EXPECT_EQ(m_config.workFolder + L"component\\", m_config.componentFolder);
    EXPECT_EQ(m_config.workFolder + L"msi\\", m_config.msiFolder);
    EXPECT_TRUE(std::filesystem::is_directory(m_config.componentFolder));
    EXPECT_TRUE(std::filesystem::is_directory(m_config.msiFolder));
    EXPECT_EQ(0, m_product);
    EXPECT_EQ(0, m_related);
    EXPECT_TRUE(m_config.installedProduct.IsEmpty());
    EXPECT_EQ(L"C:\\Program Files\\Kelmware", m_config.installFolder);
}

// Any program of the user can set the registered path: the file is taken only
// where no user can change it (an admin-only folder), never through a link.
TEST_F(LoadManifestTest, ARegisteredManifestIsTakenOnlyWhereOnlyAdministratorsCanChangeIt)
{
    const std::wstring base = ProgramDataFolder();
    ASSERT_TRUE(PrepareAdminOnlyFolder(base, {L"KelmTrustTests", L"registered"}, 1).Passed());
    // The fixture made "linked" a symbolic link to another folder.
    const struct {
        const char* description;
        std::wstring path;
        bool taken;
    } cases[] = {
        {"an admin-only folder", base + L"\\KelmTrustTests\\registered\\manifest.xml", true},
        {"a link on its path", base + L"\\KelmTrustTests\\linked\\manifest.xml", false},
    };
    // A standalone manifest registered would take packages from beside the installer.
    const std::wstring standalonePath = base + L"\\KelmTrustTests\\registered\\standalone.xml";
    WriteLocal(ReadFixture(L"complete.xml"));
    std::string standalone = ReadFixture(L"registered.xml");
    standalone.replace(standalone.find("</registry>"), 11, "</registry>\n    <standalone>true</standalone>");
    test::WriteBytes(standalonePath, standalone);
    ASSERT_TRUE(m_registered.Set(standalonePath));
    EXPECT_EQ(ManifestLoaded, Load().status);
    EXPECT_EQ(Module(L"\\config\\manifest.xml"), m_config.manifestPath);
    EXPECT_EQ(L"ZP80", m_config.manifest.pid);
    ::DeleteFileW(standalonePath.c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        WriteLocal(ReadFixture(L"complete.xml"));
        test::WriteBytes(c.path, ReadFixture(L"registered.xml"));
        ASSERT_TRUE(m_registered.Set(c.path));
        m_config.manifest = ProductManifest{};
        EXPECT_EQ(ManifestLoaded, Load().status);
        EXPECT_EQ(c.taken ? c.path : Module(L"\\config\\manifest.xml"), m_config.manifestPath);
        EXPECT_EQ(c.taken ? L"ZP80B" : L"ZP80", m_config.manifest.pid);
        ::DeleteFileW(c.path.c_str());
    }
}

TEST_F(LoadManifestTest, RegisteredManifestReplacesTheLocalOneWhole)
{
    WriteLocal(ReadFixture(L"complete.xml"));
    const std::wstring registered = CopyFixture(L"registered.xml");
    ASSERT_TRUE(m_registered.Set(registered));

    EXPECT_EQ(ManifestLoaded, Load().status);
    EXPECT_EQ(registered, m_config.manifestPath);
    EXPECT_EQ(L"ZP80B", m_config.manifest.pid);
    EXPECT_EQ(L"2.1.0.0", m_config.manifest.web_installer_version);
    EXPECT_EQ(L"http://127.0.0.1:8080/beta/ZunderPro8Beta.msi", m_config.manifest.mainComponent.full_url);
    // Nothing of the local manifest survives.
    EXPECT_TRUE(m_config.manifest.dependencies.empty());
    EXPECT_TRUE(m_config.manifest.languagePacks.empty());
    EXPECT_TRUE(m_config.manifest.transforms.empty());
    EXPECT_EQ(L"", m_config.manifest.upgrade_code);
    EXPECT_EQ(L"", m_config.manifest.short_name);
    EXPECT_EQ(L"", m_config.manifest.executable);
    EXPECT_EQ(1, m_config.loaded);
}

TEST_F(LoadManifestTest, StatusTable)
{
    const std::wstring registeredFile = CopyFixture(L"registered.xml");
    const std::wstring malformedFile = CopyFixture(L"not_well_formed.xml");
    const std::string complete = ReadFixture(L"complete.xml");
    const std::string standalone = EditedComplete({{"<standalone>false<", "<standalone>TRUE<"}});
    const std::string malformed = ReadFixture(L"not_well_formed.xml");
    const struct {
        const char* description;
        std::optional<std::string> local; // absent: no local manifest
        std::optional<std::wstring> registeredValue;
        int32_t status;
        ManifestFault fault;
        std::wstring manifestPath; // relative to the module folder when it starts with a backslash
        std::wstring subject;
        const wchar_t* pid;
        bool languagesPrepared;
    } cases[] = {
        {"no local manifest", std::nullopt, std::nullopt, ManifestUnusable, ManifestFault::FileMissing,
         L"\\config\\manifest.xml", L"\\config\\manifest.xml", L"", false},
        {"no local manifest, registered one present", std::nullopt, registeredFile, ManifestUnusable,
         ManifestFault::FileMissing, L"\\config\\manifest.xml", L"\\config\\manifest.xml", L"", false},
        {"local not well-formed", malformed, std::nullopt, ManifestUnusable, ManifestFault::NotWellFormed,
         L"\\config\\manifest.xml", L"\\config\\manifest.xml", L"", false},
        {"registered not well-formed", complete, malformedFile, ManifestUnusable, ManifestFault::NotWellFormed,
         malformedFile, malformedFile, L"ZP80", false},
        {"registered file missing: local used", complete, m_other.File(L"gone.xml"), ManifestLoaded,
         ManifestFault::None, L"\\config\\manifest.xml", L"", L"ZP80", true},
        {"standalone: registered manifest not consulted", standalone, registeredFile, ManifestLoaded,
         ManifestFault::None, L"\\config\\manifest.xml", L"", L"ZP80", true},
        {"pid missing", EditedComplete({{"<pid>ZP80</pid>", ""}}), std::nullopt, ManifestUnusable,
         ManifestFault::RequiredFieldMissing, L"\\config\\manifest.xml", L"kelmwebinstaller/product/pid", L"",
         false},
        {"registry empty", EditedComplete({{"<registry>SOFTWARE\\KelmTests\\Manifest\\080</registry>", "<registry/>"}}),
         std::nullopt, ManifestUnusable, ManifestFault::RequiredFieldMissing, L"\\config\\manifest.xml",
         L"kelmwebinstaller/product/registry", L"ZP80", false},
        {"main package address missing",
         EditedComplete({{"      <full_url>http://127.0.0.1:8080/zunder/ZunderPro8.msi</full_url>\n", ""}}),
         std::nullopt, ManifestUnusable, ManifestFault::RequiredFieldMissing, L"\\config\\manifest.xml",
         L"kelmwebinstaller/product/main_component/full_url", L"ZP80", false},
        {"another root", EditedComplete({{"<kelmwebinstaller>", "<installer>"}, {"</kelmwebinstaller>", "</installer>"}}),
         std::nullopt, ManifestUnusable, ManifestFault::RequiredFieldMissing, L"\\config\\manifest.xml",
         L"kelmwebinstaller/product/pid", L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove_all(m_module.File(L"config"));
        if (c.local)
            WriteLocal(*c.local);
        ASSERT_TRUE(m_registered.Set(c.registeredValue));
        InstallerConfig config;
        const ManifestLoadReport report =
            LoadManifestFor(config, InstalledFlags{m_product, m_related}, m_module.File(L"installer.exe"));
        const auto resolve = [&](const std::wstring& path) { return path.starts_with(L"\\") ? Module(path) : path; };
        EXPECT_EQ(c.status, report.status);
        EXPECT_EQ(c.fault, report.fault);
        EXPECT_EQ(resolve(c.subject), report.fault == ManifestFault::RequiredFieldMissing ? report.subject
                                                                                        : resolve(report.subject));
        EXPECT_EQ(resolve(c.manifestPath), config.manifestPath);
        EXPECT_EQ(c.pid, config.manifest.pid);
        EXPECT_EQ(c.status == ManifestLoaded ? 1 : 0, config.loaded);
        EXPECT_EQ(c.languagesPrepared, !config.languages.languageFolder.empty());
    }
}

TEST_F(LoadManifestTest, ExecutablePathWithoutFolderGivesStatus3)
{
    for (const wchar_t* path : {L"installer.exe", L"", L"\\installer.exe"}) {
        InstallerConfig config;
        const ManifestLoadReport report = LoadManifestFor(config, InstalledFlags{m_product, m_related}, path);
        EXPECT_EQ(ModulePathUnavailable, report.status);
        EXPECT_EQ(L"", config.moduleFolder);
        EXPECT_EQ(L"", config.manifestPath);
        EXPECT_EQ(L"", config.languages.languageFolder);
    }
}

TEST_F(LoadManifestTest, WorkFolders)
{
    const std::string standalone = EditedComplete({{"<standalone>false<", "<standalone>true<"}});
    const std::string complete = ReadFixture(L"complete.xml");
    const std::wstring products = ProgramDataFolder() + L"\\Kelmware\\Web Installer\\";
    const struct {
        const char* description;
        std::string manifest;
        std::function<void(const std::filesystem::path&)> prepare;
        int32_t status;
        ManifestFault fault;
        std::wstring faultFolder; // below the module folder, or a full path
        std::wstring workFolder;  // when loaded
    } cases[] = {
        {"under program data", complete, [](const auto&) {}, ManifestLoaded, ManifestFault::None, L"",
         products + L"ZP80\\"},
        {"standalone: the packages beside the installer", standalone, [](const auto&) {}, ManifestLoaded,
         ManifestFault::None, L"", L""},
        {"standalone: a file named msi", standalone, [](const auto& m) { test::WriteBytes(m / L"msi", "x"); },
         WorkFolderUnavailable, ManifestFault::WorkFolderNotCreatable, L"\\msi\\", L""},
        {"a file where the product's folder goes",
         EditedComplete({{"<pid>ZP80<", "<pid>ZP80-FILE<"}}),
         [&](const auto&) { test::WriteBytes(products + L"ZP80-FILE", "x"); }, WorkFolderUnavailable,
         ManifestFault::WorkFolderNotCreatable, products + L"ZP80-FILE", L""},
        // The fixture made this folder a symbolic link to another place.
        {"a link on the path", EditedComplete({{"<pid>ZP80<", "<pid>ZP80-LINKED<"}}), [](const auto&) {},
         WorkFolderUntrusted, ManifestFault::WorkFolderUntrusted, products + L"ZP80-LINKED", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        const TempFolder module(L"kelm-config-work-folders");
        test::WriteBytes(module.File(L"config\\manifest.xml"), c.manifest);
        c.prepare(module.Path());
        InstallerConfig config;
        const ManifestLoadReport report =
            LoadManifestFor(config, InstalledFlags{m_product, m_related}, module.File(L"installer.exe"));
        EXPECT_EQ(c.status, report.status);
        EXPECT_EQ(c.fault, report.fault);
        EXPECT_FALSE(std::filesystem::exists(module.File(L"component"))) << "nothing is made beside the installer";
        if (c.status == ManifestLoaded) {
            EXPECT_EQ(c.workFolder, config.workFolder);
            EXPECT_TRUE(std::filesystem::is_directory(config.msiFolder));
            EXPECT_EQ(!c.workFolder.empty(), std::filesystem::is_directory(config.componentFolder));
        } else {
            const std::wstring folder = c.faultFolder.rfind(L"\\", 0) == 0 ? module.Folder() + c.faultFolder
                                                                            : c.faultFolder;
            EXPECT_EQ(folder, report.subject);
            EXPECT_EQ(ExitCodeForManifestFault(report.fault),
                      c.fault == ManifestFault::WorkFolderUntrusted ? ExitCode::UntrustedWorkFolder
                                                                    : ExitCode::BadManifest);
            EXPECT_NE(DescribeManifestFault(config, report).find(folder), std::wstring::npos);
            // Languages and installed product were prepared before the folders.
            EXPECT_EQ(module.File(L"language\\"), config.languages.languageFolder);
            EXPECT_EQ(0, config.loaded);
        }
    }
    ::DeleteFileW((products + L"ZP80-FILE").c_str());
}

// Values joined to a trusted folder, and packages nothing could vouch for,
// stop the load before anything is made or fetched.
TEST_F(LoadManifestTest, UnsafeValuesAreManifestFaults)
{
    const struct {
        const char* description;
        std::vector<std::pair<std::string, std::string>> edits;
        const wchar_t* element; // empty: the manifest loads
    } cases[] = {
        {"a prerequisite climbing out of its folder", {{"<name>vcredist_x64.exe<", "<name>..\\..\\x.exe<"}},
         L"kelmwebinstaller/product/dependency/name"},
        {"a prerequisite named for a device", {{"<name>vcredist_x64.exe<", "<name>nul.exe<"}},
         L"kelmwebinstaller/product/dependency/name"},
        {"a main package with a folder", {{"<name>ZunderPro8.msi<", "<name>sub/ZunderPro8.msi<"}},
         L"kelmwebinstaller/product/main_component/name"},
        {"a product id with a drive", {{"<pid>ZP80<", "<pid>C:ZP80<"}}, L"kelmwebinstaller/product/pid"},
        {"a full name ending in a dot", {{"<full_name>Zunder Pro 8<", "<full_name>Zunder Pro 8.<"}},
         L"kelmwebinstaller/product/full_name"},
        {"a prerequisite over plain HTTP with neither hash nor publisher",
         {{"<publisher>Kelmware Codecs</publisher>", ""}}, L"kelmwebinstaller/product/dependency"},
        {"the same over HTTPS",
         {{"<publisher>Kelmware Codecs</publisher>", ""},
          {"http://127.0.0.1:8080/zunder/codec_pack.msi", "https://localhost/zunder/codec_pack.msi"}},
         L""},
        {"an update package over plain HTTP with neither",
         {{"<publisher>Kelmware Software</publisher>", ""}, {"<patch_sha256>", "<patch_sha256_not_read>"},
          {"</patch_sha256>", "</patch_sha256_not_read>"}},
         L"kelmwebinstaller/product/main_component/patch_url"},
        {"a mirror over plain HTTP of an update package with neither",
         {{"<publisher>Kelmware Software</publisher>", ""}, {"<patch_sha256>", "<patch_sha256_not_read>"},
          {"</patch_sha256>", "</patch_sha256_not_read>"},
          {"http://127.0.0.1:8080/zunder/ZunderPro8-patch.msi", "https://localhost/zunder/ZunderPro8-patch.msi"},
          {"https://mirror.kelmware.test/zunder/ZunderPro8-patch.msi", "http://127.0.0.2/ZunderPro8-patch.msi"}},
         L"kelmwebinstaller/product/main_component/mirror_url"},
        {"a plain-HTTP mirror of an HTTPS descriptor",
         {{"http://127.0.0.1:8080/zunder/version.xml?channel=web&amp;v=80", "https://localhost/zunder/version.xml"},
          {"https://mirror.kelmware.test/zunder/version.xml", "http://mirror.kelmware.test/zunder/version.xml"}},
         L"kelmwebinstaller/product/mirror_url"},
        {"a plain-HTTP mirror of an HTTPS package, even with its hash",
         {{"<full_url>http://127.0.0.1:8080/zunder/ZunderPro8.msi<", "<full_url>https://localhost/zunder/ZunderPro8.msi<"}},
         L"kelmwebinstaller/product/main_component/mirror_url"},
        {"standalone: the manifest beside the packages vouches for them",
         {{"<publisher>Kelmware Codecs</publisher>", ""}, {"<standalone>false<", "<standalone>true<"}}, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        WriteLocal(EditedComplete(c.edits));
        m_config.manifest = ProductManifest{};
        m_config.loaded = 0;
        const ManifestLoadReport report = Load();
        if (*c.element == 0) {
            EXPECT_EQ(ManifestLoaded, report.status) << testing::PrintToString(report.detail);
            continue;
        }
        EXPECT_EQ(ManifestUnsafe, report.status);
        EXPECT_EQ(ManifestFault::UnsafeValue, report.fault);
        EXPECT_EQ(c.element, report.subject) << testing::PrintToString(report.detail);
        EXPECT_EQ(ExitCode::BadManifest, ExitCodeForManifestFault(report.fault));
        const std::wstring message = DescribeManifestFault(m_config, report);
        EXPECT_NE(message.find(c.element), std::wstring::npos) << testing::PrintToString(message);
        EXPECT_NE(message.find(report.detail), std::wstring::npos);
        EXPECT_EQ(0, m_config.loaded);
    }
}

TEST(LoadManifest, RunningExecutableWithoutManifestBesideIt)
{
    InstallerConfig config;
    int32_t product = 0;
    int32_t related = 0;
    ManifestLoadReport report;
    EXPECT_EQ(ManifestUnusable, LoadManifest(config, InstalledFlags{product, related}, &report));
    EXPECT_EQ(ManifestFault::FileMissing, report.fault);
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    EXPECT_EQ(std::filesystem::path(exe).parent_path().wstring(), config.moduleFolder);
}

TEST(ManifestFaultMessage, NamesTheFileAndWhatIsWrong)
{
    const TempFolder module(L"kelm-config-fault-message");
    InstallerConfig config;
    config.moduleFolder = module.Folder();
    config.manifestPath = module.File(L"config\\manifest.xml");
    const std::wstring& path = config.manifestPath;
    const struct {
        ManifestFault fault;
        std::wstring subject;
        std::wstring expected;
    } cases[] = {
        {ManifestFault::FileMissing, path,
         L"The installer cannot start: its manifest file " + path + L" is missing or cannot be read."},
        {ManifestFault::NotWellFormed, path,
         L"The installer cannot start: its manifest file " + path + L" is not a well-formed XML document."},
        {ManifestFault::RequiredFieldMissing, L"kelmwebinstaller/product/pid",
         L"The installer cannot start: its manifest file " + path +
             L" lacks the required element kelmwebinstaller/product/pid."},
        {ManifestFault::WorkFolderNotCreatable, L"D:\\x\\msi\\",
         L"The installer cannot start: with its manifest file " + path +
             L" it needs the work folder D:\\x\\msi\\, which cannot be created."},
        {ManifestFault::None, L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, DescribeManifestFault(config, ManifestLoadReport{1, c.fault, c.subject}));

    // Translated from the language folder beside the executable, even though the
    // load stopped before setting it; a translation that asks for more than the
    // built-in text (a stray %d, a second %s) gives the built-in text, as every
    // localised format does.
    test::WriteUtf16File(module.File(L"language\\2052\\string.ini"),
                         L"[UISTRING]\r\nIDS_ERR_MANIFEST_MISSING=\u6e05\u5355 %s\r\n");
    EXPECT_EQ(L"\u6e05\u5355 " + path,
              DescribeManifestFault(config, ManifestLoadReport{1, ManifestFault::FileMissing, path}));
    test::WriteUtf16File(module.File(L"language\\2052\\string.ini"),
                         L"[UISTRING]\r\nIDS_ERR_MANIFEST_MISSING=\u6e05\u5355 %s %d %s\r\n");
    EXPECT_EQ(L"The installer cannot start: its manifest file " + path + L" is missing or cannot be read.",
              DescribeManifestFault(config, ManifestLoadReport{1, ManifestFault::FileMissing, path}));
}

TEST(DownloadPath, TickCountUnlessStandalone)
{
    InstallerConfig config;
    config.componentFolder = L"C:\\Setup\\component\\";
    config.manifest.standalone = 1;
    EXPECT_EQ(L"C:\\Setup\\component\\version.xml", MakeDownloadPath(config, L"version.xml"));

    config.manifest.standalone = 0;
    const int32_t before = static_cast<int32_t>(::GetTickCount());
    const std::wstring path = MakeDownloadPath(config, L"version.xml");
    const int32_t after = static_cast<int32_t>(::GetTickCount());
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(path, match, std::wregex(LR"(C:\\Setup\\component\\(-?[0-9]+)version\.xml)")))
        << std::string(path.begin(), path.end());
    const long long ticks = std::stoll(match[1].str());
    EXPECT_GE(ticks, before);
    EXPECT_LE(ticks, after);
}

TEST(ProductExePath, TrailingBackslashRemovedForGood)
{
    const struct {
        const wchar_t* folder;
        const wchar_t* exePath;
        const wchar_t* folderAfter;
    } cases[] = {
        {L"C:\\Apps\\Zunder\\", L"C:\\Apps\\Zunder\\bin\\app.exe", L"C:\\Apps\\Zunder"},
        {L"C:\\Apps\\Zunder", L"C:\\Apps\\Zunder\\bin\\app.exe", L"C:\\Apps\\Zunder"},
        {L"", L"\\bin\\app.exe", L""},
    };
    for (const auto& c : cases) {
        InstallerConfig config;
        config.installFolder = c.folder;
        config.manifest.executable = L"bin\\app.exe";
        EXPECT_EQ(c.exePath, GetProductExePath(config));
        EXPECT_EQ(c.folderAfter, config.installFolder);
    }
}

} // namespace
} // namespace kelm
