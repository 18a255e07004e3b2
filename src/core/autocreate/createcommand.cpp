#include "autocreate/createcommand.h"
#include "platform/angles.h"

#include "document/document.h"
#include "effects/effects.h"
#include "platform/numeric.h"
#include "platform/palette.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace velmar::autocreate
{

QString msgNoFrame()
{
    return QStringLiteral("基本ｳｨﾝﾄﾞｳ(GIFﾌｧｲﾙ)を開いて下さい。");
}
QString msgCount()
{
    return QStringLiteral("コマ数を正しく入力して下さい。");
}
QString msgCountRange()
{
    return QStringLiteral("コマ数を正しく入力して下さい。(2-30)");
}
QString msgParameter()
{
    return QStringLiteral("パラメーターに誤りがあります。");
}

// The angles are summed step by step, not multiplied out, and each loop ends
// at a bound a hundred-thousandth below its last turn: the last angle the
// additions reach lies a rounding error either side of the turn, and the
// bound keeps the frame that would show the first picture again out of the
// loop whichever side it falls. Both the effects and the frame counts of the
// dialog come from here, so they cannot disagree.
namespace
{
constexpr double kCubeLastAngle = 3.14158265358979;  // half a turn, less 1e-5
constexpr double kPrismLastAngle = 6.28317530717958; // a whole turn, less 1e-5

std::vector<double> anglesUpTo(double step, double last)
{
    std::vector<double> angles;
    for (double theta = 0; theta <= last; theta += step)
        angles.push_back(theta);
    return angles;
}
} // namespace

std::vector<double> cubeAngles(double n)
{
    return anglesUpTo(kPi / n, kCubeLastAngle);
}

std::vector<double> prismAngles(double n)
{
    return anglesUpTo((kTwoPi / 3) / n, kPrismLastAngle);
}

int cubeFramesAdded(double n)
{
    return int(cubeAngles(n).size());
}

int prismFramesAdded(double n)
{
    return int(prismAngles(n).size());
}

namespace
{

// --- Field texts and messages --------------------------------------------

const QString kCountLabel = QStringLiteral("コマ数");
const QString kBaseLabel = QStringLiteral("基準ｳｨﾝﾄﾞｳ");
const QString kPaletteCaption = QStringLiteral("パレット番号を指定");
const QString kBlackCaption = QStringLiteral("黒色");
const QString kWhiteCaption = QStringLiteral("白色");
const QString kClearCaption = QStringLiteral("基本ｳｨﾝﾄﾞｳを削除する");

QString indexed(const char *name, int controlIndex)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(controlIndex);
}

FieldSpec text(QString objectName, QString label, QString initial, bool detail = false)
{
    return FieldSpec{std::move(objectName), FieldKind::Text, std::move(label), std::move(initial), QString(), detail};
}

FieldSpec option(QString objectName, QString caption, QString group, bool selected)
{
    return FieldSpec{std::move(objectName), FieldKind::Option,
                     std::move(caption),    selected ? QStringLiteral("1") : QStringLiteral("0"),
                     std::move(group),      true};
}

FieldSpec check(QString objectName, QString caption, bool ticked)
{
    return FieldSpec{std::move(objectName),
                     FieldKind::Check,
                     std::move(caption),
                     ticked ? QStringLiteral("1") : QStringLiteral("0"),
                     QString(),
                     false};
}

// The value of a field as the dialog holds it: the given text, or the
// field's initial text when the caller did not give it.
QString fieldValue(const TabDescriptor &tab, const FieldValues &fields, const QString &name)
{
    const auto it = fields.constFind(name);
    if (it != fields.constEnd())
        return it.value();
    for (const FieldSpec &f : tab.fields)
        if (f.objectName == name)
            return f.initial;
    return QString();
}

bool isOn(const TabDescriptor &tab, const FieldValues &fields, const QString &name)
{
    return fieldValue(tab, fields, name) == QLatin1String("1");
}

// --- Tab checks -------------------------------------------------------------

// Tab 0: the division counts. Only 0 is refused by the comparison itself;
// negative counts and more tiles than pixels have no tiling of the picture
// (and huge counts overflow the tile table), so they are refused too.
Result<> checkDivisions(const Document &doc, const FieldValues &fields, CreateArgs &args)
{
    const TabDescriptor &tab = tabDescriptors()[0];
    const std::optional<double> x = parseNumber(fieldValue(tab, fields, QStringLiteral("txtDivX")));
    const std::optional<double> y = parseNumber(fieldValue(tab, fields, QStringLiteral("txtDivY")));
    if (!x || !y || *x == 0 || *y == 0)
        return fail(msgParameter());
    const std::optional<int32_t> tx = toInt32(*x);
    const std::optional<int32_t> ty = toInt32(*y);
    if (!tx || !ty || *tx < 0 || *ty < 0)
        return fail(msgParameter());
    const PicInfo &base = doc.pic(args.windows[0]);
    const int64_t across = *tx == 0 ? base.lWidth : *tx;
    const int64_t down = *ty == 0 ? base.lHeight : *ty;
    if (across * down > int64_t(base.pixelCount()))
        return fail(msgParameter());
    args.divX = *tx;
    args.divY = *ty;
    return {};
}

// Tab 6: the view width, the base window's own or a typed one within it.
Result<> checkWidth(const Document &doc, const FieldValues &fields, CreateArgs &args)
{
    const TabDescriptor &tab = tabDescriptors()[6];
    const int baseWidth = doc.pic(args.windows[0]).lWidth;
    if (isOn(tab, fields, QStringLiteral("optYokohabaKijun_7"))) {
        args.width = baseWidth;
        return {};
    }
    const std::optional<double> v = parseNumber(fieldValue(tab, fields, QStringLiteral("txtYokohaba_7")));
    if (!v)
        return fail(QStringLiteral("横幅に誤りがあります。"));
    // The message names 0-255 whatever the frame's width; it is kept as users know it.
    if (*v < 1 || *v > baseWidth)
        return fail(QStringLiteral("横幅に誤りがあります。(0-255)"));
    args.width = int(roundHalfEven(*v));
    return {};
}

// Tabs 2 and 10 read the second window with the first one's size.
Result<> checkSameSize(const Document &doc, const FieldValues &, CreateArgs &args)
{
    const PicInfo &a = doc.pic(args.windows[0]);
    const PicInfo &b = doc.pic(args.windows[1]);
    if (a.lWidth != b.lWidth || a.lHeight != b.lHeight)
        return fail(msgParameter());
    return {};
}

// --- Actions ----------------------------------------------------------------

Result<> runTileErase(Document &doc, const CreateArgs &a)
{
    return autoTileErase(doc, a.divX, a.divY, a.count, a.windows[0], a.colours[0]);
}
Result<> runFade(Document &doc, const CreateArgs &a)
{
    return autoTileErase(doc, 0, 0, a.count, a.windows[0], a.colours[0]);
}
Result<> runFromTo(Document &doc, const CreateArgs &a)
{
    return autoFromTo(doc, a.windows[0], a.windows[1], a.count);
}
Result<> runMosaic(Document &doc, const CreateArgs &a)
{
    return autoMosaic(doc, a.windows[0], a.count);
}
Result<> runTicker(Document &doc, const CreateArgs &a)
{
    return autoTicker(doc, a.windows[0], a.count, a.width);
}
Result<> runRotate(Document &doc, const CreateArgs &a)
{
    return autoRotate(doc, a.windows[0], a.count, a.colours[0]);
}
Result<> runSlideDown(Document &doc, const CreateArgs &a)
{
    return autoSlideDown(doc, a.windows[0], a.windows[1], a.count);
}

// --- Frames added per tab, for the frame-number limit ----------------------

int rounded(double n)
{
    return int(roundHalfEven(n));
}
int eraseFrames(double n)
{
    return 2 * rounded(n) - 1;
}
int mosaicFrames(double n)
{
    return 2 * rounded(n) - 3;
}
int oneEachFrames(double n)
{
    return rounded(n);
}
int rotateFrames(double n)
{
    return rounded(n) - 1;
}
int slideFrames(double n)
{
    return rounded(n) >= 3 ? rounded(n) - 1 : 0;
}

// --- The table --------------------------------------------------------------

// A tab with one base window (the count and base fields come first).
std::vector<FieldSpec> countAndBase(int ci, const QString &countInitial)
{
    return {text(indexed("txtSumFraNum", ci), kCountLabel, countInitial),
            text(indexed("txtMasterWindow", ci), kBaseLabel, QStringLiteral("0"))};
}

// A colour setting with its two options and palette field, added to fields.
ColourSetting colourSetting(std::vector<FieldSpec> &fields, std::vector<OptionGroup> &groups, int ci,
                            const char *presetName, bool white, const char *palOptName, const char *palFieldName,
                            const char *groupName, const QString &groupTitle, const QString &what)
{
    const QString group = indexed(groupName, ci);
    groups.push_back({group, groupTitle});
    const QString preset = indexed(presetName, ci);
    const QString field = indexed(palFieldName, ci);
    fields.push_back(option(preset, white ? kWhiteCaption : kBlackCaption, group, true));
    fields.push_back(option(indexed(palOptName, ci), kPaletteCaption, group, false));
    fields.push_back(text(field, QString(), QStringLiteral("0"), true));
    return ColourSetting{preset,
                         field,
                         white ? 255 : 0,
                         0,
                         what + QStringLiteral("に誤りがあります。"),
                         what + QStringLiteral("に誤りがあります。(0-255)")};
}

std::vector<TabDescriptor> buildTabs()
{
    std::vector<TabDescriptor> tabs(kTabCount);
    for (int t = 0; t < kTabCount; ++t) {
        tabs[size_t(t)].index = t;
        tabs[size_t(t)].countField = indexed("txtSumFraNum", t + 1);
    }

    auto singleBase = [&](int t, const char *caption, const char *countInitial) -> TabDescriptor & {
        TabDescriptor &d = tabs[size_t(t)];
        d.caption = QString::fromUtf8(caption);
        d.fields = countAndBase(t + 1, QString::fromUtf8(countInitial));
        d.windowFields = {indexed("txtMasterWindow", t + 1)};
        return d;
    };
    auto addClear = [](TabDescriptor &d, DeleteRule rule) {
        d.clearCheck = indexed("chkClear", d.index + 1);
        d.fields.push_back(check(d.clearCheck, kClearCaption, true));
        d.deleteRule = rule;
    };

    {
        TabDescriptor &d = singleBase(0, "角抜き消去", "5");
        d.fields.push_back(text(QStringLiteral("txtDivX"), QStringLiteral("横の分割数"), QStringLiteral("10")));
        d.fields.push_back(text(QStringLiteral("txtDivY"), QStringLiteral("縦の分割数"), QStringLiteral("10")));
        d.check = checkDivisions;
        d.colours.push_back(colourSetting(d.fields, d.groups, 1, "optClrBlack", false, "optClrPalette", "txtClrPal",
                                          "grpClr", QStringLiteral("消去色の指定"), QStringLiteral("消去色")));
        d.action = runTileErase;
        d.framesAdded = eraseFrames;
    }
    {
        TabDescriptor &d = singleBase(1, "フェード", "5");
        d.colours.push_back(colourSetting(d.fields, d.groups, 2, "optClrBlack", false, "optClrPalette", "txtClrPal",
                                          "grpClr", QStringLiteral("消去色の指定"), QStringLiteral("消去色")));
        d.action = runFade;
        d.framesAdded = eraseFrames;
    }
    {
        TabDescriptor &d = tabs[2];
        d.caption = QStringLiteral("切り替え");
        d.fields = {text(indexed("txtSumFraNum", 3), kCountLabel, QStringLiteral("5")),
                    text(QStringLiteral("txtFromWinNo"), QStringLiteral("基本ｳｨﾝﾄﾞｳ１"), QStringLiteral("0")),
                    text(QStringLiteral("txtToWinNo"), QStringLiteral("基本ｳｨﾝﾄﾞｳ２"), QStringLiteral("1"))};
        d.windowFields = {QStringLiteral("txtFromWinNo"), QStringLiteral("txtToWinNo")};
        d.check = checkSameSize;
        d.action = runFromTo;
        d.deleteRule = DeleteRule::SecondIfDifferent;
        d.framesAdded = eraseFrames;
    }
    {
        TabDescriptor &d = singleBase(3, "暈かし", "5");
        d.action = runMosaic;
        d.framesAdded = mosaicFrames;
    }
    // The cube and the prism: three windows, a background and a border colour,
    // both looked up in the first window's palette.
    auto threeWindows = [&](int t, const char *caption, const char *wa, const char *wb, const char *wc,
                            TabAction action, int (*frames)(double)) {
        TabDescriptor &d = tabs[size_t(t)];
        const int ci = t + 1;
        d.caption = QString::fromUtf8(caption);
        d.fields = {text(indexed("txtSumFraNum", ci), kCountLabel, QStringLiteral("5")),
                    text(QLatin1String(wa), QStringLiteral("基準ｳｨﾝﾄﾞｳA"), QStringLiteral("0")),
                    text(QLatin1String(wb), QStringLiteral("基準ｳｨﾝﾄﾞｳB"), QStringLiteral("0")),
                    text(QLatin1String(wc), QStringLiteral("基準ｳｨﾝﾄﾞｳC"), QStringLiteral("0"))};
        d.windowFields = {QLatin1String(wa), QLatin1String(wb), QLatin1String(wc)};
        d.colours.push_back(colourSetting(d.fields, d.groups, ci, "optBackWhite", true, "optBackPal", "txtBackPal",
                                          "grpBack", QStringLiteral("背景色"), QStringLiteral("背景色")));
        d.colours.push_back(colourSetting(d.fields, d.groups, ci, "optHuchiBlack", false, "optHuchiPal", "txtHuchiPal",
                                          "grpHuchi", QStringLiteral("縁取りの色"), QStringLiteral("縁取り色")));
        addClear(d, DeleteRule::ThreeIfChecked);
        d.action = action;
        d.framesAdded = frames;
    };
    threeWindows(4, "回転立方体", "txtMasWinA", "txtMasWinB", "txtMasWinC", runCubeLoop, cubeFramesAdded);
    threeWindows(5, "回転三角柱", "txtMasWinD", "txtMasWinE", "txtMasWinF", runPrismLoop, prismFramesAdded);
    {
        TabDescriptor &d = singleBase(6, "左方移動", "5");
        const QString group = indexed("grpYokohaba", 7);
        d.groups.push_back({group, QStringLiteral("横幅の指定")});
        d.fields.push_back(option(indexed("optYokohabaKijun", 7), QStringLiteral("基本ｳｨﾝﾄﾞｳに合わせる"), group, true));
        d.fields.push_back(option(indexed("optYokohabaShitei", 7), QStringLiteral("横幅を指定する"), group, false));
        d.fields.push_back(text(indexed("txtYokohaba", 7), QString(), QStringLiteral("0"), true));
        addClear(d, DeleteRule::BaseIfChecked);
        d.check = checkWidth;
        d.action = runTicker;
        d.framesAdded = oneEachFrames;
    }
    {
        TabDescriptor &d = singleBase(7, "回転球", "5");
        d.colours.push_back(colourSetting(d.fields, d.groups, 8, "optBackBlack", false, "optBackPal", "txtBackPal",
                                          "grpBack", QStringLiteral("背景色の指定"), QStringLiteral("背景色")));
        addClear(d, DeleteRule::BaseIfChecked);
        d.check = checkGlobeSize;
        d.action = runGlobe;
        d.framesAdded = oneEachFrames;
    }
    {
        TabDescriptor &d = singleBase(8, "回るコイン", "12");
        d.colours.push_back(colourSetting(d.fields, d.groups, 9, "optAtsusaBlack", false, "optAtsusaPal",
                                          "txtAtsusaPal", "grpAtsusa", QStringLiteral("厚さ部分の色"),
                                          QStringLiteral("厚さ部分の色")));
        addClear(d, DeleteRule::BaseIfChecked);
        d.check = checkCardTurnSize;
        d.action = runCardTurn;
        d.framesAdded = oneEachFrames;
    }
    {
        TabDescriptor &d = singleBase(9, "平面回転", "8");
        d.colours.push_back(colourSetting(d.fields, d.groups, 10, "optBackBlack", false, "optBackPal", "txtBackPal",
                                          "grpBack", QStringLiteral("背景色の指定"), QStringLiteral("背景色")));
        d.action = runRotate;
        d.framesAdded = rotateFrames;
    }
    {
        TabDescriptor &d = tabs[10];
        d.caption = QStringLiteral("押し出し");
        d.fields = {text(indexed("txtSumFraNum", 11), kCountLabel, QStringLiteral("5")),
                    text(indexed("txtMasterWindow1", 11), QStringLiteral("基本ｳｨﾝﾄﾞｳ１"), QStringLiteral("0")),
                    text(indexed("txtMasterWindow2", 11), QStringLiteral("基本ｳｨﾝﾄﾞｳ２"), QStringLiteral("1"))};
        d.windowFields = {indexed("txtMasterWindow1", 11), indexed("txtMasterWindow2", 11)};
        d.check = checkSameSize;
        d.action = runSlideDown;
        d.deleteRule = DeleteRule::SecondIfDifferent;
        d.framesAdded = slideFrames;
    }
    return tabs;
}

// The name of a control without its "_<index>" suffix.
QString baseName(const QString &objectName)
{
    const int us = objectName.lastIndexOf(QLatin1Char('_'));
    if (us < 0)
        return objectName;
    bool digits = false;
    objectName.mid(us + 1).toInt(&digits);
    return digits ? objectName.left(us) : objectName;
}

} // namespace

const std::vector<TabDescriptor> &tabDescriptors()
{
    static const std::vector<TabDescriptor> tabs = buildTabs();
    return tabs;
}

FieldValues initialFields(int tab)
{
    FieldValues values;
    if (tab < 0 || tab >= kTabCount)
        return values;
    for (const FieldSpec &f : tabDescriptors()[size_t(tab)].fields)
        values.insert(f.objectName, f.initial);
    return values;
}

bool setField(int tab, FieldValues &fields, const QString &name, const QString &value)
{
    if (tab < 0 || tab >= kTabCount)
        return false;
    const TabDescriptor &d = tabDescriptors()[size_t(tab)];
    for (const FieldSpec &f : d.fields) {
        if (f.objectName != name && baseName(f.objectName) != name)
            continue;
        fields.insert(f.objectName, value);
        if (f.kind == FieldKind::Option && value == QLatin1String("1"))
            for (const FieldSpec &other : d.fields)
                if (other.kind == FieldKind::Option && other.group == f.group && other.objectName != f.objectName)
                    fields.insert(other.objectName, QStringLiteral("0"));
        return true;
    }
    return false;
}

void deleteBaseWindows(Document &doc, const TabDescriptor &tab, const CreateArgs &args, FieldValues &fields)
{
    switch (tab.deleteRule) {
    case DeleteRule::None:
        return;
    case DeleteRule::SecondIfDifferent:
        // The effect ended its sequence with a copy of the second window.
        if (args.windows[1] != args.windows[0])
            doc.delPic(args.windows[1]);
        return;
    case DeleteRule::BaseIfChecked:
        if (isOn(tab, fields, tab.clearCheck))
            doc.delPic(args.windows[0]);
        return;
    case DeleteRule::ThreeIfChecked: {
        if (!isOn(tab, fields, tab.clearCheck))
            return;
        // Each distinct window is deleted once; a deletion renumbers the
        // frames behind it, so the later numbers come down with it and the
        // fields show the lowered numbers afterwards.
        const int a = args.windows[0];
        int b = args.windows[1];
        int c = args.windows[2];
        auto lower = [&](int &w, int field) {
            --w;
            fields.insert(tab.windowFields[field], numberText(w));
        };
        doc.delPic(a);
        const bool bDiffers = b != a;
        if (bDiffers) {
            if (b > a)
                lower(b, 1);
            doc.delPic(b);
        }
        if (c == a)
            return;
        if (c > a)
            lower(c, 2);
        if (bDiffers) {
            if (c == b)
                return;
            if (c > b)
                lower(c, 2);
        }
        doc.delPic(c);
        return;
    }
    }
}

int framesToAdd(int tabIndex, const FieldValues &fields)
{
    if (tabIndex < 0 || tabIndex >= kTabCount)
        return 0;
    const TabDescriptor &tab = tabDescriptors()[size_t(tabIndex)];
    const std::optional<double> n = parseNumber(fieldValue(tab, fields, tab.countField));
    if (!n || *n <= 1 || *n > 30)
        return 0;
    return std::max(tab.framesAdded(*n), 0);
}

Result<> Create(Document &doc, int tabIndex, FieldValues &fields)
{
    if (tabIndex < 0 || tabIndex >= kTabCount)
        return fail(msgParameter());
    const TabDescriptor &tab = tabDescriptors()[size_t(tabIndex)];
    // Every frame the effect adds, every base window it deletes and the
    // canvas change are one undo step.
    Document::Step step(doc, QStringLiteral("自動作成"));

    if (doc.picCount() == 0)
        return fail(msgNoFrame());

    const std::optional<double> n = parseNumber(fieldValue(tab, fields, tab.countField));
    if (!n)
        return fail(msgCount());
    if (*n <= 1 || *n > 30)
        return fail(msgCountRange());

    CreateArgs args;
    args.n = *n;
    args.count = int(roundHalfEven(*n));
    // Window numbers are taken to the nearest integer first, and that number
    // must name a frame: a typed 2.6 would otherwise pass with three frames,
    // and a negative one names no slot at all.
    for (int k = 0; k < tab.windowFields.size(); ++k) {
        const std::optional<double> w = parseNumber(fieldValue(tab, fields, tab.windowFields[k]));
        if (!w)
            return fail(msgParameter());
        const double r = roundHalfEven(*w);
        if (!(r >= 0 && r < doc.picCount()))
            return fail(msgParameter());
        args.windows[size_t(k)] = int(r);
    }
    // Frame numbers are 16-bit: refuse a count whose frames would not fit.
    if (int64_t(doc.picCount()) + tab.framesAdded(*n) > doc.frameLimit())
        return fail(msgParameter());

    if (tab.check) {
        Result<> checked = tab.check(doc, fields, args);
        if (!checked)
            return checked;
    }
    for (size_t k = 0; k < tab.colours.size(); ++k) {
        const ColourSetting &cs = tab.colours[k];
        if (isOn(tab, fields, cs.presetOption)) {
            const PicInfo &p = doc.pic(args.windows[size_t(cs.paletteWindow)]);
            args.colours[k] = nearestPaletteIndex(p.colors, p.nColors, cs.presetRgb, cs.presetRgb, cs.presetRgb);
            continue;
        }
        const std::optional<double> v = parseNumber(fieldValue(tab, fields, cs.paletteField));
        if (!v)
            return fail(cs.notNumeric);
        if (*v < 0 || *v > 255)
            return fail(cs.outOfRange);
        args.colours[k] = int(roundHalfEven(*v));
    }

    const int before = doc.picCount();
    Result<> done = tab.action(doc, args);
    if (!done)
        return done;
    // A run that added nothing (the push with fewer than three frames) has
    // made no copy of the second window, so deleting it would lose it.
    if (doc.picCount() > before)
        deleteBaseWindows(doc, tab, args, fields);
    return {};
}

} // namespace velmar::autocreate
