#pragma once

#include <QTextBrowser>

namespace velmar
{

// The program's own help viewer, used when the desktop has none: shows the
// help page and follows its links inside the page.
class HelpWindow : public QTextBrowser
{
    Q_OBJECT
  public:
    explicit HelpWindow(QWidget *parent = nullptr);

    void showPage(const QUrl &page);
};

} // namespace velmar
