#include "wizard/wizard_rules.h"

#include <shlwapi.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <limits>
#include <string_view>

#include "config/localised_format.h"

namespace kelm {

CSize DefaultPanelSize(double scaleX, double scaleY) noexcept
{
    return CSize(Scaled(660, scaleX), Scaled(446, scaleY));
}

int CollapsibleHeight(double scaleY) noexcept { return Scaled(79, scaleY); }

int WizardWindowWidth(int panelWidth, double scaleX) noexcept
{
    return panelWidth + 2 * static_cast<int>(scaleX);
}

SettingTextSizes DefaultSettingTextSizes(double scaleX, double scaleY) noexcept
{
    SettingTextSizes sizes;
    sizes.acceptLabel = CSize(Scaled(138, scaleX), Scaled(16, scaleY));
    sizes.termsLink = sizes.acceptLabel;
    sizes.settingsLabel = CSize(Scaled(110, scaleX), Scaled(14, scaleY));
    sizes.folderLabel = CSize(Scaled(144, scaleX), Scaled(30, scaleY));
    return sizes;
}

bool AcceptLabelComesFirst(const std::wstring& sentence, const std::wstring& labelText)
{
    return sentence.compare(0, labelText.size(), labelText) == 0;
}

SettingLayout ComputeSettingLayout(const CRect& rc, double sX, double sY, const SettingTextSizes& sizes,
                                   bool labelFirst) noexcept
{
    SettingLayout layout;
    const int gap = Scaled(4, sX);

    const int buttonWidth = Scaled(300, sX);
    const int buttonLeft = rc.left + (rc.Width() - buttonWidth) / 2;
    const int buttonTop = rc.top + Scaled(174, sX);
    layout.installButton = CRect(buttonLeft, buttonTop, buttonLeft + buttonWidth, buttonTop + Scaled(34, sY));

    const int checkWidth = Scaled(16, sX);
    const int checkHeight = Scaled(16, sY);
    const CSize& first = labelFirst ? sizes.acceptLabel : sizes.termsLink;
    const CSize& second = labelFirst ? sizes.termsLink : sizes.acceptLabel;
    const int rowLeft =
        rc.left + (rc.Width() - checkWidth - sizes.acceptLabel.cx - sizes.termsLink.cx - gap) / 2;
    const int checkTop = layout.installButton.bottom + Scaled(16, sX);
    layout.checkBox = CRect(rowLeft, checkTop, rowLeft + checkWidth, checkTop + checkHeight);

    const int textTop = checkTop - Scaled(1, sY);
    const CRect firstRect(layout.checkBox.right + gap, textTop, layout.checkBox.right + gap + first.cx,
                          textTop + first.cy);
    const int secondLeft = firstRect.right + Scaled(4, sX);
    // The link ends the sentence when it comes second, and may use the rest of the row.
    const int secondRight = labelFirst ? rc.right : secondLeft + second.cx;
    const CRect secondRect(secondLeft, textTop, secondRight, textTop + first.cy);
    layout.acceptLabel = labelFirst ? firstRect : secondRect;
    layout.termsLink = labelFirst ? secondRect : firstRect;

    const int expandWidth = Scaled(16, sX);
    const int expandLeft = rc.right - (rc.Width() - expandWidth - sizes.settingsLabel.cx - gap) / 2 - expandWidth;
    const int expandTop = firstRect.bottom + Scaled(66, sY);
    layout.expandButton = CRect(expandLeft, expandTop, expandLeft + expandWidth, expandTop + Scaled(16, sY));
    layout.settingsLabel = CRect(rc.left, expandTop, expandLeft - gap, expandTop + sizes.settingsLabel.cy);

    layout.separator = CPoint(rc.left, layout.expandButton.bottom + Scaled(15, sY));

    const int folderTop = layout.expandButton.bottom + Scaled(38, sY);
    const int rowHeight = sizes.folderLabel.cy;
    const int labelLeft = rc.left + Scaled(68, sX);
    layout.folderLabel = CRect(labelLeft, folderTop, labelLeft + sizes.folderLabel.cx, folderTop + rowHeight);
    const int browseWidth = Scaled(24, sY);
    const int browseLeft = rc.right - browseWidth - Scaled(68, sX);
    layout.browseButton = CRect(browseLeft, folderTop, browseLeft + browseWidth, folderTop + rowHeight);
    layout.folderEdit = CRect(layout.folderLabel.right + gap, folderTop, browseLeft, folderTop + rowHeight);
    return layout;
}

StatusLayout ComputeStatusLayout(const CRect& rc, double sX, double sY) noexcept
{
    StatusLayout layout;
    const int inset = Scaled(30, sY);
    const int slideTop = rc.top + Scaled(36, sX);
    layout.slideShow = CRect(rc.left, slideTop, rc.right, slideTop + Scaled(284, sY));

    const int labelHeight = Scaled(20, sY);
    const int labelRight = rc.right - Scaled(100, sX) - inset;
    const int statusTop = layout.slideShow.bottom + Scaled(15, sY);
    layout.statusLabel = CRect(rc.left + inset, statusTop, labelRight, statusTop + labelHeight);
    const int timeTop = statusTop + Scaled(20, sY);
    layout.timeLabel = CRect(rc.left + inset, timeTop, labelRight, timeTop + labelHeight);
    layout.percentLabel = CRect(labelRight, timeTop, rc.right - inset, timeTop + labelHeight);
    const int barTop = layout.timeLabel.bottom + Scaled(10, sY);
    layout.progressBar = CRect(rc.left + inset, barTop, rc.right - inset, barTop + Scaled(8, sY));
    return layout;
}

SuccessLayout ComputeSuccessLayout(const CRect& rc, double sX, double sY) noexcept
{
    SuccessLayout layout;
    const int buttonWidth = Scaled(300, sX);
    const int buttonLeft = rc.left + (rc.Width() - buttonWidth) / 2;
    const int buttonTop = rc.top + Scaled(240, sX);
    layout.startButton = CRect(buttonLeft, buttonTop, buttonLeft + buttonWidth, buttonTop + Scaled(34, sY));
    const int checkLeft = rc.left + Scaled(30, sY);
    const int checkTop = rc.bottom - Scaled(40, sY);
    layout.launchCheckBox = CRect(checkLeft, checkTop, checkLeft + Scaled(20, sX), checkTop + Scaled(20, sY));
    layout.launchLabel =
        CRect(layout.launchCheckBox.right + Scaled(4, sX), checkTop, rc.right, checkTop + Scaled(20, sY));
    return layout;
}

CRect PanelIconRect(const CRect& client, double scaleX, int iconTop96) noexcept
{
    const int size = Scaled(64, scaleX);
    const int left = client.left + (client.Width() - size) / 2;
    const int top = client.top + Scaled(iconTop96, scaleX);
    return CRect(left, top, left + size, top + size);
}

CRect PanelTitleRect(const CRect& client, const CRect& icon, int textHeight) noexcept
{
    const int top = icon.bottom + textHeight / 2;
    return CRect(client.left, top, client.right, top + textHeight);
}

float WeightedProgress(const std::vector<int32_t>& shares, int32_t index, int32_t percent) noexcept
{
    if (index < 0)
        return 0.0f;
    if (static_cast<size_t>(index) >= shares.size())
        return 100.0f;
    float sum = 0.0f;
    for (int32_t i = 0; i < index; ++i)
        sum += static_cast<float>(shares[i]);
    const int32_t clamped = std::clamp(percent, 0, 100);
    sum += static_cast<float>(shares[index]) * static_cast<float>(clamped) / 100.0f;
    return std::min(sum, 100.0f);
}

namespace {
constexpr int32_t kPhaseDownloading = 2;
constexpr int32_t kPhaseInstalling = 3;
constexpr int32_t kPhaseFinished = 5;
} // namespace

float OverallPercent(int32_t phase, const std::vector<int32_t>& downloadShares,
                     const std::vector<int32_t>& installShares, int32_t index, int32_t percent) noexcept
{
    switch (phase) {
    case kPhaseDownloading:
        return downloadShares.empty() ? 0.0f : 0.5f * WeightedProgress(downloadShares, index, percent);
    case kPhaseInstalling: {
        if (installShares.empty())
            return 0.0f;
        const float installed = WeightedProgress(installShares, index, percent);
        return downloadShares.empty() ? installed : 50.0f + 0.5f * installed;
    }
    case kPhaseFinished:
        return 100.0f;
    default:
        return 0.0f;
    }
}

float PhaseProgress(int32_t phase, bool anyDownload, float overallPercent) noexcept
{
    if (phase == kPhaseDownloading)
        return 2.0f * overallPercent;
    if (phase == kPhaseInstalling && anyDownload)
        return 2.0f * (overallPercent - 50.0f);
    return overallPercent;
}

int64_t EstimateRemaining(uint32_t& startTick, uint32_t now, float phaseProgress) noexcept
{
    if (startTick == 0) {
        startTick = now != 0 ? now : 1; // 0 means "no poll yet"
        return phaseProgress > 0.0f ? 1000 : -1;
    }
    if (!(phaseProgress > 0.0f))
        return -1;
    const uint32_t elapsed = now - startTick;
    const double fraction = std::min(static_cast<double>(phaseProgress), 100.0) / 100.0;
    const double total = std::floor(static_cast<double>(elapsed) / fraction);
    const double remaining = std::min(total - elapsed, static_cast<double>(std::numeric_limits<uint32_t>::max()));
    if (remaining <= 0.0)
        return 1000;
    return static_cast<int64_t>(remaining);
}

std::wstring FormatTimeRemainingWith(uint32_t ms, const TimeFormats& formats)
{
    const uint32_t hours = ms / 3600000u;
    const uint32_t rest = (ms / 1000u) % 3600u;
    const uint32_t minutes = rest / 60u;
    const uint32_t seconds = rest % 60u;
    if (hours > 0)
        return FormatWithNumbers(formats.hours, {hours, minutes, seconds},
                                 L"%02d hours %02d mins %02d secs remaining...");
    if (minutes > 0)
        return FormatWithNumbers(formats.minutes, {minutes, seconds}, L"%02d mins %02d secs remaining...");
    return FormatWithNumbers(formats.seconds, {seconds}, L"%02d secs remaining...");
}

std::wstring TrimInstallFolderText(std::wstring text)
{
    if ((text.size() > 1 && text.back() == L'\\') || text == L"\\")
        text.pop_back();
    return text;
}

std::vector<std::wstring> FolderLevels(const std::wstring& path)
{
    std::vector<std::wstring> components;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find(L'\\', start);
        const std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!part.empty())
            components.push_back(part);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    std::vector<std::wstring> levels;
    std::wstring prefix;
    const bool share = path.rfind(L"\\\\", 0) == 0;
    const bool rooted = !share && path.rfind(L"\\", 0) == 0;
    for (size_t i = 0; i < components.size(); ++i) {
        if (i == 0)
            prefix = (share ? L"\\\\" : rooted ? L"\\" : L"") + components[0];
        else
            prefix += L"\\" + components[i];
        levels.push_back(prefix);
    }
    return levels;
}

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// "C:foo" names a folder relative to drive C's current folder: as relative as "foo".
bool IsRelativeFolder(const std::wstring& path)
{
    if (PathIsRelativeW(path.c_str()))
        return true;
    return path.size() >= 2 && path[1] == L':' && (path.size() == 2 ? false : path[2] != L'\\');
}

} // namespace

FolderCheck PrepareInstallFolder(const std::wstring& path, std::wstring* failedAt)
{
    if (path.empty() || IsRelativeFolder(path))
        return FolderCheck::Relative;
    if (IsDirectory(path))
        return FolderCheck::Ready;
    const std::vector<std::wstring> levels = FolderLevels(path);
    // A share's server and share name cannot be created; they exist or the path is unavailable.
    const size_t firstCreatable = path.rfind(L"\\\\", 0) == 0 ? 2 : 0;
    for (size_t i = firstCreatable; i < levels.size(); ++i) {
        const std::wstring& level = levels[i];
        if (level.back() == L':' || IsDirectory(level))
            continue;
        if (!CreateDirectoryW(level.c_str(), nullptr)) {
            if (failedAt != nullptr)
                *failedAt = level;
            return FolderCheck::NotCreatable;
        }
    }
    return IsDirectory(path) ? FolderCheck::Ready : FolderCheck::NotCreatable;
}

std::wstring BrowseStartFolder(const std::wstring& text)
{
    if (text.empty())
        return {};
    wchar_t buffer[261] = {};
    const DWORD length = GetFullPathNameW(text.c_str(), 261, buffer, nullptr);
    std::wstring path = (length > 0 && length < 261) ? std::wstring(buffer, length) : text;
    if (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':')
        path.pop_back();
    while (!PathFileExistsW(path.c_str())) {
        const size_t cut = path.rfind(L'\\');
        if (cut == std::wstring::npos)
            break;
        path.erase(cut);
    }
    return path;
}

bool IsWebAddress(const std::wstring& address)
{
    size_t host = 0;
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        const size_t length = wcslen(scheme);
        if (address.size() > length && _wcsnicmp(address.c_str(), scheme, length) == 0)
            host = length;
    }
    if (host == 0 || std::wstring_view(L"/?#").find(address[host]) != std::wstring_view::npos)
        return false;
    for (wchar_t c : address) {
        if (c <= L' ' || c == 0x7F || std::wstring_view(L"\"<>\\^`{|}").find(c) != std::wstring_view::npos)
            return false;
    }
    return true;
}

} // namespace kelm
