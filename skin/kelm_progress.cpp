#include "skin/kelm_progress.h"

#include "skin/dpi.h"

KELM_IMPLEMENT_DYNAMIC(CKelmProgress, kelm::CWnd)

KELM_BEGIN_MESSAGE_MAP(CKelmProgress, kelm::CWnd)
    KELM_ON_WM_PAINT()
    KELM_ON_WM_SIZE()
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
    EndPaint(m_hWnd, &paint);
}

void CKelmProgress::OnSize(UINT, int, int)
{
    Default();
}
