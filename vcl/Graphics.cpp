// Colours, fonts and bitmaps.
#include "vcl/Graphics.h"

#include <map>
#include <tuple>

namespace vcl {

COLORREF ColorToRGB(TColor color)
{
    if (color & kSystemColorFlag) return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0xFFFFFF;
}

HBRUSH ColorBrush(TColor color)
{
    // A handful of colours is ever used; the brushes live as long as the process.
    static auto& brushes = *new std::map<TColor, HBRUSH>;  // never destroyed, like the brushes
    auto found = brushes.find(color);
    if (found != brushes.end()) return found->second;
    HBRUSH brush = (color & kSystemColorFlag) ? GetSysColorBrush(static_cast<int>(color & 0xFF))
                                              : CreateSolidBrush(ColorToRGB(color));
    brushes.emplace(color, brush);
    return brush;
}

LOGFONTW TFont::LogFont() const
{
    LOGFONTW font{};
    font.lfHeight = -Height;
    font.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = Italic;
    font.lfUnderline = Underline;
    font.lfCharSet = RUSSIAN_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynW(font.lfFaceName, Name.c_str(), LF_FACESIZE);
    return font;
}

HFONT TFont::Handle() const
{
    // The colour is not part of a GDI font: fonts differing only in colour share one.
    using Key = std::tuple<std::wstring, int, bool, bool, bool>;
    static auto& fonts = *new std::map<Key, HFONT>;  // never destroyed, like the fonts
    const Key key{Name, Height, Bold, Italic, Underline};
    auto found = fonts.find(key);
    if (found != fonts.end()) return found->second;
    const LOGFONTW logFont = LogFont();
    HFONT font = CreateFontIndirectW(&logFont);
    if (font) fonts.emplace(key, font);
    return font;
}

HBITMAP CopyBitmap(HBITMAP source)
{
    if (!source) return nullptr;
    return static_cast<HBITMAP>(CopyImage(source, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace vcl
