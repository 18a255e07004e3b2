// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>

class QProgressDialog;
class QWidget;

namespace velmar
{

// A long command run on the GUI thread (open, save, Create). Once the work
// has taken half a second a window-modal progress dialog shows how far it
// has come, with a cancel button (Esc presses it). Pending events are
// processed at most at screen rate, so the windows repaint and new frames
// appear while the work goes on, without the work paying for a repaint per
// block. Until the dialog is up, user input stays queued: a click must not
// start a second command inside the first.
class LongTask
{
  public:
    LongTask(QWidget *parent, const QString &label, int total);
    ~LongTask();
    LongTask(const LongTask &) = delete;
    LongTask &operator=(const LongTask &) = delete;

    // Work done so far, of total(); false once the user has cancelled. Cheap
    // enough to call for every block or frame: the dialog and the event
    // queue are served at most once a tick.
    bool advance(int done);
    // Shown from the next tick on.
    void setLabel(const QString &text);
    void setTotal(int total);

    bool cancelled() const { return cancelled_; }
    int done() const { return done_; }
    int total() const { return total_; }
    QProgressDialog *dialog() const { return dialog_; }
    // Whether any long command is under way.
    static bool running();

    // For tests: the delay before the dialog shows and the least time
    // between two ticks (500 and 16 ms unless set), and a function called
    // at the end of each tick, after the dialog shows its values.
    static void setTiming(int showDelayMs, int tickMs);
    static void setTickObserver(std::function<void(LongTask &)> observer);

  private:
    void tick();

    QProgressDialog *dialog_ = nullptr;
    QElapsedTimer sinceTick_;
    QString label_;
    int done_ = 0;
    int total_ = 0;
    bool cancelled_ = false;
};

} // namespace velmar
