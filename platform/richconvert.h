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
class QTextTable;

namespace qtrich {

// On the empty paragraph the toolkit keeps before a table that starts a
// document or a cell, and after a table that ends the document: made by the
// inserter, it holds no paragraph of the file and is not given back while it
// stays empty beside its table.
constexpr int TablePadProperty = QTextFormat::UserProperty + 0x120;
// A table holds at most this many columns; the text of the cells past them
// goes into the last one.
constexpr int MaxTableColumns = 64;
// The width of the text between the margins of RTF's default page (Letter,
// 1.25 inch margins), in twips: shared equally by the columns of a table that
// says nothing of its widths.
constexpr int DefaultTextWidth = 8640;

// Columns of one table, when a range is some of its cells (a selection of
// cells): cells outside them are left out.
struct CellColumns {
    const QTextTable *table = nullptr;
    int first = 0;
    int count = 0;
};

// A range of a document, taken cheaply: its raw text and where the formats
// change. The rich text is built from it only when somebody asks for it.
class Snapshot {
public:
    // A table met gives its rows back as rows of the model, a table's cells
    // in the range only (with `columns`, only those columns of that table);
    // a range inside one cell gives plain paragraphs.
    Snapshot(const QTextDocument *doc, int from, int to, const TFont &defaults,
             const CellColumns &columns = {});
    // Paragraph breaks as U+2029, line breaks inside a paragraph as U+2028,
    // cell boundaries as the toolkit's frame marks (U+FDD0, U+FDD1).
    const QString &rawText() const { return text_; }
    // Formats resolved against the editor's font at the time of the snapshot.
    rtf::Document document() const;
    // The text as other programs take it: breaks as '\n', and each list item
    // whose start is in the range begins with its marker and a tab; a table
    // row is a line, its cells separated by a tab and the paragraphs (and
    // line breaks) of a cell by a space.
    QString plainText() const;

private:
    // Each paragraph's place in a table, when the range meets one.
    struct Cell {
        int depth = 0;
        bool skip = false; // an absent cell's or a table's padding paragraph
        bool endsCell = false;
        std::shared_ptr<const rtf::RowDef> endsRow;
    };
    void markTables(const QTextDocument *doc, int from, int to, const CellColumns &columns);
    // Where the paragraph starting at `from` of the text ends.
    int nextBreak(int from) const;
    struct Span {
        int start;  // in text_
        int format; // index in formats_
    };
    QString text_;
    std::vector<Span> spans_;          // where the character format changes, ascending
    std::vector<int> blockFormats_;    // each paragraph's format, index in formats_
    std::vector<rtf::ListItem> lists_; // each paragraph's place in a list
    std::vector<Cell> cells_;          // empty when the range meets no table
    QList<QTextFormat> formats_;       // the document's format table
    TFont defaults_;
    QByteArrayList cutBoxes_; // text boxes only part of whose text is in the range
};

// Formats resolved against `defaults`, the editor's font.
rtf::Document extract(const QTextDocument *doc, int from, int to, const TFont &defaults);
// Inserts at the cursor; with `intoEmpty` the first paragraph's format is
// applied to the cursor's block too. Table rows become a table (rows of a
// nested table, a table in its cell); inserted into a cell, a table gives its
// paragraphs without the table, as word processors do that nest none.
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
    void add(rtf::Paragraph &&p); // a table's paragraph is kept, not copied
    void finish();
    // The rows of the body's tables to come, in order, counted beforehand
    // (RowCounter): each is then made whole at once, which costs the toolkit
    // a fraction of adding rows to a table already made.
    void expectRows(std::vector<int> rows);

private:
    struct Formats;
    struct Row;
    void addParagraph(const rtf::Paragraph &p);
    // A table being filled: its rows put in, and its usual row's definition
    // (chosen when it is made), whose cells are left without formats of their own.
    struct Filling {
        QTextTable *table = nullptr;
        int rows = 0; // filled
        int made = 0; // rows the table has
        std::shared_ptr<const rtf::RowDef> usual;
    };
    // Puts rows of a table at `depth` into the table (made at the cursor when
    // there is none yet) after the rows it has; their cells' paragraphs follow.
    void putRows(Filling &into, const std::vector<Row> &rows, int depth);
    void flushRows(bool all);
    void endTable();
    void afterEdit();
    // The body's table being read: its rows are held until a few thousand
    // have ended (a row's definition comes with its last paragraph), then go
    // in together, which costs the toolkit far less than a row at a time.
    std::vector<rtf::Paragraph> pending_;               // paragraphs of rows not yet put in
    std::vector<size_t> rowEnds_;                       // where each ended row of pending_ ends
    Filling table_;                                     // the body's table, while rows come
    size_t tableParagraphs_ = 0;                        // and its paragraphs put in
    std::vector<int> expected_;                         // rows of the body's tables to come
    size_t nextExpected_ = 0;                           // the next table's in expected_
    bool fresh_ = false;                                // the cursor's block holds no paragraph yet
    bool flat_ = false;                                 // inserting into a cell: no tables
    QTextBlockFormat restFormat_;                       // of the paragraph a table was put into
    std::vector<QTextTableCellFormat> cellFormats_;     // of the last row's cells
    std::shared_ptr<const rtf::RowDef> cellFormatsDef_; // the definition they were made from
    QTextCursor &cursor_;
    std::unique_ptr<Formats> formats_;
    const QTextCharFormat *charFormat_ = nullptr; // the last run's, owned by formats_
    rtf::ParaFormat lastPara_;
    QTextBlockFormat blockFormat_;
    QTextBlockFormat itemFormat_; // blockFormat_ in the list part itemPart_
    const QTextList *itemPart_ = nullptr;
    size_t count_ = 0;
    size_t sinceEdit_ = 0; // paragraphs added since the edit block began
    bool finished_ = false;
};

// Counts the rows of the body's tables in paragraphs as a reader hands them
// over, as an Inserter puts them in: for Inserter::expectRows.
class RowCounter {
public:
    void add(const rtf::Paragraph &p);
    std::vector<int> finish();
    // The cells of the tables counted, each table as many rows of its widest row.
    qint64 cells() const { return cells_; }

private:
    void close(); // the table, if any
    std::vector<int> rows_;
    qint64 cells_ = 0;
    int widest_ = 0;   // cells of the table's widest row so far
    int rowCells_ = 0; // cells of the row ended so far
    bool inTable_ = false;
    bool rowOpen_ = false;
    bool cellOpen_ = false;
};

} // namespace qtrich
