// The XML element writer.
#include "crash/report/EXMLBuilder.h"

#include <utility>

#include "rtl/Streams.h"

namespace crash {

TXMLItems::~TXMLItems()
{
    while (!FItems.empty()) FItems.pop_back();
}

TXMLItem* TXMLItems::AddItem(const std::string& ItemName)
{
    FItems.push_back(std::make_unique<TXMLItem>(ItemName));
    return FItems.back().get();
}

TXMLItem* TXMLItems::GetItem(int Index) const noexcept
{
    if (Index < 0 || Index >= Count()) return nullptr;
    return FItems[static_cast<std::size_t>(Index)].get();
}

TXMLItem::TXMLItem(std::string Name) : FName(std::move(Name)) {}

void TXMLItem::AddField(const std::string& FieldName, const std::string& FieldValue)
{
    FFields += ' ';
    FFields += FieldName;
    FFields += "=\"";
    FFields += EncodedString(FieldValue);
    FFields += '"';
}

TXMLItem* TXMLItem::AddItem(const std::string& ItemName)
{
    TXMLItem* item = FItems.AddItem(ItemName);
    item->FParent = this;
    return item;
}

void TXMLItem::SetValue(const std::string& Value)
{
    if (Value == FValue) return;
    FValue = Value;
    FEncodedValue = EncodedString(Value);
}

std::string TXMLItem::EncodedString(std::string_view Text)
{
    std::string encoded;
    encoded.reserve(Text.size() + Text.size() / 8);
    for (const char c : Text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 && byte != '\t' && byte != '\n' && byte != '\r') {
            encoded += '?';
        } else if (byte < 32 || byte == '"' || byte == '&' || byte == '\'' || byte == '<' || byte == '>' ||
                   byte >= 127) {
            encoded += "&#";
            encoded += static_cast<char>('0' + byte / 100);
            encoded += static_cast<char>('0' + byte / 10 % 10);
            encoded += static_cast<char>('0' + byte % 10);
            encoded += ';';
        } else {
            encoded += c;
        }
    }
    return encoded;
}

void TXMLItem::AppendXMLText(std::string& Text)
{
    Text += FSpaces;
    Text += '<';
    Text += FName;
    Text += FFields;
    if (FEncodedValue.empty() && FItems.Count() == 0) {
        Text += "/>\r\n";
        return;
    }
    Text += '>';
    Text += FEncodedValue;
    if (FItems.Count() > 0) {
        Text += "\r\n";
        for (int i = 0; i < FItems.Count(); ++i) {
            TXMLItem* child = FItems.GetItem(i);
            child->FSpaces = FSpaces + "  ";
            child->AppendXMLText(Text);
        }
        Text += FSpaces;
    }
    Text += "</";
    Text += FName;
    Text += ">\r\n";
}

std::string TXMLItem::GetXMLText()
{
    std::string text;
    FSpaces.clear();
    AppendXMLText(text);
    return text;
}

void TXMLItem::SaveXMLToFile(const std::string& FileName)
{
    SaveTextLines(GetXMLText(), FileName);
}

void SaveTextLines(const std::string& Text, const std::string& FileName)
{
    std::string lines;
    lines.reserve(Text.size() + 2);
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '\r' || c == '\n') {
            lines += "\r\n";
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            lines += c;
        }
    }
    if (!lines.empty() && lines.back() != '\n') lines += "\r\n";
    rtl::TFileStream file(FileName, rtl::fmCreate);
    file.WriteBuffer(lines.data(), lines.size());
}

}  // namespace crash
