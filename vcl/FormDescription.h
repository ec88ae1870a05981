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
