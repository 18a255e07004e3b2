#include "gif/gifread.h"
#include "support/gifbytes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

using namespace velmar;
using velmar::test::GifBytes;
using velmar::test::literalStream;
using velmar::test::tempPath;
using velmar::test::writeTempFile;

namespace
{

using Bytes = std::vector<uint8_t>;

Result<GifFile> read(const GifBytes &gif, std::vector<GifWarning> *warnings = nullptr)
{
    return readGifFile(std::span<const uint8_t>(gif.bytes()), {}, warnings);
}

// Two images described entirely by the file, read without any document.
TEST(GifRead, GivesImagesPositionsControlValuesCommentAndLoop)
{
    const Bytes first = {0, 1, 2, 3, 3, 2};        // 3 x 2
    const Bytes second = {1, 1, 0, 0, 1, 1, 0, 0}; // 2 x 4, rows stored 0 2 1 3
    GifBytes gif;
    gif.header(40, 30, true, 1)
        .u8({0x21, 0xFF, 0x0B})
        .text("NETSCAPE2.0")
        .u8({0x03, 0x01})
        .u16(65535) // stored as it is: the caller decides what it means
        .u8({0x00})
        .u8({0x21, 0xFE})
        .subBlocks("two sub-", 4)
        .control(2, true, 7, 3)
        .image(5, 6, 3, 2, false)
        .data(2, literalStream(first, 2))
        .control(2, false, 300, 4)
        .image(0, 1, 2, 4, true, 0)
        .data(2, literalStream({1, 1, 1, 1, 0, 0, 0, 0}, 2))
        .trailer();
    std::vector<GifWarning> warnings;
    const Result<GifFile> file = read(gif, &warnings);
    ASSERT_TRUE(file.ok()) << file.error().toStdString();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(file->screenWidth, 40);
    EXPECT_EQ(file->screenHeight, 30);
    ASSERT_EQ(file->globalTable.size(), 4u);
    EXPECT_EQ(file->globalTable[3], (Rgb{3, 6, 9}));
    EXPECT_TRUE(file->hasLoop);
    EXPECT_EQ(file->loopCount, 65535);
    EXPECT_EQ(file->comment, QByteArray("two sub-"));
    ASSERT_EQ(file->images.size(), 2u);

    const GifImage &a = file->images[0];
    EXPECT_EQ((std::vector<int>{a.left, a.top, a.width, a.height}), (std::vector<int>{5, 6, 3, 2}));
    EXPECT_EQ(a.indices, first);
    EXPECT_TRUE(a.localTable.empty());
    EXPECT_TRUE(a.hasControl);
    EXPECT_EQ(
        (std::vector<int>{a.control.disposal, a.control.transparent, a.control.delay, a.control.transparentIndex}),
        (std::vector<int>{2, 1, 7, 3}));

    const GifImage &b = file->images[1];
    EXPECT_EQ((std::vector<int>{b.left, b.top, b.width, b.height}), (std::vector<int>{0, 1, 2, 4}));
    EXPECT_TRUE(b.interlaced);
    EXPECT_EQ(b.indices, second) << "rows in their places";
    ASSERT_EQ(b.localTable.size(), 2u);
    EXPECT_EQ(b.localTable[1], (Rgb{254, 1, 7}));
    EXPECT_EQ(
        (std::vector<int>{b.control.disposal, b.control.transparent, b.control.delay, b.control.transparentIndex}),
        (std::vector<int>{2, 0, 300, 4}));
}

// Bytes after an image's end code, in the same sub-block and the next, are
// that image's: a 0x2C there does not start an image of its own.
TEST(GifRead, DataAfterTheEndCodeStartsNoImage)
{
    Bytes stream = literalStream({1, 2, 3, 0}, 2);
    // filler, then what would be a 1 x 1 image: descriptor, code size, data
    GifBytes phantom;
    phantom.u8({0xFF}).image(0, 0, 1, 1, false).u8({0x02, 0x02, 0x4C, 0x01, 0x00});
    GifBytes gif;
    gif.header(2, 2, true, 1).image(0, 0, 2, 2, false).u8({0x02, int(stream.size() + phantom.bytes().size())});
    gif.append(stream).append(phantom.bytes()).u8({0x0A}).image(0, 0, 1, 1, false).u8({0x00});
    gif.image(0, 0, 1, 1, false).data(2, literalStream({2}, 2)).trailer();
    std::vector<GifWarning> warnings;
    const Result<GifFile> file = read(gif, &warnings);
    ASSERT_TRUE(file.ok()) << file.error().toStdString();
    EXPECT_TRUE(warnings.empty());
    ASSERT_EQ(file->images.size(), 2u);
    EXPECT_EQ(file->images[0].indices, (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(file->images[1].indices, Bytes{2});
}

// Hands out arrays full of a value no test image uses, so a pixel the reader
// leaves unwritten shows; when it wants the picture at every clear code, the
// arrays must hold no such value whenever they are shown either.
class PoisonedSink : public GifReadSink
{
  public:
    static constexpr uint8_t kPoison = 0xEE;
    explicit PoisonedSink(bool showPartial) : showPartial_(showPartial) {}
    std::vector<Bytes> images;
    int partials = 0;
    size_t unsetWhenShown = 0;

    Result<std::span<uint8_t>> beginImage(const GifImage &image, bool) override
    {
        images.emplace_back(size_t(image.width) * size_t(image.height), kPoison);
        return std::span<uint8_t>(images.back());
    }
    bool wantsPartial() override { return showPartial_; }
    void partial(size_t) override
    {
        ++partials;
        unsetWhenShown += size_t(std::count(images.back().begin(), images.back().end(), kPoison));
    }

  private:
    bool showPartial_;
};

// The sink's array is not zero-filled: the reader writes every pixel, index
// 0 where the data ends early, as in the zero-filled arrays of readGifFile.
TEST(GifRead, EveryPixelOfAShortOrDamagedImageIsWritten)
{
    struct Case {
        const char *what;
        std::function<void(GifBytes &)> image;
        bool clears; // clear codes inside the data: the picture is shown while it builds up
    };
    const Bytes twelve = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3};
    const Bytes cut = [&] {
        Bytes s = literalStream(twelve, 2, 3, false);
        s.resize(s.size() / 2);
        return s;
    }();
    const std::vector<Case> cases = {
        {"no end code, data short of the pixels",
         [](GifBytes &g) {
             g.image(0, 0, 5, 1, false).data(2, literalStream({1, 2, 3}, 2, 0, false));
         },
         false},
        {"end code before the last pixels",
         [](GifBytes &g) {
             g.image(0, 0, 5, 1, false).data(2, literalStream({1, 2, 3}, 2));
         },
         false},
        {"clear codes, data short",
         [](GifBytes &g) {
             g.image(0, 0, 4, 3, false).data(2, literalStream({1, 2, 3, 1, 2, 3, 1, 2}, 2, 3, false));
         },
         true},
        {"interlaced, clear codes, data short",
         [](GifBytes &g) {
             g.image(0, 0, 3, 4, true).data(2, literalStream({1, 1, 1, 3, 3}, 2, 2, false));
         },
         true},
        {"interlaced, clear codes, every pixel there",
         [&](GifBytes &g) { g.image(0, 0, 3, 4, true).data(2, literalStream(twelve, 2, 4)); }, true},
        {"code size above 8",
         [](GifBytes &g) {
             g.image(0, 0, 2, 1, false).data(9, {0x21, 0x2C, 0x3B});
         },
         false},
        {"file cut inside the data",
         [&](GifBytes &g) {
             g.image(0, 0, 6, 2, false).u8({2, int(cut.size())}).append(cut);
         },
         true},
        // Wide enough for the decoder's eight-byte stores, which keep the
        // array's first bytes as they were to put them back at the end.
        {"clear codes, data short, 64 pixels",
         [](GifBytes &g) {
             Bytes pixels(30);
             for (size_t k = 0; k < pixels.size(); ++k)
                 pixels[k] = uint8_t(1 + k % 3);
             g.image(0, 0, 8, 8, false).data(2, literalStream(pixels, 2, 10, false));
         },
         true},
    };
    for (const Case &c : cases) {
        GifBytes gif;
        gif.header(8, 4, true, 1).image(0, 0, 2, 1, false).data(2, literalStream({3, 1}, 2));
        c.image(gif);
        gif.trailer();
        const Result<GifFile> zeroFilled = read(gif);
        ASSERT_TRUE(zeroFilled.ok()) << c.what;
        for (const bool showPartial : {false, true}) {
            PoisonedSink sink(showPartial);
            ASSERT_TRUE(readGif(std::span<const uint8_t>(gif.bytes()), sink).ok()) << c.what;
            ASSERT_EQ(sink.images.size(), zeroFilled->images.size()) << c.what;
            for (size_t i = 0; i < sink.images.size(); ++i)
                EXPECT_EQ(sink.images[i], zeroFilled->images[i].indices) << c.what << ", image " << i;
            EXPECT_EQ(sink.unsetWhenShown, 0u) << c.what;
            EXPECT_EQ(sink.partials > 0, showPartial && c.clears) << c.what;
        }
    }
}

// A file that cannot be mapped (a pipe) is read instead; a mapped file large
// enough to give back its pages as it is read still gives every image.
TEST(GifRead, FileThroughAPipeOrMappedGivesTheImagesOfItsBytes)
{
    GifBytes small;
    small.header(4, 4, true, 1).image(0, 0, 4, 2, false).data(2, literalStream({0, 1, 2, 3, 3, 2, 1, 0}, 2));
    small.image(0, 0, 2, 4, true).data(2, literalStream({1, 1, 2, 2, 3, 3, 0, 0}, 2)).trailer();
    // Six 1024 x 1024 images of literal codes: over 6 MB.
    GifBytes large;
    large.header(1024, 1024, true, 7);
    for (int i = 0; i < 6; ++i) {
        Bytes pixels(size_t(1024) * 1024);
        for (size_t k = 0; k < pixels.size(); ++k)
            pixels[k] = uint8_t(k * 7 + k / 1024 + size_t(i));
        large.image(0, 0, 1024, 1024, i % 2 == 1).data(8, literalStream(pixels, 8, 4000));
    }
    large.trailer();
    ASSERT_GT(large.bytes().size(), size_t(6) << 20);
    struct Case {
        const char *what;
        const GifBytes &gif;
        bool pipe;
    };
    for (const Case &c :
         {Case{"small, pipe", small, true}, Case{"large, pipe", large, true}, Case{"large, mapped", large, false}}) {
        const Result<GifFile> expected = read(c.gif);
        ASSERT_TRUE(expected.ok()) << c.what;
        const QString path = tempPath(c.pipe ? QStringLiteral("pipe.gif") : QStringLiteral("mapped.gif"));
        std::remove(path.toLocal8Bit().constData());
        if (!c.pipe) {
            writeTempFile(QStringLiteral("mapped.gif"), c.gif.toByteArray());
        } else {
            ASSERT_EQ(mkfifo(path.toLocal8Bit().constData(), 0600), 0) << c.what;
        }
        std::thread writer([&] {
            if (!c.pipe)
                return;
            std::ofstream out(path.toStdString(), std::ios::binary);
            out.write(reinterpret_cast<const char *>(c.gif.bytes().data()), std::streamsize(c.gif.bytes().size()));
        });
        const Result<GifFile> got = readGifFile(path);
        writer.join();
        ASSERT_TRUE(got.ok()) << c.what << ": " << got.error().toStdString();
        ASSERT_EQ(got->images.size(), expected->images.size()) << c.what;
        for (size_t i = 0; i < got->images.size(); ++i)
            EXPECT_TRUE(got->images[i].indices == expected->images[i].indices) << c.what << ", image " << i;
    }
}

} // namespace
