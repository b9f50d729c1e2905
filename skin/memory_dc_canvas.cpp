#include "skin/memory_dc_canvas.h"

namespace kelm {

MemoryDcCanvas::MemoryDcCanvas(HDC target, const RECT& area)
    : m_target(target), m_area(area), m_bounds{0, 0, area.right - area.left, area.bottom - area.top}
{
    if (Width() <= 0 || Height() <= 0)
        return;
    m_dc.Reset(CreateCompatibleDC(target));
    m_bitmap.Reset(CreateCompatibleBitmap(target, Width(), Height()));
    if (m_dc && m_bitmap)
        m_selection.emplace(m_dc.Get(), m_bitmap.Get());
}

void MemoryDcCanvas::CopyToTarget() const
{
    BitBlt(m_target, m_area.left, m_area.top, Width(), Height(), m_dc.Get(), 0, 0, SRCCOPY);
}

} // namespace kelm
