// Placeholder until the codec lands: reports that reading and writing are
// not available. Replaced by the reader and writer.
#include "gif/gifio.h"

#include <QFile>

namespace velmar {

bool looksLikeGif(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return f.read(3) == "GIF";
}

GifResult OpenGif(Document &, const QString &)
{
    return {false, QStringLiteral("GIF の読み込みはまだ使えません。")};
}

GifResult SaveGif(Document &, const QString &)
{
    return {false, QStringLiteral("GIF の保存はまだ使えません。")};
}

} // namespace velmar
