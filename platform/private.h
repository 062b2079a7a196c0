// Shared between the toolkit layer's own sources; never included by the window.
#pragma once

#include "platform/classes.h"

#include <QColor>
#include <QFont>
#include <QMainWindow>
#include <QPalette>
#include <functional>

class TForm;

// Runs a command body: counts it on the stack and shows any exception it raises.
void RunCommand(const std::function<void()> &body);

// Closes every message box still waiting, each answering as if cancelled.
void CloseMessageBoxes();

QColor ToQColor(TColor color, const QPalette &palette = QPalette());
TColor FromQColor(const QColor &color);
QFont ToQFont(const TFont &font);
TFont FromQFont(const QFont &font, const QColor &color);

class FormWindow : public QMainWindow {
public:
    explicit FormWindow(TForm *form);
    QWidget *client() const { return client_; }
    bool centreOnScreen(); // true when it moved the window
    int recentre = 0; // moves left to centre the framed window

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *event) override;

private:
    TForm *form_;
    QWidget *client_;
};
