#include "skin/d2d_drawing.h"

#include <algorithm>
#include <cmath>

#include "skin/dpi.h"

namespace kelm {

using Microsoft::WRL::ComPtr;

namespace {

D2D1_RENDER_TARGET_PROPERTIES DcTargetProperties()
{
    return D2D1::RenderTargetProperties(D2D1_RENDER_TARGET_TYPE_DEFAULT,
                                        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE),
                                        0.0f, 0.0f, D2D1_RENDER_TARGET_USAGE_NONE,
                                        D2D1_FEATURE_LEVEL_DEFAULT);
}

D2D1_RECT_F ToRectF(const RECT& rect)
{
    return D2D1::RectF(static_cast<float>(rect.left), static_cast<float>(rect.top),
                       static_cast<float>(rect.right), static_cast<float>(rect.bottom));
}

} // namespace

D2D1_COLOR_F ToD2DColor(COLORREF color)
{
    return D2D1::ColorF(GetRValue(color) / 255.0f, GetGValue(color) / 255.0f, GetBValue(color) / 255.0f, 1.0f);
}

TextButtonMetrics TextButtonMetricsForDpi(int dpiX, int dpiY)
{
    return {static_cast<float>(4 * dpiX / 96), static_cast<float>(4 * dpiY / 96),
            static_cast<float>(dpiY * 14 / 96)};
}

std::wstring ResolveFontFamily(IDWriteFontCollection* fonts, const std::wstring& wanted)
{
    if (!fonts)
        return wanted;
    auto has = [fonts](const wchar_t* name) {
        UINT32 index = 0;
        BOOL exists = FALSE;
        return SUCCEEDED(fonts->FindFamilyName(name, &index, &exists)) && exists;
    };
    if (has(wanted.c_str()))
        return wanted;
    for (const wchar_t* name : {L"Tahoma", L"Segoe UI", L"Arial", L"Liberation Sans", L"DejaVu Sans"}) {
        if (has(name))
            return name;
    }
    ComPtr<IDWriteFontFamily> family;
    ComPtr<IDWriteLocalizedStrings> names;
    UINT32 length = 0;
    if (fonts->GetFontFamilyCount() == 0 || FAILED(fonts->GetFontFamily(0, &family)) ||
        FAILED(family->GetFamilyNames(&names)) || FAILED(names->GetStringLength(0, &length)))
        return wanted;
    std::wstring name(length + 1, L'\0');
    if (FAILED(names->GetString(0, name.data(), length + 1)))
        return wanted;
    name.resize(length);
    return name;
}

TextButtonRenderer::TextButtonRenderer() : m_metrics(TextButtonMetricsForDpi(ScreenDpiX(), ScreenDpiY())) {}

void TextButtonRenderer::Release()
{
    m_textFormat.Reset();
    m_writeFactory.Reset();
    m_d2dFactory.Reset();
    m_renderTarget.Reset();
}

bool TextButtonRenderer::CreateObjects()
{
    Release();
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, m_d2dFactory.GetAddressOf()))) {
        OutputDebugStringW(L"Failed to cread Direct2D Factory");
        return false;
    }
    const D2D1_RENDER_TARGET_PROPERTIES properties = DcTargetProperties();
    if (FAILED(m_d2dFactory->CreateDCRenderTarget(&properties, &m_renderTarget))) {
        OutputDebugStringW(L"Failed to cread Direct2D Render Target");
        return false;
    }
    if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(m_writeFactory.GetAddressOf())))) {
        OutputDebugStringW(L"Failed to cread Direct2D Write Factory");
        m_renderTarget.Reset();
        return false;
    }
    ComPtr<IDWriteFontCollection> systemFonts;
    m_writeFactory->GetSystemFontCollection(&systemFonts, FALSE);
    const std::wstring family = ResolveFontFamily(systemFonts.Get(), L"Tahoma");
    if (FAILED(m_writeFactory->CreateTextFormat(family.c_str(), nullptr, DWRITE_FONT_WEIGHT_NORMAL,
                                                DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                                m_metrics.textSize, L"", &m_textFormat))) {
        m_renderTarget.Reset();
        return false;
    }
    m_textFormat->SetWordWrapping(DWRITE_WORD_WRAPPING_WHOLE_WORD);
    // Captions are centred across the button.
    m_textFormat->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
    return true;
}

bool TextButtonRenderer::Paint(HDC dc, const RECT& client, const TextButtonLook& look, const std::wstring& text)
{
    if (!m_renderTarget && !CreateObjects())
        return false;
    if (FAILED(m_renderTarget->BindDC(dc, &client)))
        return false;

    const float width = static_cast<float>(client.right - client.left);
    const float height = static_cast<float>(client.bottom - client.top);
    m_renderTarget->BeginDraw();
    ComPtr<ID2D1SolidColorBrush> brush;
    if (SUCCEEDED(m_renderTarget->CreateSolidColorBrush(ToD2DColor(look.backColor), &brush))) {
        m_renderTarget->FillRectangle(ToRectF(client), brush.Get());
        brush->SetColor(ToD2DColor(look.fillColor));
        const D2D1_ROUNDED_RECT shape = D2D1::RoundedRect(ToRectF(client), std::min(m_metrics.radiusX, width / 2),
                                                          std::min(m_metrics.radiusY, height / 2));
        m_renderTarget->FillRoundedRectangle(shape, brush.Get());

        ComPtr<IDWriteTextLayout> layout;
        if (!text.empty() &&
            SUCCEEDED(m_writeFactory->CreateTextLayout(text.c_str(), static_cast<UINT32>(text.size()),
                                                       m_textFormat.Get(), width, height, &layout))) {
            DWRITE_TEXT_METRICS metrics{};
            DWRITE_OVERHANG_METRICS overhang{};
            if (SUCCEEDED(layout->GetMetrics(&metrics)) && SUCCEEDED(layout->GetOverhangMetrics(&overhang))) {
                const float h = metrics.height;
                const float above = std::max(0.0f, overhang.top + metrics.top);
                const float below = std::max(0.0f, metrics.layoutHeight + overhang.bottom - metrics.top - h);
                const int inkHeight = static_cast<int>(std::ceil(above + h + below));
                const int clientHeight = client.bottom - client.top;
                const float y = static_cast<float>(client.top + (clientHeight - inkHeight) / 2);
                brush->SetColor(ToD2DColor(look.textColor));
                m_renderTarget->DrawTextLayout(D2D1::Point2F(static_cast<float>(client.left), y), layout.Get(),
                                               brush.Get());
            }
        }
    }
    if (m_renderTarget->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET))
        Release();
    return true;
}

void ProgressRenderer::Release()
{
    m_renderTarget.Reset();
    m_factory.Reset();
}

bool ProgressRenderer::CreateObjects()
{
    Release();
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, m_factory.GetAddressOf()))) {
        OutputDebugStringW(L"Failed to create Direct2D factory for the progress bar");
        return false;
    }
    const D2D1_RENDER_TARGET_PROPERTIES properties = DcTargetProperties();
    if (FAILED(m_factory->CreateDCRenderTarget(&properties, &m_renderTarget))) {
        OutputDebugStringW(L"Failed to create Direct2D render target for the progress bar");
        m_factory.Reset();
        return false;
    }
    return true;
}

bool ProgressRenderer::Paint(HDC dc, const RECT& client, const ProgressLook& look)
{
    if (!m_renderTarget && !CreateObjects())
        return false;
    if (FAILED(m_renderTarget->BindDC(dc, &client)))
        return false;

    m_renderTarget->BeginDraw();
    ComPtr<ID2D1SolidColorBrush> brush;
    if (SUCCEEDED(m_renderTarget->CreateSolidColorBrush(ToD2DColor(look.backColor), &brush))) {
        m_renderTarget->FillRectangle(ToRectF(client), brush.Get());

        const float width = static_cast<float>(look.barWidth);
        const float height = static_cast<float>(look.barHeight);
        const float left = client.left + (static_cast<float>(client.right - client.left) - width) / 2;
        const float top = client.top + (static_cast<float>(client.bottom - client.top) - height) / 2;
        const D2D1_RECT_F trackRect = D2D1::RectF(left, top, left + width, top + height);
        const D2D1_ROUNDED_RECT track = D2D1::RoundedRect(trackRect, std::min(look.radiusX, width / 2),
                                                          std::min(look.radiusY, height / 2));
        brush->SetColor(ToD2DColor(look.trackColor));
        m_renderTarget->FillRoundedRectangle(track, brush.Get());

        if (look.position > 0 && look.range > 0) {
            const int position = std::min(look.position, look.range);
            const float doneRight = left + width * static_cast<float>(position) / static_cast<float>(look.range);
            const D2D1_RECT_F doneRect = D2D1::RectF(left, top, doneRight, top + height);
            brush->SetColor(ToD2DColor(look.fillColor));
            // The done part is the rectangle cut to the rounded track: round on the
            // left, straight at its end.
            bool filled = false;
            ComPtr<ID2D1RectangleGeometry> doneGeometry;
            ComPtr<ID2D1RoundedRectangleGeometry> trackGeometry;
            ComPtr<ID2D1PathGeometry> path;
            ComPtr<ID2D1GeometrySink> sink;
            if (SUCCEEDED(m_factory->CreateRectangleGeometry(doneRect, &doneGeometry)) &&
                SUCCEEDED(m_factory->CreateRoundedRectangleGeometry(track, &trackGeometry)) &&
                SUCCEEDED(m_factory->CreatePathGeometry(&path)) && SUCCEEDED(path->Open(&sink))) {
                const HRESULT combined = doneGeometry->CombineWithGeometry(
                    trackGeometry.Get(), D2D1_COMBINE_MODE_INTERSECT, nullptr, 0.25f, sink.Get());
                const HRESULT closed = sink->Close();
                if (SUCCEEDED(combined) && SUCCEEDED(closed)) {
                    m_renderTarget->FillGeometry(path.Get(), brush.Get());
                    filled = true;
                }
            }
            if (!filled) {
                // Same pixels without geometry combination (not available everywhere).
                m_renderTarget->PushAxisAlignedClip(doneRect, D2D1_ANTIALIAS_MODE_ALIASED);
                m_renderTarget->FillRoundedRectangle(track, brush.Get());
                m_renderTarget->PopAxisAlignedClip();
            }
        }
    }
    if (m_renderTarget->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET))
        Release();
    return true;
}

} // namespace kelm
