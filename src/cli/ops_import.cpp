// SPDX-License-Identifier: GPL-3.0-or-later
// velmar-cli import: pictures of other formats become frames.
#include "cli/commands.h"
#include "document/document.h"
#include "imageimport.h"

#include <QFileInfo>

namespace velmar::cli
{
namespace
{

bool importOp(Context &ctx, const QStringList &args)
{
    const QString &path = args[0];
    const Result<ImportOptions> options = parseImportOptions(args[1]);
    if (!options) {
        ctx.err << "velmar-cli: import: " << options.error() << "\n";
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        ctx.err << "velmar-cli: import: cannot read " << path << ": no such file\n";
        return false;
    }
    // A file no plugin reads is refused, as open refuses a file that is not
    // a GIF, rather than passing as an import of nothing.
    if (!imagePluginReads(path)) {
        ctx.err << "velmar-cli: import: not a picture file: " << path << "\n";
        return false;
    }
    QStringList notes;
    const Result<int> added = importImageFiles(ctx.doc, {path}, *options, &notes);
    for (const QString &note : notes)
        ctx.err << "velmar-cli: import: warning: " << note << "\n";
    if (!added) {
        ctx.err << "velmar-cli: import: " << added.error() << "\n";
        return false;
    }
    return true;
}

const Registrar registrar{
    {QStringLiteral("import"), 2,
     QStringLiteral("import FILE OPTIONS  append the pictures of a PNG, JPEG, WebP, BMP (...) file as frames, "
                    "reduced to 256 colours; OPTIONS is dither=0|1,shared=0|1,delay=N,quality=N (any subset) or -"),
     importOp},
};

} // namespace
} // namespace velmar::cli
