// SPDX-License-Identifier: GPL-3.0-or-later
// Rich text as the editor exchanges it with files and the clipboard: paragraphs
// of runs of equally formatted text, and the RTF reader and writer for it.
// Plain C++ over Qt Core strings; the editor converts to and from its document.
#pragma once

#include "core/listnumbers.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace rtf {

enum class FontFamily : std::uint8_t { Nil, Roman, Swiss, Modern, Script, Decor, Tech };
enum class Align : std::uint8_t { Left, Center, Right, Justify };
enum class VAlign : std::int8_t { Normal = 0, Super = 1, Sub = -1 };

constexpr std::int32_t NoColor = -1;

struct CharFormat {
    QString font; // face name; empty: the reader's default
    FontFamily family = FontFamily::Nil;
    int halfPoints = 24; // size in half points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::int32_t color = NoColor;     // 0xRRGGBB or NoColor (automatic)
    std::int32_t highlight = NoColor; // background, 0xRRGGBB or NoColor
    VAlign valign = VAlign::Normal;
    // What the editor keeps as the RTF it was read as (see rtfkept.cpp):
    // character words it does not model (small capitals, spacing, the kind
    // of underline, hidden text, language...), written after \plain;
    QByteArray extra;
    // the fields the run is the result of, outermost first, each its
    // instruction's group ({\*\fldinst ...}) or, for a text box, its
    // shape's RTF around the text ("\x02before\x02after", see isBox), and a
    // link's address;
    QByteArrayList fields;
    QString link;
    // a note ({\footnote ...}) the run is the mark of;
    QByteArray note;
    // groups that stand just before the run (bookmarks, comments, index entries).
    QByteArray kept;
    bool operator==(const CharFormat &) const = default;
};

// A run's field that is a text box's shape around its text, not a field.
inline bool isBox(const QByteArray &field) {
    return field.startsWith('\x02');
}

// The lines a paragraph's or a cell's borders are drawn with.
enum class BorderStyle : std::uint8_t {
    None,
    Single,
    Thick,
    Double,
    Dotted,
    Dashed,
    Hairline,
    Other
};

struct Border {
    BorderStyle style = BorderStyle::None;
    int width = 0;                // twips
    std::int32_t color = NoColor; // 0xRRGGBB or NoColor (automatic)
    bool operator==(const Border &) const = default;
};

// A paragraph's borders and shading as shown (the words themselves are kept
// in ParaFormat::extra), read from those words with the file's colours.
struct ParaBox {
    Border top, left, bottom, right;
    int space = 0;                  // \brsp: between the text and the borders, twips
    std::int32_t shading = NoColor; // \cbpat darkened by \shading towards \cfpat
    bool operator==(const ParaBox &) const = default;
    bool isEmpty() const { return *this == ParaBox{}; }
};

struct ParaFormat {
    Align align = Align::Left;
    int leftIndent = 0; // all in twips
    int rightIndent = 0;
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineSpacing = 0;       // \sl: > 0 at least, < 0 exactly, twips; 0: single
    bool lineMultiple = false; // \slmult1: lineSpacing is a multiple of 240 for single
    // Kept as read: paragraph words the editor does not model (style, borders,
    // shading, tabs, keep-with-next...), written after \pard;
    QByteArray extra;
    ParaBox box; // what of extra is drawn
    // what stands before the paragraph (the document's groups and page setup
    // for the first one; a section or page break and the new section's
    // properties and headers for others) and after its text (bookmarks, notes
    // at its end); the first paragraph holds the file's font and colour tables.
    QByteArray before;
    QByteArray after;
    QByteArray tables;
    bool operator==(const ParaFormat &) const = default;
};

struct Picture; // core/rtfpicture.h

// Run text holds '\t' for tabs and U+2028 for a line break inside a paragraph.
// A picture is a run of its own whose text is one U+FFFC.
struct Run {
    CharFormat format;
    QString text;
    std::shared_ptr<const Picture> picture = nullptr;
};

// A paragraph's place in a list: its marker is prefix, number, suffix (a
// bullet has only the prefix). Items with the same id are numbered together,
// the first from `start`; `number` is the item's own at the time of reading
// or copying.
struct ListItem {
    int id = 0; // 0: not a list item
    int level = 0;
    ListStyle style = ListStyle::None;
    QString prefix;
    QString suffix;
    int start = 1;
    int number = 1;
    bool operator==(const ListItem &) const = default;
    bool sameList(const ListItem &o) const {
        return id == o.id && level == o.level && style == o.style && prefix == o.prefix &&
               suffix == o.suffix && start == o.start;
    }
};

// Tables. RTF keeps a table as paragraphs marked as standing in a cell, each
// cell ended by \cell and each row by \row with the row's definition; the
// model keeps that shape, so that a reader can hand a row over as soon as it
// ends and a writer needs no tree.
enum class CellAlign : std::uint8_t { Top, Center, Bottom };
// A cell merged with its neighbours: the first of the merged cells holds the
// text, the others follow it (to its right across, below it down).
enum class Merge : std::uint8_t { None, First, Next };

struct CellDef {
    int right = 0; // the cell's right edge (\cellx), twips from the left margin
    Border top, left, bottom, rightBorder;
    std::int32_t shading = NoColor; // background (\clcbpat)
    int shadingPercent = 0;         // \clshdng, hundredths of a percent
    CellAlign align = CellAlign::Top;
    Merge across = Merge::None;
    Merge down = Merge::None;
    QByteArray extra; // the cell's words not modelled (widths, padding...), as read
    bool operator==(const CellDef &) const = default;
};

struct RowDef {
    int left = 0;              // the first cell's left edge (\trleft), twips
    int gap = 0;               // half the space between cells' text (\trgaph), twips
    Align align = Align::Left; // of the row between the margins
    int height = 0;            // \trrh: > 0 at least that tall, < 0 exactly, 0 as tall as its text
    bool header = false;       // repeated at the top of each printed page
    QByteArray extra;          // the row's words not modelled (widths, padding...), as read
    std::vector<CellDef> cells;
    bool operator==(const RowDef &) const = default;
};

struct Paragraph {
    ParaFormat format;
    ListItem list;
    std::vector<Run> runs;
    // In a table: how deeply nested (1: a table of the body, 2: a table in one
    // of its cells...); 0: not in a table.
    int depth = 0;
    // The paragraph ends its cell (\cell, \nestcell at depth > 1).
    bool endsCell = false;
    // The paragraph ends its cell and the row (at its depth) too: the row's
    // definition, one cell per cell of the row.
    std::shared_ptr<const RowDef> endsRow;
};

// Always at least one paragraph.
struct Document {
    std::vector<Paragraph> paragraphs{Paragraph{}};
    // The text with paragraphs separated by '\n' and line breaks as U+2028;
    // a list item starts with its marker and a tab; a table row is one line,
    // its cells separated by a tab and a cell's paragraphs by a space.
    QString plainText() const;
};

// Groups may nest this deep: mailers nest thousands of levels. The reader keeps
// the state of every open group on a stack of its own (no recursion), so the
// bound is one of memory: about 10 MB of saved states.
constexpr int MaxDepth = 100000;

// The largest number a list may start from; a larger start reads as this.
constexpr int MaxListStart = 1 << 20;

bool looksLikeRtf(const QByteArray &data);

// Takes out of a paragraph what no document may hold (textcodec::cleanText),
// and the runs left empty.
void clean(Paragraph &p);

// Reads RTF. Throws Exception (French message) only for input nested deeper than
// MaxDepth; any other damage gives the text that could be read.
Document read(const QByteArray &data);
// The same, handing each paragraph to `paragraph` as soon as it ends, so that
// a large file never stands in memory twice.
void read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph);
// The same, telling `progress` now and then the share of the input read; when
// it returns true the reading stops there and the result is false.
bool read(const QByteArray &data, const std::function<void(Paragraph &&)> &paragraph,
          const std::function<bool(double)> &progress);

// A font and colour table as read from RTF ({\fonttbl...}{\colortbl...} and \deffN),
// by their numbers in the file: the writer keeps those numbers, which the RTF
// kept with the document refers to.
struct FontDef {
    int number = 0;
    QString name;
    FontFamily family = FontFamily::Nil;
    int charset = 0;
    int codePage = 0; // what its text is read in; 0: the document's
};
struct FileTables {
    std::vector<FontDef> fonts;
    std::vector<std::int32_t> colors; // NoColor: an empty entry
    int defaultFont = -1;             // \deff; -1: not given
};
FileTables readTables(const QByteArray &tables);

// The borders and shading that paragraph words kept as read give, with the
// colours of the file's table (by their numbers in it).
ParaBox paraBox(const QByteArray &extra, const std::vector<std::int32_t> &colors);

// Writes 7-bit RTF. The default font is the one written as \f0.
QByteArray write(const Document &doc, const QString &defaultFont = QStringLiteral("MS Sans Serif"));

} // namespace rtf
