#include "frmauto.h"

#include "document/document.h"
#include "platform/numeric.h"
#include "platform/twips.h"
#include "progress.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

// The samples live in the static GUI library; their resource collection has
// to be registered by name before first use.
static void initSampleResources()
{
    Q_INIT_RESOURCE(velmar_samples);
}

namespace velmar
{
namespace
{

using autocreate::FieldKind;
using autocreate::FieldSpec;
using autocreate::TabDescriptor;

// Layout in twips, on a display of 15 twips to the pixel.
constexpr int kClientWidthTwips = 6165;
constexpr int kTabLeftTwips = 120;
constexpr int kTabTopTwips = 120;
constexpr int kTabWidthTwips = 6045;
constexpr int kCollapsedHeightTwips = 4150;
constexpr int kCollapsedTabTwips = 3500;
constexpr int kExpandedHeightTwips = 5600;
constexpr int kExpandedTabTwips = 5000;
constexpr int kTabsPerRow = 6;

// Positions within SSTab1 (its top left, tab rows included, is 0, 0).
constexpr int kFieldLeftPx = 16;
constexpr int kLabelWidthPx = 100;
constexpr int kFieldWidthPx = 50;
constexpr int kRowHeightPx = 22;
constexpr int kRowPitchPx = 26;
constexpr int kPaletteFieldWidthPx = 36;

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The delete option sits lower on the tabs with three window fields.
int clearCheckTopTwips(int tab)
{
    return tab == 4 || tab == 5 ? 3000 : 2760;
}

} // namespace

// --- frmAuto ------------------------------------------------------------------

frmAuto::frmAuto(Document &doc, QWidget *parent) : QWidget(parent, Qt::Dialog), doc_(doc)
{
    initSampleResources();
    setObjectName(QStringLiteral("frmAuto"));
    setWindowTitle(QStringLiteral("自動作成"));
    setAttribute(Qt::WA_DeleteOnClose);
    shown_.fill(-1);

    SSTab1_ = new TwoRowTabWidget(kTabsPerRow, this);
    SSTab1_->setObjectName(QStringLiteral("SSTab1"));
    SSTab1_->setGeometry(twipsRect(kTabLeftTwips, kTabTopTwips, kTabWidthTwips, kCollapsedTabTwips));
    // All tabs first: the height of the tab rows, which the pages' layout
    // needs, depends on how many there are.
    std::vector<QWidget *> pages;
    for (int t = 0; t < autocreate::kTabCount; ++t) {
        pages.push_back(new QWidget);
        pages.back()->setObjectName(QStringLiteral("SSTab1_page%1").arg(t));
        SSTab1_->addTab(pages.back(), autocreate::tabDescriptors()[size_t(t)].caption);
    }
    for (int t = 0; t < autocreate::kTabCount; ++t)
        buildPage(t, pages[size_t(t)]);

    cmdSakusei_ = new QPushButton(QStringLiteral("作成"), this);
    cmdSakusei_->setObjectName(QStringLiteral("cmdSakusei"));
    cmdSakusei_->setGeometry(twipsRect(3600, 2880, 1095, 615));
    cmdSyosai_ = new QPushButton(QStringLiteral("詳細 >>"), this);
    cmdSyosai_->setObjectName(QStringLiteral("cmdSyosai"));
    cmdSyosai_->setGeometry(twipsRect(4920, 2880, 855, 615));
    // Enter in a field must not run an effect.
    for (QPushButton *b : {cmdSakusei_, cmdSyosai_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(cmdSakusei_, &QPushButton::clicked, this, &frmAuto::cmdSakusei_Click);
    connect(cmdSyosai_, &QPushButton::clicked, this, &frmAuto::cmdSyosai_Click);

    // All timers stopped, each with the interval it starts with.
    for (int k = 1; k <= 8; ++k) {
        QTimer *t = new QTimer(this);
        t->setObjectName(QStringLiteral("Timer%1").arg(k));
        for (const autocreate::SampleSet &s : autocreate::sampleSets())
            if (s.timer == k) {
                t->setInterval(s.startInterval);
                break;
            }
        timers_[size_t(k - 1)] = t;
    }
    connect(timers_[0], &QTimer::timeout, this, &frmAuto::Timer1_Timer);
    connect(timers_[1], &QTimer::timeout, this, &frmAuto::Timer2_Timer);
    connect(timers_[2], &QTimer::timeout, this, &frmAuto::Timer3_Timer);
    connect(timers_[3], &QTimer::timeout, this, &frmAuto::Timer4_Timer);
    connect(timers_[4], &QTimer::timeout, this, &frmAuto::Timer5_Timer);
    connect(timers_[5], &QTimer::timeout, this, &frmAuto::Timer6_Timer);
    connect(timers_[6], &QTimer::timeout, this, &frmAuto::Timer7_Timer);
    connect(timers_[7], &QTimer::timeout, this, &frmAuto::Timer8_Timer);
    connect(SSTab1_, &TwoRowTabWidget::currentChanged, this, &frmAuto::SSTab1_Click);
    // From anywhere in the dialog, as in other tabbed dialogs.
    auto stepTab = [this](int by) {
        SSTab1_->setCurrentIndex((SSTab1_->currentIndex() + by + SSTab1_->count()) % SSTab1_->count());
    };
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [stepTab] { stepTab(1); });
    for (const QKeySequence &keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [stepTab] { stepTab(-1); });

    // Load: start the tab in front, collapsed.
    SSTab1_Click(SSTab1_->currentIndex());
    detailsShown_ = false;
    cmdSyosai_->setText(QStringLiteral("詳細 >>"));
    setHeights(kCollapsedHeightTwips, kCollapsedTabTwips);
}

frmAuto::~frmAuto() = default;

void frmAuto::buildPage(int tab, QWidget *page)
{
    const TabDescriptor &d = autocreate::tabDescriptors()[size_t(tab)];
    const int header = SSTab1_->headerHeight();
    // Positions below are in SSTab1's coordinates; the page starts under the
    // tab rows.
    auto place = [&](QWidget *w, const QRect &inTab) { w->setGeometry(inTab.translated(0, -header)); };

    int row = 0;
    for (const FieldSpec &f : d.fields) {
        if (f.detail)
            continue;
        if (f.kind == FieldKind::Text) {
            const int y = header + 8 + row * kRowPitchPx;
            auto *label = new QLabel(f.label, page);
            // One label array over the whole dialog, numbered in tab order.
            label->setObjectName(QStringLiteral("Label1_%1").arg(++labelCount_));
            place(label, QRect(kFieldLeftPx, y, kLabelWidthPx, kRowHeightPx));
            auto *edit = new QLineEdit(f.initial, page);
            edit->setObjectName(f.objectName);
            place(edit, QRect(kFieldLeftPx + kLabelWidthPx, y, kFieldWidthPx, kRowHeightPx));
            label->setBuddy(edit);
            controls_[size_t(tab)].insert(f.objectName, edit);
            ++row;
        } else if (f.kind == FieldKind::Check) {
            auto *check = new QCheckBox(f.label, page);
            check->setObjectName(f.objectName);
            check->setChecked(f.initial == QLatin1String("1"));
            place(check, QRect(kFieldLeftPx, twipsToPixels(clearCheckTopTwips(tab)), 200, kRowHeightPx));
            controls_[size_t(tab)].insert(f.objectName, check);
        }
    }

    const autocreate::SampleSet &s = autocreate::sampleSets()[size_t(tab)];
    auto *box = new PictureBox(page);
    box->setBorder(PictureBox::Border::Styled);
    box->setPictureArea(QSize(s.width, s.height));
    box->setObjectName(QStringLiteral("pic%1").arg(tab + 1));
    const int boxLeft = SSTab1_->width() - 12 - box->width();
    place(box, QRect(QPoint(boxLeft, header + 8), box->size()));
    boxes_[size_t(tab)] = box;

    buildDetails(tab, page);
}

void frmAuto::buildDetails(int tab, QWidget *page)
{
    const TabDescriptor &d = autocreate::tabDescriptors()[size_t(tab)];
    const int header = SSTab1_->headerHeight();
    auto place = [&](QWidget *w, const QRect &inTab) { w->setGeometry(inTab.translated(0, -header)); };

    auto *line = new QFrame(page);
    line->setObjectName(QStringLiteral("Line1_%1").arg(tab + 1));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    place(line, QRect(8, twipsToPixels(3660), SSTab1_->width() - 16, 2));
    detailWidgets_.push_back(line);

    if (d.groups.empty()) {
        auto *panel = new QFrame(page);
        panel->setObjectName(QStringLiteral("picNoDetails_%1").arg(tab + 1));
        place(panel, twipsRect(675, 3840, 4695, 1000));
        auto *label = new QLabel(QStringLiteral("詳細設定項目はありません"), panel);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(panel->rect());
        detailWidgets_.push_back(panel);
        return;
    }

    // One container per option group: a panel beside its title on tabs with
    // one group, titled frames side by side on the tabs with two.
    // Panels are numbered Picture1.. and frames Frame1_1.. over the tabs in order.
    int pictureNumber = 0, frameNumber = 0;
    for (int t = 0; t < tab; ++t) {
        const size_t groups = autocreate::tabDescriptors()[size_t(t)].groups.size();
        if (groups == 1)
            ++pictureNumber;
        else if (groups > 1)
            frameNumber += int(groups);
    }
    const bool framed = d.groups.size() > 1;
    for (size_t g = 0; g < d.groups.size(); ++g) {
        const autocreate::OptionGroup &group = d.groups[g];
        QWidget *box;
        int x0, y0;
        if (framed) {
            auto *frame = new QGroupBox(group.title, page);
            frame->setObjectName(QStringLiteral("Frame1_%1").arg(++frameNumber));
            place(frame, twipsRect(g == 0 ? 360 : 3000, 3720, 2535, 1095));
            box = frame;
            x0 = 8;
            y0 = fontMetrics().height() + 1;
        } else {
            auto *panel = new QFrame(page);
            panel->setObjectName(QStringLiteral("Picture%1").arg(++pictureNumber));
            panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            place(panel, twipsRect(675, 3840, 4695, 1000));
            auto *title = new QLabel(group.title, panel);
            title->setObjectName(QStringLiteral("lblGroup_%1").arg(tab + 1));
            title->setGeometry(8, 6, 96, kRowHeightPx);
            box = panel;
            x0 = 108;
            y0 = 6;
        }
        detailWidgets_.push_back(box);

        // The group's options and the number field that belongs to its last
        // option, in the order of the table.
        std::vector<const FieldSpec *> options;
        const FieldSpec *number = nullptr;
        QString currentGroup;
        for (const FieldSpec &f : d.fields) {
            if (!f.detail)
                continue;
            if (f.kind == FieldKind::Option)
                currentGroup = f.group;
            if (currentGroup != group.name)
                continue;
            if (f.kind == FieldKind::Option)
                options.push_back(&f);
            else if (f.kind == FieldKind::Text)
                number = &f;
        }

        auto *buttons = new QButtonGroup(box);
        std::vector<QRadioButton *> radios;
        for (const FieldSpec *f : options) {
            auto *option = new QRadioButton(f->label, box);
            option->setObjectName(f->objectName);
            buttons->addButton(option);
            option->setChecked(f->initial == QLatin1String("1"));
            controls_[size_t(tab)].insert(f->objectName, option);
            radios.push_back(option);
        }
        // The number goes beside its option where the width allows, else on
        // a line of its own under the option's caption; the rows share the
        // height that is left.
        const int lastWidth = radios.empty() ? 0 : radios.back()->sizeHint().width();
        const bool beside = x0 + lastWidth + 6 + kPaletteFieldWidthPx <= box->width() - 6;
        const int rows = int(radios.size()) + (number && !beside ? 1 : 0);
        const int pitch = rows > 0 ? std::min(kRowPitchPx + 2, (box->height() - 3 - y0) / rows) : kRowPitchPx;
        const int rowHeight = std::min(kRowHeightPx, pitch);
        for (size_t k = 0; k < radios.size(); ++k)
            radios[k]->setGeometry(x0, y0 + int(k) * pitch, radios[k]->sizeHint().width(), rowHeight);
        if (number) {
            auto *edit = new QLineEdit(number->initial, box);
            edit->setObjectName(number->objectName);
            const int lastRow = int(radios.size()) - 1;
            if (beside)
                edit->setGeometry(x0 + lastWidth + 6, y0 + lastRow * pitch, kPaletteFieldWidthPx, rowHeight);
            else
                edit->setGeometry(x0 + 20, y0 + (lastRow + 1) * pitch, kPaletteFieldWidthPx, rowHeight);
            controls_[size_t(tab)].insert(number->objectName, edit);
        }
    }
}

// --- Activation, tabs, details --------------------------------------------

void frmAuto::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmAuto::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window frame is known once the window is shown; the heights count it.
    setHeights(heightTwips_, tabHeightTwips_);
    // First shown over the middle of the main window, clear of its menus.
    if (!placed_ && parentWidget()) {
        placed_ = true;
        const QWidget *main = parentWidget()->window();
        move(main->geometry().center() - QPoint(width() / 2, height() / 2));
    }
}

void frmAuto::Form_Activate()
{
    if (auto *base = qobject_cast<QLineEdit *>(controls_[0].value(QStringLiteral("txtMasterWindow_1"))))
        base->setText(numberText(doc_.curPic()));
}

void frmAuto::SSTab1_Click(int tab)
{
    if (tab < 0 || tab >= autocreate::kTabCount)
        return;
    // The new tab is painted before its pictures are loaded.
    SSTab1_->repaint();
    timers_[0]->stop();
    timers_[1]->stop();
    curTab_ = tab;
    startPreview(tab);
}

void frmAuto::cmdSyosai_Click()
{
    if (detailsShown_) {
        cmdSyosai_->setText(QStringLiteral("詳細 >>"));
        detailsShown_ = false;
        setHeights(kCollapsedHeightTwips, kCollapsedTabTwips);
    } else {
        cmdSyosai_->setText(QStringLiteral("<< 詳細"));
        detailsShown_ = true;
        setHeights(kExpandedHeightTwips, kExpandedTabTwips);
    }
}

void frmAuto::setHeights(int formTwips, int tabTwips)
{
    heightTwips_ = formTwips;
    tabHeightTwips_ = tabTwips;
    SSTab1_->resize(SSTab1_->width(), twipsToPixels(tabTwips));
    // The form's height includes its caption and borders; the client area
    // gets the rest (all of it where the window system draws no frame).
    const int frame = isVisible() ? std::max(0, frameGeometry().height() - geometry().height()) : 0;
    setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(formTwips) - frame);
    // The tab control already cuts the details off when collapsed; hiding
    // them as well keeps the keyboard focus out of what cannot be seen.
    for (QWidget *w : detailWidgets_)
        w->setVisible(detailsShown_);
}

// --- Create ---------------------------------------------------------------

autocreate::FieldValues frmAuto::fieldValues(int tab) const
{
    autocreate::FieldValues values;
    for (const FieldSpec &f : autocreate::tabDescriptors()[size_t(tab)].fields) {
        QWidget *w = controls_[size_t(tab)].value(f.objectName);
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            values.insert(f.objectName, edit->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            values.insert(f.objectName, button->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return values;
}

void frmAuto::applyFieldValues(int tab, const autocreate::FieldValues &values)
{
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        QWidget *w = controls_[size_t(tab)].value(it.key());
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            if (edit->text() != it.value())
                edit->setText(it.value());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            button->setChecked(it.value() == QLatin1String("1"));
        }
    }
}

void frmAuto::cmdSakusei_Click()
{
    curTab_ = SSTab1_->currentIndex();
    autocreate::FieldValues fields = fieldValues(curTab_);
    const CreateRun created = createWithProgress(fields);
    if (created.cancelled) {
        doc_.setStatusText(QStringLiteral("自動作成を中止しました（作成したﾌﾚｰﾑは取り消しました）"));
        return;
    }
    // The deletion step lowers window numbers of the cube and prism tabs.
    applyFieldValues(curTab_, fields);
    if (!created.result)
        showError(created.result.error());
}

// Every frame the effect adds or draws is a moment to show how far it has
// come and to look at the cancel button; the effects' threads are done with
// a frame by then. A cancel makes the document take the whole command back
// when it ends, and refuse frames until then, which stops the effect.
frmAuto::CreateRun frmAuto::createWithProgress(autocreate::FieldValues &fields)
{
    const int before = doc_.picCount();
    const int total = autocreate::framesToAdd(curTab_, fields);
    LongTask task(this, creatingText(0, total), total);
    int shown = -1;
    const auto onFrame = [&] {
        const int made = std::clamp(doc_.picCount() - before, 0, total);
        if (made != shown) {
            shown = made;
            task.setLabel(creatingText(made, total));
        }
        if (!task.advance(made))
            doc_.cancelStep();
    };
    const QMetaObject::Connection added = connect(&doc_, &Document::frameAdded, this, onFrame);
    const QMetaObject::Connection drawn = connect(&doc_, &Document::frameChanged, this, onFrame);
    CreateRun run{autocreate::Create(doc_, curTab_, fields), false};
    disconnect(added);
    disconnect(drawn);
    run.cancelled = task.cancelled();
    return run;
}

QString frmAuto::creatingText(int made, int total)
{
    return QStringLiteral("作成中... (%1/%2 ﾌﾚｰﾑ)").arg(made).arg(total);
}

void frmAuto::showError(const QString &message)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("確認"), message, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("msgCreate"));
    box.exec();
}

// --- Samples --------------------------------------------------------------

void frmAuto::startPreview(int tab)
{
    const autocreate::SampleSet &s = autocreate::sampleSets()[size_t(tab)];
    if (previewCount_[size_t(tab)] == 0)
        for (int k = 0; k < s.loaded; ++k)
            previewPics_[size_t(k)][size_t(tab)] = QImage(autocreate::samplePath(tab, k));
    previewCount_[size_t(tab)] = int16_t(s.cycled);
    // A running timer keeps its rhythm; starting it again would restart the
    // countdown of a sample that is already playing.
    QTimer *t = timer(s.timer);
    if (!t->isActive())
        t->start();
}

void frmAuto::showPicture(int tab, int picture)
{
    const bool inTable = picture >= 0 && picture < autocreate::kMaxSamplePictures;
    PictureBox *box = boxes_[size_t(tab)];
    box->setPicture(inTable ? previewPics_[size_t(picture)][size_t(tab)] : QImage());
    box->repaint();
    shown_[size_t(tab)] = picture;
}

void frmAuto::Timer1_Timer()
{
    // Timer1 runs only while one of its four tabs is in front.
    if (curTab_ < 0 || curTab_ > 3)
        return;
    const int picture = autocreate::stepBackAndForth(previewPos_[0], previewPos_[1], previewCount_[size_t(curTab_)]);
    showPicture(curTab_, picture);
    const int next = autocreate::backAndForthInterval(curTab_);
    if (timers_[0]->interval() != next)
        timers_[0]->setInterval(next);
}

void frmAuto::forwardTick(int timerNumber)
{
    // Each forward timer draws its own tab's pictures into its own box, also
    // while another tab is in front (its box is hidden then), so its position
    // always stays within its own sample.
    int tab = -1;
    for (int t = 0; t < autocreate::kTabCount; ++t)
        if (autocreate::sampleSets()[size_t(t)].timer == timerNumber)
            tab = t;
    if (tab < 0)
        return;
    QTimer *t = timers_[size_t(timerNumber - 1)];
    int next = t->interval();
    const int picture = autocreate::stepForward(timerNumber, previewPos_[size_t(timerNumber)],
                                                previewCount_[size_t(tab)], t->interval(), next);
    showPicture(tab, picture);
    if (next != t->interval())
        t->setInterval(next);
}

} // namespace velmar
