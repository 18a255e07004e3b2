#pragma once

#include "autocreate/createcommand.h"
#include "autocreate/samples.h"
#include "picturebox_view.h"
#include "tworowtabwidget_view.h"

#include <QHash>
#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QPushButton;
class QTimer;

namespace velmar
{

class Document;

// The auto-create dialog: one tab per effect with its fields, its animated
// sample and, behind "詳細 >>", its detail settings. "作成" hands the tab's
// field values to the Create command. Closing the dialog deletes it, so the
// next opening starts from the initial texts again.
class frmAuto : public QWidget
{
    Q_OBJECT
  public:
    explicit frmAuto(Document &doc, QWidget *parent = nullptr);
    ~frmAuto() override;

    // --- Event handlers -------------------------------------------------
    // The base window of tab 0 follows the frame activated last.
    void Form_Activate();
    // The tab in front changed: record it and start its sample.
    void SSTab1_Click(int tab);
    void cmdSakusei_Click();
    void cmdSyosai_Click();
    // Sample timers: Timer1 serves tabs 0 to 3, Timer2 to Timer8 tabs 4 to 10.
    void Timer1_Timer();
    void Timer2_Timer() { forwardTick(2); }
    void Timer3_Timer() { forwardTick(3); }
    void Timer4_Timer() { forwardTick(4); }
    void Timer5_Timer() { forwardTick(5); }
    void Timer6_Timer() { forwardTick(6); }
    void Timer7_Timer() { forwardTick(7); }
    void Timer8_Timer() { forwardTick(8); }

    // --- State, for the views and tests ----------------------------------
    TwoRowTabWidget *SSTab1() const { return SSTab1_; }
    int curTab() const { return curTab_; }
    bool detailsShown() const { return detailsShown_; }
    // The window height as the form sets it (frame included), and SSTab1's.
    int heightTwips() const { return heightTwips_; }
    int tabHeightTwips() const { return tabHeightTwips_; }
    // The tab's fields as the Create command reads them.
    autocreate::FieldValues fieldValues(int tab) const;
    // The sample pictures: previewCount 0 until the tab's first visit.
    int previewCount(int tab) const { return previewCount_[size_t(tab)]; }
    const QImage &previewPic(int picture, int tab) const { return previewPics_[size_t(picture)][size_t(tab)]; }
    // Counters: 0 and 1 are Timer1's position and direction, 2 to 8 the
    // positions of Timer2 to Timer8.
    int previewPos(int k) const { return previewPos_[size_t(k)]; }
    // The picture last shown in the tab's box, or -1.
    int shownPicture(int tab) const { return shown_[size_t(tab)]; }
    PictureBox *previewBox(int tab) const { return boxes_[size_t(tab)]; }
    QTimer *timer(int k) const { return timers_[size_t(k - 1)]; }

  protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    void buildPage(int tab, QWidget *page);
    void buildDetails(int tab, QWidget *page);
    void applyFieldValues(int tab, const autocreate::FieldValues &values);
    void setHeights(int formTwips, int tabTwips);
    void startPreview(int tab);
    void showPicture(int tab, int picture);
    void forwardTick(int timer);
    void showError(const QString &message);
    struct CreateRun {
        Result<> result;
        bool cancelled = false;
    };
    CreateRun createWithProgress(autocreate::FieldValues &fields);
    static QString creatingText(int made, int total);

    Document &doc_;
    TwoRowTabWidget *SSTab1_ = nullptr;
    QPushButton *cmdSakusei_ = nullptr;
    QPushButton *cmdSyosai_ = nullptr;
    std::array<QTimer *, 8> timers_{};
    std::array<PictureBox *, autocreate::kTabCount> boxes_{};
    // Per tab: its controls by objectName, and the parts shown only expanded.
    std::array<QHash<QString, QWidget *>, autocreate::kTabCount> controls_;
    std::vector<QWidget *> detailWidgets_;

    int curTab_ = 0;
    bool detailsShown_ = false;
    bool placed_ = false;
    int labelCount_ = 0;
    int heightTwips_ = 0;
    int tabHeightTwips_ = 0;

    // previewPics(picture, tab): 21 pictures by 13 tabs, as the samples are
    // numbered; tabs 11 and 12 stay empty.
    std::array<std::array<QImage, 13>, autocreate::kMaxSamplePictures> previewPics_;
    std::array<int16_t, autocreate::kTabCount> previewCount_{};
    std::array<int16_t, 9> previewPos_{};
    std::array<int, autocreate::kTabCount> shown_{};
};

} // namespace velmar
