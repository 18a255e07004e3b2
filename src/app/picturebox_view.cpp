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
    source_ = nullptr;
    image_ = image;
    fitTo(image.size());
    update();
}

void PictureBox::setSource(std::function<QImage()> source, const QSize &size)
{
    image_ = QImage();
    source_ = std::move(source);
    sourceSize_ = source_ ? size : QSize();
    fitTo(sourceSize_);
    update();
}

QImage PictureBox::picture() const
{
    return source_ ? source_().copy() : image_;
}

void PictureBox::fitTo(const QSize &size)
{
    if (area_.isEmpty())
        setFixedSize(size.width() * zoom_ + 2 * kBorder, size.height() * zoom_ + 2 * kBorder);
}

void PictureBox::setZoom(int zoom)
{
    zoom_ = std::max(1, zoom);
    fitTo(source_ ? sourceSize_ : image_.size());
    update();
}

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (border_ == Border::Classic)
        paintClassicBorder(p);
    else
        paintStyledBorder(p);
    const QImage image = source_ ? source_() : image_;
    if (image.isNull())
        return;
    if (!area_.isEmpty())
        p.setClipRect(QRect(QPoint(kBorder, kBorder), area_));
    if (zoom_ == 1)
        p.drawImage(kBorder, kBorder, image);
    else
        p.drawImage(QRect(kBorder, kBorder, image.width() * zoom_, image.height() * zoom_), image);
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
