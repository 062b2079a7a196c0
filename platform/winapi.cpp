// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/winapi.h"

#include "platform/commands.h"
#include "platform/forms.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <vector>

namespace {
// A Yes/No box has no way out but its two buttons: Escape, the frame's close
// button and the window manager's close request (Alt+F4) do nothing, so that
// its answer always comes from a real choice.
class MessageBoxWindow : public QMessageBox {
public:
    MessageBoxWindow(const QString &caption, const QString &text, bool yesNo, QWidget *owner)
        : QMessageBox(QMessageBox::NoIcon, caption, text,
                      yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner),
          mustChoose_(yesNo) {}

    // No close button where the window manager honours the hint. Set last
    // before showing: a change of modality gives the box its default frame.
    void showChoosing() {
        if (mustChoose_) setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        show();
    }

    void reject() override {
        if (!mustChoose_) QMessageBox::reject();
    }

protected:
    void keyPressEvent(QKeyEvent *e) override {
        if (mustChoose_ && (e->matches(QKeySequence::Cancel) || e->key() == Qt::Key_Escape)) {
            e->accept();
            return;
        }
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent *e) override {
        if (mustChoose_ && isVisible()) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }

private:
    bool mustChoose_;
};

} // namespace

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    TWinControl *control = TWinControl::FromHandle(window);
    return control ? control->WndProc(message, wparam, lparam) : 0;
}

int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) {
    const bool yesNo = (type & 0xF) == MB_YESNO;
    if (Ending()) return yesNo ? IDNO : IDOK;

    TWinControl *ownerControl = TWinControl::FromHandle(owner);
    MessageBoxWindow box(QString::fromUtf8(caption ? caption : ""),
                         QString::fromUtf8(text ? text : ""), yesNo,
                         ownerControl ? ownerControl->Widget() : nullptr);
    box.setObjectName(QStringLiteral("messageBox"));
    if (ownerControl) {
        box.setWindowModality(Qt::WindowModal);
    } else {
        // With no owner nothing is disabled: the box is a window of its own.
        box.setWindowModality(Qt::NonModal);
    }

    QEventLoop loop;
    int answer = -1;
    QObject::connect(&box, &QMessageBox::finished, &loop, [&](int result) {
        answer = result;
        loop.quit();
    });
    if (Application) Application->AddOpenBox(&box);
    box.showChoosing();
    box.raise();
    box.activateWindow();
    loop.exec();
    if (Application) Application->RemoveOpenBox(&box);

    if (yesNo) return answer == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}
