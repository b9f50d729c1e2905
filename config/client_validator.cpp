#include "config/client_validator.h"

#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
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

namespace kelm {

namespace {
constexpr UINT kProgressId = 171;
constexpr DWORD kSettleDelay = 200; // lets the dialog come up before the first message box
} // namespace

namespace {

// The version descriptor's bytes go straight into its file.
class FileSink final : public IByteSink {
public:
    explicit FileSink(CDownloadFile& file) noexcept : m_file(file) {}
    bool Write(const char* data, std::size_t size) override
    {
        try {
            m_file.Write(data, size);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

private:
    CDownloadFile& m_file;
};

// Full control for the system and the administrators, reading and running for
// the users, nothing inherited: a folder no user can put a program into.
constexpr wchar_t kAdminOnlyFolder[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

struct LocalFreeTraits {
    static PSECURITY_DESCRIPTOR Invalid() noexcept { return nullptr; }
    static void Close(PSECURITY_DESCRIPTOR memory) noexcept { ::LocalFree(memory); }
};
using UniqueSecurityDescriptor = UniqueHandleT<LocalFreeTraits>;

// Gives folder the administrators-only access list; false when Windows refuses
// (a folder somebody else made and keeps).
bool RestrictToAdministrators(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present)
        return false;
    std::wstring name = folder;
    return ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   dacl, nullptr) == ERROR_SUCCESS;
}

} // namespace

// A fresh folder "KelmWebInstaller_<tick count>" in the installer's own folder
// under the machine's program data, which only administrators can write: the
// newer client is started with administrator rights, so nobody else may be
// able to put a file in its place.
std::wstring MakeClientUpdatePath()
{
    wchar_t data[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data)))
        return {};
    UniqueSecurityDescriptor descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnlyFolder, SDDL_REVISION_1, descriptor.Put(),
                                                                nullptr))
        return {};
    const std::wstring base = std::wstring(data) + L"\\Kelmware\\Web Installer";
    if (!PathFileExistsW(base.c_str()) && SHCreateDirectory(nullptr, base.c_str()) != ERROR_SUCCESS) {
        Log(L"could not create ", base, L" for the newer client");
        return {};
    }
    if (!RestrictToAdministrators(base, descriptor.Get())) {
        Log(L"could not restrict ", base, L" to administrators; the newer client is not fetched");
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.Get(), FALSE};
    const std::wstring folder = base + L"\\KelmWebInstaller_" + std::to_wstring(static_cast<int32_t>(GetTickCount()));
    // A folder made here and now, never one that was there before.
    if (!::CreateDirectoryW(folder.c_str(), &attributes)) {
        Log(L"could not create ", folder, L" (error ", ::GetLastError(), L")");
        return {};
    }
    return folder + L"\\" + theConfig.manifest.full_name + L".exe";
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
            if (DownloadNewClient() != 0)
                m_nCheckOutcome = ClientCheckOutcome::RunNewClient;
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
    try {
        CDownloadFile file;
        if (file.Create(path)) {
            FileSink stream(file);
            CancelRequest never;
            m_nTransferResult = DownloadToStream(never, theConfig.manifest.version_check_url, stream) ? 1 : 0;
        } else {
            Log(L"could not create ", path, L" (error ", ::GetLastError(), L")");
        }
    } catch (const std::exception&) {
        return DescriptorUnavailable;
    }
    // A reply that did not arrive, or arrived with an error status, is no
    // descriptor, whatever the file holds.
    if (m_nTransferResult != 0 && LoadVersionDescriptor(theConfig, path))
        return decide();
    return DescriptorUnavailable;
}

int32_t CClientValidator::DownloadNewClient()
{
    const InstalledFlags flags = AppInstalledFlags();
    const bool installed = flags.productInstalled || flags.relatedProductInstalled;
    const std::wstring url = installed ? theConfig.manifest.patchRelease.web_installer_download_url
                                       : theConfig.manifest.freshRelease.web_installer_download_url;
    if (url.empty())
        return 0;
    m_strNewClientPath = MakeClientUpdatePath();
    m_nTransferResult = 0;
    if (!m_strNewClientPath.empty()) {
        // Fetched as a file, not a stream: an error page from the server must not
        // become the program that is started at exit.
        const std::wstring& expected = installed ? theConfig.manifest.patchRelease.web_installer_sha256
                                                 : theConfig.manifest.freshRelease.web_installer_sha256;
        try {
            CDownloadFile file;
            if (file.Create(m_strNewClientPath)) {
                CancelRequest never;
                Sha256 hash;
                TransferOutcome outcome;
                m_nTransferResult = TransferToFile(never, url, file, nullptr, ResumePoint{}, &hash, outcome) ? 1 : 0;
                file.Close();
                // With a hash from the server, only the very program it names is started.
                const std::wstring digest = hash.Finish();
                if (m_nTransferResult != 0 && !expected.empty() && !SameSha256(digest, expected)) {
                    Log(L"the newer client from ", url, L" has SHA-256 ", digest, L", not ", expected,
                        L": it is not started");
                    m_nTransferResult = 0;
                }
            }
        } catch (const std::exception&) {
            m_nTransferResult = 0;
        }
        if (m_nTransferResult == 0)
            ::DeleteFileW(m_strNewClientPath.c_str());
    }
    if (m_nTransferResult == 0)
        m_strNewClientPath.clear();
    else
        Log(L"newer client downloaded to ", m_strNewClientPath);
    return m_nTransferResult;
}

} // namespace kelm
