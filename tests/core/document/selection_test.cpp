// SPDX-License-Identifier: GPL-3.0-or-later
// The commands on a selection of frames, against a plain list of frame
// identities: order, grid rows, numbering, the reordering signal, undo and
// redo.
#include "document/document.h"
#include "support/frames.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

// The model's reading of each command; sel is sorted. Returns the reordering
// the command must announce (empty when it announces none).
QList<int> modelMove(Model &m, const QList<int> &sel, int to)
{
    QList<int> rest;
    for (int i = 0; i < int(m.size()); ++i)
        if (!sel.contains(i))
            rest.push_back(i);
    const QList<int> order = rest.mid(0, to) + sel + rest.mid(to);
    m = permuted(m, order);
    return order;
}

QList<int> modelReverse(Model &m, const QList<int> &sel)
{
    QList<int> order(int(m.size()));
    std::iota(order.begin(), order.end(), 0);
    for (int i = 0; i < int(sel.size()); ++i)
        order[sel[i]] = sel[sel.size() - 1 - i];
    m = permuted(m, order);
    return order;
}

void modelInsertAfter(Model &m, int after, const QList<int> &sources)
{
    Model copies;
    for (int s : sources)
        copies.push_back(m[size_t(s)]);
    m.insert(m.begin() + after + 1, copies.begin(), copies.end());
}

} // namespace

TEST(SelectionCommands, RandomSelectionsMatchTheModelAndUndoRedoExactly)
{
    std::mt19937 rng(20261207);
    const auto below = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    const QString names[] = {QStringLiteral("ﾌﾚｰﾑ移動"), QStringLiteral("ﾌﾚｰﾑ削除"), QStringLiteral("ﾃﾞｨﾚｲ一括設定"),
                             QStringLiteral("逆順"),     QStringLiteral("複製"),     QStringLiteral("往復")};
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

        const std::string before = render(doc);
        ASSERT_EQ(before, render(model));
        const int stepsBefore = doc.undoCount();
        QSignalSpy reordered(&doc, &Document::framesReordered);
        const int command = below(6);
        QList<int> announced; // what a move or reversal must send
        std::string what = "command " + std::to_string(command) + " on " + std::to_string(n) + " frames, selection";
        for (int s : sel)
            what += " " + std::to_string(s);
        switch (command) {
        case 0: {
            const int to = below(n - int(sel.size()) + 1);
            what += " to " + std::to_string(to);
            doc.moveFrames(given, to);
            if (!sel.isEmpty())
                announced = modelMove(model, sel, to);
            break;
        }
        case 1:
            doc.deleteFrames(given);
            for (int i = int(sel.size()) - 1; i >= 0; --i)
                model.erase(model.begin() + sel[i]);
            break;
        case 2: {
            const int delay = below(500);
            doc.setDelays(given, delay);
            for (int s : sel)
                model[size_t(s)].delay = delay;
            break;
        }
        case 3:
            doc.reverseFrames(given);
            if (!sel.isEmpty())
                announced = modelReverse(model, sel);
            break;
        case 4: {
            const Result<int> first = doc.duplicateFrames(given);
            ASSERT_TRUE(first.ok()) << what;
            if (!sel.isEmpty()) {
                EXPECT_EQ(*first, sel.last() + 1) << what;
                modelInsertAfter(model, sel.last(), sel);
            }
            break;
        }
        case 5: {
            const Result<int> first = doc.yoyo(given);
            ASSERT_TRUE(first.ok()) << what;
            if (sel.size() >= 3) {
                EXPECT_EQ(*first, sel.last() + 1) << what;
                QList<int> back;
                for (int i = int(sel.size()) - 2; i >= 1; --i)
                    back.push_back(sel[i]);
                modelInsertAfter(model, sel.last(), back);
            }
            break;
        }
        }
        const std::string after = render(doc);
        ASSERT_EQ(after, render(model)) << what;
        if (after == before) {
            EXPECT_EQ(doc.undoCount(), stepsBefore) << what << ": a command that changed nothing is no step";
            continue;
        }
        ASSERT_EQ(doc.undoCount(), stepsBefore + 1) << what;
        EXPECT_EQ(doc.undoText(), names[command]) << what;
        if (command == 0 || command == 3) {
            ASSERT_EQ(reordered.count(), 1) << what;
            EXPECT_EQ(reordered.first().first().value<QList<int>>(), announced) << what;
            // The current frame travels with its picture.
            EXPECT_EQ(doc.curPic(), inverse(announced)[cur]) << what;
        }

        reordered.clear();
        ASSERT_TRUE(doc.undo());
        EXPECT_EQ(render(doc), before) << what << ": undo";
        EXPECT_EQ(doc.curPic(), cur) << what;
        if (command == 0 || command == 3) {
            ASSERT_EQ(reordered.count(), 1) << what;
            EXPECT_EQ(reordered.first().first().value<QList<int>>(), inverse(announced)) << what;
        }
        ASSERT_TRUE(doc.redo());
        EXPECT_EQ(render(doc), after) << what << ": redo";
    }
}

namespace
{

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

struct EdgeCase {
    const char *what;
    int frames;
    int limit;
    std::function<Result<int>(Document &)> command;
    std::string order; // afterwards
    QString step;      // empty: no step is recorded
    QString error;     // empty: the command succeeds
    bool announces;    // sends framesReordered
};

} // namespace

TEST(SelectionCommands, EdgeCases)
{
    const QString limit = QStringLiteral("フレーム数が上限（6）に達したため、これ以上フレームを追加できません。");
    const auto run = [](std::function<void(Document &)> f) {
        return [f](Document &doc) -> Result<int> {
            f(doc);
            return 0;
        };
    };
    const EdgeCase cases[] = {
        {"move nothing", 5, 100, run([](Document &d) { d.moveFrames({}, 0); }), "ABCDE", {}, {}, false},
        {"move to a place past the end",
         5,
         100,
         run([](Document &d) { d.moveFrames({0}, 5); }),
         "ABCDE",
         {},
         {},
         false},
        {"move all",
         5,
         100,
         run([](Document &d) {
             d.moveFrames({4, 0, 1, 2, 3}, 0);
         }),
         "ABCDE",
         {},
         {},
         false},
        {"move the last two to the front",
         5,
         100,
         run([](Document &d) {
             d.moveFrames({4, 3}, 0);
         }),
         "DEABC",
         QStringLiteral("ﾌﾚｰﾑ移動"),
         {},
         true},
        {"move the first to the end",
         5,
         100,
         run([](Document &d) { d.moveFrames({0}, 4); }),
         "BCDEA",
         QStringLiteral("ﾌﾚｰﾑ移動"),
         {},
         true},
        {"delete all",
         5,
         100,
         run([](Document &d) {
             d.deleteFrames({0, 1, 2, 3, 4});
         }),
         "",
         QStringLiteral("ﾌﾚｰﾑ削除"),
         {},
         false},
        {"delete names no frame",
         3,
         100,
         run([](Document &d) {
             d.deleteFrames({3, -1});
         }),
         "ABC",
         {},
         {},
         false},
        {"reverse all",
         5,
         100,
         run([](Document &d) {
             d.reverseFrames({0, 1, 2, 3, 4});
         }),
         "EDCBA",
         QStringLiteral("逆順"),
         {},
         true},
        {"reverse one", 3, 100, run([](Document &d) { d.reverseFrames({1}); }), "ABC", {}, {}, false},
        {"yoyo of one", 3, 100, [](Document &d) { return d.yoyo({1}); }, "ABC", {}, {}, false},
        {"yoyo of two",
         3,
         100,
         [](Document &d) {
             return d.yoyo({0, 2});
         },
         "ABC",
         {},
         {},
         false},
        {"yoyo of three",
         3,
         100,
         [](Document &d) {
             return d.yoyo({0, 1, 2});
         },
         "ABCB",
         QStringLiteral("往復"),
         {},
         false},
        {"yoyo of spread frames",
         6,
         100,
         [](Document &d) {
             return d.yoyo({0, 2, 3, 4});
         },
         "ABCDEDCF",
         QStringLiteral("往復"),
         {},
         true},
        {"duplicate within the limit",
         4,
         6,
         [](Document &d) {
             return d.duplicateFrames({0, 2});
         },
         "ABCACD",
         QStringLiteral("複製"),
         {},
         true},
        {"duplicate past the limit",
         5,
         6,
         [](Document &d) {
             return d.duplicateFrames({0, 2});
         },
         "ABCDE",
         {},
         limit,
         false},
        {"yoyo past the limit",
         5,
         6,
         [](Document &d) {
             return d.yoyo({0, 1, 2, 3, 4});
         },
         "ABCDE",
         {},
         limit,
         false},
    };
    for (const EdgeCase &c : cases) {
        Document doc;
        addFrames(doc, c.frames);
        doc.setFrameLimit(c.limit);
        const std::string before = letters(doc);
        const int steps = doc.undoCount();
        QSignalSpy reordered(&doc, &Document::framesReordered);
        const Result<int> result = c.command(doc);
        EXPECT_EQ(result.error(), c.error) << c.what;
        EXPECT_EQ(letters(doc), c.order) << c.what;
        EXPECT_EQ(reordered.count() > 0, c.announces) << c.what;
        if (c.step.isEmpty()) {
            EXPECT_EQ(doc.undoCount(), steps) << c.what;
            continue;
        }
        EXPECT_EQ(doc.undoCount(), steps + 1) << c.what;
        EXPECT_EQ(doc.undoText(), c.step) << c.what;
        doc.undo();
        EXPECT_EQ(letters(doc), before) << c.what;
    }
}
