// Mouse behaviour of the skinned controls through real window messages: the
// messages are posted to real windows and go through the framework's message
// loop path (PreTranslateMessage of the window and its parents, then dispatch).

#include <gtest/gtest.h>

#include <vector>

#include "framework/dialog.h"
#include "skin/dpi.h"
#include "skin/fonts.h"
#include "skin/kelm_button.h"
#include "skin/kelm_dialog.h"
#include "skin/kelm_edit.h"
#include "skin/kelm_slider_show.h"
#include "skin/kelm_static.h"
#include "skin/kelm_text_button.h"
#include "skin/palette.h"
#include "skin_test_ids.h"

using namespace kelm;

namespace {

// Runs the queue the way the framework's loops do, until it stays empty.
void Pump(int idleRounds = 3)
{
    for (int idle = 0; idle < idleRounds;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            idle = 0;
            if (!kelm::WalkPreTranslateTree(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        } else {
            ++idle;
            Sleep(10);
        }
    }
}

LPARAM At(int x, int y)
{
    return MAKELPARAM(static_cast<short>(x), static_cast<short>(y));
}

struct Command {
    WPARAM wParam;
    LPARAM lParam;
};

// A top-level window that records the commands and notifications of its children.
class RecordingParent : public kelm::CWnd {
public:
    std::vector<Command> commands;
    int slideClicks = 0;

protected:
    LRESULT OnCommandMessage(WPARAM wParam, LPARAM lParam)
    {
        commands.push_back({wParam, lParam});
        return 0;
    }
    LRESULT OnSlideClick(WPARAM, LPARAM)
    {
        ++slideClicks;
        return 0;
    }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(RecordingParent, kelm::CWnd)
    KELM_ON_MESSAGE(WM_COMMAND, OnCommandMessage)
    KELM_ON_MESSAGE(WM_SLIDESHOW_CLICKED, OnSlideClick)
KELM_END_MESSAGE_MAP()

class ProbedTextButton : public CKelmTextButton {
public:
    using CKelmTextButton::CurrentFill;
};

MSG Down(int x = 10, int y = 10)
{
    return MSG{nullptr, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y), 0, {0, 0}};
}
MSG Up(int x = 10, int y = 10)
{
    return MSG{nullptr, WM_LBUTTONUP, 0, At(x, y), 0, {0, 0}};
}
MSG Move(int x, int y, bool buttonDown)
{
    return MSG{nullptr, WM_MOUSEMOVE, static_cast<WPARAM>(buttonDown ? MK_LBUTTON : 0), At(x, y), 0, {0, 0}};
}
MSG DoubleClick(int x = 10, int y = 10)
{
    return MSG{nullptr, WM_LBUTTONDBLCLK, MK_LBUTTON, At(x, y), 0, {0, 0}};
}

class SkinMouse : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateSkinFonts();
        ASSERT_TRUE(parent.Create(WS_POPUP | WS_VISIBLE, RECT{100, 100, 600, 400}, nullptr, 0));
    }
    void TearDown() override
    {
        parent.DestroyWindow();
        Pump();
    }

    // Posts mouse messages to a control and runs the queue; returns the commands the parent got.
    std::vector<Command> Send(HWND control, const std::vector<MSG>& messages)
    {
        parent.commands.clear();
        for (const MSG& msg : messages)
            PostMessageW(control, msg.message, msg.wParam, msg.lParam);
        Pump();
        return parent.commands;
    }

    // The clicks of both button kinds, as a table of message sequences.
    void CheckClicks(HWND button, const char* kind)
    {
        const struct {
            const char* what;
            std::vector<MSG> messages;
            std::size_t commands;
        } cases[] = {
            {"press, drag out, release outside", {Down(), Move(-40, -40, true), Up(-40, -40)}, 0},
            {"press and release inside", {Down(), Up()}, 1},
            {"press, drag out and back, release inside", {Down(), Move(-40, -40, true), Move(12, 12, true), Up(12, 12)}, 1},
            {"double click", {Down(), Up(), DoubleClick(), Up()}, 2},
            {"release without press", {Up()}, 0},
        };
        for (const auto& c : cases) {
            const std::vector<Command> commands = Send(button, c.messages);
            EXPECT_EQ(c.commands, commands.size()) << kind << ": " << c.what;
            for (const Command& command : commands) {
                EXPECT_EQ(MAKEWPARAM(42, BN_CLICKED), command.wParam) << kind << ": " << c.what;
                EXPECT_EQ(reinterpret_cast<LPARAM>(button), command.lParam) << kind << ": " << c.what;
            }
            EXPECT_EQ(nullptr, GetCapture()) << kind << ": " << c.what;
        }
    }

    RecordingParent parent;
};

TEST_F(SkinMouse, TextButtonPostsOneCommandPerCompletedClick)
{
    ProbedTextButton button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{20, 20, 140, 56},
                                &parent, 42));
    button.SetCaption(L"Install");
    CheckClicks(button.m_hWnd, "text button");
}

TEST_F(SkinMouse, ImageButtonPostsOneCommandPerCompletedClick)
{
    CKelmButton button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{20, 20, 60, 50},
                                &parent, 42));
    button.Configure(SIZE{0, 0}, RGB(24, 25, 30), RGB(24, 25, 30), RGB(24, 25, 30), RGB(89, 134, 178), L"...");
    EXPECT_TRUE(button.GetStyle() & BS_OWNERDRAW);
    CheckClicks(button.m_hWnd, "image button");
}

TEST_F(SkinMouse, TextButtonShowsPressedColourWhileDraggedOut)
{
    ProbedTextButton button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{20, 20, 140, 56},
                                &parent, 42));
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonFill), button.CurrentFill());
    Send(button.m_hWnd, {Move(10, 10, false)});
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonHoverFill), button.CurrentFill());
    Send(button.m_hWnd, {Down()});
    EXPECT_EQ(button.m_hWnd, GetCapture());
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonHoverFill), button.CurrentFill()) << "hover wins over pressed";
    // Dragged out (the button holds the capture, so it sees the move), and back in.
    Send(button.m_hWnd, {Move(-40, -40, true)});
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonPressedFill), button.CurrentFill());
    Send(button.m_hWnd, {Move(12, 12, true)});
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonHoverFill), button.CurrentFill());
    Send(button.m_hWnd, {Move(-40, -40, true)});
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonPressedFill), button.CurrentFill());
    EXPECT_TRUE(Send(button.m_hWnd, {Up(-40, -40)}).empty());
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(SkinMouse, DisabledTextButtonIgnoresClicksAndMoves)
{
    ProbedTextButton button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{20, 20, 140, 56},
                                &parent, 42));
    button.SetEnabled(false);
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonDisabledFill), button.CurrentFill());
    EXPECT_TRUE(Send(button.m_hWnd, {Move(10, 10, false), Down(), Up()}).empty());
    EXPECT_TRUE(Send(button.m_hWnd, {Move(10, 10, false), Down(), Up(), DoubleClick(), Up()}).empty());
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonDisabledFill), button.CurrentFill());
    // Also when the messages bypass the message loop.
    button.SendMessageW(WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    button.SendMessageW(WM_LBUTTONUP, 0, At(10, 10));
    Pump();
    EXPECT_TRUE(parent.commands.empty());

    button.SetEnabled(true);
    EXPECT_EQ(SkinColor(SkinSlot::TextButtonFill), button.CurrentFill());
    EXPECT_EQ(1u, Send(button.m_hWnd, {Down(), Up()}).size());
}

TEST_F(SkinMouse, SlideShowClickReachesParentBeforeSendReturns)
{
    CKelmSliderShowCtrl slides;
    ASSERT_TRUE(slides.Create(WS_CHILD | WS_VISIBLE, RECT{0, 0, 300, 120}, &parent, 7));
    slides.SendMessageW(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    EXPECT_EQ(1, parent.slideClicks);
    Send(slides.m_hWnd, {Down(150, 60), Up(150, 60), Down(200, 60), Up(200, 60)});
    EXPECT_EQ(3, parent.slideClicks);
    EXPECT_TRUE(parent.commands.empty());
}

TEST_F(SkinMouse, LinkSlideShowAndEditSetTheirCursors)
{
    CKelmStatic link;
    ASSERT_TRUE(link.CreateEx(0, L"STATIC", L"License Terms", WS_CHILD | WS_VISIBLE | SS_NOTIFY, RECT{10, 10, 150, 36},
                              &parent, 3));
    link.SetLink(true);
    CKelmStatic label;
    ASSERT_TRUE(label.CreateEx(0, L"STATIC", L"Folder", WS_CHILD | WS_VISIBLE, RECT{10, 40, 150, 66}, &parent, 4));
    CKelmSliderShowCtrl slides;
    ASSERT_TRUE(slides.Create(WS_CHILD | WS_VISIBLE, RECT{160, 10, 460, 130}, &parent, 7));
    CKelmEdit edit;
    ASSERT_TRUE(edit.CreateEx(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, RECT{10, 140, 250, 168}, &parent, 5));
    EXPECT_TRUE(link.GetStyle() & SS_OWNERDRAW);

    const HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    const HCURSOR beam = LoadCursorW(nullptr, IDC_IBEAM);
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    link.SendMessageW(WM_MOUSEMOVE, 0, At(5, 5));
    EXPECT_EQ(hand, GetCursor()) << "link";
    SetCursor(arrow);
    label.SendMessageW(WM_MOUSEMOVE, 0, At(5, 5));
    EXPECT_EQ(arrow, GetCursor()) << "plain label";
    SetCursor(arrow);
    EXPECT_TRUE(slides.SendMessageW(WM_SETCURSOR, reinterpret_cast<WPARAM>(slides.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(hand, GetCursor()) << "slide show";
    EXPECT_TRUE(edit.SendMessageW(WM_SETCURSOR, reinterpret_cast<WPARAM>(edit.m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(beam, GetCursor()) << "edit box";
}

// A skinned frame that records the system commands its caption buttons send.
class RecordingFrame : public CKelmDialog {
public:
    using CKelmDialog::CKelmDialog;
    std::vector<WPARAM> systemCommands;

    POINT ButtonCentre(int index) const
    {
        const RECT window = GetWindowRect();
        const RECT& rect = m_buttons[index].rect;
        return POINT{window.left + (rect.left + rect.right) / 2, window.top + (rect.top + rect.bottom) / 2};
    }

protected:
    LRESULT OnSystemCommand(WPARAM wParam, LPARAM lParam)
    {
        systemCommands.push_back(wParam & 0xFFF0);
        return Default(WM_SYSCOMMAND, wParam, lParam);
    }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(RecordingFrame, CKelmDialog)
    KELM_ON_MESSAGE(WM_SYSCOMMAND, OnSystemCommand)
KELM_END_MESSAGE_MAP()

class SkinFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(frame.Create(IDD_TEST_FRAME));
        frame.SetWindowPos(nullptr, 200, 150, 400, 200, SWP_NOZORDER);
        frame.ShowWindow(SW_SHOW);
        RedrawWindow(frame.m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        Pump();
    }
    void TearDown() override { frame.DestroyWindow(); }

    void Post(UINT message, UINT hitTest, POINT screen)
    {
        PostMessageW(frame.m_hWnd, message, hitTest, At(screen.x, screen.y));
    }

    RecordingFrame frame{IDD_TEST_FRAME};
};

TEST_F(SkinFrame, CaptionButtonsOnlyActOnReleaseOverThePressedButton)
{
    const POINT close = frame.ButtonCentre(CaptionButton::Close);
    const POINT minimize = frame.ButtonCentre(CaptionButton::Minimize);
    const RECT window = frame.GetWindowRect();
    const POINT captionLeft{window.left + 20, window.top + 10};

    // Pressed on Close, moved off, released elsewhere: nothing.
    Post(WM_NCMOUSEMOVE, HTCLOSE, close);
    Post(WM_NCLBUTTONDOWN, HTCLOSE, close);
    Post(WM_NCMOUSEMOVE, HTCAPTION, captionLeft);
    Post(WM_NCLBUTTONUP, HTCAPTION, captionLeft);
    Pump();
    EXPECT_TRUE(frame.systemCommands.empty());
    EXPECT_TRUE(frame.IsWindowVisible());

    // Pressed on Minimize, released on Close: nothing.
    Post(WM_NCLBUTTONDOWN, HTMINBUTTON, minimize);
    Post(WM_NCLBUTTONUP, HTCLOSE, close);
    Pump();
    EXPECT_TRUE(frame.systemCommands.empty());

    // Pressed on Close and released there, even after a move off it while the button is held.
    Post(WM_NCLBUTTONDOWN, HTCLOSE, close);
    Post(WM_NCLBUTTONUP, HTCLOSE, close);
    Pump();
    ASSERT_EQ(1u, frame.systemCommands.size());
    EXPECT_EQ(static_cast<WPARAM>(SC_CLOSE), frame.systemCommands[0]);
    EXPECT_FALSE(frame.IsWindowVisible());
}

// A press on a caption button captures the mouse: a release outside the window
// (which comes as a client message to the capturing window) ends the press
// without a click, and the button is not left drawn pressed.
TEST_F(SkinFrame, APressReleasedOutsideTheWindowEndsWithoutAClick)
{
    const POINT close = frame.ButtonCentre(CaptionButton::Close);
    Post(WM_NCLBUTTONDOWN, HTCLOSE, close);
    Pump();
    EXPECT_EQ(frame.m_hWnd, GetCapture());
    EXPECT_EQ(frame.CaptionButtons()[CaptionButton::Close].state, CaptionButtonState::Pressed);
    const RECT window = frame.GetWindowRect();
    POINT outside{window.right + 50, window.bottom + 50};
    ScreenToClient(frame.m_hWnd, &outside);
    PostMessageW(frame.m_hWnd, WM_MOUSEMOVE, MK_LBUTTON, At(outside.x, outside.y));
    Pump();
    EXPECT_NE(frame.CaptionButtons()[CaptionButton::Close].state, CaptionButtonState::Pressed) << "pressed while the pointer is off it";
    PostMessageW(frame.m_hWnd, WM_LBUTTONUP, 0, At(outside.x, outside.y));
    Pump();
    EXPECT_EQ(nullptr, GetCapture());
    EXPECT_NE(frame.CaptionButtons()[CaptionButton::Close].state, CaptionButtonState::Pressed);
    EXPECT_TRUE(frame.systemCommands.empty());
    EXPECT_TRUE(frame.IsWindowVisible());
}

TEST_F(SkinFrame, WithoutMaximizeBoxOnlyMinimizeAndCloseShow)
{
    const auto& buttons = frame.CaptionButtons();
    ASSERT_EQ(4u, buttons.size());
    EXPECT_TRUE(IsRectEmpty(&buttons[CaptionButton::Maximize].rect));
    EXPECT_TRUE(IsRectEmpty(&buttons[CaptionButton::Restore].rect));
    EXPECT_FALSE(IsRectEmpty(&buttons[CaptionButton::Minimize].rect));
    EXPECT_EQ(buttons[CaptionButton::Close].rect.left, buttons[CaptionButton::Minimize].rect.right);

    const RECT window = frame.GetWindowRect();
    Post(WM_NCLBUTTONDBLCLK, HTCAPTION, POINT{window.left + 40, window.top + 10});
    Pump();
    EXPECT_TRUE(frame.systemCommands.empty());

    const POINT minimize = frame.ButtonCentre(CaptionButton::Minimize);
    Post(WM_NCLBUTTONDOWN, HTMINBUTTON, minimize);
    Post(WM_NCLBUTTONUP, HTMINBUTTON, minimize);
    Pump();
    ASSERT_EQ(1u, frame.systemCommands.size());
    EXPECT_EQ(static_cast<WPARAM>(SC_MINIMIZE), frame.systemCommands[0]);
    EXPECT_TRUE(IsIconic(frame.m_hWnd));
}

TEST_F(SkinFrame, DisabledCaptionButtonIsNeverHit)
{
    frame.SetCaptionButtonDisabled(CaptionButton::Close, true);
    const POINT close = frame.ButtonCentre(CaptionButton::Close);
    Post(WM_NCLBUTTONDOWN, HTCLOSE, close);
    Post(WM_NCLBUTTONUP, HTCLOSE, close);
    Pump();
    EXPECT_TRUE(frame.systemCommands.empty());
    EXPECT_TRUE(frame.IsWindowVisible());
}

TEST(SkinFrameSize, CaptionAndEdgesShrinkTheClientArea)
{
    RecordingFrame frame(IDD_TEST_FRAME);
    ASSERT_TRUE(frame.Create(IDD_TEST_FRAME));
    frame.SetWindowPos(nullptr, 50, 60, 300, 200, SWP_NOZORDER);
    RECT client{};
    GetClientRect(frame.m_hWnd, &client);
    POINT origin{0, 0};
    ClientToScreen(frame.m_hWnd, &origin);
    const int edge = static_cast<int>(DpiScale(ScreenDpiY()));
    EXPECT_EQ(60 + edge + ScaleY(28), origin.y);
    EXPECT_EQ(50 + edge, origin.x);
    EXPECT_EQ(300 - 2 * edge, client.right);
    EXPECT_EQ(200 - 2 * edge - ScaleY(28), client.bottom);
    frame.DestroyWindow();
}

TEST(SkinFrameMaximized, ButtonsStayInTheWorkAreaAndRestoreReplacesMaximize)
{
    RecordingFrame frame(IDD_TEST_FRAME_MAXIMIZABLE);
    ASSERT_TRUE(frame.Create(IDD_TEST_FRAME_MAXIMIZABLE));
    frame.SetWindowPos(nullptr, 100, 100, 400, 200, SWP_NOZORDER);
    frame.ShowWindow(SW_SHOW);
    Pump();
    EXPECT_TRUE(frame.CaptionButtons()[CaptionButton::Maximize].visible);
    EXPECT_FALSE(frame.CaptionButtons()[CaptionButton::Restore].visible);

    // A double click on the caption asks for maximising.
    const RECT window = frame.GetWindowRect();
    PostMessageW(frame.m_hWnd, WM_NCLBUTTONDBLCLK, HTCAPTION, At(window.left + 40, window.top + 10));
    Pump();
    ASSERT_FALSE(frame.systemCommands.empty());
    EXPECT_EQ(static_cast<WPARAM>(SC_MAXIMIZE), frame.systemCommands[0]);

    // Without a window manager, Wine's X11 driver soon restores a maximised
    // window, so the maximised layout is checked before the queue runs again.
    frame.systemCommands.clear();
    frame.ShowWindow(SW_SHOWMAXIMIZED);
    ASSERT_TRUE(IsZoomed(frame.m_hWnd));
    RedrawWindow(frame.m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);

    const RECT zoomed = frame.GetWindowRect();
    POINT origin{0, 0};
    ClientToScreen(frame.m_hWnd, &origin);
    EXPECT_EQ(zoomed.top + 8 + static_cast<int>(DpiScale(ScreenDpiY())) + ScaleY(28), origin.y);
    EXPECT_FALSE(frame.CaptionButtons()[CaptionButton::Maximize].visible);
    EXPECT_TRUE(frame.CaptionButtons()[CaptionButton::Restore].visible);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(frame.m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor));
    for (int index : {CaptionButton::Close, CaptionButton::Restore, CaptionButton::Minimize}) {
        RECT button = frame.CaptionButtons()[index].rect;
        OffsetRect(&button, zoomed.left, zoomed.top);
        EXPECT_GE(button.left, monitor.rcWork.left) << index;
        EXPECT_GE(button.top, monitor.rcWork.top) << index;
        EXPECT_LE(button.right, monitor.rcWork.right) << index;
    }

    // Restore brings the window back.
    const POINT restore = frame.ButtonCentre(CaptionButton::Restore);
    frame.SendMessageW(WM_NCLBUTTONDOWN, HTMAXBUTTON, At(restore.x, restore.y));
    frame.SendMessageW(WM_NCLBUTTONUP, HTMAXBUTTON, At(restore.x, restore.y));
    ASSERT_FALSE(frame.systemCommands.empty());
    EXPECT_EQ(static_cast<WPARAM>(SC_RESTORE), frame.systemCommands[0]);
    EXPECT_FALSE(IsZoomed(frame.m_hWnd));
    frame.DestroyWindow();
}

// Records the key presses that reach the edit box's window procedure.
class KeyRecordingEdit : public CKelmEdit {
public:
    int keyDowns = 0;

protected:
    LRESULT OnKeyDown(WPARAM key, LPARAM flags)
    {
        ++keyDowns;
        return Default(WM_KEYDOWN, key, flags);
    }

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(KeyRecordingEdit, CKelmEdit)
    KELM_ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
KELM_END_MESSAGE_MAP()

class SkinEdit : public SkinMouse {
protected:
    void SetUp() override
    {
        SkinMouse::SetUp();
        ASSERT_TRUE(edit.CreateEx(0, L"EDIT", L"C:\\Program Files\\Zunder", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                                  RECT{20, 80, 260, 108}, &parent, 5));
        ASSERT_TRUE(other.CreateEx(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, RECT{20, 120, 260, 148}, &parent, 6));
        SetForegroundWindow(parent.m_hWnd);
        other.SetFocus();
        Pump();
    }
    DWORD Selection() { return static_cast<DWORD>(edit.SendMessageW(EM_GETSEL)); }

    KeyRecordingEdit edit;
    kelm::CWnd other;
};

TEST_F(SkinEdit, FirstClickSelectsAllSecondPlacesTheCaret)
{
    const int length = GetWindowTextLengthW(edit.m_hWnd);
    Send(edit.m_hWnd, {Down(30, 10), Up(30, 10)});
    EXPECT_TRUE(edit.IsActive());
    EXPECT_EQ(edit.m_hWnd, GetFocus());
    EXPECT_EQ(0, LOWORD(Selection()));
    EXPECT_EQ(length, HIWORD(Selection()));
    EXPECT_EQ(L"C:\\Program Files\\Zunder", edit.TextAtClick());

    Send(edit.m_hWnd, {Down(30, 10), Up(30, 10)});
    EXPECT_TRUE(edit.IsActive());
    EXPECT_EQ(LOWORD(Selection()), HIWORD(Selection()));

    other.SetFocus();
    Pump();
    EXPECT_FALSE(edit.IsActive());
}

TEST_F(SkinEdit, CtrlShortcutsWorkAndCtrlShiftIsPassedOn)
{
    edit.SetFocus();
    edit.SendMessageW(EM_SETSEL, 2, 2);
    BYTE keys[256] = {};
    auto pressKey = [&](bool shift) {
        keys[VK_CONTROL] = 0x80;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(edit.m_hWnd, WM_KEYDOWN, 'A', 1);
        Pump();
        keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    };
    pressKey(false);
    EXPECT_EQ(0, edit.keyDowns) << "Ctrl+A is handled before dispatch";
    EXPECT_EQ(0, LOWORD(Selection()));
    EXPECT_EQ(GetWindowTextLengthW(edit.m_hWnd), HIWORD(Selection()));
    pressKey(true);
    EXPECT_EQ(1, edit.keyDowns) << "Ctrl+Shift+A goes on to the edit control";
}

TEST_F(SkinEdit, FrameIsBlueOnlyWhileActiveAndEditable)
{
    edit.SetColors(RGB(47, 48, 52), RGB(54, 138, 211), RGB(47, 48, 52), RGB(255, 255, 255));
    auto frameColour = [&] {
        RedrawWindow(edit.m_hWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        HDC dc = GetWindowDC(edit.m_hWnd);
        const COLORREF colour = GetPixel(dc, 0, 0);
        ReleaseDC(edit.m_hWnd, dc);
        return colour;
    };
    EXPECT_EQ(RGB(47, 48, 52), frameColour());
    Send(edit.m_hWnd, {Down(30, 10), Up(30, 10)});
    EXPECT_EQ(RGB(54, 138, 211), frameColour());
    other.SetFocus();
    Pump();
    EXPECT_EQ(RGB(47, 48, 52), frameColour());

    edit.EnableWindow(FALSE);
    Send(edit.m_hWnd, {Down(30, 10), Up(30, 10)});
    EXPECT_EQ(RGB(47, 48, 52), frameColour());
    // Grey text while disabled, through the colour message the parent reflects.
    HDC probe = GetDC(parent.m_hWnd);
    parent.SendMessageW(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(probe), reinterpret_cast<LPARAM>(edit.m_hWnd));
    EXPECT_EQ(GetSysColor(COLOR_GRAYTEXT), GetTextColor(probe));
    ReleaseDC(parent.m_hWnd, probe);
}

} // namespace
