// SPDX-License-Identifier: GPL-3.0-or-later
#include "filmstrip_view.h"

#include "filmstrip_model.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace velmar
{
namespace
{

// Room for the thumbnail and two short lines under it (number, delay).
const QSize kCell(FilmstripModel::kThumbSize + 20, FilmstripModel::kThumbSize + 40);

// Every item has the same size: laying out thousands of items must not ask
// each one for its thumbnail, which is made only when the item is painted.
class FixedSizeDelegate : public QStyledItemDelegate
{
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return kCell; }
};

} // namespace

FilmstripView::FilmstripView(FilmstripModel *model, QWidget *parent) : QListView(parent), model_(model)
{
    setObjectName(QStringLiteral("filmstrip"));
    setItemDelegate(new FixedSizeDelegate(this));
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    // Static: items keep their place in the row; a drop reorders frames
    // instead of putting an icon somewhere on the canvas. Static turns
    // dragging off, so it is turned on after it.
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setGridSize(kCell);
    setIconSize(QSize(FilmstripModel::kThumbSize, FilmstripModel::kThumbSize));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setModel(model);
    const int frame = 2 * frameWidth();
    setMinimumHeight(kCell.height() + horizontalScrollBar()->sizeHint().height() + frame + 4);
}

QList<int> FilmstripView::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedIndexes())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int FilmstripView::dropRowAt(const QPoint &pos) const
{
    const QModelIndex on = indexAt(pos);
    if (on.isValid())
        return pos.x() < visualRect(on).center().x() ? on.row() : on.row() + 1;
    const int count = model_->rowCount();
    if (count > 0 && pos.x() < visualRect(model_->index(0)).left())
        return 0;
    return count;
}

void FilmstripView::showRow(int row)
{
    const QModelIndex index = model_->index(row);
    if (!index.isValid())
        return;
    programmatic_ = true;
    const auto flags =
        selectionModel()->isSelected(index) ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect;
    selectionModel()->setCurrentIndex(index, flags);
    programmatic_ = false;
    scrollTo(index);
}

void FilmstripView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QListView::currentChanged(current, previous);
    if (!programmatic_ && current.isValid())
        emit rowActivated(current.row());
}

void FilmstripView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->source() != this || !event->mimeData()->hasFormat(FilmstripModel::kMimeType)) {
        event->ignore();
        return;
    }
    QListView::dragMoveEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

// The whole selection moves as one command; the base class would move the
// rows one at a time, each an undo step of its own.
void FilmstripView::dropEvent(QDropEvent *event)
{
    stopAutoScroll();
    setState(QAbstractItemView::NoState);
    viewport()->update();
    if (event->source() != this || !model_->dropMimeData(event->mimeData(), Qt::MoveAction,
                                                         dropRowAt(event->position().toPoint()), 0, QModelIndex())) {
        event->ignore();
        return;
    }
    // Copy, as far as the drag is concerned: the frames were moved here, and
    // nothing is to be removed at the source afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace velmar
