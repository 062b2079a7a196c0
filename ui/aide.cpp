// SPDX-License-Identifier: GPL-3.0-or-later
// The Aide menu: its two entries exist and do nothing.
#include "ui/form1.h"

void TForm1::Tutoriel1Click(TObject *) {}

void TForm1::Credit1Click(TObject *) {}
