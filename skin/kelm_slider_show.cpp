#include "skin/kelm_slider_show.h"

#include <ctime>
#include <optional>

#include "framework/handles.h"
#include "skin/focus_cue.h"
#include "skin/slide_cycle.h"

namespace kelm {

namespace {

long RuntimeClockMilliseconds()
{
    return static_cast<long>(static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC);
}

SlideShowClock g_clock = RuntimeClockMilliseconds;
std::optional<long> g_origin;

} // namespace

void SetSlideShowClock(SlideShowClock clock)
{
    g_clock = clock ? clock : RuntimeClockMilliseconds;
}

KELM_IMPLEMENT_DYNAMIC(CKelmSliderShowCtrl, CWnd)

KELM_BEGIN_MESSAGE_MAP(CKelmSliderShowCtrl, CWnd)
    KELM_ON_WM_CREATE()
    KELM_ON_WM_PAINT()
    KELM_ON_WM_TIMER()
    KELM_ON_WM_DESTROY()
    KELM_ON_WM_SETCURSOR()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
    KELM_ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    KELM_ON_FOCUS_CUE_CHANGES()
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

CKelmSliderShowCtrl::~CKelmSliderShowCtrl() = default;

void CKelmSliderShowCtrl::AddSlide(FileImage slide)
{
    if (slide.bitmap)
        m_slides.push_back(std::move(slide));
}

void CKelmSliderShowCtrl::SetBackColor(COLORREF color)
{
    m_backColor = color;
    if (m_hWnd)
        Invalidate(TRUE);
}

int CKelmSliderShowCtrl::OnCreate(CREATESTRUCTW* create)
{
    const int result = static_cast<int>(Default(WM_CREATE, 0, reinterpret_cast<LPARAM>(create)));
    if (result != -1)
        SetTimer(kAnimationTimer, kAnimationMilliseconds);
    return result;
}

void CKelmSliderShowCtrl::OnTimer(UINT_PTR timerId)
{
    if (timerId != kAnimationTimer) {
        Default(WM_TIMER, timerId);
        return;
    }
    Invalidate(TRUE);
    UpdateWindow();
}

void CKelmSliderShowCtrl::OnDestroy()
{
    KillTimer(kAnimationTimer);
    Default(WM_DESTROY);
}

BOOL CKelmSliderShowCtrl::OnSetCursor(HWND, UINT, UINT)
{
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

void CKelmSliderShowCtrl::OnLButtonDown(UINT, CPoint)
{
    Activate();
}

void CKelmSliderShowCtrl::Activate()
{
    if (HWND parent = ::GetParent(m_hWnd))
        ::SendMessageW(parent, WM_SLIDESHOW_CLICKED, 0, 0);
}

LRESULT CKelmSliderShowCtrl::OnGetDlgCode(WPARAM key, LPARAM message)
{
    return IsActivationKeyDown(message) ? DLGC_WANTMESSAGE : Default(WM_GETDLGCODE, key, message);
}

LRESULT CKelmSliderShowCtrl::OnKeyDown(WPARAM key, LPARAM flags)
{
    if (key != VK_RETURN && key != VK_SPACE)
        return Default(WM_KEYDOWN, key, flags);
    Activate();
    return 0;
}

void CKelmSliderShowCtrl::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = ROLE_SYSTEM_LINK;
    facts.state = STATE_SYSTEM_LINKED;
}

void CKelmSliderShowCtrl::DrawSlide(HDC dc, HDC slideDc, const FileImage& slide, int x, int y)
{
    SelectedObject selection(slideDc, slide.bitmap.Get());
    StretchBlt(dc, x, y, slide.width, slide.height, slideDc, 0, 0, slide.width, slide.height, SRCCOPY);
}

void CKelmSliderShowCtrl::OnPaint()
{
    PAINTSTRUCT paint{};
    HDC paintDc = BeginPaint(m_hWnd, &paint);
    if (!paintDc)
        return;
    const CRect client = GetClientRect();
    UniqueMemoryDc memoryDc(CreateCompatibleDC(paintDc));
    UniqueBitmap canvas(CreateCompatibleBitmap(paintDc, client.Width(), client.Height()));
    if (memoryDc && canvas) {
        SelectedObject canvasSelection(memoryDc.Get(), canvas.Get());
        HDC dc = memoryDc.Get();
        {
            UniqueBrush back(CreateSolidBrush(m_backColor));
            FillRect(dc, &client, back.Get());
        }
        if (!m_slides.empty()) {
            const long now = g_clock();
            if (!g_origin)
                g_origin = now;
            const int areaWidth = client.Width() - m_marginLeft - m_marginRight;
            const int areaHeight = client.Height() - m_marginTop - m_marginBottom;
            const SlideFrame frame = ComputeSlideFrame(static_cast<long long>(now) - *g_origin, m_displaySeconds,
                                                       m_transitionSeconds, m_slides.size(), areaWidth);
            UniqueMemoryDc slideDc(CreateCompatibleDC(dc));
            if (slideDc) {
                IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
                auto place = [&](const FileImage& slide, int offsetX) {
                    DrawSlide(dc, slideDc.Get(), slide, m_marginLeft + offsetX + (areaWidth - slide.width) / 2,
                              m_marginTop + (areaHeight - slide.height) / 2);
                };
                if (frame.kind == SlideFrame::Kind::Still) {
                    place(m_slides[frame.current], 0);
                } else if (frame.kind == SlideFrame::Kind::Transition) {
                    place(m_slides[frame.current], -frame.shift);
                    place(m_slides[frame.next], areaWidth - frame.shift);
                }
            }
        }
        if (ShowsFocusCue(m_hWnd))
            DrawFocusCue(dc, client);
        BitBlt(paintDc, 0, 0, client.Width(), client.Height(), dc, 0, 0, SRCCOPY);
    }
    EndPaint(m_hWnd, &paint);
}

} // namespace kelm
