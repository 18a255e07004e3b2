#include "frmplay.h"

#include "document/document.h"
#include "picturebox_view.h"
#include "platform/twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>

namespace velmar
{
namespace
{

// The window is never narrower than this, so that its caption stays readable
// over a narrow canvas; the box then sits at the left.
constexpr int kMinOuterWidthTwips = 1425;
constexpr int kFirstTickMs = 10;
// Where nothing is drawn the box shows a checkerboard of these two greys, the
// usual sign of "transparent" in image programs; the squares are fixed to
// the canvas so that they do not crawl from frame to frame.
constexpr int kCheckerSide = 8;
constexpr QRgb kCheckerLight = 0xffcccccc;
constexpr QRgb kCheckerDark = 0xff999999;

} // namespace

QRgb frmPlay::backdropAt(int x, int y)
{
    return ((x / kCheckerSide + y / kCheckerSide) % 2 == 0) ? kCheckerLight : kCheckerDark;
}

frmPlay::frmPlay(Document &doc, QWidget *parent)
    : QWidget(parent, Qt::Tool), doc_(doc), compositor_(doc), picPlay_(new PictureBox(this)), tmrPlay_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmPlay"));
    setWindowTitle(QStringLiteral("ｱﾆﾒｰｼｮﾝ表示"));
    setAttribute(Qt::WA_DeleteOnClose);

    picPlay_->setObjectName(QStringLiteral("picPlay"));
    picPlay_->move(0, 0);
    picPlay_->setFixedSize(compositor_.scrW() + 2 * PictureBox::kBorder, compositor_.scrH() + 2 * PictureBox::kBorder);
    sizeAroundBox();

    tmrPlay_->setObjectName(QStringLiteral("tmrPlay"));
    connect(tmrPlay_, &QTimer::timeout, this, &frmPlay::tmrPlay_Timer);
    // Deleting a frame renumbers what the player is walking through; it
    // closes rather than play on over a changed table.
    connect(&doc_, &Document::playerCloseRequested, this, &QWidget::close);

    loaded_ = true;
    doc_.setPlayOpen(true);
    tmrPlay_->start(kFirstTickMs);
}

frmPlay::~frmPlay()
{
    unload();
}

void frmPlay::sizeAroundBox()
{
    // The outer width, window frame included, is at least the minimum; the
    // inner area is exactly the box otherwise. The frame's own width is only
    // known once the window system has decorated the window.
    const int frameWidth = std::max(0, frameGeometry().width() - geometry().width());
    const int minInner = std::max(0, twipsToPixels(kMinOuterWidthTwips) - frameWidth);
    setFixedSize(std::max(picPlay_->width(), minInner), picPlay_->height());
}

void frmPlay::setZoom(int zoom)
{
    picPlay_->setZoom(zoom);
    const int z = picPlay_->zoom();
    picPlay_->setFixedSize(compositor_.scrW() * z + 2 * PictureBox::kBorder,
                           compositor_.scrH() * z + 2 * PictureBox::kBorder);
    sizeAroundBox();
}

void frmPlay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmPlay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    sizeAroundBox();
}

void frmPlay::tmrPlay_Timer()
{
    if (!loaded_)
        return;
    if (doc_.picCount() == 0) {
        close();
        return;
    }
    // Stopped while the frame is drawn, so a slow frame only delays the next.
    tmrPlay_->stop();
    const Compositor::Tick tick = compositor_.tick();
    picPlay_->setPicture(screenImage());
    if (picPlay_->isVisible())
        picPlay_->repaint();
    tmrPlay_->start(tick.intervalMs);
}

QImage frmPlay::screenImage() const
{
    const int w = compositor_.scrW();
    const int h = compositor_.scrH();
    if (compositor_.shownFrame() < 0 || w <= 0 || h <= 0)
        return {};
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const Rgba *screen = compositor_.screen().data();
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const Rgba p = screen[size_t(y) * size_t(w) + size_t(x)];
            line[x] = p.a != 0 ? qRgb(p.r, p.g, p.b) : backdropAt(x, y);
        }
    }
    return image;
}

void frmPlay::closeEvent(QCloseEvent *event)
{
    if (loaded_)
        emit closing();
    unload();
    event->accept();
}

void frmPlay::unload()
{
    if (!loaded_)
        return;
    loaded_ = false;
    tmrPlay_->stop();
    doc_.setPlayOpen(false);
}

} // namespace velmar
