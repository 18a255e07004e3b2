// SPDX-License-Identifier: GPL-3.0-or-later
// Long commands under the progress dialog: what the dialog reports while
// Create, open and save run, and what a cancel leaves behind.
#include "autocreate/createcommand.h"
#include "document/document.h"
#include "frmauto.h"
#include "mdimain.h"
#include "progress.h"
#include "support/frames.h"
#include "support/gifbytes.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace velmar;
using namespace velmar::test;

namespace
{

// Everything a cancelled command must leave as it was.
struct DocumentState {
    std::vector<std::tuple<int, int, int, std::vector<Rgb>, std::vector<uint8_t>>> frames;
    std::vector<QStringList> grid;
    QStringList globals;
    int undoCount = 0;
    int redoCount = 0;
    QString undoText;
    QString redoText;
    bool clean = false;

    explicit DocumentState(const Document &doc)
        : undoCount(doc.undoCount()), redoCount(doc.redoCount()), undoText(doc.undoText()), redoText(doc.redoText()),
          clean(doc.isClean())
    {
        for (int i = 0; i < doc.picCount(); ++i) {
            const PicInfo &p = doc.pic(i);
            frames.emplace_back(p.lWidth, p.lHeight, p.nColors, std::vector<Rgb>(p.colors.begin(), p.colors.end()),
                                p.bits);
        }
        for (int r = 0; r < doc.grid().Rows(); ++r) {
            QStringList row;
            for (int c = 0; c < PropertyGrid::kCols; ++c)
                row << doc.grid().TextMatrix(r, c);
            grid.push_back(row);
        }
        const GlobalFields &g = doc.globals();
        globals = {g.width, g.height, g.loop, g.loopBlock ? "1" : "0", g.comment};
    }
    bool operator==(const DocumentState &) const = default;
};

// A file of `frames` images of 48 x 48, each with its control block and
// clear codes on the way, so the picture is shown as it decodes.
QString animation(const QString &name, int frames)
{
    GifBytes gif;
    gif.header(48, 48, true, 1);
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> px(48 * 48);
        for (size_t k = 0; k < px.size(); ++k)
            px[k] = uint8_t((k / 48 + size_t(f)) % 4);
        gif.control(1, false, 10, 0).image(0, 0, 48, 48, false).data(2, literalStream(px, 2, 500));
    }
    gif.trailer();
    return writeTempFile(name, gif.toByteArray());
}

class ProgressTest;

struct ProgressCase {
    const char *name;
    QString label; // the dialog's label starts with it
    // Cancel once this holds at a tick (never when empty); byEscape presses
    // Esc in the dialog, otherwise its button is clicked.
    std::function<bool(ProgressTest &)> cancelWhen;
    bool byEscape;
    std::function<void(ProgressTest &)> prepare;
    std::function<void(ProgressTest &)> run;
    std::function<void(ProgressTest &)> verify;
};

class ProgressTest : public ::testing::TestWithParam<ProgressCase>
{
  public:
    Document doc;
    mdiMain window{doc};
    QString path;
    QByteArray fileBefore;
    bool returned = false;

    struct Tick {
        bool visible;
        int value;
        int maximum;
        QString label;
    };
    std::vector<Tick> ticks;
    bool cancelSent = false;

    void SetUp() override
    {
        window.show();
        QApplication::setActiveWindow(&window);
        // The dialog shows at once and every report is a tick, so a test
        // sees each step without waiting.
        LongTask::setTiming(0, 0);
    }
    void TearDown() override
    {
        LongTask::setTickObserver({});
        LongTask::setTiming(500, 16);
    }
    void addPicture(int side)
    {
        std::vector<uint8_t> px(size_t(side * side));
        for (size_t k = 0; k < px.size(); ++k)
            px[k] = uint8_t((k * 7 + k / size_t(side)) % 200);
        addFrame(doc, side, side, px, 256, rampPalette(3));
    }
    void clickCreate(int tab, const QString &count)
    {
        window.mAutoCreate_Click();
        frmAuto *dialog = window.autoCreateWindow();
        dialog->SSTab1()->setCurrentIndex(tab);
        dialog->findChild<QLineEdit *>(autocreate::tabDescriptors()[size_t(tab)].countField)->setText(count);
        dialog->findChild<QPushButton *>(QStringLiteral("cmdSakusei"))->click();
    }
    QString statusText() const { return window.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"))->text(); }
};

TEST_P(ProgressTest, ReportsHowFarItCameAndACancelLeavesTheDocumentSound)
{
    const ProgressCase &c = GetParam();
    c.prepare(*this);
    LongTask::setTickObserver([this, &c](LongTask &task) {
        QProgressDialog *dialog = task.dialog();
        ticks.push_back({dialog->isVisible(), dialog->value(), dialog->maximum(), dialog->labelText()});
        EXPECT_EQ(dialog->findChild<QPushButton *>()->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        if (cancelSent || !c.cancelWhen || !c.cancelWhen(*this))
            return;
        cancelSent = true;
        if (c.byEscape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->findChild<QPushButton *>()->click();
    });
    c.run(*this);

    ASSERT_FALSE(ticks.empty());
    EXPECT_TRUE(ticks.back().visible);
    for (const Tick &t : ticks) {
        EXPECT_TRUE(t.label.startsWith(c.label)) << t.label.toStdString();
        EXPECT_LE(t.value, t.maximum);
    }
    if (c.cancelWhen) {
        EXPECT_TRUE(cancelSent);
        // No cancel goes without a word.
        EXPECT_TRUE(statusText().contains(QStringLiteral("中止"))) << statusText().toStdString();
    }
    // The dialog goes with the work.
    EXPECT_EQ(window.findChild<QProgressDialog *>(), nullptr);
    c.verify(*this);
}

// A cube of 30 frames on a 120 x 120 picture, frames 1 and 2 besides it, and
// a step waiting to be redone.
void prepareCube(ProgressTest &t)
{
    for (int i = 0; i < 3; ++i)
        t.addPicture(120);
    t.doc.setCell(1, PropertyGrid::ColDelay, QStringLiteral("77"));
    t.doc.undo();
}

const ProgressCase kCases[] = {
    {"CreateCountsFramesDoneOfFramesToDo",
     QStringLiteral("作成中..."),
     {},
     false,
     prepareCube,
     [](ProgressTest &t) { t.clickCreate(4, QStringLiteral("30")); },
     [](ProgressTest &t) {
         // Base window 0 is deleted after the 30 frames are made.
         EXPECT_EQ(t.doc.picCount(), 3 + 30 - 1);
         for (const auto &tick : t.ticks)
             EXPECT_EQ(tick.maximum, 30);
         EXPECT_EQ(t.ticks.back().value, 30);
         EXPECT_TRUE(t.ticks.back().label.contains(QStringLiteral("30/30")));
         EXPECT_EQ(t.doc.undoText(), QStringLiteral("自動作成"));
     }},
    {"CancelledCreateLeavesTheDocumentAsBefore", QStringLiteral("作成中..."),
     [](ProgressTest &t) { return t.doc.picCount() >= 3 + 4; }, true, prepareCube,
     [](ProgressTest &t) {
         const DocumentState before(t.doc);
         t.clickCreate(4, QStringLiteral("30"));
         EXPECT_TRUE(DocumentState(t.doc) == before);
     },
     [](ProgressTest &t) {
         EXPECT_LT(t.ticks.back().value, 30);
         EXPECT_EQ(t.doc.redoText(), QStringLiteral("ｾﾙ編集"));
         for (int i = 0; i < 4; ++i)
             EXPECT_EQ(t.window.frameWindow(i) != nullptr, i < 3) << "frame window " << i;
     }},
    {"CancelledOpenKeepsTheFramesReadAndSkipsTheRestOfTheList", QStringLiteral("開いています..."),
     [](ProgressTest &t) { return t.doc.picCount() >= 3; }, false,
     [](ProgressTest &t) { t.path = animation(QStringLiteral("progress-twelve.gif"), 12); },
     [](ProgressTest &t) {
         const QString second = animation(QStringLiteral("progress-second.gif"), 2);
         t.returned = t.window.openFiles({t.path, second});
         EXPECT_TRUE(t.statusText().contains(second)) << t.statusText().toStdString();
     },
     [](ProgressTest &t) {
         EXPECT_FALSE(t.returned);
         EXPECT_GE(t.doc.picCount(), 3);
         EXPECT_LT(t.doc.picCount(), 12);
         for (int i = 0; i < t.doc.picCount(); ++i) {
             const PicInfo &p = t.doc.pic(i);
             EXPECT_EQ(p.bits.size(), size_t(48 * 48)) << "frame " << i;
             EXPECT_EQ(p.bits[48 * 47], uint8_t((47 + i) % 4)) << "frame " << i;
             EXPECT_EQ(t.doc.grid().TextMatrix(i + 1, PropertyGrid::ColDelay), "10") << "frame " << i;
             EXPECT_NE(t.window.frameWindow(i), nullptr);
         }
         // The row the stopped image's control block began is not left behind.
         EXPECT_EQ(t.doc.grid().TextMatrix(t.doc.picCount() + 1, PropertyGrid::ColDelay), "");
         EXPECT_TRUE(t.statusText().contains(t.path));
         EXPECT_TRUE(t.ticks.back().label.contains(QStringLiteral("ﾌﾚｰﾑ読み込み済み")));
         // What was read is not the file: a save must not overwrite it.
         EXPECT_TRUE(t.window.currentFile().isEmpty());
     }},
    {"CancelledSaveLeavesTheOldFileAsItWas", QStringLiteral("保存中..."), [](ProgressTest &) { return true; }, false,
     [](ProgressTest &t) {
         t.addPicture(40);
         t.path = tempPath(QStringLiteral("progress-saved.gif"));
         ASSERT_TRUE(t.window.saveTo(t.path));
         t.fileBefore = readFileBytes(t.path);
         for (int i = 0; i < 4; ++i)
             t.addPicture(40);
     },
     [](ProgressTest &t) { t.returned = t.window.saveTo(t.path); },
     [](ProgressTest &t) {
         EXPECT_FALSE(t.returned);
         EXPECT_EQ(readFileBytes(t.path), t.fileBefore);
         EXPECT_TRUE(t.statusText().contains(t.path));
         EXPECT_FALSE(t.doc.isClean());
         EXPECT_EQ(t.ticks.back().maximum, 5);
     }},
};

INSTANTIATE_TEST_SUITE_P(LongCommands, ProgressTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ProgressCase> &info) { return info.param.name; });

} // namespace
