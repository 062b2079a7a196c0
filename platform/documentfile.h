// SPDX-License-Identifier: GPL-3.0-or-later
// A document file read into the editor and written from it, with a progress
// window, within the memory there is.
#pragma once

#include <QString>

class RichEditWidget;

// Empties the editor, then reads the file: RTF with its formatting, anything
// else as plain text. False when the user cancelled it. A cancelled Open, a
// file that can't be read or would not fit in memory leave the editor empty
// and unmodified (the last two throw Exception with the reason in French).
bool LoadDocumentFile(RichEditWidget *editor, const QString &fileName);

// Writes the whole document as RTF, replacing the file; `defaultFont` is the
// one written as \f0. Refuses in French what memory can't hold.
void SaveDocumentFile(RichEditWidget *editor, const QString &defaultFont, const QString &fileName);
