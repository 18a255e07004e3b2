#include "support/gifbytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace velmar::test
{

GifBytes &GifBytes::u8(std::initializer_list<int> bytes)
{
    for (int b : bytes)
        bytes_.push_back(uint8_t(b));
    return *this;
}

GifBytes &GifBytes::u16(int value)
{
    return u8({value & 0xFF, (value >> 8) & 0xFF});
}

GifBytes &GifBytes::text(std::string_view s)
{
    for (char c : s)
        bytes_.push_back(uint8_t(c));
    return *this;
}

GifBytes &GifBytes::append(const std::vector<uint8_t> &bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBytes &GifBytes::header(int width, int height, bool withTable, int sizeField)
{
    text("GIF89a").u16(width).u16(height).u8({(withTable ? 0xF0 : 0x70) | sizeField, 0, 0});
    if (withTable)
        for (int k = 0; k < (2 << sizeField); ++k)
            u8({k, 2 * k, 3 * k});
    return *this;
}

GifBytes &GifBytes::control(int disposal, bool transparent, int delay, int transIndex)
{
    return u8({0x21, 0xF9, 0x04, (disposal & 7) << 2 | (transparent ? 1 : 0)}).u16(delay).u8({transIndex, 0});
}

GifBytes &GifBytes::image(int left, int top, int width, int height, bool interlaced, int localField)
{
    u8({0x2C}).u16(left).u16(top).u16(width).u16(height);
    int packed = interlaced ? 0x40 : 0;
    if (localField >= 0)
        packed |= 0x80 | localField;
    u8({packed});
    if (localField >= 0)
        for (int k = 0; k < (2 << localField); ++k)
            u8({255 - k, k, 7});
    return *this;
}

GifBytes &GifBytes::data(int minCodeSize, const std::vector<uint8_t> &stream)
{
    u8({minCodeSize});
    for (size_t at = 0; at < stream.size(); at += 255) {
        const size_t n = std::min<size_t>(255, stream.size() - at);
        u8({int(n)});
        bytes_.insert(bytes_.end(), stream.begin() + long(at), stream.begin() + long(at + n));
    }
    return u8({0});
}

GifBytes &GifBytes::subBlocks(std::string_view s, int chunk)
{
    for (size_t at = 0; at < s.size(); at += size_t(chunk)) {
        const size_t n = std::min(size_t(chunk), s.size() - at);
        u8({int(n)});
        text(s.substr(at, n));
    }
    return u8({0});
}

QByteArray GifBytes::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char *>(bytes_.data()), qsizetype(bytes_.size()));
}

std::vector<uint8_t> literalStream(const std::vector<uint8_t> &pixels, int minCodeSize, int clearEvery, bool withEnd,
                                   bool leadingClear)
{
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    const int clear = 1 << minCodeSize;
    int width = minCodeSize + 1;
    int next = clear + 2;
    bool first = true; // the first code after a clear defines nothing
    const auto put = [&](int code) {
        acc |= uint32_t(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(uint8_t(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    const auto putClear = [&] {
        put(clear);
        width = minCodeSize + 1;
        next = clear + 2;
        first = true;
    };
    if (leadingClear)
        putClear();
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (clearEvery > 0 && i > 0 && i % size_t(clearEvery) == 0)
            putClear();
        put(pixels[i]);
        if (!first && next < 4096) {
            ++next;
            if (next == (1 << width) && width < 12)
                ++width;
        }
        first = false;
    }
    if (withEnd)
        put(clear + 1);
    if (bits > 0)
        out.push_back(uint8_t(acc & 0xFF));
    return out;
}

QString tempPath(const QString &name)
{
    static QTemporaryDir dir;
    return QDir(dir.path()).filePath(name);
}

QString writeTempFile(const QString &name, const QByteArray &bytes)
{
    const QString path = tempPath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace velmar::test
