#pragma once

// Builders for crafted GIF files in tests: readable byte lists, block by
// block, and a literal-only LZW code stream whose clear codes and end code
// the test places itself.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace velmar::test
{

class GifBytes
{
  public:
    GifBytes &u8(std::initializer_list<int> bytes);
    GifBytes &u16(int value);
    GifBytes &text(std::string_view s);
    GifBytes &append(const std::vector<uint8_t> &bytes);

    // "GIF89a", the screen descriptor; a global table of 2^(sizeField+1)
    // entries (entry k = (k, 2k, 3k)) when withTable.
    GifBytes &header(int width, int height, bool withTable, int sizeField);
    // 21 F9 04 packed delay index 00.
    GifBytes &control(int disposal, bool transparent, int delay, int transIndex);
    // 2C, position, size, packed (local table of 2^(sizeField+1) entries,
    // entry k = (255 - k, k, 7) when localField >= 0).
    GifBytes &image(int left, int top, int width, int height, bool interlaced, int localField = -1);
    // Minimum code size, the stream in sub-blocks of at most 255, 00.
    GifBytes &data(int minCodeSize, const std::vector<uint8_t> &stream);
    // Text split into sub-blocks of at most chunk bytes, then 00.
    GifBytes &subBlocks(std::string_view s, int chunk = 255);
    GifBytes &trailer() { return u8({0x3B}); }

    const std::vector<uint8_t> &bytes() const { return bytes_; }
    QByteArray toByteArray() const;

  private:
    std::vector<uint8_t> bytes_;
};

// A code stream that sends every pixel as its own root code, with the code
// width the decoder expects. clearEvery > 0 puts a clear code before every
// clearEvery-th pixel (after the first); withEnd appends the end code.
std::vector<uint8_t> literalStream(const std::vector<uint8_t> &pixels, int minCodeSize, int clearEvery = 0,
                                   bool withEnd = true, bool leadingClear = true);

// Writes bytes to a file and returns its path; the file lives in a
// per-process temporary folder.
QString writeTempFile(const QString &name, const QByteArray &bytes);
QString tempPath(const QString &name);
QByteArray readFileBytes(const QString &path);

} // namespace velmar::test
