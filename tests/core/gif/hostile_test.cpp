// Hostile files: sizes and counts chosen to exhaust memory or time. Each must
// end with the frames read before it and, where the reader stops early, a
// message saying why; velmar-cli must report them with exit status 1, never
// die by a signal. The files are built here, not kept as binaries.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/lzw.h"
#include "support/gifbytes.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace velmar;
using namespace velmar::test;

namespace
{

// A 2 x 2 image of the global table's first four colours (minimum code size 2).
GifBytes &smallImage(GifBytes &g, const std::vector<uint8_t> &pixels = {0, 1, 2, 3})
{
    return g.image(0, 0, 2, 2, false).data(2, literalStream(pixels, 2));
}

// Peak resident size of this process in kB (VmHWM), after resetting it to the
// current size; nullopt when the kernel does not let the peak be reset.
std::optional<long> resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    if (!clear)
        return std::nullopt;
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return std::nullopt;
}

long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

void expectConsistent(const Document &doc)
{
    EXPECT_FALSE(doc.hasStagedFrame()) << "a staged frame was left behind";
    EXPECT_EQ(doc.slotCount(), size_t(doc.picCount()));
    EXPECT_TRUE(doc.statusText().isEmpty()) << doc.statusText().toStdString();
    for (int i = 0; i < doc.picCount(); ++i)
        EXPECT_EQ(doc.pic(i).bits.size(), doc.pic(i).pixelCount()) << "frame " << i;
}

struct CliRun {
    bool normalExit = false;
    int status = -1;
    QString err;
};

CliRun runCli(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(VELMAR_CLI_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit, p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(HostileSizes, ImageAboveTwoToThe28PixelsIsRefusedBeforeAnyAllocation)
{
    // 16385 x 16384 is the smallest square-ish size just above 2^28 pixels;
    // 65535 x 65535 is the largest the format can say.
    for (auto [w, h] : {std::pair{16385, 16384}, std::pair{65535, 65535}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        GifBytes g;
        g.header(2, 2, true, 1);
        smallImage(g);
        // The huge image carries real data; a third image follows it.
        g.image(0, 0, w, h, false).data(8, literalStream(std::vector<uint8_t>(4096, 7), 8));
        smallImage(g).trailer();
        const QString path = writeTempFile(QStringLiteral("huge.gif"), g.toByteArray());

        const std::optional<long> before = resetPeak();
        Document doc;
        const OpenGifResult r = OpenGif(doc, path);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().contains(QString::number(w))) << "message: " << r.error().toStdString();
        ASSERT_EQ(doc.picCount(), 1) << "the frame before the huge image stays, nothing after it is read";
        EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{0, 1, 2, 3}));
        expectConsistent(doc);
        if (before) {
            // Zero-filling even the frame buffer alone would raise the peak
            // by 256 MB.
            EXPECT_LT(peakKb() - *before, 64 * 1024) << "kB added to the peak resident size";
        }
    }
}

TEST(HostileSizes, TensOfThousandsOfTinyImagesFillTheDocumentUpToTheFrameLimit)
{
    const int images = Document::kMaxFrames + 2000;
    GifBytes g;
    g.header(1, 1, true, 1);
    for (int i = 0; i < images; ++i)
        g.image(0, 0, 1, 1, false).data(2, literalStream({uint8_t(i % 4)}, 2));
    g.trailer();
    const QString path = writeTempFile(QStringLiteral("many.gif"), g.toByteArray());

    Document doc;
    const OpenGifResult r = OpenGif(doc, path);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QString::number(Document::kMaxFrames))) << r.error().toStdString();
    ASSERT_EQ(doc.picCount(), Document::kMaxFrames);
    expectConsistent(doc);
    const int last = Document::kMaxFrames - 1;
    EXPECT_EQ(doc.pic(last).bits, (std::vector<uint8_t>{uint8_t(last % 4)}));
    EXPECT_EQ(doc.grid().TextMatrix(last + 1, 0), QString::number(last));
    EXPECT_EQ(doc.grid().TextMatrix(last + 1, 8), QStringLiteral("0"));

    // The document stays usable: closing every frame empties it.
    doc.closeAll();
    EXPECT_EQ(doc.picCount(), 0);
    EXPECT_EQ(doc.grid().Rows(), 1);
}

TEST(HostileSizes, ManyLargeImagesWithoutDataStopAtTheMemoryBudget)
{
    // Twenty 256 x 256 images of two codes each: 20 bytes of file per 64 kB
    // frame. A budget of 600000 bytes holds the frames already read plus the
    // next frame and its decode array (2 x 65536 + 257 bytes) eight times.
    GifBytes g;
    g.header(256, 256, true, 1);
    for (int i = 0; i < 20; ++i)
        g.image(0, 0, 256, 256, false).data(2, literalStream({uint8_t(i % 4)}, 2));
    g.trailer();
    const QString path = writeTempFile(QStringLiteral("hollow.gif"), g.toByteArray());

    OpenGifOptions options;
    options.memoryBudget = 600000;
    Document doc;
    OpenGifResult r = OpenGif(doc, path, options);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QStringLiteral("256×256"))) << r.error().toStdString();
    ASSERT_EQ(doc.picCount(), 8);
    EXPECT_EQ(doc.pic(7).bits[0], 3);
    expectConsistent(doc);

    // Frames already in the document count: a second open stops at once.
    r = OpenGif(doc, path, options);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(doc.picCount(), 8);
    expectConsistent(doc);

    // The default budget (half the machine's memory) takes the whole file.
    Document roomy;
    EXPECT_TRUE(OpenGif(roomy, path).ok());
    EXPECT_EQ(roomy.picCount(), 20);
}

TEST(HostileSizes, OneByteFileAddsNothing)
{
    for (const QByteArray &bytes : {QByteArray("G"), QByteArray("GIF"), QByteArray()}) {
        SCOPED_TRACE(bytes.toStdString());
        const QString path = writeTempFile(QStringLiteral("short.gif"), bytes);
        Document doc;
        const OpenGifResult r = OpenGif(doc, path);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().startsWith(QStringLiteral("GIF ファイルが画像の前で終わっています")))
            << r.error().toStdString();
        EXPECT_EQ(doc.picCount(), 0);
        expectConsistent(doc);
    }
    EXPECT_FALSE(looksLikeGif(writeTempFile(QStringLiteral("one.gif"), QByteArray("G"))));
}

TEST(HostileSizes, HeaderOnlyFileAddsNothingAndKeepsTheFramesBefore)
{
    // The signature alone; the screen descriptor promising a 256-entry table
    // that is not there; the whole header and table with no block after it.
    GifBytes full;
    full.header(300, 200, true, 7);
    const QByteArray variants[] = {QByteArray("GIF89a"), QByteArray("GIF89a\x2c\x01\xc8\x00\xf7\x00\x00", 13),
                                   full.toByteArray()};
    for (const QByteArray &bytes : variants) {
        SCOPED_TRACE(bytes.size());
        GifBytes first;
        first.header(2, 2, true, 1);
        smallImage(first).trailer();
        Document doc;
        ASSERT_TRUE(OpenGif(doc, writeTempFile(QStringLiteral("first.gif"), first.toByteArray())).ok());

        const OpenGifResult r = OpenGif(doc, writeTempFile(QStringLiteral("header.gif"), bytes));
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().startsWith(QStringLiteral("GIF ファイルが画像の前で終わっています")))
            << r.error().toStdString();
        EXPECT_EQ(doc.picCount(), 1);
        EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{0, 1, 2, 3}));
        EXPECT_EQ(doc.globals().width, QStringLiteral("2")) << "a file without images sets no canvas size";
        expectConsistent(doc);
    }
}

TEST(HostileSizes, MillionEmptyExtensionsAreReadInOnePass)
{
    GifBytes g;
    g.header(2, 2, true, 1);
    // Empty comments, empty unknown extensions and stray bytes between blocks.
    for (int i = 0; i < 1000000; ++i) {
        if (i % 3 == 0)
            g.u8({0x21, 0xFE, 0x00});
        else if (i % 3 == 1)
            g.u8({0x21, 0x99, 0x00});
        else
            g.u8({0x00});
    }
    smallImage(g, {3, 2, 1, 0}).trailer();
    const QString path = writeTempFile(QStringLiteral("extensions.gif"), g.toByteArray());

    Document doc;
    int statusChanges = 0;
    QObject::connect(&doc, &Document::statusTextChanged, [&] { ++statusChanges; });
    const OpenGifResult r = OpenGif(doc, path);
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(doc.picCount(), 1);
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{3, 2, 1, 0}));
    expectConsistent(doc);
    // The progress text changes with the percentage, not with every block.
    EXPECT_LE(statusChanges, 110);
}

TEST(HostileSizes, DataDecodingFarBeyondTheImageIsCutAtTheImage)
{
    // 16 million pixels of colour 1 compress to a few kilobytes; the image
    // is 2 x 2. The next image must still be read from the right place.
    std::vector<uint8_t> bomb;
    ASSERT_TRUE(LZWEncode(std::vector<uint8_t>(16u << 20, 1), 2, bomb));
    GifBytes g;
    g.header(2, 2, true, 1);
    g.image(0, 0, 2, 2, false).u8({2});
    g.append(bomb).u8({0});
    // A second bomb made of plain codes: a million literal pixels.
    std::vector<uint8_t> literal(1000000);
    for (size_t i = 0; i < literal.size(); ++i)
        literal[i] = uint8_t(i % 4);
    g.image(0, 0, 2, 2, true).data(2, literalStream(literal, 2, 1000));
    smallImage(g, {2, 2, 3, 3}).trailer();
    const QString path = writeTempFile(QStringLiteral("bomb.gif"), g.toByteArray());

    Document doc;
    const OpenGifResult r = OpenGif(doc, path);
    EXPECT_TRUE(r.ok()) << r.error().toStdString();
    ASSERT_EQ(doc.picCount(), 3);
    EXPECT_EQ(doc.pic(0).bits, (std::vector<uint8_t>{1, 1, 1, 1}));
    // Interlaced rows of height 2: stored row 0 is row 0, stored row 1 row 1.
    EXPECT_EQ(doc.pic(1).bits, (std::vector<uint8_t>{0, 1, 2, 3}));
    EXPECT_EQ(doc.pic(2).bits, (std::vector<uint8_t>{2, 2, 3, 3}));
    expectConsistent(doc);
}

TEST(HostileSizes, CliReportsEveryHostileFileWithStatusOneAndAMessage)
{
    GifBytes huge;
    huge.header(2, 2, true, 1);
    smallImage(huge);
    huge.image(0, 0, 65535, 65535, false).data(8, literalStream({1}, 8)).trailer();
    const CliRun big =
        runCli({QStringLiteral("open"), writeTempFile(QStringLiteral("cli-huge.gif"), huge.toByteArray()),
                QStringLiteral("info")});
    EXPECT_TRUE(big.normalExit);
    EXPECT_EQ(big.status, 1);
    EXPECT_TRUE(big.err.contains(QStringLiteral("65535"))) << big.err.toStdString();

    const CliRun one = runCli({QStringLiteral("open"), writeTempFile(QStringLiteral("cli-one.gif"), QByteArray("G"))});
    EXPECT_TRUE(one.normalExit);
    EXPECT_EQ(one.status, 1);
    EXPECT_FALSE(one.err.trimmed().isEmpty());

    const CliRun missing = runCli({QStringLiteral("open"), tempPath(QStringLiteral("no-such-file.gif"))});
    EXPECT_TRUE(missing.normalExit);
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(missing.err.trimmed().isEmpty());

    // Saving into a folder that does not exist fails cleanly too.
    GifBytes small;
    small.header(2, 2, true, 1);
    smallImage(small).trailer();
    const CliRun save =
        runCli({QStringLiteral("open"), writeTempFile(QStringLiteral("cli-small.gif"), small.toByteArray()),
                QStringLiteral("save"), tempPath(QStringLiteral("no-such-dir/out.gif"))});
    EXPECT_TRUE(save.normalExit);
    EXPECT_EQ(save.status, 1);
    EXPECT_FALSE(save.err.trimmed().isEmpty());
}
