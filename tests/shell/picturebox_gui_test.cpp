// The styled picture box must sit on a themed page exactly like a sunken
// framed label: same size, same border from the style, the page showing
// through around a smaller picture, and a larger picture cut to its area.
#include "shell/picturebox_view.h"

#include <QLabel>
#include <gtest/gtest.h>

using namespace velmar;

namespace
{

struct StyledCase {
    const char *name;
    QSize picture; // empty: no picture
    QSize area;
};

const StyledCase kStyledCases[] = {
    {"FitsTheArea", {10, 6}, {10, 6}},
    {"NoPictureKeepsTheArea", {}, {10, 6}},
    {"SmallerLeavesThePageVisible", {4, 3}, {10, 6}},
    {"LargerIsCutToTheArea", {14, 9}, {10, 6}},
};

class StyledPictureBox : public ::testing::TestWithParam<StyledCase>
{
};

// Distinct colours, one column see-through, so that every pixel of the
// picture and of what lies under it can be told apart.
QImage pattern(QSize size)
{
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, x == 1 ? qRgba(0, 0, 0, 0) : qRgb(20 * x, 30 * y, 200));
    return image;
}

TEST_P(StyledPictureBox, PaintsWhatASunkenFramedLabelPaints)
{
    const StyledCase &c = GetParam();
    // The page: a colour of its own, so that see-through pixels show it.
    QWidget page;
    page.setAutoFillBackground(true);
    QPalette pal = page.palette();
    pal.setColor(QPalette::Window, QColor(90, 160, 40));
    page.setPalette(pal);
    page.resize(100, 40);

    auto *label = new QLabel(&page);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setLineWidth(PictureBox::kBorder);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFixedSize(c.area + QSize(2 * PictureBox::kBorder, 2 * PictureBox::kBorder));
    if (!c.picture.isEmpty())
        label->setPixmap(QPixmap::fromImage(pattern(c.picture)));

    auto *box = new PictureBox(&page);
    box->setBorder(PictureBox::Border::Styled);
    box->setPictureArea(c.area);
    box->setPicture(pattern(c.picture));
    box->move(50, 0);

    ASSERT_EQ(box->size(), label->size());
    const QImage shot = page.grab().toImage();
    const QImage want = shot.copy(label->geometry());
    const QImage got = shot.copy(box->geometry());
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            ASSERT_EQ(got.pixel(x, y), want.pixel(x, y)) << "at (" << x << ", " << y << ")";
}

INSTANTIATE_TEST_SUITE_P(Cases, StyledPictureBox, ::testing::ValuesIn(kStyledCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
