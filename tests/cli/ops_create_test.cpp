// velmar-cli create: each pixel effect on the example animation, saved and
// opened again; failed checks reach stderr with exit status 1.
#include "support/cli.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using velmar::test::CliRun;
using velmar::test::runCli;

namespace
{

QString examplePath()
{
    return QStringLiteral(VELMAR_SOURCE_DIR "/examples/example.gif");
}

// The frames of a document as info prints them.
QJsonArray framesOf(const QStringList &openArgs)
{
    const CliRun r = runCli(openArgs + QStringList{QStringLiteral("info")});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object().value(QStringLiteral("frames")).toArray();
}

class CliCreate : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(examplePath())) << "examples/example.gif belongs to the repository";
        ASSERT_TRUE(dir.isValid());
        frames = framesOf({QStringLiteral("open"), examplePath()});
        ASSERT_GE(frames.size(), 1) << "the example opens";
    }

    QJsonArray frames;
    QTemporaryDir dir;
};

TEST_F(CliCreate, EachPixelEffectRunsOnTheExampleAndTheResultOpensAgain)
{
    const int count = int(frames.size());
    const int w0 = frames[0].toObject().value(QStringLiteral("width")).toInt();
    const int h0 = frames[0].toObject().value(QStringLiteral("height")).toInt();
    // The dissolve and the push need two frames of one size; window 2 is
    // deleted afterwards when it differs from window 1.
    int partner = 0;
    for (int f = 1; f < count; ++f) {
        const QJsonObject o = frames[f].toObject();
        if (o.value(QStringLiteral("width")).toInt() == w0 && o.value(QStringLiteral("height")).toInt() == h0) {
            partner = f;
            break;
        }
    }
    const QString p = QString::number(partner);
    struct Case {
        QString tab;
        QString fields;
        int frameChange;
    };
    const std::vector<Case> cases = {
        {"0", "txtDivX=2,txtDivY=2,txtSumFraNum=4", 7},
        {"1", "txtSumFraNum=3,optClrPalette=1,txtClrPal=1", 5},
        {"2", "txtFromWinNo=0,txtToWinNo=" + p, 9 - (partner != 0)},
        {"3", "txtSumFraNum=4", 5},
        {"6", "optYokohabaShitei=1,txtYokohaba=" + QString::number((w0 + 1) / 2), 5 - 1},
        {"9", "-", 7},
        {"10", "txtMasterWindow1=0,txtMasterWindow2=" + p, 4 - (partner != 0)},
    };
    for (const Case &c : cases) {
        const QString out = dir.filePath("tab" + c.tab + ".gif");
        const CliRun r = runCli({"open", examplePath(), "create", c.tab, c.fields, "save", out});
        ASSERT_EQ(r.status, 0) << "tab " << c.tab.toStdString() << ": " << r.err.toStdString();
        const QJsonArray again = framesOf({"open", out});
        EXPECT_EQ(again.size(), count + c.frameChange) << "tab " << c.tab.toStdString();
    }
}

TEST_F(CliCreate, FailedCheckPrintsTheMessageAndExitsOne)
{
    CliRun r = runCli({"open", examplePath(), "create", "9", "txtSumFraNum=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("コマ数を正しく入力して下さい。(2-30)"));
    r = runCli({"open", examplePath(), "create", "1", "optClrPalette=1,txtClrPal=256"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("消去色に誤りがあります。(0-255)"));
    r = runCli({"open", examplePath(), "create", "9", "txtMasterWindow=" + QString::number(frames.size())});
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("パラメーターに誤りがあります。"));
}

TEST_F(CliCreate, RejectsUnknownTabsAndFields)
{
    EXPECT_EQ(runCli({"create", "9", "-"}).err.trimmed(), QStringLiteral("基本ｳｨﾝﾄﾞｳ(GIFﾌｧｲﾙ)を開いて下さい。"));
    EXPECT_EQ(runCli({"open", examplePath(), "create", "11", "-"}).status, 1);
    const CliRun r = runCli({"open", examplePath(), "create", "9", "txtDivX=3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("txtDivX")) << r.err.toStdString();
    EXPECT_EQ(runCli({"open", examplePath(), "create", "9", "txtSumFraNum"}).status, 1);
}

} // namespace
