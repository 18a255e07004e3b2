// The undo history: every kind of step undone and redone over random
// sequences, and the memory the history may hold.
#include "autocreate/createcommand.h"
#include "document/document.h"
#include "document/gifio.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QCryptographicHash>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace velmar;
using namespace velmar::test;

namespace
{

// Everything undo must put back, as text: what `velmar-cli info` shows with
// digests of the pixels and the whole colour table, plus every grid row
// (also those past the frames), the active frame and the staging slots.
std::string stateOf(const Document &doc)
{
    const GlobalFields &g = doc.globals();
    QString s = g.width + '|' + g.height + '|' + g.loop + '|' + QString::number(g.loopBlock) + '|' + g.comment +
                QStringLiteral("|cur %1 slots %2\n").arg(doc.curPic()).arg(doc.slotCount());
    for (int i = 0; i < doc.picCount(); ++i) {
        const PicInfo &p = doc.pic(i);
        QCryptographicHash h(QCryptographicHash::Sha1);
        h.addData(QByteArrayView(reinterpret_cast<const char *>(p.bits.data()), qsizetype(p.bits.size())));
        h.addData(QByteArrayView(reinterpret_cast<const char *>(p.colors.data()), qsizetype(sizeof(p.colors))));
        s += QStringLiteral("%1x%2 %3 %4\n").arg(p.lWidth).arg(p.lHeight).arg(p.nColors).arg(h.result().toHex());
    }
    for (int r = 0; r < doc.grid().Rows(); ++r) {
        for (int c = 0; c < PropertyGrid::kCols; ++c)
            s += doc.grid().TextMatrix(r, c) + ',';
        s += '\n';
    }
    return s.toStdString();
}

QString smallGif(int variant)
{
    GifBytes gif;
    gif.header(4, 3, true, 1);
    if (variant == 0) {
        gif.control(1, false, 10, 0).image(0, 0, 2, 1, false).data(2, literalStream({0, 1}, 2));
        gif.control(2, true, 20, 3).image(1, 0, 3, 2, true).data(2, literalStream({1, 2, 3, 0, 1, 2}, 2));
    } else {
        gif.u8({0x21, 0xFE}).subBlocks("hello");
        gif.u8({0x21, 0xFF, 11}).text("NETSCAPE2.0").u8({3, 1, 4, 0, 0});
        gif.image(0, 1, 4, 2, false, 1).data(2, literalStream({3, 2, 1, 0, 0, 1, 2, 3}, 2));
    }
    gif.trailer();
    return writeTempFile(QStringLiteral("history-%1.gif").arg(variant), gif.toByteArray());
}

// One random step of any kind, through the commands the program and the
// CLI use; returns which kind.
int randomStep(Document &doc, std::mt19937 &rng, const QString (&files)[2])
{
    const auto pick = [&](int n) { return int(rng() % unsigned(std::max(n, 1))); };
    const int count = doc.picCount();
    const QString text = QString::number(pick(40));
    const int kind = pick(11);
    switch (kind) {
    case 0:
        doc.swapWithPrevious(pick(count));
        break;
    case 1:
        doc.swapWithNext(pick(count));
        break;
    case 2:
        doc.delPic(pick(count));
        break;
    case 3:
        if (pick(4) == 0)
            doc.closeAll();
        break;
    case 4:
        (void)doc.CopyWindow(pick(count)); // a refused copy is a step of the sequence too
        break;
    case 5:
        (void)doc.NewWindow(pick(count), 2 + pick(6), 2 + pick(6), pick(4));
        break;
    case 6:
        OpenGif(doc, files[pick(2)]);
        break;
    case 7: {
        const int tab = pick(autocreate::kTabCount);
        const autocreate::TabDescriptor &d = autocreate::tabDescriptors()[size_t(tab)];
        autocreate::FieldValues fields = autocreate::initialFields(tab);
        fields.insert(d.countField, QString::number(2 + pick(2)));
        for (const QString &w : d.windowFields)
            fields.insert(w, QString::number(pick(count)));
        if (!d.clearCheck.isEmpty())
            fields.insert(d.clearCheck, QString::number(pick(2)));
        (void)autocreate::Create(doc, tab, fields);
        break;
    }
    case 8:
        doc.setCell(1 + pick(doc.grid().Rows() - 1), 1 + pick(10), text);
        break;
    case 9:
        doc.setGlobal(GlobalField(pick(5)), pick(2) ? text : QStringLiteral("1"));
        break;
    case 10: {
        // Typing on in one field: one step however many keys.
        const GlobalField field = GlobalField(pick(5));
        doc.typeGlobal(field, text);
        doc.typeGlobal(field, text + QStringLiteral("0"));
        break;
    }
    }
    return kind;
}

} // namespace

TEST(History, RandomStepsUndoAndRedoExactly)
{
    const QString files[2] = {smallGif(0), smallGif(1)};
    std::array<int, 11> undone{};
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        Document doc;
        addFrame(doc, 3, 2, {0, 1, 2, 3, 0, 1}, 4, rampPalette(int(seed)));
        addFrame(doc, 4, 3, std::vector<uint8_t>(12, 2), 4, rampPalette(1));
        doc.clearHistory();
        std::string start, last;
        for (int k = 0; k < 12; ++k) {
            // The windows set the active frame before a command.
            doc.setCurPic(int(rng() % unsigned(std::max(doc.picCount(), 1))));
            const std::string now = stateOf(doc);
            const int steps = doc.undoCount();
            const int kind = randomStep(doc, rng, files);
            const std::string after = stateOf(doc);
            // One step per command; a command that changed nothing may
            // still be one (a swap of equal frames).
            ASSERT_LE(doc.undoCount(), steps + 1) << "kind " << kind;
            if (after != now) {
                ASSERT_EQ(doc.undoCount(), steps + 1) << "kind " << kind;
            }
            if (doc.undoCount() == steps)
                continue;
            ++undone[size_t(kind)];
            if (start.empty())
                start = now;
            ASSERT_TRUE(doc.undo());
            ASSERT_EQ(stateOf(doc), now) << "undoing kind " << kind;
            ASSERT_TRUE(doc.redo());
            ASSERT_EQ(stateOf(doc), after);
            last = after;
        }
        while (doc.undo()) {
        }
        if (!start.empty()) {
            EXPECT_EQ(stateOf(doc), start);
        }
        while (doc.redo()) {
        }
        if (!last.empty()) {
            EXPECT_EQ(stateOf(doc), last);
        }
    }
    for (size_t kind = 0; kind < undone.size(); ++kind)
        EXPECT_GT(undone[kind], 0) << "no step of kind " << kind << " was undone";
}

TEST(History, NamesCleanMarkerAndFailures)
{
    Document doc;
    EXPECT_FALSE(doc.undo());
    EXPECT_FALSE(doc.redo());
    EXPECT_TRUE(doc.isClean());
    QSignalSpy clean(&doc, &Document::cleanChanged);
    addFrame(doc, 2, 2, {0, 1, 1, 0}, 2, rampPalette(0));
    test::addedFrame(doc.CopyWindow(0));
    doc.setClean();
    doc.delPic(0);
    EXPECT_EQ(doc.undoText(), QStringLiteral("ﾌﾚｰﾑ削除"));
    EXPECT_FALSE(doc.isClean());
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(doc.isClean()) << "back at the saved state";
    EXPECT_EQ(doc.redoText(), QStringLiteral("ﾌﾚｰﾑ削除"));
    EXPECT_EQ(doc.undoText(), QStringLiteral("ﾌﾚｰﾑ複製"));
    ASSERT_TRUE(doc.undo());
    EXPECT_FALSE(doc.isClean());
    // A new step drops the redo steps, and with them the saved state.
    doc.setCell(1, PropertyGrid::ColDelay, QStringLiteral("99"));
    EXPECT_FALSE(doc.canRedo());
    while (doc.undo()) {
    }
    EXPECT_FALSE(doc.isClean());
    QList<bool> seen;
    for (const QList<QVariant> &args : clean)
        seen << args.at(0).toBool();
    EXPECT_EQ(seen, (QList<bool>{false, true, false, true, false}));

    // Undo is refused while a frame is being added.
    doc.redo();
    ASSERT_GE(test::addedFrame(doc.beginFrame(1, 1, 2, rampPalette(0))), 0);
    EXPECT_FALSE(doc.undo());
    doc.abandonFrame();
    EXPECT_TRUE(doc.undo());
}

TEST(History, UndoingADeletionClosesNothingButRedoingItClosesThePlayer)
{
    Document doc;
    addFrame(doc, 1, 1, {0}, 2, rampPalette(0));
    addFrame(doc, 1, 1, {1}, 2, rampPalette(0));
    doc.delPic(0);
    doc.setPlayOpen(true);
    QSignalSpy close(&doc, &Document::playerCloseRequested);
    QSignalSpy inserted(&doc, &Document::frameInserted);
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(close.count(), 0);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(0).toInt(), 0) << "the frame comes back at its place";
    ASSERT_TRUE(doc.undo()); // the second frame's addition: a removal
    EXPECT_EQ(close.count(), 1);
    ASSERT_TRUE(doc.redo());
    ASSERT_TRUE(doc.redo());
    EXPECT_EQ(close.count(), 2);
}

// The frames' buffers move into the history and back, never copied; past
// the budget the oldest steps go first.
TEST(History, ClosingAllMovesBuffersAndTheBudgetDropsTheOldestSteps)
{
    constexpr int kFrames = 30, kSide = 128;
    constexpr size_t kPixels = size_t(kFrames) * kSide * kSide;
    QString path;
    {
        Document doc;
        for (int f = 0; f < kFrames; ++f)
            addFrame(doc, kSide, kSide, std::vector<uint8_t>(kSide * kSide, uint8_t(f)), 256, rampPalette(0));
        path = tempPath(QStringLiteral("history-large.gif"));
        ASSERT_TRUE(SaveGif(doc, path).ok());
    }
    {
        Document doc;
        ASSERT_TRUE(OpenGif(doc, path).ok());
        std::vector<const uint8_t *> buffers;
        for (int f = 0; f < kFrames; ++f)
            buffers.push_back(doc.pic(f).pBits());
        const size_t opened = doc.historyBytes();
        doc.closeAll();
        EXPECT_GE(doc.historyBytes() - opened, kPixels);
        EXPECT_LE(doc.historyBytes() - opened, kPixels + kPixels / 4) << "the pixels are held once";
        ASSERT_TRUE(doc.undo());
        for (int f = 0; f < kFrames; ++f)
            EXPECT_EQ(doc.pic(f).pBits(), buffers[size_t(f)]) << "frame " << f;
    }
    // Ten rounds of open, set the comment to the round, close all.
    for (const size_t budget : {kPixels / 2, kPixels * 5 / 2}) {
        SCOPED_TRACE(budget);
        Document doc;
        doc.setHistoryBudget(budget);
        for (int round = 1; round <= 10; ++round) {
            ASSERT_TRUE(OpenGif(doc, path).ok());
            doc.setGblComment(QString::number(round));
            doc.closeAll();
            EXPECT_LE(doc.historyBytes(), budget);
        }
        QStringList comments;
        while (doc.undo()) {
            EXPECT_LE(doc.historyBytes(), budget);
            if (comments.isEmpty() || comments.back() != doc.globals().comment)
                comments << doc.globals().comment;
        }
        // What is left is the newest rounds, in order.
        const int kept = budget < kPixels ? 0 : 2;
        QStringList newest;
        for (int round = 10; round > 10 - kept; --round)
            newest << QString::number(round);
        if (kept == 0)
            EXPECT_EQ(doc.undoCount() + doc.redoCount(), 0);
        else
            EXPECT_EQ(comments.mid(0, kept), newest);
        EXPECT_EQ(doc.picCount(), 0) << "the oldest state kept has no frames";
    }
}
