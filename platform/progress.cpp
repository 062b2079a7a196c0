// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/progress.h"

#include <QApplication>
#include <QProgressDialog>

namespace {
qint64 showAfterMs = 500;
qint64 stepEveryMs = 50;
} // namespace

void TProgress::SetTimings(int showAfter, int stepEvery) {
    showAfterMs = showAfter;
    stepEveryMs = stepEvery;
}

TProgress::TProgress(const QString &what, bool cancellable)
    : what_(what), cancellable_(cancellable) {
    started_.start();
    if (qApp) QApplication::setOverrideCursor(Qt::WaitCursor);
}

TProgress::~TProgress() {
    delete dialog_.data();
    if (qApp) QApplication::restoreOverrideCursor();
}

bool TProgress::Step(double done) {
    const qint64 now = started_.elapsed();
    if (now - lastStep_ < stepEveryMs || !qApp) return cancelled_;
    lastStep_ = now;
    if (!dialog_ && now >= showAfterMs) {
        QWidget *owner = QApplication::activeWindow();
        dialog_ = new QProgressDialog(what_, cancellable_ ? QStringLiteral("Annuler") : QString(),
                                      0, 1000, owner);
        dialog_->setObjectName(QStringLiteral("progressDialog"));
        dialog_->setWindowTitle(QStringLiteral("Pavelin"));
        if (!cancellable_) dialog_->setCancelButton(nullptr);
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->show();
    }
    if (dialog_) {
        dialog_->setValue(int(std::clamp(done, 0.0, 1.0) * 1000));
        // The dialog is modal: the window behind it repaints and takes no
        // input while the work goes on.
        QApplication::processEvents();
        if (cancellable_ && dialog_->wasCanceled()) cancelled_ = true;
    } else {
        // Before the window shows, repaint only: no key may reach a
        // document that is being replaced.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return cancelled_;
}
