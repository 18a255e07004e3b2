#include "gif/gifwrite.h"

#include "gif/gifformat.h"
#include "gif/lzw.h"

#include <algorithm>
#include <span>
#include <vector>

namespace velmar
{

namespace
{

void put8(std::vector<uint8_t> &out, int v)
{
    out.push_back(uint8_t(v));
}

void put16(std::vector<uint8_t> &out, int v)
{
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t((v >> 8) & 0xFF));
}

void putTable(std::vector<uint8_t> &out, const std::vector<Rgb> &table)
{
    for (const Rgb &c : table)
        out.insert(out.end(), {c.r, c.g, c.b});
}

// Application extension with the repeat count, 19 bytes:
//   21 FF 0B "NETSCAPE2.0" 03 01 count(16-bit LE) 00
void putLoopBlock(std::vector<uint8_t> &out, int count)
{
    out.insert(out.end(), {kExtensionIntroducer, kApplicationLabel, 0x0B});
    for (char c : QByteArrayLiteral("NETSCAPE2.0"))
        put8(out, c);
    out.insert(out.end(), {0x03, 0x01});
    put16(out, count);
    put8(out, 0);
}

// Graphic control extension, 8 bytes:
//   21 F9 04 packed(disposal <<2 | user input <<1 | transparent)
//   delay(16-bit LE) index 00
void putControlBlock(std::vector<uint8_t> &out, const GifControl &c)
{
    out.insert(out.end(), {kExtensionIntroducer, kControlLabel, 0x04});
    put8(out, (c.disposal & 7) * 4 + (c.userInput ? 2 : 0) + (c.transparent ? 1 : 0));
    put16(out, c.delay);
    put8(out, c.transparentIndex);
    put8(out, 0);
}

// Image descriptor: 2C left top width height (16-bit LE each),
// packed(local table <<7 | interlaced <<6 | local size field).
void putImageDescriptor(std::vector<uint8_t> &out, const GifImage &img)
{
    put8(out, kImageIntroducer);
    put16(out, img.left);
    put16(out, img.top);
    put16(out, img.width);
    put16(out, img.height);
    int packed = img.interlaced ? 64 : 0;
    if (!img.localTable.empty())
        packed += 128 + colorSizeField(int(img.localTable.size()));
    put8(out, packed);
    putTable(out, img.localTable);
}

void putComment(std::vector<uint8_t> &out, const QByteArray &bytes)
{
    out.insert(out.end(), {kExtensionIntroducer, kCommentLabel});
    for (qsizetype at = 0; at < bytes.size(); at += kMaxSubBlock) {
        const qsizetype n = std::min<qsizetype>(kMaxSubBlock, bytes.size() - at);
        put8(out, int(n));
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + n);
    }
    put8(out, 0);
}

} // namespace

int effectiveMinCodeSize(const GifFile &gif, const GifImage &image)
{
    if (image.minCodeSize > 0)
        return image.minCodeSize;
    const size_t tableSize = image.localTable.empty() ? gif.globalTable.size() : image.localTable.size();
    int count = int(tableSize);
    const std::span<const uint8_t> indices = image.pixels();
    if (!indices.empty())
        count = std::max(count, int(*std::max_element(indices.begin(), indices.end())) + 1);
    return minCodeSizeFor(powerOfTwoCount(count));
}

Result<QByteArray> encodeGifFile(const GifFile &gif, const GifWriteProgress &progress)
{
    std::vector<uint8_t> out;
    for (char c : QByteArrayLiteral("GIF89a"))
        put8(out, c);
    // Logical screen descriptor: width height (16-bit LE), packed(global
    // table <<7 | colour resolution 7 <<4 | size field), background, aspect.
    put16(out, gif.screenWidth);
    put16(out, gif.screenHeight);
    put8(out, gif.globalTable.empty() ? 0x70 : 0xF0 + colorSizeField(int(gif.globalTable.size())));
    put8(out, gif.backgroundIndex);
    put8(out, gif.aspect);
    putTable(out, gif.globalTable);
    if (gif.hasLoop)
        putLoopBlock(out, gif.loopCount);

    std::vector<uint8_t> stored;
    for (size_t i = 0; i < gif.images.size(); ++i) {
        const GifImage &img = gif.images[i];
        if (img.hasControl)
            putControlBlock(out, img.control);
        putImageDescriptor(out, img);
        const int m = effectiveMinCodeSize(gif, img);
        put8(out, m);
        if (!img.encoded.empty()) {
            out.insert(out.end(), img.encoded.begin(), img.encoded.end());
        } else {
            std::span<const uint8_t> pixels = img.pixels();
            if (img.interlaced && img.width > 0) {
                const size_t w = size_t(img.width);
                const uint8_t *indices = pixels.data();
                stored.resize(pixels.size());
                for (int k = 0; k < img.height; ++k) {
                    const uint8_t *src = indices + size_t(interlacedRow(k, img.height)) * w;
                    std::copy(src, src + w, stored.begin() + qsizetype(size_t(k) * w));
                }
                pixels = stored;
            }
            const LzwEncodeOptions options{.deferClear = img.deferClear, .leadingClear = !img.noLeadingClear};
            if (Result<void> coded = LZWEncode(pixels, m, out, options); !coded)
                return fail(QStringLiteral("image %1: %2").arg(i).arg(coded.error()));
        }
        put8(out, 0);
        if (progress && !progress(int(i), qsizetype(out.size())))
            return fail(QStringLiteral("中止しました"));
    }
    if (!gif.comment.isEmpty())
        putComment(out, gif.comment);
    put8(out, kTrailer);
    return QByteArray(reinterpret_cast<const char *>(out.data()), qsizetype(out.size()));
}

} // namespace velmar
