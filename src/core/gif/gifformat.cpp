#include "gif/gifformat.h"

#include "platform/numeric.h"

#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <iconv.h>
#include <optional>

namespace velmar
{

int interlacedRow(int k, int h)
{
    const int a = (h + 7) / 8; // rows of pass 1: 0, 8, 16, ...
    const int b = (h + 3) / 4; // plus pass 2: 4, 12, 20, ...
    const int d = (h + 1) / 2; // plus pass 3: 2, 6, 10, ...
    if (k < a)
        return 8 * k;
    if (k < b)
        return 8 * (k - a) + 4;
    if (k < d)
        return 4 * (k - b) + 2;
    return 2 * (k - d) + 1;
}

int colorCountFromField(int field)
{
    return 1 << ((field & 7) + 1);
}

int colorSizeField(int count)
{
    if (count < 2)
        return 0;
    return std::clamp(int(roundHalfEven(std::log2(double(count)))) - 1, 0, 7);
}

int minCodeSizeFor(int count)
{
    if (count < 2)
        return 2;
    return std::clamp(int(roundHalfEven(std::log2(double(count)))), 2, 8);
}

int powerOfTwoCount(int count)
{
    int c = 2;
    while (c < count && c < 256)
        c *= 2;
    return c;
}

namespace
{

// Converts with iconv; nullopt when some input has no form in the target
// code page or the converter is missing.
std::optional<QByteArray> convert(const char *to, const char *from, const QByteArray &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return std::nullopt;
    QByteArray out;
    out.resize(in.size() * 4 + 16);
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    char *dst = out.data();
    size_t dstLeft = size_t(out.size());
    bool ok = true;
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == size_t(-1)) {
            if (errno == E2BIG) {
                const qsizetype used = dst - out.data();
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = size_t(out.size() - used);
                continue;
            }
            ok = false; // EILSEQ or EINVAL: a character without a form there
            break;
        }
    }
    if (ok && iconv(cd, nullptr, nullptr, &dst, &dstLeft) == size_t(-1))
        ok = false;
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    out.resize(dst - out.data());
    return out;
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    // A leading byte-order mark is kept as text: it is part of the comment.
    // Stateless, so a sequence cut off at the end counts as an error.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString decodeComment(const QByteArray &bytes)
{
    if (auto text = strictUtf8(bytes))
        return *text;
    if (auto utf8 = convert("UTF-8", "CP932", bytes))
        return QString::fromUtf8(*utf8);
    // Not CP932 either (a lead byte without its trail byte): keep what is
    // readable rather than dropping the comment.
    return QString::fromLatin1(bytes);
}

QByteArray encodeComment(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (auto cp932 = convert("CP932", "UTF-8", utf8)) {
        if (decodeComment(*cp932) == text)
            return *cp932;
    }
    return utf8;
}

} // namespace velmar
