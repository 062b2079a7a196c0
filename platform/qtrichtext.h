// Conversions between rich text and Qt's text documents.
#pragma once

#include "platform/classes.h"
#include "platform/rtf.h"

#include <QTextCursor>

class QTextDocument;
class QMimeData;

namespace qtrich {

// Formats resolved against `defaults`, the editor's font.
rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults);
// Inserts at the cursor; with `intoEmpty` the first paragraph's format is
// applied to the cursor's block too.
void insert(QTextCursor &cursor, const rtf::Document &doc, bool intoEmpty);

// Clipboard data holding plain text and, produced when asked for, RTF.
QMimeData *makeMimeData(rtf::Document doc, const QString &plain, const QString &defaultFont);
// The RTF a clipboard holds under any of its usual names, or an empty array.
QByteArray rtfData(const QMimeData *source);

} // namespace qtrich
