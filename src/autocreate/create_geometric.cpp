// Dispatch of the geometric tabs (cube, prism, globe, coin). The Create
// command has already checked the windows and resolved the colours when one
// of these runs. Until the geometric effects are built in, each refuses
// without touching the document.
#include "autocreate/createcommand.h"

#include "shell/document.h"

namespace velmar::autocreate
{
namespace
{

QString notBuilt()
{
    return QStringLiteral("この効果はまだ組み込まれていません。");
}

} // namespace

QString runCubeLoop(Document &, const CreateArgs &)
{
    return notBuilt();
}
QString runPrismLoop(Document &, const CreateArgs &)
{
    return notBuilt();
}
QString runGlobe(Document &, const CreateArgs &)
{
    return notBuilt();
}
QString runCardTurn(Document &, const CreateArgs &)
{
    return notBuilt();
}

} // namespace velmar::autocreate
