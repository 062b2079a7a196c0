// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its components, in declaration order, and its commands.
#pragma once

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/forms.h"
#include "platform/menus.h"
#include "platform/richedit.h"
#include "platform/winapi.h"

class TForm1 : public TForm {
public:
    TMainMenu *MainMenu1;
    TMenuItem *Fichier1;
    TMenuItem *Nouveau1;
    TMenuItem *Ouvrir1;
    TMenuItem *Enregistrer1;
    TMenuItem *EnregistrerSous1;
    TMenuItem *N1;
    TMenuItem *Imprimer1;
    TMenuItem *Configurationdelimprimante1;
    TMenuItem *Quitter1;
    TMenuItem *Edition1;
    TMenuItem *Dfaire1;
    TMenuItem *N2;
    TMenuItem *Couper1;
    TMenuItem *Copier1;
    TMenuItem *Coller1;
    TMenuItem *N3;
    TMenuItem *Chercher1;
    TMenuItem *Remplacer1;
    TMenuItem *Aide1;
    TMenuItem *Tutoriel1;
    TMenuItem *Credit1;
    TOpenDialog *OpenDialog1;
    TSaveDialog *SaveDialog1;
    TFontDialog *FontDialog1;
    TPrintDialog *PrintDialog1;
    TPrinterSetupDialog *PrinterSetupDialog1;
    TFindDialog *FindDialog1;
    TReplaceDialog *ReplaceDialog1;
    TMenuItem *N4;
    TSpeedButton *SpeedButton1;
    TSpeedButton *SpeedButton2;
    TSpeedButton *SpeedButton3;
    TSpeedButton *SpeedButton4;
    TSpeedButton *SpeedButton5;
    TSpeedButton *SpeedButton6;
    TSpeedButton *SpeedButton7;
    TMenuItem *Slectionnertout1;
    TRichEdit *RichEdit1;
    TSpeedButton *SpeedButton9;
    TSpeedButton *SpeedButton10;
    TMenuItem *Format1;
    TMenuItem *Retourautomatiquelaligne1;
    TMenuItem *Police1;
    TSpeedButton *SpeedButton8;
    TMemo *Memo1;
#ifndef PAVELIN_EARLIER
    TSpeedButton *SpeedButton11;
#endif

    // Builds the window from its layout, then greets the user.
    explicit TForm1(TComponent *Owner);

    // Fichier
    void Nouveau1Click(TObject *Sender);
    void Ouvrir1Click(TObject *Sender);
    void Enregistrer1Click(TObject *Sender);
    void EnregistrerSous1Click(TObject *Sender);
    void Imprimer1Click(TObject *Sender);
    void Configurationdelimprimante1Click(TObject *Sender);
    void Quitter1Click(TObject *Sender);
    // Asked before the window closes: unsaved changes are offered for saving.
    void FormCloseQuery(TObject *Sender, bool &CanClose);
    // Edition
    void Dfaire1Click(TObject *Sender);
    void Couper1Click(TObject *Sender);
    void Copier1Click(TObject *Sender);
    void Coller1Click(TObject *Sender);
    void Slectionnertout1Click(TObject *Sender);
    void Chercher1Click(TObject *Sender);
#ifndef PAVELIN_EARLIER
    void ReplaceButton1Click(TObject *Sender);
#endif
    void Remplacer1Click(TObject *Sender);
    // Format
    void Retourautomatiquelaligne1Click(TObject *Sender);
    void Police1Click(TObject *Sender);
    // Aide
    void Tutoriel1Click(TObject *Sender);
    void Credit1Click(TObject *Sender);

private:
    // The save prompt of New, Open and closing; true when the command may go on.
    bool OfferToSave();
    void PlaceDialog(TFindDialog *dialog);
};

extern TForm1 *Form1;
