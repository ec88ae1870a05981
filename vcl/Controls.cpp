// Components and controls: window creation, the message dispatch, reflected
// notifications, painting of own-class controls and anchors.
#include "vcl/Controls.h"

#include <algorithm>
#include <map>
#include <set>

#include "vcl/FormDescription.h"
#include "vcl/Forms.h"
#include "vcl/VclPrivate.h"

namespace vcl {

namespace {

// Child-window identifiers are unique in the process, so that a parent can
// find a child by the identifier alone: WM_MEASUREITEM reaches the parent
// while the child's CreateWindowEx is still running, before it is attached.
UINT gNextControlId = 1000;
std::map<UINT, TControl*>& ControlsById()
{
    // Never destroyed: forms may outlive every other static at process exit.
    static auto* controls = new std::map<UINT, TControl*>;
    return *controls;
}

// Own-class controls get a window class named after their C++ class, made once.
void RegisterOwnClass(const std::wstring& className, WNDPROC procedure)
{
    static auto* registeredClasses = new std::set<std::wstring>;
    std::set<std::wstring>& registered = *registeredClasses;
    if (registered.count(className)) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = className.c_str();
    // A class of that name registered by other code would have its own window
    // procedure, and our controls would never see a message: refused too.
    if (!RegisterClassExW(&windowClass))
        throw EWindowError("Cannot register the window class " + rtl::WideToAnsi(className) + " (error " +
                           std::to_string(GetLastError()) + ")");
    registered.insert(className);
}

}  // namespace

TControl::TControl(TControl* parent) : FParent(parent), FId(gNextControlId++)
{
    if (parent) {
        // Children take their parent's font and colour, as they stand when the child is made.
        FFont = parent->FFont;
        FColor = parent->FColor;
        parent->FControls.push_back(this);
    }
    ControlsById()[FId] = this;
}

TControl::~TControl()
{
    if (FHandle) DestroyWindow(FHandle);
    ControlsById().erase(FId);
    if (FParent) {
        auto& siblings = FParent->FControls;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (TControl* child : FControls) child->FParent = nullptr;
}

TForm* TControl::ParentForm()
{
    TControl* control = this;
    while (control->FParent) control = control->FParent;
    return dynamic_cast<TForm*>(control);
}

TControl* TControl::FromHandle(HWND window)
{
    if (!window) return nullptr;
    // The property of another process's window would point into that process.
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != GetCurrentProcessId()) return nullptr;
    return static_cast<TControl*>(GetPropW(window, kObjectProperty));
}

void TControl::CreateParams(TCreateParams& params)
{
    params.Left = FLeft;
    params.Top = FTop;
    params.Width = FWidth;
    params.Height = FHeight;
    if (FParent) {
        params.Parent = FParent->FHandle;
        params.Style |= WS_CHILD;
        if (FVisible) params.Style |= WS_VISIBLE;
    }
    if (!FEnabled) params.Style |= WS_DISABLED;
}

void TControl::CreateHandle()
{
    if (FHandle) return;
    if (FParent && !FParent->FHandle) throw EWindowError("The parent of " + Name() + " has no window");
    TCreateParams params;
    CreateParams(params);
    FOwnClass = params.ClassName.empty();
    std::wstring className = params.ClassName;
    if (FOwnClass) {
        className = rtl::AnsiToWide(ClassName());
        RegisterOwnClass(className, WindowProc);
    }
    const HMENU menuOrId = (params.Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(FId)) : nullptr;
    HWND window = CreateWindowExW(params.ExStyle, className.c_str(), FCaption.c_str(), params.Style, params.Left,
                                  params.Top, params.Width, params.Height, params.Parent, menuOrId,
                                  GetModuleHandleW(nullptr), FOwnClass ? this : nullptr);
    if (!window)
        throw EWindowError("Cannot create the window of " + Name() + " (error " + std::to_string(GetLastError()) + ")");
    if (!FOwnClass) Attach(window);
    if (HFONT font = FFont.Handle()) SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (FParent) RememberAnchorDistances();
    HandleCreated();
    for (TControl* child : FControls) child->CreateHandle();
}

void TControl::Attach(HWND window)
{
    FHandle = window;
    SetPropW(window, kObjectProperty, this);
    if (!Name().empty()) {
        FNameAtom = GlobalAddAtomW(rtl::AnsiToWide(Name()).c_str());
        if (FNameAtom) SetPropW(window, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(FNameAtom)));
    }
    if (FOwnClass) {
        FDefaultProc = DefWindowProcW;
    } else {
        FDefaultProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::WindowProc)));
    }
}

void TControl::Detach()
{
    if (!FHandle) return;
    RemovePropW(FHandle, kObjectProperty);
    RemovePropW(FHandle, kNameProperty);
    if (FNameAtom) GlobalDeleteAtom(FNameAtom);
    FNameAtom = 0;
    if (!FOwnClass) SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefaultProc));
    FHandle = nullptr;
}

LRESULT CALLBACK TControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    TControl* control = nullptr;
    TMessage msg{message, wParam, lParam, 0};
    try {
        // Attaching allocates (the name's atom text): it fails inside the
        // try, and a failed WM_NCCREATE (result 0) ends the window's creation.
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            if (auto* created = static_cast<TControl*>(create->lpCreateParams)) created->Attach(window);
        }
        control = static_cast<TControl*>(GetPropW(window, kObjectProperty));
        if (!control) return DefWindowProcW(window, message, wParam, lParam);
        control->Dispatch(msg);
    } catch (...) {
        // A C++ exception cannot unwind through the system's frames: it ends
        // here (in a window that outlives the application object, unreported).
        if (Application) Application->HandleException(control, std::current_exception());
        msg.Result = 0;
    }
    if (message == WM_NCDESTROY && control) control->Detach();
    return msg.Result;
}

void TControl::DefaultHandler(TMessage& message)
{
    if (!FHandle) return;
    message.Result = FOwnClass ? DefWindowProcW(FHandle, message.Msg, message.WParam, message.LParam)
                               : CallWindowProcW(FDefaultProc, FHandle, message.Msg, message.WParam, message.LParam);
}

bool TControl::Notification(TMessage&)
{
    return false;
}

void TControl::Dispatch(TMessage& message)
{
    TControl* child = nullptr;
    switch (message.Msg) {
    case WM_COMMAND: child = FromHandle(reinterpret_cast<HWND>(message.LParam)); break;
    case WM_NOTIFY:
        if (message.LParam) child = FromHandle(reinterpret_cast<NMHDR*>(message.LParam)->hwndFrom);
        break;
    case WM_DRAWITEM:
    case WM_MEASUREITEM: {
        if (!message.LParam) break;
        const UINT id = message.Msg == WM_DRAWITEM ? reinterpret_cast<DRAWITEMSTRUCT*>(message.LParam)->CtlID
                                                   : reinterpret_cast<MEASUREITEMSTRUCT*>(message.LParam)->CtlID;
        auto found = ControlsById().find(id);
        if (found != ControlsById().end() && found->second->FParent == this) child = found->second;
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: child = FromHandle(reinterpret_cast<HWND>(message.LParam)); break;
    case WM_ERASEBKGND:
        if (FOwnClass) {
            PaintBackground(reinterpret_cast<HDC>(message.WParam));
            message.Result = 1;
            return;
        }
        break;
    case WM_PAINT:
        if (FOwnClass) {
            detail::TPaintScope paint(FHandle);
            Paint(paint.DC());
            return;
        }
        break;
    case WM_PRINTCLIENT:
        if (FOwnClass) {
            PaintBackground(reinterpret_cast<HDC>(message.WParam));
            Paint(reinterpret_cast<HDC>(message.WParam));
            return;
        }
        break;
    case WM_SETTEXT:
        if (FOwnClass) {
            // The default handling stores the text but does not repaint.
            DefaultHandler(message);
            Invalidate();
            return;
        }
        break;
    case WM_GETFONT:
        if (FOwnClass) {
            // Controls of our own classes paint with their TFont; they report it like native ones.
            message.Result = reinterpret_cast<LRESULT>(FFont.Handle());
            return;
        }
        break;
    case WM_SETFONT:
        if (FOwnClass) return;  // the TFont is the font: SetFont changes it
        break;
    case WM_SIZE:
        DefaultHandler(message);
        AnchorChildren();
        return;
    default: break;
    }
    if (child && child != this && child->Notification(message)) return;
    DefaultHandler(message);
}

void TControl::Paint(HDC) {}

void TControl::PaintBackground(HDC dc)
{
    RECT client = ClientRect();
    FillRect(dc, &client, ColorBrush(FColor));
}

void TControl::PaintParentBackground(HDC dc)
{
    if (!FParent || !FParent->FHandle || !FHandle) return;
    POINT origin{0, 0};
    MapWindowPoints(FHandle, FParent->FHandle, &origin, 1);
    detail::TSavedDC saved(dc);
    POINT previous;
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &previous);
    if (FParent->FOwnClass) {
        FParent->PaintBackground(dc);
        FParent->Paint(dc);
    } else {
        const RECT parentClient = FParent->ClientRect();
        FillRect(dc, &parentClient, ColorBrush(FParent->FColor));
    }
}

RECT TControl::ClientRect() const
{
    RECT rect{0, 0, FWidth, FHeight};
    if (FHandle) GetClientRect(FHandle, &rect);
    return rect;
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (FHandle) {
        MoveWindow(FHandle, left, top, width, height, TRUE);
        if (FParent) RememberAnchorDistances();
    }
}

void TControl::RememberAnchorDistances()
{
    const RECT parent = FParent->ClientRect();
    FRightDistance = parent.right - (FLeft + FWidth);
    FBottomDistance = parent.bottom - (FTop + FHeight);
}

void TControl::AnchorChildren()
{
    const RECT client = ClientRect();
    for (TControl* child : FControls) {
        if (!child->FHandle) continue;
        int left = child->FLeft, top = child->FTop, width = child->FWidth, height = child->FHeight;
        if (child->FAnchors & akRight) {
            if (child->FAnchors & akLeft)
                width = std::max(0, static_cast<int>(client.right) - left - child->FRightDistance);
            else
                left = client.right - width - child->FRightDistance;
        }
        if (child->FAnchors & akBottom) {
            if (child->FAnchors & akTop)
                height = std::max(0, static_cast<int>(client.bottom) - top - child->FBottomDistance);
            else
                top = client.bottom - height - child->FBottomDistance;
        }
        // SetBounds keeps the distances, since they were measured from the new size.
        if (left != child->FLeft || top != child->FTop || width != child->FWidth || height != child->FHeight)
            child->SetBounds(left, top, width, height);
    }
}

std::wstring TControl::Caption() const
{
    if (!FHandle) return FCaption;
    const int length = GetWindowTextLengthW(FHandle);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(FHandle, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

void TControl::SetCaption(const std::wstring& caption)
{
    FCaption = caption;
    if (FHandle) SetWindowTextW(FHandle, caption.c_str());
}

void TControl::SetFont(const TFont& font)
{
    FFont = font;
    if (FHandle) {
        SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont.Handle()), TRUE);
        Invalidate();
    }
}

void TControl::SetFontColor(TColor color)
{
    FFont.Color = color;
    Invalidate();
}

void TControl::SetColor(TColor color)
{
    FColor = color;
    Invalidate();
}

void TControl::SetVisible(bool visible)
{
    FVisible = visible;
    if (FHandle) ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE);
}

void TControl::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    if (FHandle) EnableWindow(FHandle, enabled);
}

void TControl::Invalidate()
{
    if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TControl::Update()
{
    if (FHandle) UpdateWindow(FHandle);
}

void TControl::SetFocus()
{
    if (FHandle) ::SetFocus(FHandle);
}

bool TControl::SetProperty(const TDescProperty& property, TFormReader&)
{
    const std::string& key = property.Name;
    if (key == "Bounds") {
        TFormReader::ExpectCount(property, 4);
        SetBounds(TFormReader::Integer(property, 0), TFormReader::Integer(property, 1),
                  TFormReader::Integer(property, 2), TFormReader::Integer(property, 3));
    } else if (key == "Left") {
        SetBounds(TFormReader::Integer(property), FTop, FWidth, FHeight);
    } else if (key == "Top") {
        SetBounds(FLeft, TFormReader::Integer(property), FWidth, FHeight);
    } else if (key == "Width") {
        SetBounds(FLeft, FTop, TFormReader::Integer(property), FHeight);
    } else if (key == "Height") {
        SetBounds(FLeft, FTop, FWidth, TFormReader::Integer(property));
    } else if (key == "Caption" || key == "Text") {
        SetCaption(TFormReader::Text(property));
    } else if (key == "FontName") {
        FFont.Name = TFormReader::Text(property);
    } else if (key == "FontSize") {
        const int height = TFormReader::Integer(property);
        if (height <= 0) FormDescriptionError(property.Line, "FontSize must be a positive number of pixels");
        FFont.Height = height;
    } else if (key == "FontStyle") {
        FFont.Bold = FFont.Italic = FFont.Underline = false;
        for (size_t i = 0; i < property.Values.size(); ++i) {
            const std::string style = TFormReader::Ident(property, i);
            if (style == "bold")
                FFont.Bold = true;
            else if (style == "italic")
                FFont.Italic = true;
            else if (style == "underline")
                FFont.Underline = true;
            else if (style != "regular")
                FormDescriptionError(property.Line, "unknown font style '" + style + "'");
        }
    } else if (key == "FontColor") {
        FFont.Color = TFormReader::Color(property);
    } else if (key == "Color") {
        FColor = TFormReader::Color(property);
    } else if (key == "Visible") {
        FVisible = TFormReader::Boolean(property);
    } else if (key == "Enabled") {
        FEnabled = TFormReader::Boolean(property);
    } else if (key == "Anchors") {
        TAnchors anchors = 0;
        for (size_t i = 0; i < property.Values.size(); ++i) {
            const std::string side = TFormReader::Ident(property, i);
            if (side == "left")
                anchors |= akLeft;
            else if (side == "top")
                anchors |= akTop;
            else if (side == "right")
                anchors |= akRight;
            else if (side == "bottom")
                anchors |= akBottom;
            else
                FormDescriptionError(property.Line, "unknown anchor '" + side + "'");
        }
        FAnchors = anchors;
    } else {
        return false;
    }
    return true;
}

}  // namespace vcl
