// velmar-cli's frame commands, run as a script would run them, seen through
// `info`.
#include "support/cli.h"
#include "support/gifbytes.h"

#include <QCryptographicHash>
#include <QFile>
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

CliRun cli(const QStringList &args)
{
    return runCli(args);
}

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

// Runs the operations, then `info`; returns the JSON.
QJsonObject infoOf(const QStringList &ops)
{
    const CliRun r = cli(ops + QStringList{"info"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// The same after opening A, B, C.
QJsonObject infoAfter(const QStringList &ops)
{
    return infoOf(QStringList{"open", abcGif()} + ops);
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
        {"set-global", "loop-block", "yes"},
        {"set"},
    };
    for (const QStringList &ops : bad) {
        const CliRun r = cli(QStringList{"open", gif} + ops + QStringList{"info"});
        const std::string what = ops.join(' ').toStdString();
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_FALSE(r.err.isEmpty()) << what;
        EXPECT_TRUE(r.out.isEmpty()) << what << ": info must not run after a failure";
    }
    // In an empty document there is no frame to name, and once the last
    // frame is deleted no grid row either.
    for (const QStringList &ops : QList<QStringList>{{"swap-prev", "0"},
                                                     {"delete", "0"},
                                                     {"copy", "0"},
                                                     {"new", "0", "1", "1", "0"},
                                                     {"open", gif, "close-all", "set", "1", "1", "x"}}) {
        const CliRun r = cli(ops);
        EXPECT_EQ(r.status, 1) << ops.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("no frames"))) << r.err.toStdString();
    }
}

namespace
{
// One 2 x 1 image without a control block, and without a looping block.
QString plainGif()
{
    GifBytes gif;
    gif.header(2, 1, true, 1).image(0, 0, 2, 1, false).data(2, literalStream({0, 1}, 2)).trailer();
    return writeTempFile(QStringLiteral("cli-frames-plain.gif"), gif.toByteArray());
}
} // namespace

TEST(CliFrames, EmptyRowOfANewDocumentIsSetAndAFileKeepsWhatItsBlocksDoNotSet)
{
    // {file, delay it leaves}: without a control block the typed delay
    // stays; A's control block sets 10. Neither file has a frame comment.
    const std::pair<QString, QString> files[] = {{plainGif(), "50"}, {abcGif(), "10"}};
    for (const auto &[file, delay] : files) {
        const QJsonObject info = infoOf({"set", "1", "8", "50", "set", "1", "10", "typed", "open", file});
        EXPECT_EQ(cell(info, 0, 8), delay) << file.toStdString();
        EXPECT_EQ(cell(info, 0, 10), "typed") << file.toStdString();
        EXPECT_EQ(cell(info, 0, 6), "0") << "a cell nobody set is filled in";
    }
}

TEST(CliFrames, LoopBlockFlagDecidesWhetherTheSavedFileLoops)
{
    const QString out = tempPath(QStringLiteral("cli-frames-loop.gif"));
    for (const QString &flag : {QStringLiteral("0"), QStringLiteral("1")}) {
        const CliRun save =
            cli({"open", plainGif(), "set-global", "loop", "3", "set-global", "loop-block", flag, "save", out});
        ASSERT_EQ(save.status, 0) << save.err.toStdString();
        const CliRun back = cli({"open", out, "info"});
        ASSERT_EQ(back.status, 0) << back.err.toStdString();
        const QJsonObject global = QJsonDocument::fromJson(back.out.toUtf8()).object()["global"].toObject();
        EXPECT_EQ(global["loopBlock"].toBool(), flag == "1");
        EXPECT_EQ(global["loop"].toString(), flag == "1" ? "3" : QStringLiteral("０"));
    }
}

TEST(CliFrames, TickerAndPushAfterTheCubeKeepTheCubesCanvas)
{
    // 48 x 48 pictures: the cube's frames are round(48 * 1.6) = 77 square;
    // the ticker and the push then add 48 x 48 frames from a fresh copy.
    std::vector<uint8_t> pixels(48 * 48);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t(i % 4);
    GifBytes gif;
    gif.header(48, 48, true, 1).image(0, 0, 48, 48, false).data(2, literalStream(pixels, 2)).trailer();
    const QString picture = writeTempFile(QStringLiteral("cli-frames-48.gif"), gif.toByteArray());
    const QString out = tempPath(QStringLiteral("cli-frames-cube-ticker.gif"));
    const QJsonObject info =
        infoOf({"open", picture, "open", picture, "create", "4", "txtSumFraNum=4,txtMasWinB=1,txtMasWinC=1", "open",
                picture, "create", "6", "txtSumFraNum=2,txtMasterWindow=4", "create", "10",
                "txtSumFraNum=3,txtMasterWindow1=4,txtMasterWindow2=4", "save", out});
    ASSERT_GE(framesOf(info).size(), 7) << "the cube's frames, the ticker's and the push's";
    EXPECT_EQ(framesOf(info)[0].toObject()["width"].toInt(), 77);
    EXPECT_EQ(framesOf(info).last().toObject()["width"].toInt(), 48);
    EXPECT_EQ(info["global"].toObject()["width"].toString(), "77");
    EXPECT_EQ(info["global"].toObject()["height"].toString(), "77");
    QFile saved(out);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray screen = saved.read(10);
    EXPECT_EQ(screen.mid(6, 4), QByteArray("\x4d\x00\x4d\x00", 4)) << "logical screen 77 x 77";
}

TEST(CliFrames, UndoAndRedoWalkTheStepsAndFailWhenThereAreNone)
{
    const QString gif = abcGif();
    const QJsonObject opened = infoAfter({});
    const QJsonObject edited = infoAfter({"delete", "0", "set-global", "comment", "x"});
    EXPECT_EQ(infoAfter({"delete", "0", "set-global", "comment", "x", "undo", "undo"}), opened);
    EXPECT_EQ(infoAfter({"delete", "0", "set-global", "comment", "x", "undo", "undo", "redo", "redo"}), edited);
    EXPECT_EQ(framesOf(infoOf({"open", gif, "undo"})).size(), 0) << "the whole file is one step";
    for (const QStringList &ops :
         QList<QStringList>{{"undo"}, {"redo"}, {"open", gif, "redo"}, {"open", gif, "undo", "undo"}}) {
        const CliRun r = cli(ops + QStringList{"info"});
        EXPECT_EQ(r.status, 1) << ops.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("nothing to"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

namespace
{
// Frames 1 x 1 .. 5 x 1 wide, so a frame's width names it, with delays 10
// to 50.
QString fiveGif()
{
    GifBytes gif;
    gif.header(5, 1, true, 1);
    for (int w = 1; w <= 5; ++w)
        gif.control(1, false, 10 * w, 0).image(0, 0, w, 1, false).data(2, literalStream(std::vector<uint8_t>(w, 1), 2));
    gif.trailer();
    return writeTempFile(QStringLiteral("cli-frames-five.gif"), gif.toByteArray());
}
} // namespace

TEST(CliFrames, RangeCommandsReorderWithRowsAndRefuseRangesOutsideTheFrames)
{
    const QString gif = fiveGif();
    struct Case {
        QStringList ops;
        std::vector<int> widths; // empty: the operation fails
        QStringList delays;      // empty: each frame keeps 10 x its width
    };
    const Case cases[] = {
        {{"move", "3", "2", "0"}, {4, 5, 1, 2, 3}, {}},
        {{"move", "0", "1", "4"}, {2, 3, 4, 5, 1}, {}},
        {{"move", "3", "2", "0", "undo"}, {1, 2, 3, 4, 5}, {}},
        {{"move", "3", "3", "0"}, {}, {}},
        {{"move", "0", "2", "4"}, {}, {}},
        {{"delete-range", "1", "3"}, {1, 5}, {}},
        {{"delete-range", "5", "1"}, {}, {}},
        {{"set-delay", "1", "2", "７"}, {1, 2, 3, 4, 5}, {"10", "7", "7", "40", "50"}},
        {{"set-delay", "0", "1", "32768"}, {}, {}},
        {{"set-delay", "0", "1", "x"}, {}, {}},
        {{"reverse", "1", "3"}, {1, 4, 3, 2, 5}, {}},
        {{"reverse", "0", "0"}, {}, {}},
        {{"duplicate", "0", "2"}, {1, 2, 1, 2, 3, 4, 5}, {}},
        {{"duplicate", "0", "6"}, {}, {}},
        {{"yoyo"}, {1, 2, 3, 4, 5, 4, 3, 2}, {}},
        {{"yoyo", "undo"}, {1, 2, 3, 4, 5}, {}},
    };
    for (const Case &c : cases) {
        const std::string what = c.ops.join(' ').toStdString();
        const CliRun r = cli(QStringList{"open", gif} + c.ops + QStringList{"info"});
        if (c.widths.empty()) {
            EXPECT_EQ(r.status, 1) << what;
            EXPECT_FALSE(r.err.isEmpty()) << what;
            EXPECT_TRUE(r.out.isEmpty()) << what;
            continue;
        }
        ASSERT_EQ(r.status, 0) << what << ": " << r.err.toStdString();
        const QJsonObject info = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(widths(info), c.widths) << what;
        expectFrameNumbersInColumnZero(info);
        for (int i = 0; i < int(c.widths.size()); ++i) {
            const QString delay = c.delays.isEmpty() ? QString::number(10 * c.widths[size_t(i)]) : c.delays[i];
            EXPECT_EQ(cell(info, i, 8).toStdString(), delay.toStdString()) << what << ", frame " << i;
        }
    }
    // With no frames there is no range, but yoyo has nothing to do.
    EXPECT_EQ(cli({"reverse", "0", "1"}).status, 1);
    EXPECT_EQ(cli({"yoyo"}).status, 0);
}
