// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions between rich text and Qt's text documents.
#pragma once

#include "core/rtf.h"
#include "platform/classes.h"

#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextFormat>
#include <memory>
#include <unordered_map>
#include <vector>

class QTextDocument;
class QTextList;
class QMimeData;

namespace qtrich {

// A range of a document, taken cheaply: its raw text and where the formats
// change. The rich text is built from it only when somebody asks for it.
class Snapshot {
public:
    Snapshot(const QTextDocument *doc, int from, int to, const TFont &defaults);
    // Paragraph breaks as U+2029, line breaks inside a paragraph as U+2028.
    const QString &rawText() const { return text_; }
    // Formats resolved against the editor's font at the time of the snapshot.
    rtf::Document document() const;
    // The text as other programs take it: breaks as '\n', and each list item
    // whose start is in the range begins with its marker and a tab.
    QString plainText() const;

private:
    struct Span {
        int start;  // in text_
        int format; // index in formats_
    };
    QString text_;
    std::vector<Span> spans_;          // where the character format changes, ascending
    std::vector<int> blockFormats_;    // each paragraph's format, index in formats_
    std::vector<rtf::ListItem> lists_; // each paragraph's place in a list
    QList<QTextFormat> formats_;       // the document's format table
    TFont defaults_;
};

// The format of a paragraph's first character (its own format when empty):
// the one its list marker is drawn and printed in.
QTextCharFormat leadingCharFormat(const QTextBlock &block);
// A list item's marker as it stands ("3.", "iv)", "•"); empty for other paragraphs.
QString listMarker(const QTextBlock &block);

// The numbers of list items. A long list is held in parts; an item's number
// counts the items of the parts before its own, which are remembered here
// until the document changes before the part: forgetFrom(position) after
// every change, with the first position it changed.
class ListNumbering {
public:
    // The item's number as its marker shows it; 0 for other paragraphs.
    int number(const QTextBlock &block);
    QString marker(const QTextBlock &block);
    void forgetFrom(int position);

private:
    struct Known {
        int before; // items in the parts before
        int start;  // the part's first position
    };
    int itemsBefore(const QTextList *part);
    std::unordered_map<const QTextList *, Known> known_;
};
// Writes every list item's marker into its paragraph as text and a tab, and
// takes the paragraphs out of their lists: for a copy of the document that the
// toolkit lays out (printing), which numbers lists its own way.
void markersToText(QTextDocument *doc);

// Formats resolved against `defaults`, the editor's font.
rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults);
// Inserts at the cursor; with `intoEmpty` the first paragraph's format is
// applied to the cursor's block too.
void insert(QTextCursor &cursor, const rtf::Document &doc, bool intoEmpty);

// The same, a paragraph at a time, as a reader hands them over, in edit
// blocks from construction to finish(): one for a short document, one every
// few thousand paragraphs for a long one (inside an edit block of the
// caller's, one undo step all the same).
class Inserter {
public:
    Inserter(QTextCursor &cursor, bool intoEmpty);
    ~Inserter();
    Inserter(const Inserter &) = delete;
    Inserter &operator=(const Inserter &) = delete;

    void add(const rtf::Paragraph &p);
    void finish();

private:
    struct Formats;
    QTextCursor &cursor_;
    std::unique_ptr<Formats> formats_;
    const QTextCharFormat *charFormat_ = nullptr; // the last run's, owned by formats_
    rtf::ParaFormat lastPara_;
    QTextBlockFormat blockFormat_;
    QTextBlockFormat itemFormat_; // blockFormat_ in the list part itemPart_
    const QTextList *itemPart_ = nullptr;
    size_t count_ = 0;
    size_t sinceEdit_ = 0; // paragraphs added since the edit block began
    bool intoEmpty_;
    bool finished_ = false;
};

// Rich text pasted as HTML, as this editor holds it: paragraphs of formatted
// runs. A table's rows become paragraphs with their cells separated by tabs (a
// nested table's cells go into their cell, separated by spaces); list items
// get their number or bullet and a tab in front; images and other objects
// leave nothing. No character of the toolkit's own remains.
rtf::Document fromHtml(const QString &html, const TFont &defaults);

// Clipboard data holding plain text and, produced when asked for, RTF.
QMimeData *makeMimeData(Snapshot snapshot, const QString &plain, const QString &defaultFont);
// The RTF a clipboard holds under any of its usual names, or an empty array.
QByteArray rtfData(const QMimeData *source);

} // namespace qtrich
