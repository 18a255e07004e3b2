// velmar-cli's frame commands, run as a script would run them, seen through
// `info`.
#include "support/cli.h"
#include "support/gifbytes.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace velmar::test;

using velmar::test::CliRun;
using velmar::test::runCli;

namespace
{

CliRun cli(const QStringList &args) { return runCli(args); }

// Frames A (2 x 1), B (3 x 1), C (1 x 2) in a 4-colour global table, with
// delays 10, 20, 30 and a transparent index only on B.
QString abcGif()
{
    GifBytes gif;
    gif.header(3, 2, true, 1);
    gif.control(1, false, 10, 0).image(0, 0, 2, 1, false).data(2, literalStream({0, 1}, 2));
    gif.control(2, true, 20, 3).image(1, 0, 3, 1, false).data(2, literalStream({1, 2, 3}, 2));
    gif.control(3, false, 30, 0).image(2, 0, 1, 2, false).data(2, literalStream({3, 2}, 2));
    gif.trailer();
    return writeTempFile(QStringLiteral("cli-frames-abc.gif"), gif.toByteArray());
}

// Runs the operations after opening A, B, C, then `info`; returns the JSON.
QJsonObject infoAfter(const QStringList &ops)
{
    const CliRun r = cli(QStringList{"open", abcGif()} + ops + QStringList{"info"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

QJsonArray framesOf(const QJsonObject &info)
{
    return info["frames"].toArray();
}

// The frames' widths in order: A = 2, B = 3, C = 1.
std::vector<int> widths(const QJsonObject &info)
{
    std::vector<int> out;
    for (const QJsonValue &f : framesOf(info))
        out.push_back(f.toObject()["width"].toInt());
    return out;
}

QString cell(const QJsonObject &info, int frame, int col)
{
    return framesOf(info)[frame].toObject()["row"].toArray()[col].toString();
}

void expectFrameNumbersInColumnZero(const QJsonObject &info)
{
    for (int i = 0; i < framesOf(info).size(); ++i)
        EXPECT_EQ(cell(info, i, 0), QString::number(i));
}

QString sha256Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

TEST(CliFrames, SwapsMoveFramesWithTheirRows)
{
    const QJsonObject front = infoAfter({"swap-prev", "1"});
    EXPECT_EQ(widths(front), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(cell(front, 0, 8), "20");
    EXPECT_EQ(cell(front, 0, 7), "3");
    EXPECT_EQ(cell(front, 1, 8), "10");
    expectFrameNumbersInColumnZero(front);

    EXPECT_EQ(widths(infoAfter({"swap-next", "0"})), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(widths(infoAfter({"swap-next", "1"})), (std::vector<int>{2, 1, 3}));
    // Past either end nothing happens, and that is no error.
    EXPECT_EQ(widths(infoAfter({"swap-prev", "0", "swap-next", "2"})), (std::vector<int>{2, 3, 1}));
}

TEST(CliFrames, DeleteRenumbersAndCloseAllEmpties)
{
    const QJsonObject info = infoAfter({"delete", "1"});
    EXPECT_EQ(widths(info), (std::vector<int>{2, 1}));
    EXPECT_EQ(cell(info, 1, 8), "30");
    expectFrameNumbersInColumnZero(info);

    EXPECT_TRUE(framesOf(infoAfter({"close-all"})).isEmpty());
    // Closing an empty document is fine too.
    EXPECT_EQ(cli({"close-all", "close-all"}).status, 0);
}

TEST(CliFrames, CopyAppendsTheSourceWithDefaultTiming)
{
    const QJsonObject info = infoAfter({"copy", "1"});
    ASSERT_EQ(framesOf(info).size(), 4);
    const QJsonObject b = framesOf(info)[1].toObject();
    const QJsonObject copy = framesOf(info)[3].toObject();
    EXPECT_EQ(copy["pixels_sha256"], b["pixels_sha256"]);
    EXPECT_EQ(copy["palette"], b["palette"]);
    EXPECT_EQ(copy["width"].toInt(), 3);
    const QStringList row = {"3", "1", "0", "3", "1", "0", "1", "3", "50", "2", ""};
    for (int col = 0; col <= 10; ++col)
        EXPECT_EQ(cell(info, 3, col), row[col]) << "column " << col;
}

TEST(CliFrames, NewAppendsAFilledFrameAndSetsTheCanvas)
{
    const QJsonObject info = infoAfter({"new", "1", "5", "4", "2"});
    ASSERT_EQ(framesOf(info).size(), 4);
    const QJsonObject made = framesOf(info)[3].toObject();
    EXPECT_EQ(made["width"].toInt(), 5);
    EXPECT_EQ(made["height"].toInt(), 4);
    EXPECT_EQ(made["pixels_sha256"].toString(), sha256Of(QByteArray(20, '\x02')));
    EXPECT_EQ(made["palette"], framesOf(info)[1].toObject()["palette"]);
    const QStringList row = {"3", "0", "0", "5", "4", "0", "1", "3", "10", "2", ""};
    for (int col = 0; col <= 10; ++col)
        EXPECT_EQ(cell(info, 3, col), row[col]) << "column " << col;
    EXPECT_EQ(info["global"].toObject()["width"].toString(), "5");
    EXPECT_EQ(info["global"].toObject()["height"].toString(), "4");
}

TEST(CliFrames, SetWritesGridCellsAndGlobalFieldsAsTyped)
{
    const QJsonObject info =
        infoAfter({"set",     "2",    "8",          "99",    "set",        "3",          "10",     "コマ 3",
                   "set",     "1",    "5",          "x",     "set-global", "loop",       "7",      "set-global",
                   "comment", "全体", "set-global", "width", "１２",       "set-global", "height", ""});
    EXPECT_EQ(cell(info, 1, 8), "99");
    EXPECT_EQ(cell(info, 2, 10), QStringLiteral("コマ 3"));
    EXPECT_EQ(cell(info, 0, 5), "x") << "cells are stored without a check";
    const QJsonObject global = info["global"].toObject();
    EXPECT_EQ(global["loop"].toString(), "7");
    EXPECT_EQ(global["comment"].toString(), QStringLiteral("全体"));
    EXPECT_EQ(global["width"].toString(), QStringLiteral("１２"));
    EXPECT_EQ(global["height"].toString(), "");
    // Numbers may be written as the dialogs accept them.
    EXPECT_EQ(widths(infoAfter({"swap-prev", "１"})), (std::vector<int>{3, 2, 1}));
}

TEST(CliFrames, BadArgumentsFailWithAMessageAndStopTheScript)
{
    const QString gif = abcGif();
    const QList<QStringList> bad = {
        {"swap-prev", "x"},
        {"swap-prev", "3"},
        {"swap-next", "-1"},
        {"swap-next", ""},
        {"delete", "1.5"},
        {"delete", "1e99"},
        {"delete", "9999999999"},
        {"copy", "3"},
        {"new", "3", "1", "1", "0"},
        {"new", "0", "0", "1", "0"},
        {"new", "0", "1", "-4", "0"},
        {"new", "0", "65536", "1", "0"},
        {"new", "0", "w", "1", "0"},
        {"new", "0", "1", "1", "256"},
        {"new", "0", "1", "1", "-1"},
        {"set", "0", "1", "heading"},
        {"set", "4", "1", "no frame 3"},
        {"set", "1", "0", "frame number"},
        {"set", "1", "11", "no column"},
        {"set", "one", "1", "x"},
        {"set-global", "Width", "1"},
        {"set-global", "loopBlock", "1"},
        {"set"},
    };
    for (const QStringList &ops : bad) {
        const CliRun r = cli(QStringList{"open", gif} + ops + QStringList{"info"});
        const std::string what = ops.join(' ').toStdString();
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_FALSE(r.err.isEmpty()) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what << ": info must not run after a failure";
    }
    // In an empty document there is no frame to name.
    for (const QStringList &ops : QList<QStringList>{
             {"swap-prev", "0"}, {"delete", "0"}, {"copy", "0"}, {"new", "0", "1", "1", "0"}, {"set", "1", "1", "x"}}) {
        const CliRun r = cli(ops);
        EXPECT_EQ(r.status, 1) << ops.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("no frames"))) << r.err.toStdString();
    }
}
