// SPDX-License-Identifier: GPL-3.0-or-later
// The current printer, shared by the print dialogs and the editor.
#pragma once

#include <QString>

class QPrinter;
class QTextDocument;

QPrinter &CurrentPrinter();
// Prints a document on the current printer; throws Exception on failure.
void PrintDocument(const QTextDocument *doc, const QString &title);
