// Parsing the stored form description.
#include "vcl/FormDescription.h"

#include <windows.h>

#include <cctype>

namespace vcl {

void FormDescriptionError(int line, const std::string& what)
{
    throw EFormDescriptionError("Form description, line " + std::to_string(line) + ": " + what);
}

namespace {

struct TToken {
    enum TKind { tkEnd, tkIdent, tkInteger, tkString, tkSymbol };
    TKind Kind = tkEnd;
    std::string Text;  // identifier, symbol, or the raw UTF-8 of a string
    long long Integer = 0;
    int Line = 1;
};

std::wstring Utf8ToWide(const std::string& text, int line)
{
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) FormDescriptionError(line, "text is not valid UTF-8");
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

bool IsIdentStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

class TLexer {
public:
    explicit TLexer(std::string_view text) : FText(text) {}

    TToken Next()
    {
        SkipBlanks();
        TToken token;
        token.Line = FLine;
        if (FPos >= FText.size()) return token;
        const char c = FText[FPos];
        if (IsIdentStart(c)) {
            const size_t start = FPos;
            while (FPos < FText.size() && IsIdentChar(FText[FPos])) ++FPos;
            token.Kind = TToken::tkIdent;
            token.Text = std::string(FText.substr(start, FPos - start));
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+') {
            token.Kind = TToken::tkInteger;
            token.Integer = ReadInteger();
        } else if (c == '"') {
            token.Kind = TToken::tkString;
            token.Text = ReadString();
        } else if (c == '{' || c == '}' || c == '=' || c == ',') {
            token.Kind = TToken::tkSymbol;
            token.Text = std::string(1, c);
            ++FPos;
        } else {
            FormDescriptionError(FLine, std::string("unexpected character '") + c + "'");
        }
        return token;
    }

private:
    void SkipBlanks()
    {
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c == '\n') {
                ++FLine;
                ++FPos;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++FPos;
            } else if (c == '#' || (c == '/' && FPos + 1 < FText.size() && FText[FPos + 1] == '/')) {
                while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
            } else if (FPos == 0 && FText.substr(0, 3) == "\xEF\xBB\xBF") {
                FPos = 3;  // an editor's UTF-8 signature
            } else {
                break;
            }
        }
    }

    // A sign and the letters and digits after it, read by the runtime's one
    // integer grammar: decimal within the range of int, or "0x" and up to
    // eight hexadecimal digits. Every numeric property of a control is a
    // 32-bit value.
    long long ReadInteger()
    {
        const size_t start = FPos;
        if (FText[FPos] == '-' || FText[FPos] == '+') ++FPos;
        while (FPos < FText.size() && std::isalnum(static_cast<unsigned char>(FText[FPos]))) ++FPos;
        const std::string_view text = FText.substr(start, FPos - start);
        int value = 0;
        if (!rtl::TryStrToInt(text, value)) FormDescriptionError(FLine, "bad number '" + std::string(text) + "'");
        return value;
    }

    std::string ReadString()
    {
        ++FPos;  // the opening quote
        std::string text;
        while (true) {
            if (FPos >= FText.size() || FText[FPos] == '\n') FormDescriptionError(FLine, "text not closed by '\"'");
            const char c = FText[FPos++];
            if (c == '"') return text;
            if (c != '\\') {
                text += c;
                continue;
            }
            if (FPos >= FText.size()) FormDescriptionError(FLine, "text not closed by '\"'");
            switch (const char escaped = FText[FPos++]) {
            case '"': text += '"'; break;
            case '\\': text += '\\'; break;
            case 't': text += '\t'; break;
            case 'r': text += '\r'; break;
            case 'n': text += '\n'; break;
            default: FormDescriptionError(FLine, std::string("unknown escape '\\") + escaped + "'");
            }
        }
    }

    std::string_view FText;
    size_t FPos = 0;
    int FLine = 1;
};

class TParser {
public:
    explicit TParser(std::string_view text) : FLexer(text) { Advance(); }

    TDescObject ParseTop()
    {
        if (FToken.Kind != TToken::tkIdent) FormDescriptionError(FToken.Line, "expected the form's class name");
        std::string className = Take().Text;
        TDescObject form = ParseObject(std::move(className));
        if (FToken.Kind != TToken::tkEnd) FormDescriptionError(FToken.Line, "text after the end of the form");
        return form;
    }

private:
    void Advance() { FToken = FLexer.Next(); }
    TToken Take()
    {
        TToken token = std::move(FToken);
        Advance();
        return token;
    }
    bool IsSymbol(const char* symbol) const { return FToken.Kind == TToken::tkSymbol && FToken.Text == symbol; }
    void Expect(const char* symbol)
    {
        if (!IsSymbol(symbol)) FormDescriptionError(FToken.Line, std::string("expected '") + symbol + "'");
        Advance();
    }

    // After the class name: "Name { ... }".
    TDescObject ParseObject(std::string className)
    {
        TDescObject object;
        object.ClassName = std::move(className);
        object.Line = FToken.Line;
        if (FToken.Kind != TToken::tkIdent)
            FormDescriptionError(FToken.Line, "expected the name of the " + object.ClassName);
        object.Name = Take().Text;
        Expect("{");
        while (!IsSymbol("}")) {
            if (FToken.Kind == TToken::tkEnd)
                FormDescriptionError(FToken.Line, "'" + object.Name + "' not closed by '}'");
            if (FToken.Kind != TToken::tkIdent) FormDescriptionError(FToken.Line, "expected a property or an object");
            TToken first = Take();
            if (IsSymbol("=")) {
                Advance();
                object.Properties.push_back(ParseValues(std::move(first)));
            } else if (FToken.Kind == TToken::tkIdent) {
                object.Children.push_back(ParseObject(std::move(first.Text)));
            } else {
                FormDescriptionError(first.Line, "expected '=' after '" + first.Text + "'");
            }
        }
        Advance();
        return object;
    }

    TDescProperty ParseValues(TToken key)
    {
        TDescProperty property;
        property.Name = std::move(key.Text);
        property.Line = key.Line;
        while (true) {
            TDescValue value;
            switch (FToken.Kind) {
            case TToken::tkInteger:
                value.Kind = TDescValue::vkInteger;
                value.Integer = FToken.Integer;
                break;
            case TToken::tkString:
                value.Kind = TDescValue::vkString;
                value.String = Utf8ToWide(FToken.Text, FToken.Line);
                break;
            case TToken::tkIdent:
                value.Kind = TDescValue::vkIdent;
                value.Ident = FToken.Text;
                break;
            default: FormDescriptionError(FToken.Line, "expected a value of '" + property.Name + "'");
            }
            Advance();
            property.Values.push_back(std::move(value));
            if (!IsSymbol(",")) return property;
            Advance();
        }
    }

    TLexer FLexer;
    TToken FToken;
};

}  // namespace

TDescObject ParseFormDescription(std::string_view utf8Text)
{
    return TParser(utf8Text).ParseTop();
}

}  // namespace vcl
