// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageimport.h"

#include "document/document.h"
#include "platform/numeric.h"

#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace velmar
{
namespace
{

const QString kStepName = QStringLiteral("画像を追加");

// The speed libimagequant's own tools use unless told otherwise: the
// trade-off the quality setting is judged by.
constexpr int kSpeed = 4;

struct LiqAttrDeleter {
    void operator()(liq_attr *a) const { liq_attr_destroy(a); }
};
struct LiqImageDeleter {
    void operator()(liq_image *i) const { liq_image_destroy(i); }
};
struct LiqResultDeleter {
    void operator()(liq_result *r) const { liq_result_destroy(r); }
};
struct LiqHistogramDeleter {
    void operator()(liq_histogram *h) const { liq_histogram_destroy(h); }
};
using LiqAttr = std::unique_ptr<liq_attr, LiqAttrDeleter>;
using LiqImage = std::unique_ptr<liq_image, LiqImageDeleter>;
using LiqResult = std::unique_ptr<liq_result, LiqResultDeleter>;
using LiqHistogram = std::unique_ptr<liq_histogram, LiqHistogramDeleter>;

// A picture as libimagequant takes it: straight RGBA, four bytes a pixel
// with no row padding, and alpha made all or nothing.
struct RgbaPicture {
    QImage image;
    bool transparent = false;
};

RgbaPicture prepare(const QImage &picture)
{
    RgbaPicture p;
    p.image = picture.convertToFormat(QImage::Format_RGBA8888);
    if (!picture.hasAlphaChannel())
        return p;
    const qsizetype n = qsizetype(p.image.width()) * p.image.height();
    uint8_t *px = p.image.bits();
    for (qsizetype i = 0; i < n; ++i, px += 4) {
        if (px[3] < 128) {
            px[0] = px[1] = px[2] = px[3] = 0;
            p.transparent = true;
        } else {
            px[3] = 255;
        }
    }
    return p;
}

Error liqFailure(liq_error e)
{
    return fail(QStringLiteral("画像の減色に失敗しました (libimagequant エラー %1)").arg(int(e)));
}

// One entry is kept free for the transparent colour when it is needed.
LiqAttr makeAttr(const ImportOptions &options, bool transparent)
{
    LiqAttr attr(liq_attr_create());
    if (!attr)
        return attr;
    liq_set_speed(attr.get(), kSpeed);
    liq_set_quality(attr.get(), 0, std::clamp(options.quality, 0, 100));
    liq_set_max_colors(attr.get(), transparent ? 255 : 256);
    return attr;
}

int tableSize(int used)
{
    int n = 2;
    while (n < used)
        n *= 2;
    return n;
}

// Turns libimagequant's palette and remapped pixels into a frame's picture:
// the fully transparent entry becomes the transparent index (added when
// libimagequant merged it away), and the pixels that are transparent in
// the picture use it and no other pixel does.
QuantizedPicture toFrame(const RgbaPicture &p, const liq_palette &palette, std::vector<uint8_t> &&indices,
                         int forcedTransparent = -1)
{
    QuantizedPicture q;
    q.width = p.image.width();
    q.height = p.image.height();
    int used = int(palette.count);
    for (int i = 0; i < used; ++i)
        q.colors[size_t(i)] = Rgb{palette.entries[i].r, palette.entries[i].g, palette.entries[i].b};
    q.indices = std::move(indices);
    if (p.transparent) {
        int t = forcedTransparent;
        for (int i = 0; i < used && t < 0; ++i)
            if (palette.entries[i].a == 0)
                t = i;
        if (t < 0) {
            t = used++;
            q.colors[size_t(t)] = Rgb{};
        }
        q.transparentIndex = t;
        const uint8_t *px = p.image.constBits();
        for (size_t i = 0; i < q.indices.size(); ++i, px += 4) {
            if (px[3] == 0) {
                q.indices[i] = uint8_t(t);
            } else if (q.indices[i] == t) {
                // An opaque pixel that dithering pushed onto the transparent
                // entry would show a hole: it takes the nearest opaque one.
                int best = -1;
                int bestDistance = 0;
                for (int k = 0; k < int(palette.count); ++k) {
                    if (k == t || palette.entries[k].a == 0)
                        continue;
                    const int dr = palette.entries[k].r - px[0];
                    const int dg = palette.entries[k].g - px[1];
                    const int db = palette.entries[k].b - px[2];
                    const int d = dr * dr + dg * dg + db * db;
                    if (best < 0 || d < bestDistance) {
                        best = k;
                        bestDistance = d;
                    }
                }
                if (best >= 0)
                    q.indices[i] = uint8_t(best);
            }
        }
    }
    q.nColors = tableSize(used);
    return q;
}

Result<QuantizedPicture> quantizeOwn(const RgbaPicture &p, const ImportOptions &options)
{
    LiqAttr attr = makeAttr(options, p.transparent);
    if (!attr)
        return liqFailure(LIQ_OUT_OF_MEMORY);
    const int w = p.image.width();
    const int h = p.image.height();
    LiqImage image(liq_image_create_rgba(attr.get(), p.image.constBits(), w, h, 0));
    if (!image)
        return liqFailure(LIQ_OUT_OF_MEMORY);
    liq_result *raw = nullptr;
    if (const liq_error e = liq_image_quantize(image.get(), attr.get(), &raw); e != LIQ_OK)
        return liqFailure(e);
    LiqResult result(raw);
    liq_set_dithering_level(result.get(), options.dither ? 1.0f : 0.0f);
    std::vector<uint8_t> indices(size_t(w) * size_t(h));
    if (const liq_error e = liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size());
        e != LIQ_OK)
        return liqFailure(e);
    // Remapping refines the palette; the one to keep is the one after it.
    return toFrame(p, *liq_get_palette(result.get()), std::move(indices));
}

// A palette shared by several pictures. libimagequant refines a palette
// while it remaps a picture, which would leave each picture with a table of
// its own; a result whose colours are all fixed stays the same through
// every remap.
class SharedPalette
{
  public:
    Result<void> add(const RgbaPicture &p, const ImportOptions &options)
    {
        if (!attr_) {
            attr_ = makeAttr(options, true);
            if (!attr_)
                return liqFailure(LIQ_OUT_OF_MEMORY);
            histogram_.reset(liq_histogram_create(attr_.get()));
            if (!histogram_)
                return liqFailure(LIQ_OUT_OF_MEMORY);
        }
        LiqImage image(liq_image_create_rgba(attr_.get(), p.image.constBits(), p.image.width(), p.image.height(), 0));
        if (!image)
            return liqFailure(LIQ_OUT_OF_MEMORY);
        if (const liq_error e = liq_histogram_add_image(histogram_.get(), attr_.get(), image.get()); e != LIQ_OK)
            return liqFailure(e);
        transparent_ = transparent_ || p.transparent;
        return {};
    }

    Result<void> finish(const ImportOptions &options)
    {
        if (!histogram_)
            return {};
        liq_result *raw = nullptr;
        if (const liq_error e = liq_histogram_quantize(histogram_.get(), attr_.get(), &raw); e != LIQ_OK)
            return liqFailure(e);
        LiqResult chosen(raw);
        liq_palette palette = *liq_get_palette(chosen.get());
        // A transparent entry every picture can use, whether or not the
        // histogram kept one.
        if (transparent_) {
            bool has = false;
            for (unsigned i = 0; i < palette.count; ++i)
                has = has || palette.entries[i].a == 0;
            if (!has && palette.count < 256)
                palette.entries[palette.count++] = liq_color{0, 0, 0, 0};
        }
        fixedAttr_.reset(liq_attr_create());
        if (!fixedAttr_)
            return liqFailure(LIQ_OUT_OF_MEMORY);
        liq_set_speed(fixedAttr_.get(), kSpeed);
        liq_set_max_colors(fixedAttr_.get(), int(std::max(2u, palette.count)));
        LiqHistogram fixed(liq_histogram_create(fixedAttr_.get()));
        if (!fixed)
            return liqFailure(LIQ_OUT_OF_MEMORY);
        // A histogram of fixed colours alone counts as empty; the same
        // colours as entries give it something to quantise.
        std::vector<liq_histogram_entry> entries;
        for (unsigned i = 0; i < palette.count; ++i) {
            if (const liq_error e = liq_histogram_add_fixed_color(fixed.get(), palette.entries[i], 0); e != LIQ_OK)
                return liqFailure(e);
            entries.push_back(liq_histogram_entry{palette.entries[i], 1});
        }
        if (const liq_error e =
                liq_histogram_add_colors(fixed.get(), fixedAttr_.get(), entries.data(), int(entries.size()), 0);
            e != LIQ_OK)
            return liqFailure(e);
        raw = nullptr;
        if (const liq_error e = liq_histogram_quantize(fixed.get(), fixedAttr_.get(), &raw); e != LIQ_OK)
            return liqFailure(e);
        result_.reset(raw);
        liq_set_dithering_level(result_.get(), options.dither ? 1.0f : 0.0f);
        palette_ = *liq_get_palette(result_.get());
        for (unsigned i = 0; i < palette_.count && transparentIndex_ < 0; ++i)
            if (palette_.entries[i].a == 0)
                transparentIndex_ = int(i);
        return {};
    }

    Result<QuantizedPicture> remap(const RgbaPicture &p)
    {
        const int w = p.image.width();
        const int h = p.image.height();
        LiqImage image(liq_image_create_rgba(fixedAttr_.get(), p.image.constBits(), w, h, 0));
        if (!image)
            return liqFailure(LIQ_OUT_OF_MEMORY);
        std::vector<uint8_t> indices(size_t(w) * size_t(h));
        if (const liq_error e = liq_write_remapped_image(result_.get(), image.get(), indices.data(), indices.size());
            e != LIQ_OK)
            return liqFailure(e);
        QuantizedPicture q = toFrame(p, palette_, std::move(indices), transparentIndex_);
        // Every picture has the same table, transparent or not.
        q.nColors = tableSize(int(palette_.count));
        return q;
    }

  private:
    LiqAttr attr_;
    LiqHistogram histogram_;
    LiqAttr fixedAttr_;
    LiqResult result_;
    liq_palette palette_{};
    int transparentIndex_ = -1;
    bool transparent_ = false;
};

// The pictures of one file, one at a time: all the images of an animated
// file, with the delay each one is shown for.
class PictureFile
{
  public:
    explicit PictureFile(const QString &path) : reader_(path)
    {
        // Reading by contents: a PNG named .jpg is still read.
        reader_.setDecideFormatFromContent(true);
        reader_.setAutoTransform(true);
        count_ = std::max(1, reader_.imageCount());
    }
    bool readable() { return reader_.canRead(); }
    bool animated() const { return count_ > 1; }
    bool atEnd() const { return read_ >= count_; }
    QString errorString() const { return reader_.errorString(); }

    std::optional<QImage> next(int *delayMs)
    {
        QImage image;
        if (atEnd() || !reader_.read(&image))
            return std::nullopt;
        ++read_;
        *delayMs = reader_.nextImageDelay();
        return image;
    }

  private:
    QImageReader reader_;
    int count_ = 1;
    int read_ = 0;
};

Result<int> addFrame(Document &doc, QuantizedPicture &&q, int delay)
{
    Result<int> slot = doc.beginFrame(q.width, q.height, q.nColors, q.colors);
    if (!slot)
        return slot;
    const int n = *slot;
    doc.setPixels(n, std::move(q.indices));
    doc.ShowPic(n);
    const int row = n + 1;
    doc.ensureGridRows(row + 1);
    const QString transparent = numberText(q.transparentIndex >= 0 ? 1 : 0);
    const QString index = numberText(std::max(0, q.transparentIndex));
    const QString cells[PropertyGrid::kCols - 1] = {QStringLiteral("0"),
                                                    QStringLiteral("0"),
                                                    numberText(q.width),
                                                    numberText(q.height),
                                                    QStringLiteral("0"),
                                                    transparent,
                                                    index,
                                                    numberText(delay),
                                                    QStringLiteral("2"),
                                                    QString()};
    doc.setCell(row, PropertyGrid::ColNumber, numberText(n));
    for (int col = PropertyGrid::ColX; col < PropertyGrid::kCols; ++col)
        doc.setCell(row, col, cells[col - 1]);
    // The canvas grows to hold the picture but never shrinks.
    if (textToInt32(doc.globals().width).value_or(0) < q.width)
        doc.setGblWidth(numberText(q.width));
    if (textToInt32(doc.globals().height).value_or(0) < q.height)
        doc.setGblHeight(numberText(q.height));
    doc.endFrame();
    return n;
}

int hundredths(int ms)
{
    return std::clamp((ms + 5) / 10, 0, 65535);
}

QString progressText(const QString &path, int picture)
{
    return QStringLiteral("画像を追加中 (%1 %2 枚目)").arg(path).arg(picture);
}

QString brokenNote(const QString &path, const QString &why)
{
    return QStringLiteral("画像を読めません: ") + path + QStringLiteral(" (") + why + QLatin1Char(')');
}

} // namespace

QString notAPictureNote(const QString &path)
{
    return QStringLiteral("GIF ファイルではないため開きませんでした: ") + path;
}

Result<ImportOptions> parseImportOptions(const QString &text, ImportOptions base)
{
    if (text == QLatin1String("-"))
        return base;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString &pair : text.split(separators, Qt::SkipEmptyParts)) {
        const int eq = int(pair.indexOf(QLatin1Char('=')));
        const QString name = eq > 0 ? pair.left(eq) : pair;
        bool ok = eq > 0;
        const int value = ok ? pair.mid(eq + 1).toInt(&ok) : 0;
        if (!ok)
            return fail(QStringLiteral("expected NAME=NUMBER, not ") + pair);
        const auto inRange = [&](int lo, int hi) -> Result<void> {
            if (value < lo || value > hi)
                return fail(QStringLiteral("%1 must be %2 to %3, not %4").arg(name).arg(lo).arg(hi).arg(value));
            return {};
        };
        Result<void> range;
        if (name == QLatin1String("dither")) {
            range = inRange(0, 1);
            base.dither = value != 0;
        } else if (name == QLatin1String("shared")) {
            range = inRange(0, 1);
            base.sharedPalette = value != 0;
        } else if (name == QLatin1String("delay")) {
            range = inRange(0, 65535);
            base.delay = value;
        } else if (name == QLatin1String("quality")) {
            range = inRange(0, 100);
            base.quality = value;
        } else {
            return fail(QStringLiteral("no option ") + name + QStringLiteral(" (dither, shared, delay, quality)"));
        }
        if (!range)
            return fail(range.error());
    }
    return base;
}

QString importOptionsText(const ImportOptions &o)
{
    return QStringLiteral("dither=%1,shared=%2,delay=%3,quality=%4")
        .arg(o.dither ? 1 : 0)
        .arg(o.sharedPalette ? 1 : 0)
        .arg(o.delay)
        .arg(o.quality);
}

Result<std::vector<QuantizedPicture>> quantizePictures(const std::vector<QImage> &pictures,
                                                       const ImportOptions &options)
{
    std::vector<QuantizedPicture> out;
    if (!options.sharedPalette) {
        for (const QImage &picture : pictures) {
            Result<QuantizedPicture> q = quantizeOwn(prepare(picture), options);
            if (!q)
                return fail(q.error());
            out.push_back(std::move(*q));
        }
        return out;
    }
    std::vector<RgbaPicture> prepared;
    SharedPalette shared;
    for (const QImage &picture : pictures) {
        prepared.push_back(prepare(picture));
        if (Result<void> r = shared.add(prepared.back(), options); !r)
            return fail(r.error());
    }
    if (Result<void> r = shared.finish(options); !r)
        return fail(r.error());
    for (const RgbaPicture &p : prepared) {
        Result<QuantizedPicture> q = shared.remap(p);
        if (!q)
            return fail(q.error());
        out.push_back(std::move(*q));
    }
    return out;
}

bool imagePluginReads(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.canRead();
}

QString imageFileFilter()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    patterns.removeDuplicates();
    return QStringLiteral("画像ﾌｧｲﾙ (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

Result<int> importImageFiles(Document &doc, const QStringList &paths, const ImportOptions &options, QStringList *notes,
                             const ImportProgress &progress)
{
    QStringList ignored;
    QStringList &note = notes ? *notes : ignored;
    Document::Step step(doc, kStepName);
    const int before = doc.picCount();
    QStringList readable;
    for (const QString &path : paths) {
        if (imagePluginReads(path))
            readable << path;
        else
            note << notAPictureNote(path);
    }

    // With one table for all, every picture is read twice: once into the
    // histogram and once to be remapped, so that no more than one picture
    // is held at a time however many there are.
    const int total = int(readable.size()) * (options.sharedPalette ? 2 : 1);
    int stepsDone = 0;
    const auto goOn = [&](const QString &path) { return !progress || progress(stepsDone++, total, path); };
    SharedPalette shared;
    if (options.sharedPalette) {
        for (const QString &path : readable) {
            if (!goOn(path))
                return 0;
            PictureFile file(path);
            int ms = 0;
            while (std::optional<QImage> picture = file.next(&ms))
                if (Result<void> r = shared.add(prepare(*picture), options); !r)
                    return fail(r.error());
        }
        if (Result<void> r = shared.finish(options); !r)
            return fail(r.error());
    }

    Result<void> outcome;
    for (const QString &path : readable) {
        if (!goOn(path))
            break;
        PictureFile file(path);
        int ms = 0;
        int done = 0;
        while (outcome) {
            doc.setStatusText(progressText(path, done + 1));
            std::optional<QImage> picture = file.next(&ms);
            if (!picture) {
                if (!file.atEnd())
                    note << brokenNote(path, file.errorString());
                break;
            }
            const RgbaPicture p = prepare(*picture);
            Result<QuantizedPicture> q = options.sharedPalette ? shared.remap(p) : quantizeOwn(p, options);
            if (!q) {
                outcome = fail(q.error());
                break;
            }
            const Result<int> added = addFrame(doc, std::move(*q), file.animated() ? hundredths(ms) : options.delay);
            if (!added)
                outcome = fail(added.error());
            ++done;
        }
        if (!outcome)
            break;
    }
    doc.setStatusText(QString());
    if (!outcome)
        return fail(outcome.error());
    return doc.picCount() - before;
}

Result<int> importImage(Document &doc, const QImage &image, const ImportOptions &options)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        return fail(QStringLiteral("画像がありません"));
    Document::Step step(doc, kStepName);
    Result<QuantizedPicture> q = quantizeOwn(prepare(image), options);
    if (!q)
        return fail(q.error());
    return addFrame(doc, std::move(*q), options.delay);
}

QImage frameImage(const Document &doc, int n)
{
    if (!doc.isFrame(n))
        return {};
    const PicInfo &pic = doc.pic(n);
    QImage image(pic.lWidth, pic.lHeight, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    QList<QRgb> table;
    for (int k = 0; k < 256; ++k)
        table << qRgb(pic.colors[size_t(k)].r, pic.colors[size_t(k)].g, pic.colors[size_t(k)].b);
    const int row = n + 1;
    if (doc.grid().TextMatrix(row, PropertyGrid::ColTransparent).trimmed() == QLatin1String("1")) {
        const std::optional<int32_t> t = textToInt32(doc.grid().TextMatrix(row, PropertyGrid::ColTransIndex));
        if (t && *t >= 0 && *t < 256)
            table[*t] = qRgba(0, 0, 0, 0);
    }
    image.setColorTable(table);
    for (int y = 0; y < pic.lHeight; ++y)
        std::copy_n(pic.pBits() + size_t(y) * size_t(pic.lWidth), pic.lWidth, image.scanLine(y));
    return image;
}

Result<void> saveFrameImage(const Document &doc, int n, const QString &path)
{
    const QImage image = frameImage(doc, n);
    if (image.isNull())
        return fail(QStringLiteral("フレーム %1 がありません").arg(n));
    QImageWriter writer(path, "png");
    if (!writer.write(image))
        return fail(QStringLiteral("画像を保存できません: ") + path + QStringLiteral(" (") + writer.errorString() +
                    QLatin1Char(')'));
    return {};
}

} // namespace velmar
