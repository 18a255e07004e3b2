// velmar-cli: runs the editor's commands on files, left to right, on one
// document that starts empty; stops at the first failure with exit status 1.
#include "cli/commands.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

int main(int argc, char *argv[])
{
    // A reader that closes the pipe early (`velmar-cli ... info | head`)
    // must not kill the program by SIGPIPE; the write just fails.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    // Whatever escapes an operation ends the program with a message and
    // status 1, as every other failure does, never with an abort.
    try {
        return velmar::cli::run(QCoreApplication::arguments().mid(1));
    } catch (const std::bad_alloc &) {
        std::fputs("velmar-cli: out of memory\n", stderr);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velmar-cli: %s\n", e.what());
    }
    return 1;
}
