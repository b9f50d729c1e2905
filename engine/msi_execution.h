#pragma once
// The Windows Installer's side of one package being installed: the handler the
// installer calls with its messages, the progress bars it reports (turned into
// a percent that never goes back), its boxes, and what its log says of the
// product's home page. The engine keeps one for the run and begins it anew for
// each package; it only sequences the phases.
//
// Threads: the Windows Installer calls the handler on the install worker,
// inside MsiInstallProductW; Cancel comes from the UI thread and only sets the
// atomic reply flag that the handler's next progress message answers with.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace kelm {

class MsiExecution {
public:
    // A package starts: its percent from 0 (the status page places it in the
    // package's share of the bar), shown as package `installIndex`; boxes go
    // to `owner` with `caption`. `runCancelled` is read after the reply flag
    // is reset, so a cancellation that came before the package is answered
    // from its first progress message on.
    void Begin(const std::wstring& packageName, int32_t installIndex, HWND owner, const std::wstring& caption,
               const std::atomic<int32_t>& runCancelled);
    // From any thread: every progress message is answered with Cancel from now on.
    void Cancel() noexcept { m_bReplyCancel = 1; }

    int HandleInstallerMessage(UINT messageType, const wchar_t* message);
    int ParseProgressMessage(const std::wstring& text);
    void ParseLogLine(const std::wstring& line);

    // The user answered Cancel in one of the installer's boxes.
    bool CancelledInInstallerBox() const { return m_bCancelledInBox; }
    int32_t ProgressMessageCount() const { return m_nProgressMessages; }
    int32_t MaxPercent() const { return m_nMaxPercent; }
    // From the first package whose log names it; kept across packages.
    const std::wstring& HomePageUrl() const { return m_strHomePageUrl; }

private:
    void AdvanceProgress();

    int32_t m_nInstallIndex = 0;
    int32_t m_nMaxPercent = 0;     // highest percent reported for this package; never goes down
    int32_t m_nBasePercent = 0;    // m_nMaxPercent when the current progress bar began
    int32_t m_bProgressActive = 0; // a reset message has been seen
    int32_t m_nTotalTicks = 0;
    int32_t m_bForward = 0;        // 0 while the installer rolls back
    int32_t m_nPosition = 0;
    int32_t m_bFirstMessage = 0;
    int32_t m_nProgressType = 0;
    int32_t m_nProgressField2 = 0;
    int32_t m_nProgressField3 = 0;
    int32_t m_nProgressField4 = 0;
    std::atomic<int32_t> m_bReplyCancel{0}; // set by Cancel on the UI thread, read by the handler
    std::wstring m_strCurrentPackage;
    int32_t m_nProgressMessages = 0;
    HWND m_hMessageOwner = nullptr;
    std::wstring m_strMessageCaption;
    bool m_bCancelledInBox = false;
    std::wstring m_strHomePageUrl;
};

// The INSTALLUI_HANDLERW given to the Windows Installer; context is the MsiExecution.
int WINAPI InstallerMessageHandler(LPVOID context, UINT messageType, LPCWSTR message);

} // namespace kelm
