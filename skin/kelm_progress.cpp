#include "skin/kelm_progress.h"

#include "skin/dpi.h"
#include "skin/focus_cue.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CKelmProgress, CWnd)

KELM_BEGIN_MESSAGE_MAP(CKelmProgress, CWnd)
    KELM_ON_WM_PAINT()
    KELM_ON_FOCUS_CUE_CHANGES()
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

namespace {

// 3 pixels at 96 DPI, not truncated; fixed for the process.
float CornerRadius(int dpi)
{
    return 3.0f * static_cast<float>(dpi) / 96.0f;
}

} // namespace

CKelmProgress::CKelmProgress() : m_radiusX(CornerRadius(ScreenDpiX())), m_radiusY(CornerRadius(ScreenDpiY())) {}

CKelmProgress::~CKelmProgress() = default;

void CKelmProgress::SetPosition(int position)
{
    if (position == m_position)
        return;
    m_position = position;
    if (m_hWnd)
        Invalidate(TRUE);
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_VALUECHANGE);
}

void CKelmProgress::SetRange(int range)
{
    if (range == m_range)
        return;
    m_range = range;
    if (m_hWnd)
        Invalidate(TRUE);
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_VALUECHANGE);
}

void CKelmProgress::SetColors(COLORREF back, COLORREF track, COLORREF fill)
{
    m_backColor = back;
    m_trackColor = track;
    m_fillColor = fill;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CKelmProgress::SetBarSize(SIZE size)
{
    m_barRect = RECT{0, 0, size.cx, size.cy};
    if (m_hWnd)
        Invalidate(TRUE);
}

void CKelmProgress::SetAccessibleName(const std::wstring& name)
{
    if (name == m_accessibleName)
        return;
    m_accessibleName = name;
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_NAMECHANGE);
}

void CKelmProgress::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = ROLE_SYSTEM_PROGRESSBAR;
    facts.name = m_accessibleName;
    facts.state = STATE_SYSTEM_READONLY;
    const long long done = m_range > 0 ? static_cast<long long>(m_position) * 100 / m_range : 0;
    facts.value = std::to_wstring(done) + L"%";
}

void CKelmProgress::OnPaint()
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (!dc)
        return;
    const ProgressLook look{m_backColor,
                            m_trackColor,
                            m_fillColor,
                            static_cast<int>(m_barRect.right - m_barRect.left),
                            static_cast<int>(m_barRect.bottom - m_barRect.top),
                            m_position,
                            m_range,
                            m_radiusX,
                            m_radiusY};
    m_renderer.Paint(dc, GetClientRect(), look);
    if (ShowsFocusCue(m_hWnd))
        DrawFocusCue(dc, GetClientRect());
    EndPaint(m_hWnd, &paint);
}

} // namespace kelm
