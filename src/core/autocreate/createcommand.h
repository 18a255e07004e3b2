#pragma once

// The Create command of the auto-create dialog, without the dialog: it takes
// the tab index, the dialog's field values keyed by objectName, and the
// Document; checks the fields in a fixed order; resolves colours; runs the
// tab's effect; and deletes base windows where the tab says so.
//
// One descriptor table (tabDescriptors()) drives the eleven tabs: the dialog
// builds its controls from it, the command reads its checks and dispatch
// from it, and the CLI maps short names onto it.
//
// Adding a tab's dispatch: write a function with the TabAction signature
// (it gets the checked, rounded values in CreateArgs: windows[] in the order
// of the tab's window fields, colours[] in the order of its colour settings,
// count = the frame count as a 16-bit integer, n = the frame count as typed)
// and put its name in the `action` member of the tab's entry in
// createcommand.cpp. The geometric tabs 4, 5, 7 and 8 dispatch to the hooks
// declared at the end of this file (runCubeLoop, runPrismLoop, runGlobe,
// runCardTurn), which live in create_geometric.cpp; the checks of those tabs
// (windows, colours) are already done by the command before the hook runs.

#include "platform/result.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace velmar
{
class Document;
} // namespace velmar

namespace velmar::autocreate
{

// The dialog's fields, keyed by objectName ("txtSumFraNum_5", "txtDivX",
// "optClrBlack_1", "chkClear_5"). Text boxes hold their text; option buttons
// and check boxes hold "1" (selected / ticked) or "0". A field missing from
// the map counts as holding its initial value (initialFields()).
using FieldValues = QHash<QString, QString>;

enum class FieldKind { Text, Option, Check };

// One control of a tab.
struct FieldSpec {
    QString objectName; // with "_<tab + 1>" for the controls that exist per tab
    FieldKind kind = FieldKind::Text;
    QString label;       // the label beside a text box, or the caption of an option / check box
    QString initial;     // initial text; "1" or "0" for options and check boxes
    QString group;       // options of one group share this name (e.g. "clr_1"); empty otherwise
    bool detail = false; // lies in the detail area shown by "詳細 >>"
};

// A colour setting: a black (or white) option and a palette-number field.
struct ColourSetting {
    QString presetOption;  // objectName of the black/white option
    QString paletteField;  // objectName of the palette-number text box
    int presetRgb = 0;     // 0 for black, 255 for white (all three channels)
    int paletteWindow = 0; // index into the tab's window fields whose palette is searched
    QString notNumeric;    // message M1
    QString outOfRange;    // message M2
};

// The checked values handed to a tab's action.
struct CreateArgs {
    double n = 0;                 // frame count as typed (the cube and prism loops use it)
    int count = 0;                // nearest(n), the 16-bit frame count of the effects
    std::array<int, 3> windows{}; // rounded window numbers, in the order of windowFields
    std::array<int, 2> colours{}; // resolved palette indices, in the order of colours
    int width = 0;                // tab 6: the view width
    int divX = 0, divY = 0;       // tab 0: the division counts
};

// Runs a tab's effect on checked values. Succeeds when every frame was added,
// otherwise fails with the reason it stopped (frames added so far stay).
using TabAction = Result<> (*)(Document &doc, const CreateArgs &args);

// Tab-specific checks beyond windows and colours (division counts, width,
// equal window sizes). Fails with the message of the failed check; fills its
// values into args.
using TabCheck = Result<> (*)(const Document &doc, const FieldValues &fields, CreateArgs &args);

enum class DeleteRule {
    None,              // tabs 0, 1, 3, 9
    SecondIfDifferent, // tabs 2, 10: the second window when it differs from the first
    BaseIfChecked,     // tabs 6, 7, 8: the base window when chkClear is ticked
    ThreeIfChecked,    // tabs 4, 5: each distinct window of three when chkClear is ticked
};

// An option group of the detail area: its name (FieldSpec::group) and the
// caption of its panel.
struct OptionGroup {
    QString name;
    QString title;
};

struct TabDescriptor {
    int index = 0;
    QString caption;
    std::vector<FieldSpec> fields; // every control of the tab, in display order
    // The detail panels; a tab without any shows "詳細設定項目はありません".
    std::vector<OptionGroup> groups;
    QString countField;       // txtSumFraNum_<index + 1>
    QStringList windowFields; // window-number fields, checked in this order
    TabCheck check = nullptr; // runs before the colour settings
    std::vector<ColourSetting> colours;
    TabAction action = nullptr;
    DeleteRule deleteRule = DeleteRule::None;
    QString clearCheck; // chkClear_<index + 1> for the rules that need it
    // Frames the action adds for a frame count n (typed value), so that the
    // command can refuse counts that would run past the last frame number.
    int (*framesAdded)(double n) = nullptr;
};

inline constexpr int kTabCount = 11;

// The eleven tabs, index 0 to 10.
const std::vector<TabDescriptor> &tabDescriptors();

// Every field of the tab at its initial value.
FieldValues initialFields(int tab);

// Sets one field of a tab by objectName or by its name without the index
// ("txtSumFraNum" for "txtSumFraNum_5"). Choosing an option ("1") clears the
// other options of its group. Returns false when the tab has no such field.
bool setField(int tab, FieldValues &fields, const QString &name, const QString &value);

// The Create command for tab `tab` (0 to 10). On failure, error() is the
// message to show in the "確認" box. A failed check changes nothing. The
// deletion step of tabs 4 and 5 writes the lowered window numbers back into
// `fields`, as the dialog shows them afterwards.
Result<> Create(Document &doc, int tab, FieldValues &fields);

// The frames the Create command of a tab would add for the fields' frame
// count (before any deletion), for a progress display; 0 when the count is
// not one the command takes.
int framesToAdd(int tab, const FieldValues &fields);

// The deletion step after a successful action, on the rounded window numbers.
void deleteBaseWindows(Document &doc, const TabDescriptor &tab, const CreateArgs &args, FieldValues &fields);

// Messages shared by several checks.
QString msgNoFrame();    // "基本ｳｨﾝﾄﾞｳ(GIFﾌｧｲﾙ)を開いて下さい。"
QString msgCount();      // "コマ数を正しく入力して下さい。"
QString msgCountRange(); // "コマ数を正しく入力して下さい。(2-30)"
QString msgParameter();  // "パラメーターに誤りがあります。"

// --- Hooks of the geometric tabs (create_geometric.cpp) -------------------
// Tab 4: the cube loop (windows A, B, C; colours background, border).
Result<> runCubeLoop(Document &doc, const CreateArgs &args);
// Tab 5: the prism loop (windows D, E, F; colours background, border).
Result<> runPrismLoop(Document &doc, const CreateArgs &args);
// Tab 7: autoGlobe (window base; colour background).
Result<> runGlobe(Document &doc, const CreateArgs &args);
// Tab 8: autoCardTurn (window base; colour thickness).
Result<> runCardTurn(Document &doc, const CreateArgs &args);
// Frames added by the cube / prism loop for a typed count n (the loops step
// an angle by repeated addition, so a fractional n gives its own count).
// The angles of the cube's frames (half a turn in n steps) and the prism's
// (a third of a turn per face in n steps, one whole turn).
std::vector<double> cubeAngles(double n);
std::vector<double> prismAngles(double n);
int cubeFramesAdded(double n);
int prismFramesAdded(double n);
// Tab checks of the globe and the coin: a globe needs a base of at least
// 3 x 2 pixels, a coin one at least 2 pixels wide (a narrower base gives no
// axis to turn about); otherwise they fail with msgParameter().
Result<> checkGlobeSize(const Document &doc, const FieldValues &fields, CreateArgs &args);
Result<> checkCardTurnSize(const Document &doc, const FieldValues &fields, CreateArgs &args);

} // namespace velmar::autocreate
