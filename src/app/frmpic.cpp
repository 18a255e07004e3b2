#include "frmpic.h"

#include "document/document.h"

#include <QCloseEvent>

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

QImage frmPic::frameView(const Document &doc, int i)
{
    if (!doc.hasSlot(i))
        return {};
    const PicInfo &pic = doc.pic(i);
    if (pic.lWidth <= 0 || pic.lHeight <= 0 || pic.bits.size() < pic.pixelCount())
        return {};
    QImage image(pic.pBits(), pic.lWidth, pic.lHeight, pic.lWidth, QImage::Format_Indexed8);
    QList<QRgb> table(256);
    for (int k = 0; k < 256; ++k) {
        const Rgb c = k < pic.nColors ? pic.colors[size_t(k)] : Rgb{};
        table[k] = qRgb(c.r, c.g, c.b);
    }
    image.setColorTable(table);
    return image;
}

void frmPic::setZoom(int zoom)
{
    pic1_->setZoom(zoom);
    setMinimumSize(pic1_->size());
    resize(pic1_->size());
}

void frmPic::showPicture(bool now)
{
    const QSize before = pic1_->size();
    // The window paints straight from the frame's buffer: thousands of open
    // frames hold no second copy of their pixels.
    QSize size;
    if (doc_.hasSlot(number_) && doc_.pic(number_).bits.size() >= doc_.pic(number_).pixelCount())
        size = QSize(doc_.pic(number_).lWidth, doc_.pic(number_).lHeight);
    pic1_->setSource([this] { return frameView(doc_, number_); }, size);
    if (pic1_->size() != before)
        resize(pic1_->size());
    setMinimumSize(pic1_->size());
    if (now && pic1_->isVisible())
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
