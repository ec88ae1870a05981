// A small writer of XML element trees: the log's XML copy is built with it.
// It never parses XML; it only writes the text of a tree made in code.
//
// Text is 8-bit (the process ANSI code page). Escaping writes bytes 128 to 255
// as numeric references by their code-page value, so a generic XML reader
// sees them as the characters U+0080 to U+00FF whose numbers are those bytes:
// readers of the copy take such characters back as bytes of the code page.
//
// Threads: an item tree belongs to one thread. Failure: only std::bad_alloc,
// and SaveXMLToFile's file errors (rtl exceptions, see there).
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/System.h"

namespace crash {

class TXMLItem;

// The children of one element: owned, freed from the last to the first.
class TXMLItems : public rtl::TObject {
public:
    TXMLItems() = default;
    TXMLItems(const TXMLItems&) = delete;
    TXMLItems& operator=(const TXMLItems&) = delete;
    ~TXMLItems() override;

    // A new element named itemName appended at the end; the list owns it. Its
    // parent is left unset (TXMLItem::AddItem sets it).
    TXMLItem* AddItem(const std::string& itemName);
    // Null for an index outside the list.
    TXMLItem* GetItem(int index) const noexcept;
    int Count() const noexcept { return static_cast<int>(FItems.size()); }

private:
    std::vector<std::unique_ptr<TXMLItem>> FItems;
};

// One element: a name, attributes, an optional text value and children.
class TXMLItem : public rtl::TObject {
public:
    explicit TXMLItem(std::string name);
    TXMLItem(const TXMLItem&) = delete;
    TXMLItem& operator=(const TXMLItem&) = delete;
    ~TXMLItem() override = default;

    // Appends the attribute fieldName="escaped value" (no test for a name
    // given twice).
    void AddField(const std::string& fieldName, const std::string& fieldValue);
    // A new child element at the end, whose parent this element is.
    TXMLItem* AddItem(const std::string& itemName);
    // Stores value and its escaped form.
    void SetValue(const std::string& value);

    // Every byte 0 to 31, 34, 38, 39, 60, 62 and 127 to 255 as "&#" and three
    // decimal digits and ";" (tab &#009;, LF &#010;, CR &#013;, "<" &#060;);
    // every other byte copied. A control byte other than tab, LF and CR
    // becomes "?": XML has no reference for it, and one would make the whole
    // document unreadable.
    static std::string EncodedString(std::string_view text);

    // Appends the element's text, its children indented by two more blanks
    // than the element, each line ending with CRLF: "<Name attrs/>" without
    // value and children, else "<Name attrs>value", the children's lines, the
    // indentation and "</Name>".
    void AppendXMLText(std::string& text);
    // The element's text alone, written as the root (no indentation).
    std::string GetXMLText();
    // Writes GetXMLText to the file, each line ending with CRLF; no XML
    // declaration. Raises rtl::EFCreateError / rtl::EWriteError.
    void SaveXMLToFile(const std::string& fileName);

    const std::string& Name() const noexcept { return FName; }
    const std::string& Value() const noexcept { return FValue; }
    const std::string& EncodedValue() const noexcept { return FEncodedValue; }
    const std::string& Fields() const noexcept { return FFields; }
    TXMLItem* Parent() const noexcept { return FParent; }
    TXMLItems& Items() noexcept { return FItems; }
    const TXMLItems& Items() const noexcept { return FItems; }

private:
    friend class TXMLItems;

    std::string FName;
    std::string FValue;
    std::string FEncodedValue;
    std::string FFields;
    std::string FSpaces;
    TXMLItems FItems;
    TXMLItem* FParent = nullptr;  // weak
};

// Writes text to fileName as lines each ending with CRLF (a last line without
// a break gets one; lone CR or LF breaks become CRLF). The file is created or
// truncated. Raises rtl::EFCreateError / rtl::EWriteError.
void SaveTextLines(const std::string& text, const std::string& fileName);

}  // namespace crash
