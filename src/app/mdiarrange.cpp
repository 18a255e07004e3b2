#include "mdiarrange.h"

#include "platform/twips.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace velmar
{

std::vector<WindowSizeTwips> restoreToNormalTwips(const QVector<QMdiSubWindow *> &windows)
{
    for (QMdiSubWindow *w : windows)
        if (w && (w->isMaximized() || w->isMinimized()))
            w->showNormal();
    std::vector<WindowSizeTwips> sizes;
    sizes.reserve(size_t(windows.size()));
    for (QMdiSubWindow *w : windows) {
        const QSize outer = w ? w->size() : QSize();
        sizes.push_back({float(pixelsToTwips(outer.width())), float(pixelsToTwips(outer.height()))});
    }
    return sizes;
}

float clientWidthTwips(const QMdiArea *area)
{
    return float(pixelsToTwips(area->viewport()->width()));
}
float clientHeightTwips(const QMdiArea *area)
{
    return float(pixelsToTwips(area->viewport()->height()));
}

void moveWindowsTwips(const QVector<QMdiSubWindow *> &windows, const std::vector<WindowPosTwips> &positions)
{
    for (qsizetype i = 0; i < windows.size() && size_t(i) < positions.size(); ++i)
        if (QMdiSubWindow *w = windows[i])
            w->move(twipsToPixels(positions[size_t(i)].x), twipsToPixels(positions[size_t(i)].y));
}

} // namespace velmar
