// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QList>
#include <QVector>

namespace velmar
{

class Document;

// The frames of a Document as a list, one row per frame window (the frame
// being read included), in frame order: a thumbnail, the frame number and
// its delay in hundredths of a second. It follows every change of the
// Document through its signals, undo and redo included.
//
// Thumbnails are made when a view first asks for one and kept small; a
// changed frame's thumbnail is made again on its next paint, so opening
// thousands of frames costs nothing here until they are looked at.
class FilmstripModel : public QAbstractListModel
{
    Q_OBJECT
  public:
    enum Role { NumberRole = Qt::UserRole + 1, DelayRole };
    static constexpr int kThumbSize = 64;
    static const QString kMimeType;

    explicit FilmstripModel(Document &doc, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Dragging items inside the list moves their frames, as one step.
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // Moves the frames (rows, in any order) so that they stand together,
    // in their order, in front of the item now at dropRow (rowCount(): at
    // the end). One Document command, so one undo step.
    void moveRowsTo(QList<int> rows, int dropRow);

    // While frames come and go by the hundred (open, close all, undoing
    // either), the views are told once, at the end, that the list is new:
    // a view's bookkeeping per added or removed row costs more than the
    // whole list does at once. Pairs nest.
    void beginBulkChange();
    void endBulkChange();

    // The thumbnail of a frame: the picture scaled to fit kThumbSize square,
    // its aspect kept.
    static QImage thumbnail(const Document &doc, int frame);

  private:
    void onFrameAdded(int n);
    void onFrameRemoved(int n);
    void onFrameChanged(int n);
    void onFramesSwapped(int a, int b);
    void onFramesReordered(const QList<int> &order);
    void onGridChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);

    Document &doc_;
    // One entry per row; a null image is made on demand.
    mutable QVector<QImage> thumbs_;
    int bulk_ = 0;
};

} // namespace velmar
