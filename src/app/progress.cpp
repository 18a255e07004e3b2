// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

namespace velmar
{
namespace
{

int showDelayMs = 500;
// About one frame of a 60 Hz screen.
int tickMs = 16;
int liveTasks = 0;
std::function<void(LongTask &)> &tickObserver()
{
    static std::function<void(LongTask &)> observer;
    return observer;
}

} // namespace

LongTask::LongTask(QWidget *parent, const QString &label, int total) : label_(label), total_(std::max(total, 0))
{
    ++liveTasks;
    dialog_ = new QProgressDialog(label_, QStringLiteral("ｷｬﾝｾﾙ"), 0, total_, parent);
    dialog_->setObjectName(QStringLiteral("progressDialog"));
    dialog_->setWindowTitle(QStringLiteral("Velmar"));
    dialog_->setWindowModality(Qt::WindowModal);
    // The dialog goes when the work does, not when the bar is full: a save
    // still writes its file after the last image.
    dialog_->setAutoReset(false);
    dialog_->setAutoClose(false);
    dialog_->setMinimumDuration(showDelayMs);
    // Starts the clock that shows the dialog.
    dialog_->setValue(0);
    sinceTick_.start();
}

LongTask::~LongTask()
{
    delete dialog_;
    --liveTasks;
}

bool LongTask::running()
{
    return liveTasks > 0;
}

bool LongTask::advance(int done)
{
    done_ = done;
    if (sinceTick_.elapsed() >= tickMs) {
        tick();
        sinceTick_.restart();
    }
    return !cancelled_;
}

void LongTask::setLabel(const QString &text)
{
    label_ = text;
}

void LongTask::setTotal(int total)
{
    total_ = std::max(total, 0);
}

void LongTask::tick()
{
    if (dialog_->maximum() != total_)
        dialog_->setMaximum(total_);
    if (dialog_->labelText() != label_)
        dialog_->setLabelText(label_);
    // Once the dialog is up it blocks the other windows, and the user's
    // input (the cancel button, Esc) may come through.
    dialog_->setValue(std::clamp(done_, 0, total_));
    QCoreApplication::processEvents(dialog_->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    if (tickObserver())
        tickObserver()(*this);
    cancelled_ = cancelled_ || dialog_->wasCanceled();
}

void LongTask::setTiming(int showDelay, int tick)
{
    showDelayMs = showDelay;
    tickMs = tick;
}

void LongTask::setTickObserver(std::function<void(LongTask &)> observer)
{
    tickObserver() = std::move(observer);
}

} // namespace velmar
