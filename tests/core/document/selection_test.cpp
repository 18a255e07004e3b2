// SPDX-License-Identifier: GPL-3.0-or-later
// The commands on a selection of frames, against a plain list of frame
// identities: order, grid rows, numbering, the reordering signal, undo and
// redo.
#include "document/document.h"
#include "support/frames.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

using namespace velmar;
using velmar::test::addFrame;
using velmar::test::greys;

namespace
{

// What a frame must be: its identity (pixel, X cell and comment carry it)
// and its delay, which setDelays changes apart from the identity.
struct ModelFrame {
    int id;
    int delay;
};
using Model = std::vector<ModelFrame>;

// Frame k is a 1 x 1 picture of index k whose row carries k in the X,
// delay and comment cells.
Model addFrames(Document &doc, int count)
{
    Model model;
    for (int k = 0; k < count; ++k) {
        const int n = addFrame(doc, 1, 1, {uint8_t(k)}, 256, greys());
        doc.setCell(n + 1, PropertyGrid::ColX, QString::number(k));
        doc.setCell(n + 1, PropertyGrid::ColDelay, QString::number(k));
        doc.setCell(n + 1, PropertyGrid::ColComment, QStringLiteral("f%1").arg(k));
        model.push_back({k, k});
    }
    return model;
}

// "id/delay" per frame; "?" where the row does not belong to the picture or
// the number column does not count the rows. The grid must have exactly one
// row per frame below its headings.
std::string render(const Document &doc)
{
    std::string s;
    for (int i = 0; i < doc.picCount(); ++i) {
        const int id = doc.pic(i).bits.at(0);
        const PropertyGrid &g = doc.grid();
        const bool rowMatches = g.TextMatrix(i + 1, PropertyGrid::ColX) == QString::number(id) &&
                                g.TextMatrix(i + 1, PropertyGrid::ColComment) == QStringLiteral("f%1").arg(id) &&
                                g.TextMatrix(i + 1, PropertyGrid::ColNumber) == QString::number(i);
        s += rowMatches ? std::to_string(id) + "/" + g.TextMatrix(i + 1, PropertyGrid::ColDelay).toStdString() : "?";
        s += ' ';
    }
    if (doc.grid().Rows() != doc.picCount() + 1)
        s += "rows=" + std::to_string(doc.grid().Rows());
    return s;
}

std::string render(const Model &model)
{
    std::string s;
    for (const ModelFrame &f : model)
        s += std::to_string(f.id) + "/" + std::to_string(f.delay) + " ";
    return s;
}

// Frames as letters, A for frame 0, or "?" when a row went astray.
std::string letters(const Document &doc)
{
    const std::string rows = render(doc);
    if (rows.find_first_of("?r") != std::string::npos)
        return "?";
    std::string s;
    for (int i = 0; i < doc.picCount(); ++i)
        s += char('A' + doc.pic(i).bits[0]);
    return s;
}

Model permuted(const Model &model, const QList<int> &order)
{
    Model out;
    for (int from : order)
        out.push_back(model[size_t(from)]);
    return out;
}

QList<int> inverse(const QList<int> &order)
{
    QList<int> inv(order.size());
    for (int i = 0; i < int(order.size()); ++i)
        inv[order[i]] = i;
    return inv;
}

enum Command { Move, Delete, Delays, Reverse, Duplicate, Yoyo };
const QString kStepNames[] = {QStringLiteral("ﾌﾚｰﾑ移動"), QStringLiteral("ﾌﾚｰﾑ削除"), QStringLiteral("ﾃﾞｨﾚｲ一括設定"),
                              QStringLiteral("逆順"),     QStringLiteral("複製"),     QStringLiteral("往復")};

// arg is the target of a move and the delay of setDelays.
Result<int> runOn(Document &doc, int command, const QList<int> &frames, int arg)
{
    switch (command) {
    case Move:
        doc.moveFrames(frames, arg);
        return 0;
    case Delete:
        doc.deleteFrames(frames);
        return 0;
    case Delays:
        doc.setDelays(frames, arg);
        return 0;
    case Reverse:
        doc.reverseFrames(frames);
        return 0;
    case Duplicate:
        return doc.duplicateFrames(frames);
    default:
        return doc.yoyo(frames);
    }
}

// The model's reading of the same command on the sorted selection. Returns
// the reordering a move or reversal announces.
QList<int> runOn(Model &m, int command, const QList<int> &sel, int arg)
{
    QList<int> order(int(m.size()));
    std::iota(order.begin(), order.end(), 0);
    QList<int> copies;
    switch (command) {
    case Move: {
        QList<int> rest;
        for (int i = 0; i < int(m.size()); ++i)
            if (!sel.contains(i))
                rest.push_back(i);
        order = rest.mid(0, arg) + sel + rest.mid(arg);
        break;
    }
    case Delete:
        for (int i = int(sel.size()) - 1; i >= 0; --i)
            m.erase(m.begin() + sel[i]);
        return {};
    case Delays:
        for (int s : sel)
            m[size_t(s)].delay = arg;
        return {};
    case Reverse:
        for (int i = 0; i < int(sel.size()); ++i)
            order[sel[i]] = sel[sel.size() - 1 - i];
        break;
    case Duplicate:
        copies = sel;
        break;
    case Yoyo:
        for (int i = int(sel.size()) - 2; i >= 1; --i)
            copies.push_back(sel[i]);
        break;
    }
    if (command == Duplicate || command == Yoyo) {
        Model inserted;
        for (int s : copies)
            inserted.push_back(m[size_t(s)]);
        if (!sel.isEmpty())
            m.insert(m.begin() + sel.last() + 1, inserted.begin(), inserted.end());
        return {};
    }
    m = permuted(m, order);
    return order;
}

} // namespace

TEST(SelectionCommands, RandomSelectionsMatchTheModelAndUndoRedoExactly)
{
    std::mt19937 rng(20261207);
    const auto below = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    for (int round = 0; round < 600; ++round) {
        Document doc;
        Model model = addFrames(doc, 1 + below(12));
        const int n = int(model.size());
        QList<int> sel; // distinct, sorted; handed over shuffled
        for (int i = 0; i < n; ++i)
            if (below(3) == 0)
                sel.push_back(i);
        QList<int> given = sel;
        std::shuffle(given.begin(), given.end(), rng);
        const int cur = below(n);
        doc.setCurPic(cur);
        const int command = below(6);
        const int arg = command == Move ? below(n - int(sel.size()) + 1) : below(500);
        std::string what = "command " + std::to_string(command) + " (" + std::to_string(arg) + ") on " +
                           std::to_string(n) + " frames, selection";
        for (int s : sel)
            what += " " + std::to_string(s);

        const std::string before = render(doc);
        ASSERT_EQ(before, render(model));
        const int steps = doc.undoCount();
        QSignalSpy reordered(&doc, &Document::framesReordered);
        const Result<int> first = runOn(doc, command, given, arg);
        const QList<int> announced = runOn(model, command, sel, arg);
        ASSERT_TRUE(first.ok()) << what;
        const std::string after = render(doc);
        ASSERT_EQ(after, render(model)) << what;
        if (after == before) {
            EXPECT_EQ(doc.undoCount(), steps) << what << ": a command that changed nothing is no step";
            continue;
        }
        ASSERT_EQ(doc.undoCount(), steps + 1) << what;
        EXPECT_EQ(doc.undoText(), kStepNames[command]) << what;
        if (command == Duplicate || command == Yoyo) {
            EXPECT_EQ(*first, sel.last() + 1) << what << ": the first copy";
        }
        if (!announced.isEmpty()) {
            ASSERT_EQ(reordered.count(), 1) << what;
            EXPECT_EQ(reordered.first().first().value<QList<int>>(), announced) << what;
            // The current frame travels with its picture.
            EXPECT_EQ(doc.curPic(), inverse(announced)[cur]) << what;
        }

        reordered.clear();
        ASSERT_TRUE(doc.undo());
        EXPECT_EQ(render(doc), before) << what << ": undo";
        EXPECT_EQ(doc.curPic(), cur) << what;
        if (!announced.isEmpty()) {
            ASSERT_EQ(reordered.count(), 1) << what;
            EXPECT_EQ(reordered.first().first().value<QList<int>>(), inverse(announced)) << what;
        }
        ASSERT_TRUE(doc.redo());
        EXPECT_EQ(render(doc), after) << what << ": redo";
    }
}

TEST(SelectionCommands, EdgeCases)
{
    const struct {
        const char *what;
        int frames;
        int limit;
        int command;
        QList<int> sel;
        int arg;
        std::string order; // afterwards, frame 0 as A
        bool recorded;     // as one step
        bool refused;      // for the frame limit
        bool announces;    // framesReordered
    } cases[] = {
        {"move nothing", 5, 99, Move, {}, 0, "ABCDE", false, false, false},
        {"move past the end", 5, 99, Move, {0}, 5, "ABCDE", false, false, false},
        {"move all", 5, 99, Move, {4, 0, 1, 2, 3}, 0, "ABCDE", false, false, false},
        {"move to the front", 5, 99, Move, {4, 3}, 0, "DEABC", true, false, true},
        {"move to the end", 5, 99, Move, {0}, 4, "BCDEA", true, false, true},
        {"delete all", 5, 99, Delete, {0, 1, 2, 3, 4}, 0, "", true, false, false},
        {"delete no frame", 3, 99, Delete, {3, -1}, 0, "ABC", false, false, false},
        {"reverse all", 5, 99, Reverse, {0, 1, 2, 3, 4}, 0, "EDCBA", true, false, true},
        {"reverse one", 3, 99, Reverse, {1}, 0, "ABC", false, false, false},
        {"yoyo of one", 3, 99, Yoyo, {1}, 0, "ABC", false, false, false},
        {"yoyo of two", 3, 99, Yoyo, {0, 2}, 0, "ABC", false, false, false},
        {"yoyo of three", 3, 99, Yoyo, {0, 1, 2}, 0, "ABCB", true, false, false},
        {"yoyo of spread frames", 6, 99, Yoyo, {0, 2, 3, 4}, 0, "ABCDEDCF", true, false, true},
        {"duplicate up to the limit", 4, 6, Duplicate, {0, 2}, 0, "ABCACD", true, false, true},
        {"duplicate past the limit", 5, 6, Duplicate, {0, 2}, 0, "ABCDE", false, true, false},
        {"yoyo past the limit", 5, 6, Yoyo, {0, 1, 2, 3, 4}, 0, "ABCDE", false, true, false},
    };
    const QString limit = QStringLiteral("フレーム数が上限（6）に達したため、これ以上フレームを追加できません。");
    for (const auto &c : cases) {
        Document doc;
        addFrames(doc, c.frames);
        doc.setFrameLimit(c.limit);
        const std::string before = letters(doc);
        const int steps = doc.undoCount();
        QSignalSpy reordered(&doc, &Document::framesReordered);
        EXPECT_EQ(runOn(doc, c.command, c.sel, c.arg).error(), c.refused ? limit : QString()) << c.what;
        EXPECT_EQ(letters(doc), c.order) << c.what;
        EXPECT_EQ(reordered.count() > 0, c.announces) << c.what;
        EXPECT_EQ(doc.undoCount(), steps + (c.recorded ? 1 : 0)) << c.what;
        if (c.recorded) {
            EXPECT_EQ(doc.undoText(), kStepNames[c.command]) << c.what;
            doc.undo();
            EXPECT_EQ(letters(doc), before) << c.what;
        }
    }
}
