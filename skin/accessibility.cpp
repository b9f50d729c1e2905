#include "skin/accessibility.h"

#include <wrl/client.h>

#include <atomic>
#include <new>
#include <utility>

namespace kelm {

using Microsoft::WRL::ComPtr;

namespace {

// Not IID_IAccessible: the oleacc import library defines that name as a code
// thunk of the DLL's export, which is no interface identifier.
const IID& kAccessibleIid = __uuidof(IAccessible);

bool IsSelf(const VARIANT& child) noexcept
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

BSTR AllocString(const std::wstring& text) noexcept
{
    return ::SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The standard client object of a window, with the control's own facts for
// the window itself. The wrapper holds the window handle only: once the
// window is gone, it says so rather than reading a destroyed control.
// Calls arrive on the window's thread (the object lives in its apartment).
class SkinnedAccessible final : public IAccessible, public IOleWindow {
public:
    SkinnedAccessible(HWND control, ComPtr<IAccessible> standard) noexcept
        : m_control(control), m_standard(std::move(standard))
    {
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kAccessibleIid)
            *object = static_cast<IAccessible*>(this);
        else if (iid == IID_IOleWindow)
            *object = static_cast<IOleWindow*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = m_control;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return m_standard->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override
    {
        return m_standard->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        return m_standard->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override
    {
        return m_standard->Invoke(member, iid, locale, flags, parameters, result, exception, argumentError);
    }

    // IAccessible: the control's facts for itself
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (!IsSelf(child))
            return m_standard->get_accName(child, name);
        if (name == nullptr)
            return E_POINTER;
        *name = nullptr;
        AccessibleFacts facts;
        if (!Describe(facts))
            return RPC_E_DISCONNECTED;
        // Nothing may unwind into the caller's COM stub.
        try {
            const std::wstring& text = facts.name.empty() ? (facts.name = WindowText(m_control)) : facts.name;
            if (text.empty())
                return S_FALSE;
            *name = AllocString(text);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (!IsSelf(child))
            return m_standard->get_accValue(child, value);
        if (value == nullptr)
            return E_POINTER;
        *value = nullptr;
        AccessibleFacts facts;
        if (!Describe(facts))
            return RPC_E_DISCONNECTED;
        if (!facts.value)
            return DISP_E_MEMBERNOTFOUND;
        *value = AllocString(*facts.value);
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (!IsSelf(child))
            return m_standard->get_accRole(child, role);
        if (role == nullptr)
            return E_POINTER;
        ::VariantInit(role);
        AccessibleFacts facts;
        if (!Describe(facts))
            return RPC_E_DISCONNECTED;
        role->vt = VT_I4;
        role->lVal = facts.role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        if (!IsSelf(child))
            return m_standard->get_accState(child, state);
        if (state == nullptr)
            return E_POINTER;
        AccessibleFacts facts;
        if (!Describe(facts)) {
            ::VariantInit(state);
            return RPC_E_DISCONNECTED;
        }
        const HRESULT result = m_standard->get_accState(child, state);
        if (FAILED(result) || state->vt != VT_I4) {
            ::VariantClear(state);
            state->vt = VT_I4;
            state->lVal = 0;
        }
        state->lVal |= facts.state;
        return S_OK;
    }

    // IAccessible: the system's
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return m_standard->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return m_standard->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return m_standard->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return m_standard->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override
    {
        return m_standard->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return m_standard->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override
    {
        return m_standard->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return m_standard->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return m_standard->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override
    {
        return m_standard->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override
    {
        return m_standard->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override
    {
        return m_standard->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return m_standard->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override
    {
        return m_standard->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return m_standard->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return m_standard->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return m_standard->put_accValue(child, value);
    }

private:
    ~SkinnedAccessible() = default;

    bool Describe(AccessibleFacts& facts) const
    {
        return ::IsWindow(m_control) &&
               ::SendMessageW(m_control, WM_DESCRIBE_FOR_SCREEN_READER, 0, reinterpret_cast<LPARAM>(&facts)) != 0;
    }

    std::atomic<ULONG> m_references{1};
    HWND m_control;
    ComPtr<IAccessible> m_standard;
};

} // namespace

LRESULT AnswerGetObject(HWND control, WPARAM wParam, LPARAM lParam, bool* handled) noexcept
{
    *handled = false;
    if (static_cast<LONG>(lParam) != OBJID_CLIENT)
        return 0;
    ComPtr<IAccessible> standard;
    if (FAILED(::CreateStdAccessibleObject(control, OBJID_CLIENT, kAccessibleIid,
                                           reinterpret_cast<void**>(standard.GetAddressOf()))))
        return 0;
    auto* wrapper = new (std::nothrow) SkinnedAccessible(control, std::move(standard));
    if (wrapper == nullptr)
        return 0;
    const LRESULT answer = ::LresultFromObject(kAccessibleIid, wParam, static_cast<IAccessible*>(wrapper));
    wrapper->Release();
    if (answer <= 0) // a failure's HRESULT
        return 0;
    *handled = true;
    return answer;
}

void NotifyAccessibleChange(HWND control, DWORD event) noexcept
{
    if (control != nullptr)
        ::NotifyWinEvent(event, control, OBJID_CLIENT, CHILDID_SELF);
}

} // namespace kelm
