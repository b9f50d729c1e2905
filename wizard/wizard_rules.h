#pragma once
// The wizard's rules that need no window: panel sizes and control layouts for
// a DPI scale, the progress arithmetic of the status panel, the remaining-time
// text and the installation-folder checks of the settings panel.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/geometry.h"

namespace kelm {

// n pixels at 96 DPI for a scale factor (1, 1.25, 1.5 or 2), truncated.
inline int Scaled(int n, double scale) noexcept { return static_cast<int>(n * scale); }

// ----- panel and window sizes -----

// 660 x 446 at 96 DPI, scaled.
CSize DefaultPanelSize(double scaleX, double scaleY) noexcept;
// The strip of the settings panel that collapsing hides: 79 at 96 DPI, scaled vertically.
int CollapsibleHeight(double scaleY) noexcept;
// The wizard window's width for a panel width: 2 pixels wider, 4 at a scale of 2.
int WizardWindowWidth(int panelWidth, double scaleX) noexcept;

// ----- settings panel -----

struct SettingLayout {
    CRect installButton;
    CRect checkBox;
    CRect acceptLabel;  // item 135
    CRect termsLink;    // item 152
    CRect expandButton;
    CRect settingsLabel; // item 136
    CPoint separator;
    CRect folderLabel;
    CRect folderEdit;
    CRect browseButton;
};

struct SettingTextSizes {
    CSize acceptLabel;   // measured with the normal font
    CSize termsLink;     // measured with the underlined font
    CSize settingsLabel; // measured with the underlined font
    CSize folderLabel;   // measured with the normal font
};

// The sizes the measurements start from.
SettingTextSizes DefaultSettingTextSizes(double scaleX, double scaleY) noexcept;

// Whether the acceptance label comes before the link: the whole sentence begins
// with the label's text.
bool AcceptLabelComesFirst(const std::wstring& sentence, const std::wstring& labelText);

SettingLayout ComputeSettingLayout(const CRect& client, double scaleX, double scaleY, const SettingTextSizes& sizes,
                                   bool labelFirst) noexcept;

// ----- status panel -----

struct StatusLayout {
    CRect slideShow;
    CRect statusLabel;
    CRect timeLabel;
    CRect percentLabel;
    CRect progressBar;
};

StatusLayout ComputeStatusLayout(const CRect& client, double scaleX, double scaleY) noexcept;

// ----- success panel -----

struct SuccessLayout {
    CRect startButton;
    CRect launchCheckBox;
    CRect launchLabel;
};

SuccessLayout ComputeSuccessLayout(const CRect& client, double scaleX, double scaleY) noexcept;

// Icon and title of the settings and success panels: the icon's square and the
// rectangle of a title of the given text height, half a text height below it.
CRect PanelIconRect(const CRect& client, double scaleX, int iconTop96) noexcept;
CRect PanelTitleRect(const CRect& client, const CRect& icon, int textHeight) noexcept;

// ----- progress -----

// The weighted progress through a list of percent shares: the whole shares
// before `index` plus share[index] * percent / 100, capped at 100; 100 once
// `index` is past the list. A negative index counts as no progress.
float WeightedProgress(const std::vector<int32_t>& shares, int32_t index, int32_t percent) noexcept;

// The bar's percentage for a status record: downloads fill the first half and
// installations the second (all of it when nothing is downloaded).
float OverallPercent(int32_t phase, const std::vector<int32_t>& downloadShares,
                     const std::vector<int32_t>& installShares, int32_t index, int32_t percent) noexcept;

// Progress of the current phase (0 to 100) from the overall percentage.
float PhaseProgress(int32_t phase, bool anyDownload, float overallPercent) noexcept;

// Remaining milliseconds to show, or -1 for "calculating". `startTick` is the
// first poll's tick count (0 before it; set here on the first call).
int64_t EstimateRemaining(uint32_t& startTick, uint32_t now, float phaseProgress) noexcept;

struct TimeFormats {
    std::wstring hours;   // "%02d hours %02d mins %02d secs remaining..."
    std::wstring minutes; // "%02d mins %02d secs remaining..."
    std::wstring seconds; // "%02d secs remaining..."
};

// Hours, minutes and seconds of a duration, in the largest unit's text.
std::wstring FormatTimeRemainingWith(uint32_t milliseconds, const TimeFormats& formats);

// ----- installation folder -----

// The edit box text as it is checked: a trailing backslash of a longer text,
// or a lone backslash, is dropped.
std::wstring TrimInstallFolderText(std::wstring text);

// The successive prefixes of `path` that creation walks through, from the top:
// "\\server\share\a" gives "\\server", "\\server\share", "\\server\share\a";
// "C:\a\b" gives "C:", "C:\a", "C:\a\b"; "\a" gives "\a".
std::vector<std::wstring> FolderLevels(const std::wstring& path);

enum class FolderCheck { Ready, Relative, NotCreatable };

// Checks the trimmed path and creates the missing levels one by one (drives
// and existing levels are left alone). `failedAt` receives the level that
// could not be created.
FolderCheck PrepareInstallFolder(const std::wstring& path, std::wstring* failedAt = nullptr);

// Where the folder browser starts: the absolute form of the text, one
// trailing backslash removed (not after a colon), cut back at backslashes to
// the longest existing prefix. Empty for an empty text.
std::wstring BrowseStartFolder(const std::wstring& text);

// ----- web pages -----

// Whether `address` may go to the shell as a web page: "http://" or
// "https://" (any case) and a host, with no space, control character, quote
// or other character that a URL may not hold. The installer runs elevated and
// its links come from a language file and a package: none of them may start a
// local program or add arguments to the browser's command line.
bool IsWebAddress(const std::wstring& address);

} // namespace kelm
