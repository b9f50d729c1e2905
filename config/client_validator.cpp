#include "config/client_validator.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <exception>

#include "config/installed_flags.h"
#include "config/installed_product.h"
#include "config/installer_config.h"
#include "config/localised_format.h"
#include "config/shell_launch.h"
#include "config/ui_strings.h"
#include "config/version_check.h"
#include "framework/handles.h"
#include "res/resource.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "transfer/download_file.h"
#include "transfer/download_job.h"
#include "transfer/http_client.h"
#include "transfer/sha256.h"
#include "trust/admin_folder.h"

namespace kelm {

namespace {
constexpr UINT kProgressId = 171;
constexpr DWORD kSettleDelay = 200; // lets the dialog come up before the first message box
} // namespace

namespace {

// A copy of the descriptor for the support engineer; the check reads the bytes in memory.
void KeepDescriptorCopy(const std::wstring& path, const std::string& bytes) noexcept
{
    try {
        CDownloadFile file;
        if (file.Create(path))
            file.Write(bytes.data(), bytes.size());
    } catch (const std::exception&) {
        // Only a copy: the check goes on without it.
    }
}

} // namespace

// A fresh folder "KelmWebInstaller_<tick count>" in the product's work folder
// under the machine's program data, which only administrators can write: the
// newer client is started with administrator rights, so nobody else may be able
// to put a file in its place.
std::wstring MakeClientUpdatePath()
{
    if (theConfig.workFolder.empty())
        return {};
    std::wstring base = theConfig.workFolder;
    while (!base.empty() && base.back() == L'\\')
        base.pop_back();
    const std::wstring name = L"KelmWebInstaller_" + std::to_wstring(static_cast<int32_t>(GetTickCount()));
    // A folder made here and now, never one that was there before.
    if (!CreateFreshAdminOnlyFolder(base, name)) {
        Log(L"could not create ", base, L"\\", name, L" (error ", ::GetLastError(), L")");
        return {};
    }
    return base + L"\\" + name + L"\\" + theConfig.manifest.full_name + L".exe";
}

KELM_IMPLEMENT_DYNAMIC(CClientValidator, CKelmDialog)

KELM_BEGIN_MESSAGE_MAP(CClientValidator, CKelmDialog)
    KELM_ON_WM_CLOSE()
KELM_END_MESSAGE_MAP()

CClientValidator::CClientValidator(const int32_t* silentFlag)
    : CKelmDialog(IDD_CLIENT_VALIDATOR), m_pSilentFlag(silentFlag)
{
    OpenSession();
}

CClientValidator::~CClientValidator()
{
    WaitForCheck();
    CloseSession();
}

void CClientValidator::DoDataExchange(CDataExchange* exchange)
{
    CKelmDialog::DoDataExchange(exchange);
    DDX_Control(exchange, kProgressId, m_progress);
}

BOOL CClientValidator::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN)
        return TRUE; // neither Enter nor Escape ends the check
    return CKelmDialog::PreTranslateMessage(msg);
}

INT_PTR CClientValidator::DoModal()
{
    m_bCheckEnded = false;
    const INT_PTR result = CKelmDialog::DoModal();
    WaitForCheck();
    return result;
}

void CClientValidator::WaitForCheck() noexcept
{
    if (!m_worker.valid())
        return;
    try {
        m_worker.get();
    } catch (...) {
        // RunClientCheck lets nothing escape; a failed task leaves the outcome as it was.
    }
}

BOOL CClientValidator::OnInitDialog()
{
    CKelmDialog::OnInitDialog();
    SetShowCaption(true);
    SetCaptionButtonDisabled(CaptionButton::Close, true);
    SetCaptionButtonDisabled(CaptionButton::Maximize, true);
    SetCaptionButtonDisabled(CaptionButton::Minimize, true);
    LayoutClient(GetClientRect());

    if (m_strWindowText.empty())
        m_strWindowText = GetUiString(IDS_PREPARING);
    SetWindowTextW(m_strWindowText);
    m_progress.SendMessageW(PBM_SETMARQUEE, 1, 10);

    try {
        m_worker = std::async(std::launch::async, [this] { RunClientCheck(); });
    } catch (const std::exception&) {
        // No task: nothing was checked, and the installation engine checks again before installing.
        m_bCheckEnded = true;
        PostMessageW(WM_CLOSE);
    }

    if (m_pSilentFlag != nullptr && *m_pSilentFlag) {
        KeepHiddenWhileModal();
        SetWindowPos(HWND_NOTOPMOST, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOACTIVATE);
        ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
        ShowWindow(SW_HIDE);
        return FALSE; // no focus: focusing a control would activate the window
    }
    return TRUE;
}

void CClientValidator::LayoutClient(const RECT& client)
{
    CKelmDialog::LayoutClient(client);
    if (m_progress.GetSafeHwnd() == nullptr)
        return;
    const CRect bar = m_progress.GetWindowRect();
    const CRect area(client);
    const int x = (area.Width() - bar.Width()) / 2;
    const int y = (area.Height() - bar.Height()) / 2;
    ::MoveWindow(m_progress, x, y, bar.Width(), bar.Height(), TRUE);
}

void CClientValidator::OnClose()
{
    if (!m_bCheckEnded)
        return; // the check is still running; its own close request comes when it ends
    WaitForCheck();
    EndDialog(IDCANCEL);
}

void CClientValidator::HideForMessage()
{
    ::ShowWindow(m_hWnd, SW_HIDE);
}

int CClientValidator::ShowMessage(const std::wstring& text, UINT type, int silentAnswer)
{
    HideForMessage();
    return ShowRunMessage(m_hWnd, text.c_str(), theConfig.manifest.short_name.c_str(), type, silentAnswer);
}

void CClientValidator::RunClientCheck()
{
    try {
        Sleep(kSettleDelay);
        const InstalledFlags flags = AppInstalledFlags();
        const std::wstring& name = theConfig.manifest.short_name;
        const int32_t decision = CheckClientVersion();
        Log(L"client check: ", DescribeVersionCheck(decision));
        if (decision != Proceed)
            RecordExitCode(ExitCodeForVersionCheck(decision));
        switch (decision) {
        case AlreadyInstalled: {
            const std::wstring text = FormatWithText(GetUiString(IDS_ERR_INSTALLED_ALREADY), name,
                                                     IDS_ERR_INSTALLED_ALREADY.defaultText);
            // A silent run starts nothing: nobody asked for the product.
            if (ShowMessage(text, MB_YESNO | MB_ICONERROR, IDNO) == IDYES) {
                const std::wstring program =
                    GetInstalledExePath(theConfig, flags.productInstalled != 0, flags.relatedProductInstalled != 0);
                if (!program.empty() && PathFileExistsW(program.c_str())) {
                    ComInitialization com;
                    LaunchUnelevated(program);
                }
            }
            m_nCheckOutcome = ClientCheckOutcome::Stop;
            break;
        }
        case ClientTooOld:
            switch (DownloadNewClient()) {
            case NewClientDownload::Admitted:
                m_nCheckOutcome = ClientCheckOutcome::RunNewClient;
                break;
            case NewClientDownload::NoRoom:
                RecordExitCode(ExitCode::DiskFull);
                ShowMessage(DiskSpaceMessage(m_noRoom.folder, m_noRoom.needed, m_noRoom.available),
                            MB_ICONERROR | MB_OK, IDOK);
                m_nCheckOutcome = ClientCheckOutcome::Stop;
                break;
            case NewClientDownload::Refused:
                // Nothing that is not the vendor's runs: the run ends as a client that is too old.
                ShowMessage(FormatWithTexts(GetUiString(IDS_ERR_NEW_CLIENT_REFUSED), {m_strNewClientRefusal},
                                            IDS_ERR_NEW_CLIENT_REFUSED.defaultText),
                            MB_ICONERROR | MB_OK, IDOK);
                m_nCheckOutcome = ClientCheckOutcome::Stop;
                break;
            default:
                break; // the installation's own check stops the run with its message
            }
            break;
        case DescriptorUnavailable:
            ShowMessage(GetUiString(IDS_ERR_CONNECT_DOWNLOAD_SERVER), MB_ICONERROR | MB_OK, IDOK);
            m_nCheckOutcome = ClientCheckOutcome::Stop;
            break;
        case OtherProductInstalled:
            ShowMessage(FormatWithText(GetUiString(IDS_ERR_INSTALLED_ANOTHER_VERSION), name,
                                       IDS_ERR_INSTALLED_ANOTHER_VERSION.defaultText),
                        MB_ICONERROR, IDOK);
            m_nCheckOutcome = ClientCheckOutcome::Stop;
            break;
        default:
            break;
        }
    } catch (...) {
        // Out of memory or the like: the outcome stays as it was and the dialog still closes.
    }
    m_bCheckEnded = true;
    ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

int32_t CClientValidator::CheckClientVersion()
{
    const InstalledFlags flags = AppInstalledFlags();
    auto decide = [&] {
        return static_cast<int32_t>(
            EvaluateVersionCheck(theConfig, flags.productInstalled != 0, flags.relatedProductInstalled != 0));
    };
    if (theConfig.manifest.standalone)
        return decide();
    const std::wstring path = MakeDownloadPath(L"version.xml");
    m_nTransferResult = 0;
    StringSink received;
    try {
        // The address, then its mirrors in turn.
        std::vector<std::wstring> addresses{theConfig.manifest.version_check_url};
        addresses.insert(addresses.end(), theConfig.manifest.version_check_mirrors.begin(),
                         theConfig.manifest.version_check_mirrors.end());
        for (const std::wstring& address : addresses) {
            if (&address != &addresses.front())
                Log(L"version descriptor: trying the mirror ", address);
            CancelRequest never;
            received.text.clear();
            m_nTransferResult = DownloadToStream(never, address, received, kMaxDescriptorSize) ? 1 : 0;
            if (m_nTransferResult != 0)
                break;
        }
    } catch (const std::exception&) {
        return DescriptorUnavailable;
    }
    // A reply that did not arrive, arrived with an error status or was too
    // large is no descriptor, whatever it holds. What is read is the bytes
    // that came, not a file that could have changed since.
    if (m_nTransferResult == 0)
        return DescriptorUnavailable;
    KeepDescriptorCopy(path, received.text);
    if (LoadVersionDescriptorBytes(theConfig, received.text, path))
        return decide();
    return DescriptorUnavailable;
}

NewClientDownload CClientValidator::DownloadNewClient()
{
    const InstalledFlags flags = AppInstalledFlags();
    const bool installed = flags.productInstalled || flags.relatedProductInstalled;
    const ReleaseInfo& release = installed ? theConfig.manifest.patchRelease : theConfig.manifest.freshRelease;
    const std::wstring& url = release.web_installer_download_url;
    m_newClient = TrustedFile();
    m_strNewClientRefusal.clear();
    m_nTransferResult = 0;
    if (url.empty())
        return NewClientDownload::NotOffered;
    m_strNewClientPath = MakeClientUpdatePath();
    NewClientDownload outcome = NewClientDownload::NotFetched;
    if (!m_strNewClientPath.empty()) {
        // Fetched as a file, not a stream: an error page from the server must not
        // become the program that is started at exit.
        try {
            CDownloadFile file;
            if (file.Create(m_strNewClientPath)) {
                CancelRequest never;
                Sha256 hash;
                TransferOutcome transfer;
                m_nTransferResult =
                    TransferToFile(never, url, file, nullptr, ResumePoint{}, &hash, transfer, kMaxClientSize) ? 1 : 0;
                const std::wstring digest = hash.Finish();
                if (m_nTransferResult == 0 && transfer.failure.kind == FailureKind::LocalFile &&
                    IsDiskFullError(transfer.failure.systemError)) {
                    const DiskShortage shortage = ShortageAt(m_strNewClientPath, transfer.totalSize.value_or(0));
                    Log(L"not enough free space in ", shortage.folder, L" for the newer client from ", url, L": ",
                        shortage.available, L" bytes free");
                    m_noRoom = shortage;
                    outcome = NewClientDownload::NoRoom;
                } else if (m_nTransferResult == 0) {
                    Log(L"the newer client from ", url, L" could not be fetched");
                } else if (!release.web_installer_sha256.empty() && !SameSha256(digest, release.web_installer_sha256)) {
                    // With a hash from the server, only the very program it names is started.
                    m_strNewClientRefusal = L"its SHA-256 is " + digest + L", not the descriptor's " +
                                            release.web_installer_sha256;
                    Log(L"refused: the newer client from ", url, L": ", m_strNewClientRefusal);
                    outcome = NewClientDownload::Refused;
                } else {
                    Admission admission = AdmitNewerClient(file.HoldForReading(), m_strNewClientPath);
                    if (admission.Admitted()) {
                        m_newClient = std::move(admission.file);
                        outcome = NewClientDownload::Admitted;
                    } else {
                        m_strNewClientRefusal = admission.refusal;
                        outcome = NewClientDownload::Refused;
                    }
                }
            }
        } catch (const std::exception&) {
            outcome = NewClientDownload::NotFetched;
        }
        if (outcome != NewClientDownload::Admitted)
            ::DeleteFileW(m_strNewClientPath.c_str());
    }
    if (outcome != NewClientDownload::Admitted) {
        m_nTransferResult = 0;
        m_strNewClientPath.clear();
    } else {
        Log(L"newer client downloaded to ", m_strNewClientPath);
    }
    return outcome;
}

} // namespace kelm
