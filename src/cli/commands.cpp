#include "cli/commands.h"

#include "document/document.h"

#include <algorithm>
#include <map>
#include <vector>

namespace velmar::cli
{
namespace
{

std::vector<Operation> &registry()
{
    static std::vector<Operation> ops;
    return ops;
}

const Operation *findOperation(const QString &name)
{
    for (const Operation &op : registry())
        if (op.name == name)
            return &op;
    return nullptr;
}

void printUsage(QTextStream &out)
{
    out << "Usage: velmar-cli OPERATION [ARGS] [OPERATION [ARGS] ...]\n\n"
           "Runs the operations left to right on one document that starts empty and\n"
           "stops at the first failure (message on stderr, exit status 1).\n\n"
           "Operations:\n";
    std::vector<Operation> ops = registry();
    std::sort(ops.begin(), ops.end(), [](const Operation &a, const Operation &b) { return a.name < b.name; });
    for (const Operation &op : ops)
        out << "  " << op.usage << "\n";
    out << "\nOptions:\n"
           "  --help       show this text\n"
           "  --version    show the version\n";
}

} // namespace

void registerOperation(Operation op)
{
    registry().push_back(std::move(op));
}

int run(const QStringList &args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty()) {
        printUsage(err);
        return 1;
    }
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        printUsage(out);
        return 0;
    }
    if (args.first() == QLatin1String("--version")) {
        out << "velmar-cli " << VELMAR_VERSION << "\n";
        return 0;
    }

    Document doc;
    Context ctx{doc, out, err};
    for (int i = 0; i < args.size();) {
        const Operation *op = findOperation(args[i]);
        if (!op) {
            err << "velmar-cli: unknown operation: " << args[i] << " (see --help)\n";
            return 1;
        }
        if (op->argCount > args.size() - i - 1) {
            err << "velmar-cli: " << op->name << " needs " << op->argCount << " argument(s): " << op->usage << "\n";
            return 1;
        }
        const QStringList opArgs = args.mid(i + 1, op->argCount);
        if (!op->run(ctx, opArgs)) {
            out.flush();
            err.flush();
            return 1;
        }
        i += 1 + op->argCount;
    }
    out.flush();
    return 0;
}

} // namespace velmar::cli
