// The reader against giflib on the public GIF test suites: for every file
// giflib decodes, every frame's indices and colour table must equal giflib's;
// every file must read without harm; what we read must survive a save and a
// second read; and a viewer and our player must show what a viewer shows of
// the original.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifread.h"
#include "platform/numeric.h"
#include "player/compositor.h"
#include "support/cli.h"
#include "support/gifbytes.h"
#include "support/refviewer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <memory>

using namespace velmar;
using namespace velmar::test;

namespace
{

QString suiteDir()
{
    return QStringLiteral(VELMAR_SHARED_DIR "/gif-conformance");
}

QStringList suiteFiles()
{
    QStringList files;
    QDirIterator it(suiteDir(), {QStringLiteral("*.gif")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

struct Reference {
    struct Frame {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> indices;
        std::vector<Rgb> colors; // empty when the frame has no table at all
    };
    std::vector<Frame> frames;
};

// giflib's reading of the file, or nullptr when giflib refuses it.
std::unique_ptr<Reference> giflibReading(const QString &path)
{
    int error = 0;
    GifFileType *gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    if (!gif)
        return nullptr;
    std::unique_ptr<Reference> ref;
    if (DGifSlurp(gif) == GIF_OK) {
        ref = std::make_unique<Reference>();
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage &img = gif->SavedImages[i];
            Reference::Frame f;
            f.width = img.ImageDesc.Width;
            f.height = img.ImageDesc.Height;
            const size_t n = size_t(f.width) * size_t(f.height);
            if (img.RasterBits)
                f.indices.assign(img.RasterBits, img.RasterBits + n);
            const ColorMapObject *map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
            if (map)
                for (int k = 0; k < map->ColorCount; ++k)
                    f.colors.push_back({map->Colors[k].Red, map->Colors[k].Green, map->Colors[k].Blue});
            ref->frames.push_back(std::move(f));
        }
    }
    DGifCloseFile(gif, &error);
    return ref;
}

struct Tally {
    int compared = 0;
    int refusedByGiflib = 0;
};

// A file giflib decodes is read whole: as many images as giflib finds, each
// with giflib's indices and colours.
void compareWithGiflib(const QString &path, const Reference &ref, const Result<GifFile> &read, Tally &tally)
{
    ASSERT_TRUE(read.ok()) << path.toStdString() << ": " << read.error().toStdString();
    const std::vector<GifImage> &images = read->images;
    EXPECT_EQ(images.size(), ref.frames.size()) << path.toStdString() << ": image count";
    for (size_t i = 0; i < std::min(images.size(), ref.frames.size()); ++i) {
        const Reference::Frame &f = ref.frames[i];
        const GifImage &image = images[i];
        ASSERT_EQ(image.width, f.width) << path.toStdString() << " image " << i;
        ASSERT_EQ(image.height, f.height) << path.toStdString() << " image " << i;
        EXPECT_TRUE(image.indices == f.indices) << path.toStdString() << " image " << i << ": indices differ";
        if (!f.colors.empty()) {
            EXPECT_EQ(image.localTable.empty() ? read->globalTable : image.localTable, f.colors)
                << path.toStdString() << " image " << i << ": colour table";
        }
    }
    ++tally.compared;
}

TEST(ConformanceNeedsShared, IndicesAndColourTablesEqualGiflibsForEveryFrame)
{
    const QStringList files = suiteFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "needs the GIF conformance suites of ../shared, not found at " << suiteDir().toStdString();
    Tally tally;
    for (const QString &path : files) {
        // Whatever the file, a document it is read into is left consistent.
        Document doc;
        OpenGif(doc, path);
        EXPECT_FALSE(doc.hasStagedFrame()) << path.toStdString();
        EXPECT_EQ(doc.statusText(), QString()) << path.toStdString();
        EXPECT_GE(doc.grid().Rows(), doc.picCount() + 1) << path.toStdString();
        const std::unique_ptr<Reference> ref = giflibReading(path);
        if (!ref) {
            ++tally.refusedByGiflib;
            continue;
        }
        compareWithGiflib(path, *ref, readGifFile(path), tally);
    }
    std::cout << "[          ] " << files.size() << " files: " << tally.compared << " compared with giflib, "
              << tally.refusedByGiflib << " refused by giflib\n";
    EXPECT_GT(tally.compared, 100);
}

constexpr size_t kRoundTripPixelLimit = size_t(1) << 23;

// Grid cells the writer converts, compared as numbers ("０" and "0" agree).
double cellValue(const QString &text)
{
    return parseNumber(text).value_or(-1e300);
}

// What we read must come back from our own save unchanged.
void expectSameReading(const QString &path, const Document &first, const Document &second)
{
    ASSERT_EQ(second.picCount(), first.picCount()) << path.toStdString();
    for (int i = 0; i < first.picCount(); ++i) {
        const PicInfo &a = first.pic(i);
        const PicInfo &b = second.pic(i);
        ASSERT_EQ(b.lWidth, a.lWidth) << path.toStdString() << " frame " << i;
        ASSERT_EQ(b.lHeight, a.lHeight) << path.toStdString() << " frame " << i;
        EXPECT_TRUE(a.bits == b.bits) << path.toStdString() << " frame " << i << ": pixels changed";
        EXPECT_GE(b.nColors, a.nColors) << path.toStdString() << " frame " << i;
        for (int k = 0; k < a.nColors; ++k)
            EXPECT_EQ(b.colors[size_t(k)], a.colors[size_t(k)])
                << path.toStdString() << " frame " << i << " entry " << k;
        for (int col = PropertyGrid::ColX; col <= PropertyGrid::ColDisposal; ++col)
            EXPECT_EQ(cellValue(second.grid().TextMatrix(i + 1, col)), cellValue(first.grid().TextMatrix(i + 1, col)))
                << path.toStdString() << " frame " << i << " column " << col;
    }
    EXPECT_EQ(cellValue(second.globals().loop), cellValue(first.globals().loop)) << path.toStdString();
    EXPECT_EQ(second.globals().loopBlock, first.globals().loopBlock) << path.toStdString();
    if (first.globals().comment != QStringLiteral(" ")) {
        EXPECT_EQ(second.globals().comment, first.globals().comment) << path.toStdString();
    }
}

// How often a check found a file equal, different (by the kind of the first
// difference) or could not judge it (by why).
struct Outcomes {
    explicit Outcomes(const char *name) : check(name) {}

    const char *check;
    int equal = 0;
    std::map<std::string, int> different;
    std::map<std::string, int> skipped;

    // difference: empty when equal, else "kind: where".
    void add(const QString &path, const QString &difference)
    {
        if (difference.isEmpty()) {
            ++equal;
            return;
        }
        ++different[difference.section(QLatin1Char(':'), 0, 0).toStdString()];
        ADD_FAILURE() << check << ": " << path.toStdString() << ": " << difference.toStdString();
    }
    void print() const
    {
        int diff = 0, skip = 0;
        std::string kinds, whys;
        for (const auto &[kind, n] : different) {
            diff += n;
            kinds += " " + kind + " " + std::to_string(n) + ";";
        }
        for (const auto &[why, n] : skipped) {
            skip += n;
            whys += " " + why + " " + std::to_string(n) + ";";
        }
        std::cout << "[          ] " << check << ": " << equal + diff << " compared, " << equal << " equal, " << diff
                  << " different (" << kinds << " ), " << skip << " skipped (" << whys << " )\n";
    }
};

QString where(size_t frame, long long pixel, int width)
{
    return QStringLiteral("frame %1, x %2, y %3")
        .arg(frame)
        .arg(width > 0 ? pixel % width : 0)
        .arg(width > 0 ? pixel / width : 0);
}

// The first way in which a copy looks different from the original in a viewer.
QString viewDifference(const ViewerResult &original, ViewerResult copy, int canvasW, int canvasH)
{
    // A first image that reaches past the file's screen enlarges the canvas
    // (so nothing of it is cut off): the saved file's screen is that canvas,
    // and what the original screen showed must still show in its corner.
    if (copy.width == canvasW && copy.height == canvasH && canvasW >= original.width && canvasH >= original.height)
        copy = cropView(copy, original.width, original.height);
    if (!copy.unusable.isEmpty())
        return QStringLiteral("copy unusable: ") + copy.unusable;
    if (copy.frames.size() != original.frames.size())
        return QStringLiteral("frame count: %1 instead of %2").arg(copy.frames.size()).arg(original.frames.size());
    if (copy.width != original.width || copy.height != original.height)
        return QStringLiteral("screen size: %1x%2 instead of %3x%4")
            .arg(copy.width)
            .arg(copy.height)
            .arg(original.width)
            .arg(original.height);
    for (size_t i = 0; i < original.frames.size(); ++i) {
        if (copy.frames[i].delay != original.frames[i].delay)
            return QStringLiteral("delay: frame %1, %2 instead of %3")
                .arg(i)
                .arg(copy.frames[i].delay)
                .arg(original.frames[i].delay);
        const long long p = firstDifference(original.frames[i].rgba, copy.frames[i].rgba);
        if (p >= 0)
            return QStringLiteral("pixels: ") + where(i, p, original.width);
    }
    return {};
}

// The first screen of the player that shows something else than the viewer
// where the viewer's pixel is opaque (what shows through transparent pixels
// is the player's own choice).
QString playerDifference(const QString &path, const ViewerResult &view, int canvasW, int canvasH)
{
    const QString dir = tempPath(QStringLiteral("play"));
    QDir(dir).removeRecursively();
    const CliRun r =
        runCli({QStringLiteral("open"), path, QStringLiteral("play"), QString::number(view.frames.size()), dir});
    if (r.status != 0)
        return QStringLiteral("player failed: ") + r.err.trimmed();
    for (size_t t = 0; t < view.frames.size(); ++t) {
        const QByteArray ppm = readFileBytes(dir + QStringLiteral("/%1.ppm").arg(t, 4, 10, QLatin1Char('0')));
        // "P6", width, height, 255, each followed by one whitespace byte, then RGB.
        const QList<QByteArray> head = ppm.left(64).simplified().split(' ');
        if (head.size() < 4 || head[0] != "P6")
            return QStringLiteral("player failed: screen %1 is not a PPM").arg(t);
        const int w = head[1].toInt(), h = head[2].toInt();
        const bool enlarged = w == canvasW && h == canvasH && w >= view.width && h >= view.height;
        if (!enlarged && (w != view.width || h != view.height))
            return QStringLiteral("screen size: %1x%2 instead of %3x%4").arg(w).arg(h).arg(view.width).arg(view.height);
        const qsizetype start = ppm.size() - qsizetype(w) * h * 3;
        if (start < 0)
            return QStringLiteral("player failed: screen %1 is cut short").arg(t);
        // Only the viewer's screen is compared; an enlarged canvas has it in
        // its top-left corner.
        std::vector<uint8_t> rgba(size_t(view.width) * size_t(view.height) * 4, 255);
        for (size_t y = 0; y < size_t(view.height); ++y)
            for (size_t x = 0; x < size_t(view.width); ++x)
                for (size_t c = 0; c < 3; ++c)
                    rgba[(y * size_t(view.width) + x) * 4 + c] =
                        uint8_t(ppm[start + qsizetype((y * size_t(w) + x) * 3 + c)]);
        const long long p = firstDifference(view.frames[t].rgba, rgba, true);
        if (p >= 0)
            return QStringLiteral("pixels: ") + where(t, p, view.width);
    }
    return {};
}

// Every file of the suites, and the example animation: read, saved and read
// again, our reading must not change; where giflib reads the whole file, a
// viewer must show the saved file as it shows the original, and the player
// must show what the viewer shows.
TEST(ConformanceNeedsShared, SaveKeepsWhatWeReadAndWhatViewersShowAndThePlayerShowsIt)
{
    QStringList files = suiteFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "needs the GIF conformance suites of ../shared, not found at " << suiteDir().toStdString();
    files << QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
    int roundTrips = 0;
    int refusedSaves = 0;
    int tooLarge = 0;
    Outcomes saveCheck{"viewer, original against saved"};
    Outcomes playCheck{"player against viewer"};
    for (const QString &path : files) {
        ViewerResult view = viewGif(path);
        if (view.unusable.isEmpty() && view.frames.empty())
            view.unusable = QStringLiteral("no image in the file");
        if (!view.unusable.isEmpty()) {
            ++saveCheck.skipped[view.unusable.toStdString()];
            ++playCheck.skipped[view.unusable.toStdString()];
        } else if (std::max(view.width, view.height) > Compositor::kMaxCanvasSide) {
            // The player clips its canvas there on purpose, to bound memory.
            ++playCheck.skipped["screen beyond the player's largest canvas"];
        }
        Document first;
        OpenGif(first, path);
        const int canvasW = int(cellValue(first.globals().width));
        const int canvasH = int(cellValue(first.globals().height));
        if (view.unusable.isEmpty() && std::max(view.width, view.height) <= Compositor::kMaxCanvasSide)
            playCheck.add(path, playerDifference(path, view, canvasW, canvasH));

        if (first.picCount() == 0) {
            if (view.unusable.isEmpty())
                saveCheck.add(path, QStringLiteral("frame count: none read of %1").arg(view.frames.size()));
            continue;
        }
        // Damaged files that claim images of tens of megapixels prove
        // nothing more than small ones and would take most of the run.
        size_t pixels = 0;
        for (int i = 0; i < first.picCount(); ++i)
            pixels += first.pic(i).pixelCount();
        if (pixels > kRoundTripPixelLimit) {
            ++tooLarge;
            if (view.unusable.isEmpty())
                ++saveCheck.skipped["larger than the test's limit"];
            continue;
        }
        const QString out = tempPath(QStringLiteral("roundtrip.gif"));
        QFile::remove(out);
        const Result<void> saved = SaveGif(first, out);
        // A frame whose colour table was cut off by the end of the file
        // keeps empty property cells, which the writer refuses to convert;
        // nothing may have been written then.
        if (!saved.ok() && saved.error().startsWith(QStringLiteral("保存できません（フレーム "))) {
            EXPECT_FALSE(QFile::exists(out)) << path.toStdString();
            ++refusedSaves;
            if (view.unusable.isEmpty())
                ++saveCheck.skipped["refused by the writer's checks"];
            continue;
        }
        ASSERT_TRUE(saved.ok()) << path.toStdString() << ": " << saved.error().toStdString();
        if (view.unusable.isEmpty())
            saveCheck.add(path, viewDifference(view, viewGif(out), canvasW, canvasH));
        Document second;
        const OpenGifResult reread = OpenGif(second, out);
        ASSERT_TRUE(reread.ok()) << path.toStdString();
        expectSameReading(path, first, second);
        ++roundTrips;
    }
    std::cout << "[          ] " << roundTrips << " files saved and read back, " << refusedSaves
              << " refused by the writer's checks, " << tooLarge << " larger than the test's limit\n";
    saveCheck.print();
    playCheck.print();
    EXPECT_GT(roundTrips, 100);
    EXPECT_GT(saveCheck.equal + playCheck.equal, 0);
}

} // namespace
