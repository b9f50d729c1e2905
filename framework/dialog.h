#pragma once
// Dialogs from dialog templates of the program's resources.
//
// DoModal creates the dialog and runs a modal loop of its own: every message
// first goes through WalkPreTranslateTree (PreTranslateMessage of the message's
// window and its parents; a dialog's PreTranslateMessage runs the dialog
// keyboard interface, so Enter and Escape reach the innermost dialog's OnOK and
// OnCancel). The loop ends at EndDialog or when the window is destroyed.
// Create makes a modeless dialog, e.g. a child dialog inside another one.

#include <windows.h>

#include "framework/handles.h"
#include "framework/wnd.h"

namespace kelm {

// What DoDataExchange works on: the dialog whose items it binds.
class CDataExchange {
public:
    explicit CDataExchange(CWnd* dialog) noexcept : m_pDlgWnd(dialog) {}
    CWnd* m_pDlgWnd;
};

// Binds dialog item `id` to `control` (subclassing) the first time it is called.
bool DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
    KELM_DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr) noexcept
        : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    ~CDialog() override;

    // Runs the dialog modally; returns the EndDialog value, or -1 when the dialog
    // could not be created or its window was destroyed without EndDialog. The
    // owner (the parent given, else the application's main window) is disabled
    // meanwhile. A dialog that is not visible when the loop starts is shown once
    // the message queue first runs empty, unless it asked to stay hidden.
    virtual INT_PTR DoModal();
    // A modal dialog that runs without being seen (a silent run): its loop never
    // shows or activates it, and the owner is not activated when it ends.
    void KeepHiddenWhileModal() noexcept { m_bStayHidden = true; }
    // Creates the dialog modelessly (a child dialog when the template has WS_CHILD).
    bool Create(UINT templateId, CWnd* parent = nullptr);
    // Ends a modal dialog's loop with `result`; hides a modeless dialog.
    void EndDialog(INT_PTR result) noexcept;

    // Runs DoDataExchange, which binds the dialog items to their objects.
    BOOL UpdateData();

    // Dialog keyboard interface (IsDialogMessage) for keys typed in this dialog.
    BOOL PreTranslateMessage(MSG* msg) override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

protected:
    // WM_INITDIALOG. The base binds the dialog items (UpdateData) and returns
    // TRUE (focus to the first control).
    virtual BOOL OnInitDialog();
    // IDOK / IDCANCEL commands (Enter / Escape, WM_CLOSE): EndDialog(IDOK / IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* exchange);

private:
    bool CreateFromTemplate(HWND parent);
    void RunModalLoop();
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    void HandleOK() { OnOK(); }
    void HandleCancel() { OnCancel(); }

    bool m_bModal = false;
    bool m_bContinueModal = false;
    bool m_bStayHidden = false;
    INT_PTR m_nModalResult = -1;

    KELM_DECLARE_MESSAGE_MAP()
};

// The base of the skinned dialogs, which paint their whole window themselves:
// a CDialog under the name they are specified with.
class CDialogEx : public CDialog {
    KELM_DECLARE_DYNAMIC(CDialogEx)
public:
    using CDialog::CDialog;
};

} // namespace kelm
