#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/creation_hook.h"

namespace kelm {

namespace {

// The dialog manager's own procedure; all messages reach the CDialog object
// through its window procedure first, so there is nothing to do here.
INT_PTR CALLBACK PassiveDialogProc(HWND, UINT message, WPARAM, LPARAM) noexcept
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

bool DDX_Control(CDataExchange* exchange, int id, CWnd& control)
{
    if (control.m_hWnd != nullptr)
        return true;
    if (control.SubclassDlgItem(static_cast<UINT>(id), exchange->m_pDlgWnd))
        return true;
    ::OutputDebugStringW(L"Kelm: a dialog item could not be bound to its control object\r\n");
    return false;
}

KELM_IMPLEMENT_DYNAMIC(CDialog, CWnd)

KELM_BEGIN_MESSAGE_MAP(CDialog, CWnd)
    KELM_ON_MESSAGE(WM_INITDIALOG, HandleInitDialog)
    KELM_ON_COMMAND(IDOK, HandleOK)
    KELM_ON_COMMAND(IDCANCEL, HandleCancel)
KELM_END_MESSAGE_MAP()

CDialog::~CDialog() = default;

bool CDialog::CreateFromTemplate(HWND parent)
{
    if (m_hWnd != nullptr)
        return false;
    HWND created;
    {
        CreationScope scope(*this);
        created = ::CreateDialogParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), parent,
                                       PassiveDialogProc, 0);
    }
    if (created != nullptr && m_hWnd != created) {
        ::DestroyWindow(created); // not bound to this object (no creation hook): not ours to keep
        return false;
    }
    return created != nullptr;
}

bool CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_pParentWnd = parent;
    m_bModal = false;
    return CreateFromTemplate(parent != nullptr ? parent->m_hWnd : nullptr);
}

INT_PTR CDialog::DoModal()
{
    if (m_hWnd != nullptr)
        return -1;
    HWND owner = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (owner == nullptr) {
        CWnd* mainWindow = AfxGetMainWnd();
        if (mainWindow != nullptr && mainWindow != this && ::IsWindow(mainWindow->m_hWnd))
            owner = mainWindow->m_hWnd;
    }
    if (owner != nullptr)
        owner = ::GetAncestor(owner, GA_ROOT);
    bool disableOwner = owner != nullptr && ::IsWindowEnabled(owner);

    m_bModal = true;
    m_bContinueModal = true;
    m_nModalResult = -1;
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    if (CreateFromTemplate(owner) && m_bContinueModal)
        RunModalLoop();
    if (m_hWnd != nullptr)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (disableOwner) {
        ::EnableWindow(owner, TRUE);
        if (!m_bStayHidden)
            ::SetActiveWindow(owner);
    }
    DestroyWindow();
    m_bModal = false;
    return m_nModalResult;
}

void CDialog::RunModalLoop()
{
    bool showWhenIdle = !m_bStayHidden && (GetStyle() & WS_VISIBLE) == 0;
    MSG msg{};
    while (m_bContinueModal && m_hWnd != nullptr) {
        if (showWhenIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            showWhenIdle = false;
            ShowWindow(SW_SHOWNORMAL);
            UpdateWindow();
            continue;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            break;
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam)); // leave WM_QUIT for the outer loop
            break;
        }
        if (!WalkPreTranslateTree(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CDialog::EndDialog(INT_PTR result) noexcept
{
    m_nModalResult = result;
    if (m_bModal) {
        m_bContinueModal = false;
        if (m_hWnd != nullptr)
            ::PostMessageW(m_hWnd, WM_NULL, 0, 0); // wakes the loop if it waits
    } else if (m_hWnd != nullptr) {
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
}

BOOL CDialog::UpdateData()
{
    CDataExchange exchange(this);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (m_hWnd == nullptr || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST)
        return FALSE;
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    return ::IsDialogMessageW(m_hWnd, msg);
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM)
{
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog()
{
    UpdateData();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

// ---- CDialogEx ------------------------------------------------------------

KELM_IMPLEMENT_DYNAMIC(CDialogEx, CDialog)

} // namespace kelm
