// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit layer's message boxes, exception box, command stack and
// start-up frame.
#include "app/entry.h"
#include "helpers.h"

#include <QMainWindow>

using namespace testing;

namespace {
// A component whose methods serve as commands in these tests.
struct Commands : TComponent {
    Commands() : TComponent(nullptr) {}
    QStringList log;
    int boxResult = 0;
    void Throw(TObject *) { throw Exception(QStringLiteral("Le disque a refusé l'écriture.")); }
    void ThrowOther(TObject *) { throw 42; }
    void ThrowBadAlloc(TObject *) { throw std::bad_alloc(); }
    void Ask(TObject *) {
        log << QStringLiteral("ask:start");
        boxResult = MessageBoxA(nullptr, "Première question ?", "Pavelin", MB_YESNO);
        log << QStringLiteral("ask:end");
    }
    void Inner(TObject *) {
        log << QStringLiteral("inner:start");
        MessageBoxA(nullptr, "Deuxième", "Pavelin", MB_OK);
        log << QStringLiteral("inner:end");
    }
};
} // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void init() {
        delete Application;
        Application = new TApplication;
        Application->Initialize();
    }
    void cleanup() {
        delete Application;
        Application = nullptr;
    }

    void messageBoxStylesAndAnswers() {
        QString text, caption;
        answerBox(QMessageBox::Ok, &text, &caption);
        QCOMPARE(MessageBoxA(nullptr, "Été\nhiver", "Légende", MB_OK), IDOK);
        QCOMPARE(text, QStringLiteral("Été\nhiver"));
        QCOMPARE(caption, QStringLiteral("Légende"));

        answerBox(QMessageBox::Yes);
        QCOMPARE(MessageBoxA(nullptr, "Oui ?", "Pavelin", MB_YESNO), IDYES);
        answerBox(QMessageBox::No);
        QCOMPARE(MessageBoxA(nullptr, "Non ?", "Pavelin", MB_YESNO), IDNO);

        // The Yes/No box offers exactly those two buttons, in French.
        QStringList labels;
        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [&](QWidget *w) {
                      auto *box = static_cast<QMessageBox *>(w);
                      for (QAbstractButton *b : box->buttons())
                          labels << b->text().remove(QLatin1Char('&'));
                      box->button(QMessageBox::No)->click();
                  });
        MessageBoxA(nullptr, "?", "Pavelin", MB_YESNO);
        labels.sort();
        QCOMPARE(labels, (QStringList{QStringLiteral("Non"), QStringLiteral("Oui")}));
    }

    // A Yes/No box is left only through its buttons: Escape and a close
    // request (the frame's button, Alt+F4) leave it waiting. An OK box still
    // closes on Escape, as OK.
    void yesNoBoxWaitsForARealChoice() {
        bool stillOpen = false, closeButton = true;
        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [&](QWidget *w) {
                      auto *box = static_cast<QMessageBox *>(w);
                      closeButton = box->windowFlags().testFlag(Qt::WindowCloseButtonHint);
                      QTest::keyClick(box, Qt::Key_Escape);
                      const bool closed = box->close();
                      QCoreApplication::processEvents();
                      stillOpen = !closed && box->isVisible();
                      box->button(QMessageBox::Yes)->click();
                  });
        QCOMPARE(MessageBoxA(nullptr, "Enregistrer ?", "Pavelin", MB_YESNO), IDYES);
        QVERIFY(stillOpen);
        QVERIFY(!closeButton);

        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(MessageBoxA(nullptr, "Bienvenue", "Avant-Propos", MB_OK), IDOK);
    }

    // With no owner, the window stays usable; a command started meanwhile runs
    // to its end before the waiting one goes on.
    void boxWithoutOwnerLeavesTheWindowUsable() {
        TForm *form = nullptr;
        Application->CreateForm(form);
        form->Show();
        Commands commands;
        auto *ask = new TMenuItem(form);
        ask->OnClick = {&commands, &Commands::Ask};
        auto *inner = new TMenuItem(form);
        inner->OnClick = {&commands, &Commands::Inner};

        bool windowEnabled = false;
        QWidget *modal = reinterpret_cast<QWidget *>(1);
        whenShown(
            [](QWidget *w) {
                return w->windowTitle() == QLatin1String("Pavelin") &&
                       qobject_cast<QMessageBox *>(w);
            },
            [&](QWidget *first) {
                windowEnabled = form->Widget()->isEnabled();
                modal = QApplication::activeModalWidget();
                // Answer the first box once the second is up, so the first
                // command would go on if nesting were wrong.
                whenShown(
                    [](QWidget *w) {
                        return qobject_cast<QMessageBox *>(w) &&
                               static_cast<QMessageBox *>(w)->text() == QStringLiteral("Deuxième");
                    },
                    [first](QWidget *second) {
                        qWarning("second found");
                        static_cast<QMessageBox *>(first)->button(QMessageBox::Yes)->click();
                        QTimer::singleShot(50, second, [second] {
                            static_cast<QMessageBox *>(second)->button(QMessageBox::Ok)->click();
                        });
                    });
                inner->Click();
            });
        ask->Click();
        QVERIFY(windowEnabled);
        QCOMPARE(modal, nullptr);
        QCOMPARE(commands.log,
                 (QStringList{QStringLiteral("ask:start"), QStringLiteral("inner:start"),
                              QStringLiteral("inner:end"), QStringLiteral("ask:end")}));
        QCOMPARE(commands.boxResult, IDYES);
        QCOMPARE(Application->CommandDepth(), 0);
    }

    void exceptionInACommandIsShownAndTheProgramGoesOn() {
        TForm *form = nullptr;
        Application->CreateForm(form);
        Commands commands;
        auto *item = new TMenuItem(form);
        item->OnClick = {&commands, &Commands::Throw};
        QString text, caption;
        int buttons = 0;
        whenShown([](QWidget *w) { return w->objectName() == QLatin1String("exceptionBox"); },
                  [&](QWidget *w) {
                      auto *box = static_cast<QMessageBox *>(w);
                      text = box->text();
                      caption = box->windowTitle();
                      buttons = int(box->buttons().size());
                      box->button(QMessageBox::Ok)->click();
                  });
        item->Click();
        QCOMPARE(text, QStringLiteral("Le disque a refusé l'écriture."));
        QCOMPARE(caption, QCoreApplication::applicationName());
        QCOMPARE(buttons, 1);
        QCOMPARE(Application->CommandDepth(), 0);

        // A failed allocation says that memory ran out; anything else thrown
        // says that the command was stopped: never an empty box.
        const auto click = [&](void (Commands::*command)(TObject *)) {
            item->OnClick = {&commands, command};
            text = QStringLiteral("unchanged");
            whenShown([](QWidget *w) { return w->objectName() == QLatin1String("exceptionBox"); },
                      [&](QWidget *w) {
                          text = static_cast<QMessageBox *>(w)->text();
                          static_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
                      });
            item->Click();
        };
        click(&Commands::ThrowBadAlloc);
        QVERIFY2(text.startsWith(QStringLiteral("Mémoire insuffisante")), qPrintable(text));
        QCOMPARE(Application->CommandDepth(), 0);
        click(&Commands::ThrowOther);
        QCOMPARE(text, QStringLiteral("Une erreur inattendue a interrompu l'opération."));
        QCOMPARE(Application->CommandDepth(), 0);
    }

    void startUpFailureIsReportedAndExitsZero() {
        QString text = QStringLiteral("unchanged");
        whenShown([](QWidget *w) { return w->objectName() == QLatin1String("exceptionBox"); },
                  [&](QWidget *w) {
                      text = static_cast<QMessageBox *>(w)->text();
                      static_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
                  });
        const int code = RunPavelin(
            [](TApplication &) { throw Exception(QStringLiteral("Démarrage impossible.")); });
        QCOMPARE(code, 0);
        QCOMPARE(text, QStringLiteral("Démarrage impossible."));

        text = QStringLiteral("unchanged");
        whenShown([](QWidget *w) { return w->objectName() == QLatin1String("exceptionBox"); },
                  [&](QWidget *w) {
                      text = static_cast<QMessageBox *>(w)->text();
                      static_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
                  });
        QCOMPARE(RunPavelin([](TApplication &) { throw std::runtime_error("x"); }), 0);
        QCOMPARE(text, QStringLiteral("Une erreur inattendue a interrompu l'opération."));
    }

    // The real loop: the window closes while a command waits on its box; the
    // box gives way, the command ends, then the loop and the program do.
    void closingWhileABoxWaitsEndsCleanly() {
        TForm *form = nullptr;
        Application->CreateForm(form);
        Commands commands;
        auto *ask = new TMenuItem(form);
        ask->OnClick = {&commands, &Commands::Ask};
        QTimer::singleShot(0, [&] { ask->Click(); });
        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [&](QWidget *) { form->Close(); });
        Application->Run(); // returns once the window has closed and the command ended
        QCOMPARE(commands.log,
                 (QStringList{QStringLiteral("ask:start"), QStringLiteral("ask:end")}));
        QCOMPARE(commands.boxResult, IDNO);
        QVERIFY(Application->Terminated());
        QCOMPARE(Application->CommandDepth(), 0);
        QVERIFY(!openMessageBox());
    }

    void undoMessageReachesTheEditorOnly() {
        TForm *form = nullptr;
        Application->CreateForm(form);
        auto *edit = new TRichEdit(form);
        edit->SetParent(form);
        QCOMPARE(SendMessageA(edit->Handle(), WM_UNDO, 0, 0), 0); // nothing to undo
        edit->SetSelText(QStringLiteral("abc"));
        QCOMPARE(edit->Text(), QStringLiteral("abc"));
        QCOMPARE(SendMessageA(edit->Handle(), WM_UNDO, 0, 0), 1);
        QCOMPARE(edit->Text(), QString());
        QCOMPARE(SendMessageA(reinterpret_cast<HWND>(0x7), WM_UNDO, 0, 0), 0);
        QVERIFY(edit->Handle() != form->Handle());
    }

    void cleanupTestCase() { QCOMPARE(missed, 0); }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
