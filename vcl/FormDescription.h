// The stored form description: a small text format listing a form's controls
// and components with their class, name, properties and events.
//
//   # a comment runs to the end of the line
//   TDemoForm DemoForm {
//       Caption = "Демо"
//       ClientSize = 400, 300
//       TEdit Edit1 {
//           Bounds = 8, 35, 100, 21
//           Text = "200"
//           OnKeyPress = Edit1KeyPress
//       }
//   }
//
// An object is "Class Name { ... }"; inside, properties ("Key = value, ...")
// and nested objects (children of that control) come in any order. A value is
// a whole number (decimal, or hexadecimal after 0x, with an optional sign), a
// text in double quotes (UTF-8; \" \\ \t \r \n escaped) or an identifier.
// The text is parsed whole before anything is built from it. Parsing keeps
// no state: any thread.
//
// The properties the library's classes take (vcl/Forms.h binds events by
// handler name; sizes and positions are pixels):
//   every control  Bounds = left, top, width, height (or Left, Top, Width,
//                  Height); Caption or Text; FontName; FontSize (character
//                  height, lfHeight = -FontSize); FontStyle = bold, italic,
//                  underline or regular; FontColor; Color; Visible; Enabled;
//                  Anchors = left, top, right, bottom. Font and colour start
//                  as the parent's.
//   TForm          ClientSize = width, height (or ClientWidth, ClientHeight);
//                  BorderStyle = single, sizeable, dialog; Position = default,
//                  screencenter, designed; OnCreate, OnShow, OnClose
//   TLabel         Alignment = left, center, right; Transparent; AutoSize
//   TPanel         BevelOuter = raised, lowered, none; Alignment
//   TGroupBox      (children)
//   TEdit          MaxLength; ReadOnly; OnKeyPress; OnChange
//   TButton        OnClick
//   TComboBox      Style = dropdownlist, ownerdrawfixed; Items = "a", "b";
//                  ItemIndex; ItemHeight; DropDownCount; OnChange
//   TImage         Picture = imageList, index; Center; Stretch; Transparent
//   TStringGrid    ColCount; RowCount; FixedCols; FixedRows; DefaultColWidth;
//                  ColWidths = w0, w1, ...; DefaultRowHeight; Options =
//                  fixedvertline, fixedhorzline, vertline, horzline,
//                  rangeselect, editing, drawfocusselected, rowselect;
//                  DoubleBuffered
//   TImageList     Width; Height; Bitmaps = "RESOURCE", ... (bitmap resources)
//   TTimer         Interval (ms); Enabled; OnTimer
// Colours are black, white, red, green, blue, navy, gray, btnface, window,
// windowtext, highlight, highlighttext, or a text "#RRGGBB"; booleans are
// true and false.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "rtl/SysUtils.h"

namespace vcl {

// A fault in a form description, or in binding it to its form class; the
// message names the line.
class EFormDescriptionError : public rtl::Exception {
public:
    RTL_CLASS(EFormDescriptionError)
    using Exception::Exception;
};

struct TDescValue {
    enum TKind { vkInteger, vkString, vkIdent };
    TKind Kind = vkInteger;
    long long Integer = 0;
    std::wstring String;  // vkString
    std::string Ident;    // vkIdent
};

struct TDescProperty {
    std::string Name;
    std::vector<TDescValue> Values;  // at least one
    int Line = 0;
};

struct TDescObject {
    std::string ClassName;
    std::string Name;
    int Line = 0;
    std::vector<TDescProperty> Properties;  // in the order written
    std::vector<TDescObject> Children;      // in the order written
};

// Parses a whole description holding exactly one top-level object.
// Throws EFormDescriptionError ("Form description, line N: ...") on any fault.
TDescObject ParseFormDescription(std::string_view utf8Text);

// Raises EFormDescriptionError for the line.
[[noreturn]] void FormDescriptionError(int line, const std::string& what);

}  // namespace vcl
