// SPDX-License-Identifier: GPL-3.0-or-later
// The Edition menu: undo, the clipboard, find and replace.
#include "ui/form1.h"

void TForm1::Dfaire1Click(TObject *) {
    SendMessageA(RichEdit1->Handle(), WM_UNDO, 0, 0);
}

void TForm1::Couper1Click(TObject *) {
    RichEdit1->CutToClipboard();
}

void TForm1::Copier1Click(TObject *) {
    RichEdit1->CopyToClipboard();
}

void TForm1::Coller1Click(TObject *) {
    RichEdit1->PasteFromClipboard();
}

void TForm1::Slectionnertout1Click(TObject *) {
    RichEdit1->SelectAll();
}

// Both dialogs open beside the editor's top-right corner.
void TForm1::PlaceDialog(TFindDialog *dialog) {
    dialog->SetPosition({RichEdit1->Left() + RichEdit1->Width(), RichEdit1->Top()});
}

void TForm1::Chercher1Click(TObject *) {
    if (!FindDialog1->Execute()) return;
    PlaceDialog(FindDialog1);
    const int start =
        RichEdit1->SelLength() != 0 ? RichEdit1->SelStart() + RichEdit1->SelLength() : 0;
    const int length = RichEdit1->GetTextLen() - start;
    const QString text = FindDialog1->FindText();
    const int found = RichEdit1->FindText(text, start, length, stMatchCase);
    if (found == -1) return;
    RichEdit1->SetFocus();
    RichEdit1->SetSelStart(found);
    RichEdit1->SetSelLength(int(text.length()));
}

#ifndef PAVELIN_EARLIER

void TForm1::ReplaceButton1Click(TObject *) {
    PlaceDialog(ReplaceDialog1);
    ReplaceDialog1->Execute();
}

void TForm1::Remplacer1Click(TObject *) {
    RichEdit1->SetSelText(ReplaceDialog1->ReplaceText());
}

#else

// One use replaces the first occurrence of the dialog's find text.
void TForm1::Remplacer1Click(TObject *) {
    if (!ReplaceDialog1->Execute()) return;
    const QString find = ReplaceDialog1->FindText();
    const int p = find.isEmpty() ? 0 : int(RichEdit1->Lines->Text().indexOf(find)) + 1;
    if (p <= 0) return;
    RichEdit1->SetSelStart(p - 1);
    RichEdit1->SetSelLength(int(find.length()));
    RichEdit1->SetSelText(ReplaceDialog1->ReplaceText());
}

#endif
