// SPDX-License-Identifier: GPL-3.0-or-later
// Formats between the document model and the toolkit's text documents:
// paragraphs, runs (built once each), and a run's format resolved against the
// editor's font.
#pragma once

#include "core/rtf.h"
#include "platform/classes.h"

#include <QTextFormat>
#include <unordered_map>

namespace qtrich {

constexpr double TwipsPerPixel = 15.0; // 1440 twips an inch, 96 pixels an inch

// What a run or paragraph keeps as the RTF it was read as (rtf::CharFormat,
// rtf::ParaFormat), as properties of its format: they go along with the
// text through editing, and leave with the last of it.
enum KeptProperty {
    CharExtraProperty = QTextFormat::UserProperty + 0x300, // QByteArray
    FieldsProperty,                                        // QByteArrayList
    NoteProperty,                                          // QByteArray
    KeptBeforeProperty,                                    // QByteArray
    ParaExtraProperty,                                     // QByteArray
    ParaBeforeProperty,                                    // QByteArray
    ParaAfterProperty,                                     // QByteArray
    ParaTablesProperty,                                    // QByteArray
    LineSpacingProperty,                                   // int, twips (\sl)
    LineMultipleProperty,                                  // bool (\slmult)
    ParaBoxProperty,                                       // QList<int>: rtf::ParaBox
    HiddenProperty,                                        // bool: \v, not shown
    HiddenColorProperty                                    // int: its colour, or rtf::NoColor
};

// A paragraph's borders and shading as its format holds them.
rtf::ParaBox paraBoxOf(const QTextBlockFormat &f);

rtf::ParaFormat paraOf(const QTextBlockFormat &f);
QTextBlockFormat blockFormatOf(const rtf::ParaFormat &p);
// A run's format, with what the run leaves unset taken from the editor's font.
rtf::CharFormat resolve(const QTextCharFormat &f, const TFont &defaults);

struct CharFormatHash {
    size_t operator()(const rtf::CharFormat &c) const;
};

// Builds each distinct run format once. QTextFormat::setProperty is slow, and
// a format object used again keeps the hash the document's format table needs,
// so a document with few formats costs one lookup per run. The colour is set
// last on a copy of the format without it: documents with many colours and
// few other formats stay cheap too, and give the very same formats.
class FormatCache {
public:
    const QTextCharFormat &get(const rtf::CharFormat &c);

private:
    static constexpr size_t Limit = 4096;
    std::unordered_map<rtf::CharFormat, QTextCharFormat, CharFormatHash> full_, uncoloured_;
};

} // namespace qtrich
