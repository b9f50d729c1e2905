#pragma once
// Message maps: a static table per window class from window message or command
// (id and notification code) to a handler, chained to the base class's table.
// A class declares its map with KELM_DECLARE_MESSAGE_MAP() and defines it in its
// source file between KELM_BEGIN_MESSAGE_MAP(Class, Base) and
// KELM_END_MESSAGE_MAP(). The derived class's entries are searched first, so an
// entry there replaces the base class's entry for the same message.
//
// Typed entries (KELM_ON_WM_xxx) call a member function of a fixed name and
// signature, listed beside each macro. A handler that wants the default
// processing as well passes its message to Default(message, wParam, lParam),
// packed again from its arguments (CPoint::ToLParam for mouse positions).

#include <windows.h>

#include <cstddef>

#include "framework/geometry.h"

namespace kelm {

class CWnd;

enum class MessageEntryKind : unsigned char {
    End,     // closes a table
    Message, // a window message
    Command, // WM_COMMAND with a notification code from one control or command id
};

using MessageHandler = LRESULT (*)(CWnd& window, UINT message, WPARAM wParam, LPARAM lParam);

struct MessageMapEntry {
    MessageEntryKind kind;
    UINT message;
    UINT code;
    UINT id;
    MessageHandler handler;
};

struct MessageMap {
    const MessageMap* (*baseMap)(); // null for CWnd's own map
    const MessageMapEntry* entries; // closed by an End entry
};

} // namespace kelm

// In the class body. Leaves the class in the protected section: put it last.
#define KELM_DECLARE_MESSAGE_MAP()                                               \
protected:                                                                       \
    static const ::kelm::MessageMap* GetThisMessageMap();                        \
    const ::kelm::MessageMap* GetMessageMap() const override;

#define KELM_BEGIN_MESSAGE_MAP(ThisClass, BaseClass)                             \
    const ::kelm::MessageMap* ThisClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const ::kelm::MessageMap* ThisClass::GetThisMessageMap()                     \
    {                                                                            \
        using KelmThisClass = ThisClass;                                         \
        using KelmBaseClass = BaseClass;                                         \
        static const ::kelm::MessageMapEntry entries[] = {

#define KELM_END_MESSAGE_MAP()                                                   \
            ::kelm::MessageMapEntry{::kelm::MessageEntryKind::End, 0, 0, 0, nullptr}    \
        };                                                                       \
        static const ::kelm::MessageMap map{&KelmBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                             \
    }

// One entry; the body sees `self` (the derived object), `message`, `wParam`, `lParam`.
#define KELM_MAP_ENTRY(kind, msg, code, id, ...)                                 \
    ::kelm::MessageMapEntry{kind, msg, code, id,                                 \
        [](::kelm::CWnd& kelmWindow, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT { \
            auto& self = static_cast<KelmThisClass&>(kelmWindow);                \
            (void)self; (void)message; (void)wParam; (void)lParam;               \
            __VA_ARGS__                                                          \
        }},

#define KELM_MESSAGE_ENTRY(msg, ...)                                             \
    KELM_MAP_ENTRY(::kelm::MessageEntryKind::Message, msg, 0, 0, __VA_ARGS__)

// Any message, raw: LRESULT handler(WPARAM, LPARAM).
#define KELM_ON_MESSAGE(msg, handler) KELM_MESSAGE_ENTRY(msg, return self.handler(wParam, lParam);)

// WM_COMMAND from a menu, accelerator or button click: void handler().
#define KELM_ON_COMMAND(id, handler)                                             \
    KELM_MAP_ENTRY(::kelm::MessageEntryKind::Command, WM_COMMAND, 0, id, self.handler(); return 0;)
// BN_CLICKED (also a static's STN_CLICKED, the same code) from control `id`: void handler().
#define KELM_ON_BN_CLICKED(id, handler)                                          \
    KELM_MAP_ENTRY(::kelm::MessageEntryKind::Command, WM_COMMAND, BN_CLICKED, id, self.handler(); return 0;)

// Typed window messages; the handler name and signature are fixed.
// int OnCreate(CREATESTRUCTW*)               (-1 fails the creation)
#define KELM_ON_WM_CREATE() KELM_MESSAGE_ENTRY(WM_CREATE, return self.OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));)
// void OnDestroy()
#define KELM_ON_WM_DESTROY() KELM_MESSAGE_ENTRY(WM_DESTROY, self.OnDestroy(); return 0;)
// void OnClose()
#define KELM_ON_WM_CLOSE() KELM_MESSAGE_ENTRY(WM_CLOSE, self.OnClose(); return 0;)
// void OnTimer(UINT_PTR timerId)
#define KELM_ON_WM_TIMER() KELM_MESSAGE_ENTRY(WM_TIMER, self.OnTimer(static_cast<UINT_PTR>(wParam)); return 0;)
// void OnSize(UINT type, int cx, int cy)
#define KELM_ON_WM_SIZE()                                                        \
    KELM_MESSAGE_ENTRY(WM_SIZE, self.OnSize(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)), \
                                            static_cast<short>(HIWORD(lParam))); return 0;)
// void OnPaint()
#define KELM_ON_WM_PAINT() KELM_MESSAGE_ENTRY(WM_PAINT, self.OnPaint(); return 0;)
// BOOL OnEraseBkgnd(HDC)
#define KELM_ON_WM_ERASEBKGND() KELM_MESSAGE_ENTRY(WM_ERASEBKGND, return self.OnEraseBkgnd(reinterpret_cast<HDC>(wParam));)
// BOOL OnNcCreate(CREATESTRUCTW*)
#define KELM_ON_WM_NCCREATE() KELM_MESSAGE_ENTRY(WM_NCCREATE, return self.OnNcCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));)
// LRESULT OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS*)  (params is a RECT* when calcValidRects is FALSE)
#define KELM_ON_WM_NCCALCSIZE()                                                  \
    KELM_MESSAGE_ENTRY(WM_NCCALCSIZE, return self.OnNcCalcSize(static_cast<BOOL>(wParam), reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam));)
// void OnNcPaint(HRGN updateRegion)   (1: the whole frame)
#define KELM_ON_WM_NCPAINT() KELM_MESSAGE_ENTRY(WM_NCPAINT, self.OnNcPaint(reinterpret_cast<HRGN>(wParam)); return 0;)
// BOOL OnNcActivate(BOOL active)
#define KELM_ON_WM_NCACTIVATE() KELM_MESSAGE_ENTRY(WM_NCACTIVATE, return self.OnNcActivate(static_cast<BOOL>(wParam));)
// void OnNcXxx(UINT hitTest, CPoint screenPoint)
#define KELM_NC_MOUSE_ENTRY(msg, handler)                                        \
    KELM_MESSAGE_ENTRY(msg, self.handler(static_cast<UINT>(wParam), ::kelm::CPoint::FromLParam(lParam)); return 0;)
#define KELM_ON_WM_NCMOUSEMOVE() KELM_NC_MOUSE_ENTRY(WM_NCMOUSEMOVE, OnNcMouseMove)
#define KELM_ON_WM_NCMOUSEHOVER() KELM_NC_MOUSE_ENTRY(WM_NCMOUSEHOVER, OnNcMouseHover)
#define KELM_ON_WM_NCLBUTTONDOWN() KELM_NC_MOUSE_ENTRY(WM_NCLBUTTONDOWN, OnNcLButtonDown)
#define KELM_ON_WM_NCLBUTTONUP() KELM_NC_MOUSE_ENTRY(WM_NCLBUTTONUP, OnNcLButtonUp)
#define KELM_ON_WM_NCLBUTTONDBLCLK() KELM_NC_MOUSE_ENTRY(WM_NCLBUTTONDBLCLK, OnNcLButtonDblClk)
// void OnNcMouseLeave()
#define KELM_ON_WM_NCMOUSELEAVE() KELM_MESSAGE_ENTRY(WM_NCMOUSELEAVE, self.OnNcMouseLeave(); return 0;)
// void OnXxx(UINT keyFlags, CPoint clientPoint)
#define KELM_MOUSE_ENTRY(msg, handler)                                           \
    KELM_MESSAGE_ENTRY(msg, self.handler(static_cast<UINT>(wParam), ::kelm::CPoint::FromLParam(lParam)); return 0;)
#define KELM_ON_WM_MOUSEMOVE() KELM_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define KELM_ON_WM_MOUSEHOVER() KELM_MOUSE_ENTRY(WM_MOUSEHOVER, OnMouseHover)
#define KELM_ON_WM_LBUTTONDOWN() KELM_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define KELM_ON_WM_LBUTTONUP() KELM_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define KELM_ON_WM_LBUTTONDBLCLK() KELM_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDblClk)
// void OnMouseLeave()
#define KELM_ON_WM_MOUSELEAVE() KELM_MESSAGE_ENTRY(WM_MOUSELEAVE, self.OnMouseLeave(); return 0;)
// BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage)
#define KELM_ON_WM_SETCURSOR()                                                   \
    KELM_MESSAGE_ENTRY(WM_SETCURSOR, return self.OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));)
// void OnSetFocus(HWND previous) / void OnKillFocus(HWND next)
#define KELM_ON_WM_SETFOCUS() KELM_MESSAGE_ENTRY(WM_SETFOCUS, self.OnSetFocus(reinterpret_cast<HWND>(wParam)); return 0;)
#define KELM_ON_WM_KILLFOCUS() KELM_MESSAGE_ENTRY(WM_KILLFOCUS, self.OnKillFocus(reinterpret_cast<HWND>(wParam)); return 0;)
// void OnChar(UINT character, UINT repeatCount, UINT flags)
#define KELM_ON_WM_CHAR()                                                        \
    KELM_MESSAGE_ENTRY(WM_CHAR, self.OnChar(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return 0;)
// void OnEnable(BOOL enabled)
#define KELM_ON_WM_ENABLE() KELM_MESSAGE_ENTRY(WM_ENABLE, self.OnEnable(static_cast<BOOL>(wParam)); return 0;)
