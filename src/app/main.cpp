#include "document/document.h"
#include "mdimain.h"
#include "uilanguage.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Velmar"));
    QApplication::setApplicationName(QStringLiteral("Velmar"));
    velmar::installJapaneseQtTexts(app);
    QApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/velmar.png")));

    velmar::Document doc;
    velmar::mdiMain window(doc);
    window.restoreWindowSettings();
    window.show();

    // Files named on the command line open like a drop, in order, once the
    // window is on screen so the user sees them load.
    QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, files] { window.openFiles(files); });
    return app.exec();
}
