#include "shell/document.h"

#include "platform/numeric.h"

#include <algorithm>
#include <new>
#include <optional>

namespace velmar
{

void PicInfo::setColorCount(int count)
{
    count = std::clamp(count, 0, 256);
    nColors = int16_t(count);
    for (size_t k = size_t(count); k < colors.size(); ++k)
        colors[k] = Rgb{};
}

Document::Document(QObject *parent) : QObject(parent) {}
Document::~Document() = default;

void Document::ensureGridRows(int rows)
{
    if (grid_.Rows() < rows)
        grid_.setRows(rows);
}

void Document::setGblWidth(const QString &text)
{
    if (globals_.width != text) {
        globals_.width = text;
        emit globalsChanged();
    }
}
void Document::setGblHeight(const QString &text)
{
    if (globals_.height != text) {
        globals_.height = text;
        emit globalsChanged();
    }
}
void Document::setGblLoop(const QString &text)
{
    if (globals_.loop != text) {
        globals_.loop = text;
        emit globalsChanged();
    }
}
void Document::setGblLoopBlock(bool on)
{
    if (globals_.loopBlock != on) {
        globals_.loopBlock = on;
        emit globalsChanged();
    }
}
void Document::setGblComment(const QString &text)
{
    if (globals_.comment != text) {
        globals_.comment = text;
        emit globalsChanged();
    }
}

int Document::beginFrame(int width, int height, int nColors, const ColorTable &colors, int windowLike)
{
    lastError_.clear();
    if (hasStagedFrame())
        abandonFrame();
    if (gPicCount >= kMaxFrames) {
        lastError_ =
            QStringLiteral("フレーム数が上限（%1）に達したため、これ以上フレームを追加できません。").arg(kMaxFrames);
        return -1;
    }
    if (width <= 0 || height <= 0) {
        lastError_ = QStringLiteral("フレームの大きさが正しくありません（%1×%2）。").arg(width).arg(height);
        return -1;
    }
    PicInfo pic;
    pic.lWidth = width;
    pic.lHeight = height;
    pic.colors = colors;
    pic.setColorCount(nColors);
    try {
        pic.bits.assign(size_t(width) * size_t(height), 0);
        gPicInfo.push_back(std::move(pic));
    } catch (const std::bad_alloc &) {
        lastError_ = QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。").arg(width).arg(height);
        return -1;
    }
    const int n = gPicCount;
    emit frameAdded(n, windowLike);
    return n;
}

void Document::endFrame()
{
    if (!hasStagedFrame())
        return;
    ++gPicCount;
}

void Document::abandonFrame()
{
    if (!hasStagedFrame())
        return;
    const int n = gPicCount;
    gPicInfo.resize(size_t(gPicCount));
    emit frameRemoved(n);
}

void Document::ShowPic(int i)
{
    if (i >= 0 && size_t(i) < gPicInfo.size())
        emit frameChanged(i);
}

int Document::CopyWindow(int src)
{
    if (!isFrame(src))
        return -1;
    setStatusText(QStringLiteral("処理中"));
    const PicInfo &source = pic(src);
    const int n = beginFrame(source.lWidth, source.lHeight, source.nColors, source.colors, src);
    if (n < 0) {
        setStatusText(QString());
        return -1;
    }
    PicInfo &copy = pic(n);
    std::copy(pic(src).bits.begin(), pic(src).bits.end(), copy.bits.begin());
    ShowPic(n);

    ensureGridRows(n + 2);
    const int row = n + 1;
    const int srcRow = src + 1;
    grid_.setTextMatrix(row, 0, numberText(n));
    for (int col = 1; col <= 4; ++col)
        grid_.setTextMatrix(row, col, grid_.TextMatrix(srcRow, col));
    grid_.setTextMatrix(row, 5, QStringLiteral("0"));
    grid_.setTextMatrix(row, 6, grid_.TextMatrix(srcRow, 6));
    grid_.setTextMatrix(row, 7, grid_.TextMatrix(srcRow, 7));
    grid_.setTextMatrix(row, 8, QStringLiteral("50"));
    grid_.setTextMatrix(row, 9, QStringLiteral("2"));
    endFrame();
    setStatusText(QString());
    return n;
}

int Document::NewWindow(int src, int w, int h, int fill)
{
    if (!isFrame(src))
        return -1;
    setStatusText(QStringLiteral("処理中"));
    const int n = beginFrame(w, h, pic(src).nColors, pic(src).colors, -1);
    if (n < 0) {
        setStatusText(QString());
        return -1;
    }
    std::fill(pic(n).bits.begin(), pic(n).bits.end(), uint8_t(fill));
    ShowPic(n);

    ensureGridRows(n + 2);
    // The canvas grows to hold the new frame but never shrinks: an effect
    // that adds smaller frames after larger ones (a ticker after a cube)
    // must not cut the earlier frames off. A smaller canvas stays the
    // user's to type.
    const auto grown = [](const QString &text, int side) {
        return textToInt32(text).value_or(0) < side ? std::optional<QString>(numberText(side)) : std::nullopt;
    };
    if (auto width = grown(globals_.width, w))
        setGblWidth(*width);
    if (auto height = grown(globals_.height, h))
        setGblHeight(*height);
    const int row = n + 1;
    const int srcRow = src + 1;
    grid_.setTextMatrix(row, 0, numberText(n));
    grid_.setTextMatrix(row, 1, QStringLiteral("0"));
    grid_.setTextMatrix(row, 2, QStringLiteral("0"));
    grid_.setTextMatrix(row, 3, numberText(w));
    grid_.setTextMatrix(row, 4, numberText(h));
    grid_.setTextMatrix(row, 5, QStringLiteral("0"));
    grid_.setTextMatrix(row, 6, grid_.TextMatrix(srcRow, 6));
    grid_.setTextMatrix(row, 7, grid_.TextMatrix(srcRow, 7));
    grid_.setTextMatrix(row, 8, QStringLiteral("10"));
    grid_.setTextMatrix(row, 9, QStringLiteral("2"));
    endFrame();
    setStatusText(QString());
    return n;
}

void Document::exchangeRows(int rowA, int rowB)
{
    for (int col = 1; col <= 10; ++col) {
        const QString a = grid_.TextMatrix(rowA, col);
        grid_.setTextMatrix(rowA, col, grid_.TextMatrix(rowB, col));
        grid_.setTextMatrix(rowB, col, a);
    }
}

void Document::swapWithPrevious(int v)
{
    if (v <= 0 || v >= gPicCount)
        return;
    std::swap(gPicInfo[size_t(v - 1)], gPicInfo[size_t(v)]);
    exchangeRows(v + 1, v);
    emit framesSwapped(v - 1, v);
}

void Document::swapWithNext(int v)
{
    if (v < 0 || v >= gPicCount - 1)
        return;
    std::swap(gPicInfo[size_t(v)], gPicInfo[size_t(v + 1)]);
    exchangeRows(v + 1, v + 2);
    emit framesSwapped(v, v + 1);
}

void Document::delPic(int n)
{
    if (gPlayOpen)
        emit playerCloseRequested();
    if (gPicCount == 0 || n < 0 || n >= gPicCount)
        return;
    if (hasStagedFrame())
        abandonFrame();
    // Erasing moves the later records (and their buffers) down one slot;
    // the freed buffer goes with the erased record.
    gPicInfo.erase(gPicInfo.begin() + n);
    --gPicCount;
    for (int i = n; i < gPicCount; ++i)
        for (int col = 1; col <= 10; ++col)
            grid_.setTextMatrix(i + 1, col, grid_.TextMatrix(i + 2, col));
    for (int col = 0; col <= 10; ++col)
        grid_.setTextMatrix(gPicCount + 1, col, QString());
    grid_.setRows(gPicCount + 1);
    emit frameRemoved(n);
}

void Document::closeAll()
{
    for (int i = gPicCount - 1; i >= 0; --i)
        delPic(i);
}

void Document::setStatusText(const QString &text)
{
    if (statusText_ == text)
        return;
    statusText_ = text;
    emit statusTextChanged(text);
}

} // namespace velmar
