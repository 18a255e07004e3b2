#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

namespace velmar
{

// The per-frame GIF properties as text, addressed like the grid on screen:
// row 0 holds the headings, column 0 the frame numbers, row i + 1 belongs to
// frame i. TextMatrix/setTextMatrix/Rows/setRows use those indices.
//
// As a Qt model it shows only the editable part: model row r is grid row
// r + 1 and model column c is grid column c + 1; the headings and frame
// numbers come through headerData, so a view shows them fixed.
class PropertyGrid : public QAbstractTableModel
{
    Q_OBJECT
  public:
    enum Column {
        ColNumber = 0,
        ColX = 1,
        ColY = 2,
        ColWidth = 3,
        ColHeight = 4,
        ColInterlace = 5,
        ColTransparent = 6,
        ColTransIndex = 7,
        ColDelay = 8,
        ColDisposal = 9,
        ColComment = 10,
    };
    static constexpr int kCols = 11;

    explicit PropertyGrid(QObject *parent = nullptr);

    QString TextMatrix(int row, int col) const;
    int Rows() const { return int(rows_.size()); }
    int Cols() const { return kCols; }

    static QString heading(int col);
    static int columnWidthTwips(int col);
    static QString helpText(int col);

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

  private:
    // Only the Document changes cells, so that every change is undoable.
    friend class Document;
    void setTextMatrix(int row, int col, const QString &text);
    void setRows(int count);
    // Rows 1 .. order.size() take columns 1 to 10 of row order[i - 1] + 1;
    // the frame numbers in column 0 stay.
    void reorderRows(const QList<int> &order);

    QVector<QStringList> rows_;
};

} // namespace velmar
