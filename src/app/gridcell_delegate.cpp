#include "gridcell_delegate.h"

#include "document/document.h"
#include "document/gifio.h"

namespace velmar
{

void GridCellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // Model column c is grid column c + 1: the number column is the header.
    if (index.row() >= doc_.picCount() || checkGridCell(index.column() + 1, index.data().toString()))
        return;
    // Red text; selected, a red bar, since red on the selection colour is
    // hard to read.
    option->palette.setColor(QPalette::Text, Qt::red);
    option->palette.setColor(QPalette::Highlight, QColor(200, 0, 0));
    option->palette.setColor(QPalette::HighlightedText, Qt::white);
}

} // namespace velmar
