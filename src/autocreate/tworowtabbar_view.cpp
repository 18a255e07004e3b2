#include "autocreate/tworowtabbar_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace velmar
{

TwoRowTabBar::TwoRowTabBar(int tabsPerRow, QWidget *parent) : QTabBar(parent), tabsPerRow_(tabsPerRow)
{
    setUsesScrollButtons(false);
    setDrawBase(false);
    setExpanding(true);
    // The rows change places with the current tab.
    connect(this, &QTabBar::currentChanged, this, qOverload<>(&QWidget::update));
}

int TwoRowTabBar::rowCount() const
{
    return std::max(1, (count() + tabsPerRow_ - 1) / tabsPerRow_);
}

int TwoRowTabBar::rowHeight() const
{
    return fontMetrics().height() + 10;
}

QSize TwoRowTabBar::sizeHint() const
{
    // As wide as the tab widget allows: the rows share its whole width.
    const int width = parentWidget() ? parentWidget()->width() : tabsPerRow_ * 80;
    return QSize(width, rowCount() * rowHeight());
}

QSize TwoRowTabBar::minimumSizeHint() const
{
    return QSize(tabsPerRow_ * 40, rowCount() * rowHeight());
}

QRect TwoRowTabBar::rowTabRect(int index) const
{
    if (index < 0 || index >= count())
        return QRect();
    const int rows = rowCount();
    const int row = index / tabsPerRow_;
    const int currentRow = std::max(0, currentIndex()) / tabsPerRow_;
    // The current tab's row lies next to the page; the others keep their
    // order above it.
    const int shownRow = ((row - currentRow - 1) % rows + rows) % rows;
    const int first = row * tabsPerRow_;
    const int inRow = std::min(tabsPerRow_, count() - first);
    const int k = index - first;
    const int left = width() * k / inRow;
    const int right = width() * (k + 1) / inRow;
    return QRect(left, shownRow * rowHeight(), right - left, rowHeight());
}

void TwoRowTabBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    for (int i = 0; i < count(); ++i) {
        if (rowTabRect(i).contains(event->position().toPoint())) {
            setCurrentIndex(i);
            event->accept();
            return;
        }
    }
    event->ignore();
}

void TwoRowTabBar::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
}

void TwoRowTabBar::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
}

void TwoRowTabBar::paintEvent(QPaintEvent *)
{
    // Drawn by hand rather than by the style: the style's tab shapes assume
    // one row (the selected tab reaches into the page), and its tab label
    // would elide the longer captions in a sixth of the width.
    QPainter p(this);
    const QPalette &pal = palette();
    const QColor edge = pal.color(QPalette::Mid);
    const QColor light = pal.color(QPalette::Light);
    for (int i = 0; i < count(); ++i) {
        const bool selected = i == currentIndex();
        QRect r = rowTabRect(i).adjusted(0, 2, -1, 0);
        if (selected)
            r.adjust(0, -2, 0, 1); // raised, and open towards the page
        p.fillRect(r.adjusted(1, 1, 0, 0), selected ? pal.color(QPalette::Window) : pal.color(QPalette::Button));
        p.setPen(edge);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.drawLine(r.topRight(), r.bottomRight());
        if (!selected)
            p.drawLine(r.bottomLeft(), r.bottomRight());
        p.setPen(light);
        p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
        p.setPen(pal.color(QPalette::ButtonText));
        p.drawText(r, Qt::AlignCenter, tabText(i));
        if (selected && hasFocus()) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = r.adjusted(3, 3, -3, -2);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
        }
    }
}

} // namespace velmar
