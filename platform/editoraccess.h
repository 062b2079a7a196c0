// SPDX-License-Identifier: GPL-3.0-or-later
// The one way below TRichEdit's interface, for the test suites and the
// benchmark: the widget the user types into, its document layout, the
// document's rich text, and the mapping between the editor's positions (a
// line break counted as CR LF) and the document's.
#pragma once

#include "core/rtf.h"

class BlockLayout;
class QTextEdit;
class TRichEdit;

namespace editoraccess {

QTextEdit *Widget(const TRichEdit *edit);
BlockLayout *Layout(const TRichEdit *edit);
// The whole document, every format resolved against the editor's font.
rtf::Document Extract(const TRichEdit *edit);
int ToDocument(const TRichEdit *edit, int editorPosition);
int ToEditor(const TRichEdit *edit, int documentPosition);

} // namespace editoraccess
