#include "skin/click_tracker.h"

namespace kelm {

void ClickTracker::Press(HWND button)
{
    if (!m_captured) {
        m_captured = true;
        SetCapture(button);
        m_pressed = true;
    }
    InvalidateRect(button, nullptr, FALSE);
}

void ClickTracker::Release(HWND button, POINT point)
{
    if (m_captured) {
        m_captured = false;
        // Releasing the capture first also ends the system button's own press,
        // so the click is reported once, by the message posted here. A repaint
        // while the capture goes still shows the press.
        ReleaseCapture();
        if (m_pressed) {
            m_pressed = false;
            RECT client{};
            GetClientRect(button, &client);
            if (PtInRect(&client, point)) {
                if (HWND parent = GetParent(button))
                    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                 reinterpret_cast<LPARAM>(button));
            }
        }
    }
    InvalidateRect(button, nullptr, FALSE);
}

void ClickTracker::Cancel(HWND button)
{
    m_pressed = false;
    if (m_captured && GetCapture() == button)
        ReleaseCapture();
    m_captured = false;
}

} // namespace kelm
