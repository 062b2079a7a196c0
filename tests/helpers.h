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

// Waits (from a timer, while the code under test runs its own loop) for a
// window that `match` accepts, then hands it to `act`. Gives up after 10 s;
// `missed` counts those.
// A fixture's end also ends the waits armed during its life.
inline int missed = 0;
inline int generation = 0;
inline void whenShown(std::function<bool(QWidget *)> match, std::function<void(QWidget *)> act,
                      int triesLeft = 1000, int armedIn = -1) {
    if (armedIn < 0) armedIn = generation;
    QTimer::singleShot(10, qApp, [match, act, triesLeft, armedIn] {
        if (armedIn != generation) {
            ++missed;
        } else if (QWidget *w = findWindow(match)) {
            act(w);
        } else if (triesLeft > 0) {
            whenShown(match, act, triesLeft - 1, armedIn);
        } else {
            ++missed;
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
                  if (QAbstractButton *b = box->button(button)) b->click();
              });
}

// Answers the next modal dialog.
inline void answerModal(std::function<void(QDialog *)> act) {
    whenShown(
        [](QWidget *w) {
            return QApplication::activeModalWidget() == w && qobject_cast<QDialog *>(w);
        },
        [act](QWidget *w) { act(static_cast<QDialog *>(w)); });
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
