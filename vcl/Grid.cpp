// The string grid.
#include "vcl/Grid.h"

#include <windowsx.h>

#include <algorithm>

#include "vcl/FormDescription.h"
#include "vcl/Forms.h"
#include "vcl/VclPrivate.h"

namespace vcl {

namespace {
constexpr int kLineWidth = 1;
const std::wstring kNoText;
}  // namespace

// The editor over the current cell: Enter keeps the text, Escape restores
// the cell, the up and down keys keep it and move, losing the focus keeps it.
class TStringGrid::TInplaceEdit : public TEdit {
public:
    explicit TInplaceEdit(TStringGrid& grid) : TEdit(&grid), FGrid(grid)
    {
        SetName("InplaceEditor");
        SetVisible(false);
    }

    void Dispatch(TMessage& message) override
    {
        switch (message.Msg) {
        case WM_GETDLGCODE:
            TEdit::Dispatch(message);
            message.Result |= DLGC_WANTALLKEYS | DLGC_WANTARROWS;
            return;
        case WM_KEYDOWN:
            switch (message.WParam) {
            case VK_RETURN: FGrid.HideEditor(true); return;
            case VK_ESCAPE: FGrid.HideEditor(false); return;
            case VK_UP:
            case VK_DOWN:
            case VK_PRIOR:
            case VK_NEXT:
                FGrid.HideEditor(true);
                FGrid.KeyDown(static_cast<UINT>(message.WParam));
                return;
            default: break;
            }
            break;
        case WM_CHAR:
            // Enter and Escape are handled at key-down; the edit would only beep.
            if (message.WParam == VK_RETURN || message.WParam == VK_ESCAPE) return;
            break;
        case WM_KILLFOCUS:
            TEdit::Dispatch(message);
            // The focus is on its way elsewhere: keep the text, but do not pull it back.
            if (Visible()) FGrid.HideEditor(true, false);
            return;
        default: break;
        }
        TEdit::Dispatch(message);
    }

protected:
    void CreateParams(TCreateParams& params) override
    {
        TEdit::CreateParams(params);
        params.ExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
        params.Style &= ~static_cast<DWORD>(WS_TABSTOP);
    }

private:
    TStringGrid& FGrid;
};

TStringGrid::TStringGrid(TControl* parent) : TControl(parent)
{
    SetColor(clWindow);
    ResizeCells();
}

TStringGrid::~TStringGrid() = default;

void TStringGrid::CheckCell(int col, int row) const
{
    if (col < 0 || col >= FColCount || row < 0 || row >= FRowCount)
        throw EGridError("Grid index out of range (" + std::to_string(col) + ", " + std::to_string(row) + ")");
}

const std::wstring& TStringGrid::Cell(int col, int row) const
{
    CheckCell(col, row);
    return FCells[static_cast<size_t>(col)][static_cast<size_t>(row)];
}

void TStringGrid::SetCell(int col, int row, std::wstring text)
{
    CheckCell(col, row);
    std::wstring& cell = FCells[static_cast<size_t>(col)][static_cast<size_t>(row)];
    cell = std::move(text);
    // The program wrote the cell that is open in the editor (a measured value
    // arriving while the operator looks at it): the editor takes the new text,
    // or closing it would write its old text back over the value.
    if (EditorMode() && col == FEditCol && row == FEditRow) {
        FEditor->SetText(cell);
        const LPARAM end = static_cast<LPARAM>(cell.size());
        SendMessageW(FEditor->Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
    }
    if (HandleAllocated()) {
        const RECT cell = CellRect(col, row);
        if (!IsRectEmpty(&cell)) InvalidateRect(Handle(), &cell, FALSE);
    }
}

void TStringGrid::ResizeCells()
{
    FCells.resize(static_cast<size_t>(FColCount));
    for (auto& column : FCells) column.resize(static_cast<size_t>(FRowCount));
    FColWidths.resize(static_cast<size_t>(FColCount), FDefaultColWidth);
}

void TStringGrid::ClampPosition()
{
    FFixedRows = std::clamp(FFixedRows, 0, FRowCount - 1);
    FFixedCols = std::clamp(FFixedCols, 0, FColCount - 1);
    FCol = std::clamp(FCol, FFixedCols, FColCount - 1);
    FRow = std::clamp(FRow, FFixedRows, FRowCount - 1);
    FAnchorCol = std::clamp(FAnchorCol, FFixedCols, FColCount - 1);
    FAnchorRow = std::clamp(FAnchorRow, FFixedRows, FRowCount - 1);
    const int lastTop = std::max(FFixedRows, FRowCount - VisibleScrollRows());
    FTopRow = std::clamp(FTopRow, FFixedRows, lastTop);
}

void TStringGrid::SetColCount(int count)
{
    HideEditor(true);
    FColCount = std::max(1, count);
    ResizeCells();
    ClampPosition();
    UpdateScrollBar();
    Invalidate();
}

void TStringGrid::SetRowCount(int count)
{
    HideEditor(true);
    FRowCount = std::max(1, count);
    ResizeCells();
    ClampPosition();
    UpdateScrollBar();
    Invalidate();
}

void TStringGrid::SetFixedCols(int count)
{
    FFixedCols = std::max(0, count);
    ClampPosition();
    Invalidate();
}

void TStringGrid::SetFixedRows(int count)
{
    FFixedRows = std::max(0, count);
    ClampPosition();
    UpdateScrollBar();
    Invalidate();
}

int TStringGrid::ColWidth(int col) const
{
    CheckCell(col, 0);
    return FColWidths[static_cast<size_t>(col)];
}

void TStringGrid::SetColWidth(int col, int width)
{
    CheckCell(col, 0);
    FColWidths[static_cast<size_t>(col)] = std::max(0, width);
    Invalidate();
}

void TStringGrid::SetDefaultRowHeight(int height)
{
    FDefaultRowHeight = std::max(1, height);
    ClampPosition();
    UpdateScrollBar();
    Invalidate();
}

void TStringGrid::SetOptions(TGridOptions options)
{
    FOptions = options;
    if (!(FOptions & goEditing)) HideEditor(true);
    Invalidate();
}

void TStringGrid::SetCol(int col)
{
    CheckCell(col, FRow);
    if (col < FFixedCols) throw EGridError("Grid index out of range (column " + std::to_string(col) + " is fixed)");
    MoveFocus(col, FRow, false);
}

void TStringGrid::SetRow(int row)
{
    CheckCell(FCol, row);
    if (row < FFixedRows) throw EGridError("Grid index out of range (row " + std::to_string(row) + " is fixed)");
    MoveFocus(FCol, row, false);
}

TGridRect TStringGrid::Selection() const
{
    if (FOptions & goRowSelect)
        return {FFixedCols, std::min(FRow, FAnchorRow), FColCount - 1, std::max(FRow, FAnchorRow)};
    return {std::min(FCol, FAnchorCol), std::min(FRow, FAnchorRow), std::max(FCol, FAnchorCol),
            std::max(FRow, FAnchorRow)};
}

void TStringGrid::SetTopRow(int row)
{
    FTopRow = row;
    ClampPosition();
    UpdateScrollBar();
    Invalidate();
}

void TStringGrid::MoveFocus(int col, int row, bool extend)
{
    HideEditor(true);
    FCol = col;
    FRow = row;
    if (!extend || !(FOptions & goRangeSelect)) {
        FAnchorCol = col;
        FAnchorRow = row;
    }
    ClampPosition();
    ScrollIntoView(FRow);
    Invalidate();
}

int TStringGrid::VisibleScrollRows() const
{
    const RECT client = ClientRect();
    const int rowPitch = FDefaultRowHeight + kLineWidth;
    const int below = client.bottom - FFixedRows * rowPitch;
    return std::max(1, below / rowPitch);
}

void TStringGrid::ScrollIntoView(int row)
{
    if (row < FTopRow)
        FTopRow = row;
    else if (row >= FTopRow + VisibleScrollRows())
        FTopRow = row - VisibleScrollRows() + 1;
    ClampPosition();
    UpdateScrollBar();
}

void TStringGrid::UpdateScrollBar()
{
    if (!HandleAllocated()) return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = std::max(0, FRowCount - FFixedRows - 1);
    info.nPage = static_cast<UINT>(VisibleScrollRows());
    info.nPos = FTopRow - FFixedRows;
    SetScrollInfo(Handle(), SB_VERT, &info, TRUE);
}

RECT TStringGrid::CellRect(int col, int row) const
{
    RECT cell{0, 0, 0, 0};
    if (col < 0 || col >= FColCount || row < 0 || row >= FRowCount) return cell;
    const int rowPitch = FDefaultRowHeight + kLineWidth;
    int top;
    if (row < FFixedRows) {
        top = row * rowPitch;
    } else {
        if (row < FTopRow) return cell;
        top = (FFixedRows + row - FTopRow) * rowPitch;
    }
    int left = 0;
    for (int c = 0; c < col; ++c) left += FColWidths[static_cast<size_t>(c)] + kLineWidth;
    const RECT client = ClientRect();
    if (top >= client.bottom || left >= client.right) return cell;
    cell = {left, top, left + FColWidths[static_cast<size_t>(col)], top + FDefaultRowHeight};
    return cell;
}

bool TStringGrid::MouseToCell(int x, int y, int& col, int& row) const
{
    if (x < 0 || y < 0) return false;
    const int rowPitch = FDefaultRowHeight + kLineWidth;
    const int line = y / rowPitch;
    row = line < FFixedRows ? line : FTopRow + line - FFixedRows;
    if (row >= FRowCount) return false;
    int left = 0;
    for (col = 0; col < FColCount; ++col) {
        const int right = left + FColWidths[static_cast<size_t>(col)] + kLineWidth;
        if (x < right) return true;
        left = right;
    }
    return false;
}

bool TStringGrid::EditorMode() const
{
    return FEditor && FEditor->HandleAllocated() && FEditor->Visible();
}

void TStringGrid::SetEditorMode(bool on)
{
    if (on)
        ShowEditor(nullptr);
    else
        HideEditor(true);
}

void TStringGrid::ShowEditor(const std::wstring* startText)
{
    if (!(FOptions & goEditing) || !FEditor || !FEditor->HandleAllocated() || FCol < FFixedCols || FRow < FFixedRows)
        return;
    ScrollIntoView(FRow);
    const RECT cell = CellRect(FCol, FRow);
    FEditCol = FCol;
    FEditRow = FRow;
    FEditor->SetFont(Font());
    FEditor->SetText(startText ? *startText : Cell(FCol, FRow));
    FEditor->SetBounds(cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top);
    FEditor->SetVisible(true);
    FEditor->SetFocus();
    // The caret goes behind the text: the operator corrects a value more often than replacing it.
    const LPARAM end = static_cast<LPARAM>(FEditor->Text().size());
    SendMessageW(FEditor->Handle(), EM_SETSEL, static_cast<WPARAM>(end), end);
}

void TStringGrid::HideEditor(bool keepText, bool refocus)
{
    if (!EditorMode()) return;
    // Hiding moves the focus, which would come back here: the editor is
    // marked hidden first.
    FEditor->SetVisible(false);
    if (keepText && FEditCol >= 0 && FEditCol < FColCount && FEditRow >= 0 && FEditRow < FRowCount)
        SetCell(FEditCol, FEditRow, FEditor->Text());
    FEditCol = FEditRow = -1;
    if (refocus) SetFocus();
    Invalidate();
}

void TStringGrid::KeyDown(UINT key)
{
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    int col = FCol, row = FRow;
    switch (key) {
    case VK_LEFT: col = std::max(FFixedCols, col - 1); break;
    case VK_RIGHT: col = std::min(FColCount - 1, col + 1); break;
    case VK_UP: row = std::max(FFixedRows, row - 1); break;
    case VK_DOWN: row = std::min(FRowCount - 1, row + 1); break;
    case VK_PRIOR: row = std::max(FFixedRows, row - VisibleScrollRows()); break;
    case VK_NEXT: row = std::min(FRowCount - 1, row + VisibleScrollRows()); break;
    case VK_HOME: col = FFixedCols; break;
    case VK_END: col = FColCount - 1; break;
    case VK_F2:
    case VK_RETURN: ShowEditor(nullptr); return;
    default: return;
    }
    MoveFocus(col, row, shift);
}

void TStringGrid::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    params.Style |= WS_TABSTOP | WS_VSCROLL | WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TStringGrid::HandleCreated()
{
    if (!FEditor) FEditor = std::make_unique<TInplaceEdit>(*this);
    ClampPosition();
    UpdateScrollBar();
}

void TStringGrid::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    case WM_GETDLGCODE: {
        message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
        const auto* msg = reinterpret_cast<const MSG*>(message.LParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) message.Result |= DLGC_WANTMESSAGE;
        return;
    }
    case WM_KEYDOWN: KeyDown(static_cast<UINT>(message.WParam)); return;
    case WM_CHAR:
        if (message.WParam >= 32 && (FOptions & goEditing)) {
            const std::wstring typed(1, static_cast<wchar_t>(message.WParam));
            ShowEditor(&typed);
        }
        return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        SetFocus();
        int col, row;
        if (!MouseToCell(GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam), col, row) || col < FFixedCols ||
            row < FFixedRows)
            return;
        MoveFocus(col, row, (message.WParam & MK_SHIFT) != 0);
        if (message.Msg == WM_LBUTTONDBLCLK) {
            ShowEditor(nullptr);
        } else if (FOptions & goRangeSelect) {
            FSelecting = true;
            SetCapture(Handle());
        }
        return;
    }
    case WM_MOUSEMOVE:
        if (FSelecting) {
            int col, row;
            if (MouseToCell(std::max(0, static_cast<int>(GET_X_LPARAM(message.LParam))),
                            std::max(0, static_cast<int>(GET_Y_LPARAM(message.LParam))), col, row) &&
                col >= FFixedCols && row >= FFixedRows && (col != FCol || row != FRow))
                MoveFocus(col, row, true);
        }
        return;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (FSelecting) {
            FSelecting = false;
            if (message.Msg == WM_LBUTTONUP) ReleaseCapture();
        }
        return;
    case WM_VSCROLL: {
        int top = FTopRow;
        switch (LOWORD(message.WParam)) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= VisibleScrollRows(); break;
        case SB_PAGEDOWN: top += VisibleScrollRows(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = FFixedRows + HIWORD(message.WParam); break;
        case SB_TOP: top = FFixedRows; break;
        case SB_BOTTOM: top = FRowCount; break;
        default: return;
        }
        HideEditor(true);
        SetTopRow(top);
        return;
    }
    case WM_MOUSEWHEEL:
        HideEditor(true);
        SetTopRow(FTopRow - GET_WHEEL_DELTA_WPARAM(message.WParam) / WHEEL_DELTA * 3);
        return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
    case WM_SIZE:
        TControl::Dispatch(message);
        ClampPosition();
        UpdateScrollBar();
        return;
    default: break;
    }
    TControl::Dispatch(message);
}

void TStringGrid::Paint(HDC dc)
{
    const RECT client = ClientRect();
    if (!FDoubleBuffered) {
        DrawCells(dc, client);
        return;
    }
    // The whole picture goes to the screen at once: no flicker while a run
    // rewrites cells several times a second.
    HDC buffer = CreateCompatibleDC(dc);
    TBitmapHandle bitmap(CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom)));
    {
        detail::TSelectScope selected(buffer, bitmap.Get());
        DrawCells(buffer, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
    }
    DeleteDC(buffer);
}

void TStringGrid::DrawCells(HDC dc, const RECT& client)
{
    FillRect(dc, &client, ColorBrush(Color()));
    detail::TSelectScope font(dc, Font().Handle());
    SetBkMode(dc, TRANSPARENT);
    const TGridRect selection = Selection();
    const bool focused = GetFocus() == Handle() || (FEditor && GetFocus() == FEditor->Handle());
    HBRUSH fixedLine = ColorBrush(clBlack);
    HBRUSH cellLine = ColorBrush(clBtnFace);

    for (int row = 0; row < FRowCount; ++row) {
        if (row >= FFixedRows && row < FTopRow) continue;
        for (int col = 0; col < FColCount; ++col) {
            const RECT cell = CellRect(col, row);
            if (IsRectEmpty(&cell)) {
                if (col == 0 && row >= FFixedRows) return;  // the rows below are out of view too
                continue;
            }
            const bool fixed = col < FFixedCols || row < FFixedRows;
            const bool isFocusCell = col == FCol && row == FRow;
            const bool selected = !fixed && selection.Contains(col, row) &&
                                  (!isFocusCell || (FOptions & goDrawFocusSelected) || (FOptions & goRowSelect));
            RECT fill = cell;
            FillRect(dc, &fill, ColorBrush(fixed ? clBtnFace : selected ? clHighlight : Color()));
            if (fixed) {
                RECT edge = cell;
                DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
            }
            // Lines run along the right and bottom side of each cell.
            const bool vertical = fixed ? (FOptions & goFixedVertLine) : (FOptions & goVertLine);
            const bool horizontal = fixed ? (FOptions & goFixedHorzLine) : (FOptions & goHorzLine);
            if (vertical) {
                RECT line{cell.right, cell.top, cell.right + kLineWidth, cell.bottom + kLineWidth};
                FillRect(dc, &line, fixed ? fixedLine : cellLine);
            }
            if (horizontal) {
                RECT line{cell.left, cell.bottom, cell.right + kLineWidth, cell.bottom + kLineWidth};
                FillRect(dc, &line, fixed ? fixedLine : cellLine);
            }
            const std::wstring& text = FCells[static_cast<size_t>(col)][static_cast<size_t>(row)];
            if (!text.empty() && !(col == FEditCol && row == FEditRow)) {
                SetTextColor(dc, ColorToRGB(selected ? clHighlightText : Font().Color));
                RECT area{cell.left + 2, cell.top + 2, cell.right - 2, cell.bottom - 2};
                DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                          DT_SINGLELINE | DT_NOPREFIX | DT_LEFT | DT_TOP);
            }
            if (isFocusCell && focused && !fixed && !EditorMode()) {
                RECT focus = cell;
                DrawFocusRect(dc, &focus);
            }
        }
    }
}

bool TStringGrid::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    const std::string& key = property.Name;
    if (key == "ColCount") {
        FColCount = std::max(1, TFormReader::Integer(property));
        ResizeCells();
    } else if (key == "RowCount") {
        FRowCount = std::max(1, TFormReader::Integer(property));
        ResizeCells();
    } else if (key == "FixedCols") {
        FFixedCols = TFormReader::Integer(property);
        if (FFixedCols < 0 || FFixedCols >= FColCount)
            FormDescriptionError(property.Line, "FixedCols must be below ColCount");
    } else if (key == "FixedRows") {
        FFixedRows = TFormReader::Integer(property);
        if (FFixedRows < 0 || FFixedRows >= FRowCount)
            FormDescriptionError(property.Line, "FixedRows must be below RowCount");
    } else if (key == "DefaultColWidth") {
        FDefaultColWidth = std::max(0, TFormReader::Integer(property));
        FColWidths.assign(static_cast<size_t>(FColCount), FDefaultColWidth);
    } else if (key == "DefaultRowHeight") {
        FDefaultRowHeight = std::max(1, TFormReader::Integer(property));
    } else if (key == "ColWidths") {
        if (property.Values.size() > static_cast<size_t>(FColCount))
            FormDescriptionError(property.Line, "more ColWidths than columns");
        for (size_t i = 0; i < property.Values.size(); ++i)
            FColWidths[i] = std::max(0, TFormReader::Integer(property, i));
    } else if (key == "Options") {
        static constexpr struct {
            const char* Name;
            TGridOption Option;
        } kOptions[] = {
            {"fixedvertline", goFixedVertLine},
            {"fixedhorzline", goFixedHorzLine},
            {"vertline", goVertLine},
            {"horzline", goHorzLine},
            {"rangeselect", goRangeSelect},
            {"editing", goEditing},
            {"drawfocusselected", goDrawFocusSelected},
            {"rowselect", goRowSelect},
        };
        TGridOptions options = 0;
        for (size_t i = 0; i < property.Values.size(); ++i) {
            const std::string name = TFormReader::Ident(property, i);
            auto found = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [&](const auto& option) { return name == option.Name; });
            if (found == std::end(kOptions)) FormDescriptionError(property.Line, "unknown grid option '" + name + "'");
            options |= found->Option;
        }
        FOptions = options;
    } else if (key == "DoubleBuffered") {
        FDoubleBuffered = TFormReader::Boolean(property);
    } else {
        return TControl::SetProperty(property, reader);
    }
    ClampPosition();
    return true;
}

}  // namespace vcl
