#pragma once

#include <QTabBar>

namespace velmar
{

// The tab bar of TwoRowTabWidget: lays its tabs out in rows of a fixed
// number (Qt's tab bars keep one row) and moves the row holding the current
// tab next to the page, as the classic two-row tab controls do. It paints and
// hit-tests its own rows; everything else (current index, captions, keys) is
// QTabBar's.
class TwoRowTabBar : public QTabBar
{
    Q_OBJECT
  public:
    TwoRowTabBar(int tabsPerRow, QWidget *parent = nullptr);

    // Where tab index lies now, in the bar's coordinates.
    QRect rowTabRect(int index) const;
    int rowCount() const;
    int rowHeight() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    // Tabs are not dragged, and a release does not pick a tab a second time.
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    int tabsPerRow_;
};

} // namespace velmar
