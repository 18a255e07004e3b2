#pragma once

#include "platform/arrange.h"

#include <QVector>

class QMdiArea;
class QMdiSubWindow;

namespace velmar
{

// The widget side of window arrangement: the arithmetic works in twips on
// plain sizes (shell/arrange.h); these convert at the boundary.

// Brings every window back from maximised or minimised, in the order given,
// and returns its outer size in twips.
std::vector<WindowSizeTwips> restoreToNormalTwips(const QVector<QMdiSubWindow *> &windows);

// The inner area of the main window that the frame windows live in.
float clientWidthTwips(const QMdiArea *area);
float clientHeightTwips(const QMdiArea *area);

// Moves window i to positions[i] (twips), leaving its size alone.
void moveWindowsTwips(const QVector<QMdiSubWindow *> &windows, const std::vector<WindowPosTwips> &positions);

} // namespace velmar
