#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "framework/handles.h"
#include "wizard/wizard_rules.h"

using namespace kelm;

namespace {

const TimeFormats kEnglish{L"%02d hours %02d mins %02d secs remaining...", L"%02d mins %02d secs remaining...",
                           L"%02d secs remaining..."};

std::wstring TempFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

TEST(PanelSizes, FollowTheScale)
{
    struct Case { double scale; CSize panel; int collapsible; int windowWidth; };
    const Case cases[] = {
        {1.0, CSize(660, 446), 79, 662},
        {1.25, CSize(825, 557), 98, 827},
        {1.5, CSize(990, 669), 118, 992},
        {2.0, CSize(1320, 892), 158, 1324},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DefaultPanelSize(c.scale, c.scale), c.panel) << c.scale;
        EXPECT_EQ(CollapsibleHeight(c.scale), c.collapsible) << c.scale;
        EXPECT_EQ(WizardWindowWidth(c.panel.cx, c.scale), c.windowWidth) << c.scale;
    }
}

TEST(SettingLayout, PlacesTheRowsAt96Dpi)
{
    SettingTextSizes sizes;
    sizes.acceptLabel = CSize(80, 20);
    sizes.termsLink = CSize(90, 20);
    sizes.settingsLabel = CSize(140, 18);
    sizes.folderLabel = CSize(120, 30);
    const SettingLayout l = ComputeSettingLayout(CRect(0, 0, 660, 446), 1.0, 1.0, sizes, true);
    EXPECT_EQ(l.installButton, CRect(180, 174, 480, 208));
    EXPECT_EQ(l.checkBox, CRect(235, 224, 251, 240));
    EXPECT_EQ(l.acceptLabel, CRect(255, 223, 335, 243));
    EXPECT_EQ(l.termsLink, CRect(339, 223, 660, 243)); // the link runs to the right edge
    EXPECT_EQ(l.expandButton, CRect(394, 309, 410, 325));
    EXPECT_EQ(l.settingsLabel, CRect(0, 309, 390, 327));
    EXPECT_EQ(l.separator, CPoint(0, 340));
    EXPECT_EQ(l.folderLabel, CRect(68, 363, 188, 393));
    EXPECT_EQ(l.folderEdit, CRect(192, 363, 568, 393));
    EXPECT_EQ(l.browseButton, CRect(568, 363, 592, 393));
}

TEST(SettingLayout, LinkFirstWhenTheSentenceDoesNotBeginWithTheLabel)
{
    EXPECT_TRUE(AcceptLabelComesFirst(L"I accept the License Terms", L"I accept the"));
    EXPECT_FALSE(AcceptLabelComesFirst(L"License Terms: I accept", L"I accept"));
    EXPECT_FALSE(AcceptLabelComesFirst(L"I", L"I accept the"));

    SettingTextSizes sizes = DefaultSettingTextSizes(1.0, 1.0);
    sizes.acceptLabel = CSize(80, 20);
    sizes.termsLink = CSize(90, 22);
    const SettingLayout l = ComputeSettingLayout(CRect(0, 0, 660, 446), 1.0, 1.0, sizes, false);
    EXPECT_EQ(l.termsLink, CRect(255, 223, 345, 245));
    EXPECT_EQ(l.acceptLabel, CRect(349, 223, 429, 245)); // keeps its width, takes the first one's height
}

TEST(SettingLayout, ScalesAt192Dpi)
{
    const SettingTextSizes sizes = DefaultSettingTextSizes(2.0, 2.0);
    EXPECT_EQ(sizes.acceptLabel, CSize(276, 32));
    EXPECT_EQ(sizes.settingsLabel, CSize(220, 28));
    EXPECT_EQ(sizes.folderLabel, CSize(288, 60));
    const SettingLayout l = ComputeSettingLayout(CRect(0, 0, 1320, 892), 2.0, 2.0, sizes, true);
    EXPECT_EQ(l.installButton, CRect(360, 348, 960, 416));
    EXPECT_EQ(l.checkBox.top, 448);
    EXPECT_EQ(l.checkBox.Width(), 32);
    EXPECT_EQ(l.browseButton, CRect(1320 - 48 - 136, l.folderLabel.top, 1320 - 136, l.folderLabel.bottom));
}

TEST(StatusLayout, MatchesTheTableAt96And192Dpi)
{
    const StatusLayout a = ComputeStatusLayout(CRect(0, 0, 660, 446), 1.0, 1.0);
    EXPECT_EQ(a.slideShow, CRect(0, 36, 660, 320));
    EXPECT_EQ(a.statusLabel, CRect(30, 335, 530, 355));
    EXPECT_EQ(a.timeLabel, CRect(30, 355, 530, 375));
    EXPECT_EQ(a.percentLabel, CRect(530, 355, 630, 375));
    EXPECT_EQ(a.progressBar, CRect(30, 385, 630, 393));
    const StatusLayout b = ComputeStatusLayout(CRect(0, 0, 1320, 892), 2.0, 2.0);
    EXPECT_EQ(b.slideShow, CRect(0, 72, 1320, 640));
    EXPECT_EQ(b.progressBar, CRect(60, 770, 1260, 786));
}

TEST(SuccessLayout, MatchesTheTableAt96Dpi)
{
    const SuccessLayout l = ComputeSuccessLayout(CRect(0, 0, 660, 446), 1.0, 1.0);
    EXPECT_EQ(l.startButton, CRect(180, 240, 480, 274));
    EXPECT_EQ(l.launchCheckBox, CRect(30, 406, 50, 426));
    EXPECT_EQ(l.launchLabel, CRect(54, 406, 660, 426));
}

TEST(Progress, WeightsSharesAndHalves)
{
    struct Case { int phase; std::vector<int32_t> d, i; int k, p; float expected; };
    const Case cases[] = {
        {2, {100}, {100}, 0, 40, 20.0f},       // 40 % of the only download
        {3, {100}, {100}, 0, 50, 75.0f},       // half of the only installation
        {3, {}, {100}, 0, 0, 0.0f},            // nothing to download: installing fills the bar
        {3, {}, {100}, 0, 100, 100.0f},
        {3, {}, {}, 0, 50, 0.0f},
        {2, {}, {100}, 0, 50, 0.0f},
        {2, {30, 70}, {30, 70}, 1, 50, 32.5f}, // (30 + 35) / 2
        {2, {30, 70}, {30, 70}, 2, 0, 50.0f},  // past the list
        {2, {30, 70}, {30, 70}, -1, 50, 0.0f}, // run ended: no index
        {2, {60, 60}, {}, 1, 100, 50.0f},      // capped at 100 before halving
        {5, {}, {}, -1, 0, 100.0f},
        {6, {100}, {100}, 0, 80, 0.0f},
        {0, {100}, {100}, 0, 80, 0.0f},
        {2, {100}, {100}, 0, 250, 50.0f},      // percent beyond 100 counts as 100
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(OverallPercent(c.phase, c.d, c.i, c.k, c.p), c.expected)
            << c.phase << " " << c.k << " " << c.p;
    EXPECT_FLOAT_EQ(PhaseProgress(2, true, 20.0f), 40.0f);
    EXPECT_FLOAT_EQ(PhaseProgress(3, true, 75.0f), 50.0f);
    EXPECT_FLOAT_EQ(PhaseProgress(3, false, 75.0f), 75.0f);
}

TEST(TimeRemaining, FormatsTheLargestUnit)
{
    struct Case { uint32_t ms; const wchar_t* text; };
    const Case cases[] = {
        {3725000, L"01 hours 02 mins 05 secs remaining..."},
        {3600000, L"01 hours 00 mins 00 secs remaining..."},
        {65000, L"01 mins 05 secs remaining..."},
        {9000, L"09 secs remaining..."},
        {1000, L"01 secs remaining..."},
        {999, L"00 secs remaining..."},
        {4294967295u, L"1193 hours 02 mins 47 secs remaining..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatTimeRemainingWith(c.ms, kEnglish), c.text) << c.ms;
}

TEST(TimeRemaining, UnsafeTranslationFallsBackToTheBuiltInText)
{
    const TimeFormats broken{L"%s %s %s", L"%d %d %d %d", L"noch %02d Sek."};
    EXPECT_EQ(FormatTimeRemainingWith(3725000, broken), L"01 hours 02 mins 05 secs remaining...");
    EXPECT_EQ(FormatTimeRemainingWith(65000, broken), L"01 mins 05 secs remaining...");
    EXPECT_EQ(FormatTimeRemainingWith(9000, broken), L"noch 09 Sek.");
}

TEST(TimeRemaining, EstimatesFromTheFirstPoll)
{
    uint32_t start = 0;
    EXPECT_EQ(EstimateRemaining(start, 5000, 0.0f), -1); // first poll, nothing yet: "calculating"
    EXPECT_EQ(start, 5000u);
    EXPECT_EQ(EstimateRemaining(start, 15000, 25.0f), 30000); // 10 s for a quarter
    EXPECT_EQ(EstimateRemaining(start, 15000, 0.0f), -1);
    EXPECT_EQ(EstimateRemaining(start, 25000, 100.0f), 1000); // nothing left shows one second
    EXPECT_EQ(EstimateRemaining(start, 5000, 50.0f), 1000);   // same tick as the first poll
    uint32_t fresh = 0;
    EXPECT_EQ(EstimateRemaining(fresh, 7000, 12.5f), 1000); // first poll with progress: one second
    EXPECT_EQ(fresh, 7000u);
    uint32_t wrapped = 0xFFFFF000u; // the tick count wraps after 49.7 days
    EXPECT_EQ(EstimateRemaining(wrapped, 0x00001000u, 50.0f), 0x2000);
    uint32_t slow = 1;
    EXPECT_EQ(EstimateRemaining(slow, 4000000001u, 0.001f), 4294967295); // capped, no overflow
}

TEST(InstallFolder, TrimsOneTrailingBackslash)
{
    struct Case { const wchar_t* in; const wchar_t* out; };
    const Case cases[] = {
        {L"C:\\Program Files\\Kelmware\\", L"C:\\Program Files\\Kelmware"},
        {L"C:\\", L"C:"},
        {L"\\", L""},
        {L"C:\\a\\\\", L"C:\\a\\"},
        {L"a", L"a"},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrimInstallFolderText(c.in), c.out) << c.in;
}

TEST(InstallFolder, LevelsKeepDrivesSharesAndRoots)
{
    using Levels = std::vector<std::wstring>;
    EXPECT_EQ(FolderLevels(L"C:\\a\\b"), (Levels{L"C:", L"C:\\a", L"C:\\a\\b"}));
    EXPECT_EQ(FolderLevels(L"\\\\server\\share\\a"), (Levels{L"\\\\server", L"\\\\server\\share", L"\\\\server\\share\\a"}));
    EXPECT_EQ(FolderLevels(L"\\a\\b"), (Levels{L"\\a", L"\\a\\b"}));
    EXPECT_EQ(FolderLevels(L"C:\\a\\\\b"), (Levels{L"C:", L"C:\\a", L"C:\\a\\b"}));
}

TEST(InstallFolder, RelativePathsAreRefused)
{
    for (const wchar_t* path : {L"Program Files\\Kelmware", L"..\\x", L"", L"C:relative"})
        EXPECT_EQ(PrepareInstallFolder(path), FolderCheck::Relative) << path;
}

TEST(InstallFolder, CreatesMissingLevelsOneByOne)
{
    const std::wstring root = TempFolder(L"kelm_folder_");
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    const std::wstring nested = root + L"\\one\\two\\three";
    EXPECT_EQ(PrepareInstallFolder(nested), FolderCheck::Ready);
    EXPECT_TRUE(IsDirectory(nested));
    // Existing levels are left alone; a second run changes nothing.
    EXPECT_EQ(PrepareInstallFolder(nested), FolderCheck::Ready);
    EXPECT_EQ(PrepareInstallFolder(L"C:"), FolderCheck::Ready);

    // A file in the way stops creation at that level; the levels above stay.
    const std::wstring file = root + L"\\blocker";
    ASSERT_TRUE(UniqueFile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));
    std::wstring failedAt;
    EXPECT_EQ(PrepareInstallFolder(file + L"\\below", &failedAt), FolderCheck::NotCreatable);
    EXPECT_EQ(failedAt, file); // the file itself is the level that cannot be a folder

    EXPECT_EQ(BrowseStartFolder(nested + L"\\missing\\deeper"), nested);
    EXPECT_EQ(BrowseStartFolder(nested + L"\\"), nested);
    EXPECT_EQ(BrowseStartFolder(L"C:\\"), L"C:\\");
    EXPECT_EQ(BrowseStartFolder(L""), L"");

    DeleteFileW(file.c_str());
    RemoveDirectoryW(nested.c_str());
    RemoveDirectoryW((root + L"\\one\\two").c_str());
    RemoveDirectoryW((root + L"\\one").c_str());
    RemoveDirectoryW(root.c_str());
}

TEST(WebPages, OnlyPlainWebAddressesGoToTheShell)
{
    struct Case { const wchar_t* address; bool web; };
    const Case cases[] = {
        {L"https://go.kelmware.com/zunder80-terms", true},
        {L"http://127.0.0.1:8080/tour.html?lang=2052#top", true},
        {L"HTTPS://Example.com", true},
        {L"", false},
        {L"https://", false},
        {L"https:///path", false},
        {L"http:example.com", false},
        {L"C:\\Windows\\System32\\calc.exe", false},
        {L"file:///C:/Windows/System32/calc.exe", false},
        {L"\\\\server\\share\\setup.exe", false},
        {L"mailto:care@kelmware.com", false},
        {L"javascript:alert(1)", false},
        {L" https://example.com", false},
        {L"https://example.com\" --new-window \"C:\\x", false},  // would end the browser's quoted %1
        {L"https://example.com/a b", false},
        {L"https://example.com/\t", false},
        {L"https://example.com/<script>", false},
        {L"https://example.com\\..\\x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWebAddress(c.address), c.web) << testing::PrintToString(std::wstring(c.address));
}
