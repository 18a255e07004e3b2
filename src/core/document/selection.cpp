// SPDX-License-Identifier: GPL-3.0-or-later
// The Document's commands on a selection of frames: moving a block, deleting,
// setting delays, reversing, duplicating and the forward-and-back sequence.
// Reorderings are one permutation edit each, so that a selection of
// thousands of frames moves in one pass and undoes in one.
#include "document/document.h"

#include "platform/numeric.h"

#include <algorithm>

namespace velmar
{

namespace
{
const QString kStepMove = QStringLiteral("ﾌﾚｰﾑ移動");
const QString kStepDelete = QStringLiteral("ﾌﾚｰﾑ削除");
const QString kStepDelays = QStringLiteral("ﾃﾞｨﾚｲ一括設定");
const QString kStepReverse = QStringLiteral("逆順");
const QString kStepDuplicate = QStringLiteral("複製");
const QString kStepYoyo = QStringLiteral("往復");

// The identity order of count frames.
QList<int> identity(int count)
{
    QList<int> order(count);
    for (int i = 0; i < count; ++i)
        order[i] = i;
    return order;
}
} // namespace

QList<int> Document::framesIn(QList<int> frames) const
{
    frames.erase(std::remove_if(frames.begin(), frames.end(), [this](int f) { return !isFrame(f); }), frames.end());
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

void Document::moveFrames(QList<int> frames, int to)
{
    const QList<int> block = framesIn(std::move(frames));
    const int k = int(block.size());
    if (k == 0 || to < 0 || to > picCount_ - k)
        return;
    std::vector<bool> inBlock(size_t(picCount_), false);
    for (int f : block)
        inBlock[size_t(f)] = true;
    QList<int> order;
    order.reserve(picCount_);
    int rest = 0; // the next frame outside the block
    const auto takeRest = [&](int count) {
        for (; count > 0; ++rest)
            if (!inBlock[size_t(rest)]) {
                order.push_back(rest);
                --count;
            }
    };
    takeRest(to);
    order.append(block);
    takeRest(picCount_ - k - to);
    Step step(*this, kStepMove);
    reorder(std::move(order));
}

void Document::deleteFrames(QList<int> frames)
{
    const QList<int> doomed = framesIn(std::move(frames));
    if (doomed.isEmpty())
        return;
    Step step(*this, kStepDelete);
    // Gathering the frames at the end first lets each deletion take the
    // last frame, so no grid row shifts and the step stays as small as the
    // frames it removes, however many frames follow them.
    const int keep = picCount_ - int(doomed.size());
    moveFrames(doomed, keep);
    for (int n = picCount_ - 1; n >= keep; --n)
        delPic(n);
}

void Document::setDelays(QList<int> frames, int hundredths)
{
    const QList<int> chosen = framesIn(std::move(frames));
    if (chosen.isEmpty())
        return;
    Step step(*this, kStepDelays);
    ensureGridRows(picCount_ + 1);
    // Written as the program writes every number into a cell, so the
    // delay reads the same as one the reader filled in.
    const QString text = numberText(hundredths);
    for (int f : chosen)
        cell(f + 1, PropertyGrid::ColDelay, text);
}

void Document::reverseFrames(QList<int> frames)
{
    const QList<int> chosen = framesIn(std::move(frames));
    const int k = int(chosen.size());
    if (k < 2)
        return;
    QList<int> order = identity(picCount_);
    for (int i = 0; i < k; ++i)
        order[chosen[i]] = chosen[k - 1 - i];
    Step step(*this, kStepReverse);
    reorder(std::move(order));
}

Result<int> Document::duplicateFrames(QList<int> frames)
{
    const QList<int> chosen = framesIn(std::move(frames));
    if (chosen.isEmpty())
        return 0;
    return insertCopies(chosen, chosen.last(), kStepDuplicate);
}

Result<int> Document::yoyo(QList<int> frames)
{
    const QList<int> chosen = framesIn(std::move(frames));
    const int k = int(chosen.size());
    if (k < 3)
        return k == 0 ? 0 : chosen.last() + 1;
    QList<int> back;
    for (int i = k - 2; i >= 1; --i)
        back.push_back(chosen[i]);
    return insertCopies(back, chosen.last(), kStepYoyo);
}

Result<int> Document::insertCopies(const QList<int> &sources, int after, const QString &stepName)
{
    const int k = int(sources.size());
    if (picCount_ + k > frameLimit_)
        return frameLimitReached(frameLimit_);
    if (hasStagedFrame())
        abandonFrame();
    Step step(*this, stepName);
    const size_t mark = recording_.edits.size();
    const int first = picCount_;
    for (int src : sources) {
        const int width = pic(src).lWidth;
        const int height = pic(src).lHeight;
        Result<int> added = beginFrame(width, height, pic(src).nColors, pic(src).colors, src);
        if (!added) {
            // Out of memory halfway: the copies made so far go again, so the
            // command either happens whole or not at all.
            rollBackTo(mark);
            return added;
        }
        const int n = *added;
        std::copy(frames_[size_t(src)].bits.begin(), frames_[size_t(src)].bits.end(), frames_[size_t(n)].bits.begin());
        ShowPic(n);
        ensureGridRows(n + 2);
        cell(n + 1, PropertyGrid::ColNumber, numberText(n));
        for (int col = 1; col < PropertyGrid::kCols; ++col)
            cell(n + 1, col, grid_.TextMatrix(src + 1, col));
        endFrame();
    }
    // The copies were appended; one reordering puts them after the frame
    // they follow.
    QList<int> order = identity(after + 1);
    for (int i = 0; i < k; ++i)
        order.push_back(first + i);
    for (int i = after + 1; i < first; ++i)
        order.push_back(i);
    reorder(std::move(order));
    return after + 1;
}

} // namespace velmar
