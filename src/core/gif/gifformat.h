#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace velmar
{

// Block introducers and extension labels of the GIF89a layout.
inline constexpr uint8_t kExtensionIntroducer = 0x21;
inline constexpr uint8_t kImageIntroducer = 0x2C;
inline constexpr uint8_t kTrailer = 0x3B;
inline constexpr uint8_t kPlainTextLabel = 0x01;
inline constexpr uint8_t kControlLabel = 0xF9;
inline constexpr uint8_t kCommentLabel = 0xFE;
inline constexpr uint8_t kApplicationLabel = 0xFF;
// A data sub-block carries at most 255 bytes behind its length byte.
inline constexpr int kMaxSubBlock = 255;

// An interlaced image of height h stores its rows in four passes (every 8th
// row from 0, every 8th from 4, every 4th from 2, every 2nd from 1). Returns
// the image row (from the top) held by stored row k. The reader and the
// writer both use this one mapping.
int interlacedRow(int k, int h);

// Colour counts are powers of two from 2 to 256. The size field of a count C
// is log2 C - 1; a field N stands for 2^(N+1) entries.
int colorCountFromField(int field);
// log2 C - 1, rounded half to even (exact for powers of two).
int colorSizeField(int count);
// The LZW minimum code size for a frame of count colours: log2 count rounded
// half to even, at least 2 (2 and 4 colours -> 2, 8 -> 3, ..., 256 -> 8).
int minCodeSizeFor(int count);
// The smallest power of two from 2 to 256 that is at least count.
int powerOfTwoCount(int count);

// Comment text as stored in a file. Bytes that are valid UTF-8 are read as
// UTF-8, anything else as CP932 (the code page the program has always
// written).
QString decodeComment(const QByteArray &bytes);
// CP932 when every character has a CP932 form and those bytes read back as
// the same text; otherwise UTF-8. (Some CP932 byte strings, such as
// half-width katakana pairs, are also valid UTF-8 and would read back as
// other characters, so those comments go out as UTF-8.)
QByteArray encodeComment(const QString &text);

} // namespace velmar
