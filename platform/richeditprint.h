// SPDX-License-Identifier: GPL-3.0-or-later
// Printing a document as the editor shows it.
#pragma once

#include <QString>

class QTextDocument;

// Prints a document on the current printer, list markers as the editor draws
// them; throws Exception on failure.
void PrintDocument(const QTextDocument *doc, const QString &title);
