#include "skin/fonts.h"

#include <cwchar>

#include "framework/handles.h"
#include "skin/dpi.h"

namespace kelm {

namespace {

struct SharedFonts {
    UniqueFont normal;
    UniqueFont link;
    UniqueFont button;
    UniqueFont title;
};

SharedFonts& Fonts()
{
    static SharedFonts fonts;
    return fonts;
}

LOGFONTW BaseDescription(const wchar_t* face, int height, int weight)
{
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

} // namespace

LOGFONTW SkinFontDescription(SkinFontKind kind, int dpiX, int dpiY)
{
    int height = 0;
    int weight = FW_NORMAL;
    switch (kind) {
    case SkinFontKind::Normal:
    case SkinFontKind::Link:
        height = ScaleForDpi(17, dpiY);
        break;
    case SkinFontKind::Button:
        height = ScaleForDpi(18, dpiX);
        break;
    case SkinFontKind::Title:
        height = ScaleForDpi(32, dpiX);
        weight = FW_BOLD;
        break;
    }
    LOGFONTW font = BaseDescription(L"Microsoft YaHei UI", height, weight);
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfUnderline = kind == SkinFontKind::Link ? TRUE : FALSE;
    return font;
}

LOGFONTW ArialFontDescription(int height)
{
    LOGFONTW font = BaseDescription(L"Arial", height, FW_NORMAL);
    font.lfCharSet = ANSI_CHARSET;
    return font;
}

HFONT CreateArialFont(int height)
{
    const LOGFONTW font = ArialFontDescription(height);
    return CreateFontIndirectW(&font);
}

bool CreateSkinFonts()
{
    SharedFonts& fonts = Fonts();
    const int dpiX = ScreenDpiX();
    const int dpiY = ScreenDpiY();
    auto make = [&](UniqueFont& target, SkinFontKind kind) {
        if (!target) {
            const LOGFONTW font = SkinFontDescription(kind, dpiX, dpiY);
            target.Reset(CreateFontIndirectW(&font));
        }
        return static_cast<bool>(target);
    };
    bool created = make(fonts.normal, SkinFontKind::Normal);
    created = make(fonts.link, SkinFontKind::Link) && created;
    created = make(fonts.button, SkinFontKind::Button) && created;
    created = make(fonts.title, SkinFontKind::Title) && created;
    return created;
}

void DeleteSkinFonts()
{
    SharedFonts& fonts = Fonts();
    fonts.normal.Reset();
    fonts.link.Reset();
    fonts.button.Reset();
    fonts.title.Reset();
}

HFONT NormalFont()
{
    return Fonts().normal.Get();
}

HFONT LinkFont()
{
    return Fonts().link.Get();
}

HFONT ButtonFont()
{
    return Fonts().button.Get();
}

HFONT TitleFont()
{
    return Fonts().title.Get();
}

} // namespace kelm
