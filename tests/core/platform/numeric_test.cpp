#include "platform/numeric.h"
#include "platform/palette.h"
#include "platform/rnd.h"
#include "platform/twips.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

using namespace velmar;

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(roundHalfEven(2.5), 2.0);
    EXPECT_EQ(roundHalfEven(3.5), 4.0);
    EXPECT_EQ(roundHalfEven(-2.5), -2.0);
    EXPECT_EQ(roundHalfEven(-3.5), -4.0);
    EXPECT_EQ(roundHalfEven(0.5), 0.0);
    EXPECT_EQ(roundHalfEven(1.4999), 1.0);
    EXPECT_EQ(roundHalfEven(-0.6), -1.0);
}

// The rounding as first written, by floor and remainder: the oracle for the
// inline one, which must agree with it on every double, bit for bit.
static double roundHalfEvenByFloor(double value)
{
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    if (diff < 0.5)
        return floorValue;
    if (diff > 0.5)
        return floorValue + 1.0;
    return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

TEST(RoundHalfEven, AgreesBitForBitWithFloorAndRemainderOnRandomAndHalfwayDoubles)
{
    auto same = [](double v) {
        const double want = roundHalfEvenByFloor(v), got = roundHalfEven(v);
        if (std::isnan(want))
            return std::isnan(got);
        return std::memcmp(&want, &got, sizeof want) == 0;
    };
    std::mt19937_64 bits(12345);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int failures = 0;
    for (int k = 0; k < 2000000 && failures < 10; ++k) {
        // Random bit patterns cover every exponent, zeros, subnormals, infinities
        // and NaN; scaled uniforms cover the fractions that matter.
        const uint64_t pattern = bits();
        double random;
        std::memcpy(&random, &pattern, sizeof random);
        const double scaled = std::ldexp(unit(bits), int(bits() % 64) - 8);
        for (double v : {random, scaled, std::nextafter(scaled, 0.0)})
            if (!same(v) && ++failures)
                ADD_FAILURE() << "roundHalfEven(" << v << ") = " << roundHalfEven(v);
    }
    // Every half from -2^21 to 2^21, the halves just below 2^52 and their neighbours.
    for (int64_t k = -(int64_t(1) << 21); k <= (int64_t(1) << 21) && failures < 10; ++k)
        for (double v : {double(k) + 0.5, std::nextafter(double(k) + 0.5, 0.0), std::nextafter(double(k) + 0.5, 1e300),
                         0x1p52 - double(k & 0xFFFF) - 0.5, -0x1p52 + double(k & 0xFFFF) + 0.5})
            if (!same(v) && ++failures)
                ADD_FAILURE() << "roundHalfEven(" << v << ") = " << roundHalfEven(v);
    for (double v : {0.0, -0.0, -0.25, -0.5, 0x1p52, -0x1p52, 0x1p53 + 2, HUGE_VAL, -HUGE_VAL, std::nan("")})
        EXPECT_TRUE(same(v)) << v;
}

TEST(IntegerConversions, CheckTheRangeAfterRounding)
{
    EXPECT_EQ(toInt16(32767.4), int16_t(32767));
    EXPECT_FALSE(toInt16(32767.5).has_value());    // rounds to 32768
    EXPECT_EQ(toInt16(-32768.5), int16_t(-32768)); // rounds to the even -32768
    EXPECT_FALSE(toInt16(-32769.0).has_value());
    EXPECT_EQ(toByte(255.4), uint8_t(255));
    EXPECT_FALSE(toByte(-0.6).has_value());
    EXPECT_EQ(toByte(-0.5), uint8_t(0));
    EXPECT_FALSE(toInt32(3e9).has_value());
    EXPECT_EQ(toInt32(-2147483648.0), INT32_MIN);
}

TEST(ParseNumber, AcceptsTheUsualSyntaxAndFullWidthForms)
{
    EXPECT_EQ(parseNumber(QStringLiteral("０")), 0.0);
    EXPECT_EQ(parseNumber(QStringLiteral(" -1.5e1 ")), -15.0);
    EXPECT_EQ(parseNumber(QStringLiteral("１２．５")), 12.5);
    EXPECT_EQ(parseNumber(QStringLiteral("－３")), -3.0);
    EXPECT_EQ(parseNumber(QStringLiteral("+ 7")), 7.0);
    EXPECT_EQ(parseNumber(QStringLiteral(".5")), 0.5);
    EXPECT_EQ(parseNumber(QStringLiteral("5.")), 5.0);
    EXPECT_EQ(parseNumber(QStringLiteral("1E+2")), 100.0);
    EXPECT_EQ(parseNumber(QStringLiteral("\u3000４\u3000")), 4.0);
}

TEST(ParseNumber, RejectsWhatIsNotANumber)
{
    for (const char *text : {"", "   ", "abc", "1.2.3", "1e", "e5", "-", ".", "1 2", "0x10", "1,5", "--1", "5a"})
        EXPECT_FALSE(isNumeric(QString::fromLatin1(text))) << "accepted \"" << text << "\"";
    EXPECT_FALSE(isNumeric(QStringLiteral("1e999"))); // overflows a double
}

TEST(TextConversions, CombineParsingRoundingAndRange)
{
    EXPECT_EQ(textToInt16(QStringLiteral("40000")), std::nullopt);
    EXPECT_EQ(textToInt16(QStringLiteral("-25536")), int16_t(-25536));
    EXPECT_EQ(textToByte(QStringLiteral("2.5")), uint8_t(2));
    EXPECT_EQ(textToByte(QStringLiteral("256")), std::nullopt);
    EXPECT_EQ(textToInt32(QStringLiteral("x")), std::nullopt);
}

TEST(Twips, FifteenToThePixel)
{
    EXPECT_EQ(twipsToPixels(1425), 95);
    EXPECT_EQ(pixelsToTwips(95), 1425);
    EXPECT_EQ(twipsToPixels(400), 26);
}

TEST(NearestPaletteIndex, LowestIndexWinsTiesWithinTheUsedEntries)
{
    ColorTable t{};
    t[0] = {0, 0, 0};
    t[1] = {10, 10, 10};
    t[2] = {10, 10, 10};
    t[3] = {200, 0, 0};
    t[4] = {255, 0, 0}; // beyond nColors below
    EXPECT_EQ(nearestPaletteIndex(t, 4, 11, 11, 11), 1);
    EXPECT_EQ(nearestPaletteIndex(t, 4, 255, 0, 0), 3);
    EXPECT_EQ(nearestPaletteIndex(t, 5, 255, 0, 0), 4);
    EXPECT_EQ(nearestPaletteIndex(t, 4, 5, 5, 5), 0); // 75 from entry 0 and 75 from entry 1: tie, lowest wins
    EXPECT_EQ(nearestPaletteIndex(t, 1, 255, 255, 255), 0);
}

// The remembering matcher gives nearestPaletteIndex's answer for colours all
// over the cube (each cell's corners and middle, and colours outside 0..255),
// on palettes with many ties, few entries, a partial count and a clustered one.
TEST(NearestPalette, AnswersAsTheFullScanDoes)
{
    std::mt19937 gen(7);
    std::vector<std::pair<ColorTable, int>> cases;
    ColorTable repeats{}, clustered{}, random{};
    for (size_t k = 0; k < 256; ++k) {
        repeats[k] = {uint8_t(k % 5 * 60), uint8_t(k % 3 * 120), uint8_t(k % 5 * 60)};
        clustered[k] = {uint8_t(100 + k % 7), uint8_t(100 + k / 7 % 7), uint8_t(100 + k / 49)};
        random[k] = {uint8_t(gen()), uint8_t(gen()), uint8_t(gen())};
    }
    cases = {{repeats, 256}, {clustered, 256}, {random, 256}, {random, 37}, {random, 1}, {defaultColorTable(), 0}};
    for (const auto &[table, count] : cases) {
        NearestPalette nearest(table, count);
        int failures = 0;
        for (int r = -3; r < 260 && failures < 5; r += 5)
            for (int g = 0; g < 256 && failures < 5; g += 7)
                for (int b = 0; b < 256; b += (g % 2 ? 1 : 9))
                    if (nearest(r, g, b) != nearestPaletteIndex(table, count, r, g, b) && ++failures)
                        ADD_FAILURE() << "count " << count << " colour " << r << "," << g << "," << b;
    }
}

TEST(DefaultColorTable, RampsAndCube)
{
    const ColorTable &t = defaultColorTable();
    EXPECT_EQ(t[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(t[10], (Rgb{238, 238, 238}));
    EXPECT_EQ(t[11], (Rgb{0, 0, 17}));
    EXPECT_EQ(t[21], (Rgb{0, 17, 0}));
    EXPECT_EQ(t[40], (Rgb{238, 0, 0}));
    EXPECT_EQ(t[41], (Rgb{0, 0, 51})); // the cube starts after black
    EXPECT_EQ(t[255], (Rgb{255, 255, 255}));
}

TEST(Rnd, RepeatsTheClassicSequenceFromAFreshStart)
{
    Rnd rnd;
    EXPECT_NEAR(rnd.next(), 0.7055475f, 5e-8);
    EXPECT_NEAR(rnd.next(), 0.533424f, 5e-8);
    EXPECT_NEAR(rnd.next(), 0.5795186f, 5e-8);
    for (int i = 0; i < 100000; ++i) {
        const float v = rnd.next();
        ASSERT_GE(v, 0.0f);
        ASSERT_LT(v, 1.0f);
    }
}
