// Internals shared by the class library's sources; no other folder includes it.
#pragma once
#include <windows.h>

#include <string>

namespace vcl::detail {

// 8-bit text of the code page as UTF-16.
inline std::wstring Widen(const std::string& text, UINT codePage = CP_ACP)
{
    if (text.empty())
        return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// UTF-16 as 8-bit text of the code page.
inline std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP)
{
    if (text.empty())
        return {};
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                            nullptr);
    return narrow;
}

// Ends a paint cycle however the painting code leaves.
class TPaintScope {
public:
    explicit TPaintScope(HWND window) : FWindow(window), FDC(BeginPaint(window, &FPaint)) {}
    ~TPaintScope() { EndPaint(FWindow, &FPaint); }
    TPaintScope(const TPaintScope&) = delete;
    TPaintScope& operator=(const TPaintScope&) = delete;
    HDC DC() const { return FDC; }
    const RECT& Area() const { return FPaint.rcPaint; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint{};
    HDC FDC;
};

// Selects a GDI object into a DC for a scope.
class TSelectScope {
public:
    TSelectScope(HDC dc, HGDIOBJ object) : FDC(dc), FOld(object ? SelectObject(dc, object) : nullptr) {}
    ~TSelectScope()
    {
        if (FOld)
            SelectObject(FDC, FOld);
    }
    TSelectScope(const TSelectScope&) = delete;
    TSelectScope& operator=(const TSelectScope&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// Saves a DC's state for a scope.
class TSavedDC {
public:
    explicit TSavedDC(HDC dc) : FDC(dc), FSaved(SaveDC(dc)) {}
    ~TSavedDC() { RestoreDC(FDC, FSaved); }
    TSavedDC(const TSavedDC&) = delete;
    TSavedDC& operator=(const TSavedDC&) = delete;

private:
    HDC FDC;
    int FSaved;
};

}  // namespace vcl::detail
