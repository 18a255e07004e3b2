// The reader against giflib on the public GIF test suites: for every file
// giflib decodes, every frame's indices and colour table must equal giflib's;
// every file must read without harm; and what we read must survive a save and
// a second read.
#include "gif/gifio.h"
#include "platform/numeric.h"
#include "shell/document.h"
#include "support/gifbytes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <iostream>
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
    QStringList partial;
};

// Where the two readers may part on damaged input: we stop reading at the
// first image whose code stream is damaged (giflib stops decoding an image
// after its last pixel and goes on), and we refuse images of zero size or
// of more pixels than we allocate. Then the frames we did read must still
// match giflib's, and we must not have read more.
void compareWithGiflib(const QString &path, const Reference &ref, const Document &doc, const GifResult &result,
                       Tally &tally)
{
    const size_t ours = size_t(doc.gPicCount);
    const bool complete = result.ok && ours == ref.frames.size();
    if (!complete) {
        tally.partial << QDir(suiteDir()).relativeFilePath(path);
        EXPECT_LT(ours, ref.frames.size()) << path.toStdString() << ": more frames than giflib";
    }
    for (size_t i = 0; i < std::min(ours, ref.frames.size()); ++i) {
        const Reference::Frame &f = ref.frames[i];
        const PicInfo &pic = doc.pic(int(i));
        ASSERT_EQ(pic.lWidth, f.width) << path.toStdString() << " frame " << i;
        ASSERT_EQ(pic.lHeight, f.height) << path.toStdString() << " frame " << i;
        const bool lastOfPartialRead = !complete && i + 1 == ours;
        if (!lastOfPartialRead) {
            EXPECT_TRUE(pic.bits == f.indices) << path.toStdString() << " frame " << i << ": indices differ";
        }
        if (!f.colors.empty()) {
            EXPECT_EQ(pic.nColors, int(f.colors.size())) << path.toStdString() << " frame " << i;
            for (size_t k = 0; k < f.colors.size(); ++k)
                EXPECT_EQ(pic.colors[k], f.colors[k]) << path.toStdString() << " frame " << i << " entry " << k;
        }
    }
    ++tally.compared;
}

TEST(Conformance, IndicesAndColourTablesEqualGiflibsForEveryFrame)
{
    const QStringList files = suiteFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no GIF conformance suites at " << suiteDir().toStdString();
    Tally tally;
    for (const QString &path : files) {
        Document doc;
        const GifResult result = OpenGif(doc, path);
        // Whatever the file, the document is left consistent.
        EXPECT_FALSE(doc.hasStagedFrame()) << path.toStdString();
        EXPECT_EQ(doc.statusText(), QString()) << path.toStdString();
        EXPECT_GE(doc.grid().Rows(), doc.gPicCount + 1) << path.toStdString();
        const std::unique_ptr<Reference> ref = giflibReading(path);
        if (!ref) {
            ++tally.refusedByGiflib;
            continue;
        }
        compareWithGiflib(path, *ref, doc, result, tally);
    }
    std::cout << "[          ] " << files.size() << " files: " << tally.compared << " compared with giflib ("
              << tally.partial.size()
              << " damaged files read only in part: " << tally.partial.join(QStringLiteral(", ")).toStdString() << "), "
              << tally.refusedByGiflib << " refused by giflib\n";
    EXPECT_GT(tally.compared, 100);
}

constexpr size_t kRoundTripPixelLimit = size_t(1) << 23;

// Grid cells the writer converts, compared as numbers ("０" and "0" agree).
double cellValue(const QString &text)
{
    return parseNumber(text).value_or(-1e300);
}

TEST(Conformance, OpenSaveOpenKeepsPixelsPalettesAndProperties)
{
    const QStringList files = suiteFiles();
    if (files.isEmpty())
        GTEST_SKIP() << "no GIF conformance suites at " << suiteDir().toStdString();
    int roundTrips = 0;
    int refusedSaves = 0;
    int tooLarge = 0;
    for (const QString &path : files) {
        Document first;
        OpenGif(first, path);
        if (first.gPicCount == 0)
            continue;
        // Damaged files that claim images of tens of megapixels prove
        // nothing more than small ones and would take most of the run.
        size_t pixels = 0;
        for (int i = 0; i < first.gPicCount; ++i)
            pixels += first.pic(i).pixelCount();
        if (pixels > kRoundTripPixelLimit) {
            ++tooLarge;
            continue;
        }
        const QString out = tempPath(QStringLiteral("roundtrip.gif"));
        QFile::remove(out);
        const GifResult saved = SaveGif(first, out);
        // A frame whose colour table was cut off by the end of the file
        // keeps empty property cells, which the writer refuses to convert;
        // nothing may have been written then.
        if (!saved.ok && saved.message.startsWith(QStringLiteral("保存できません（フレーム "))) {
            EXPECT_FALSE(QFile::exists(out)) << path.toStdString();
            ++refusedSaves;
            continue;
        }
        ASSERT_TRUE(saved.ok) << path.toStdString() << ": " << saved.message.toStdString();
        Document second;
        const GifResult reread = OpenGif(second, out);
        ASSERT_TRUE(reread.ok) << path.toStdString();
        ASSERT_EQ(second.gPicCount, first.gPicCount) << path.toStdString();
        for (int i = 0; i < first.gPicCount; ++i) {
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
                EXPECT_EQ(cellValue(second.grid().TextMatrix(i + 1, col)),
                          cellValue(first.grid().TextMatrix(i + 1, col)))
                    << path.toStdString() << " frame " << i << " column " << col;
        }
        EXPECT_EQ(cellValue(second.globals().loop), cellValue(first.globals().loop)) << path.toStdString();
        EXPECT_EQ(second.globals().loopBlock, first.globals().loopBlock) << path.toStdString();
        if (first.globals().comment != QStringLiteral(" ")) {
            EXPECT_EQ(second.globals().comment, first.globals().comment) << path.toStdString();
        }
        ++roundTrips;
    }
    std::cout << "[          ] " << roundTrips << " files saved and read back, " << refusedSaves
              << " refused by the writer's checks, " << tooLarge << " larger than the test's limit\n";
    EXPECT_GT(roundTrips, 100);
}

} // namespace
