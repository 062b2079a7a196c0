// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the suites: answering the real dialogs from a timer, and making a
// main window the way the program does.
#pragma once

#include "platform/forms.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

namespace testing {

// The first visible top-level window for which `match` holds, or null.
inline QWidget *findWindow(const std::function<bool(QWidget *)> &match) {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && match(w)) return w;
    }
    return nullptr;
}

inline QMessageBox *openMessageBox() {
    return qobject_cast<QMessageBox *>(
        findWindow([](QWidget *w) { return qobject_cast<QMessageBox *>(w); }));
}

// Gives up waiting for `what`: the window `open`, or whatever dialog is open, is
// closed (a message box by one of its buttons, since a yes/no box refuses to
// be closed), so that the code under test returns rather than hang until the
// suite's time runs out, and the current test function fails, naming it.
inline int missed = 0;
inline void giveUp(const QString &what, QWidget *open = nullptr) {
    ++missed;
    if (!open) open = QApplication::activeModalWidget();
    if (!open) open = findWindow([](QWidget *w) { return qobject_cast<QDialog *>(w) != nullptr; });
    QString shown = QStringLiteral("none");
    if (open) {
        shown = QStringLiteral("« %1 » (%2)")
                    .arg(open->windowTitle(), QLatin1String(open->metaObject()->className()));
        if (auto *box = qobject_cast<QMessageBox *>(open)) {
            shown += QStringLiteral(" saying « %1 »").arg(box->text());
            if (!box->buttons().isEmpty()) box->buttons().first()->click();
        } else if (auto *dialog = qobject_cast<QDialog *>(open)) {
            dialog->reject();
        } else {
            open->close();
        }
    }
    QTest::qFail(
        qPrintable(QStringLiteral("gave up on %1; the modal window open: %2").arg(what, shown)),
        __FILE__, __LINE__);
}

// Waits (from a timer, while the code under test runs its own loop) for a
// window that `match` accepts, then hands it to `act`. Gives up after 10 s
// (see giveUp); `missed` counts those. A fixture's end also ends the waits
// armed during its life.
inline int generation = 0;
inline void whenShown(std::function<bool(QWidget *)> match, std::function<void(QWidget *)> act,
                      const QString &what = QStringLiteral("the window waited for"),
                      int triesLeft = 1000, int armedIn = -1) {
    if (armedIn < 0) armedIn = generation;
    QTimer::singleShot(10, qApp, [match, act, what, triesLeft, armedIn] {
        if (armedIn != generation) {
            ++missed;
        } else if (QWidget *w = findWindow(match)) {
            act(w);
        } else if (triesLeft > 0) {
            whenShown(match, act, what, triesLeft - 1, armedIn);
        } else {
            giveUp(what);
        }
    });
}

// Answers the next message box by pressing one of its buttons.
inline void answerBox(QMessageBox::StandardButton button, QString *text = nullptr,
                      QString *caption = nullptr) {
    whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
              [=](QWidget *w) {
                  auto *box = static_cast<QMessageBox *>(w);
                  if (text) *text = box->text();
                  if (caption) *caption = box->windowTitle();
                  if (QAbstractButton *b = box->button(button)) {
                      b->click();
                  } else {
                      giveUp(QStringLiteral("a button %1 in the message box").arg(int(button)),
                             box);
                  }
              },
              QStringLiteral("a message box"));
}

// Answers the next modal dialog.
inline void answerModal(std::function<void(QDialog *)> act) {
    whenShown(
        [](QWidget *w) {
            return QApplication::activeModalWidget() == w && qobject_cast<QDialog *>(w);
        },
        [act](QWidget *w) { act(static_cast<QDialog *>(w)); }, QStringLiteral("a modal dialog"));
}

// Confirms the next file dialog with a name, or cancels it (empty name).
inline void answerFileDialog(const QString &fileName, QString *title = nullptr,
                             QString *prefilled = nullptr) {
    answerModal([=](QDialog *d) {
        auto *dialog = qobject_cast<QFileDialog *>(d);
        if (!dialog) {
            d->reject();
            return;
        }
        if (title) *title = dialog->windowTitle();
        if (prefilled) {
            const QStringList files = dialog->selectedFiles();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            *prefilled = edit ? edit->text() : QString();
            if (!files.isEmpty() && !prefilled->isEmpty()) *prefilled = files.first();
        }
        if (fileName.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(fileName);
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(fileName);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
}

// Answers every message box shown while it lives, recording what they said.
// The box is answered with `answer` where it has that button, else with OK.
struct BoxWatch {
    QTimer timer;
    QStringList texts;
    QStringList captions;
    QMessageBox::StandardButton answer;

    explicit BoxWatch(QMessageBox::StandardButton button) : answer(button) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QMessageBox *box = openMessageBox();
            if (!box) return;
            texts << box->text();
            captions << box->windowTitle();
            QAbstractButton *b =
                box->button(answer) ? box->button(answer) : box->button(QMessageBox::Ok);
            if (b) {
                b->click();
            } else {
                box->done(0);
            }
        });
        timer.start();
    }
    int count() const { return int(texts.size()); }
};

// A fresh application object and main window, the welcome box answered.
struct FormFixture {
    TForm1 *form = nullptr;
    QString welcomeText, welcomeCaption;

    FormFixture() {
        delete Application;
        Application = new TApplication;
        Application->Initialize();
        answerBox(QMessageBox::Ok, &welcomeText, &welcomeCaption);
        Application->CreateForm(form);
        Form1 = form;
    }
    ~FormFixture() {
        ++generation;
        delete Application;
        Application = nullptr;
        Form1 = nullptr;
    }
    void show() {
        form->Show();
        QVERIFY(QTest::qWaitForWindowExposed(form->Widget()));
    }
};

} // namespace testing
