// Replays every input the fuzz targets ever found (tests/data/fuzz/<target>/,
// described in the README there) through the same checks the targets make,
// and through velmar-cli, which must end each one with exit status 0, or 1
// and a message, never with a signal.
#include "support/fuzzchecks.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

using namespace velmar::test;

namespace
{

struct Input {
    QString path;
    std::vector<uint8_t> bytes;
};

std::vector<Input> inputsOf(const char *target)
{
    const QDir dir(QStringLiteral(VELMAR_TEST_DATA_DIR "/fuzz/") + QLatin1String(target));
    std::vector<Input> inputs;
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files, QDir::Name)) {
        if (info.fileName() == QLatin1String("README.md"))
            continue;
        QFile f(info.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray b = f.readAll();
        inputs.push_back({info.filePath(), std::vector<uint8_t>(b.begin(), b.end())});
    }
    return inputs;
}

std::vector<Input> gifInputs()
{
    std::vector<Input> all = inputsOf("opengif");
    for (Input &i : inputsOf("roundtrip"))
        all.push_back(std::move(i));
    return all;
}

} // namespace

TEST(FuzzRegressions, LzwInputsDecodeAsTheTableRulesSay)
{
    const std::vector<Input> inputs = inputsOf("lzw_decode");
    if (inputs.empty())
        GTEST_SKIP() << "no LZW inputs kept";
    for (const Input &in : inputs)
        EXPECT_EQ(checkLzwDecode(in.bytes), "") << in.path.toStdString();
}

TEST(FuzzRegressions, GifInputsLeaveAConsistentDocument)
{
    const std::vector<Input> inputs = gifInputs();
    if (inputs.empty())
        GTEST_SKIP() << "no GIF inputs kept";
    for (const Input &in : inputs)
        EXPECT_EQ(checkOpenGif(in.bytes), "") << in.path.toStdString();
}

TEST(FuzzRegressions, GifInputsSurviveSaveAndReopen)
{
    const std::vector<Input> inputs = gifInputs();
    if (inputs.empty())
        GTEST_SKIP() << "no GIF inputs kept";
    for (const Input &in : inputs)
        EXPECT_EQ(checkRoundTrip(in.bytes), "") << in.path.toStdString();
}

TEST(FuzzRegressions, CliEndsEveryInputWithAStatusNotASignal)
{
    std::vector<Input> inputs = gifInputs();
    // LZW inputs are not GIF files: the CLI must refuse them cleanly too.
    for (Input &i : inputsOf("lzw_decode"))
        inputs.push_back(std::move(i));
    if (inputs.empty())
        GTEST_SKIP() << "no inputs kept";
    for (const Input &in : inputs) {
        QProcess p;
        p.start(QStringLiteral(VELMAR_CLI_PATH), {QStringLiteral("open"), in.path, QStringLiteral("info")});
        ASSERT_TRUE(p.waitForFinished(120000)) << in.path.toStdString();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << in.path.toStdString();
        const QByteArray err = p.readAllStandardError();
        if (p.exitCode() == 0)
            EXPECT_TRUE(p.readAllStandardOutput().startsWith("{\"global\"")) << in.path.toStdString();
        else
            EXPECT_TRUE(p.exitCode() == 1 && !err.trimmed().isEmpty())
                << in.path.toStdString() << ": exit " << p.exitCode() << ", stderr: " << err.toStdString();
    }
}
