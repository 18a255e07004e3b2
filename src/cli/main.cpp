// velmar-cli: runs the editor's commands on files, left to right, on one
// document that starts empty; stops at the first failure with exit status 1.
#include "cli/commands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    return velmar::cli::run(QCoreApplication::arguments().mid(1));
}
