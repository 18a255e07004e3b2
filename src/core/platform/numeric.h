#pragma once

#include <QString>

#include <cmath>
#include <cstdint>
#include <optional>

namespace velmar
{

// The one parser for numbers typed by the user or stored in grid cells.
// Accepted: optional blanks, an optional sign, optional blanks, digits with an
// optional decimal point and fraction (at least one digit), an optional
// exponent, optional blanks. Full-width digits, signs, point, exponent letter
// and the ideographic space count as their ASCII forms, so the default text
// "０" of the global fields reads as 0. An empty or blank text is not a number.
std::optional<double> parseNumber(const QString &text);
bool isNumeric(const QString &text);

// Nearest integer with halves to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2): the rounding of every conversion from a double to an integer.
// Infinities, NaN and doubles of 2^52 and more are returned as they are; a
// negative value that rounds to zero gives +0, only -0 itself gives -0.
// Effects round several times per pixel, so this stays inline and cheap:
// adding and taking away 2^52 leaves no bits below the units place, and the
// hardware rounds the dropped fraction to nearest, ties to even (the default
// rounding mode, which the program never changes).
inline double roundHalfEven(double value)
{
    if (!(std::fabs(value) < 0x1p52) || value == 0)
        return value;
    const double shift = std::copysign(0x1p52, value);
    // Without -ffast-math the compiler may not fold the two operations away.
    return (value + shift) - shift;
}

// Round half to even, then check the range of the target type. nullopt when
// the rounded value does not fit (or the value is not finite).
std::optional<int16_t> toInt16(double value);
std::optional<int32_t> toInt32(double value);
std::optional<uint8_t> toByte(double value);

// Parse then convert; nullopt when the text is not numeric or out of range.
std::optional<int16_t> textToInt16(const QString &text);
std::optional<int32_t> textToInt32(const QString &text);
std::optional<uint8_t> textToByte(const QString &text);

// A number as the program writes it into fields and cells: decimal, no
// leading zeros, no blanks.
inline QString numberText(long long value)
{
    return QString::number(value);
}

} // namespace velmar
