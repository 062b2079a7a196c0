// SPDX-License-Identifier: GPL-3.0-or-later
// Rich text between the document model and the toolkit's text documents: a
// range taken cheaply and made into rich text when asked, and paragraphs
// inserted as a reader hands them over.
#pragma once

#include "core/rtf.h"
#include "platform/classes.h"

#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextFormat>
#include <memory>
#include <vector>

class QTextDocument;
class QTextList;

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

} // namespace qtrich
