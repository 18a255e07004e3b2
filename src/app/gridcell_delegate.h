#pragma once

#include <QStyledItemDelegate>

namespace velmar
{

class Document;

// Draws the property grid's cells: on the rows of existing frames, a cell
// whose text the writer would refuse is red, so that the fault shows before
// a save.
class GridCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
  public:
    GridCellDelegate(const Document &doc, QObject *parent) : QStyledItemDelegate(parent), doc_(doc) {}
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

  private:
    const Document &doc_;
};

} // namespace velmar
