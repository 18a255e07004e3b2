// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of other formats as frames: colours, transparency, shared
// tables, animations, the clipboard, the open path and the CLI.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifread.h"
#include "imageimport.h"
#include "importoptions_dialog.h"
#include "mdimain.h"
#include "support/cli.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace velmar;
using namespace velmar::test;

namespace
{

QString pngFile(const QString &name, const QImage &image)
{
    const QString path = tempPath(name);
    EXPECT_TRUE(image.save(path, "PNG")) << qPrintable(path);
    return path;
}

// Vertical stripes of the given colours, one after another.
QImage stripes(int w, int h, const QList<QRgb> &colours)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, colours[x * colours.size() / w]);
    return image;
}

QImage gradient(int w, int h, int seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 255 / w + seed * 70) % 256, y * 255 / h, (x + y + seed * 40) % 256));
    return image;
}

// An antialiased disc on a fully transparent ground.
QImage disc(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(200, 40, 90));
    p.setPen(QPen(QColor(20, 20, 160), 3));
    p.drawEllipse(4, 4, side - 8, side - 8);
    return image;
}

QRgb frameColour(const PicInfo &pic, int index)
{
    const Rgb c = pic.colors[size_t(index)];
    return qRgb(c.r, c.g, c.b);
}

struct PictureCase {
    const char *name;
    QImage (*make)();
    int colours; // the table size expected, or 0: any power of two
    bool transparent;
    bool exact; // few colours: every pixel keeps its colour
};

class PictureImportTest : public ::testing::TestWithParam<PictureCase>
{
};

TEST_P(PictureImportTest, BecomesAFrameAtItsOwnSize)
{
    const PictureCase &c = GetParam();
    const QImage source = c.make().convertToFormat(QImage::Format_ARGB32);
    Document doc;
    ImportOptions options;
    options.delay = 42;
    ASSERT_TRUE(importImageFiles(doc, {pngFile(QStringLiteral("case.png"), source)}, options).ok());
    ASSERT_EQ(doc.picCount(), 1);
    const PicInfo &pic = doc.pic(0);
    ASSERT_EQ(pic.lWidth, source.width());
    ASSERT_EQ(pic.lHeight, source.height());
    EXPECT_TRUE(pic.nColors >= 2 && (pic.nColors & (pic.nColors - 1)) == 0) << pic.nColors;
    if (c.colours) {
        EXPECT_EQ(pic.nColors, c.colours);
    }
    const QStringList row = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                             QString::number(source.width()), QString::number(source.height())};
    for (int col = 0; col < row.size(); ++col)
        EXPECT_EQ(doc.grid().TextMatrix(1, col), row[col]) << col;
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), QStringLiteral("42"));
    EXPECT_EQ(doc.globals().width, QString::number(source.width()));
    EXPECT_EQ(doc.globals().height, QString::number(source.height()));
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColTransparent), c.transparent ? "1" : "0");

    const int t = doc.grid().TextMatrix(1, PropertyGrid::ColTransIndex).toInt();
    int transparentPixels = 0;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb want = source.pixel(x, y);
            const int index = pic.bits[size_t(y * pic.lWidth + x)];
            ASSERT_LT(index, pic.nColors);
            if (c.transparent) {
                // Alpha-0 pixels use the transparent entry, opaque ones never.
                if (qAlpha(want) == 0) {
                    ASSERT_EQ(index, t) << x << "," << y;
                } else if (qAlpha(want) == 255) {
                    ASSERT_NE(index, t) << x << "," << y;
                }
                transparentPixels += index == t;
            }
            if (c.exact && qAlpha(want) == 255) {
                ASSERT_EQ(frameColour(pic, index), want) << x << "," << y;
            }
        }
    }
    if (c.transparent) {
        EXPECT_GT(transparentPixels, 0);
    }

    // Saved as a picture, the frame keeps its colours and its transparency.
    const QString saved = tempPath(QStringLiteral("frame.png"));
    ASSERT_TRUE(saveFrameImage(doc, 0, saved).ok());
    const QImage back = QImage(saved).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(back.size(), source.size());
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const int index = pic.bits[size_t(y * pic.lWidth + x)];
            const QRgb want = c.transparent && index == t ? qRgba(0, 0, 0, 0) : frameColour(pic, index);
            ASSERT_EQ(back.pixel(x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, PictureImportTest,
    ::testing::Values(PictureCase{"TwoColours",
                                  [] {
                                      return stripes(20, 10, {qRgb(255, 255, 255), qRgb(10, 20, 30)});
                                  },
                                  2, false, true},
                      PictureCase{"ThreeColours",
                                  [] {
                                      return stripes(30, 7, {qRgb(255, 0, 0), qRgb(0, 128, 0), qRgb(0, 0, 255)});
                                  },
                                  4, false, true},
                      PictureCase{"SmoothGradient", [] { return gradient(160, 120, 0); }, 256, false, false},
                      PictureCase{"DiscWithAlpha", [] { return disc(48); }, 0, true, false},
                      PictureCase{"TwoColoursAndClear",
                                  [] {
                                      return stripes(24, 5, {qRgba(0, 0, 0, 0), qRgb(250, 200, 0), qRgb(0, 90, 255)});
                                  },
                                  4, true, true}),
    [](const ::testing::TestParamInfo<PictureCase> &info) { return std::string(info.param.name); });

// One table for all pictures is the global table of the saved file: no
// image carries a local one. Each its own table, they do.
TEST(ImageImportTest, SharedPaletteMeansNoLocalTables)
{
    const QStringList files = {pngFile(QStringLiteral("s0.png"), gradient(64, 40, 0)),
                               pngFile(QStringLiteral("s1.png"), gradient(50, 60, 1)),
                               pngFile(QStringLiteral("s2.png"), disc(32))};
    for (const bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "shared" : "own tables");
        Document doc;
        ImportOptions options;
        options.sharedPalette = shared;
        ASSERT_TRUE(importImageFiles(doc, files, options).ok());
        ASSERT_EQ(doc.picCount(), 3);
        const QString out = tempPath(QStringLiteral("shared.gif"));
        ASSERT_TRUE(SaveGif(doc, out).ok());
        const Result<GifFile> gif = readGifFile(out);
        ASSERT_TRUE(gif.ok()) << qPrintable(gif.error());
        ASSERT_EQ(gif->images.size(), 3u);
        int locals = 0;
        for (size_t i = 0; i < 3; ++i) {
            locals += !gif->images[i].localTable.empty();
            if (shared) {
                EXPECT_EQ(doc.pic(int(i)).nColors, doc.pic(0).nColors);
                EXPECT_EQ(doc.pic(int(i)).colors, doc.pic(0).colors);
            }
        }
        EXPECT_EQ(locals, shared ? 0 : 2);
        // The transparent disc has the table's transparent entry.
        EXPECT_EQ(doc.grid().TextMatrix(3, PropertyGrid::ColTransparent), QStringLiteral("1"));
    }
}

// An animated WebP built from single-frame files the plugin writes: their
// image chunks go into ANMF chunks behind VP8X and ANIM.
QByteArray chunk(const char *fourcc, const QByteArray &payload)
{
    QByteArray c(fourcc, 4);
    char size[4];
    qToLittleEndian<quint32>(quint32(payload.size()), size);
    c.append(size, 4).append(payload);
    if (payload.size() % 2)
        c.append('\0');
    return c;
}

QByteArray u24(int v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF) + char((v >> 16) & 0xFF);
}

QByteArray animatedWebp(const QList<QImage> &frames, const QList<int> &durationsMs)
{
    const int w = frames[0].width();
    const int h = frames[0].height();
    QByteArray body = chunk("VP8X", QByteArray(1, char(0x02)) + QByteArray(3, '\0') + u24(w - 1) + u24(h - 1));
    body += chunk("ANIM", QByteArray(6, '\0'));
    for (int i = 0; i < frames.size(); ++i) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "webp");
        writer.setQuality(100);
        if (!writer.write(frames[i]))
            return {};
        const QByteArray single = buffer.data();
        QByteArray image;
        for (qsizetype at = 12; at + 8 <= single.size();) {
            const QByteArray fourcc = single.mid(at, 4);
            const qsizetype size = qFromLittleEndian<quint32>(single.constData() + at + 4);
            if (fourcc == "ALPH" || fourcc == "VP8 " || fourcc == "VP8L")
                image += single.mid(at, 8 + size + (size % 2));
            at += 8 + size + (size % 2);
        }
        body += chunk("ANMF", u24(0) + u24(0) + u24(w - 1) + u24(h - 1) + u24(durationsMs[i]) + char(0x02) + image);
    }
    return QByteArray("RIFF") +
           [&] {
               char size[4];
               qToLittleEndian<quint32>(quint32(body.size() + 4), size);
               return QByteArray(size, 4);
           }() +
           "WEBP" + body;
}

TEST(ImageImportTest, AnimatedWebpGivesItsFramesAndDelays)
{
    if (!QImageWriter::supportedImageFormats().contains("webp"))
        GTEST_SKIP() << "no WebP image plugin (qt6-image-formats-plugins)";
    const QList<QRgb> colours = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    QList<QImage> frames;
    for (QRgb c : colours)
        frames << stripes(16, 12, {c});
    const QString path = writeTempFile(QStringLiteral("anim.webp"), animatedWebp(frames, {100, 250, 70}));
    Document doc;
    ASSERT_TRUE(importImageFiles(doc, {path}, ImportOptions{}).ok());
    ASSERT_EQ(doc.picCount(), 3);
    const QStringList delays = {QStringLiteral("10"), QStringLiteral("25"), QStringLiteral("7")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(doc.grid().TextMatrix(i + 1, PropertyGrid::ColDelay), delays[i]) << i;
        EXPECT_EQ(frameColour(doc.pic(i), doc.pic(i).bits[0]), colours[i]) << i;
    }
}

// The import is one step: undo takes back the frames, the grow of the
// canvas and the grid rows, and nothing else.
// A cancel keeps the frames of the pictures read before it; with a shared
// table the first pass over the files only builds the table.
TEST(ImageImportTest, ProgressCountsStepsAndACancelKeepsTheFramesAdded)
{
    const QStringList files = {pngFile(QStringLiteral("c0.png"), disc(20)),
                               pngFile(QStringLiteral("c1.png"), gradient(20, 20, 1)),
                               pngFile(QStringLiteral("c2.png"), disc(30))};
    const struct {
        bool shared;
        int stopAt; // the step whose call answers false; -1: none
        int frames;
        int calls;
    } cases[] = {{false, -1, 3, 3}, {false, 1, 1, 2}, {true, -1, 3, 6}, {true, 1, 0, 2}, {true, 4, 1, 5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "shared " << c.shared << " stop at " << c.stopAt);
        Document doc;
        ImportOptions options;
        options.sharedPalette = c.shared;
        int calls = 0;
        const Result<int> added =
            importImageFiles(doc, files, options, nullptr, [&](int done, int total, const QString &path) {
                EXPECT_EQ(done, calls);
                EXPECT_EQ(total, c.shared ? 6 : 3);
                EXPECT_EQ(path, files[done % 3]);
                ++calls;
                return done != c.stopAt;
            });
        ASSERT_TRUE(added.ok()) << qPrintable(added.error());
        EXPECT_EQ(*added, c.frames);
        EXPECT_EQ(doc.picCount(), c.frames);
        EXPECT_EQ(calls, c.calls);
    }
}

TEST(ImageImportTest, UndoRestoresTheDocument)
{
    Document doc;
    addFrame(doc, 10, 50, std::vector<uint8_t>(500, 1), 2, greys());
    doc.setGblWidth(QStringLiteral("10"));
    doc.setGblHeight(QStringLiteral("50"));
    doc.clearHistory();
    const int rows = doc.grid().Rows();
    const QStringList files = {pngFile(QStringLiteral("u0.png"), disc(40)),
                               pngFile(QStringLiteral("u1.png"), gradient(30, 20, 2))};
    ASSERT_TRUE(importImageFiles(doc, files, ImportOptions{}).ok());
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(doc.globals().width, QStringLiteral("40"));
    EXPECT_EQ(doc.globals().height, QStringLiteral("50")); // grows, never shrinks
    EXPECT_EQ(doc.undoCount(), 1);
    EXPECT_EQ(doc.undoText(), QStringLiteral("画像を追加"));
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.globals().width, QStringLiteral("10"));
    EXPECT_EQ(doc.globals().height, QStringLiteral("50"));
    EXPECT_EQ(doc.grid().Rows(), rows);
    EXPECT_EQ(doc.pic(0).lWidth, 10);
}

// The open path (dialog, drop, command line): GIF files open as GIF,
// pictures are imported with options asked once, anything else is skipped
// with the note a non-GIF file gets.
struct OpenCase {
    const char *name;
    QStringList files; // "gif", "png", "text"
    bool accept;       // the answer to the options dialog
    int frames;
    int asked;
    const char *undoText;
};

class OpenPicturesTest : public ::testing::TestWithParam<OpenCase>
{
};

TEST_P(OpenPicturesTest, RoutesByContent)
{
    const OpenCase &c = GetParam();
    GifBytes gif;
    gif.header(4, 1, true, 1).image(0, 0, 4, 1, false).data(2, literalStream({0, 1, 2, 3}, 2)).trailer();
    const QString gifPath = writeTempFile(QStringLiteral("open.gif"), gif.toByteArray());
    const QString pngPath = pngFile(QStringLiteral("open.png"), gradient(8, 6, 3));
    const QString textPath = writeTempFile(QStringLiteral("text.png"), "just some text\n");
    QStringList paths;
    for (const QString &f : c.files)
        paths << (f == "gif" ? gifPath : f == "png" ? pngPath : textPath);

    Document doc;
    mdiMain window(doc);
    int asked = 0;
    window.setImportOptionsAsker([&]() -> std::optional<ImportOptions> {
        ++asked;
        return c.accept ? std::optional<ImportOptions>(ImportOptions{}) : std::nullopt;
    });
    window.openFiles(paths);
    EXPECT_EQ(doc.picCount(), c.frames);
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(doc.undoText(), QString::fromUtf8(c.undoText));
    EXPECT_EQ(doc.undoCount(), c.frames ? 1 : 0);
    EXPECT_EQ(doc.statusText().contains(notAPictureNote(textPath)), c.files.contains("text"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenPicturesTest,
    ::testing::Values(OpenCase{"Picture", {"png"}, true, 1, 1, "画像を追加"},
                      OpenCase{"TextNamedPng", {"text"}, true, 0, 0, ""},
                      OpenCase{"Cancelled", {"png"}, false, 0, 1, ""},
                      OpenCase{"TwoPicturesOneQuestion", {"png", "text", "png"}, true, 2, 1, "画像を追加"},
                      OpenCase{"GifBetweenPictures", {"png", "gif", "png"}, true, 3, 1, "開く"}),
    [](const ::testing::TestParamInfo<OpenCase> &info) { return std::string(info.param.name); });

TEST(PasteTest, ClipboardPictureBecomesAFrameWithTheLastOptions)
{
    Document doc;
    mdiMain window(doc);
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(window.pasteImage());
    EXPECT_EQ(doc.picCount(), 0);

    ImportOptions last;
    last.delay = 33;
    ImportOptionsDialog::rememberOptions(last);
    QGuiApplication::clipboard()->setImage(gradient(21, 13, 4));
    ASSERT_TRUE(window.pasteImage());
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).lWidth, 21);
    EXPECT_EQ(doc.pic(0).lHeight, 13);
    EXPECT_EQ(doc.grid().TextMatrix(1, PropertyGrid::ColDelay), QStringLiteral("33"));
    EXPECT_EQ(doc.undoText(), QStringLiteral("画像を追加"));
}

TEST(ImportOptionsTest, ParsesTheOptionText)
{
    struct Case {
        const char *text;
        bool ok;
        ImportOptions want;
    };
    const Case cases[] = {
        {"-", true, {}},
        {"dither=0,shared=1", true, {false, true, 10, 100}},
        {"quality=40 delay=7", true, {true, false, 7, 40}},
        {"quality=101", false, {}},
        {"dither=2", false, {}},
        {"delay", false, {}},
        {"speed=3", false, {}},
    };
    for (const Case &c : cases) {
        const Result<ImportOptions> r = parseImportOptions(QString::fromLatin1(c.text));
        EXPECT_EQ(r.ok(), c.ok) << c.text;
        if (r.ok() && c.ok) {
            EXPECT_TRUE(*r == c.want) << c.text;
        }
    }
}

QJsonObject cliInfo(const QStringList &args)
{
    const CliRun run = runCli(args);
    EXPECT_EQ(run.status, 0) << qPrintable(run.err);
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

// import, save and open again: the frames hold the colours the import chose,
// which for a picture of four colours are those four.
TEST(ImportCliTest, ImportSaveOpenKeepsTheQuantisedColours)
{
    const QList<QRgb> colours = {qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 255), qRgb(250, 250, 250)};
    const QString png = pngFile(QStringLiteral("cli.png"), stripes(40, 10, colours));
    const QString gif = tempPath(QStringLiteral("cli.gif"));
    const QJsonObject imported = cliInfo({"import", png, "dither=0,delay=20", "save", gif, "info"});
    const QJsonObject reopened = cliInfo({"open", gif, "info"});
    const QJsonObject a = imported["frames"].toArray()[0].toObject();
    const QJsonObject b = reopened["frames"].toArray()[0].toObject();
    ASSERT_EQ(a["colors"].toInt(), 4);
    EXPECT_EQ(b["colors"], a["colors"]);
    EXPECT_EQ(b["palette"], a["palette"]);
    EXPECT_EQ(b["pixels_sha256"], a["pixels_sha256"]);
    EXPECT_EQ(b["row"].toArray()[PropertyGrid::ColDelay].toString(), QStringLiteral("20"));
    const QByteArray palette = QByteArray::fromHex(a["palette"].toString().toLatin1());
    QSet<QRgb> got;
    for (int k = 0; k + 2 < palette.size(); k += 3)
        got << qRgb(uint8_t(palette[k]), uint8_t(palette[k + 1]), uint8_t(palette[k + 2]));
    EXPECT_EQ(got, QSet<QRgb>(colours.begin(), colours.end()));

    const CliRun text = runCli({"import", writeTempFile(QStringLiteral("cli.txt.png"), "text"), "-", "info"});
    EXPECT_EQ(text.status, 1);
    EXPECT_TRUE(text.err.contains(QStringLiteral("not a picture file"))) << qPrintable(text.err);
}

} // namespace
