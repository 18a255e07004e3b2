// velmar-cli's GIF operations, run as a script would run them.
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

QString sampleGif()
{
    GifBytes gif;
    gif.header(2, 1, true, 0); // colours (0,0,0) and (1,2,3)
    gif.u8({0x21, 0xFF, 0x0B}).text("NETSCAPE2.0").u8({0x03, 0x01}).u16(5).u8({0x00});
    gif.control(2, true, 40000, 1).image(3, 4, 2, 1, false).data(2, literalStream({1, 0}, 2));
    gif.u8({0x21, 0xFE}).subBlocks("q\"b\\n\nt\x01 日本").trailer();
    return writeTempFile(QStringLiteral("cli-sample.gif"), gif.toByteArray());
}

TEST(CliGif, InfoPrintsTheDocumentAsExactJson)
{
    const QString path = sampleGif();
    const CliRun r = cli({"open", path, "info"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QByteArray pixels("\x01\x00", 2);
    const QString sha = QString::fromLatin1(QCryptographicHash::hash(pixels, QCryptographicHash::Sha256).toHex());
    const QString expected = QStringLiteral("{\"global\":{\"width\":\"5\",\"height\":\"5\",\"loop\":\"5\","
                                            "\"loopBlock\":true,"
                                            "\"comment\":\"q\\\"b\\\\n\\nt\\u0001 "
                                            "日本\"},\"frames\":[{\"width\":2,\"height\":1,"
                                            "\"colors\":2,\"palette\":\"000000010203\",\"pixels_sha256\":\"") +
                             sha +
                             QStringLiteral("\",\"row\":[\"0\",\"3\",\"4\",\"2\",\"1\",\"0\",\"1\","
                                            "\"1\",\"-25536\",\"2\",\"\"]}]}\n");
    EXPECT_EQ(r.out, expected);
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(json.object()["global"].toObject()["comment"].toString(), QStringLiteral("q\"b\\n\nt\x01 日本"));
}

TEST(CliGif, EmptyDocumentInfo)
{
    const CliRun r = cli({"info"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, QStringLiteral("{\"global\":{\"width\":\"０\",\"height\":"
                                    "\"０\",\"loop\":\"０\",\"loopBlock\":"
                                    "false,\"comment\":\"\"},\"frames\":[]}\n"));
}

TEST(CliGif, OpeningTwiceAppendsAndSaveRoundTrips)
{
    const QString path = sampleGif();
    const QString out = tempPath(QStringLiteral("cli-out.gif"));
    const CliRun first = cli({"open", path, "open", path, "save", out, "info"});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    const CliRun second = cli({"open", out, "info"});
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    const QJsonObject a = QJsonDocument::fromJson(first.out.toUtf8()).object();
    const QJsonObject b = QJsonDocument::fromJson(second.out.toUtf8()).object();
    ASSERT_EQ(a["frames"].toArray().size(), 2);
    ASSERT_EQ(b["frames"].toArray().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject fa = a["frames"].toArray()[i].toObject();
        const QJsonObject fb = b["frames"].toArray()[i].toObject();
        EXPECT_EQ(fb["pixels_sha256"], fa["pixels_sha256"]);
        EXPECT_EQ(fb["palette"], fa["palette"]);
        EXPECT_EQ(fb["row"].toArray()[8], fa["row"].toArray()[8]);
        EXPECT_EQ(fb["row"].toArray()[0].toString(), QString::number(i));
    }
    EXPECT_EQ(b["global"].toObject()["comment"], a["global"].toObject()["comment"]);
}

TEST(CliGif, NotAGifOrUnreadableFileFailsAndStops)
{
    const QString text = writeTempFile(QStringLiteral("cli-text.gif"), QByteArray("gif89a lower case"));
    const CliRun notGif = cli({"open", text, "info"});
    EXPECT_EQ(notGif.status, 1);
    EXPECT_TRUE(notGif.out.isEmpty()) << "info must not run after a failure";
    EXPECT_TRUE(notGif.err.contains(QStringLiteral("not a GIF"))) << notGif.err.toStdString();

    const CliRun missing = cli({"open", tempPath(QStringLiteral("cli-missing.gif"))});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("cannot read"))) << missing.err.toStdString();
}

TEST(CliGif, OpenThatLosesPixelsWarnsAndSucceeds)
{
    GifBytes gif;
    gif.header(9, 1, true, 0).image(0, 0, 9, 1, false).data(2, literalStream({1, 1}, 2, 0, false));
    gif.image(0, 0, 1, 1, false).data(2, literalStream({1}, 2)).trailer();
    const QString path = writeTempFile(QStringLiteral("cli-short.gif"), gif.toByteArray());
    const CliRun run = cli({"open", path, "info"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("velmar-cli: open: warning: "))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(path)) << run.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8())["frames"].toArray().size(), 2) << run.out.toStdString();
}

TEST(CliGif, SaveWithoutFramesFails)
{
    const QString out = tempPath(QStringLiteral("cli-none.gif"));
    const CliRun r = cli({"save", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFile::exists(out));
}

TEST(CliGif, SaveRefusesABadCellOnStderrAndWritesNothing)
{
    const QString path = sampleGif();
    const QString out = tempPath(QStringLiteral("cli-bad-cell.gif"));
    QFile::remove(out);
    const CliRun r = cli({"open", path, "set", "1", "8", "abc", "save", out, "info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("保存できません"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("待ち時間"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_FALSE(QFile::exists(out));

    const CliRun loop = cli({"open", path, "set-global", "loop", "70000", "save", out});
    EXPECT_EQ(loop.status, 1);
    EXPECT_TRUE(loop.err.contains(QStringLiteral("繰り返し数"))) << loop.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

TEST(CliGif, FillColourBeyondTheColourCountIsSavedWithARaisedCount)
{
    // The sample has 2 colours; a new frame filled with colour 200 is
    // written with 256 colours, so the file reads back with its pixels.
    const QString out = tempPath(QStringLiteral("cli-raised.gif"));
    const CliRun save = cli({"open", sampleGif(), "new", "0", "3", "2", "200", "save", out});
    ASSERT_EQ(save.status, 0) << save.err.toStdString();
    const CliRun info = cli({"open", out, "info"});
    ASSERT_EQ(info.status, 0) << info.err.toStdString();
    const QJsonArray frames = QJsonDocument::fromJson(info.out.toUtf8()).object()["frames"].toArray();
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames[1].toObject()["colors"].toInt(), 256);
    const QByteArray pixels(6, char(200));
    EXPECT_EQ(frames[1].toObject()["pixels_sha256"].toString(),
              QString::fromLatin1(QCryptographicHash::hash(pixels, QCryptographicHash::Sha256).toHex()));
}

} // namespace
