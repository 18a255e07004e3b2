#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QStatusBar;
class QTableView;

namespace velmar
{

class Document;

// The property window: the animation's global fields and the per-frame grid.
// Cells are edited through the value box txtIn; the window's own status bar
// explains the current column. Closing only hides it.
class frmPrpty : public QWidget
{
    Q_OBJECT
  public:
    explicit frmPrpty(Document &doc, QWidget *parent = nullptr);

    QTableView *grid() const { return fgPrpty_; }
    QLineEdit *valueBox() const { return txtIn_; }
    QString statusText() const;

    // The current cell in grid indices (row 0 / column 0 are the headings).
    int currentRow() const;
    int currentCol() const;
    void setCurrentCell(int row, int col);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void fgPrpty_Click();
    void fgPrpty_RowColChange();
    void fgPrpty_EnterPressed();
    void txtIn_EnterPressed();
    void refreshGlobals();
    void setStatus(const QString &text);
    // The column's help, or why the writer would refuse text in it.
    void showCellStatus(const QString &text);
    // The grid and the status bar follow the window; the fields above stay.
    void layoutGrid();
    void onRowsAboutToBeRemoved(int first, int last);
    void onRowsRemoved();
    void onCellsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);

    Document &doc_;
    QLineEdit *txtGblWidth_;
    QLineEdit *txtGblHeight_;
    QLineEdit *txtGblLoop_;
    QCheckBox *chkGblLoop_;
    QLineEdit *txtGblComment_;
    QLineEdit *txtIn_;
    QTableView *fgPrpty_;
    QStatusBar *statusBar_;
    QLabel *statusPanel_;
    bool currentRowGoing_ = false;
};

} // namespace velmar
