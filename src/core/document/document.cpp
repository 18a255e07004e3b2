#include "document/document.h"

#include "platform/numeric.h"

#include <algorithm>
#include <new>
#include <optional>

#include <unistd.h>

namespace velmar
{

namespace
{
const QString kStepDelete = QStringLiteral("ﾌﾚｰﾑ削除");
const QString kStepPrevious = QStringLiteral("前へ移動");
const QString kStepNext = QStringLiteral("後ろへ移動");
const QString kStepCloseAll = QStringLiteral("全て閉じる");
const QString kStepCopy = QStringLiteral("ﾌﾚｰﾑ複製");
const QString kStepNew = QStringLiteral("新規ﾌﾚｰﾑ");
const QString kStepCell = QStringLiteral("ｾﾙ編集");
const QString kStepGlobal = QStringLiteral("全体設定の編集");

// A copy or a new frame needs an existing frame for its picture or colours.
// The windows and the command line only offer frames that exist, so this
// meets a caller that went wrong rather than a user.
Error noSuchFrame(int n)
{
    return fail(QStringLiteral("フレーム（%1）がありません。").arg(n));
}

size_t stringBytes(const QString &s)
{
    return sizeof(QString) + size_t(s.size()) * sizeof(QChar);
}

size_t physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return size_t(1) << 30;
    return size_t(pages) * size_t(pageSize);
}
} // namespace

void PicInfo::setColorCount(int count)
{
    count = std::clamp(count, 0, 256);
    nColors = int16_t(count);
    for (size_t k = size_t(count); k < colors.size(); ++k)
        colors[k] = Rgb{};
}

size_t DocumentEdit::bytes() const
{
    size_t n = sizeof(DocumentEdit) + (frame ? sizeof(PicInfo) + frame->bits.capacity() : 0) +
               size_t(text.size()) * sizeof(QChar) + size_t(order.size()) * sizeof(int);
    for (const QStringList &row : rows) {
        n += sizeof(QStringList);
        for (const QString &s : row)
            n += stringBytes(s);
    }
    return n;
}

Error Document::frameLimitReached(int limit)
{
    return fail(QStringLiteral("フレーム数が上限（%1）に達したため、これ以上フレームを追加できません。").arg(limit));
}

Document::Document(QObject *parent) : QObject(parent), budget_(physicalMemory() / 4) {}
// The frames, those in the history too, are freed together, so their pages
// are given back in one go (see ReleaseBatch).
Document::~Document()
{
    pixelmemory::ReleaseBatch batch;
    recording_ = DocumentStep{};
    undo_.clear();
    redo_.clear();
    frames_.clear();
}

// --- Primitive edits ----------------------------------------------------------

DocumentEdit Document::apply(DocumentEdit &&e)
{
    DocumentEdit inverse;
    inverse.a = e.a;
    inverse.b = e.b;
    switch (e.kind) {
    case DocumentEdit::InsertFrame: {
        const int n = e.a;
        frames_.insert(frames_.begin() + n, std::move(*e.frame));
        ++picCount_;
        if (n != picCount_ - 1)
            writable_.clear();
        inverse.kind = DocumentEdit::RemoveFrame;
        emit frameInserted(n);
        break;
    }
    case DocumentEdit::RemoveFrame: {
        const int n = e.a;
        inverse.kind = DocumentEdit::InsertFrame;
        inverse.frame = std::make_unique<PicInfo>(std::move(frames_[size_t(n)]));
        frames_.erase(frames_.begin() + n);
        --picCount_;
        writable_.clear();
        emit frameRemoved(n);
        break;
    }
    case DocumentEdit::SwapFrames:
        std::swap(frames_[size_t(e.a)], frames_[size_t(e.a + 1)]);
        writable_.clear();
        inverse.kind = DocumentEdit::SwapFrames;
        emit framesSwapped(e.a, e.a + 1);
        break;
    case DocumentEdit::Reorder: {
        // Each record moves once, so 3000 frames take no longer than
        // copying their headers; pixel buffers are never copied.
        const QList<int> &order = e.order;
        const int n = int(order.size());
        std::vector<PicInfo> moved;
        moved.reserve(size_t(n));
        for (int from : order)
            moved.push_back(std::move(frames_[size_t(from)]));
        std::move(moved.begin(), moved.end(), frames_.begin());
        grid_.reorderRows(order);
        inverse.kind = DocumentEdit::Reorder;
        inverse.order.resize(n);
        for (int i = 0; i < n; ++i)
            inverse.order[order[i]] = i;
        if (curPic_ >= 0 && curPic_ < n)
            curPic_ = inverse.order[curPic_];
        writable_.clear();
        emit framesReordered(order);
        break;
    }
    case DocumentEdit::Cell:
        inverse.kind = DocumentEdit::Cell;
        inverse.text = grid_.TextMatrix(e.a, e.b);
        grid_.setTextMatrix(e.a, e.b, e.text);
        break;
    case DocumentEdit::Rows: {
        const int old = grid_.Rows();
        inverse.kind = DocumentEdit::Rows;
        inverse.a = old;
        for (int r = std::max(e.a, 1); r < old; ++r)
            inverse.rows.push_back(grid_.rows_[r]);
        grid_.setRows(e.a);
        for (size_t k = 0; k < e.rows.size(); ++k)
            for (int col = 0; col < PropertyGrid::kCols && col < e.rows[k].size(); ++col)
                grid_.setTextMatrix(old + int(k), col, e.rows[k][col]);
        break;
    }
    case DocumentEdit::Global: {
        inverse.kind = DocumentEdit::Global;
        QString *field = nullptr;
        switch (GlobalField(e.a)) {
        case GlobalField::Width:
            field = &globals_.width;
            break;
        case GlobalField::Height:
            field = &globals_.height;
            break;
        case GlobalField::Loop:
            field = &globals_.loop;
            break;
        case GlobalField::Comment:
            field = &globals_.comment;
            break;
        case GlobalField::LoopBlock:
            inverse.text = globals_.loopBlock ? QStringLiteral("1") : QStringLiteral("0");
            globals_.loopBlock = e.text == QLatin1String("1");
            break;
        }
        if (field) {
            inverse.text = *field;
            *field = e.text;
        }
        emit globalsChanged();
        break;
    }
    }
    return inverse;
}

void Document::record(DocumentEdit &&edit)
{
    // Every command opens a step, so there is always one recording here.
    Q_ASSERT(depth_ > 0);
    recording_.bytes += edit.bytes();
    recording_.edits.push_back(std::move(edit));
}

void Document::rollBackTo(size_t mark)
{
    while (recording_.edits.size() > mark) {
        DocumentEdit e = std::move(recording_.edits.back());
        recording_.edits.pop_back();
        recording_.bytes -= e.bytes();
        apply(std::move(e));
    }
}

void Document::cell(int row, int col, const QString &text)
{
    if (row < 0 || row >= grid_.Rows() || col < 0 || col >= PropertyGrid::kCols || grid_.TextMatrix(row, col) == text)
        return;
    DocumentEdit e;
    e.kind = DocumentEdit::Cell;
    e.a = row;
    e.b = col;
    e.text = text;
    edit(std::move(e));
}

void Document::rows(int count)
{
    count = std::max(count, 1);
    if (count == grid_.Rows())
        return;
    DocumentEdit e;
    e.kind = DocumentEdit::Rows;
    e.a = count;
    edit(std::move(e));
}

// --- Commands -----------------------------------------------------------------

void Document::setCurPic(int n)
{
    curPic_ = n;
}

std::span<uint8_t> Document::pixelsForWriting(int n)
{
    const bool staged = hasStagedFrame() && n == picCount_;
    if (!staged && (!isFrame(n) || std::find(writable_.begin(), writable_.end(), n) == writable_.end()))
        return {};
    return frames_[size_t(n)].bits;
}

bool Document::setPixels(int n, std::vector<uint8_t> &&bits)
{
    const std::span<uint8_t> target = pixelsForWriting(n);
    if (target.empty() || target.size() != bits.size())
        return false;
    std::copy(bits.begin(), bits.end(), target.begin());
    return true;
}

void Document::ensureGridRows(int count)
{
    if (grid_.Rows() >= count)
        return;
    Step step(*this, kStepCell);
    rows(count);
}

void Document::setCell(int row, int col, const QString &text)
{
    Step step(*this, kStepCell);
    cell(row, col, text);
}

void Document::setGlobal(GlobalField field, const QString &typed)
{
    // The check box has two values only.
    const QString text = field != GlobalField::LoopBlock ? typed
                         : typed == QLatin1String("1")   ? QStringLiteral("1")
                                                         : QStringLiteral("0");
    DocumentEdit e;
    e.kind = DocumentEdit::Global;
    e.a = int(field);
    e.text = text;
    const GlobalFields &g = globals_;
    const QString now = field == GlobalField::Width     ? g.width
                        : field == GlobalField::Height  ? g.height
                        : field == GlobalField::Loop    ? g.loop
                        : field == GlobalField::Comment ? g.comment
                                                        : (g.loopBlock ? QStringLiteral("1") : QStringLiteral("0"));
    if (now == text)
        return;
    Step step(*this, kStepGlobal);
    edit(std::move(e));
}

void Document::typeGlobal(GlobalField field, const QString &text)
{
    if (depth_ == 0 && mergeField_ == int(field) && !undo_.empty() && redo_.empty() && !isClean()) {
        // The step at the top already puts back the value from before the
        // typing began.
        DocumentEdit e;
        e.kind = DocumentEdit::Global;
        e.a = int(field);
        e.text = text;
        apply(std::move(e));
        return;
    }
    const int before = undoCount();
    const long long dropped = dropped_;
    setGlobal(field, text);
    if (depth_ == 0 && (undoCount() != before || dropped_ != dropped))
        mergeField_ = int(field);
}

Result<int> Document::beginFrame(int width, int height, int nColors, const ColorTable &colors, int windowLike,
                                 NewPixels pixels)
{
    if (hasStagedFrame())
        abandonFrame();
    if (cancelled_)
        return fail(QStringLiteral("中止しました。"));
    if (picCount_ >= frameLimit_)
        return frameLimitReached(frameLimit_);
    if (width <= 0 || height <= 0)
        return fail(QStringLiteral("フレームの大きさが正しくありません（%1×%2）。").arg(width).arg(height));
    PicInfo pic;
    pic.lWidth = width;
    pic.lHeight = height;
    pic.colors = colors;
    pic.setColorCount(nColors);
    try {
        if (pixels == NewPixels::Zero)
            pic.bits.assign(size_t(width) * size_t(height), 0);
        else
            pic.bits.resize(size_t(width) * size_t(height));
        frames_.push_back(std::move(pic));
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("メモリが足りないため、%1×%2 のフレームを作れません。").arg(width).arg(height));
    }
    // The step lasts until the frame is kept or dropped, so that the grid
    // row written meanwhile belongs to it.
    beginStep(kStepNew);
    const int n = picCount_;
    emit frameAdded(n, windowLike);
    return n;
}

void Document::endFrame()
{
    if (!hasStagedFrame())
        return;
    const int n = picCount_;
    ++picCount_;
    DocumentEdit inverse;
    inverse.kind = DocumentEdit::RemoveFrame;
    inverse.a = n;
    record(std::move(inverse));
    writable_.push_back(n);
    endStep();
}

void Document::abandonFrame()
{
    if (!hasStagedFrame())
        return;
    const int n = picCount_;
    frames_.pop_back();
    emit frameRemoved(n);
    endStep();
}

void Document::ShowPic(int i)
{
    if (hasSlot(i))
        emit frameChanged(i);
}

Result<int> Document::CopyWindow(int src)
{
    if (!isFrame(src))
        return noSuchFrame(src);
    Step step(*this, kStepCopy);
    setStatusText(QStringLiteral("処理中"));
    const PicInfo &source = pic(src);
    Result<int> added = beginFrame(source.lWidth, source.lHeight, source.nColors, source.colors, src, NewPixels::Unset);
    if (!added) {
        setStatusText(QString());
        return added;
    }
    const int n = *added;
    std::copy(frames_[size_t(src)].bits.begin(), frames_[size_t(src)].bits.end(), frames_[size_t(n)].bits.begin());
    ShowPic(n);

    ensureGridRows(n + 2);
    const int row = n + 1;
    const int srcRow = src + 1;
    cell(row, 0, numberText(n));
    for (int col = 1; col <= 4; ++col)
        cell(row, col, grid_.TextMatrix(srcRow, col));
    cell(row, 5, QStringLiteral("0"));
    cell(row, 6, grid_.TextMatrix(srcRow, 6));
    cell(row, 7, grid_.TextMatrix(srcRow, 7));
    cell(row, 8, QStringLiteral("50"));
    cell(row, 9, QStringLiteral("2"));
    endFrame();
    setStatusText(QString());
    return n;
}

Result<int> Document::NewWindow(int src, int w, int h, int fill)
{
    if (!isFrame(src))
        return noSuchFrame(src);
    Step step(*this, kStepNew);
    setStatusText(QStringLiteral("処理中"));
    Result<int> added = beginFrame(w, h, pic(src).nColors, pic(src).colors, -1, NewPixels::Unset);
    if (!added) {
        setStatusText(QString());
        return added;
    }
    const int n = *added;
    std::fill(frames_[size_t(n)].bits.begin(), frames_[size_t(n)].bits.end(), uint8_t(fill));
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
    cell(row, 0, numberText(n));
    cell(row, 1, QStringLiteral("0"));
    cell(row, 2, QStringLiteral("0"));
    cell(row, 3, numberText(w));
    cell(row, 4, numberText(h));
    cell(row, 5, QStringLiteral("0"));
    cell(row, 6, grid_.TextMatrix(srcRow, 6));
    cell(row, 7, grid_.TextMatrix(srcRow, 7));
    cell(row, 8, QStringLiteral("10"));
    cell(row, 9, QStringLiteral("2"));
    endFrame();
    setStatusText(QString());
    return n;
}

void Document::exchangeRows(int rowA, int rowB)
{
    for (int col = 1; col <= 10; ++col) {
        const QString a = grid_.TextMatrix(rowA, col);
        cell(rowA, col, grid_.TextMatrix(rowB, col));
        cell(rowB, col, a);
    }
}

void Document::reorder(QList<int> order)
{
    bool moves = false;
    for (int i = 0; i < int(order.size()) && !moves; ++i)
        moves = order[i] != i;
    if (!moves)
        return;
    // The grid may lag behind the frames only by rows nobody filled; the
    // rows must exist to move with their frames.
    if (grid_.Rows() < picCount_ + 1)
        rows(picCount_ + 1);
    const int cur = curPic_;
    DocumentEdit e;
    e.kind = DocumentEdit::Reorder;
    e.order = std::move(order);
    edit(std::move(e));
    if (curPic_ != cur)
        emit currentFrameChanged(curPic_);
}

void Document::swapWithPrevious(int v)
{
    if (v <= 0 || v >= picCount_)
        return;
    Step step(*this, kStepPrevious);
    DocumentEdit e;
    e.kind = DocumentEdit::SwapFrames;
    e.a = v - 1;
    edit(std::move(e));
    exchangeRows(v + 1, v);
}

void Document::swapWithNext(int v)
{
    if (v < 0 || v >= picCount_ - 1)
        return;
    Step step(*this, kStepNext);
    DocumentEdit e;
    e.kind = DocumentEdit::SwapFrames;
    e.a = v;
    edit(std::move(e));
    exchangeRows(v + 1, v + 2);
}

void Document::delPic(int n)
{
    if (playOpen_)
        emit playerCloseRequested();
    if (picCount_ == 0 || n < 0 || n >= picCount_)
        return;
    if (hasStagedFrame())
        abandonFrame();
    Step step(*this, kStepDelete);
    // The record (and its buffer) moves into the history; the later records
    // move down one slot.
    DocumentEdit e;
    e.kind = DocumentEdit::RemoveFrame;
    e.a = n;
    edit(std::move(e));
    for (int i = n; i < picCount_; ++i)
        for (int col = 1; col <= 10; ++col)
            cell(i + 1, col, grid_.TextMatrix(i + 2, col));
    for (int col = 0; col <= 10; ++col)
        cell(picCount_ + 1, col, QString());
    rows(picCount_ + 1);
}

void Document::closeAll()
{
    Step step(*this, kStepCloseAll);
    for (int i = picCount_ - 1; i >= 0; --i)
        delPic(i);
}

// --- History ------------------------------------------------------------------

void Document::beginStep(const QString &name)
{
    if (depth_++ > 0)
        return;
    recording_ = DocumentStep{};
    recording_.name = name;
    recording_.bytes = sizeof(DocumentStep);
    recording_.curBefore = curPic_;
    writable_.clear();
}

void Document::endStep()
{
    if (depth_ == 0 || --depth_ > 0)
        return;
    DocumentStep step = std::move(recording_);
    recording_ = DocumentStep{};
    if (cancelled_) {
        cancelled_ = false;
        // Reversed like an undo, but never offered for redo, and the steps
        // already there are kept.
        const int typing = mergeField_;
        replay(step, true);
        mergeField_ = typing;
        return;
    }
    if (step.edits.empty())
        return;
    step.curAfter = curPic_;
    pushStep(std::move(step));
}

void Document::cancelStep()
{
    if (depth_ > 0)
        cancelled_ = true;
}

void Document::pushStep(DocumentStep &&step)
{
    const bool wasClean = isClean();
    for (const DocumentStep &s : redo_)
        held_ -= s.bytes;
    redo_.clear();
    if (cleanPos_ > position())
        cleanPos_ = -1;
    held_ += step.bytes;
    undo_.push_back(std::move(step));
    mergeField_ = -1;
    trim();
    notifyHistory(wasClean);
}

void Document::trim()
{
    while (held_ > budget_ && !undo_.empty()) {
        held_ -= undo_.front().bytes;
        undo_.pop_front();
        ++dropped_;
    }
    if (cleanPos_ >= 0 && cleanPos_ < dropped_)
        cleanPos_ = -1;
    while (held_ > budget_ && !redo_.empty()) {
        held_ -= redo_.front().bytes;
        redo_.pop_front();
    }
    if (cleanPos_ > position() + (long long)redo_.size())
        cleanPos_ = -1;
}

void Document::notifyHistory(bool wasClean)
{
    emit historyChanged();
    if (wasClean != isClean())
        emit cleanChanged(isClean());
}

void Document::replay(DocumentStep &step, bool backwards)
{
    writable_.clear();
    mergeField_ = -1;
    if (playOpen_ && std::any_of(step.edits.begin(), step.edits.end(),
                                 [](const DocumentEdit &e) { return e.kind == DocumentEdit::RemoveFrame; }))
        emit playerCloseRequested();
    std::vector<DocumentEdit> reversing;
    reversing.reserve(step.edits.size());
    step.bytes = sizeof(DocumentStep);
    for (auto e = step.edits.rbegin(); e != step.edits.rend(); ++e) {
        reversing.push_back(apply(std::move(*e)));
        step.bytes += reversing.back().bytes();
    }
    step.edits = std::move(reversing);
    curPic_ = backwards ? step.curBefore : step.curAfter;
    emit currentFrameChanged(curPic_);
}

bool Document::undo()
{
    if (undo_.empty() || depth_ > 0 || hasStagedFrame())
        return false;
    const bool wasClean = isClean();
    DocumentStep step = std::move(undo_.back());
    undo_.pop_back();
    held_ -= step.bytes;
    replay(step, true);
    held_ += step.bytes;
    redo_.push_back(std::move(step));
    trim();
    notifyHistory(wasClean);
    return true;
}

bool Document::redo()
{
    if (redo_.empty() || depth_ > 0 || hasStagedFrame())
        return false;
    const bool wasClean = isClean();
    DocumentStep step = std::move(redo_.back());
    redo_.pop_back();
    held_ -= step.bytes;
    replay(step, false);
    held_ += step.bytes;
    undo_.push_back(std::move(step));
    trim();
    notifyHistory(wasClean);
    return true;
}

void Document::setClean()
{
    const bool wasClean = isClean();
    cleanPos_ = position();
    mergeField_ = -1;
    if (!wasClean)
        emit cleanChanged(true);
}

void Document::setHistoryBudget(size_t bytes)
{
    const bool wasClean = isClean();
    budget_ = bytes;
    trim();
    notifyHistory(wasClean);
}

void Document::clearHistory()
{
    const bool wasClean = isClean();
    dropped_ = position();
    undo_.clear();
    redo_.clear();
    held_ = 0;
    mergeField_ = -1;
    if (!wasClean)
        cleanPos_ = -1;
    notifyHistory(wasClean);
}

void Document::setStatusText(const QString &text)
{
    if (statusText_ == text)
        return;
    statusText_ = text;
    emit statusTextChanged(text);
}

} // namespace velmar
