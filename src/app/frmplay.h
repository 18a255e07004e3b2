#pragma once

#include "player/compositor.h"

#include <QImage>
#include <QWidget>

class QTimer;

namespace velmar
{

class Document;
class PictureBox;

// The animation preview: plays the document over and over in the picture
// box picPlay, one frame per tick of tmrPlay, each frame for its own delay.
// Constructing it is the load (canvas size fixed, buffers cleared, playOpen()
// set, the first tick in 10 ms); closing it is the unload (playOpen()
// cleared) and deletes it, so the next opening starts afresh.
class frmPlay : public QWidget
{
    Q_OBJECT
  public:
    explicit frmPlay(Document &doc, QWidget *parent = nullptr);
    ~frmPlay() override;

    // The timer's handler: closes the window when there are no frames,
    // otherwise shows the next frame and times the one after it.
    void tmrPlay_Timer();

    // False once closed, while the deletion is still pending.
    bool isLoaded() const { return loaded_; }
    PictureBox *picPlay() const { return picPlay_; }
    QTimer *tmrPlay() const { return tmrPlay_; }
    const Compositor &compositor() const { return compositor_; }
    // The picture on screen: the composed canvas, a checkerboard where no
    // frame has drawn (null before the first frame).
    QImage screenImage() const;
    // The checkerboard's colour at canvas pixel (x, y).
    static QRgb backdropAt(int x, int y);
    // Shows the canvas zoom times its size; the window follows the box.
    void setZoom(int zoom);

  signals:
    // Sent as the window closes, while its geometry is still the one shown.
    void closing();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

  private:
    void sizeAroundBox();
    void unload();

    Document &doc_;
    Compositor compositor_;
    PictureBox *picPlay_;
    QTimer *tmrPlay_;
    bool loaded_ = false;
};

} // namespace velmar
