#include "support/cli.h"

#include <QProcess>

namespace velmar::test
{

CliRun runCli(const QStringList &args)
{
    CliRun r;
    QProcess p;
    p.start(QStringLiteral(VELMAR_CLI_PATH), args);
    if (!p.waitForStarted() || !p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        r.err = p.errorString();
        return r;
    }
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace velmar::test
