#pragma once
// Anti-aliased drawing of the text button and the progress bar with Direct2D and
// DirectWrite, into a DC render target bound to the paint device context.
// The drawing objects are made at the first paint, kept for every later paint,
// and made again after a lost device.

#include <windows.h>

#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <string>

namespace kelm {

// Corner radius and caption size of text buttons for the given DPI values:
// radii 4 * dpi / 96 truncated, text size dpiY * 14 / 96 truncated.
struct TextButtonMetrics {
    float radiusX;
    float radiusY;
    float textSize;
};
TextButtonMetrics TextButtonMetricsForDpi(int dpiX, int dpiY);

// The family a text format should use: `wanted` when the collection has it,
// otherwise the first of a few common families that it has, otherwise its first
// family. (Windows always has the wanted one; test prefixes may not.)
std::wstring ResolveFontFamily(IDWriteFontCollection* fonts, const std::wstring& wanted);

struct TextButtonLook {
    COLORREF backColor;
    COLORREF fillColor;
    COLORREF textColor;
};

class TextButtonRenderer {
public:
    TextButtonRenderer();
    // False when nothing was drawn (objects missing, binding failed).
    bool Paint(HDC dc, const RECT& client, const TextButtonLook& look, const std::wstring& text);
    void Release();

private:
    bool CreateObjects();

    TextButtonMetrics m_metrics;
    Microsoft::WRL::ComPtr<ID2D1Factory> m_d2dFactory;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> m_renderTarget;
    Microsoft::WRL::ComPtr<IDWriteFactory> m_writeFactory;
    Microsoft::WRL::ComPtr<IDWriteTextFormat> m_textFormat;
};

struct ProgressLook {
    COLORREF backColor;
    COLORREF trackColor;
    COLORREF fillColor;
    int barWidth;  // the track, centred in the client rectangle
    int barHeight;
    int position;
    int range;
    float radiusX;
    float radiusY;
};

class ProgressRenderer {
public:
    bool Paint(HDC dc, const RECT& client, const ProgressLook& look);
    void Release();

private:
    bool CreateObjects();

    Microsoft::WRL::ComPtr<ID2D1Factory> m_factory;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> m_renderTarget;
};

D2D1_COLOR_F ToD2DColor(COLORREF color);

} // namespace kelm
