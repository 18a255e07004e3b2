// Memory over a long day of editing: opening and closing a large animation
// again and again must not let the resident size creep up, and moving or
// deleting frames must move their buffers, never copy them.
#include "document/document.h"
#include "document/gifio.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

using namespace velmar;
using namespace velmar::test;

namespace
{

// Resident size in bytes, from the second field of /proc/self/statm (pages).
long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

} // namespace

TEST(Memory, OpeningAndClosingA500FrameAnimationTenTimesKeepsTheResidentSize)
{
    if (kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer holds freed memory in quarantine, so the resident size says nothing here; "
                        "its leak check covers this build";

    // 500 frames of 256 x 256 with pixels that differ from frame to frame.
    std::string path;
    {
        Document doc;
        for (int f = 0; f < 500; ++f) {
            std::vector<uint8_t> pixels(256 * 256);
            for (size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = uint8_t((i / 256 + i % 256 + size_t(f) * 3) / 8);
            ASSERT_EQ(addFrame(doc, 256, 256, pixels, 256, rampPalette(0)), f);
        }
        const QString file = tempPath(QStringLiteral("long-day.gif"));
        ASSERT_TRUE(SaveGif(doc, file).ok());
        path = file.toStdString();
    }

    long afterFirstClose = 0;
    for (int round = 1; round <= 10; ++round) {
        Document doc;
        const OpenGifResult r = OpenGif(doc, QString::fromStdString(path));
        ASSERT_TRUE(r.ok()) << r.error().toStdString();
        ASSERT_EQ(doc.picCount(), 500);
        doc.closeAll();
        ASSERT_EQ(doc.picCount(), 0);
        if (round == 1)
            afterFirstClose = residentBytes();
    }
    const long afterLastClose = residentBytes();
    EXPECT_LE(afterLastClose, afterFirstClose + afterFirstClose / 10)
        << "resident size " << afterFirstClose / 1024 << " kB after the first close, " << afterLastClose / 1024
        << " kB after the tenth";
}

TEST(Memory, ReorderingAndDeletingFramesMovesBuffersWithoutCopying)
{
    Document doc;
    std::vector<const uint8_t *> buffers;
    for (int f = 0; f < 6; ++f) {
        addFrame(doc, 16, 8, std::vector<uint8_t>(128, uint8_t(f)), 4, rampPalette(f));
        buffers.push_back(doc.pic(f).pBits());
    }
    // Adding frames grows the table; the buffers already there stay put.
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(doc.pic(f).pBits(), buffers[size_t(f)]) << "frame " << f << " after the table grew";

    doc.swapWithNext(1); // 0 2 1 3 4 5
    EXPECT_EQ(doc.pic(1).pBits(), buffers[2]);
    EXPECT_EQ(doc.pic(2).pBits(), buffers[1]);
    doc.swapWithPrevious(5); // 0 2 1 3 5 4
    EXPECT_EQ(doc.pic(4).pBits(), buffers[5]);
    EXPECT_EQ(doc.pic(5).pBits(), buffers[4]);
    doc.delPic(0); // 2 1 3 5 4
    const std::vector<const uint8_t *> expected = {buffers[2], buffers[1], buffers[3], buffers[5], buffers[4]};
    ASSERT_EQ(doc.picCount(), 5);
    for (int f = 0; f < 5; ++f) {
        EXPECT_EQ(doc.pic(f).pBits(), expected[size_t(f)]) << "frame " << f << " after the deletion";
        EXPECT_EQ(doc.pic(f).bits.size(), 128u);
    }
    // The pixels went with their buffers.
    EXPECT_EQ(doc.pic(0).bits[0], 2);
    EXPECT_EQ(doc.pic(3).bits[127], 5);

    // Frames appended by a file do not move the ones before them either.
    GifBytes g;
    g.header(2, 2, true, 1).image(0, 0, 2, 2, false).data(2, literalStream({0, 1, 2, 3}, 2)).trailer();
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(OpenGif(doc, writeTempFile(QStringLiteral("append.gif"), g.toByteArray())).ok());
    ASSERT_EQ(doc.picCount(), 45);
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(doc.pic(f).pBits(), expected[size_t(f)]) << "frame " << f << " after opening more frames";
}
