// velmar-cli create: the Create command of the auto-create dialog.
#include "cli/commands.h"

#include "autocreate/createcommand.h"
#include "document/document.h"

#include <QRegularExpression>

namespace velmar::cli
{
namespace
{

// FIELDS is one argument, so that the operations after it stay apart:
// NAME=VALUE pairs separated by commas (or blanks), or "-" for none.
bool runCreate(Context &ctx, const QStringList &args)
{
    bool ok = false;
    const int tab = args[0].toInt(&ok);
    if (!ok || tab < 0 || tab >= autocreate::kTabCount) {
        ctx.err << "velmar-cli: create: TAB must be 0 to 10, not " << args[0] << "\n";
        return false;
    }
    autocreate::FieldValues fields = autocreate::initialFields(tab);
    const QString list = args[1] == QLatin1String("-") ? QString() : args[1];
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString &pair : list.split(separators, Qt::SkipEmptyParts)) {
        const int eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            ctx.err << "velmar-cli: create: expected NAME=VALUE, not " << pair << "\n";
            return false;
        }
        const QString name = pair.left(eq);
        if (!autocreate::setField(tab, fields, name, pair.mid(eq + 1))) {
            ctx.err << "velmar-cli: create: tab " << tab << " has no field " << name << "\n";
            return false;
        }
    }
    const Result<> created = autocreate::Create(ctx.doc, tab, fields);
    if (!created) {
        ctx.err << created.error() << "\n";
        return false;
    }
    return true;
}

const Registrar registrar{
    {QStringLiteral("create"), 2,
     QStringLiteral(
         "create TAB FIELDS   run the effect of auto-create tab TAB (0-10); FIELDS is NAME=VALUE[,NAME=VALUE...] "
         "or - (names without index, e.g. txtSumFraNum=8,optBackPal=1,txtBackPal=3; others keep their "
         "initial texts)"),
     runCreate},
};

} // namespace
} // namespace velmar::cli
