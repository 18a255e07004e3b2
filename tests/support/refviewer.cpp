#include "support/refviewer.h"

#include <QFile>

#include <gif_lib.h>

#include <algorithm>
#include <memory>

namespace velmar::test
{
namespace
{

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// Draws image i at its position, clipped to the screen. Returns false when a
// pixel that is drawn names no entry of the image's table: viewers disagree
// on such pixels (black, transparent, the last entry), so no answer is right.
bool drawImage(const GifFileType &gif, int i, int transparent, std::vector<uint8_t> &canvas)
{
    const SavedImage &img = gif.SavedImages[i];
    const GifImageDesc &d = img.ImageDesc;
    const ColorMapObject &map = d.ColorMap ? *d.ColorMap : *gif.SColorMap;
    const int x0 = std::max(0, d.Left), x1 = std::min(gif.SWidth, d.Left + d.Width);
    const int y0 = std::max(0, d.Top), y1 = std::min(gif.SHeight, d.Top + d.Height);
    for (int y = y0; y < y1; ++y) {
        const GifByteType *row = img.RasterBits + size_t(y - d.Top) * size_t(d.Width);
        for (int x = x0; x < x1; ++x) {
            const int index = row[x - d.Left];
            if (index == transparent)
                continue;
            if (index >= map.ColorCount)
                return false;
            const GifColorType &c = map.Colors[index];
            uint8_t *p = &canvas[(size_t(y) * size_t(gif.SWidth) + size_t(x)) * 4];
            p[0] = c.Red;
            p[1] = c.Green;
            p[2] = c.Blue;
            p[3] = 255;
        }
    }
    return true;
}

void clearRect(const GifFileType &gif, const GifImageDesc &d, std::vector<uint8_t> &canvas)
{
    const int x0 = std::max(0, d.Left), x1 = std::min(gif.SWidth, d.Left + d.Width);
    const int y0 = std::max(0, d.Top), y1 = std::min(gif.SHeight, d.Top + d.Height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            std::fill_n(&canvas[(size_t(y) * size_t(gif.SWidth) + size_t(x)) * 4], 4, uint8_t(0));
}

} // namespace

ViewerResult viewGif(const QString &path, size_t pixelLimit)
{
    ViewerResult out;
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpenFileName(QFile::encodeName(path).constData(), &error));
    if (!gif || DGifSlurp(gif.get()) != GIF_OK) {
        out.unusable = QStringLiteral("giflib refuses it");
        return out;
    }
    const size_t screen = size_t(gif->SWidth) * size_t(gif->SHeight);
    if (screen * size_t(gif->ImageCount) > pixelLimit) {
        out.unusable = QStringLiteral("larger than the test's limit");
        return out;
    }
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    // The first frame is drawn over a fully transparent screen; the
    // background colour of the screen descriptor is not used, as in the
    // viewers of today.
    std::vector<uint8_t> canvas(screen * 4, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &img = gif->SavedImages[i];
        // More than one control block before an image is against the format,
        // but some encoders write them, and viewers obey the last one.
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        for (int e = 0; e < img.ExtensionBlockCount; ++e)
            if (img.ExtensionBlocks[e].Function == GRAPHICS_EXT_FUNC_CODE)
                DGifExtensionToGCB(size_t(img.ExtensionBlocks[e].ByteCount), img.ExtensionBlocks[e].Bytes, &gcb);
        const GifImageDesc &d = img.ImageDesc;
        if (!d.ColorMap && !gif->SColorMap) {
            out.unusable = QStringLiteral("an image without a colour table");
            return out;
        }
        const std::vector<uint8_t> before = canvas;
        if (!drawImage(*gif, i, gcb.TransparentColor, canvas)) {
            out.unusable = QStringLiteral("a pixel beyond its colour table");
            return out;
        }
        out.frames.push_back({canvas, gcb.DelayTime});
        // Disposal takes effect once the frame has been shown: 2 clears the
        // frame's rectangle, 3 puts back what was under it; 0, 1 and the
        // undefined 4 to 7 leave it.
        if (gcb.DisposalMode == DISPOSE_BACKGROUND)
            clearRect(*gif, d, canvas);
        else if (gcb.DisposalMode == DISPOSE_PREVIOUS)
            canvas = before;
    }
    return out;
}

long long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b, bool opaqueOnly)
{
    if (a.size() != b.size())
        return 0;
    for (size_t p = 0; p + 3 < a.size(); p += 4) {
        if (a[p + 3] == 0 && (opaqueOnly || b[p + 3] == 0))
            continue;
        if (!std::equal(&a[p], &a[p] + 4, &b[p]))
            return (long long)(p / 4);
    }
    return -1;
}

ViewerResult cropView(const ViewerResult &view, int w, int h)
{
    ViewerResult out;
    out.unusable = view.unusable;
    out.width = w;
    out.height = h;
    for (const ViewerFrame &f : view.frames) {
        ViewerFrame c;
        c.delay = f.delay;
        c.rgba.resize(size_t(w) * size_t(h) * 4);
        for (size_t y = 0; y < size_t(h); ++y)
            std::copy_n(&f.rgba[y * size_t(view.width) * 4], size_t(w) * 4, &c.rgba[y * size_t(w) * 4]);
        out.frames.push_back(std::move(c));
    }
    return out;
}

} // namespace velmar::test
