// SPDX-License-Identifier: GPL-3.0-or-later
// Shows that a long piece of work goes on: a wait cursor at once and, when
// the work lasts more than half a second, a window with a progress bar and
// what is being done, repainted as the work goes on.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QProgressDialog;

class TProgress {
public:
    // `cancellable`: the window offers "Annuler".
    TProgress(const QString &what, bool cancellable);
    ~TProgress();
    TProgress(const TProgress &) = delete;
    TProgress &operator=(const TProgress &) = delete;

    // The share done, from 0 to 1. True once the user asked to stop. Cheap
    // enough to call often: it does something at most every 50 ms.
    bool Step(double done);
    // When the window shows and how often it is updated, in ms (500 and 50);
    // tests make them 0 to see the window on small documents.
    static void SetTimings(int showAfterMs, int stepEveryMs);

private:
    QString what_;
    bool cancellable_;
    bool cancelled_ = false;
    QElapsedTimer started_;
    qint64 lastStep_ = -1000;
    QPointer<QProgressDialog> dialog_;
};
