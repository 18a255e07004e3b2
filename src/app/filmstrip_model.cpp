// SPDX-License-Identifier: GPL-3.0-or-later
#include "filmstrip_model.h"

#include "document/document.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>

namespace velmar
{

const QString FilmstripModel::kMimeType = QStringLiteral("application/x-velmar-frame-rows");

FilmstripModel::FilmstripModel(Document &doc, QObject *parent) : QAbstractListModel(parent), doc_(doc)
{
    // A frame window exists for every slot, the staged one included; the
    // list has an item for each, so that it matches the windows at all times.
    thumbs_.resize(qsizetype(doc_.slotCount()));
    connect(&doc_, &Document::frameAdded, this, [this](int n, int) { onFrameAdded(n); });
    connect(&doc_, &Document::frameInserted, this, &FilmstripModel::onFrameAdded);
    connect(&doc_, &Document::frameRemoved, this, &FilmstripModel::onFrameRemoved);
    connect(&doc_, &Document::frameChanged, this, &FilmstripModel::onFrameChanged);
    connect(&doc_, &Document::framesSwapped, this, &FilmstripModel::onFramesSwapped);
    connect(&doc_, &Document::framesReordered, this, &FilmstripModel::onFramesReordered);
    connect(doc_.gridModel(), &QAbstractItemModel::dataChanged, this, &FilmstripModel::onGridChanged);
}

int FilmstripModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(thumbs_.size());
}

QVariant FilmstripModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row >= thumbs_.size() || !doc_.hasSlot(row))
        return {};
    const auto delay = [&] { return doc_.grid().TextMatrix(row + 1, PropertyGrid::ColDelay).trimmed(); };
    switch (role) {
    case Qt::DisplayRole:
        return QString::number(row) + QLatin1Char('\n') + delay();
    case Qt::ToolTipRole:
        return QStringLiteral("ﾌﾚｰﾑ %1 ／ ﾃﾞｨﾚｲ %2 (1/100秒)").arg(row).arg(delay());
    case Qt::DecorationRole:
        if (thumbs_[row].isNull())
            thumbs_[row] = thumbnail(doc_, row);
        return thumbs_[row];
    case Qt::TextAlignmentRole:
        return int(Qt::AlignHCenter | Qt::AlignTop);
    case NumberRole:
        return row;
    case DelayRole:
        return delay();
    default:
        return {};
    }
}

QImage FilmstripModel::thumbnail(const Document &doc, int frame)
{
    if (!doc.hasSlot(frame))
        return {};
    const PicInfo &pic = doc.pic(frame);
    if (pic.lWidth <= 0 || pic.lHeight <= 0 || pic.bits.size() < pic.pixelCount())
        return {};
    // A view of the frame's own indices; only the small result is kept.
    QImage picture(pic.pBits(), pic.lWidth, pic.lHeight, pic.lWidth, QImage::Format_Indexed8);
    QList<QRgb> table(256);
    for (int k = 0; k < 256; ++k) {
        const Rgb c = k < pic.nColors ? pic.colors[size_t(k)] : Rgb{};
        table[k] = qRgb(c.r, c.g, c.b);
    }
    picture.setColorTable(table);
    const QSize size = picture.size().scaled(kThumbSize, kThumbSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    // Shrinking a palette picture: convert first so that the scaling can
    // average neighbouring pixels.
    return picture.convertToFormat(QImage::Format_RGB32).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

Qt::ItemFlags FilmstripModel::flags(const QModelIndex &index) const
{
    // Items are dragged, and dropped between, never onto one another.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

Qt::DropActions FilmstripModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions FilmstripModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

QStringList FilmstripModel::mimeTypes() const
{
    return {kMimeType};
}

QMimeData *FilmstripModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &i : indexes)
        if (i.isValid() && !rows.contains(i.row()))
            rows << i.row();
    std::sort(rows.begin(), rows.end());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << rows;
    auto *data = new QMimeData;
    data->setData(kMimeType, bytes);
    return data;
}

bool FilmstripModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int, const QModelIndex &) const
{
    return data && action == Qt::MoveAction && data->hasFormat(kMimeType);
}

bool FilmstripModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                  const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    QList<int> rows;
    QDataStream in(data->data(kMimeType));
    in >> rows;
    if (row < 0)
        row = parent.isValid() ? parent.row() : rowCount();
    moveRowsTo(rows, row);
    return true;
}

void FilmstripModel::moveRowsTo(QList<int> rows, int dropRow)
{
    // Only whole frames move; a frame still being read does not.
    rows.removeIf([this](int r) { return !doc_.isFrame(r); });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;
    dropRow = std::clamp(dropRow, 0, doc_.picCount());
    // The drop row counts the moving frames still in front of it; where the
    // block lands is counted without them.
    const int before = int(std::count_if(rows.begin(), rows.end(), [dropRow](int r) { return r < dropRow; }));
    doc_.moveFrames(rows, dropRow - before);
}

void FilmstripModel::beginBulkChange()
{
    if (bulk_++ == 0)
        beginResetModel();
}

void FilmstripModel::endBulkChange()
{
    if (bulk_ > 0 && --bulk_ == 0)
        endResetModel();
}

void FilmstripModel::onFrameAdded(int n)
{
    n = std::clamp(n, 0, int(thumbs_.size()));
    if (bulk_ > 0) {
        thumbs_.insert(n, QImage());
        return;
    }
    beginInsertRows(QModelIndex(), n, n);
    thumbs_.insert(n, QImage());
    endInsertRows();
    // The later frames' numbers have moved up by one.
    if (n + 1 < thumbs_.size())
        emit dataChanged(index(n + 1), index(int(thumbs_.size()) - 1), {Qt::DisplayRole, NumberRole});
}

void FilmstripModel::onFrameRemoved(int n)
{
    if (n < 0 || n >= thumbs_.size())
        return;
    if (bulk_ > 0) {
        thumbs_.removeAt(n);
        return;
    }
    beginRemoveRows(QModelIndex(), n, n);
    thumbs_.removeAt(n);
    endRemoveRows();
    if (n < thumbs_.size())
        emit dataChanged(index(n), index(int(thumbs_.size()) - 1), {Qt::DisplayRole, NumberRole});
}

void FilmstripModel::onFrameChanged(int n)
{
    if (n < 0 || n >= thumbs_.size())
        return;
    thumbs_[n] = QImage();
    if (bulk_ == 0)
        emit dataChanged(index(n), index(n), {Qt::DecorationRole});
}

void FilmstripModel::onFramesSwapped(int a, int b)
{
    if (a < 0 || b < 0 || a >= thumbs_.size() || b >= thumbs_.size())
        return;
    std::swap(thumbs_[a], thumbs_[b]);
    if (bulk_ > 0)
        return;
    emit dataChanged(index(a), index(a));
    emit dataChanged(index(b), index(b));
}

// Frame i now was frame order[i]; the items follow their frames, so that
// a selection stays on the frames it was made on.
void FilmstripModel::onFramesReordered(const QList<int> &order)
{
    if (order.size() > thumbs_.size())
        return;
    if (bulk_ > 0) {
        const QVector<QImage> before = thumbs_;
        for (int i = 0; i < order.size(); ++i)
            if (order[i] >= 0 && order[i] < before.size())
                thumbs_[i] = before[order[i]];
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QVector<QImage> before = thumbs_;
    QVector<int> newRowOf(thumbs_.size());
    for (int i = 0; i < newRowOf.size(); ++i)
        newRowOf[i] = i;
    for (int i = 0; i < order.size(); ++i) {
        const int old = order[i];
        if (old < 0 || old >= before.size())
            continue;
        thumbs_[i] = std::move(before[old]);
        newRowOf[old] = i;
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
        to << index(newRowOf.value(i.row(), i.row()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FilmstripModel::onGridChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    // Grid model column c is grid column c + 1; grid model row r is frame r.
    const int delayColumn = PropertyGrid::ColDelay - 1;
    if (bulk_ > 0 || !topLeft.isValid() || topLeft.column() > delayColumn || bottomRight.column() < delayColumn)
        return;
    const int first = std::max(0, topLeft.row());
    const int last = std::min(bottomRight.row(), int(thumbs_.size()) - 1);
    if (first <= last)
        emit dataChanged(index(first), index(last), {Qt::DisplayRole, Qt::ToolTipRole, DelayRole});
}

} // namespace velmar
