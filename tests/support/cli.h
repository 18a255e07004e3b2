#pragma once

#include <QString>
#include <QStringList>

namespace velmar::test
{

// One run of the built velmar-cli, as a script sees it.
struct CliRun {
    int status = -1; // -1: it crashed, hung or did not start
    QString out;
    QString err;
};

// Runs velmar-cli with args and waits for it (two minutes at most).
CliRun runCli(const QStringList &args);

} // namespace velmar::test
