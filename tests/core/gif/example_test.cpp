// Makes examples/example.gif, the animation `make run` opens, and keeps the
// committed file in step with the writer: the test builds the document,
// saves it and compares the bytes. Run with VELMAR_WRITE_EXAMPLE=1 to write
// the file anew after a deliberate change.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifformat.h"
#include "gif/gifread.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace velmar;
using namespace velmar::test;

namespace
{

constexpr int kSize = 48;
constexpr int kFrames = 6;

// 16 colours: a blue-to-teal ramp for the sky (0..11), then ball colours.
ColorTable skyPalette()
{
    ColorTable t{};
    for (int k = 0; k < 12; ++k)
        t[size_t(k)] = {uint8_t(20 + k * 6), uint8_t(40 + k * 14), uint8_t(120 + k * 11)};
    t[12] = {255, 255, 255};
    t[13] = {250, 200, 40};
    t[14] = {220, 80, 30};
    t[15] = {40, 20, 10};
    return t;
}

// The same sky with a sunset ball: only frame 3 uses it, so it carries a
// local colour table.
ColorTable sunsetPalette()
{
    ColorTable t = skyPalette();
    t[13] = {255, 120, 160};
    t[14] = {160, 30, 90};
    return t;
}

std::vector<uint8_t> picture(int f)
{
    std::vector<uint8_t> px(static_cast<size_t>(kSize * kSize));
    const double angle = 6.28318530717958 * f / kFrames;
    const double cx = kSize / 2.0 + 14 * std::cos(angle);
    const double cy = kSize / 2.0 + 14 * std::sin(angle);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            uint8_t c = uint8_t(y * 12 / kSize);
            if (d < 9)
                c = d < 4 ? 13 : d < 7 ? 14 : 15;
            else if ((x + y + f) % 11 == 0 && y < kSize / 3)
                c = 12; // sparkles
            px[size_t(y * kSize + x)] = c;
        }
    return px;
}

constexpr int kDelays[kFrames] = {8, 12, 20, 40, 12, 8};

void buildExample(Document &doc)
{
    for (int f = 0; f < kFrames; ++f) {
        addFrame(doc, kSize, kSize, picture(f), 16, f == 3 ? sunsetPalette() : skyPalette());
        doc.setCell(f + 1, 6,
                    f % 2 ? QStringLiteral("1") : QStringLiteral("0")); // odd frames transparent
        doc.setCell(f + 1, 7, QStringLiteral("12"));
        doc.setCell(f + 1, 8, QString::number(kDelays[f]));
        doc.setCell(f + 1, 9, QStringLiteral("1"));
    }
    doc.setGblWidth(QString::number(kSize));
    doc.setGblHeight(QString::number(kSize));
    doc.setGblLoop(QStringLiteral("0")); // forever
    doc.setGblLoopBlock(true);
    doc.setGblComment(QStringLiteral("Velmar のサンプル: 空をまわる玉"));
}

QString examplePath()
{
    return QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
}

TEST(Example, CommittedExampleIsWhatTheWriterMakes)
{
    Document doc;
    buildExample(doc);
    const QString out = tempPath(QStringLiteral("example.gif"));
    ASSERT_TRUE(SaveGif(doc, out).ok());
    if (qEnvironmentVariableIsSet("VELMAR_WRITE_EXAMPLE")) {
        QFile::remove(examplePath());
        ASSERT_TRUE(QFile::copy(out, examplePath()));
    }
    if (!QFile::exists(examplePath()))
        GTEST_SKIP() << "examples/example.gif is not there; run with "
                        "VELMAR_WRITE_EXAMPLE=1 to make it";
    EXPECT_EQ(readFileBytes(examplePath()), readFileBytes(out))
        << "the writer's output changed; if that is intended, remake the example";
}

TEST(Example, ExampleReadsBackWithEverythingItShows)
{
    ASSERT_TRUE(QFile::exists(examplePath())) << "examples/example.gif belongs to the repository";
    Document doc;
    ASSERT_TRUE(OpenGif(doc, examplePath()).ok());
    ASSERT_EQ(doc.picCount(), kFrames);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_EQ(doc.pic(f).bits, picture(f)) << "frame " << f;
        EXPECT_EQ(doc.pic(f).colors[13], (f == 3 ? sunsetPalette() : skyPalette())[13]) << "frame " << f;
    }
    EXPECT_EQ(doc.grid().TextMatrix(2, 6), QStringLiteral("1"));
    EXPECT_EQ(doc.grid().TextMatrix(4, 8), QStringLiteral("40")) << "frame 3 waits longest";
    EXPECT_EQ(doc.globals().comment, QStringLiteral("Velmar のサンプル: 空をまわる玉"));
    EXPECT_TRUE(doc.globals().loopBlock);
}

// What the document shows of the example comes from the file alone.
TEST(Example, ExampleReadsWithoutADocument)
{
    if (!QFile::exists(examplePath()))
        GTEST_SKIP() << "examples/example.gif is not there";
    const Result<GifFile> file = readGifFile(examplePath());
    ASSERT_TRUE(file.ok()) << file.error().toStdString();
    EXPECT_EQ(file->screenWidth, kSize);
    EXPECT_EQ(decodeComment(file->comment), QStringLiteral("Velmar のサンプル: 空をまわる玉"));
    EXPECT_TRUE(file->hasLoop);
    EXPECT_EQ(file->loopCount, 0);
    ASSERT_EQ(file->images.size(), size_t(kFrames));
    for (int f = 0; f < kFrames; ++f) {
        const GifImage &image = file->images[size_t(f)];
        EXPECT_EQ(image.indices, picture(f)) << "frame " << f;
        EXPECT_EQ((std::vector<int>{image.left, image.top, image.width, image.height}),
                  (std::vector<int>{0, 0, kSize, kSize}));
        const std::vector<Rgb> &table = image.localTable.empty() ? file->globalTable : image.localTable;
        ASSERT_GT(table.size(), 13u);
        EXPECT_EQ(table[13], (f == 3 ? sunsetPalette() : skyPalette())[13]) << "frame " << f;
        EXPECT_TRUE(image.hasControl);
        EXPECT_EQ((std::vector<int>{image.control.transparent, image.control.transparentIndex, image.control.delay,
                                    image.control.disposal}),
                  (std::vector<int>{f % 2, 12, kDelays[f], 1}))
            << "frame " << f;
    }
}

} // namespace
