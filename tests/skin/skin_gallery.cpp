// The skin gallery: every skinned control in each of its states, in windows
// with the skinned frame, laid out for the screen's DPI. Used by the
// screenshot test (gallery_screenshots.py), which reads the layout file this
// program writes and checks pixels of a screenshot against it.
//
// Usage: skin_gallery.exe <output folder>
// Writes <output folder>\layout.txt when everything is painted, then runs until
// <output folder>\stop exists (or two minutes pass).

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "res/skin_images.h"
#include "skin/dpi.h"
#include "skin/fonts.h"
#include "skin/image_loader.h"
#include "skin/kelm_button.h"
#include "skin/kelm_dialog.h"
#include "skin/kelm_edit.h"
#include "skin/kelm_progress.h"
#include "skin/kelm_slider_show.h"
#include "skin/kelm_static.h"
#include "skin/kelm_text_button.h"
#include "skin/palette.h"
#include "skin_test_ids.h"
#include "support/test_paths.h"

using namespace kelm;

namespace {

// The slide shows' clock: 0 at their first paint, then the moment under test.
long g_slideClockMs = 0;
long GalleryClock()
{
    return g_slideClockMs;
}
constexpr long kSlideMomentMs = 7800;

// A client background unlike the frame, so the caption's lower edge shows.
constexpr COLORREF kProbeClientColor = RGB(64, 72, 88);

using kelm::test::SourceFolderPath;

class GalleryTextButton : public CKelmTextButton {
public:
    void ShowState(bool hover, bool pressed)
    {
        m_hover = hover;
        m_click.ShowPressed(pressed);
        Invalidate(FALSE);
    }
};

class GalleryImageButton : public CKelmButton {
public:
    void ShowState(bool hover, bool pressed)
    {
        m_hover = hover;
        m_click.ShowPressed(pressed);
        Invalidate(FALSE);
    }
};

class GalleryLabel : public CKelmStatic {
public:
    void ShowFocus()
    {
        m_hasFocus = true;
        Invalidate(FALSE);
    }
};

// A window of the skinned frame with one caption button held in a state.
class CaptionStateDialog : public CKelmDialog {
public:
    CaptionStateDialog(UINT templateId, bool probeBackground) : CKelmDialog(templateId), m_probeBackground(probeBackground) {}

    void ShowButtonState(int index, bool hover, bool pressed)
    {
        if (index < 0 || index >= static_cast<int>(m_buttons.size()))
            return;
        m_buttons[index].state = pressed ? CaptionButtonState::Pressed
                                 : hover ? CaptionButtonState::Hover
                                         : CaptionButtonState::Normal;
        RepaintFrame();
    }

protected:
    // The gallery's own background: the skin's window colour, or the probe colour.
    BOOL OnEraseBkgnd(HDC dc)
    {
        kelm::UniqueBrush brush(CreateSolidBrush(m_probeBackground ? kProbeClientColor
                                                                   : SkinColor(SkinSlot::WindowBackColor)));
        const RECT client = GetClientRect();
        FillRect(dc, &client, brush.Get());
        return TRUE;
    }
    // Held states stay put whatever the mouse does.
    void OnNcMouseMove(UINT, kelm::CPoint) {}
    void OnNcMouseLeave() {}

    bool m_probeBackground;

    KELM_DECLARE_MESSAGE_MAP()
};

KELM_BEGIN_MESSAGE_MAP(CaptionStateDialog, CKelmDialog)
    KELM_ON_WM_ERASEBKGND()
    KELM_ON_WM_NCMOUSEMOVE()
    KELM_ON_WM_NCMOUSELEAVE()
KELM_END_MESSAGE_MAP()

struct LayoutEntry {
    std::string name;
    RECT rect; // screen coordinates
};

class Gallery {
public:
    bool Create();
    bool WriteLayout(const std::wstring& path) const;
    void PaintAll();

private:
    void Record(const std::string& name, HWND window);
    void Record(const std::string& name, const RECT& screenRect);
    RECT At(int x, int y, int width, int height) const; // 96-DPI units inside the main client
    template <typename Control>
    Control& Make(std::vector<std::unique_ptr<Control>>& store, const wchar_t* className, const wchar_t* text,
                  DWORD style, const RECT& rect);

    std::unique_ptr<CaptionStateDialog> m_main;
    std::vector<std::unique_ptr<CaptionStateDialog>> m_frames;
    std::vector<std::unique_ptr<GalleryTextButton>> m_textButtons;
    std::vector<std::unique_ptr<GalleryImageButton>> m_imageButtons;
    std::vector<std::unique_ptr<GalleryLabel>> m_labels;
    std::vector<std::unique_ptr<CKelmEdit>> m_edits;
    std::vector<std::unique_ptr<CKelmProgress>> m_progressBars;
    std::unique_ptr<CKelmSliderShowCtrl> m_slides;
    std::vector<LayoutEntry> m_layout;
    UINT m_nextId = 100;
};

RECT Gallery::At(int x, int y, int width, int height) const
{
    return RECT{ScaleX(x), ScaleY(y), ScaleX(x) + ScaleX(width), ScaleY(y) + ScaleY(height)};
}

void Gallery::Record(const std::string& name, const RECT& screenRect)
{
    m_layout.push_back({name, screenRect});
}

void Gallery::Record(const std::string& name, HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    Record(name, rect);
}

template <typename Control>
Control& Gallery::Make(std::vector<std::unique_ptr<Control>>& store, const wchar_t* className, const wchar_t* text,
                       DWORD style, const RECT& rect)
{
    store.push_back(std::make_unique<Control>());
    Control& control = *store.back();
    control.CreateEx(0, className, text, WS_CHILD | WS_VISIBLE | style, rect, m_main.get(), m_nextId++);
    return control;
}

bool Gallery::Create()
{
    // The main window with every control.
    m_main = std::make_unique<CaptionStateDialog>(IDD_TEST_FRAME, false);
    if (!m_main->Create(IDD_TEST_FRAME))
        return false;
    m_main->SetWindowTextW(L"Skin gallery");
    m_main->SetIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_INSTALLER)), TRUE);
    m_main->SetWindowPos(nullptr, 8, 8, ScaleX(560), ScaleY(440), SWP_NOZORDER | SWP_NOACTIVATE);
    m_main->SetShowCaption(true);
    m_main->ShowWindow(SW_SHOWNOACTIVATE);
    Record("main", m_main->m_hWnd);

    // Text buttons: normal, hover, pressed, disabled; one without a caption, one narrower than its corners.
    const struct {
        const char* name;
        bool hover;
        bool pressed;
        bool enabled;
        const wchar_t* caption;
        RECT rect;
    } textButtons[] = {
        {"text_normal", false, false, true, L"Install", At(10, 10, 100, 34)},
        {"text_hover", true, false, true, L"Install", At(120, 10, 100, 34)},
        {"text_pressed", false, true, true, L"Install", At(230, 10, 100, 34)},
        {"text_disabled", false, false, false, L"Install", At(340, 10, 100, 34)},
        {"text_empty", false, false, true, L"", At(450, 10, 50, 34)},
        {"text_narrow", false, false, true, L"", At(510, 10, 6, 34)},
    };
    for (const auto& item : textButtons) {
        auto& button = Make(m_textButtons, L"BUTTON", L"", BS_PUSHBUTTON, item.rect);
        button.SetCaption(item.caption);
        button.SetEnabled(item.enabled);
        button.ShowState(item.hover, item.pressed);
        Record(item.name, button.m_hWnd);
    }

    // Image buttons: check boxes, expand arrows and the browse button, at rest, hovered and pressed.
    const COLORREF back = SkinColor(SkinSlot::WindowBackColor);
    const COLORREF outline = RGB(89, 134, 178);
    const COLORREF hoverFill = RGB(40, 42, 50);
    const struct {
        const char* name;
        int firstImageId; // 0: no image
        const wchar_t* caption;
        COLORREF normal;
        bool hover;
        bool pressed;
        RECT rect;
    } imageButtons[] = {
        {"check_on", IDB_CHECK_ON_FIRST, L"", back, false, false, At(10, 60, 36, 30)},
        {"check_on_hover", IDB_CHECK_ON_FIRST, L"", back, true, false, At(56, 60, 36, 30)},
        {"check_on_pressed", IDB_CHECK_ON_FIRST, L"", back, false, true, At(102, 60, 36, 30)},
        {"check_off", IDB_CHECK_OFF_FIRST, L"", back, false, false, At(148, 60, 36, 30)},
        {"check_off_hover", IDB_CHECK_OFF_FIRST, L"", back, true, false, At(194, 60, 36, 30)},
        {"arrow_down", IDB_ARROW_DOWN_FIRST, L"", back, false, false, At(240, 60, 36, 30)},
        {"arrow_up", IDB_ARROW_UP_FIRST, L"", back, true, false, At(286, 60, 36, 30)},
        {"browse", 0, L"...", SkinColor(SkinSlot::BrowseButtonColor), false, false, At(332, 60, 40, 30)},
        {"browse_hover", 0, L"...", SkinColor(SkinSlot::BrowseButtonColor), true, false, At(382, 60, 40, 30)},
        {"logo", IDB_LOGO_FIRST, L"", back, false, false, At(432, 60, 120, 30)},
    };
    for (const auto& item : imageButtons) {
        auto& button = Make(m_imageButtons, L"BUTTON", L"", BS_PUSHBUTTON, item.rect);
        const COLORREF hover = item.normal == back ? hoverFill : RGB(85, 86, 92);
        button.Configure(SIZE{0, 0}, item.normal, hover, RGB(20, 21, 25), outline, item.caption);
        if (item.firstImageId) {
            if (auto image = LoadResourceImage(DpiImageId(item.firstImageId)); image && image->Bitmap())
                button.SetImage(image->Bitmap(), image->Width(), image->Height());
        }
        button.ShowState(item.hover, item.pressed);
        Record(item.name, button.m_hWnd);
    }

    // Labels: plain text, the link with its focus rectangle, the title font.
    {
        auto& label = Make(m_labels, L"STATIC", L"", SS_LEFT, At(10, 100, 200, 26));
        label.SetText(L"Installation folder:");
        label.SetStyle(NormalFont(), SkinColor(SkinSlot::LabelTextColor), back, DT_SINGLELINE | DT_VCENTER);
        Record("label", label.m_hWnd);

        auto& link = Make(m_labels, L"STATIC", L"", SS_NOTIFY, At(220, 100, 130, 26));
        link.SetText(L"License Terms");
        link.SetStyle(LinkFont(), RGB(89, 134, 178), back, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        link.SetLink(true);
        link.ShowFocus();
        Record("link_focused", link.m_hWnd);

        auto& plain = Make(m_labels, L"STATIC", L"", SS_LEFT, At(360, 100, 190, 26));
        plain.SetText(L"Fallback font");
        plain.SetStyle(nullptr, SkinColor(SkinSlot::CaptionTextColor), back, DT_SINGLELINE | DT_VCENTER);
        Record("label_fallback_font", plain.m_hWnd);

        auto& title = Make(m_labels, L"STATIC", L"", SS_LEFT, At(320, 250, 230, 40));
        title.SetText(L"Zunder is ready");
        title.SetStyle(TitleFont(), SkinColor(SkinSlot::ButtonTextColor), back,
                       DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_WORD_ELLIPSIS);
        Record("title", title.m_hWnd);
    }

    // Edit boxes: inactive, disabled, read-only and (last, as it takes the focus) active.
    const COLORREF editBack = SkinColor(SkinSlot::EditBackColor);
    const struct {
        const char* name;
        DWORD style;
        bool enabled;
        RECT rect;
    } edits[] = {
        {"edit_inactive", 0, true, At(10, 140, 170, 28)},
        {"edit_disabled", 0, false, At(380, 140, 80, 28)},
        {"edit_readonly", ES_READONLY, true, At(470, 140, 80, 28)},
        {"edit_active", 0, true, At(190, 140, 180, 28)},
    };
    for (const auto& item : edits) {
        auto& edit = Make(m_edits, L"EDIT", L"C:\\Program Files\\Zunder", ES_AUTOHSCROLL | item.style,
                          item.rect);
        edit.SendMessageW(WM_SETFONT, reinterpret_cast<WPARAM>(NormalFont()), TRUE);
        edit.SetColors(editBack, RGB(54, 138, 211), editBack, RGB(255, 255, 255));
        edit.EnableWindow(item.enabled);
        Record(item.name, edit.m_hWnd);
    }

    // Progress bars: empty, half (500 of 1000), full.
    const int positions[] = {0, 500, 1000};
    const char* progressNames[] = {"progress_0", "progress_500", "progress_1000"};
    for (int i = 0; i < 3; ++i) {
        m_progressBars.push_back(std::make_unique<CKelmProgress>());
        CKelmProgress& bar = *m_progressBars.back();
        const RECT rect = At(10, 185 + 16 * i, 300, 8);
        bar.Create(WS_CHILD | WS_VISIBLE, rect, m_main.get(), m_nextId++);
        bar.SetColors(back, SkinColor(SkinSlot::ProgressTrackColor), SkinColor(SkinSlot::ProgressBarColor));
        bar.SetRange(1000);
        bar.SetPosition(positions[i]);
        bar.SetBarSize(SIZE{rect.right - rect.left, rect.bottom - rect.top});
        bar.UpdateWindow();
        Record(progressNames[i], bar.m_hWnd);
    }

    // The slide show: a 300-pixel-wide picture area at every DPI, slides A, B, C.
    m_slides = std::make_unique<CKelmSliderShowCtrl>();
    for (const wchar_t* name : {L"slide_a.png", L"slide_b.png", L"slide_c.png"}) {
        if (auto slide = LoadFileImage(SourceFolderPath(L"tests\\skin\\data\\") + name))
            m_slides->AddSlide(std::move(*slide));
    }
    m_slides->SetBackColor(back);
    const RECT slideRect{ScaleX(10), ScaleY(240), ScaleX(10) + 300, ScaleY(240) + 120};
    m_slides->Create(WS_CHILD | WS_VISIBLE, slideRect, m_main.get(), m_nextId++);
    m_slides->UpdateWindow(); // the first paint sets the show's time origin
    g_slideClockMs = kSlideMomentMs;
    Record("slides", m_slides->m_hWnd);

    // Frames in each caption state, in a column right of the main window.
    const int columnX = 8 + ScaleX(560) + ScaleX(12);
    const struct {
        const char* name;
        UINT templateId;
        int button;
        bool hover;
        bool pressed;
        bool disableClose;
    } frames[] = {
        {"frame_close_hover", IDD_TEST_FRAME, CaptionButton::Close, true, false, false},
        {"frame_close_pressed", IDD_TEST_FRAME, CaptionButton::Close, false, true, false},
        {"frame_minimize_hover", IDD_TEST_FRAME, CaptionButton::Minimize, true, false, false},
        {"frame_minimize_pressed", IDD_TEST_FRAME, CaptionButton::Minimize, false, true, false},
        {"frame_maximize_hover", IDD_TEST_FRAME_MAXIMIZABLE, CaptionButton::Maximize, true, false, false},
        {"frame_disabled", IDD_TEST_FRAME, -1, false, false, true},
    };
    int y = 8;
    for (const auto& item : frames) {
        m_frames.push_back(std::make_unique<CaptionStateDialog>(item.templateId, true));
        CaptionStateDialog& frame = *m_frames.back();
        if (!frame.Create(item.templateId))
            return false;
        frame.SetWindowPos(nullptr, columnX, y, ScaleX(150), ScaleY(70), SWP_NOZORDER | SWP_NOACTIVATE);
        frame.ShowWindow(SW_SHOWNOACTIVATE);
        if (item.disableClose) {
            frame.SetCaptionButtonDisabled(CaptionButton::Close, true);
            frame.SetCaptionButtonDisabled(CaptionButton::Minimize, true);
        }
        frame.ShowButtonState(item.button, item.hover, item.pressed);
        Record(item.name, frame.m_hWnd);
        y += ScaleY(70) + ScaleY(10);
    }
    // The caption buttons of the first frame, as laid out.
    CaptionStateDialog& first = *m_frames.front();
    const RECT window = first.GetWindowRect();
    for (const CaptionButton& button : first.CaptionButtons()) {
        RECT rect = button.rect;
        OffsetRect(&rect, window.left, window.top);
        Record("caption_button_" + std::to_string(button.id), rect);
        RECT image = button.imageRect;
        OffsetRect(&image, window.left, window.top);
        Record("caption_image_" + std::to_string(button.id), image);
    }
    RECT client = first.GetClientRect();
    MapWindowPoints(first.m_hWnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    Record("frame_close_hover_client", client);

    // Last, as it takes the focus: the active edit box, clicked once, so its
    // text is selected and its frame blue.
    SetForegroundWindow(m_main->m_hWnd);
    CKelmEdit& active = *m_edits.back();
    active.SendMessageW(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    active.SendMessageW(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    return true;
}

void Gallery::PaintAll()
{
    RedrawWindow(m_main->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (const auto& frame : m_frames)
        RedrawWindow(frame->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool Gallery::WriteLayout(const std::wstring& path) const
{
    const std::wstring temporary = path + L".part";
    FILE* file = _wfopen(temporary.c_str(), L"w");
    if (!file)
        return false;
    std::fprintf(file, "dpi %d %d\n", ScreenDpiX(), ScreenDpiY());
    std::fprintf(file, "close_image_id %d\n", DpiImageId(IDB_CLOSE_FIRST));
    for (const LayoutEntry& entry : m_layout)
        std::fprintf(file, "%s %ld %ld %ld %ld\n", entry.name.c_str(), entry.rect.left, entry.rect.top,
                     entry.rect.right, entry.rect.bottom);
    std::fclose(file);
    return MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void PumpFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!kelm::WalkPreTranslateTree(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: skin_gallery <output folder>\n");
        return 2;
    }
    std::wstring folder;
    for (const char* c = argv[1]; *c; ++c)
        folder += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    // Keep the pointer away from the windows: no hover comes from it.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    SetSlideShowClock(GalleryClock);
    if (!CreateSkinFonts())
        std::fprintf(stderr, "some skin fonts could not be created\n");

    Gallery gallery;
    if (!gallery.Create()) {
        std::fprintf(stderr, "the gallery windows could not be created\n");
        return 1;
    }
    // Everything paints once (Direct2D's first paint of each control is slow
    // under software rendering), then the slide show's timer runs a while.
    gallery.PaintAll();
    PumpFor(1000);
    if (!gallery.WriteLayout(folder + L"\\layout.txt")) {
        std::fprintf(stderr, "the layout file could not be written\n");
        return 1;
    }
    const std::wstring stopFile = folder + L"\\stop";
    for (int i = 0; i < 1200 && GetFileAttributesW(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        PumpFor(100);
    DeleteSkinFonts();
    return 0;
}
