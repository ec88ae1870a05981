// The XML element writer.
#include "crash/report/EXMLBuilder.h"

#include <utility>

#include "rtl/Streams.h"

namespace crash {

TXMLItems::~TXMLItems()
{
    while (!FItems.empty()) FItems.pop_back();
}

TXMLItem* TXMLItems::AddItem(const std::string& itemName)
{
    FItems.push_back(std::make_unique<TXMLItem>(itemName));
    return FItems.back().get();
}

TXMLItem* TXMLItems::GetItem(int index) const noexcept
{
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[static_cast<std::size_t>(index)].get();
}

TXMLItem::TXMLItem(std::string name) : FName(std::move(name)) {}

void TXMLItem::AddField(const std::string& fieldName, const std::string& fieldValue)
{
    FFields += ' ';
    FFields += fieldName;
    FFields += "=\"";
    FFields += EncodedString(fieldValue);
    FFields += '"';
}

TXMLItem* TXMLItem::AddItem(const std::string& itemName)
{
    TXMLItem* item = FItems.AddItem(itemName);
    item->FParent = this;
    return item;
}

void TXMLItem::SetValue(const std::string& value)
{
    if (value == FValue) return;
    FValue = value;
    FEncodedValue = EncodedString(value);
}

std::string TXMLItem::EncodedString(std::string_view text)
{
    std::string encoded;
    encoded.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
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

void TXMLItem::AppendXMLText(std::string& text)
{
    text += FSpaces;
    text += '<';
    text += FName;
    text += FFields;
    if (FEncodedValue.empty() && FItems.Count() == 0) {
        text += "/>\r\n";
        return;
    }
    text += '>';
    text += FEncodedValue;
    if (FItems.Count() > 0) {
        text += "\r\n";
        for (int i = 0; i < FItems.Count(); ++i) {
            TXMLItem* child = FItems.GetItem(i);
            child->FSpaces = FSpaces + "  ";
            child->AppendXMLText(text);
        }
        text += FSpaces;
    }
    text += "</";
    text += FName;
    text += ">\r\n";
}

std::string TXMLItem::GetXMLText()
{
    std::string text;
    FSpaces.clear();
    AppendXMLText(text);
    return text;
}

void TXMLItem::SaveXMLToFile(const std::string& fileName)
{
    SaveTextLines(GetXMLText(), fileName);
}

void SaveTextLines(const std::string& text, const std::string& fileName)
{
    std::string lines;
    lines.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lines += c;
        }
    }
    if (!lines.empty() && lines.back() != '\n') lines += "\r\n";
    rtl::TFileStream file(fileName, rtl::fmCreate);
    file.WriteBuffer(lines.data(), lines.size());
}

}  // namespace crash
