// SPDX-License-Identifier: GPL-3.0-or-later
// Placing a top-level window by its frame, which window managers make known late.
#pragma once

#include <QPoint>
#include <QRect>
#include <functional>

class QWidget;

// Puts a window's frame where `place` says (given the frame's current
// rectangle), now and again as the window manager makes the frame known.
void SettleFrame(QWidget *window, const std::function<QPoint(const QRect &frame)> &place);
