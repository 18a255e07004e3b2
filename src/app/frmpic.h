#pragma once

#include "picturebox_view.h"

#include <QImage>
#include <QWidget>

namespace velmar
{

class Document;

// One frame window: the child window of the main window that shows frame
// number() and carries it as its caption.
class frmPic : public QWidget
{
    Q_OBJECT
  public:
    frmPic(Document &doc, int number, QWidget *parent = nullptr);

    int number() const { return number_; }
    void setNumber(int number);
    PictureBox *pic1() const { return pic1_; }
    // Shows the picture zoom times its size; the window follows the box.
    void setZoom(int zoom);
    // Takes the frame's size and draws its pixels: now, without waiting for
    // the event loop, unless told to leave it to the next paint.
    void showPicture(bool now = true);
    // The frame is going away: let the close through without deleting again.
    void unload();

    // The picture of frame i (buffer row r at image row r, colours from the
    // frame's own table) as a view of the frame's own buffer, no pixel
    // copied: valid only until the frame changes, so it is made afresh for
    // each paint and never kept.
    static QImage frameView(const Document &doc, int i);

  signals:
    // The user asked to close this window (its close box).
    void closeRequested(int number);

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    Document &doc_;
    int number_;
    bool unloading_ = false;
    PictureBox *pic1_;
};

} // namespace velmar
