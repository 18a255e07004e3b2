#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

namespace velmar
{
class Document;
}

namespace velmar::cli
{

// What an operation works on and where it reports.
struct Context {
    Document &doc;
    QTextStream &out;
    QTextStream &err;
};

// An operation: its name, how many arguments it takes, a one-line usage
// ("open FILE   read a GIF file ..."), and the work. run returns false after
// writing its message to ctx.err; the CLI then stops with exit status 1.
struct Operation {
    QString name;
    int argCount = 0;
    QString usage;
    std::function<bool(Context &ctx, const QStringList &args)> run;
};

// Each file under src/cli/ that defines operations registers them with a
// static Registrar, so adding operations never edits a shared list.
void registerOperation(Operation op);
struct Registrar {
    explicit Registrar(std::initializer_list<Operation> ops)
    {
        for (const Operation &op : ops)
            registerOperation(op);
    }
};

// Runs the operations in args; returns the process exit status.
int run(const QStringList &args);

} // namespace velmar::cli
