// SPDX-License-Identifier: GPL-3.0-or-later
// The main window against its layout tables: geometry, captions, shortcuts,
// hints, pictures, bindings and the dialogs' first values.
#include "helpers.h"

#include <QAccessible>
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSet>
#include <QTextEdit>
#include <QToolButton>

using namespace testing;

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void welcomeBoxComesAloneBeforeTheWindow() {
        bool windowVisibleDuringBox = true;
        bool modalFlag = true;
        int buttons = -1;
        QMessageBox::Icon icon = QMessageBox::Critical;
        QWidget *parent = reinterpret_cast<QWidget *>(1);
        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [&](QWidget *w) {
                      auto *box = static_cast<QMessageBox *>(w);
                      windowVisibleDuringBox =
                          Form1 && Form1->Widget() && Form1->Widget()->isVisible();
                      modalFlag = box->isModal();
                      buttons = int(box->buttons().size());
                      icon = box->icon();
                      parent = box->parentWidget();
                      box->button(QMessageBox::Ok)->click();
                  });
        delete Application;
        Application = new TApplication;
        Application->Initialize();
        TForm1 *form = nullptr;
        Application->CreateForm(form);
        QVERIFY(form);
        QVERIFY(!windowVisibleDuringBox);
        QVERIFY(!modalFlag);
        QCOMPARE(buttons, 1);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(parent, nullptr);
        QVERIFY(!form->Widget()->isVisible());
        delete Application;
        Application = nullptr;
    }

    void welcomeTextAndWindowProperties() {
        FormFixture f;
        QCOMPARE(f.welcomeText, QStringLiteral("Bienvenue dans le Pavelin\nVersion 4.0"));
        QCOMPARE(f.welcomeCaption, QStringLiteral("Avant-Propos"));
        f.show();
        TForm1 *form = f.form;
        QCOMPARE(form->Caption(), QStringLiteral("Pavelin"));
        QCOMPARE(form->Hint(), QStringLiteral("Pavelin"));
        QVERIFY(!form->ShowHint());
        QVERIFY(form->Widget()->toolTip().isEmpty());
        QCOMPARE(form->ClientWidth(), 800);
        QCOMPARE(form->ClientHeight(), 624);
        auto *window = static_cast<QMainWindow *>(form->Widget());
        QCOMPARE(window->centralWidget()->size(), QSize(800, 624));
        QCOMPARE(window->height(), 624 + window->menuBar()->height());
        // Centred on the screen, where it fits; its frame always starts on
        // the screen's free area, so that its title bar and menu are there.
        const QRect screen = window->screen()->geometry();
        const QRect area = window->screen()->availableGeometry();
        QTest::qWait(100);
        const QRect frame = window->frameGeometry();
        QVERIFY2(area.contains(frame.topLeft()),
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4 on %5x%6")
                                .arg(frame.x())
                                .arg(frame.y())
                                .arg(frame.width())
                                .arg(frame.height())
                                .arg(area.width())
                                .arg(area.height())));
        if (frame.width() <= area.width())
            QTRY_VERIFY(qAbs(window->frameGeometry().center().x() - screen.center().x()) <= 1);
        if (frame.height() <= area.height())
            QTRY_VERIFY(qAbs(window->frameGeometry().center().y() - screen.center().y()) <= 1);
        // Button-face background and the window font.
        const QWidget *client = window->centralWidget();
        QCOMPARE(client->palette().color(client->backgroundRole()),
                 QApplication::palette().color(QPalette::Button));
        QCOMPARE(form->Font().Name, QStringLiteral("MS Sans Serif"));
        QCOMPARE(form->Font().Height, -11);
        QCOMPARE(window->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(window->font().pointSizeF(), 8.25); // 11 pixels at 96 dpi
        QCOMPARE(form->Font().Size(), 8);
    }

    void menuTable() {
        FormFixture f;
        TForm1 *form = f.form;
        struct Row {
            TMenuItem *item;
            const char *caption;
            int shortCut;
            int picture; // 0: none, 16 or 32
            TNotifyEvent command;
        };
        const Row fichier[] = {
            {form->Nouveau1, "Nouveau", 16462, 16, {form, &TForm1::Nouveau1Click}},
            {form->Ouvrir1, "Ouvrir...", 16463, 16, {form, &TForm1::Ouvrir1Click}},
            {form->Enregistrer1, "Enregistrer", 16467, 16, {form, &TForm1::Enregistrer1Click}},
            {form->EnregistrerSous1,
             "Enregistrer Sous...",
             16507,
             16,
             {form, &TForm1::EnregistrerSous1Click}},
            {form->N1, "-", 0, 0, {}},
            {form->Imprimer1, "Imprimer", 16464, 16, {form, &TForm1::Imprimer1Click}},
            {form->Configurationdelimprimante1,
             "Configuration de l'imprimante...",
             0,
             16,
             {form, &TForm1::Configurationdelimprimante1Click}},
            {form->N4, "-", 0, 0, {}},
            {form->Quitter1, "Quitter", 16465, 32, {form, &TForm1::Quitter1Click}},
        };
        const Row edition[] = {
            {form->Dfaire1, "Défaire", 16474, 16, {form, &TForm1::Dfaire1Click}},
            {form->N2, "-", 0, 0, {}},
            {form->Couper1, "Couper", 16472, 16, {form, &TForm1::Couper1Click}},
            {form->Copier1, "Copier", 16451, 16, {form, &TForm1::Copier1Click}},
            {form->Coller1, "Coller", 16470, 16, {form, &TForm1::Coller1Click}},
            {form->Slectionnertout1,
             "Sélectionner tout",
             16449,
             16,
             {form, &TForm1::Slectionnertout1Click}},
            {form->N3, "-", 0, 0, {}},
            {form->Chercher1, "Chercher...", 16454, 16, {form, &TForm1::Chercher1Click}},
#ifdef PAVELIN_EARLIER
            {form->Remplacer1,
             "Remplacer...",
             16466,
             16,
             { form,
               &TForm1::Remplacer1Click }},
#else
            {form->Remplacer1, "Remplacer...", 16466, 16, {form, &TForm1::ReplaceButton1Click}},
#endif
        };
        const Row format[] = {
            {form->Retourautomatiquelaligne1,
             "Retour automatique à la ligne",
             0,
             0,
             {form, &TForm1::Retourautomatiquelaligne1Click}},
            {form->Police1, "Police...", 0, 16, {form, &TForm1::Police1Click}},
        };
        const Row aide[] = {
            {form->Tutoriel1, "Tutoriel", 0, 32, {form, &TForm1::Tutoriel1Click}},
            {form->Credit1, "Credit", 0, 32, {form, &TForm1::Credit1Click}},
        };
        struct Menu {
            TMenuItem *item;
            const char *caption;
            const Row *rows;
            int count;
        };
        const Menu menus[] = {{form->Fichier1, "Fichier", fichier, int(std::size(fichier))},
                              {form->Edition1, "Edition", edition, int(std::size(edition))},
                              {form->Format1, "Format", format, int(std::size(format))},
                              {form->Aide1, "Aide", aide, int(std::size(aide))}};
        QCOMPARE(form->Menu(), form->MainMenu1);
        QCOMPARE(form->MainMenu1->Count(), 4);
        auto *bar = static_cast<QMainWindow *>(form->Widget())->menuBar();
        QCOMPARE(bar->actions().size(), 4);
        for (int m = 0; m < 4; ++m) {
            const Menu &menu = menus[m];
            QCOMPARE(form->MainMenu1->Items(m), menu.item);
            QCOMPARE(menu.item->Caption(), QString::fromUtf8(menu.caption));
            QCOMPARE(bar->actions().at(m)->text(), QString::fromUtf8(menu.caption));
            QCOMPARE(menu.item->Count(), menu.count);
            const QList<QAction *> shown = bar->actions().at(m)->menu()->actions();
            QCOMPARE(shown.size(), menu.count);
            for (int i = 0; i < menu.count; ++i) {
                const Row &row = menu.rows[i];
                QCOMPARE(menu.item->Items(i), row.item);
                QCOMPARE(shown.at(i), row.item->Action());
                QCOMPARE(row.item->Caption(), QString::fromUtf8(row.caption));
                QCOMPARE(row.item->Action()->isSeparator(), QByteArray(row.caption) == "-");
                // A separator is drawn and announced as a line, never as "-".
                if (row.item->Action()->isSeparator())
                    QVERIFY2(row.item->Action()->text().isEmpty(),
                             qPrintable(row.item->Action()->text()));
                QCOMPARE(int(row.item->ShortCut()), row.shortCut);
                QCOMPARE(row.item->Bitmap().Width(), row.picture);
                QCOMPARE(row.item->Bitmap().Height(), row.picture);
                QVERIFY(row.item->OnClick == row.command);
                QVERIFY(!row.item->Checked());
                QVERIFY(!row.item->Action()->isCheckable());
                QVERIFY(row.item->Enabled());
                QVERIFY(row.item->Visible());
            }
        }
        // The keyboard's way into the menus, which carry no letters: F10
        // opens the first one, Alt pressed and released alone highlights it,
        // arrows then walk and open them, Escape goes back to the text.
        form->Show();
        QWidget *window = form->Widget();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QMenu *fichierMenu = bar->actions().at(0)->menu();
        QTest::keyClick(window, Qt::Key_F10);
        QTRY_VERIFY(fichierMenu->isVisible());
        QTest::keyClick(fichierMenu, Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!fichierMenu->isVisible());
        QTest::keyPress(window, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(window, Qt::Key_Alt);
        QTRY_COMPARE(bar->activeAction(), bar->actions().at(0));
        QVERIFY(!fichierMenu->isVisible());
        QTest::keyClick(bar, Qt::Key_Right);
        QCOMPARE(bar->activeAction(), bar->actions().at(1));
        QTest::keyClick(bar, Qt::Key_Down);
        QTRY_VERIFY(bar->actions().at(1)->menu()->isVisible());
        QTest::keyClick(bar->actions().at(1)->menu(), Qt::Key_Escape);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!bar->actions().at(1)->menu()->isVisible());
        QCOMPARE(bar->activeAction(), nullptr);
        QCOMPARE(form->Imprimer1->Hint(), QStringLiteral("Imprimer"));
        QCOMPARE(form->Configurationdelimprimante1->Hint(),
                 QStringLiteral("Configurer l'imprimante"));
        // The shortcut codes become the keys a user presses.
        QCOMPARE(form->EnregistrerSous1->Action()->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_F12));
        QCOMPARE(form->Nouveau1->Action()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
        // "Enregistrer Sous..." shows the picture of "Enregistrer".
        QCOMPARE(form->EnregistrerSous1->Bitmap().Xpm, form->Enregistrer1->Bitmap().Xpm);
        QVERIFY(form->Quitter1->Bitmap().Xpm != form->Tutoriel1->Bitmap().Xpm);
        QVERIFY(form->Tutoriel1->Bitmap().Xpm != form->Credit1->Bitmap().Xpm);
    }

    void pictureButtons() {
        FormFixture f;
        TForm1 *form = f.form;
        struct Row {
            TSpeedButton *button;
            int left;
            const char *hint;
            bool tooltip;
            TNotifyEvent command;
            TMenuItem *sameAs;
        };
#ifdef PAVELIN_EARLIER
        const bool printFindTips = false;
#else
        const bool printFindTips = true;
#endif
        const Row rows[] = {
            {form->SpeedButton1,
             0,
             "Nouveau",
             true,
             {form, &TForm1::Nouveau1Click},
             form->Nouveau1},
            {form->SpeedButton2, 24, "Ouvrir", true, {form, &TForm1::Ouvrir1Click}, form->Ouvrir1},
            {form->SpeedButton3,
             48,
             "Enregistrer",
             true,
             {form, &TForm1::Enregistrer1Click},
             form->Enregistrer1},
            {form->SpeedButton4, 80, "Couper", true, {form, &TForm1::Couper1Click}, form->Couper1},
            {form->SpeedButton5, 104, "Copier", true, {form, &TForm1::Copier1Click}, form->Copier1},
            {form->SpeedButton6, 128, "Coller", true, {form, &TForm1::Coller1Click}, form->Coller1},
            {form->SpeedButton7, 160, "Police", true, {form, &TForm1::Police1Click}, form->Police1},
            {form->SpeedButton9,
             192,
             "Imprimer",
             printFindTips,
             {form, &TForm1::Imprimer1Click},
             form->Imprimer1},
            {form->SpeedButton10,
             216,
             "Configurer l'imprimante",
             printFindTips,
             {form, &TForm1::Configurationdelimprimante1Click},
             form->Configurationdelimprimante1},
            {form->SpeedButton8,
             248,
             "Chercher",
             printFindTips,
             {form, &TForm1::Chercher1Click},
             form->Chercher1},
#ifndef PAVELIN_EARLIER
            {form->SpeedButton11,
             272,
             "Remplacer",
             true,
             {form, &TForm1::ReplaceButton1Click},
             form->Remplacer1},
#endif
        };
        int buttons = 0;
        for (QObject *child : form->ClientWidget()->children())
            buttons += qobject_cast<QToolButton *>(child) != nullptr;
        QCOMPARE(buttons, int(std::size(rows)));
        for (const Row &row : rows) {
            QCOMPARE(row.button->Left(), row.left);
            QCOMPARE(row.button->Top(), 0);
            QCOMPARE(row.button->Width(), 23);
            QCOMPARE(row.button->Height(), 22);
            QCOMPARE(row.button->Hint(), QString::fromUtf8(row.hint));
            QCOMPARE(row.button->ShowHint(), row.tooltip);
            QCOMPARE(row.button->Widget()->toolTip(),
                     row.tooltip ? QString::fromUtf8(row.hint) : QString());
            QCOMPARE(row.button->Widget()->accessibleName(), QString::fromUtf8(row.hint));
            QCOMPARE(row.button->Glyph().Width(), 16);
            QCOMPARE(row.button->Glyph().Height(), 16);
            QCOMPARE(row.button->Glyph().Xpm, row.sameAs->Bitmap().Xpm);
            // The picture as drawn at 1x; at 200 % each of its pixels a block
            // of four, and at 150 % in its own colours only, never blended.
            const QIcon icon = qobject_cast<QToolButton *>(row.button->Widget())->icon();
            const QImage art = QPixmap(row.button->Glyph().Xpm).toImage();
            QSet<QRgb> colours;
            for (int y = 0; y < art.height(); ++y)
                for (int x = 0; x < art.width(); ++x)
                    colours.insert(art.pixel(x, y));
            for (const double scale : {1.0, 1.5, 2.0}) {
                const QImage shown = icon.pixmap(QSize(16, 16), scale).toImage();
                QCOMPARE(shown.size(), art.size() * scale);
                bool sharp = true;
                for (int y = 0; y < shown.height(); ++y) {
                    for (int x = 0; x < shown.width(); ++x) {
                        const QRgb c = shown.pixel(x, y);
                        sharp = sharp &&
                                (scale == 1.5 ? colours.contains(c)
                                              : c == art.pixel(int(x / scale), int(y / scale)));
                    }
                }
                QVERIFY2(sharp, row.hint);
            }
            QVERIFY(row.button->OnClick == row.command);
        }
    }

    void editorAndBuffer() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        QCOMPARE(edit->Left(), 0);
        QCOMPARE(edit->Top(), 24);
        QCOMPARE(edit->Width(), 800);
        QCOMPARE(edit->Height(), 600);
        auto *qedit = qobject_cast<QTextEdit *>(edit->Widget());
        QVERIFY(qedit);
        QCOMPARE(qedit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(qedit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(edit->WordWrap());
        QVERIFY(qedit->acceptRichText());
        QVERIFY(!qedit->isReadOnly());
        QVERIFY(!edit->WantTabs());
        QVERIFY(!edit->Modified());
        QCOMPARE(edit->Text(), QString());
        // Tab moves the focus instead of inserting a tab.
        edit->SetFocus();
        QTest::keyClick(qedit, Qt::Key_Tab);
        QCOMPARE(edit->Text(), QString());
        // Enter inserts a line break.
        edit->SetFocus();
        QTest::keyClicks(qedit, "ab");
        QTest::keyClick(qedit, Qt::Key_Return);
        QTest::keyClicks(qedit, "c");
        QCOMPARE(edit->Text(), QStringLiteral("ab\r\nc"));
        QVERIFY(edit->Modified());
        // The selection is painted only while the editor has the focus.
        const QPalette pal = qedit->palette();
        QCOMPARE(pal.color(QPalette::Inactive, QPalette::Highlight),
                 pal.color(QPalette::Inactive, QPalette::Base));
        QVERIFY(pal.color(QPalette::Active, QPalette::Highlight) !=
                pal.color(QPalette::Active, QPalette::Base));

        TMemo *memo = form->Memo1;
        QVERIFY(!memo->Visible());
        QVERIFY(!memo->Widget()->isVisible());
        QCOMPARE(memo->Left(), 216);
        QCOMPARE(memo->Top(), 280);
        QCOMPARE(memo->Width(), 185);
        QCOMPARE(memo->Height(), 89);
        QCOMPARE(memo->Lines->Text(), QStringLiteral("Memo1\r\n"));
        QVERIFY(qobject_cast<QPlainTextEdit *>(memo->Widget()));
        // The hidden buffer is out of the window, where screen readers look.
        QVERIFY(!form->ClientWidget()->findChildren<QPlainTextEdit *>().contains(
            static_cast<QPlainTextEdit *>(memo->Widget())));
        // Alt with a letter types nothing; the same letter alone does.
        edit->SetText(QString());
        edit->SetFocus();
        for (Qt::Key k : {Qt::Key_F, Qt::Key_E, Qt::Key_A})
            QTest::keyClick(qedit, k, Qt::AltModifier);
        QCOMPARE(edit->Text(), QString());
        QTest::keyClick(qedit, Qt::Key_F);
        QCOMPARE(edit->Text(), QStringLiteral("f"));
    }

    void dialogsStartWithTheirValuesAndComponentsInLayoutOrder() {
        FormFixture f;
        TForm1 *form = f.form;
        QVERIFY(form->OpenDialog1->FileName.isEmpty());
        QVERIFY(form->OpenDialog1->Title.isEmpty());
        QVERIFY(form->OpenDialog1->Filter.isEmpty());
        QVERIFY(form->OpenDialog1->DefaultExt.isEmpty());
        QVERIFY(form->OpenDialog1->InitialDir.isEmpty());
        QVERIFY(form->SaveDialog1->FileName.isEmpty());
        QVERIFY(form->SaveDialog1->Filter.isEmpty());
        QCOMPARE(form->FontDialog1->Font, TFont{});
        QCOMPARE(form->FontDialog1->Font.Name, QStringLiteral("MS Sans Serif"));
        QCOMPARE(form->FontDialog1->Font.Height, -11);
        QCOMPARE(form->FontDialog1->Font.Style, 0u);
        QCOMPARE(form->FontDialog1->MinFontSize, 0);
        QCOMPARE(form->FontDialog1->MaxFontSize, 0);
        QCOMPARE(form->FindDialog1->FindText(), QString());
        QCOMPARE(form->ReplaceDialog1->FindText(), QStringLiteral("Salut"));
        QCOMPARE(form->ReplaceDialog1->ReplaceText(), QStringLiteral("l"));
#ifdef PAVELIN_EARLIER
        QVERIFY(!form->ReplaceDialog1->OnReplace);
#else
        QVERIFY(form->ReplaceDialog1->OnReplace == TNotifyEvent(form, &TForm1::Remplacer1Click));
#endif
        QVERIFY(!form->FindDialog1->OnFind);
        QVERIFY(!form->ReplaceDialog1->OnFind);

        QStringList names;
        for (TComponent *c : form->Components())
            names << c->Name;
        QStringList expected{QStringLiteral("SpeedButton1"),  QStringLiteral("SpeedButton2"),
                             QStringLiteral("SpeedButton3"),  QStringLiteral("SpeedButton4"),
                             QStringLiteral("SpeedButton5"),  QStringLiteral("SpeedButton6"),
                             QStringLiteral("SpeedButton7"),  QStringLiteral("SpeedButton9"),
                             QStringLiteral("SpeedButton10"), QStringLiteral("SpeedButton8")};
#ifndef PAVELIN_EARLIER
        expected << QStringLiteral("SpeedButton11");
#endif
        expected << QStringLiteral("RichEdit1") << QStringLiteral("Memo1")
                 << QStringLiteral("MainMenu1");
        for (const char *n : {"Fichier1",
                              "Nouveau1",
                              "Ouvrir1",
                              "Enregistrer1",
                              "EnregistrerSous1",
                              "N1",
                              "Imprimer1",
                              "Configurationdelimprimante1",
                              "N4",
                              "Quitter1",
                              "Edition1",
                              "Dfaire1",
                              "N2",
                              "Couper1",
                              "Copier1",
                              "Coller1",
                              "Slectionnertout1",
                              "N3",
                              "Chercher1",
                              "Remplacer1",
                              "Format1",
                              "Retourautomatiquelaligne1",
                              "Police1",
                              "Aide1",
                              "Tutoriel1",
                              "Credit1",
                              "OpenDialog1",
                              "SaveDialog1",
                              "FontDialog1",
                              "PrintDialog1",
                              "PrinterSetupDialog1",
                              "FindDialog1",
                              "ReplaceDialog1"})
            expected << QString::fromLatin1(n);
        QCOMPARE(names, expected);
    }

    void helpEntriesDoNothingAndQuitCloses() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        form->RichEdit1->SetText(QStringLiteral("Lettre"));
        form->RichEdit1->SetModified(false);
        form->Tutoriel1->Click();
        form->Credit1->Click();
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("Lettre"));
        QVERIFY(!form->RichEdit1->Modified());
        QVERIFY(form->Widget()->isVisible());
        QVERIFY(!Application->Terminated());
        // Ctrl+Q, from the keyboard, closes the window and ends the loop.
        form->Widget()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form->Widget()));
        QTest::keyClick(form->Widget(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form->Widget()->isVisible());
        QVERIFY(Application->Terminated());
    }

    // A screen reader announces the buttons by their hints and the menu
    // entries by their captions.
    void accessibleNames() {
        FormFixture f;
        f.show();
        for (TSpeedButton *b : {f.form->SpeedButton1, f.form->SpeedButton8, f.form->SpeedButton9,
                                f.form->SpeedButton10}) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(b->Widget());
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), b->Hint());
        }
        QAccessibleInterface *editor =
            QAccessible::queryAccessibleInterface(f.form->RichEdit1->Widget());
        QVERIFY(editor);
        QCOMPARE(editor->text(QAccessible::Name), QStringLiteral("Document"));
        QMenu *menu = f.form->Edition1->Action()->menu();
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(menu);
        QVERIFY(a);
        QStringList names;
        for (int i = 0; i < a->childCount(); ++i)
            names << a->child(i)->text(QAccessible::Name);
        QVERIFY2(names.contains(QStringLiteral("Défaire")) &&
                     names.contains(QStringLiteral("Sélectionner tout")),
                 qPrintable(names.join(QLatin1Char('|'))));
    }

    void qtSpeaksFrench() {
        FormFixture f;
        QMessageBox box(QMessageBox::NoIcon, QString(), QString(),
                        QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Oui"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')),
                 QStringLiteral("Non"));
    }

    void cleanupTestCase() {
        QCOMPARE(missed, 0);
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
