// Number texts: integers and floats to text and back.
#include <algorithm>
#include <cmath>
#include <charconv>
#include <cstdint>

#include "rtl/SysUtils.h"

namespace rtl {
namespace {

std::string QuotedNarrow(std::wstring_view text)
{
    return "'" + WideToAnsi(text) + "'";
}

// A float as decimal digits: value = 0.<digits> x 10^exponent, so `exponent`
// counts the digits in front of the decimal point. Zero has no digits.
struct DecimalDigits {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

DecimalDigits ToDecimal(double value)
{
    DecimalDigits result;
    result.negative = std::signbit(value);
    value = std::fabs(value);
    if (value == 0) return result;
    // 18 significant digits tell every double apart; rounding is then done on
    // these decimal digits, half away from zero, as the operator would.
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 17).ptr;
    const char* e = std::find(text, end, 'e');
    result.digits.push_back(text[0]);
    for (const char* p = text + 2; p < e; ++p) result.digits.push_back(*p);
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+'), end, exponent);
    result.exponent = exponent + 1;
    while (!result.digits.empty() && result.digits.back() == '0') result.digits.pop_back();
    return result;
}

// Keeps `count` significant digits, rounding half away from zero.
void RoundDigits(DecimalDigits& d, int count)
{
    if (count >= static_cast<int>(d.digits.size())) return;
    if (count < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[static_cast<size_t>(count)] >= '5';
    d.digits.resize(static_cast<size_t>(count));
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
        if (i >= 0) {
            ++d.digits[static_cast<size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

wchar_t DigitAt(const DecimalDigits& d, int index)
{
    return index >= 0 && index < static_cast<int>(d.digits.size())
               ? static_cast<wchar_t>(d.digits[static_cast<size_t>(index)])
               : L'0';
}

std::wstring GeneralText(DecimalDigits d, int precision, int exponentDigits)
{
    RoundDigits(d, precision);
    if (d.digits.empty()) return L"0";
    const wchar_t separator = DecimalSeparator();
    const int count = static_cast<int>(d.digits.size());
    std::wstring text = d.negative ? L"-" : L"";
    if (d.exponent > precision || d.exponent < -4) {
        text += DigitAt(d, 0);
        if (count > 1) {
            text += separator;
            for (int i = 1; i < count; ++i) text += DigitAt(d, i);
        }
        text += L'E';
        int exponent = d.exponent - 1;
        if (exponent < 0) {
            text += L'-';
            exponent = -exponent;
        }
        std::wstring number = std::to_wstring(exponent);
        if (static_cast<int>(number.size()) < exponentDigits)
            number.insert(0, static_cast<size_t>(exponentDigits) - number.size(), L'0');
        return text + number;
    }
    if (d.exponent <= 0) {
        text += L'0';
        text += separator;
        text.append(static_cast<size_t>(-d.exponent), L'0');
        for (int i = 0; i < count; ++i) text += DigitAt(d, i);
        return text;
    }
    for (int i = 0; i < d.exponent; ++i) text += DigitAt(d, i);
    if (count > d.exponent) {
        text += separator;
        for (int i = d.exponent; i < count; ++i) text += DigitAt(d, i);
    }
    return text;
}

std::wstring FixedText(DecimalDigits d, int precision, int digits)
{
    if (d.exponent > precision) return GeneralText(d, precision, digits);
    RoundDigits(d, std::min(precision, d.exponent + digits));
    if (d.exponent > precision) return GeneralText(d, precision, digits);
    // A value that rounds to zero is written without a sign: "-0,000" would
    // tell the operator of a negative quantity that is not there.
    std::wstring text = d.negative && !d.digits.empty() ? L"-" : L"";
    if (d.exponent <= 0 || d.digits.empty()) {
        text += L'0';
    } else {
        for (int i = 0; i < d.exponent; ++i) text += DigitAt(d, i);
    }
    if (digits > 0) {
        text += DecimalSeparator();
        const int start = d.digits.empty() ? 0 : d.exponent;
        for (int i = 0; i < digits; ++i) text += d.digits.empty() ? L'0' : DigitAt(d, start + i);
    }
    return text;
}

}  // namespace

std::wstring IntToStr(int value)
{
    return std::to_wstring(value);
}

namespace {

// The one integer grammar of the runtime, for 8-bit and UTF-16 texts alike.
template <class Char>
bool ParseInteger(std::basic_string_view<Char> text, int& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == Char(' ')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == Char('+') || text[i] == Char('-'))) negative = text[i++] == Char('-');
    unsigned base = 10;
    if (i < text.size() && text[i] == Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == Char('0') && (text[i + 1] == Char('x') || text[i + 1] == Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return false;
    // Hexadecimal may spell the whole 32-bit pattern (0xFFFFFFFF is -1);
    // decimal must stay within the signed range.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t number = 0;
    for (; i < text.size(); ++i) {
        const Char c = text[i];
        unsigned digit;
        if (c >= Char('0') && c <= Char('9'))
            digit = static_cast<unsigned>(c - Char('0'));
        else if (base == 16 && c >= Char('a') && c <= Char('f'))
            digit = static_cast<unsigned>(c - Char('a') + 10);
        else if (base == 16 && c >= Char('A') && c <= Char('F'))
            digit = static_cast<unsigned>(c - Char('A') + 10);
        else
            return false;
        number = number * base + digit;
        if (number > limit) return false;
    }
    const auto bits = static_cast<std::uint32_t>(number);
    value = static_cast<int>(negative ? 0u - bits : bits);
    return true;
}

}  // namespace

bool TryStrToInt(std::wstring_view text, int& value)
{
    return ParseInteger(text, value);
}

bool TryStrToInt(std::string_view text, int& value)
{
    return ParseInteger(text, value);
}

int StrToInt(std::wstring_view text)
{
    int value = 0;
    if (!TryStrToInt(text, value)) throw EConvertError(QuotedNarrow(text) + " is not a valid integer value");
    return value;
}

int StrToIntDef(std::wstring_view text, int defaultValue)
{
    int value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

wchar_t DecimalSeparator()
{
    wchar_t separator[8] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) < 2) return L'.';
    return separator[0];
}

bool TryStrToFloat(std::wstring_view text, double& value)
{
    const wchar_t separator = DecimalSeparator();
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && text[begin] == L' ') ++begin;
    while (end > begin && text[end - 1] == L' ') --end;
    std::string plain;
    size_t i = begin;
    if (i < end && (text[i] == L'+' || text[i] == L'-')) {
        if (text[i] == L'-') plain += '-';
        ++i;
    }
    auto digitsAt = [&](size_t& pos) {
        size_t count = 0;
        for (; pos < end && text[pos] >= L'0' && text[pos] <= L'9'; ++pos, ++count)
            plain += static_cast<char>(text[pos]);
        return count;
    };
    size_t mantissa = digitsAt(i);
    if (i < end && text[i] == separator) {
        plain += '.';
        ++i;
        mantissa += digitsAt(i);
    }
    if (mantissa == 0) return false;
    if (i < end && (text[i] == L'E' || text[i] == L'e')) {
        plain += 'e';
        ++i;
        if (i < end && (text[i] == L'+' || text[i] == L'-')) plain += static_cast<char>(text[i++]);
        if (digitsAt(i) == 0) return false;
    }
    if (i != end) return false;
    double number = 0;
    const auto [ptr, error] = std::from_chars(plain.data(), plain.data() + plain.size(), number);
    if (error != std::errc() || ptr != plain.data() + plain.size()) return false;
    value = number;
    return true;
}

double StrToFloat(std::wstring_view text)
{
    double value = 0;
    if (!TryStrToFloat(text, value)) throw EConvertError(QuotedNarrow(text) + " is not a valid floating point value");
    return value;
}

std::wstring FloatToStrF(double value, TFloatFormat format, int precision, int digits)
{
    if (std::isnan(value)) return L"NAN";
    if (std::isinf(value)) return value < 0 ? L"-INF" : L"INF";
    precision = std::clamp(precision, 1, 18);
    const DecimalDigits decimal = ToDecimal(value);
    if (format == TFloatFormat::ffFixed) return FixedText(decimal, precision, std::clamp(digits, 0, 18));
    return GeneralText(decimal, precision, std::clamp(digits, 0, 4));
}

}  // namespace rtl
