// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout and command table.
#include "ui/form1.h"

#include "resources/chercher.xpm"
#include "resources/coller.xpm"
#include "resources/configimprimante.xpm"
#include "resources/copier.xpm"
#include "resources/couper.xpm"
#include "resources/credit.xpm"
#include "resources/defaire.xpm"
#include "resources/enregistrer.xpm"
#include "resources/imprimer.xpm"
#include "resources/nouveau.xpm"
#include "resources/ouvrir.xpm"
#include "resources/police.xpm"
#include "resources/quitter.xpm"
#include "resources/remplacer.xpm"
#include "resources/selectionnertout.xpm"
#include "resources/tutoriel.xpm"

TForm1 *Form1 = nullptr;

namespace {
TSpeedButton *makeButton(TForm1 *form, const char *name, int left, const char *hint,
                         const char *const *picture, bool showHint, TNotifyEvent onClick) {
    auto *button = new TSpeedButton(form);
    button->Name = QString::fromLatin1(name);
    button->SetParent(form);
    button->SetBounds(left, 0, 23, 22);
    button->SetGlyph(TPicture{picture});
    button->SetHint(QString::fromUtf8(hint));
    button->SetShowHint(showHint);
    button->OnClick = onClick;
    return button;
}

TMenuItem *makeItem(TForm1 *form, TMenuItem *parent, const char *name, const char *caption,
                    TShortCut shortCut = 0, const char *const *picture = nullptr,
                    TNotifyEvent onClick = {}) {
    auto *item = new TMenuItem(form);
    item->Name = QString::fromLatin1(name);
    item->SetCaption(QString::fromUtf8(caption));
    if (shortCut) item->SetShortCut(shortCut);
    if (picture) item->SetBitmap(TPicture{picture});
    item->OnClick = onClick;
    if (parent) parent->Add(item);
    return item;
}

#ifdef PAVELIN_EARLIER
constexpr bool printAndFindHints = false; // these three follow the window: off
#else
constexpr bool printAndFindHints = true;
#endif
} // namespace

TForm1::TForm1(TComponent *Owner) : TForm(Owner) {
    Name = QStringLiteral("Form1");
    SetCaption(QStringLiteral("Pavelin"));
    SetHint(QStringLiteral("Pavelin"));
    SetShowHint(false);
    SetColor(clBtnFace);
    SetFont(TFont{});
    SetClientSize(800, 624);

    SpeedButton1 = makeButton(this, "SpeedButton1", 0, "Nouveau", nouveau_xpm, true,
                              {this, &TForm1::Nouveau1Click});
    SpeedButton2 = makeButton(this, "SpeedButton2", 24, "Ouvrir", ouvrir_xpm, true,
                              {this, &TForm1::Ouvrir1Click});
    SpeedButton3 = makeButton(this, "SpeedButton3", 48, "Enregistrer", enregistrer_xpm, true,
                              {this, &TForm1::Enregistrer1Click});
    SpeedButton4 = makeButton(this, "SpeedButton4", 80, "Couper", couper_xpm, true,
                              {this, &TForm1::Couper1Click});
    SpeedButton5 = makeButton(this, "SpeedButton5", 104, "Copier", copier_xpm, true,
                              {this, &TForm1::Copier1Click});
    SpeedButton6 = makeButton(this, "SpeedButton6", 128, "Coller", coller_xpm, true,
                              {this, &TForm1::Coller1Click});
    SpeedButton7 = makeButton(this, "SpeedButton7", 160, "Police", police_xpm, true,
                              {this, &TForm1::Police1Click});
    SpeedButton9 = makeButton(this, "SpeedButton9", 192, "Imprimer", imprimer_xpm,
                              printAndFindHints, {this, &TForm1::Imprimer1Click});
    SpeedButton10 =
        makeButton(this, "SpeedButton10", 216, "Configurer l'imprimante", configimprimante_xpm,
                   printAndFindHints, {this, &TForm1::Configurationdelimprimante1Click});
    SpeedButton8 = makeButton(this, "SpeedButton8", 248, "Chercher", chercher_xpm,
                              printAndFindHints, {this, &TForm1::Chercher1Click});
#ifndef PAVELIN_EARLIER
    SpeedButton11 = makeButton(this, "SpeedButton11", 272, "Remplacer", remplacer_xpm, true,
                               {this, &TForm1::ReplaceButton1Click});
#endif

    RichEdit1 = new TRichEdit(this);
    RichEdit1->Name = QStringLiteral("RichEdit1");
    RichEdit1->SetParent(this);
    RichEdit1->SetBounds(0, 24, 800, 600);
    RichEdit1->SetTabOrder(0);
    RichEdit1->SetFont(Font());

    Memo1 = new TMemo(this);
    Memo1->Name = QStringLiteral("Memo1");
    Memo1->SetVisible(false);
    Memo1->SetParent(this);
    Memo1->SetBounds(216, 280, 185, 89);
    Memo1->SetTabOrder(1);
    Memo1->Lines->SetText(QStringLiteral("Memo1"));

    MainMenu1 = new TMainMenu(this);
    MainMenu1->Name = QStringLiteral("MainMenu1");
    Fichier1 = makeItem(this, nullptr, "Fichier1", "Fichier");
    Nouveau1 = makeItem(this, Fichier1, "Nouveau1", "Nouveau", ShortCut('N', ssCtrl), nouveau_xpm,
                        {this, &TForm1::Nouveau1Click});
    Ouvrir1 = makeItem(this, Fichier1, "Ouvrir1", "Ouvrir...", ShortCut('O', ssCtrl), ouvrir_xpm,
                       {this, &TForm1::Ouvrir1Click});
    Enregistrer1 = makeItem(this, Fichier1, "Enregistrer1", "Enregistrer", ShortCut('S', ssCtrl),
                            enregistrer_xpm, {this, &TForm1::Enregistrer1Click});
    EnregistrerSous1 =
        makeItem(this, Fichier1, "EnregistrerSous1", "Enregistrer Sous...",
                 ShortCut(VK_F12, ssCtrl), enregistrer_xpm, {this, &TForm1::EnregistrerSous1Click});
    N1 = makeItem(this, Fichier1, "N1", "-");
    Imprimer1 = makeItem(this, Fichier1, "Imprimer1", "Imprimer", ShortCut('P', ssCtrl),
                         imprimer_xpm, {this, &TForm1::Imprimer1Click});
    Imprimer1->SetHint(QStringLiteral("Imprimer"));
    Configurationdelimprimante1 =
        makeItem(this, Fichier1, "Configurationdelimprimante1", "Configuration de l'imprimante...",
                 0, configimprimante_xpm, {this, &TForm1::Configurationdelimprimante1Click});
    Configurationdelimprimante1->SetHint(QStringLiteral("Configurer l'imprimante"));
    N4 = makeItem(this, Fichier1, "N4", "-");
    Quitter1 = makeItem(this, Fichier1, "Quitter1", "Quitter", ShortCut('Q', ssCtrl), quitter_xpm,
                        {this, &TForm1::Quitter1Click});

    Edition1 = makeItem(this, nullptr, "Edition1", "Edition");
    Dfaire1 = makeItem(this, Edition1, "Dfaire1", "Défaire", ShortCut('Z', ssCtrl), defaire_xpm,
                       {this, &TForm1::Dfaire1Click});
    N2 = makeItem(this, Edition1, "N2", "-");
    Couper1 = makeItem(this, Edition1, "Couper1", "Couper", ShortCut('X', ssCtrl), couper_xpm,
                       {this, &TForm1::Couper1Click});
    Copier1 = makeItem(this, Edition1, "Copier1", "Copier", ShortCut('C', ssCtrl), copier_xpm,
                       {this, &TForm1::Copier1Click});
    Coller1 = makeItem(this, Edition1, "Coller1", "Coller", ShortCut('V', ssCtrl), coller_xpm,
                       {this, &TForm1::Coller1Click});
    Slectionnertout1 =
        makeItem(this, Edition1, "Slectionnertout1", "Sélectionner tout", ShortCut('A', ssCtrl),
                 selectionnertout_xpm, {this, &TForm1::Slectionnertout1Click});
    N3 = makeItem(this, Edition1, "N3", "-");
    Chercher1 = makeItem(this, Edition1, "Chercher1", "Chercher...", ShortCut('F', ssCtrl),
                         chercher_xpm, {this, &TForm1::Chercher1Click});
#ifdef PAVELIN_EARLIER
    Remplacer1 = makeItem(this, Edition1, "Remplacer1", "Remplacer...", ShortCut('R', ssCtrl),
                          remplacer_xpm, {this, &TForm1::Remplacer1Click});
#else
    Remplacer1 = makeItem(this, Edition1, "Remplacer1", "Remplacer...", ShortCut('R', ssCtrl),
                          remplacer_xpm, {this, &TForm1::ReplaceButton1Click});
#endif

    Format1 = makeItem(this, nullptr, "Format1", "Format");
    Retourautomatiquelaligne1 =
        makeItem(this, Format1, "Retourautomatiquelaligne1", "Retour automatique à la ligne", 0,
                 nullptr, {this, &TForm1::Retourautomatiquelaligne1Click});
    Police1 = makeItem(this, Format1, "Police1", "Police...", 0, police_xpm,
                       {this, &TForm1::Police1Click});

    Aide1 = makeItem(this, nullptr, "Aide1", "Aide");
    Tutoriel1 = makeItem(this, Aide1, "Tutoriel1", "Tutoriel", 0, tutoriel_xpm,
                         {this, &TForm1::Tutoriel1Click});
    Credit1 =
        makeItem(this, Aide1, "Credit1", "Credit", 0, credit_xpm, {this, &TForm1::Credit1Click});

    for (TMenuItem *top : {Fichier1, Edition1, Format1, Aide1})
        MainMenu1->Add(top);
    SetMenu(MainMenu1);

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->Name = QStringLiteral("OpenDialog1");
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->Name = QStringLiteral("SaveDialog1");
    FontDialog1 = new TFontDialog(this);
    FontDialog1->Name = QStringLiteral("FontDialog1");
    PrintDialog1 = new TPrintDialog(this);
    PrintDialog1->Name = QStringLiteral("PrintDialog1");
    PrinterSetupDialog1 = new TPrinterSetupDialog(this);
    PrinterSetupDialog1->Name = QStringLiteral("PrinterSetupDialog1");
    FindDialog1 = new TFindDialog(this);
    FindDialog1->Name = QStringLiteral("FindDialog1");
    ReplaceDialog1 = new TReplaceDialog(this);
    ReplaceDialog1->Name = QStringLiteral("ReplaceDialog1");
    ReplaceDialog1->SetFindText(QStringLiteral("Salut"));
    ReplaceDialog1->SetReplaceText(QStringLiteral("l"));
#ifndef PAVELIN_EARLIER
    ReplaceDialog1->OnReplace = {this, &TForm1::Remplacer1Click};
#endif

    SetOnCloseQuery(this, &TForm1::FormCloseQuery);

    MessageBoxA(nullptr, "Bienvenue dans le Pavelin\nVersion 4.0", "Avant-Propos", MB_OK);
}
