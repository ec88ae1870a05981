// The string grid: a table of texts with fixed heading rows and columns,
// grid lines, range selection, in-place editing and vertical scrolling,
// painted double-buffered. Main thread only; see vcl/Controls.h.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "vcl/StdControls.h"

namespace vcl {

enum TGridOption : unsigned {
    goFixedVertLine = 1u << 0,
    goFixedHorzLine = 1u << 1,
    goVertLine = 1u << 2,
    goHorzLine = 1u << 3,
    goRangeSelect = 1u << 4,
    goDrawFocusSelected = 1u << 5,
    goEditing = 1u << 6,
    goRowSelect = 1u << 7,
};
using TGridOptions = unsigned;

// Cells from (Left, Top) to (Right, Bottom), both corners included.
struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TGridRect&) const = default;
    bool Contains(int col, int row) const { return col >= Left && col <= Right && row >= Top && row <= Bottom; }
};

// A cell index outside the grid.
class EGridError : public rtl::Exception {
public:
    RTL_CLASS(EGridError)
    using Exception::Exception;
};

class TStringGrid : public TControl {
public:
    explicit TStringGrid(TControl* parent);
    ~TStringGrid() override;

    int ColCount() const { return FColCount; }
    void SetColCount(int count);
    int RowCount() const { return FRowCount; }
    // Cells of removed rows are dropped; new rows are empty. At least one
    // non-fixed row remains: fewer rows reduce the fixed rows.
    void SetRowCount(int count);
    int FixedCols() const { return FFixedCols; }
    void SetFixedCols(int count);
    int FixedRows() const { return FFixedRows; }
    void SetFixedRows(int count);
    int ColWidth(int col) const;
    void SetColWidth(int col, int width);
    int DefaultRowHeight() const { return FDefaultRowHeight; }
    void SetDefaultRowHeight(int height);
    TGridOptions Options() const { return FOptions; }
    void SetOptions(TGridOptions options);
    bool DoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool on) { FDoubleBuffered = on; }

    // The current (focused) cell; setting it collapses the selection onto it
    // and scrolls it into view. Throws EGridError for a fixed or missing cell.
    int Col() const { return FCol; }
    void SetCol(int col);
    int Row() const { return FRow; }
    void SetRow(int row);
    TGridRect Selection() const;
    // The first non-fixed row shown below the fixed rows.
    int TopRow() const { return FTopRow; }
    void SetTopRow(int row);

    // Cell texts. Throw EGridError for an index outside the grid. Setting the
    // cell that is open in the editor replaces the editor's text too, with
    // the caret at its end.
    const std::wstring& Cell(int col, int row) const;
    void SetCell(int col, int row, std::wstring text);

    // Cells[col][row], to read and to assign.
    class TCellRef {
    public:
        TCellRef(TStringGrid& grid, int col, int row) : FGrid(grid), FCol(col), FRow(row) {}
        operator const std::wstring&() const { return FGrid.Cell(FCol, FRow); }
        const std::wstring& Text() const { return FGrid.Cell(FCol, FRow); }
        TCellRef& operator=(std::wstring text)
        {
            FGrid.SetCell(FCol, FRow, std::move(text));
            return *this;
        }
        bool operator==(const std::wstring& text) const { return Text() == text; }

    private:
        TStringGrid& FGrid;
        int FCol, FRow;
    };
    class TColumnRef {
    public:
        TColumnRef(TStringGrid& grid, int col) : FGrid(grid), FCol(col) {}
        TCellRef operator[](int row) const { return TCellRef(FGrid, FCol, row); }

    private:
        TStringGrid& FGrid;
        int FCol;
    };
    class TCellsProperty {
    public:
        explicit TCellsProperty(TStringGrid& grid) : FGrid(grid) {}
        TColumnRef operator[](int col) const { return TColumnRef(FGrid, col); }

    private:
        TStringGrid& FGrid;
    };
    TCellsProperty Cells{*this};

    // The in-place editor is open on the current cell.
    bool EditorMode() const;
    // Opens the editor on the current cell (when editing is allowed), or
    // closes it keeping its text.
    void SetEditorMode(bool on);
    // The rectangle of a visible cell in client coordinates; empty when the
    // cell is scrolled out of view.
    RECT CellRect(int col, int row) const;
    // The cell under a client point; false outside every cell.
    bool MouseToCell(int x, int y, int& col, int& row) const;

    void Dispatch(TMessage& message) override;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;
    void Paint(HDC dc) override;
    void PaintBackground(HDC) override {}

private:
    class TInplaceEdit;
    friend class TInplaceEdit;

    void CheckCell(int col, int row) const;
    void ResizeCells();
    void ClampPosition();
    void MoveFocus(int col, int row, bool extend);
    void ScrollIntoView(int row);
    int VisibleScrollRows() const;
    void UpdateScrollBar();
    void DrawCells(HDC dc, const RECT& client);
    void ShowEditor(const std::wstring* startText);
    void HideEditor(bool keepText, bool refocus = true);
    void KeyDown(UINT key);

    int FColCount = 5;
    int FRowCount = 5;
    int FFixedCols = 1;
    int FFixedRows = 1;
    int FDefaultColWidth = 64;
    int FDefaultRowHeight = 24;
    std::vector<int> FColWidths;
    std::vector<std::vector<std::wstring>> FCells;  // [col][row]
    TGridOptions FOptions = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
    bool FDoubleBuffered = false;
    int FCol = 1, FRow = 1;
    int FAnchorCol = 1, FAnchorRow = 1;
    int FTopRow = 1;
    bool FSelecting = false;
    std::unique_ptr<TInplaceEdit> FEditor;
    int FEditCol = -1, FEditRow = -1;
};

}  // namespace vcl
