#include "frmpic.h"

#include "document/document.h"

#include <QCloseEvent>

#include <cstring>

namespace velmar
{

frmPic::frmPic(Document &doc, int number, QWidget *parent) : QWidget(parent), doc_(doc), number_(number)
{
    setObjectName(QStringLiteral("frmPic"));
    pic1_ = new PictureBox(this);
    pic1_->setObjectName(QStringLiteral("pic1"));
    pic1_->move(0, 0);
    setNumber(number);
}

void frmPic::setNumber(int number)
{
    number_ = number;
    setWindowTitle(QString::number(number));
}

QImage frmPic::frameImage(const Document &doc, int i)
{
    if (i < 0 || size_t(i) >= doc.slotCount())
        return {};
    const PicInfo &pic = doc.pic(i);
    if (pic.lWidth <= 0 || pic.lHeight <= 0 || pic.bits.size() < pic.pixelCount())
        return {};
    QImage image(pic.lWidth, pic.lHeight, QImage::Format_Indexed8);
    if (image.isNull())
        return {};
    QList<QRgb> table(256);
    for (int k = 0; k < 256; ++k) {
        const Rgb c = k < pic.nColors ? pic.colors[size_t(k)] : Rgb{};
        table[k] = qRgb(c.r, c.g, c.b);
    }
    image.setColorTable(table);
    // QImage rows are padded to 4 bytes; the buffer's are not.
    for (int y = 0; y < pic.lHeight; ++y)
        std::memcpy(image.scanLine(y), pic.pBits() + size_t(y) * size_t(pic.lWidth), size_t(pic.lWidth));
    return image;
}

void frmPic::setZoom(int zoom)
{
    pic1_->setZoom(zoom);
    setMinimumSize(pic1_->size());
    resize(pic1_->size());
}

void frmPic::showPicture()
{
    const QSize before = pic1_->size();
    pic1_->setPicture(frameImage(doc_, number_));
    if (pic1_->size() != before)
        resize(pic1_->size());
    setMinimumSize(pic1_->size());
    if (pic1_->isVisible())
        pic1_->repaint();
}

void frmPic::unload()
{
    unloading_ = true;
}

void frmPic::closeEvent(QCloseEvent *event)
{
    if (unloading_) {
        event->accept();
        return;
    }
    // The user closed the window: that deletes this frame, and the deletion
    // closes the window for good.
    event->ignore();
    emit closeRequested(number_);
}

} // namespace velmar
