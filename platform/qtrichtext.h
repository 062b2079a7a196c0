// Conversions between rich text and Qt's text documents.
#pragma once

#include "platform/classes.h"
#include "platform/rtf.h"

#include <QTextBlockFormat>
#include <QTextCursor>
#include <memory>

class QTextDocument;
class QMimeData;

namespace qtrich {

// Formats resolved against `defaults`, the editor's font.
rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults);
// Inserts at the cursor; with `intoEmpty` the first paragraph's format is
// applied to the cursor's block too.
void insert(QTextCursor &cursor, const rtf::Document &doc, bool intoEmpty);

// The same, a paragraph at a time, as a reader hands them over; one edit
// block from construction to finish().
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
    size_t count_ = 0;
    bool intoEmpty_;
    bool finished_ = false;
};

// Clipboard data holding plain text and, produced when asked for, RTF.
QMimeData *makeMimeData(rtf::Document doc, const QString &plain, const QString &defaultFont);
// The RTF a clipboard holds under any of its usual names, or an empty array.
QByteArray rtfData(const QMimeData *source);

} // namespace qtrich
