#pragma once
// What the skinned controls tell a screen reader. They are owner-drawn, so the
// system's standard accessible object of their window knows neither what they
// are nor what they show: each control answers WM_GETOBJECT with that standard
// object wrapped, the wrapper taking the name, role, state and value from the
// control at the moment it is asked (location, focus, navigation, and the
// disabled, focused and hidden states stay the system's).
//
// A control puts KELM_ON_ACCESSIBILITY() in its message map and defines
//     void DescribeForScreenReader(AccessibleFacts& facts) const;

#include <windows.h>
#include <oleacc.h>

#include <optional>
#include <string>

namespace kelm {

struct AccessibleFacts {
    long role = ROLE_SYSTEM_CLIENT;
    // Empty: the window's text.
    std::wstring name;
    // STATE_SYSTEM_xxx added to the window's own.
    long state = 0;
    std::optional<std::wstring> value;
};

// Sent by the wrapper to the control's window (lParam: AccessibleFacts*); the
// control fills the facts and returns nonzero.
inline constexpr UINT WM_DESCRIBE_FOR_SCREEN_READER = WM_APP + 0x3A0;

// The answer to WM_GETOBJECT for `control`: the wrapped standard object for
// OBJID_CLIENT, or 0 (with *handled false) for the system's own answer.
LRESULT AnswerGetObject(HWND control, WPARAM wParam, LPARAM lParam, bool* handled) noexcept;

// Tells screen readers that the control's name, state or value changed
// (EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_VALUECHANGE).
void NotifyAccessibleChange(HWND control, DWORD event) noexcept;

#define KELM_ON_ACCESSIBILITY()                                                          \
    KELM_MESSAGE_ENTRY(WM_GETOBJECT, {                                                   \
        bool handled = false;                                                            \
        const LRESULT answer = AnswerGetObject(self.m_hWnd, wParam, lParam, &handled);   \
        return handled ? answer : self.Default(message, wParam, lParam);                 \
    })                                                                                   \
    KELM_MESSAGE_ENTRY(WM_DESCRIBE_FOR_SCREEN_READER,                                    \
        self.DescribeForScreenReader(*reinterpret_cast<AccessibleFacts*>(lParam)); return 1;)

} // namespace kelm
