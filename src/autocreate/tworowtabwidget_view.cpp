#include "autocreate/tworowtabwidget_view.h"

namespace velmar
{

TwoRowTabWidget::TwoRowTabWidget(int tabsPerRow, QWidget *parent)
    : QTabWidget(parent), bar_(new TwoRowTabBar(tabsPerRow))
{
    setTabBar(bar_);
}

QRect TwoRowTabWidget::tabRect(int index) const
{
    return bar_->rowTabRect(index).translated(bar_->pos());
}

int TwoRowTabWidget::headerHeight() const
{
    return bar_->rowCount() * bar_->rowHeight();
}

} // namespace velmar
