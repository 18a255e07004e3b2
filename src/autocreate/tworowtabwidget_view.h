#pragma once

#include "autocreate/tworowtabbar_view.h"

#include <QTabWidget>

namespace velmar
{

// A QTabWidget whose tabs stand in two rows (see TwoRowTabBar); tab indices
// run over all rows, 0 to count() - 1.
class TwoRowTabWidget : public QTabWidget
{
    Q_OBJECT
  public:
    TwoRowTabWidget(int tabsPerRow, QWidget *parent = nullptr);

    TwoRowTabBar *rowBar() const { return bar_; }
    // Where tab index lies now, in this widget's coordinates.
    QRect tabRect(int index) const;
    // Height of the tab rows; the pages start below them.
    int headerHeight() const;

  private:
    TwoRowTabBar *bar_;
};

} // namespace velmar
