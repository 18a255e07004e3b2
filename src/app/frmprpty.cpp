#include "frmprpty.h"

#include "document/document.h"
#include "document/gifio.h"
#include "gridcell_delegate.h"
#include "platform/twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableView>

namespace velmar
{
namespace
{

// The column widths are fixed in twips; the font of the desktop may be
// wider than the one they were made for. Step the font down until every text
// fits its room, rather than cutting texts off.
QFont fittingFont(QFont font, const QStringList &texts, const QList<int> &room)
{
    for (qreal size = font.pointSizeF(); size > 5.0; size -= 0.5) {
        font.setPointSizeF(size);
        const QFontMetrics fm(font);
        bool fits = true;
        for (int i = 0; i < texts.size() && fits; ++i)
            fits = fm.horizontalAdvance(texts[i]) <= room[i];
        if (fits)
            break;
    }
    return font;
}

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

constexpr int kClientWidthTwips = 6150;
constexpr int kClientHeightTwips = 4305;
constexpr int kGridTopTwips = 1860;
constexpr int kStatusMarginTwips = 400;
// Room a header section or the status panel needs beside its text.
constexpr int kHeaderPadding = 6;

} // namespace

frmPrpty::frmPrpty(Document &doc, QWidget *parent) : QWidget(parent, Qt::Tool), doc_(doc)
{
    setObjectName(QStringLiteral("frmPrpty"));
    setWindowTitle(QStringLiteral("Propaty"));
    resize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));

    auto label = [this](const QString &text, int left, int top) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("Label1"));
        l->move(twipsToPixels(left), twipsToPixels(top));
        l->adjustSize();
        return l;
    };
    auto lineEdit = [this](const char *name, QRect r) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(r);
        e->installEventFilter(this);
        return e;
    };

    label(QStringLiteral("全体の幅"), 240, 120 + 30);
    txtGblWidth_ = lineEdit("txtGblWidth", twipRect(1440, 105, 735, 330));
    chkGblLoop_ = new QCheckBox(QStringLiteral("繰り返し動作"), this);
    chkGblLoop_->setObjectName(QStringLiteral("chkGblLoop"));
    chkGblLoop_->setGeometry(twipRect(2880, 120, 2055, 255 + 30));
    label(QStringLiteral("全体の高さ"), 240, 480 + 30);
    txtGblHeight_ = lineEdit("txtGblHeight", twipRect(1440, 480, 735, 330));
    label(QStringLiteral("繰り返し数"), 2880, 480 + 30);
    txtGblLoop_ = lineEdit("txtGblLoop", twipRect(4080, 480, 735, 330));
    label(QStringLiteral("コメント"), 240, 870 + 30);
    txtGblComment_ = lineEdit("txtGblComment", twipRect(1200, 855, 4575, 330));

    for (int y : {1320, 1335}) {
        auto *line = new QFrame(this);
        line->setObjectName(QStringLiteral("Line1"));
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(y == 1320 ? QFrame::Sunken : QFrame::Plain);
        line->setGeometry(twipsToPixels(240), twipsToPixels(y) - 1, twipsToPixels(5760 - 240), 2);
    }

    auto *label3 = new QLabel(QStringLiteral("コマ毎の設定"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->move(twipsToPixels(240), twipsToPixels(1440 + 60));
    label3->adjustSize();
    auto *label2 = new QLabel(QStringLiteral("値 :"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->move(twipsToPixels(3600), twipsToPixels(1500));
    label2->adjustSize();
    txtIn_ = lineEdit("txtIn", twipRect(4080, 1440, 1095, 330));
    txtIn_->setText(QStringLiteral("０"));

    fgPrpty_ = new QTableView(this);
    fgPrpty_->setObjectName(QStringLiteral("fgPrpty"));
    // Before the view's own connection: the view moves its current cell off
    // the rows that go, and which row was current must be known first.
    connect(doc_.gridModel(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { onRowsAboutToBeRemoved(first, last); });
    fgPrpty_->setModel(doc_.gridModel());
    fgPrpty_->setItemDelegate(new GridCellDelegate(doc_, fgPrpty_));
    fgPrpty_->setSelectionMode(QAbstractItemView::SingleSelection);
    fgPrpty_->setSelectionBehavior(QAbstractItemView::SelectItems);
    fgPrpty_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fgPrpty_->setTabKeyNavigation(false);
    fgPrpty_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    fgPrpty_->horizontalHeader()->setHighlightSections(false);
    fgPrpty_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fgPrpty_->verticalHeader()->setDefaultSectionSize(fgPrpty_->fontMetrics().height() + 4);
    fgPrpty_->verticalHeader()->setFixedWidth(twipsToPixels(PropertyGrid::columnWidthTwips(0)));
    fgPrpty_->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    for (int col = 1; col < PropertyGrid::kCols; ++col)
        fgPrpty_->setColumnWidth(col - 1, twipsToPixels(PropertyGrid::columnWidthTwips(col)));
    fgPrpty_->installEventFilter(this);
    {
        QStringList headings;
        QList<int> room;
        for (int col = 1; col < PropertyGrid::kCols; ++col) {
            headings << PropertyGrid::heading(col);
            room << fgPrpty_->columnWidth(col - 1) - kHeaderPadding;
        }
        fgPrpty_->horizontalHeader()->setFont(fittingFont(fgPrpty_->horizontalHeader()->font(), headings, room));
    }

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar_->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(statusBar_);
    statusPanel_->setObjectName(QStringLiteral("StatusBar1_Panel1"));
    statusBar_->addWidget(statusPanel_);

    setTabOrder(txtGblWidth_, txtGblLoop_);
    setTabOrder(txtGblLoop_, txtGblHeight_);
    setTabOrder(txtGblHeight_, txtGblComment_);
    setTabOrder(txtGblComment_, txtIn_);
    setTabOrder(txtIn_, chkGblLoop_);
    setTabOrder(chkGblLoop_, fgPrpty_);

    // Global fields are views of the document's fields; typing on in one
    // field is one undo step.
    const auto typed = [this](QLineEdit *box, GlobalField field) {
        connect(box, &QLineEdit::textEdited, &doc_, [this, field](const QString &t) { doc_.typeGlobal(field, t); });
    };
    typed(txtGblWidth_, GlobalField::Width);
    typed(txtGblHeight_, GlobalField::Height);
    typed(txtGblLoop_, GlobalField::Loop);
    typed(txtGblComment_, GlobalField::Comment);
    connect(chkGblLoop_, &QCheckBox::toggled, &doc_, &Document::setGblLoopBlock);
    connect(&doc_, &Document::globalsChanged, this, &frmPrpty::refreshGlobals);
    refreshGlobals();

    connect(fgPrpty_, &QTableView::clicked, this, &frmPrpty::fgPrpty_Click);
    connect(fgPrpty_->selectionModel(), &QItemSelectionModel::currentChanged, this, &frmPrpty::fgPrpty_RowColChange);
    connect(txtIn_, &QLineEdit::returnPressed, this, &frmPrpty::txtIn_EnterPressed);
    connect(txtIn_, &QLineEdit::textEdited, this, &frmPrpty::showCellStatus);
    connect(doc_.gridModel(), &QAbstractItemModel::rowsRemoved, this, &frmPrpty::onRowsRemoved);
    connect(doc_.gridModel(), &QAbstractItemModel::modelReset, txtIn_, &QLineEdit::clear);
    connect(doc_.gridModel(), &QAbstractItemModel::dataChanged, this, &frmPrpty::onCellsChanged);

    layoutGrid();
    {
        QStringList helps;
        QList<int> room;
        for (int col = 1; col < PropertyGrid::kCols; ++col) {
            helps << PropertyGrid::helpText(col);
            room << statusPanel_->width() - kHeaderPadding;
        }
        statusPanel_->setFont(fittingFont(statusPanel_->font(), helps, room));
    }
}

void frmPrpty::layoutGrid()
{
    const int statusHeight = statusBar_->sizeHint().height();
    const QSize client = size();
    statusBar_->setGeometry(0, client.height() - statusHeight, client.width(), statusHeight);
    statusPanel_->setFixedWidth(std::max(0, client.width() - twipsToPixels(kStatusMarginTwips)));
    const int gridTop = twipsToPixels(kGridTopTwips);
    fgPrpty_->setGeometry(twipsToPixels(240), gridTop, std::max(0, client.width() - twipsToPixels(240) * 2),
                          std::max(0, client.height() - statusHeight - gridTop - 4));
}

void frmPrpty::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutGrid();
}

void frmPrpty::refreshGlobals()
{
    const GlobalFields &g = doc_.globals();
    auto sync = [](QLineEdit *e, const QString &text) {
        if (e->text() != text)
            e->setText(text);
    };
    sync(txtGblWidth_, g.width);
    sync(txtGblHeight_, g.height);
    sync(txtGblLoop_, g.loop);
    sync(txtGblComment_, g.comment);
    if (chkGblLoop_->isChecked() != g.loopBlock)
        chkGblLoop_->setChecked(g.loopBlock);
}

QString frmPrpty::statusText() const
{
    return statusPanel_->text();
}

void frmPrpty::setStatus(const QString &text)
{
    statusPanel_->setText(text);
    statusPanel_->repaint();
}

int frmPrpty::currentRow() const
{
    const QModelIndex i = fgPrpty_->currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

int frmPrpty::currentCol() const
{
    const QModelIndex i = fgPrpty_->currentIndex();
    return i.isValid() ? i.column() + 1 : 0;
}

void frmPrpty::setCurrentCell(int row, int col)
{
    if (row < 1 || col < 1)
        return; // the heading row and the number column are fixed
    fgPrpty_->setCurrentIndex(doc_.grid().index(row - 1, col - 1));
}

void frmPrpty::fgPrpty_Click()
{
    txtIn_->setText(doc_.grid().TextMatrix(currentRow(), currentCol()));
}

void frmPrpty::fgPrpty_RowColChange()
{
    if (currentRow() > 0) {
        txtIn_->setText(doc_.grid().TextMatrix(currentRow(), currentCol()));
        txtIn_->repaint();
        fgPrpty_->setFocus();
    }
    showCellStatus(doc_.grid().TextMatrix(currentRow(), currentCol()));
}

void frmPrpty::showCellStatus(const QString &text)
{
    // Only a frame's row is written; the grid's spare empty row is not.
    const bool frameRow = currentRow() > 0 && currentRow() <= doc_.picCount();
    const Result<void> taken = frameRow ? checkGridCell(currentCol(), text) : Result<void>();
    setStatus(taken ? PropertyGrid::helpText(currentCol()) : taken.error());
}

void frmPrpty::onRowsAboutToBeRemoved(int first, int last)
{
    const QModelIndex current = fgPrpty_->currentIndex();
    currentRowGoing_ = current.isValid() && current.row() >= first && current.row() <= last;
}

void frmPrpty::onRowsRemoved()
{
    // The view moves its current cell to a neighbour; the value box must not
    // carry the text of the row that went over to it.
    if (currentRowGoing_)
        txtIn_->clear();
    currentRowGoing_ = false;
}

void frmPrpty::onCellsChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight)
{
    const QModelIndex current = fgPrpty_->currentIndex();
    if (!current.isValid() || txtIn_->hasFocus())
        return;
    if (QItemSelectionRange(topLeft, bottomRight).contains(current))
        txtIn_->setText(current.data().toString());
}

void frmPrpty::fgPrpty_EnterPressed()
{
    txtIn_->setText(doc_.grid().TextMatrix(currentRow(), currentCol()));
    txtIn_->setFocus();
    txtIn_->selectAll();
}

void frmPrpty::txtIn_EnterPressed()
{
    if (currentRow() > 0 && currentCol() > 0)
        doc_.setCell(currentRow(), currentCol(), txtIn_->text());
    showCellStatus(txtIn_->text());
    fgPrpty_->setFocus();
}

bool frmPrpty::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn &&
        (watched == txtGblWidth_ || watched == txtGblHeight_ || watched == txtGblLoop_ || watched == txtGblComment_)) {
        setStatus(QString());
    } else if (watched == fgPrpty_ && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            fgPrpty_EnterPressed();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmPrpty::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

} // namespace velmar
