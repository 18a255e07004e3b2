#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmar
{

// The about box: product line, version and the publisher's contacts. Shown
// modeless; "ＯＫ" (or closing it) unloads it, so the next showing builds it
// anew.
class frmVersion : public QDialog
{
    Q_OBJECT
  public:
    explicit frmVersion(QWidget *parent = nullptr);

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label6 = nullptr;
    QPushButton *cmdOk = nullptr;

    void cmdOk_Click();
};

} // namespace velmar
