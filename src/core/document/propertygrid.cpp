#include "document/propertygrid.h"

namespace velmar
{
namespace
{
struct ColumnInfo {
    const char16_t *heading;
    int widthTwips;
    const char16_t *help;
};
const ColumnInfo kColumns[PropertyGrid::kCols] = {
    {u"", 400, u""},
    {u"Ｘ", 500, u"フレームのＸ座標位置"},
    {u"Ｙ", 500, u"フレームのＹ座標位置"},
    {u"幅", 500, u"フレームの横幅"},
    {u"高さ", 500, u"フレームの高さ"},
    {u"ｲﾝﾀｰﾚｽ", 600, u"インターレース（0:使用しない, 1:使用する）"},
    {u"透明", 500, u"透過色（0:使用しない, 1:使用する）"},
    {u"透過色", 600, u"透過色を使用する場合のパレット番号"},
    {u"待ち時間", 700, u"次のフレームを表示するまでの時間"},
    {u"後処理", 500, u"ﾌﾚｰﾑ切換え時(0:何もしない,1:絵を残す,2:背景色に戻す,3:前に戻す)"},
    {u"コメント", 2000, u"フレーム毎のコメント"},
};

QStringList emptyRow()
{
    return QStringList(QVector<QString>(PropertyGrid::kCols));
}
} // namespace

PropertyGrid::PropertyGrid(QObject *parent) : QAbstractTableModel(parent)
{
    QStringList headings;
    for (const auto &c : kColumns)
        headings << QString::fromUtf16(c.heading);
    rows_ << headings << emptyRow();
}

QString PropertyGrid::heading(int col)
{
    return col >= 0 && col < kCols ? QString::fromUtf16(kColumns[col].heading) : QString();
}
int PropertyGrid::columnWidthTwips(int col)
{
    return col >= 0 && col < kCols ? kColumns[col].widthTwips : 0;
}
QString PropertyGrid::helpText(int col)
{
    return col >= 0 && col < kCols ? QString::fromUtf16(kColumns[col].help) : QString();
}

QString PropertyGrid::TextMatrix(int row, int col) const
{
    if (row < 0 || row >= Rows() || col < 0 || col >= kCols)
        return {};
    return rows_[row][col];
}

void PropertyGrid::setTextMatrix(int row, int col, const QString &text)
{
    if (row < 0 || row >= Rows() || col < 0 || col >= kCols)
        return;
    if (rows_[row][col] == text)
        return;
    rows_[row][col] = text;
    if (row == 0 || col == 0) {
        if (row == 0 && col > 0)
            emit headerDataChanged(Qt::Horizontal, col - 1, col - 1);
        else if (row > 0)
            emit headerDataChanged(Qt::Vertical, row - 1, row - 1);
        return;
    }
    const QModelIndex i = index(row - 1, col - 1);
    emit dataChanged(i, i);
}

void PropertyGrid::setRows(int count)
{
    count = std::max(count, 1); // the heading row always stays
    const int old = Rows();
    if (count > old) {
        beginInsertRows(QModelIndex(), old - 1, count - 2);
        while (rows_.size() < count)
            rows_ << emptyRow();
        endInsertRows();
    } else if (count < old) {
        beginRemoveRows(QModelIndex(), count - 1, old - 2);
        rows_.resize(count);
        endRemoveRows();
    }
}

void PropertyGrid::reorderRows(const QList<int> &order)
{
    const int n = int(order.size());
    if (n == 0 || n >= Rows())
        return;
    QVector<QStringList> moved;
    moved.reserve(n);
    for (int i = 0; i < n; ++i)
        moved << rows_[order[i] + 1];
    for (int i = 0; i < n; ++i) {
        // The number column belongs to the row's place, not to the frame.
        const QString number = rows_[i + 1][ColNumber];
        rows_[i + 1] = std::move(moved[i]);
        rows_[i + 1][ColNumber] = number;
    }
    emit dataChanged(index(0, 0), index(n - 1, kCols - 2));
}

int PropertyGrid::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Rows() - 1;
}
int PropertyGrid::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kCols - 1;
}

QVariant PropertyGrid::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return TextMatrix(index.row() + 1, index.column() + 1);
}

QVariant PropertyGrid::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return TextMatrix(0, section + 1);
    return TextMatrix(section + 1, 0);
}

Qt::ItemFlags PropertyGrid::flags(const QModelIndex &index) const
{
    // Cells change through the value box below the grid, never in place.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace velmar
