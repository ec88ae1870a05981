// Colours, fonts, bitmaps and image lists of the class library.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "rtl/System.h"

namespace vcl {

// A colour: an RGB value (COLORREF), or a system colour index tagged with the
// high bit, resolved when painting so that it follows the system's scheme.
using TColor = DWORD;
inline constexpr TColor kSystemColorFlag = 0x80000000u;
inline constexpr TColor SystemColor(int index)
{
    return kSystemColorFlag | static_cast<TColor>(index);
}

inline constexpr TColor clBlack = RGB(0, 0, 0);
inline constexpr TColor clWhite = RGB(255, 255, 255);
inline constexpr TColor clRed = RGB(255, 0, 0);
inline constexpr TColor clGreen = RGB(0, 128, 0);
inline constexpr TColor clBlue = RGB(0, 0, 255);
inline constexpr TColor clNavy = RGB(0, 0, 128);
inline constexpr TColor clGray = RGB(128, 128, 128);
inline constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
inline constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
inline constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
inline constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
inline constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
inline constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
inline constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);

// The RGB value of a colour, system colours resolved now.
COLORREF ColorToRGB(TColor color);

// A solid brush of the colour, cached for the life of the process (callers
// never delete it). Main thread.
HBRUSH ColorBrush(TColor color);

// A font as the controls use it. Height is the character height in pixels
// (lfHeight = -Height), as the form descriptions give it.
struct TFont {
    std::wstring Name = L"Tahoma";
    int Height = 11;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    TColor Color = clWindowText;

    // The font's logical description (code page 1251 text, so RUSSIAN_CHARSET).
    LOGFONTW LogFont() const;
    // A GDI font for it, cached for the life of the process (callers never
    // delete it); null only when GDI refuses the font. Main thread.
    HFONT Handle() const;

    bool operator==(const TFont&) const = default;
};

// Owns one GDI object of any kind and deletes it when dropped.
template <class T>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(T object) noexcept : FObject(object) {}
    TGdiObject(TGdiObject&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
    TGdiObject& operator=(TGdiObject other) noexcept
    {
        std::swap(FObject, other.FObject);
        return *this;
    }
    ~TGdiObject()
    {
        if (FObject) ::DeleteObject(FObject);
    }
    T Get() const noexcept { return FObject; }
    explicit operator bool() const noexcept { return FObject != nullptr; }

private:
    T FObject = nullptr;
};

using TBitmapHandle = TGdiObject<HBITMAP>;

// Copies a bitmap into a new 24-bit device-independent one; null on failure.
HBITMAP CopyBitmap(HBITMAP source);

}  // namespace vcl
