// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/placement.h"

#include <QTimer>
#include <QWidget>

void SettleFrame(QWidget *window, const std::function<QPoint(const QRect &frame)> &place) {
    const auto apply = [window, place] {
        if (!window->isVisible()) return;
        const QRect frame = window->frameGeometry();
        const QPoint wanted = place(frame);
        if (frame.topLeft() != wanted) window->move(wanted);
    };
    window->move(place(window->frameGeometry()));
    // Window managers report the frame a little later, without an event.
    for (int ms : {0, 50, 150, 300, 700, 1500})
        QTimer::singleShot(ms, window, apply);
}
