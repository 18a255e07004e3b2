// velmar-cli operations on GIF files: open, save and a JSON description of
// the document.
#include "cli/commands.h"
#include "document/document.h"
#include "document/gifio.h"

#include <QCryptographicHash>

namespace velmar::cli
{
namespace
{

// A JSON string literal for any text: quotes, backslashes and control
// characters escaped; a lone surrogate (which has no UTF-8 form) escaped
// as \uXXXX instead of being replaced.
QString jsonString(const QString &text)
{
    QString s;
    s.reserve(text.size() + 2);
    s += QLatin1Char('"');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (u == '"')
            s += QStringLiteral("\\\"");
        else if (u == '\\')
            s += QStringLiteral("\\\\");
        else if (u == '\n')
            s += QStringLiteral("\\n");
        else if (u == '\r')
            s += QStringLiteral("\\r");
        else if (u == '\t')
            s += QStringLiteral("\\t");
        else if (u < 0x20 || u == 0x7F)
            s += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            s += c;
            s += text[++i];
        } else if (c.isSurrogate())
            s += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            s += c;
    }
    s += QLatin1Char('"');
    return s;
}

QString frameJson(const Document &doc, int i)
{
    const PicInfo &pic = doc.pic(i);
    QByteArray palette;
    palette.reserve(pic.nColors * 3);
    for (int k = 0; k < pic.nColors; ++k) {
        const Rgb c = pic.colors[size_t(k)];
        palette.append(char(c.r)).append(char(c.g)).append(char(c.b));
    }
    const QByteArray pixels(reinterpret_cast<const char *>(pic.pBits()), qsizetype(pic.pixelCount()));
    const QByteArray hash = QCryptographicHash::hash(pixels, QCryptographicHash::Sha256);
    QString s = QStringLiteral("{\"width\":%1,\"height\":%2,\"colors\":%3,\"palette\":\"")
                    .arg(pic.lWidth)
                    .arg(pic.lHeight)
                    .arg(pic.nColors);
    s += QString::fromLatin1(palette.toHex());
    s += QStringLiteral("\",\"pixels_sha256\":\"");
    s += QString::fromLatin1(hash.toHex());
    s += QStringLiteral("\",\"row\":[");
    for (int col = 0; col < PropertyGrid::kCols; ++col) {
        if (col)
            s += QLatin1Char(',');
        s += jsonString(doc.grid().TextMatrix(i + 1, col));
    }
    s += QStringLiteral("]}");
    return s;
}

bool openOp(Context &ctx, const QStringList &args)
{
    const QString &path = args[0];
    QString error;
    if (!looksLikeGif(path, &error)) {
        if (error.isEmpty())
            ctx.err << "velmar-cli: open: not a GIF file: " << path << "\n";
        else
            ctx.err << "velmar-cli: open: cannot read " << path << ": " << error << "\n";
        return false;
    }
    const OpenGifResult r = OpenGif(ctx.doc, path);
    for (const QString &warning : r.warnings)
        ctx.err << "velmar-cli: open: warning: " << warning << "\n";
    if (!r.ok()) {
        ctx.err << "velmar-cli: open: " << r.error() << "\n";
        return false;
    }
    return true;
}

bool saveOp(Context &ctx, const QStringList &args)
{
    const Result<void> r = SaveGif(ctx.doc, args[0]);
    if (!r) {
        ctx.err << "velmar-cli: save: " << r.error() << "\n";
        return false;
    }
    return true;
}

bool saveOptimizedOp(Context &ctx, const QStringList &args)
{
    const Result<void> r = SaveGifOptimized(ctx.doc, args[0]);
    if (!r) {
        ctx.err << "velmar-cli: save-optimized: " << r.error() << "\n";
        return false;
    }
    return true;
}

bool infoOp(Context &ctx, const QStringList &)
{
    const Document &doc = ctx.doc;
    const GlobalFields &g = doc.globals();
    QString s = QStringLiteral("{\"global\":{\"width\":") + jsonString(g.width) + QStringLiteral(",\"height\":") +
                jsonString(g.height) + QStringLiteral(",\"loop\":") + jsonString(g.loop) +
                QStringLiteral(",\"loopBlock\":") + (g.loopBlock ? QStringLiteral("true") : QStringLiteral("false")) +
                QStringLiteral(",\"comment\":") + jsonString(g.comment) + QStringLiteral("},\"frames\":[");
    for (int i = 0; i < doc.picCount(); ++i) {
        if (i)
            s += QLatin1Char(',');
        s += frameJson(doc, i);
    }
    s += QStringLiteral("]}");
    ctx.out << s << "\n";
    ctx.out.flush();
    return true;
}

const Registrar registrar{
    {QStringLiteral("open"), 1, QStringLiteral("open FILE    append the frames of a GIF file"), openOp},
    {QStringLiteral("save"), 1, QStringLiteral("save FILE    write the document as a GIF file"), saveOp},
    {QStringLiteral("save-optimized"), 1,
     QStringLiteral("save-optimized FILE  write the smallest GIF file that viewers show as the saved one"),
     saveOptimizedOp},
    {QStringLiteral("info"), 0, QStringLiteral("info         print the document as JSON"), infoOp},
};

} // namespace
} // namespace velmar::cli
