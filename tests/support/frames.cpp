#include "support/frames.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmar::test
{

ColorTable rampPalette(int seed)
{
    ColorTable t{};
    for (int k = 0; k < 256; ++k)
        t[size_t(k)] = {uint8_t(k + seed), uint8_t(255 - k - seed), uint8_t(k * 7 + seed * 13)};
    return t;
}

ColorTable greys()
{
    ColorTable t{};
    for (int k = 0; k < 256; ++k)
        t[size_t(k)] = {uint8_t(k), uint8_t(k), uint8_t(k)};
    return t;
}

int addFrame(Document &doc, int width, int height, const std::vector<uint8_t> &pixels, int nColors,
             const ColorTable &colors)
{
    const Result<int> added = doc.beginFrame(width, height, nColors, colors);
    if (!added)
        return -1;
    const int n = *added;
    const std::span<uint8_t> target = doc.pixelsForWriting(n);
    std::copy_n(pixels.begin(), std::min(pixels.size(), target.size()), target.begin());
    doc.ShowPic(n);
    doc.ensureGridRows(n + 2);
    const int row = n + 1;
    doc.setCell(row, 0, QString::number(n));
    const QStringList cells = {"0", "0", QString::number(width), QString::number(height), "0", "0", "0", "10", "0"};
    for (int col = 1; col <= 9; ++col)
        doc.setCell(row, col, cells[col - 1]);
    doc.endFrame();
    return n;
}

int addedFrame(const Result<int> &added)
{
    if (!added) {
        ADD_FAILURE() << "the frame was refused: " << added.error().toStdString();
        return -1;
    }
    return *added;
}

} // namespace velmar::test
