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
    // Draws the frame's pixels now, without waiting for the event loop.
    void showPicture();
    // The frame is going away: let the close through without deleting again.
    void unload();

    // Builds the picture of frame i: buffer row r at image row r, colours
    // from the frame's own table.
    static QImage frameImage(const Document &doc, int i);

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
