// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QListView>

namespace velmar
{

class FilmstripModel;

// One row of frame thumbnails, scrolled sideways. Items are selected as in
// a file list (Ctrl and Shift extend the selection); dragging an item or a
// selection and dropping it between two items moves those frames there.
class FilmstripView : public QListView
{
    Q_OBJECT
  public:
    explicit FilmstripView(FilmstripModel *model, QWidget *parent = nullptr);

    FilmstripModel *filmstripModel() const { return model_; }
    // The selected frames in frame order.
    QList<int> selectedRows() const;
    // The row a drop at pos (viewport coordinates) lands in front of:
    // before an item when on its left half, after it on its right half.
    int dropRowAt(const QPoint &pos) const;
    // Makes row the current item and scrolls to it; the selection becomes
    // that item unless it is already part of it.
    void showRow(int row);

    // One row of thumbnails high: the dock should leave the rest of the
    // window to the frames.
    QSize sizeHint() const override { return {QListView::sizeHint().width(), minimumHeight()}; }

  signals:
    // The user made row the current item (click or keys).
    void rowActivated(int row);

  protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

  private:
    FilmstripModel *model_;
    bool programmatic_ = false;
};

} // namespace velmar
