#include "picturebox_view.h"

#include <QFrame>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace velmar
{

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setBorder(Border::Classic);
}

void PictureBox::setBorder(Border border)
{
    border_ = border;
    // The classic box paints every pixel it owns; the styled one lets the
    // page show through inside its border.
    setAttribute(Qt::WA_OpaquePaintEvent, border == Border::Classic);
    update();
}

void PictureBox::setPictureArea(const QSize &area)
{
    area_ = area;
    const QSize inner = area.isEmpty() ? image_.size() : area;
    setFixedSize(inner.width() + 2 * kBorder, inner.height() + 2 * kBorder);
}

void PictureBox::setPicture(const QImage &image)
{
    image_ = image;
    if (area_.isEmpty())
        setFixedSize(image.width() * zoom_ + 2 * kBorder, image.height() * zoom_ + 2 * kBorder);
    update();
}

void PictureBox::setZoom(int zoom)
{
    zoom_ = std::max(1, zoom);
    setPicture(image_);
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (border_ == Border::Classic)
        paintClassicBorder(p);
    else
        paintStyledBorder(p);
    if (image_.isNull())
        return;
    if (!area_.isEmpty())
        p.setClipRect(QRect(QPoint(kBorder, kBorder), area_));
    if (zoom_ == 1)
        p.drawImage(kBorder, kBorder, image_);
    else
        p.drawImage(QRect(kBorder, kBorder, image_.width() * zoom_, image_.height() * zoom_), image_);
}

void PictureBox::paintClassicBorder(QPainter &p)
{
    const int w = width();
    const int h = height();
    // Sunken 3-D border: dark outside top-left, light outside bottom-right.
    p.fillRect(rect(), palette().window());
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, 0, w - 2, 0);
    p.drawLine(0, 0, 0, h - 2);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(1, 1, w - 3, 1);
    p.drawLine(1, 1, 1, h - 3);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(0, h - 1, w - 1, h - 1);
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.setPen(QColor(212, 208, 200));
    p.drawLine(1, h - 2, w - 2, h - 2);
    p.drawLine(w - 2, 1, w - 2, h - 2);
}

void PictureBox::paintStyledBorder(QPainter &p)
{
    // What a QFrame of shape Panel, shadow Sunken and line width kBorder
    // draws, through the style, so that it follows the style's palette.
    QStyleOptionFrame option;
    option.initFrom(this);
    option.rect = rect();
    option.frameShape = QFrame::Panel;
    option.lineWidth = kBorder;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    style()->drawControl(QStyle::CE_ShapedFrame, &option, &p, this);
}

} // namespace velmar
