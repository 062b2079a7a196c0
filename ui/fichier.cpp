// SPDX-License-Identifier: GPL-3.0-or-later
// The Fichier menu: documents, printing and quitting.
#include "ui/form1.h"

#include "core/freememory.h"

#include <new>

namespace {
const char *const savePrompt = "Voulez-vous enregistrer les modifications ?";
const char *const appCaption = "Pavelin";
// Save copies the text to the clipboard, from there to the buffer, and makes
// its UTF-8 with CR LF: about 14 bytes a character at the most.
constexpr qint64 SaveNeedPerChar = 14;
constexpr qint64 SaveReserve = qint64(16) << 20;
} // namespace

bool TForm1::OfferToSave() {
    if (!RichEdit1->Modified()) return true;
    if (MessageBoxA(nullptr, savePrompt, appCaption, MB_YESNO) != IDYES) return true;
    EnregistrerSous1Click(this);
    // A cancelled Save As keeps the document: the command stops here.
    return !RichEdit1->Modified();
}

void TForm1::Nouveau1Click(TObject *) {
    if (!OfferToSave()) return;
    RichEdit1->Lines->Clear();
    SaveDialog1->FileName.clear();
}

void TForm1::Ouvrir1Click(TObject *) {
    if (!OfferToSave()) return;
    if (!OpenDialog1->Execute()) return;
    // Empty and unmodified when cancelled, as when the file can't be read.
    RichEdit1->Lines->LoadFromFile(OpenDialog1->FileName);
}

void TForm1::Enregistrer1Click(TObject *Sender) {
    if (SaveDialog1->FileName.isEmpty()) {
        EnregistrerSous1Click(Sender);
        return;
    }
    const QString action = QStringLiteral("enregistrer");
    RequireMemory(SaveReserve + SaveNeedPerChar * RichEdit1->GetTextLen(), action,
                  SaveDialog1->FileName);
    try {
        RichEdit1->SelectAll();
        RichEdit1->CopyToClipboard();
        Memo1->Clear();
        // An empty document copies nothing: the buffer then stays empty rather
        // than taking whatever the clipboard held before.
        if (RichEdit1->SelLength() > 0) Memo1->PasteFromClipboard();
        Memo1->Lines->SaveToFile(SaveDialog1->FileName);
    } catch (const std::bad_alloc &) {
        Memo1->Clear();
        RaiseOutOfMemory(action, SaveDialog1->FileName);
    }
}

void TForm1::EnregistrerSous1Click(TObject *) {
    SaveDialog1->Title = QStringLiteral("Enregistrer sous...");
    if (!SaveDialog1->Execute()) return;
    RichEdit1->Lines->SaveToFile(SaveDialog1->FileName);
    RichEdit1->SetModified(false);
}

void TForm1::Imprimer1Click(TObject *) {
    if (!PrintDialog1->Execute()) return;
    RichEdit1->Print(QString());
}

void TForm1::Configurationdelimprimante1Click(TObject *) {
    PrinterSetupDialog1->Execute();
}

void TForm1::Quitter1Click(TObject *) {
    Close();
}

void TForm1::FormCloseQuery(TObject *, bool &CanClose) {
    CanClose = OfferToSave();
}
