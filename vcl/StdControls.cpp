// The standard controls, image lists and timers.
#include "vcl/StdControls.h"

#include <map>

#include "vcl/FormDescription.h"
#include "vcl/Forms.h"
#include "vcl/VclPrivate.h"

namespace vcl {

namespace {

TAlignment ReadAlignment(const TDescProperty& property)
{
    const std::string value = TFormReader::Ident(property);
    if (value == "left") return taLeftJustify;
    if (value == "center") return taCenter;
    if (value == "right") return taRightJustify;
    FormDescriptionError(property.Line, "unknown alignment '" + value + "'");
}

UINT AlignmentFlags(TAlignment alignment)
{
    switch (alignment) {
    case taCenter: return DT_CENTER;
    case taRightJustify: return DT_RIGHT;
    default: return DT_LEFT;
    }
}

// Text in the control's font and colour over whatever is painted already.
void DrawCaption(HDC dc, const TControl& control, RECT area, UINT flags)
{
    detail::TSelectScope font(dc, control.Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    const std::wstring caption = control.Caption();
    if (!control.Enabled()) {
        // Disabled text: embossed, as the system draws it.
        OffsetRect(&area, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &area, flags);
        OffsetRect(&area, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
    } else {
        SetTextColor(dc, ColorToRGB(control.Font().Color));
    }
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &area, flags);
}

}  // namespace

// --- TLabel -----------------------------------------------------------------

TLabel::TLabel(TControl* parent) : TControl(parent) {}

void TLabel::SetAlignment(TAlignment alignment)
{
    FAlignment = alignment;
    Invalidate();
}

void TLabel::SetTransparent(bool transparent)
{
    FTransparent = transparent;
    Invalidate();
}

void TLabel::SetAutoSize(bool autoSize)
{
    FAutoSize = autoSize;
    AdjustSize();
}

void TLabel::SetCaption(const std::wstring& caption)
{
    TControl::SetCaption(caption);
    AdjustSize();
    Invalidate();
}

void TLabel::HandleCreated()
{
    AdjustSize();
}

void TLabel::AdjustSize()
{
    if (!FAutoSize || !HandleAllocated()) return;
    HDC dc = GetDC(Handle());
    RECT area{0, 0, 0, 0};
    {
        detail::TSelectScope font(dc, Font().Handle());
        const std::wstring caption = Caption();
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &area,
                  DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
    }
    ReleaseDC(Handle(), dc);
    if (area.right != Width() || area.bottom != Height()) SetBounds(Left(), Top(), area.right, area.bottom);
}

void TLabel::PaintBackground(HDC dc)
{
    if (FTransparent)
        PaintParentBackground(dc);
    else
        TControl::PaintBackground(dc);
}

void TLabel::Paint(HDC dc)
{
    DrawCaption(dc, *this, ClientRect(), AlignmentFlags(FAlignment) | DT_EXPANDTABS | DT_NOPREFIX);
}

bool TLabel::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "Alignment")
        FAlignment = ReadAlignment(property);
    else if (property.Name == "Transparent")
        FTransparent = TFormReader::Boolean(property);
    else if (property.Name == "AutoSize")
        FAutoSize = TFormReader::Boolean(property);
    else
        return TControl::SetProperty(property, reader);
    return true;
}

// --- TPanel -----------------------------------------------------------------

TPanel::TPanel(TControl* parent) : TControl(parent) {}

void TPanel::SetBevelOuter(TBevelCut bevel)
{
    FBevelOuter = bevel;
    Invalidate();
}

void TPanel::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.Style |= WS_CLIPCHILDREN;
    // Tab and the arrow keys go on into the controls inside.
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TPanel::Paint(HDC dc)
{
    RECT area = ClientRect();
    if (FBevelOuter != bvNone) {
        DrawEdge(dc, &area, FBevelOuter == bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
    DrawCaption(dc, *this, area, AlignmentFlags(FAlignment) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

bool TPanel::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "BevelOuter") {
        const std::string value = TFormReader::Ident(property);
        if (value == "none")
            FBevelOuter = bvNone;
        else if (value == "lowered")
            FBevelOuter = bvLowered;
        else if (value == "raised")
            FBevelOuter = bvRaised;
        else
            FormDescriptionError(property.Line, "unknown bevel '" + value + "'");
    } else if (property.Name == "Alignment") {
        FAlignment = ReadAlignment(property);
    } else {
        return TControl::SetProperty(property, reader);
    }
    return true;
}

// --- TGroupBox --------------------------------------------------------------

TGroupBox::TGroupBox(TControl* parent) : TControl(parent) {}

void TGroupBox::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.Style |= WS_CLIPCHILDREN;
    // Tab and the arrow keys go on into the controls inside.
    params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TGroupBox::Paint(HDC dc)
{
    detail::TSelectScope font(dc, Font().Handle());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    RECT frame = ClientRect();
    frame.top += metrics.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);

    const std::wstring caption = Caption();
    if (caption.empty()) return;
    RECT text{8, 0, 0, metrics.tmHeight};
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    // The caption interrupts the frame's top edge.
    RECT gap{text.left - 1, text.top, text.right + 1, text.bottom};
    FillRect(dc, &gap, ColorBrush(Color()));
    DrawCaption(dc, *this, text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
}

// --- TEdit ------------------------------------------------------------------

TEdit::TEdit(TControl* parent) : TControl(parent)
{
    SetColor(clWindow);
}

void TEdit::SetMaxLength(int maxLength)
{
    FMaxLength = maxLength < 0 ? 0 : maxLength;
    if (HandleAllocated()) SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

void TEdit::SetReadOnly(bool readOnly)
{
    FReadOnly = readOnly;
    if (HandleAllocated()) SendMessageW(Handle(), EM_SETREADONLY, readOnly, 0);
}

void TEdit::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"EDIT";
    params.Style |= WS_TABSTOP | ES_AUTOHSCROLL | (FReadOnly ? ES_READONLY : 0);
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::HandleCreated()
{
    if (FMaxLength > 0) SendMessageW(Handle(), EM_SETLIMITTEXT, static_cast<WPARAM>(FMaxLength), 0);
}

void TEdit::Dispatch(TMessage& message)
{
    if (message.Msg == WM_CHAR && OnKeyPress) {
        wchar_t key = static_cast<wchar_t>(message.WParam);
        // The silent abort (or any other exception) leaves here, so the
        // control never sees the key.
        OnKeyPress(this, key);
        if (key == 0) {
            message.Result = 0;
            return;
        }
        message.WParam = key;
    }
    TControl::Dispatch(message);
}

bool TEdit::Notification(TMessage& message)
{
    switch (message.Msg) {
    case WM_COMMAND:
        if (HIWORD(message.WParam) == EN_CHANGE && OnChange) OnChange(this);
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        SetTextColor(dc, Enabled() ? ColorToRGB(Font().Color) : GetSysColor(COLOR_GRAYTEXT));
        SetBkColor(dc, ColorToRGB(Color()));
        message.Result = reinterpret_cast<LRESULT>(ColorBrush(Color()));
        return true;
    }
    default: return false;
    }
}

bool TEdit::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "MaxLength") {
        const int length = TFormReader::Integer(property);
        if (length < 0) FormDescriptionError(property.Line, "MaxLength cannot be negative");
        FMaxLength = length;
    } else if (property.Name == "ReadOnly") {
        FReadOnly = TFormReader::Boolean(property);
    } else if (property.Name == "OnKeyPress") {
        OnKeyPress = reader.KeyPressEvent(property);
    } else if (property.Name == "OnChange") {
        OnChange = reader.NotifyEvent(property);
    } else {
        return TControl::SetProperty(property, reader);
    }
    return true;
}

// --- TButton ----------------------------------------------------------------

TButton::TButton(TControl* parent) : TControl(parent) {}

void TButton::Click()
{
    if (OnClick) OnClick(this);
}

void TButton::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"BUTTON";
    params.Style |= WS_TABSTOP | BS_PUSHBUTTON;
}

bool TButton::Notification(TMessage& message)
{
    if (message.Msg == WM_COMMAND && HIWORD(message.WParam) == BN_CLICKED) {
        Click();
        return true;
    }
    return false;
}

bool TButton::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "OnClick") {
        OnClick = reader.NotifyEvent(property);
        return true;
    }
    return TControl::SetProperty(property, reader);
}

// --- TComboBox --------------------------------------------------------------

TComboBox::TComboBox(TControl* parent) : TControl(parent)
{
    SetColor(clWindow);
}

void TComboBox::SetItems(std::vector<std::wstring> items)
{
    FItems = std::move(items);
    FItemIndex = -1;
    if (HandleAllocated()) {
        SendMessageW(Handle(), CB_RESETCONTENT, 0, 0);
        for (const auto& item : FItems) SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
}

void TComboBox::AddItem(const std::wstring& item)
{
    FItems.push_back(item);
    if (HandleAllocated()) SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

int TComboBox::ItemIndex() const
{
    if (HandleAllocated()) return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
    return FItemIndex;
}

void TComboBox::SetItemIndex(int index)
{
    FItemIndex = index >= 0 && index < static_cast<int>(FItems.size()) ? index : -1;
    if (HandleAllocated()) SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(FItemIndex), 0);
}

int TComboBox::DropDownHeight() const
{
    const int shown = FItems.empty() ? 1 : std::min<int>(FDropDownCount, static_cast<int>(FItems.size()));
    // Wine: with room for the items alone the open list showed one item fewer
    // and a scroll bar; the closed control's height on top is enough.
    return shown * FItemHeight + Height() + 4;
}

void TComboBox::SetBounds(int left, int top, int width, int height)
{
    // The window of a drop-down list includes its list; height is the closed control's.
    TControl::SetBounds(left, top, width, height);
    if (HandleAllocated()) MoveWindow(Handle(), left, top, width, height + DropDownHeight(), TRUE);
}

void TComboBox::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.ClassName = L"COMBOBOX";
    params.Style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
    if (FStyle == csOwnerDrawFixed) params.Style |= CBS_OWNERDRAWFIXED;
    params.Height += DropDownHeight();
}

void TComboBox::HandleCreated()
{
    for (const auto& item : FItems) SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    // The closed control's height comes from its selection field.
    SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), std::max(1, Height() - 6));
    if (FStyle == csOwnerDrawFixed) SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, FItemHeight);
    SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(FItemIndex), 0);
}

bool TComboBox::Notification(TMessage& message)
{
    switch (message.Msg) {
    case WM_COMMAND:
        if (HIWORD(message.WParam) == CBN_SELCHANGE) {
            FItemIndex = ItemIndex();
            if (OnChange) OnChange(this);
        }
        return true;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(message.LParam);
        measure->itemHeight = measure->itemID == static_cast<UINT>(-1) ? std::max(1, Height() - 6) : FItemHeight;
        message.Result = TRUE;
        return true;
    }
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(message.LParam));
        message.Result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(message.WParam);
        SetTextColor(dc, ColorToRGB(Font().Color));
        SetBkColor(dc, ColorToRGB(Color()));
        message.Result = reinterpret_cast<LRESULT>(ColorBrush(Color()));
        return true;
    }
    default: return false;
    }
}

void TComboBox::DrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    RECT area = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    FillRect(dc, &area, ColorBrush(selected && !disabled ? clHighlight : Color()));
    if (item.itemID != static_cast<UINT>(-1) && item.itemID < FItems.size()) {
        detail::TSelectScope font(dc, Font().Handle());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, disabled   ? GetSysColor(COLOR_GRAYTEXT)
                         : selected ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                    : ColorToRGB(Font().Color));
        RECT text = area;
        text.left += 2;
        const std::wstring& caption = FItems[item.itemID];
        DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &area);
}

bool TComboBox::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "Items") {
        FItems = TFormReader::Texts(property);
    } else if (property.Name == "ItemIndex") {
        const int index = TFormReader::Integer(property);
        if (index < -1 || index >= static_cast<int>(FItems.size()))
            FormDescriptionError(property.Line, "ItemIndex out of the items' range");
        FItemIndex = index;
    } else if (property.Name == "ItemHeight") {
        const int height = TFormReader::Integer(property);
        if (height <= 0 || height > 255) FormDescriptionError(property.Line, "ItemHeight must be 1 to 255");
        FItemHeight = height;
    } else if (property.Name == "DropDownCount") {
        FDropDownCount = std::max(1, TFormReader::Integer(property));
    } else if (property.Name == "Style") {
        const std::string style = TFormReader::Ident(property);
        if (style == "dropdownlist")
            FStyle = csDropDownList;
        else if (style == "ownerdrawfixed")
            FStyle = csOwnerDrawFixed;
        else
            FormDescriptionError(property.Line, "unknown drop-down style '" + style + "'");
    } else if (property.Name == "OnChange") {
        OnChange = reader.NotifyEvent(property);
    } else {
        return TControl::SetProperty(property, reader);
    }
    return true;
}

// --- TImageList -------------------------------------------------------------

bool TImageList::Add(HBITMAP bitmap)
{
    HBITMAP copy = CopyBitmap(bitmap);
    if (!copy) return false;
    FBitmaps.emplace_back(copy);
    return true;
}

void TImageList::GetBitmap(int index, TImage& image) const
{
    if (index < 0 || index >= Count())
        throw rtl::Exception("Image list " + Name() + ": no picture " + std::to_string(index));
    image.SetPicture(FBitmaps[static_cast<size_t>(index)].Get());
}

bool TImageList::SetProperty(const TDescProperty& property, TFormReader&)
{
    if (property.Name == "Width") {
        FWidth = TFormReader::Integer(property);
    } else if (property.Name == "Height") {
        FHeight = TFormReader::Integer(property);
    } else if (property.Name == "Bitmaps") {
        for (const std::wstring& resource : TFormReader::Texts(property)) {
            TBitmapHandle bitmap(static_cast<HBITMAP>(
                LoadImageW(GetModuleHandleW(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
            if (!bitmap) FormDescriptionError(property.Line, "no bitmap resource " + rtl::WideToAnsi(resource));
            BITMAP info{};
            GetObjectW(bitmap.Get(), sizeof info, &info);
            if (info.bmWidth != FWidth || info.bmHeight != FHeight)
                FormDescriptionError(property.Line, "bitmap " + rtl::WideToAnsi(resource) + " is not " +
                                                        std::to_string(FWidth) + " x " + std::to_string(FHeight));
            FBitmaps.push_back(std::move(bitmap));
        }
    } else {
        return false;
    }
    return true;
}

// --- TImage -----------------------------------------------------------------

TImage::TImage(TControl* parent) : TControl(parent) {}

void TImage::SetPicture(HBITMAP bitmap)
{
    FPicture = TBitmapHandle(CopyBitmap(bitmap));
    Invalidate();
}

void TImage::PaintBackground(HDC dc)
{
    // An image has no background of its own.
    PaintParentBackground(dc);
}

void TImage::Paint(HDC dc)
{
    if (!FPicture) return;
    BITMAP info{};
    GetObjectW(FPicture.Get(), sizeof info, &info);
    const RECT client = ClientRect();
    RECT target{0, 0, info.bmWidth, info.bmHeight};
    if (FStretch) {
        target = client;
    } else if (FCenter) {
        OffsetRect(&target, (client.right - info.bmWidth) / 2, (client.bottom - info.bmHeight) / 2);
    }
    HDC source = CreateCompatibleDC(dc);
    {
        detail::TSelectScope picture(source, FPicture.Get());
        const int width = target.right - target.left, height = target.bottom - target.top;
        if (FTransparent) {
            const COLORREF key = GetPixel(source, 0, info.bmHeight - 1);
            GdiTransparentBlt(dc, target.left, target.top, width, height, source, 0, 0, info.bmWidth, info.bmHeight,
                              key);
        } else {
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchBlt(dc, target.left, target.top, width, height, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        }
    }
    DeleteDC(source);
}

bool TImage::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    if (property.Name == "Center") {
        FCenter = TFormReader::Boolean(property);
    } else if (property.Name == "Stretch") {
        FStretch = TFormReader::Boolean(property);
    } else if (property.Name == "Transparent") {
        FTransparent = TFormReader::Boolean(property);
    } else if (property.Name == "Picture") {
        // Picture = imageList, index
        TFormReader::ExpectCount(property, 2);
        auto* list = dynamic_cast<TImageList*>(&reader.Component(property));
        if (!list) FormDescriptionError(property.Line, "'" + TFormReader::Ident(property) + "' is not an image list");
        const int index = TFormReader::Integer(property, 1);
        if (index < 0 || index >= list->Count())
            FormDescriptionError(property.Line, "no picture " + std::to_string(index) + " in " + list->Name());
        list->GetBitmap(index, *this);
    } else {
        return TControl::SetProperty(property, reader);
    }
    return true;
}

// --- TTimer -----------------------------------------------------------------

namespace {
UINT_PTR gNextTimerId = 1;
std::map<UINT_PTR, TTimer*>& Timers()
{
    // Never destroyed: timers of forms may outlive every other static at process exit.
    static auto* timers = new std::map<UINT_PTR, TTimer*>;
    return *timers;
}
}  // namespace

TTimer::TTimer() : FId(gNextTimerId++)
{
    Timers()[FId] = this;
}

TTimer::~TTimer()
{
    if (FRunning && Application) KillTimer(Application->UtilityWindow(), FId);
    Timers().erase(FId);
}

void TTimer::SetEnabled(bool enabled)
{
    FEnabled = enabled;
    UpdateTimer();
}

void TTimer::SetInterval(UINT interval)
{
    FInterval = interval;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent handler)
{
    FOnTimer = std::move(handler);
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    if (FLoading) return;
    // No application object outside the program's start-up list: no timer.
    HWND window = Application ? Application->UtilityWindow() : nullptr;
    if (FRunning) {
        KillTimer(window, FId);
        FRunning = false;
    }
    // Setting a timer again restarts its interval, as disabling and enabling should.
    if (FEnabled && FInterval > 0 && FOnTimer && window) FRunning = SetTimer(window, FId, FInterval, nullptr) != 0;
}

bool TTimer::DispatchTimer(UINT_PTR id)
{
    auto found = Timers().find(id);
    if (found == Timers().end()) return false;
    TTimer* timer = found->second;
    if (timer->FOnTimer) timer->FOnTimer(timer);
    return true;
}

bool TTimer::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    FLoading = true;  // the timer starts when its whole description is read
    if (property.Name == "Interval") {
        const int interval = TFormReader::Integer(property);
        if (interval < 0) FormDescriptionError(property.Line, "Interval cannot be negative");
        FInterval = static_cast<UINT>(interval);
    } else if (property.Name == "Enabled") {
        FEnabled = TFormReader::Boolean(property);
    } else if (property.Name == "OnTimer") {
        FOnTimer = reader.NotifyEvent(property);
    } else {
        return false;
    }
    return true;
}

void TTimer::Loaded()
{
    FLoading = false;
    UpdateTimer();
}

}  // namespace vcl
