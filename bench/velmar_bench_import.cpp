// SPDX-License-Identifier: GPL-3.0-or-later
// Picture import against pngquant, which runs the same quantiser on its own.
//
// Quality: four generated 1280x720 pictures (a photo-like gradient with
// noise, a screenshot with text, a diagram with antialiased lines, a picture
// with alpha), each imported into a Document and each run through pngquant
// with the same quality, speed and dithering; the PSNR of either result
// against the picture. A GIF holds one bit of alpha, so the alpha picture is
// cut at half opacity before both get it: the table compares quantisers, not
// what a format can store. Transparent pixels count as a grey ground.
//
// Speed: 100 such pictures (25 of each kind, different seeds) imported in
// one go against one pngquant run over the same 100 files; wall time, the
// best of VELMAR_BENCH_RUNS runs each (one unless set).
#include "document/document.h"
#include "imageimport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace velmar;

namespace
{

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kSpeedPictures = 100;
const QRgb kGround = qRgb(128, 128, 128);

QImage photo(int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QRandomGenerator rnd{quint32(seed)};
    for (int y = 0; y < kHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const double u = double(x) / kWidth;
            const double v = double(y) / kHeight;
            const int noise = int(rnd.bounded(25)) - 12;
            const int r = int(200 * u + 40 * std::sin(v * 6 + seed)) + noise;
            const int g = int(120 + 100 * std::sin(u * 3 + v * 2 + seed)) + noise;
            const int b = int(220 * v + 30 * std::cos(u * 9)) + noise;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

QImage screenshot(int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(qRgb(246, 246, 246));
    QPainter p(&image);
    p.fillRect(0, 0, kWidth, 32, QColor(40, 60, 110));
    p.fillRect(0, 32, 220, kHeight - 32, QColor(226, 230, 236));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(14);
    p.setFont(font);
    QRandomGenerator rnd{quint32(seed)};
    for (int line = 0; line < 38; ++line) {
        p.setPen(line % 7 == 0 ? QColor(20, 90, 200) : QColor(30, 30, 30));
        QString text;
        const int words = 4 + int(rnd.bounded(10));
        for (int w = 0; w < words; ++w)
            text += QStringLiteral("word%1 画像 ").arg(rnd.bounded(1000));
        p.drawText(240, 56 + line * 17, text);
        p.drawText(12, 56 + line * 17, QStringLiteral("項目 %1").arg(line + seed));
    }
    p.fillRect(900, 600, 120, 32, QColor(0, 120, 215));
    p.setPen(Qt::white);
    p.drawText(930, 621, QStringLiteral("OK"));
    return image;
}

QImage diagram(int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rnd{quint32(seed)};
    const QColor colours[] = {QColor(200, 30, 30), QColor(30, 130, 60), QColor(30, 60, 200), QColor(0, 0, 0)};
    for (int i = 0; i < 60; ++i) {
        p.setPen(QPen(colours[i % 4], 1 + rnd.bounded(4)));
        QPainterPath path(QPointF(rnd.bounded(kWidth), rnd.bounded(kHeight)));
        path.cubicTo(rnd.bounded(kWidth), rnd.bounded(kHeight), rnd.bounded(kWidth), rnd.bounded(kHeight),
                     rnd.bounded(kWidth), rnd.bounded(kHeight));
        p.drawPath(path);
        p.drawEllipse(QPointF(rnd.bounded(kWidth), rnd.bounded(kHeight)), 20 + rnd.bounded(40), 20 + rnd.bounded(40));
    }
    return image;
}

// Shapes and a gradient on a transparent ground, cut at half opacity.
QImage withAlpha(int seed)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, kWidth, kHeight);
    g.setColorAt(0, QColor(250, 180, 20));
    g.setColorAt(1, QColor(20, 60, 220));
    p.setBrush(g);
    p.setPen(QPen(QColor(10, 10, 10), 4));
    QRandomGenerator rnd{quint32(seed)};
    for (int i = 0; i < 12; ++i)
        p.drawEllipse(QPointF(rnd.bounded(kWidth), rnd.bounded(kHeight)), 60 + rnd.bounded(140), 60 + rnd.bounded(90));
    p.end();
    for (int y = 0; y < kHeight; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x)
            line[x] = qAlpha(line[x]) < 128 ? 0 : (line[x] | 0xFF000000u);
    }
    return image;
}

struct Kind {
    const char *name;
    QImage (*make)(int seed);
};
const Kind kKinds[] = {{"photo", photo}, {"screenshot", screenshot}, {"diagram", diagram}, {"alpha", withAlpha}};

QRgb onGround(QRgb c)
{
    return qAlpha(c) < 128 ? kGround : c;
}

double psnr(const QImage &original, const QImage &result)
{
    const QImage a = original.convertToFormat(QImage::Format_ARGB32);
    const QImage b = result.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return -1;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *la = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *lb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = onGround(la[x]);
            const QRgb q = onGround(lb[x]);
            const int dr = qRed(p) - qRed(q);
            const int dg = qGreen(p) - qGreen(q);
            const int db = qBlue(p) - qBlue(q);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

QStringList pngquantArgs(const ImportOptions &o)
{
    QStringList args = {QStringLiteral("--force"),
                        QStringLiteral("--speed"),
                        QStringLiteral("4"),
                        QStringLiteral("--quality"),
                        QStringLiteral("0-%1").arg(o.quality),
                        QStringLiteral("--ext"),
                        QStringLiteral("-pq.png")};
    if (!o.dither)
        args << QStringLiteral("--nofs");
    return args;
}

bool runPngquant(const ImportOptions &o, const QStringList &files)
{
    QProcess p;
    p.start(QStringLiteral("pngquant"), pngquantArgs(o) + QStringList{QStringLiteral("--")} + files);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "pngquant failed: %s\n", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

QString quantizedName(const QString &file)
{
    return file.left(file.size() - 4) + QStringLiteral("-pq.png");
}

} // namespace

int main(int argc, char *argv[])
{
    // The screenshot is drawn with text: fonts need a GUI application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = std::max(1, qEnvironmentVariableIntValue("VELMAR_BENCH_RUNS"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::printf("Picture import against pngquant (speed 4), %dx%d, PSNR in dB\n\n", kWidth, kHeight);
    std::printf("%-11s %-7s %-7s | %-14s | %-14s | %6s\n", "picture", "dither", "quality", "ours: table dB",
                "pngquant: n dB", "diff");
    bool within = true;
    for (const Kind &kind : kKinds) {
        const QImage picture = kind.make(1);
        const QString file = QDir(dir.path()).filePath(QString::fromLatin1(kind.name) + QStringLiteral(".png"));
        picture.save(file, "PNG");
        for (const bool dither : {true, false}) {
            for (const int quality : {100, 60}) {
                ImportOptions o;
                o.dither = dither;
                o.quality = quality;
                Document doc;
                const Result<int> added = importImageFiles(doc, {file}, o);
                if (!added || *added != 1)
                    return 1;
                const double ours = psnr(picture, frameImage(doc, 0));
                if (!runPngquant(o, {file}))
                    return 1;
                const QImage theirs(quantizedName(file));
                const double reference = psnr(picture, theirs);
                const double diff = ours - reference;
                within = within && diff >= -0.1;
                std::printf("%-11s %-7s %-7d | %5d %8.2f | %5d %8.2f | %+6.2f\n", kind.name, dither ? "on" : "off",
                            quality, doc.pic(0).nColors, ours, int(theirs.colorCount()), reference, diff);
            }
        }
    }
    std::printf("\nevery picture within 0.1 dB of pngquant (or better): %s\n\n", within ? "yes" : "NO");

    QStringList files;
    for (int i = 0; i < kSpeedPictures; ++i) {
        const Kind &kind = kKinds[i % 4];
        const QString file = QDir(dir.path()).filePath(QStringLiteral("speed%1.png").arg(i, 3, 10, QLatin1Char('0')));
        kind.make(i + 2).save(file, "PNG");
        files << file;
    }
    const ImportOptions defaults;
    double oursMs = 1e300;
    double theirsMs = 1e300;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        {
            Document doc;
            const Result<int> added = importImageFiles(doc, files, defaults);
            if (!added || *added != kSpeedPictures)
                return 1;
        }
        oursMs = std::min(oursMs, double(t.nsecsElapsed()) / 1e6);
        t.restart();
        if (!runPngquant(defaults, files))
            return 1;
        theirsMs = std::min(theirsMs, double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("%d pictures, dithered, quality 100: import %.0f ms, pngquant %.0f ms, ratio %.2f (target <= 1.2)\n",
                kSpeedPictures, oursMs, theirsMs, oursMs / theirsMs);
    return within ? 0 : 1;
}
