// Reading a GIF file into the Document: every image becomes a frame through
// the staging slot, with its grid row; the file's screen, repeat count and
// comment fill the global fields; the status line shows how far the read has
// come, and the picture of an image is shown as it builds up.
#include "document/document.h"
#include "document/gifio.h"
#include "gif/gifformat.h"
#include "gif/gifread.h"
#include "platform/numeric.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdint>

namespace velmar
{

namespace
{

QString warningText(const GifWarning &w, int frame)
{
    QString text;
    switch (w.kind) {
    case GifWarningKind::DescriptorCut:
        text = QStringLiteral("GIF ファイルがフレーム %1 の画像記述子の途中で終わっています").arg(frame);
        break;
    case GifWarningKind::EmptyImage:
        text = QStringLiteral("幅か高さが 0 の画像（%1×%2）を読み飛ばしました（フレーム %3 の位置）")
                   .arg(w.width)
                   .arg(w.height)
                   .arg(frame);
        break;
    case GifWarningKind::ShortData:
        text = QStringLiteral("フレーム %1 の画像データが画素の途中で終わっています（残りは色 0）").arg(frame);
        break;
    case GifWarningKind::DamagedCode:
        text = QStringLiteral("フレーム %1 の画像データに壊れた符号があります（以降の画素は色 0）").arg(frame);
        break;
    case GifWarningKind::BadCodeSize:
        text = QStringLiteral("フレーム %1 の LZW 最小符号長 %2 が 8 を超えているため、画像を読めません")
                   .arg(frame)
                   .arg(w.codeSize);
        break;
    case GifWarningKind::DataCut:
        text = QStringLiteral("GIF ファイルがフレーム %1 の画像データの途中で終わっています").arg(frame);
        break;
    }
    return text + QStringLiteral(": ") + w.path;
}

class DocumentImport : public GifReadSink
{
  public:
    DocumentImport(Document &doc, const QString &path, const OpenGifOptions &options)
        : doc_(doc), path_(path), options_(options), firstFrame_(doc.picCount())
    {
    }

    QStringList warnings;
    // The read got as far as the file's contents; its progress text is up.
    bool started = false;

    size_t heldBytes() const
    {
        size_t held = 0;
        for (int i = 0; i < doc_.picCount(); ++i)
            held += doc_.pic(i).bits.size();
        return held;
    }

    void start(const GifFile &screen) override
    {
        started = true;
        doc_.setStatusText(QStringLiteral("読み込み中 (") + path_ + QLatin1Char(')'));
        doc_.setGblLoopBlock(false);
        screenWidth_ = screen.screenWidth;
        screenHeight_ = screen.screenHeight;
        if (!screen.globalTable.empty()) {
            globalCount_ = int(screen.globalTable.size());
            std::copy(screen.globalTable.begin(), screen.globalTable.end(), global_.begin());
        } else {
            // A file without any table is seen through the default one.
            globalCount_ = 256;
            global_ = defaultColorTable();
        }
    }

    // The control block fills the row of the frame that the next image
    // becomes, as soon as it is read, with the cells the file holds.
    void control(const GifControl &c, int held) override
    {
        const int row = doc_.picCount() + 1;
        doc_.ensureGridRows(row + 1);
        if (held >= 1) {
            doc_.setCell(row, PropertyGrid::ColDisposal, numberText(c.disposal));
            doc_.setCell(row, PropertyGrid::ColTransparent, numberText(c.transparent ? 1 : 0));
        }
        if (held >= 2)
            doc_.setCell(row, PropertyGrid::ColDelay, numberText(int16_t(c.delay)));
        if (held >= 3)
            doc_.setCell(row, PropertyGrid::ColTransIndex, numberText(c.transparentIndex));
    }

    void comment(const QByteArray &bytes) override { doc_.setGblComment(decodeComment(bytes)); }

    // The repeat count is shown as the signed number the program has always
    // written.
    void loop(int count) override
    {
        doc_.setGblLoop(numberText(int16_t(count)));
        doc_.setGblLoopBlock(true);
    }

    Result<std::span<uint8_t>> beginImage(const GifImage &image, bool tableComplete) override
    {
        // A stopped read ends here, between images, so every frame kept is
        // whole; the control block read for this image goes with it.
        if (stopped_) {
            clearNextRow();
            return fail(openCancelledText());
        }
        int nColors = globalCount_;
        ColorTable colors = global_;
        if (!image.localTable.empty()) {
            nColors = int(image.localTable.size());
            colors = ColorTable{};
            std::copy(image.localTable.begin(), image.localTable.end(), colors.begin());
        }
        const Result<int> slot = doc_.beginFrame(image.width, image.height, nColors, colors);
        if (!slot) {
            slot_ = -1;
            return fail(slot.error());
        }
        slot_ = *slot;

        const int row = slot_ + 1;
        doc_.ensureGridRows(row + 1);
        doc_.setCell(row, PropertyGrid::ColNumber, numberText(slot_));
        doc_.setCell(row, PropertyGrid::ColX, numberText(image.left));
        doc_.setCell(row, PropertyGrid::ColY, numberText(image.top));
        doc_.setCell(row, PropertyGrid::ColWidth, numberText(image.width));
        doc_.setCell(row, PropertyGrid::ColHeight, numberText(image.height));
        doc_.setCell(row, PropertyGrid::ColInterlace, numberText(image.interlaced ? 1 : 0));
        // The canvas is the file's logical screen, enlarged where frame 0
        // would stick out of it, so the frame keeps its place when the
        // animation is shown or saved.
        if (slot_ == 0) {
            doc_.setGblWidth(numberText(std::max(screenWidth_, image.left + image.width)));
            doc_.setGblHeight(numberText(std::max(screenHeight_, image.top + image.height)));
        }
        // A file that ends inside the local table leaves the cells it never
        // reached empty.
        if (tableComplete) {
            for (int col = PropertyGrid::ColTransparent; col <= PropertyGrid::ColDisposal; ++col)
                if (doc_.grid().TextMatrix(row, col).isEmpty())
                    doc_.setCell(row, col, QStringLiteral("0"));
        }
        return doc_.pixelsForWriting(slot_);
    }

    // Progressive display: the window is repainted at clear codes at most
    // once per display interval, so a file with many clear codes does not
    // spend its load time redrawing.
    void partial(size_t) override
    {
        if (!sinceShow_.isValid() || sinceShow_.elapsed() >= options_.displayIntervalMs) {
            doc_.ShowPic(slot_);
            sinceShow_.restart();
            report();
        }
    }

    void endImage() override
    {
        doc_.ShowPic(slot_);
        sinceShow_.restart();
        doc_.endFrame();
    }

    void warning(const GifWarning &w) override
    {
        // A skipped image took the control blocks before it along: the next
        // image does not inherit their cells.
        if (w.kind == GifWarningKind::EmptyImage)
            clearNextRow();
        warnings << warningText(w, firstFrame_ + w.image);
    }

    // The percentage text changes at most a hundred times a file; building
    // it only then keeps byte-by-byte skipping cheap.
    void progress(size_t bytesRead, size_t fileSize) override
    {
        bytesRead_ = bytesRead;
        fileSize_ = fileSize;
        report();
        const int percent = fileSize ? int((uint64_t(bytesRead) + 1) * 100 / fileSize) : 100;
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        doc_.setStatusText(QStringLiteral("読み込み中 (") + path_ + QLatin1Char(' ') + QString::number(percent) +
                           QStringLiteral("%)"));
    }

  private:
    // The cells the control blocks wrote for an image that is not kept.
    void clearNextRow()
    {
        const int row = doc_.picCount() + 1;
        if (row < doc_.grid().Rows())
            for (int col = PropertyGrid::ColTransparent; col <= PropertyGrid::ColDisposal; ++col)
                doc_.setCell(row, col, QString());
    }

    void report()
    {
        if (options_.progress && !stopped_)
            stopped_ = !options_.progress(
                {bytesRead_, fileSize_, doc_.picCount() - firstFrame_ + (doc_.hasStagedFrame() ? 1 : 0)});
    }

    Document &doc_;
    const QString path_;
    const OpenGifOptions options_;
    const int firstFrame_;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int globalCount_ = 0;
    ColorTable global_{};
    int slot_ = -1;
    int lastPercent_ = -1;
    QElapsedTimer sinceShow_;
    size_t bytesRead_ = 0;
    size_t fileSize_ = 0;
    bool stopped_ = false;
};

} // namespace

QString openCancelledText()
{
    return QStringLiteral("読み込みを中止しました");
}

OpenGifResult OpenGif(Document &doc, const QString &path, const OpenGifOptions &options)
{
    // Every frame, grid cell and global value the file brings is one
    // undoable step.
    Document::Step step(doc, QStringLiteral("開く"));
    DocumentImport import(doc, path, options);
    GifReadOptions read;
    read.maxImagePixels = options.maxImagePixels;
    read.memoryBudget = options.memoryBudget;
    read.memoryInUse = import.heldBytes();
    Result<void> r = readGif(path, import, read);
    if (import.started)
        doc.setStatusText(QString());
    return {std::move(r), std::move(import.warnings)};
}

} // namespace velmar
