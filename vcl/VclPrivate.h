// Internals shared by the class library's sources; no other folder includes it.
#pragma once
#include <windows.h>

namespace vcl::detail {

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
        if (FOld) SelectObject(FDC, FOld);
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
