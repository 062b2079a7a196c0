// SPDX-License-Identifier: GPL-3.0-or-later
// The Format menu: line wrapping and the display font.
#include "ui/form1.h"

void TForm1::Retourautomatiquelaligne1Click(TObject *) {
    RichEdit1->SetWordWrap(!RichEdit1->WordWrap());
}

void TForm1::Police1Click(TObject *) {
    if (FontDialog1->Execute()) RichEdit1->SetFont(FontDialog1->Font);
}
