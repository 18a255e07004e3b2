// Build-time generator of the auto-create dialog's effect samples: runs the
// program's own effects on small pictures drawn in code, checks the results
// against the sample table, and writes them as PNG files together with the
// resource collection file that embeds them.
//
//   velmar_samplegen <output folder>
//
// Exit status 0 on success; any mismatch with the table fails the build.

#include "autocreate/createcommand.h"
#include "autocreate/samples.h"
#include "document/document.h"
#include "effects/effects.h"
#include "effects/geometric.h"
#include "platform/numeric.h"
#include "sampleart.h"

#include <QDir>
#include <QImage>
#include <QSaveFile>

#include <cstdio>
#include <vector>

using namespace velmar;
using velmar::samplegen::Picture;

namespace
{

int addPicture(Document &doc, const Picture &p)
{
    const Result<int> added = doc.beginFrame(p.width, p.height, 256, defaultColorTable());
    if (!added) {
        std::fprintf(stderr, "velmar_samplegen: %s\n", qPrintable(added.error()));
        return -1;
    }
    const int n = *added;
    std::copy(p.pixels.begin(), p.pixels.end(), doc.pixelsForWriting(n).begin());
    doc.ensureGridRows(n + 2);
    const QStringList cells = {numberText(n), "0", "0", numberText(p.width),  numberText(p.height),
                               "0",           "0", "0", QStringLiteral("10"), "0"};
    for (int col = 0; col < cells.size(); ++col)
        doc.setCell(n + 1, col, cells[col]);
    doc.endFrame();
    return n;
}

int black(const Document &doc, int frame)
{
    const PicInfo &p = doc.pic(frame);
    return nearestPaletteIndex(p.colors, p.nColors, 0, 0, 0);
}

std::vector<int> range(int first, int last)
{
    std::vector<int> frames;
    for (int f = first; f <= last; ++f)
        frames.push_back(f);
    return frames;
}

// Each recipe leaves its pictures in doc and returns their frame numbers in
// picture order, or the reason an effect refused.
using Frames = Result<std::vector<int>>;

Frames tileErase(Document &doc, int tiles)
{
    // The base and the erase steps down to the blank picture; the dialog's
    // back-and-forth timer plays the way back itself.
    const int base = addPicture(doc, samplegen::landscape(64, 64));
    if (Result<> r = autoTileErase(doc, tiles, tiles, 5, base, black(doc, base)); !r)
        return fail(r.error());
    return range(base, base + 5);
}

Frames fromTo(Document &doc)
{
    const int a = addPicture(doc, samplegen::landscape(150, 50));
    const int b = addPicture(doc, samplegen::night(150, 50));
    // Four dissolve steps and the copy of the second picture follow b.
    if (Result<> r = autoFromTo(doc, a, b, 5); !r)
        return fail(r.error());
    std::vector<int> frames{a};
    for (int f = b + 1; f <= b + 5; ++f)
        frames.push_back(f);
    return frames;
}

Frames mosaic(Document &doc)
{
    const int base = addPicture(doc, samplegen::landscape(64, 64));
    // Blocks of 2, 4, 8, 16 and 32 pixels after the sharp picture.
    if (Result<> r = autoMosaic(doc, base, 6); !r)
        return fail(r.error());
    return range(base, base + 5);
}

// The cube and the prism: the Create command's own loops, with the tab's
// initial colours (white background, black outline) and the three windows
// kept. Returns the frames the command added.
Frames createOnTab(Document &doc, int tab, const QString &count, const QStringList &windows)
{
    autocreate::FieldValues fields = autocreate::initialFields(tab);
    const autocreate::TabDescriptor &d = autocreate::tabDescriptors()[size_t(tab)];
    fields.insert(d.countField, count);
    for (int k = 0; k < d.windowFields.size(); ++k)
        fields.insert(d.windowFields[k], windows[k]);
    if (!d.clearCheck.isEmpty())
        fields.insert(d.clearCheck, QStringLiteral("0"));
    const int before = doc.picCount();
    if (Result<> created = autocreate::Create(doc, tab, fields); !created)
        return fail(created.error());
    return range(before, doc.picCount() - 1);
}

Frames cube(Document &doc)
{
    addPicture(doc, samplegen::landscape(64, 64));
    addPicture(doc, samplegen::night(64, 64));
    addPicture(doc, samplegen::chequer(64, 64));
    // Half a turn in six frames of round(64 * 1.6) = 102 pixels square.
    return createOnTab(doc, 4, QStringLiteral("6"), {"0", "1", "2"});
}

Frames prism(Document &doc)
{
    addPicture(doc, samplegen::landscape(150, 50));
    addPicture(doc, samplegen::night(150, 50));
    addPicture(doc, samplegen::chequer(150, 50));
    // One whole turn, five frames from face to face, 1.2 times 150 x 50.
    return createOnTab(doc, 5, QStringLiteral("5"), {"0", "1", "2"});
}

Frames ticker(Document &doc)
{
    const int base = addPicture(doc, samplegen::banner(100, 40));
    if (Result<> r = autoTicker(doc, base, 8, 100); !r)
        return fail(r.error());
    return range(base + 1, base + 8);
}

Frames globe(Document &doc)
{
    const int base = addPicture(doc, samplegen::world(64, 64));
    if (Result<> r = autoGlobe(doc, base, 10, black(doc, base)); !r)
        return fail(r.error());
    return range(base + 1, base + 10);
}

Frames coin(Document &doc)
{
    // 86 rows become round(86 * 1.2) = 103.
    const int base = addPicture(doc, samplegen::medal(72, 86));
    const PicInfo &p = doc.pic(base);
    if (Result<> r = autoCardTurn(doc, base, 12, nearestPaletteIndex(p.colors, p.nColors, 120, 70, 10)); !r)
        return fail(r.error());
    return range(base + 1, base + 12);
}

Frames rotate(Document &doc)
{
    const int base = addPicture(doc, samplegen::landscape(60, 60));
    if (Result<> r = autoRotate(doc, base, 20, black(doc, base)); !r)
        return fail(r.error());
    return range(base, base + 19);
}

Frames slideDown(Document &doc)
{
    const int a = addPicture(doc, samplegen::landscape(150, 50));
    const int b = addPicture(doc, samplegen::night(150, 50));
    // The second picture pushes the first out, then the first pushes it
    // back: a, five steps, b, five steps.
    const int firstRun = doc.picCount();
    if (Result<> r = autoSlideDown(doc, a, b, 7); !r)
        return fail(r.error());
    const int copyOfB = doc.picCount() - 1;
    if (Result<> r = autoSlideDown(doc, copyOfB, a, 7); !r)
        return fail(r.error());
    std::vector<int> frames{a};
    for (int f = firstRun; f < doc.picCount() - 1; ++f)
        frames.push_back(f);
    return frames;
}

Frames makeSamples(Document &doc, int tab)
{
    switch (tab) {
    case 0:
        return tileErase(doc, 8);
    case 1:
        return tileErase(doc, 0);
    case 2:
        return fromTo(doc);
    case 3:
        return mosaic(doc);
    case 4:
        return cube(doc);
    case 5:
        return prism(doc);
    case 6:
        return ticker(doc);
    case 7:
        return globe(doc);
    case 8:
        return coin(doc);
    case 9:
        return rotate(doc);
    case 10:
        return slideDown(doc);
    }
    return fail(QStringLiteral("no recipe for tab %1").arg(tab));
}

QImage toImage(const PicInfo &p)
{
    QImage image(p.lWidth, p.lHeight, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int k = 0; k < p.nColors; ++k)
        table.append(qRgb(p.colors[size_t(k)].r, p.colors[size_t(k)].g, p.colors[size_t(k)].b));
    image.setColorTable(table);
    for (int y = 0; y < p.lHeight; ++y)
        std::copy_n(p.pBits() + size_t(y) * size_t(p.lWidth), p.lWidth, image.scanLine(y));
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmar_samplegen <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "velmar_samplegen: cannot create %s\n", argv[1]);
        return 1;
    }
    QString qrc = QStringLiteral("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/samples\">\n");
    for (int tab = 0; tab < autocreate::kTabCount; ++tab) {
        const autocreate::SampleSet &set = autocreate::sampleSets()[size_t(tab)];
        Document doc;
        const Frames made = makeSamples(doc, tab);
        if (!made) {
            std::fprintf(stderr, "velmar_samplegen: tab %d: %s\n", tab, qPrintable(made.error()));
            return 1;
        }
        const std::vector<int> &frames = *made;
        if (int(frames.size()) != set.loaded) {
            std::fprintf(stderr, "velmar_samplegen: tab %d made %d pictures, the table says %d\n", tab,
                         int(frames.size()), set.loaded);
            return 1;
        }
        for (int k = 0; k < set.loaded; ++k) {
            const PicInfo &p = doc.pic(frames[size_t(k)]);
            if (p.lWidth != set.width || p.lHeight != set.height) {
                std::fprintf(stderr, "velmar_samplegen: tab %d picture %d is %dx%d, the table says %dx%d\n", tab, k,
                             p.lWidth, p.lHeight, set.width, set.height);
                return 1;
            }
            const QString name = autocreate::sampleFileName(tab, k);
            if (!toImage(p).save(out.filePath(name), "PNG")) {
                std::fprintf(stderr, "velmar_samplegen: cannot write %s\n", qPrintable(out.filePath(name)));
                return 1;
            }
            qrc += QStringLiteral("  <file>%1</file>\n").arg(name);
        }
    }
    qrc += QStringLiteral("</qresource>\n</RCC>\n");
    QSaveFile file(out.filePath(QStringLiteral("samples.qrc")));
    if (!file.open(QIODevice::WriteOnly) || file.write(qrc.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "velmar_samplegen: cannot write samples.qrc\n");
        return 1;
    }
    return 0;
}
