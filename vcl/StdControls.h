// The standard controls: labels, panels, group boxes, edits, buttons,
// owner-drawn drop-down lists and images, and the non-visual image lists and
// timers. Main thread only; see vcl/Controls.h for the common contract.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "vcl/Controls.h"

namespace vcl {

// Static text painted by the control itself. A transparent label shows its
// parent's background under the text; AutoSize fits the bounds to the text.
class TLabel : public TControl {
public:
    explicit TLabel(TControl* parent);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool transparent);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool autoSize);
    void SetCaption(const std::wstring& caption) override;

    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void HandleCreated() override;
    void Paint(HDC dc) override;
    void PaintBackground(HDC dc) override;

private:
    void AdjustSize();

    TAlignment FAlignment = taLeftJustify;
    bool FTransparent = false;
    bool FAutoSize = false;
};

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A raised (or lowered) panel with a centred caption; also a parent of controls.
class TPanel : public TControl {
public:
    explicit TPanel(TControl* parent);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut bevel);
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(HDC dc) override;

private:
    TBevelCut FBevelOuter = bvRaised;
    TAlignment FAlignment = taCenter;
};

// An etched frame with a caption, holding child controls.
class TGroupBox : public TControl {
public:
    explicit TGroupBox(TControl* parent);

protected:
    void CreateParams(TCreateParams& params) override;
    void Paint(HDC dc) override;
};

// A single-line edit (the system's EDIT control). OnKeyPress sees each typed
// character first.
class TEdit : public TControl {
public:
    explicit TEdit(TControl* parent);

    int MaxLength() const { return FMaxLength; }
    // 0: no limit beyond the system's.
    void SetMaxLength(int maxLength);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly);

    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnChange;

    void Dispatch(TMessage& message) override;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;
    bool Notification(TMessage& message) override;

private:
    int FMaxLength = 0;
    bool FReadOnly = false;
};

// A push button (the system's BUTTON control).
class TButton : public TControl {
public:
    explicit TButton(TControl* parent);
    // Runs OnClick as a click by the user would.
    void Click();
    TNotifyEvent OnClick;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void CreateParams(TCreateParams& params) override;
    bool Notification(TMessage& message) override;
};

enum TComboBoxStyle { csDropDownList, csOwnerDrawFixed };

// A drop-down list of fixed items (the system's COMBOBOX control). Owner-drawn
// in the fixed style: items are painted with the control's font, each
// ItemHeight pixels high; Height is the height of the closed control.
class TComboBox : public TControl {
public:
    explicit TComboBox(TControl* parent);

    const std::vector<std::wstring>& Items() const { return FItems; }
    void SetItems(std::vector<std::wstring> items);
    void AddItem(const std::wstring& item);
    // -1 when nothing is selected.
    int ItemIndex() const;
    void SetItemIndex(int index);
    int ItemHeight() const { return FItemHeight; }
    TComboBoxStyle Style() const { return FStyle; }

    TNotifyEvent OnChange;
    void SetBounds(int left, int top, int width, int height) override;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;
    bool Notification(TMessage& message) override;

private:
    void DrawItem(const DRAWITEMSTRUCT& item);
    int DropDownHeight() const;

    std::vector<std::wstring> FItems;
    int FItemIndex = -1;
    int FItemHeight = 16;
    int FDropDownCount = 8;
    TComboBoxStyle FStyle = csDropDownList;
};

class TImage;

// Pictures of one size, read from bitmap resources of the executable.
class TImageList : public TComponent, public IDescribable {
public:
    TImageList() = default;
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FBitmaps.size()); }
    // Adds a copy of the bitmap; false when it cannot be copied.
    bool Add(HBITMAP bitmap);
    // Shows picture index in the image. Throws rtl::Exception for an index
    // out of bounds.
    void GetBitmap(int index, TImage& image) const;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

private:
    int FWidth = 16;
    int FHeight = 16;
    std::vector<TBitmapHandle> FBitmaps;
};

// Shows a picture: at its size in the top left corner, centred, or stretched
// over the control; transparent pictures let the parent show through where
// they have the colour of their bottom left pixel.
class TImage : public TControl {
public:
    explicit TImage(TControl* parent);
    // Takes a copy of the bitmap (null clears the picture).
    void SetPicture(HBITMAP bitmap);
    HBITMAP Picture() const { return FPicture.Get(); }
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void Paint(HDC dc) override;
    void PaintBackground(HDC dc) override;

private:
    TBitmapHandle FPicture;
    bool FCenter = false;
    bool FStretch = false;
    bool FTransparent = false;
};

// Calls OnTimer every Interval milliseconds while enabled, on the main
// thread, through the application's hidden window. An exception of OnTimer
// goes to the application's exception handling; the timer keeps running.
class TTimer : public TComponent, public IDescribable {
public:
    TTimer();
    ~TTimer() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);
    UINT Interval() const { return FInterval; }
    void SetInterval(UINT interval);
    void SetOnTimer(TNotifyEvent handler);

    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;
    void Loaded() override;

    // Serves WM_TIMER of the application's hidden window; false for a
    // timer identifier that is not ours.
    static bool DispatchTimer(UINT_PTR id);

private:
    void UpdateTimer();

    TNotifyEvent FOnTimer;
    UINT FInterval = 1000;
    bool FEnabled = true;
    bool FLoading = false;
    bool FRunning = false;
    UINT_PTR FId;
};

}  // namespace vcl
