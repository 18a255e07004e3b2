#include "helpwindow.h"

#include "platform/twips.h"

namespace velmar
{
namespace
{

constexpr int kWidthTwips = 9000;
constexpr int kHeightTwips = 9000;

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowFlag(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("ﾍﾙﾌﾟ"));
    // Links to other sites go to the desktop; the page's own anchors stay.
    setOpenExternalLinks(true);
    resize(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));
}

void HelpWindow::showPage(const QUrl &page)
{
    setSource(page);
}

} // namespace velmar
