// Components and controls: the base classes of the class library, the
// message dispatch of every control and the events.
//
// Every control is a native child window of its parent. Each window carries
// two properties: kObjectProperty (the control object, for this process) and
// kNameProperty (a global atom holding the control's name, so that another
// process can find the control by name, see vcl/ControlNames.h).
//
// All controls live on the main thread. No exception leaves a window
// procedure: what a control's dispatch raises goes to the application's
// exception handling (Application->HandleException), and the message counts
// as handled (a key raising the silent abort from OnKeyPress is dropped).
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rtl/Classes.h"
#include "rtl/SysUtils.h"
#include "vcl/Graphics.h"

namespace vcl {

class TControl;
class TForm;
class TFormReader;
struct TDescProperty;

inline constexpr wchar_t kObjectProperty[] = L"VclObject";
inline constexpr wchar_t kNameProperty[] = L"VclName";

// A window message on its way through a control's dispatch.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TNotifyEvent = std::function<void(rtl::TObject* sender)>;
// The handler may change the key, set it to 0 to swallow it, or raise the
// silent abort to cancel it.
using TKeyPressEvent = std::function<void(rtl::TObject* sender, wchar_t& key)>;
using TCloseEvent = std::function<void(rtl::TObject* sender, TCloseAction& action)>;

enum TAnchorKind : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;

enum TAlignment { taLeftJustify, taCenter, taRightJustify };

// Window creation or another Win32 call of a control failed.
class EWindowError : public rtl::Exception {
public:
    RTL_CLASS(EWindowError)
    using Exception::Exception;
};

// The parts of a form are the runtime's components, owned by the form.
using rtl::TComponent;

// What a stored form description can set: every component class the
// descriptions name (controls, timers, image lists) implements it.
class IDescribable {
public:
    // Applies one property of the description. False when the class has no
    // property of that name; a bad value raises EFormDescriptionError.
    virtual bool SetProperty(const TDescProperty& property, TFormReader& reader) = 0;

protected:
    ~IDescribable() = default;
};

// A control: a native window with its position (in its parent's client
// area), caption, font, colours and anchors. The values can be set before
// the window exists; CreateHandle makes the window from them.
class TControl : public TComponent, public IDescribable {
public:
    explicit TControl(TControl* parent);
    ~TControl() override;

    TControl* Parent() const { return FParent; }
    // Children in creation order (weak: the form owns them).
    const std::vector<TControl*>& Controls() const { return FControls; }
    // The form this control belongs to (itself for a form).
    TForm* ParentForm();

    HWND Handle() const { return FHandle; }
    bool HandleAllocated() const { return FHandle != nullptr; }
    // Creates the window of this control and then those of its children.
    // Throws EWindowError when the system refuses a window.
    void CreateHandle();
    // Finds the control of a window of this process; null for other windows.
    static TControl* FromHandle(HWND window);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT ClientRect() const;

    // The caption (labels, buttons, panels, group boxes, forms) or the text
    // (edits). Read from the window once it exists, since the user may edit it.
    std::wstring Caption() const;
    virtual void SetCaption(const std::wstring& caption);
    std::wstring Text() const { return Caption(); }
    void SetText(const std::wstring& text) { SetCaption(text); }

    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& font);
    void SetFontColor(TColor color);
    TColor Color() const { return FColor; }
    void SetColor(TColor color);

    bool Visible() const { return FVisible; }
    void SetVisible(bool visible);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors anchors) { FAnchors = anchors; }

    void Invalidate();
    void Update();
    void SetFocus();

    // The message dispatch of the control: override it to handle a message,
    // and pass everything else to the inherited dispatch.
    virtual void Dispatch(TMessage& message);

    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    struct TCreateParams {
        std::wstring ClassName;  // empty: this control's own class, painted by Paint
        DWORD Style = WS_CHILD | WS_CLIPSIBLINGS;
        DWORD ExStyle = 0;
        HWND Parent = nullptr;
        int Left = 0, Top = 0, Width = 0, Height = 0;
    };
    virtual void CreateParams(TCreateParams& params);
    // The window exists: apply what only a window can hold (limits, items).
    virtual void HandleCreated() {}
    // A message that the parent reflects to this control (WM_COMMAND,
    // WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_CTLCOLOR*). True when handled;
    // message.Result is then the answer.
    virtual bool Notification(TMessage& message);
    // Paints the client area of a control of its own class.
    virtual void Paint(HDC dc);
    // Fills the background; transparent controls paint their parent's instead.
    virtual void PaintBackground(HDC dc);
    // Lets the parent paint the part of its client area under this control.
    void PaintParentBackground(HDC dc);
    // The window class's own handling (DefWindowProc or the native control's).
    void DefaultHandler(TMessage& message);

    bool IsOwnClass() const { return FOwnClass; }
    UINT ControlId() const { return FId; }
    // The window-procedure entry of every control; catches everything.
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void Attach(HWND window);
    void Detach();
    void AnchorChildren();
    void RememberAnchorDistances();

    TControl* FParent;  // weak
    std::vector<TControl*> FControls;
    HWND FHandle = nullptr;
    WNDPROC FDefaultProc = nullptr;
    bool FOwnClass = true;
    UINT FId;
    ATOM FNameAtom = 0;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    int FRightDistance = 0, FBottomDistance = 0;  // to the parent's client edges, for anchors
    std::wstring FCaption;
    TFont FFont;
    TColor FColor = clBtnFace;
    bool FVisible = true;
    bool FEnabled = true;
    TAnchors FAnchors = akLeft | akTop;
};

}  // namespace vcl
