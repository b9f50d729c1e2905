// The dialog framework with real windows: message maps, the modal loop,
// child dialogs, subclassed controls, run-time class tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "test_resources.h"

using namespace kelm;

namespace {

constexpr UINT kBaseOnly = WM_APP + 1;
constexpr UINT kOverridden = WM_APP + 2;
constexpr UINT kUnhandled = WM_APP + 3;
constexpr UINT kThrows = WM_APP + 4;
constexpr UINT kControlMessage = WM_APP + 5;

// ---- message maps ---------------------------------------------------------

class BaseWindow : public CWnd {
    KELM_DECLARE_DYNAMIC(BaseWindow)
public:
    std::vector<std::string> log;

protected:
    BOOL OnNcCreate(CREATESTRUCTW* create)
    {
        log.push_back("base:nccreate");
        return static_cast<BOOL>(Default(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(create)));
    }
    LRESULT OnBaseOnly(WPARAM, LPARAM)
    {
        log.push_back("base:only");
        return 11;
    }
    LRESULT OnOverridden(WPARAM, LPARAM)
    {
        log.push_back("base:overridden");
        return 12;
    }
    void OnCommand100() { log.push_back("base:command100"); }
    void OnCommand101() { log.push_back("base:command101"); }
    LRESULT OnThrows(WPARAM, LPARAM) { throw std::runtime_error("handler failure"); }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_IMPLEMENT_DYNAMIC(BaseWindow, CWnd)
KELM_BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
    KELM_ON_WM_NCCREATE()
    KELM_ON_MESSAGE(kBaseOnly, OnBaseOnly)
    KELM_ON_MESSAGE(kOverridden, OnOverridden)
    KELM_ON_COMMAND(100, OnCommand100)
    KELM_ON_COMMAND(101, OnCommand101)
    KELM_ON_MESSAGE(kThrows, OnThrows)
KELM_END_MESSAGE_MAP()

class DerivedWindow : public BaseWindow {
    KELM_DECLARE_DYNAMIC(DerivedWindow)
protected:
    LRESULT OnOverridden(WPARAM wParam, LPARAM)
    {
        log.push_back("derived:overridden");
        return 20 + static_cast<LRESULT>(wParam);
    }
    void OnClicked100() { log.push_back("derived:clicked100"); }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_IMPLEMENT_DYNAMIC(DerivedWindow, BaseWindow)
KELM_BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
    KELM_ON_MESSAGE(kOverridden, OnOverridden)
    KELM_ON_BN_CLICKED(100, OnClicked100)
KELM_END_MESSAGE_MAP()

TEST(MessageMap, DerivedEntriesComeFirstAndBaseEntriesStillApply)
{
    DerivedWindow window;
    ASSERT_TRUE(window.Create(WS_POPUP, CRect(0, 0, 50, 50), nullptr, 0));
    // The object is bound before the window's first message.
    ASSERT_FALSE(window.log.empty());
    EXPECT_EQ(window.log.front(), "base:nccreate");

    struct Case {
        UINT message;
        WPARAM wParam;
        LRESULT result;
        const char* handler; // nullptr: default processing
    };
    const Case cases[] = {
        {kBaseOnly, 0, 11, "base:only"},
        {kOverridden, 3, 23, "derived:overridden"},
        {WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), 0, "derived:clicked100"},
        {WM_COMMAND, MAKEWPARAM(101, BN_CLICKED), 0, "base:command101"},
        {WM_COMMAND, MAKEWPARAM(101, 1), 0, "base:command101"}, // accelerator
        {WM_COMMAND, MAKEWPARAM(101, EN_CHANGE), 0, nullptr},   // other notification code
        {kUnhandled, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        window.log.clear();
        LRESULT result = ::SendMessageW(window.m_hWnd, c.message, c.wParam, 0);
        EXPECT_EQ(result, c.result) << "message " << c.message;
        if (c.handler != nullptr)
            EXPECT_EQ(window.log, std::vector<std::string>{c.handler}) << "message " << c.message;
        else
            EXPECT_TRUE(window.log.empty()) << "message " << c.message;
    }
}

TEST(MessageMap, AThrowingHandlerDoesNotLeaveTheWindowProcedure)
{
    BaseWindow window;
    ASSERT_TRUE(window.Create(WS_POPUP, CRect(0, 0, 50, 50), nullptr, 0));
    EXPECT_EQ(::SendMessageW(window.m_hWnd, kThrows, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(window.m_hWnd, kBaseOnly, 0, 0), 11); // still served
}

// Every typed entry, recording what its handler received.
class TypedWindow : public CWnd {
public:
    std::vector<std::string> log;
    void Record(const std::string& what) { log.push_back(what); }

    BOOL OnNcCreate(CREATESTRUCTW*) { Record("nccreate"); return TRUE; }
    int OnCreate(CREATESTRUCTW*) { Record("create"); return 0; }
    void OnDestroy() { Record("destroy"); }
    void OnClose() { Record("close"); }
    void OnTimer(UINT_PTR id) { Record("timer " + std::to_string(id)); }
    void OnSize(UINT type, int cx, int cy)
    {
        Record("size " + std::to_string(type) + " " + std::to_string(cx) + "x" + std::to_string(cy));
    }
    void OnPaint() { Record("paint"); }
    BOOL OnEraseBkgnd(HDC dc) { Record(dc == reinterpret_cast<HDC>(0x1234) ? "erase dc" : "erase"); return TRUE; }
    LRESULT OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS*)
    {
        Record("nccalcsize " + std::to_string(calcValidRects));
        return 0;
    }
    void OnNcPaint(HRGN region) { Record("ncpaint " + std::to_string(reinterpret_cast<std::uintptr_t>(region))); }
    BOOL OnNcActivate(BOOL active) { Record("ncactivate " + std::to_string(active)); return TRUE; }
    void RecordPoint(const char* name, UINT value, CPoint p)
    {
        Record(std::string(name) + " " + std::to_string(value) + " " + std::to_string(p.x) + "," + std::to_string(p.y));
    }
    void OnNcMouseMove(UINT hit, CPoint p) { RecordPoint("ncmousemove", hit, p); }
    void OnNcMouseHover(UINT hit, CPoint p) { RecordPoint("ncmousehover", hit, p); }
    void OnNcLButtonDown(UINT hit, CPoint p) { RecordPoint("nclbuttondown", hit, p); }
    void OnNcLButtonUp(UINT hit, CPoint p) { RecordPoint("nclbuttonup", hit, p); }
    void OnNcLButtonDblClk(UINT hit, CPoint p) { RecordPoint("nclbuttondblclk", hit, p); }
    void OnNcMouseLeave() { Record("ncmouseleave"); }
    void OnMouseMove(UINT keys, CPoint p) { RecordPoint("mousemove", keys, p); }
    void OnMouseHover(UINT keys, CPoint p) { RecordPoint("mousehover", keys, p); }
    void OnLButtonDown(UINT keys, CPoint p) { RecordPoint("lbuttondown", keys, p); }
    void OnLButtonUp(UINT keys, CPoint p) { RecordPoint("lbuttonup", keys, p); }
    void OnLButtonDblClk(UINT keys, CPoint p) { RecordPoint("lbuttondblclk", keys, p); }
    void OnMouseLeave() { Record("mouseleave"); }
    BOOL OnSetCursor(HWND, UINT hit, UINT mouseMessage)
    {
        Record("setcursor " + std::to_string(hit) + " " + std::to_string(mouseMessage));
        return TRUE;
    }
    void OnSetFocus(HWND) { Record("setfocus"); }
    void OnKillFocus(HWND) { Record("killfocus"); }
    void OnChar(UINT character, UINT repeat, UINT flags)
    {
        Record("char " + std::to_string(character) + " " + std::to_string(repeat) + " " + std::to_string(flags));
    }
    void OnEnable(BOOL enabled) { Record("enable " + std::to_string(enabled)); }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(TypedWindow, CWnd)
    KELM_ON_WM_NCCREATE()
    KELM_ON_WM_CREATE()
    KELM_ON_WM_DESTROY()
    KELM_ON_WM_CLOSE()
    KELM_ON_WM_TIMER()
    KELM_ON_WM_SIZE()
    KELM_ON_WM_PAINT()
    KELM_ON_WM_ERASEBKGND()
    KELM_ON_WM_NCCALCSIZE()
    KELM_ON_WM_NCPAINT()
    KELM_ON_WM_NCACTIVATE()
    KELM_ON_WM_NCMOUSEMOVE()
    KELM_ON_WM_NCMOUSEHOVER()
    KELM_ON_WM_NCLBUTTONDOWN()
    KELM_ON_WM_NCLBUTTONUP()
    KELM_ON_WM_NCLBUTTONDBLCLK()
    KELM_ON_WM_NCMOUSELEAVE()
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_MOUSEHOVER()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_LBUTTONDBLCLK()
    KELM_ON_WM_MOUSELEAVE()
    KELM_ON_WM_SETCURSOR()
    KELM_ON_WM_SETFOCUS()
    KELM_ON_WM_KILLFOCUS()
    KELM_ON_WM_CHAR()
    KELM_ON_WM_ENABLE()
KELM_END_MESSAGE_MAP()

TEST(MessageMap, TypedEntriesDecodeTheirParameters)
{
    TypedWindow window;
    ASSERT_TRUE(window.Create(WS_POPUP, CRect(0, 0, 50, 50), nullptr, 0));
    const LPARAM point = MAKELPARAM(static_cast<WORD>(-5), 7); // signed coordinates
    struct Case {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
        const char* record;
    };
    const Case cases[] = {
        {WM_CREATE, 0, 0, 0, "create"},
        {WM_CLOSE, 0, 0, 0, "close"},
        {WM_TIMER, 1125, 0, 0, "timer 1125"},
        {WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(660, 446), 0, "size 2 660x446"},
        {WM_PAINT, 0, 0, 0, "paint"},
        {WM_ERASEBKGND, 0x1234, 0, TRUE, "erase dc"},
        {WM_NCPAINT, 1, 0, 0, "ncpaint 1"},
        {WM_NCACTIVATE, TRUE, 0, TRUE, "ncactivate 1"},
        {WM_NCMOUSEMOVE, HTCAPTION, point, 0, "ncmousemove 2 -5,7"},
        {WM_NCMOUSEHOVER, HTCLOSE, point, 0, "ncmousehover 20 -5,7"},
        {WM_NCLBUTTONDOWN, HTMINBUTTON, point, 0, "nclbuttondown 8 -5,7"},
        {WM_NCLBUTTONUP, HTCLOSE, point, 0, "nclbuttonup 20 -5,7"},
        {WM_NCLBUTTONDBLCLK, HTCAPTION, point, 0, "nclbuttondblclk 2 -5,7"},
        {WM_NCMOUSELEAVE, 0, 0, 0, "ncmouseleave"},
        {WM_MOUSEMOVE, MK_LBUTTON, point, 0, "mousemove 1 -5,7"},
        {WM_MOUSEHOVER, 0, point, 0, "mousehover 0 -5,7"},
        {WM_LBUTTONDOWN, MK_LBUTTON, point, 0, "lbuttondown 1 -5,7"},
        {WM_LBUTTONUP, 0, point, 0, "lbuttonup 0 -5,7"},
        {WM_LBUTTONDBLCLK, MK_LBUTTON, point, 0, "lbuttondblclk 1 -5,7"},
        {WM_MOUSELEAVE, 0, 0, 0, "mouseleave"},
        {WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), TRUE, "setcursor 1 512"},
        {WM_SETFOCUS, 0, 0, 0, "setfocus"},
        {WM_KILLFOCUS, 0, 0, 0, "killfocus"},
        {WM_CHAR, L'A', MAKELPARAM(3, 0x1E), 0, "char 65 3 30"},
        {WM_ENABLE, FALSE, 0, 0, "enable 0"},
    };
    for (const Case& c : cases) {
        window.log.clear();
        EXPECT_EQ(::SendMessageW(window.m_hWnd, c.message, c.wParam, c.lParam), c.result) << c.record;
        EXPECT_EQ(window.log, std::vector<std::string>{c.record});
    }
    window.log.clear();
    RECT proposed{0, 0, 10, 10};
    ::SendMessageW(window.m_hWnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&proposed));
    EXPECT_EQ(window.log, std::vector<std::string>{"nccalcsize 0"});
    window.log.clear();
    window.DestroyWindow();
    ASSERT_FALSE(window.log.empty());
    EXPECT_EQ(window.log.front(), "destroy");
}

// The previous window procedure of a subclassed window: records what reaches it.
struct PassedOn {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<PassedOn> g_passedOn;
LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE || message == WM_TIMER || message == WM_MOUSEMOVE || message == WM_LBUTTONUP ||
        message == WM_NCLBUTTONDOWN || message == WM_CHAR || message == WM_KILLFOCUS || message == WM_ENABLE)
        g_passedOn.push_back({message, wParam, lParam});
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// Typed handlers that pass their message on, packed again from their arguments.
class PassingOnWindow : public CWnd {
protected:
    void OnSize(UINT type, int cx, int cy) { Default(WM_SIZE, type, MAKELPARAM(cx, cy)); }
    void OnTimer(UINT_PTR timerId) { Default(WM_TIMER, timerId); }
    void OnMouseMove(UINT keys, CPoint p) { Default(WM_MOUSEMOVE, keys, p.ToLParam()); }
    void OnLButtonUp(UINT keys, CPoint p) { Default(WM_LBUTTONUP, keys, p.ToLParam()); }
    void OnNcLButtonDown(UINT hit, CPoint p) { Default(WM_NCLBUTTONDOWN, hit, p.ToLParam()); }
    void OnChar(UINT character, UINT repeat, UINT flags) { Default(WM_CHAR, character, MAKELPARAM(repeat, flags)); }
    void OnKillFocus(HWND next) { Default(WM_KILLFOCUS, reinterpret_cast<WPARAM>(next)); }
    void OnEnable(BOOL enabled) { Default(WM_ENABLE, static_cast<WPARAM>(enabled)); }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(PassingOnWindow, CWnd)
    KELM_ON_WM_SIZE()
    KELM_ON_WM_TIMER()
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_NCLBUTTONDOWN()
    KELM_ON_WM_CHAR()
    KELM_ON_WM_KILLFOCUS()
    KELM_ON_WM_ENABLE()
KELM_END_MESSAGE_MAP()

TEST(MessageMap, AHandlerPassesItsMessageOnAsItCame)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KelmRecordingWindow";
    ::RegisterClassW(&windowClass);
    struct OwnedWindow {
        HWND handle;
        ~OwnedWindow() { ::DestroyWindow(handle); }
        HWND Get() const { return handle; }
    } raw{::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                            windowClass.hInstance, nullptr)};
    ASSERT_NE(raw.Get(), nullptr);
    PassingOnWindow window; // unbinds before the window goes
    ASSERT_TRUE(window.SubclassWindow(raw.Get()));
    const LPARAM negative = MAKELPARAM(static_cast<WORD>(-5), static_cast<WORD>(-32768));
    const PassedOn sent[] = {
        {WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(660, 446)},
        {WM_TIMER, 1125, 0},
        {WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, negative},
        {WM_LBUTTONUP, 0, MAKELPARAM(32767, 7)},
        {WM_NCLBUTTONDOWN, HTCAPTION, negative},
        {WM_CHAR, L'A', MAKELPARAM(3, 0xC01E)},
        {WM_KILLFOCUS, reinterpret_cast<WPARAM>(raw.Get()), 0},
        {WM_ENABLE, FALSE, 0},
    };
    for (const PassedOn& message : sent) {
        g_passedOn.clear();
        ::SendMessageW(raw.Get(), message.message, message.wParam, message.lParam);
        ASSERT_EQ(g_passedOn.size(), 1u) << "message " << message.message;
        EXPECT_EQ(g_passedOn[0].message, message.message);
        EXPECT_EQ(g_passedOn[0].wParam, message.wParam) << "message " << message.message;
        EXPECT_EQ(g_passedOn[0].lParam, message.lParam) << "message " << message.message;
    }
}

TEST(RuntimeClass, IsKindOfFollowsTheClassChain)
{
    DerivedWindow derived;
    BaseWindow base;
    CDialog dialog;
    EXPECT_TRUE(derived.IsKindOf(BaseWindow::ClassInfo()));
    EXPECT_TRUE(derived.IsKindOf(CWnd::ClassInfo()));
    EXPECT_FALSE(base.IsKindOf(DerivedWindow::ClassInfo()));
    EXPECT_FALSE(dialog.IsKindOf(BaseWindow::ClassInfo()));
    EXPECT_STREQ(derived.GetRuntimeClass()->className, "DerivedWindow");

    CWnd* asWindow = &derived;
    EXPECT_EQ(DynamicDowncast<BaseWindow>(asWindow), &derived);
    EXPECT_EQ(DynamicDowncast<CDialog>(asWindow), nullptr);
    EXPECT_EQ(DynamicDowncast<CDialog>(nullptr), nullptr);
}

// ---- modal dialogs --------------------------------------------------------

enum class Ending { EndDialogFromTimer, CloseMessage, DestroyWindow };

class EndingDialog : public CDialog {
public:
    EndingDialog(Ending ending, CWnd* parent) : CDialog(IDD_TEST_MODAL, parent), m_ending(ending) {}

    int initCount = 0;
    int timerCount = 0;
    BOOL ownerEnabledDuringLoop = TRUE;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ++initCount;
        SetTimer(7, 10);
        return TRUE;
    }
    void OnTimer(UINT_PTR id)
    {
        if (id != 7)
            return;
        KillTimer(7);
        ++timerCount;
        HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
        ownerEnabledDuringLoop = owner != nullptr ? ::IsWindowEnabled(owner) : TRUE;
        switch (m_ending) {
        case Ending::EndDialogFromTimer:
            EndDialog(42);
            break;
        case Ending::CloseMessage:
            PostMessageW(WM_CLOSE);
            break;
        case Ending::DestroyWindow:
            DestroyWindow();
            break;
        }
    }

private:
    Ending m_ending;

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(EndingDialog, CDialog)
    KELM_ON_WM_TIMER()
KELM_END_MESSAGE_MAP()

TEST(ModalDialog, DoModalReturnsHowTheDialogEnded)
{
    struct Case {
        Ending ending;
        INT_PTR result;
    };
    const Case cases[] = {
        {Ending::EndDialogFromTimer, 42},
        {Ending::CloseMessage, IDCANCEL}, // default handling of WM_CLOSE: OnCancel
        {Ending::DestroyWindow, -1},
    };
    for (const Case& c : cases) {
        BaseWindow owner;
        ASSERT_TRUE(owner.Create(WS_POPUP | WS_VISIBLE, CRect(0, 0, 50, 50), nullptr, 0));
        EndingDialog dialog(c.ending, &owner);
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.initCount, 1);
        EXPECT_EQ(dialog.timerCount, 1);
        EXPECT_FALSE(dialog.ownerEnabledDuringLoop);
        EXPECT_TRUE(::IsWindowEnabled(owner.m_hWnd));
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
}

TEST(ModalDialog, AMissingTemplateGivesMinusOne)
{
    CDialog dialog(IDD_MISSING);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

// Records every keyboard message that passes through PreTranslateMessage.
class RecordingEdit : public CEdit {
public:
    explicit RecordingEdit(std::vector<std::string>& log) : m_log(log) {}
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN)
            m_log.push_back("edit:key" + std::to_string(msg->wParam));
        return CEdit::PreTranslateMessage(msg);
    }

private:
    std::vector<std::string>& m_log;
};

class KeyboardDialog : public CDialog {
public:
    KeyboardDialog() : CDialog(IDD_TEST_MODAL), m_edit(log) {}
    std::vector<std::string> log;

protected:
    void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, IDC_TEST_EDIT, m_edit); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_edit.PostMessageW(WM_KEYDOWN, 'A', 0);
        m_edit.PostMessageW(WM_KEYDOWN, VK_RETURN, 0);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN)
            log.push_back("dialog:key" + std::to_string(msg->wParam));
        return CDialog::PreTranslateMessage(msg);
    }
    void OnOK() override
    {
        log.push_back("dialog:ok");
        CDialog::OnOK();
    }

private:
    RecordingEdit m_edit;
};

TEST(ModalDialog, PreTranslateMessageSeesKeysFromTheControlUpAndEnterEndsTheDialog)
{
    KeyboardDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    const std::vector<std::string> expected = {
        "edit:key65", "dialog:key65", "edit:key13", "dialog:key13", "dialog:ok",
    };
    EXPECT_EQ(dialog.log, expected);
}

// ---- child dialogs --------------------------------------------------------

class PageDialog : public CDialog {
    KELM_DECLARE_DYNAMIC(PageDialog)
public:
    explicit PageDialog(std::vector<std::string>& log) : m_edit(log), m_log(log) {}
    RecordingEdit m_edit;

protected:
    void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, IDC_CHILD_EDIT, m_edit); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_log.push_back("page:init");
        return FALSE;
    }
    // Pages keep Enter and Escape to themselves.
    void OnOK() override { m_log.push_back("page:ok"); }
    void OnCancel() override { m_log.push_back("page:cancel"); }

private:
    std::vector<std::string>& m_log;
};
KELM_IMPLEMENT_DYNAMIC(PageDialog, CDialog)

class HostDialog : public CDialog {
    KELM_DECLARE_DYNAMIC(HostDialog)
public:
    HostDialog() : CDialog(IDD_TEST_MODAL), page(log) {}
    std::vector<std::string> log;
    PageDialog page;
    bool pageCreated = false;
    bool pageIsChild = false;
    bool pageFindsHost = false;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        pageCreated = page.Create(IDD_TEST_CHILD, this);
        log.push_back("host:page created");
        if (!pageCreated)
            return TRUE;
        pageIsChild = ::GetParent(page.m_hWnd) == m_hWnd && (page.GetStyle() & WS_CHILD) != 0;
        pageFindsHost = DynamicDowncast<HostDialog>(page.GetParent()) == this &&
                        DynamicDowncast<PageDialog>(page.GetParent()) == nullptr;
        page.ShowWindow(SW_SHOW);
        page.m_edit.PostMessageW(WM_KEYDOWN, VK_RETURN, 0);
        page.m_edit.PostMessageW(WM_KEYDOWN, VK_ESCAPE, 0);
        SetTimer(1, 50);
        return TRUE;
    }
    void OnTimer(UINT_PTR)
    {
        KillTimer(1);
        EndDialog(5);
    }
    void OnOK() override { log.push_back("host:ok"); }
    void OnCancel() override { log.push_back("host:cancel"); }

    KELM_DECLARE_MESSAGE_MAP()
};
KELM_IMPLEMENT_DYNAMIC(HostDialog, CDialog)
KELM_BEGIN_MESSAGE_MAP(HostDialog, CDialog)
    KELM_ON_WM_TIMER()
KELM_END_MESSAGE_MAP()

TEST(ChildDialog, IsCreatedInsideItsParentAndKeepsEnterAndEscape)
{
    HostDialog host;
    EXPECT_EQ(host.DoModal(), 5);
    EXPECT_TRUE(host.pageCreated);
    EXPECT_TRUE(host.pageIsChild);
    EXPECT_TRUE(host.pageFindsHost);
    const std::vector<std::string> expected = {
        "page:init", "host:page created", "edit:key13", "page:ok", "edit:key27", "page:cancel",
    };
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(host.page.m_hWnd, nullptr); // destroyed with its parent
}

// ---- subclassed controls --------------------------------------------------

class OwnerDrawButton : public CButton {
public:
    int drawCount = 0;
    int controlMessageCount = 0;
    bool ownerDrawStyleAtBinding = false;

protected:
    void PreSubclassWindow() override
    {
        ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
        ownerDrawStyleAtBinding = (GetStyle() & BS_TYPEMASK) == BS_OWNERDRAW;
    }
    void DrawItem(DRAWITEMSTRUCT* item) override
    {
        ++drawCount;
        ::FillRect(item->hDC, &item->rcItem, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    }
    LRESULT OnControlMessage(WPARAM, LPARAM)
    {
        ++controlMessageCount;
        return 77;
    }

    KELM_DECLARE_MESSAGE_MAP()
};
KELM_BEGIN_MESSAGE_MAP(OwnerDrawButton, CButton)
    KELM_ON_MESSAGE(kControlMessage, OnControlMessage)
KELM_END_MESSAGE_MAP()

class ColouredEdit : public CEdit {
public:
    UniqueBrush brush{::CreateSolidBrush(RGB(47, 48, 52))};
    std::vector<UINT> ctlTypes;

protected:
    HBRUSH CtlColor(HDC dc, UINT ctlType) override
    {
        ctlTypes.push_back(ctlType);
        ::SetBkColor(dc, RGB(47, 48, 52));
        return brush.Get();
    }
};

class ControlsDialog : public CDialog {
public:
    ControlsDialog() : CDialog(IDD_TEST_MODAL) {}
    OwnerDrawButton button;
    ColouredEdit edit;

protected:
    void DoDataExchange(CDataExchange* exchange) override
    {
        DDX_Control(exchange, IDC_TEST_BUTTON, button);
        DDX_Control(exchange, IDC_TEST_EDIT, edit);
    }
};

TEST(SubclassedControl, ReceivesItsOwnAndReflectedMessages)
{
    ControlsDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_TEST_MODAL));
    ASSERT_EQ(dialog.button.m_hWnd, dialog.GetDlgItem(IDC_TEST_BUTTON));
    ASSERT_EQ(dialog.edit.m_hWnd, dialog.GetDlgItem(IDC_TEST_EDIT));
    EXPECT_TRUE(dialog.button.ownerDrawStyleAtBinding);

    EXPECT_EQ(::SendMessageW(dialog.button.m_hWnd, kControlMessage, 0, 0), 77);
    EXPECT_EQ(dialog.button.controlMessageCount, 1);

    dialog.ShowWindow(SW_SHOW);
    ::RedrawWindow(dialog.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_GE(dialog.button.drawCount, 1);                     // the parent's WM_DRAWITEM
    LRESULT brush = ::SendMessageW(dialog.m_hWnd, WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(dialog.edit.m_hWnd));
    EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), dialog.edit.brush.Get());
    ASSERT_FALSE(dialog.edit.ctlTypes.empty());
    EXPECT_EQ(dialog.edit.ctlTypes.back(), static_cast<UINT>(CTLCOLOR_EDIT));
    // Without a brush of its own the control leaves its colours to the dialog.
    dialog.edit.brush.Reset();
    brush = ::SendMessageW(dialog.m_hWnd, WM_CTLCOLOREDIT, 0, reinterpret_cast<LPARAM>(dialog.edit.m_hWnd));
    EXPECT_NE(brush, 0);

    dialog.DestroyWindow();
    EXPECT_EQ(dialog.button.m_hWnd, nullptr);
    EXPECT_EQ(dialog.edit.m_hWnd, nullptr);
}

TEST(SubclassedControl, AnObjectThatDiesFirstGivesTheWindowBack)
{
    CDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_TEST_MODAL));
    HWND editWindow = dialog.GetDlgItem(IDC_TEST_EDIT);
    auto classProcedure = ::GetWindowLongPtrW(editWindow, GWLP_WNDPROC);
    {
        OwnerDrawButton control;
        ASSERT_TRUE(control.SubclassDlgItem(IDC_TEST_EDIT, &dialog));
        EXPECT_EQ(CWnd::FromHandlePermanent(editWindow), &control);
        EXPECT_NE(::GetWindowLongPtrW(editWindow, GWLP_WNDPROC), classProcedure);
    }
    EXPECT_EQ(CWnd::FromHandlePermanent(editWindow), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(editWindow, GWLP_WNDPROC), classProcedure);
    EXPECT_TRUE(::IsWindow(editWindow)); // the dialog still owns its item
    EXPECT_EQ(::SendMessageW(editWindow, kControlMessage, 0, 0), 0);
}

// A skinned frame draws its own non-client area: a dialog must see its
// non-client messages from the very first one on.
class FramedDialog : public CDialogEx {
public:
    FramedDialog() : CDialogEx(IDD_TEST_MODAL) {}
    std::vector<std::string> log;

protected:
    BOOL OnNcCreate(CREATESTRUCTW* create)
    {
        log.push_back("nccreate");
        return static_cast<BOOL>(Default(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(create)));
    }
    LRESULT OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params)
    {
        if (log.empty() || log.back() != "nccalcsize")
            log.push_back("nccalcsize");
        return Default(WM_NCCALCSIZE, static_cast<WPARAM>(calcValidRects), reinterpret_cast<LPARAM>(params));
    }
    BOOL OnInitDialog() override
    {
        log.push_back("initdialog");
        return CDialogEx::OnInitDialog();
    }

    KELM_DECLARE_MESSAGE_MAP()
};
KELM_BEGIN_MESSAGE_MAP(FramedDialog, CDialogEx)
    KELM_ON_WM_NCCREATE()
    KELM_ON_WM_NCCALCSIZE()
KELM_END_MESSAGE_MAP()

TEST(DialogEx, SeesItsNonClientMessagesFromCreationOn)
{
    FramedDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_TEST_MODAL));
    ASSERT_GE(dialog.log.size(), 3u);
    EXPECT_EQ(dialog.log[0], "nccreate");
    EXPECT_EQ(dialog.log[1], "nccalcsize");
    EXPECT_EQ(dialog.log.back(), "initdialog");
    EXPECT_EQ(dialog.GetWindowTextW(), L"Framework test");
}

TEST(Window, ModifyStyleReportsAChangeOnlyWhenBitsChange)
{
    CDialog dialog;
    ASSERT_TRUE(dialog.Create(IDD_TEST_MODAL));
    // As the wizard's pages do: caption and frame off at run time.
    EXPECT_TRUE(dialog.ModifyStyle(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0));
    EXPECT_EQ(dialog.GetStyle() & (WS_CAPTION | WS_SYSMENU), 0u);
    EXPECT_FALSE(dialog.ModifyStyle(WS_CAPTION, 0));
    EXPECT_TRUE(dialog.ModifyStyleEx(0, WS_EX_TOOLWINDOW, SWP_FRAMECHANGED));
    EXPECT_NE(dialog.GetExStyle() & WS_EX_TOOLWINDOW, 0u);
    EXPECT_TRUE(dialog.ModifyStyleEx(WS_EX_TOOLWINDOW, 0));
    EXPECT_EQ(dialog.GetExStyle() & WS_EX_TOOLWINDOW, 0u);
}

} // namespace
