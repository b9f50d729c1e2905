#pragma once
// Double-buffered owner drawing: a control draws into a memory DC holding a
// bitmap as large as its item, then copies the finished picture to the screen
// in one BitBlt, so a repaint never shows half-drawn states.

#include <windows.h>

#include <optional>

#include "framework/handles.h"

namespace kelm {

class MemoryDcCanvas {
public:
    // A canvas compatible with `target`, as large as `area` of it.
    MemoryDcCanvas(HDC target, const RECT& area);

    // False when the area is empty or the canvas could not be made: draw nothing.
    explicit operator bool() const { return m_selection.has_value(); }

    HDC Dc() const { return m_dc.Get(); }
    // The canvas in its own coordinates: {0, 0, width, height}.
    const RECT& Bounds() const { return m_bounds; }
    int Width() const { return m_bounds.right; }
    int Height() const { return m_bounds.bottom; }

    // Copies the canvas onto its area of the target.
    void CopyToTarget() const;

private:
    HDC m_target;
    RECT m_area;
    RECT m_bounds;
    UniqueMemoryDc m_dc;
    UniqueBitmap m_bitmap;
    std::optional<SelectedObject> m_selection;
};

} // namespace kelm
