// SPDX-License-Identifier: GPL-3.0-or-later
// Shared between the toolkit layer's own sources; never included by the window.
#pragma once

#include "platform/classes.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QPalette>
#include <functional>

class TForm;

// True once the application is ending: a dialog or box asked for then answers
// as if cancelled, without showing.
bool Ending();

// Runs a command body: counts it on the stack and shows any exception it raises.
void RunCommand(const std::function<void()> &body);

// Puts a window's frame where `place` says (given the frame's current
// rectangle), now and again as the window manager makes the frame known.
void SettleFrame(QWidget *window, const std::function<QPoint(const QRect &frame)> &place);

QColor ToQColor(TColor color, const QPalette &palette = QPalette());
TColor FromQColor(const QColor &color);
QFont ToQFont(const TFont &font);
TFont FromQFont(const QFont &font, const QColor &color);

class FormWindow : public QMainWindow {
public:
    explicit FormWindow(TForm *form);
    QWidget *client() const { return client_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TForm *form_;
    QWidget *client_;
};
