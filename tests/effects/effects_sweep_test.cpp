// Every auto-create tab on pictures of several sizes (one pixel, one pixel
// wide, odd sizes), palettes (full, partial, with repeated entries) and
// positions in the random sequence, run through the Create command. The
// digests of all frames (size, palette, pixels) and of all grid rows were
// recorded from the straightforward implementation; any change to the pixels
// an effect makes, however it is computed, shows up here.
#include "autocreate/createcommand.h"
#include "shell/document.h"
#include "support/frames.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace velmar::autocreate
{
namespace
{

struct Setup {
    int width, height;
    int palette; // 0 greys, 1 ramp, 2 sixteen entries with repeats, 3 the default table
    int nColors;
    int draws; // values taken from the random sequence before the effect
    const char *count;
    bool paletteColours; // colour settings by palette number instead of black / white
};

constexpr Setup kSetups[] = {
    {1, 1, 0, 256, 0, "3", false},     {1, 7, 1, 256, 5, "4", true},    {13, 2, 2, 16, 17, "5", false},
    {23, 17, 2, 16, 1, "4.5", true},   {41, 29, 0, 200, 3, "7", false}, {64, 45, 3, 256, 1000, "6", true},
    {160, 97, 1, 256, 40, "9", false},
};
constexpr int kSetupCount = int(std::size(kSetups));

ColorTable palette(int kind, int seed)
{
    if (kind == 0)
        return test::greys();
    if (kind == 1)
        return test::rampPalette(seed);
    if (kind == 3)
        return defaultColorTable();
    // Entries repeat every six, so several indices tie for most colours.
    ColorTable t = test::rampPalette(seed * 5);
    for (size_t k = 6; k < 256; ++k)
        t[k] = t[k % 6 + (k / 12 % 2) * 6];
    return t;
}

// Gradients, noise and patches of the top-left colour.
std::vector<uint8_t> picture(int w, int h, int nColors, uint32_t seed)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    uint32_t x = seed * 2654435761u + 1;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            x = x * 1664525u + 1013904223u;
            const uint32_t v = (r * r + 3 * c) / 5 + (x >> 29);
            px[size_t(r) * size_t(w) + size_t(c)] = uint8_t(v % uint32_t(nColors));
        }
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            if ((c * 3 + r) % 7 == 0 || (c > w / 3 && c < w / 2))
                px[size_t(r) * size_t(w) + size_t(c)] = px[0];
    return px;
}

// Windows 0 and 1 share size and palette; window 2 is larger with its own palette.
void addWindows(Document &doc, const Setup &s)
{
    const ColorTable own = palette(s.palette, 1);
    test::addFrame(doc, s.width, s.height, picture(s.width, s.height, s.nColors, 1), s.nColors, own);
    test::addFrame(doc, s.width, s.height, picture(s.width, s.height, s.nColors, 2), s.nColors, own);
    test::addFrame(doc, s.width + 3, s.height + 1, picture(s.width + 3, s.height + 1, 256, 3), 256,
                   palette(1, s.palette + 4));
}

FieldValues fieldsFor(int tab, const Setup &s)
{
    FieldValues f = initialFields(tab);
    auto set = [&](const char *name, const QString &value) { EXPECT_TRUE(setField(tab, f, name, value)) << name; };
    set("txtSumFraNum", QString::fromLatin1(s.count));
    const QString second = QStringLiteral("1"), third = QStringLiteral("2");
    switch (tab) {
    case 0:
        set("txtDivX", QString::number(std::min(s.width, 5)));
        set("txtDivY", QStringLiteral("0"));
        break;
    case 2:
        set("txtToWinNo", second);
        break;
    case 4:
    case 5: {
        const char *names[2][2] = {{"txtMasWinB", "txtMasWinC"}, {"txtMasWinE", "txtMasWinF"}};
        set(names[tab - 4][0], second);
        set(names[tab - 4][1], third);
        break;
    }
    case 6:
        if (s.paletteColours) {
            set("optYokohabaShitei", QStringLiteral("1"));
            set("txtYokohaba", QString::number((s.width + 1) / 2));
        }
        break;
    case 10:
        set("txtMasterWindow2", second);
        break;
    default:
        break;
    }
    if (s.paletteColours)
        for (const ColourSetting &c : tabDescriptors()[size_t(tab)].colours) {
            set(c.presetOption.toLatin1().constData(), QStringLiteral("0"));
            set(c.paletteField.toLatin1().constData(), QString::number(3 + c.paletteField.size() % 5));
        }
    return f;
}

struct Digests {
    std::string frames, grid;
};

Digests run(int tab, const Setup &s)
{
    Document doc;
    addWindows(doc, s);
    for (int k = 0; k < s.draws; ++k)
        doc.rnd().next();
    FieldValues fields = fieldsFor(tab, s);
    const QString result = Create(doc, tab, fields);

    QCryptographicHash frames(QCryptographicHash::Sha256), grid(QCryptographicHash::Sha256);
    frames.addData(result.toUtf8());
    for (int i = 0; i < doc.gPicCount; ++i) {
        const PicInfo &p = doc.pic(i);
        const int32_t header[3] = {p.lWidth, p.lHeight, p.nColors};
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(header), sizeof header));
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(p.colors.data()), sizeof p.colors));
        frames.addData(QByteArrayView(reinterpret_cast<const char *>(p.bits.data()), qsizetype(p.pixelCount())));
    }
    for (int r = 0; r < doc.grid().Rows(); ++r) {
        for (int c = 0; c < doc.grid().Cols(); ++c)
            grid.addData((doc.grid().TextMatrix(r, c) + QLatin1Char('|')).toUtf8());
        grid.addData("\n");
    }
    return {frames.result().toHex().toStdString(), grid.result().toHex().toStdString()};
}

// [tab][setup]: digest of the frames, then of the grid rows.
const char *const kExpected[kTabCount][kSetupCount][2] = {};

class EffectsSweep : public ::testing::TestWithParam<std::tuple<int, int>>
{
};

TEST_P(EffectsSweep, FramesAndGridRowsAreUnchanged)
{
    const auto [tab, setup] = GetParam();
    const Digests d = run(tab, kSetups[setup]);
    const char *const *want = kExpected[tab][setup];
    if (!want[0]) {
        std::printf("{\"%s\", \"%s\"}, // tab %d setup %d\n", d.frames.c_str(), d.grid.c_str(), tab, setup);
        FAIL() << "no recorded digest";
    }
    EXPECT_EQ(d.frames, want[0]);
    EXPECT_EQ(d.grid, want[1]);
}

INSTANTIATE_TEST_SUITE_P(AllTabs, EffectsSweep,
                         ::testing::Combine(::testing::Range(0, kTabCount), ::testing::Range(0, kSetupCount)));

} // namespace
} // namespace velmar::autocreate
