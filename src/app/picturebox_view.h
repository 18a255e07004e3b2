#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

#include <functional>

namespace velmar
{

// A picture in a 2-pixel sunken border, drawn 1:1 at the top left inside it.
// It keeps the last picture it was given and repaints itself from it, so
// covering and uncovering its window needs nothing else.
//
// By default the box takes the size of each picture (frame windows, the
// player). With a fixed picture area it keeps its size whatever it is given,
// blank when given no picture, and cuts pictures to the area (the samples of
// the auto-create dialog).
class PictureBox : public QWidget
{
    Q_OBJECT
  public:
    static constexpr int kBorder = 2;

    // Classic: fixed greys of the classic sunken edge on the window colour,
    // the same on every style, so that a frame looks the same everywhere.
    // Styled: the style's sunken panel with nothing under the picture, so
    // that the box sits on a themed page (the dialog's tabs) like a framed
    // label.
    enum class Border { Classic, Styled };

    explicit PictureBox(QWidget *parent = nullptr);

    void setBorder(Border border);
    Border border() const { return border_; }
    // Fixes the area inside the border; an empty size lets the box follow
    // its pictures again.
    void setPictureArea(const QSize &area);

    // Schedules a repaint; callers that need the picture on screen at once
    // repaint() after it.
    void setPicture(const QImage &image);
    // Draws whatever source returns at each paint instead of a kept
    // picture, sized for a picture of size: a box that shows pixels owned
    // elsewhere holds no copy of them. An empty source ends this.
    void setSource(std::function<QImage()> source, const QSize &size);
    // The picture shown now (a copy of the source's when there is one).
    QImage picture() const;
    // Each picture pixel becomes zoom × zoom screen pixels (nearest
    // neighbour, so that the pixels stay sharp); 1 by default.
    void setZoom(int zoom);
    int zoom() const { return zoom_; }

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    void paintClassicBorder(QPainter &p);
    void paintStyledBorder(QPainter &p);

    void fitTo(const QSize &size);

    QImage image_;
    std::function<QImage()> source_;
    QSize sourceSize_;
    Border border_ = Border::Classic;
    QSize area_;
    int zoom_ = 1;
};

} // namespace velmar
