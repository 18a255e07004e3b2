#include "platform/numeric.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace velmar
{
namespace
{

// Folds the full-width forms that a Japanese input method produces into ASCII.
char foldChar(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'０' && u <= u'９')
        return char('0' + (u - u'０'));
    switch (u) {
    case u'＋':
        return '+';
    case u'－':
        return '-';
    case u'−':
        return '-'; // minus sign
    case u'．':
        return '.';
    case u'ｅ':
        return 'e';
    case u'Ｅ':
        return 'E';
    case u'\u3000':
        return ' ';
    case u'\t':
        return ' ';
    default:
        break;
    }
    if (u < 128)
        return char(u);
    return '\x01'; // never part of a number
}

} // namespace

std::optional<double> parseNumber(const QString &text)
{
    std::string s;
    s.reserve(size_t(text.size()));
    for (QChar c : text)
        s.push_back(foldChar(c));

    size_t i = 0;
    const size_t n = s.size();
    auto skipBlanks = [&] {
        while (i < n && s[i] == ' ')
            ++i;
    };
    std::string clean;
    skipBlanks();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        clean.push_back(s[i++]);
        skipBlanks();
    }
    size_t digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') {
        clean.push_back(s[i++]);
        ++digits;
    }
    if (i < n && s[i] == '.') {
        clean.push_back(s[i++]);
        while (i < n && s[i] >= '0' && s[i] <= '9') {
            clean.push_back(s[i++]);
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        clean.push_back('e');
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            clean.push_back(s[i++]);
        size_t expDigits = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') {
            clean.push_back(s[i++]);
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    skipBlanks();
    if (i != n)
        return std::nullopt;
    const double value = std::strtod(clean.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isNumeric(const QString &text)
{
    return parseNumber(text).has_value();
}

namespace
{
template <typename T> std::optional<T> toRange(double value, double lo, double hi)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = roundHalfEven(value);
    if (r < lo || r > hi)
        return std::nullopt;
    return static_cast<T>(r);
}
} // namespace

std::optional<int16_t> toInt16(double value)
{
    return toRange<int16_t>(value, -32768.0, 32767.0);
}
std::optional<int32_t> toInt32(double value)
{
    return toRange<int32_t>(value, -2147483648.0, 2147483647.0);
}
std::optional<uint8_t> toByte(double value)
{
    return toRange<uint8_t>(value, 0.0, 255.0);
}

std::optional<int16_t> textToInt16(const QString &text)
{
    const auto v = parseNumber(text);
    return v ? toInt16(*v) : std::nullopt;
}
std::optional<int32_t> textToInt32(const QString &text)
{
    const auto v = parseNumber(text);
    return v ? toInt32(*v) : std::nullopt;
}
std::optional<uint8_t> textToByte(const QString &text)
{
    const auto v = parseNumber(text);
    return v ? toByte(*v) : std::nullopt;
}

} // namespace velmar
