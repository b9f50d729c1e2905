#pragma once
// CClientValidator: the small modal dialog with a running marquee that start-up
// shows before the wizard. While it is up, a task of its own fetches the
// server's version descriptor, takes the install decision, tells the user
// what it means and, when this client is too old, downloads the newer client.
// The task's last act closes the dialog; start-up then reads the outcome.
//
// The outcome fields are written by the task only. Start-up reads them after
// WaitForCheck (DoModal calls it before it returns), and the dialog refuses a
// close request (Alt+F4) until the task has ended, so nothing reads them while
// the task can still write them.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <string>

#include "framework/wnd.h"
#include "transfer/download_job.h"
#include "skin/kelm_dialog.h"
#include "trust/trusted_file.h"

namespace kelm {

// What the client check decided (m_nCheckOutcome): go on with this client,
// end the run, or end it and start the newer client that was downloaded.
enum class ClientCheckOutcome : int32_t {
    Continue = 0,
    Stop = 1,
    RunNewClient = 2,
};

// What became of a newer client the descriptor names.
enum class NewClientDownload {
    NotOffered, // the descriptor names no address
    NotFetched, // the download failed (the engine's own check ends the run later)
    Refused,    // it came, but it is not the vendor's (hash or signature): never started
    NoRoom,     // the work folder's volume filled up while it was written
    Admitted,   // held and ready to be started at exit
};

// The most a newer client's download may bring.
inline constexpr std::uint64_t kMaxClientSize = 64ull * 1024 * 1024;

// "<work folder>KelmWebInstaller_<tick>\<full_name>.exe" with its folder newly
// created (only administrators can write it); empty when there is no work
// folder or the folder cannot be made.
std::wstring MakeClientUpdatePath();

class CClientValidator : public CKelmDialog {
    KELM_DECLARE_DYNAMIC(CClientValidator)
public:
    // `silentFlag` is read when the dialog opens: set, the dialog stays hidden
    // (its message boxes still show). Opens the process-wide internet session.
    explicit CClientValidator(const int32_t* silentFlag = nullptr);
    ~CClientValidator() override;

    // Runs the dialog; returns once the check task has ended.
    INT_PTR DoModal() override;
    // Waits for the check task, when one was started; afterwards the outcome is final.
    void WaitForCheck() noexcept;

    // The task's steps (public for tests).
    void RunClientCheck();
    int32_t CheckClientVersion();
    NewClientDownload DownloadNewClient();

    std::wstring m_strWindowText;
    CWnd m_progress;
    std::future<void> m_worker;
    std::wstring m_strNewClientPath;
    // The admitted newer client, held from its check until it is started at exit.
    TrustedFile m_newClient;
    std::wstring m_strNewClientRefusal; // why a newer client was refused
    DiskShortage m_noRoom; // where the newer client found no room
    int32_t m_nTransferResult = 0;
    ClientCheckOutcome m_nCheckOutcome = ClientCheckOutcome::Continue;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    void LayoutClient(const RECT& client) override;
    void OnOK() override {}
    void OnCancel() override { OnClose(); }
    void OnClose();

private:
    void HideForMessage();
    // Through the run's message boxes: a silent run logs the text and takes `silentAnswer`.
    int ShowMessage(const std::wstring& text, UINT type, int silentAnswer);

    const int32_t* m_pSilentFlag;
    std::atomic<bool> m_bCheckEnded{false};

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
