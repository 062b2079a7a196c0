// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF reader's own declarations, shared by its sources: the state it keeps
// while it reads, grouped by what it is about, and the reader with its
// handlers, one per kind of word and destination. Only the reader's sources
// include it.
#pragma once

#include "core/rtf.h"
#include "core/rtfpicture.h"
#include "core/rtftokens.h"
#include "core/rtfwords.h"

#include <QHash>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace rtf::reader {

// RTF kept as read, written back 7-bit with the same meaning: a byte of 128
// and over as \'hh, \bin's bytes as hex digits.
QByteArray sevenBit(std::string_view in);

// Where the current group's text goes.
enum class Dest : std::uint8_t {
    Text,
    Skip,
    Kept, // a group kept as read (rtfkept.cpp)
    FieldInst,
    Drawing,
    FontTable,
    ColorTable,
    ListTable,
    LevelText,
    OverrideTable,
    ListText,
    Pn,
    PnTextBefore,
    PnTextAfter,
    Picture, // a picture's words and data
    Holder   // a group around a picture: its text is not the document's
};

// ---------------------------------------------------------------- groups

struct ParaState {
    ParaFormat format;
    int ls = 0; // the list override a paragraph belongs to; 0: none
    int ilvl = 0;
    int pn = -1;   // the old-style list definition, in Lists::pnDefs; -1: none
    int depth = 0; // in a table (\intbl, \itapN): how deeply nested; 0: not
};

// What a group changes and its closing brace restores.
// Where the text read stands: paragraphs handed over, runs, characters,
// RTF kept in the paragraph.
struct TextMark {
    size_t emitted = 0, runs = 0;
    qsizetype text = 0, kept = 0;
    bool operator==(const TextMark &) const = default;
};

constexpr size_t NoShape = size_t(-1), InShapeGroup = size_t(-2);

struct State {
    CharFormat format;
    ParaState para;
    int fontIndex = -1;
    int codePage = 0; // of the current font; 0: the document's
    int uc = 1;
    Dest dest = Dest::Text;
    int tableLevel = 1; // the depth whose row the table words define (nested: 2...)
    int boxDepth = 0;   // in a text box: the table depth of the paragraph its shape is in
    // In a shape that holds a text box: where its group opens, and how many
    // groups are open in it (NoShape: none; InShapeGroup: in a group of
    // shapes, whose boxes are read for their text alone).
    size_t shape = NoShape;
    size_t shapeLevel = 0;
    TextMark shapeText;  // where the text stood when it began
    int shapeGroup = -1; // in a group of shapes kept around its boxes: its plan
};

// ---------------------------------------------------------------- fonts and colours

struct FontEntry {
    QString name;
    FontFamily family = FontFamily::Nil;
    int codePage = 0; // 0: the document's
    int charset = 0;  // as the file gives it
};

struct FontsAndColors {
    QHash<int, FontEntry> fonts;
    int docCodePage = 1252;
    int defaultFont = -1;
    // the font table's entry being read
    int number = -1;
    FontEntry entry;
    std::string name; // its bytes
    // the colour table
    std::vector<std::int32_t> colors;
    int red = 0, green = 0, blue = 0;
    bool colorSet = false;
};

// ---------------------------------------------------------------- lists

// An old-style list definition (\pn), a paragraph property.
struct PnDef {
    int level = 0; // 0: none; PnBullet, PnCont, or an outline level
    ListStyle style = ListStyle::Decimal;
    int start = 1;
    QString before, after;
    bool operator==(const PnDef &) const = default;
};

// A list level of the list table. Its text is a template: the first
// character gives the length, characters 0 to 8 stand for the numbers of
// those levels. Bytes stay bytes until the level's font is known.
struct Level {
    bool given = false;      // read from the file (an override changes only these)
    bool startGiven = false; // an override's new start for the level
    bool legal = false;      // the other levels' numbers in Arabic figures
    ListStyle style = ListStyle::Decimal;
    int start = 1;
    int font = -1;
    std::vector<std::pair<bool, char16_t>> text; // (is a byte, value)
};

struct ListDef {
    std::vector<Level> levels;
};

struct Lists {
    std::unordered_map<long long, ListDef> byId; // the list table, by \listid
    ListDef list;                                // the list or override being read
    long long listId = 0;
    size_t listDepth = 0; // the stack's depth inside the list being read; 0: none
    // the override table
    std::unordered_map<int, long long> overrides; // \ls to \listid
    std::unordered_map<int, ListDef> overridden;  // by \ls, where levels were overridden
    long long overrideList = 0;
    int overrideLs = 0;
    int overrideLevel = 0; // levels overridden so far, 1-based
    size_t overrideDepth = 0;
    // old-style lists
    PnDef pn;                  // being read
    std::vector<PnDef> pnDefs; // those read, each once in a row
    int lastPn = -1;
    int pnId = 0;
    bool lastWasPnItem = false;
    // numbering
    struct Sequence {
        int id;
        int count;
    };
    std::map<std::pair<int, int>, Sequence> sequences; // by (\ls, level)
    int nextListId = 0;
    size_t markerFrom = 0, markerTo = 0; // the runs of \listtext in the paragraph
};

// ---------------------------------------------------------------- fields and notes

// Fields nest in each other's results this deep at most.
constexpr size_t MaxFieldDepth = 16;

// A field open in the text: where its group opened (its '{', the stack's
// depth inside it) and how much text and kept RTF stood before it, so that
// a field whose result holds nothing is kept whole, as read.
struct OpenField {
    size_t from = 0, depth = 0, emitted = 0, runs = 0;
    qsizetype text = 0, kept = 0;
};

// A group of shapes kept around the text of its boxes: the group's RTF
// before its first box's shape and after its last one's, and for each box
// (by where its text starts) its shape's RTF before and after the text, the
// first shape's from the shapes before it.
struct ShapeGroup {
    QByteArray group;
    std::vector<std::pair<size_t, QByteArray>> boxes;
};

struct Fields {
    std::vector<OpenField> open; // MaxFieldDepth at most
    std::vector<ShapeGroup> shapeGroups;
    QString instruction;
    QByteArray instructionGroup; // as read, until the result takes it
    bool symbolResult = false;   // the field's result is to be skipped
    int footnotes = 0;
};

// ---------------------------------------------------------------- pictures

// Depths are the group stack's size once the group is open; 0: none open.
// Offsets are in the input.
struct Pictures {
    size_t groupOpen = 0; // where the last group opened
    // the \pict being read
    std::shared_ptr<Picture> reading;
    size_t pictDepth = 0, pictStart = 0;
    size_t dataStart = 0, dataEnd = 0; // its hex data; equal: none
    // The group stack's size at the data's first and last digits: groups
    // between digits (a damaged file's) are not written, their braces are.
    size_t dataDepthStart = 0, dataDepthEnd = 0;
    bool binary = false; // its data came from \bin
    int nibble = -1;     // a hex digit waiting for its pair
    // the group around it (\shppict, \object), and the picture read in it
    size_t holderDepth = 0, holderStart = 0;
    bool object = false;
    int objWidth = 0, objHeight = 0, objScaleX = 100, objScaleY = 100;
    // A shape (\shp, \shpgrp) held whole: its box as the first of its
    // words gave it, and the name of the property being read (\sn), whose
    // group is open at nameDepth; only the picture of "pib" is its own.
    bool shape = false;
    std::optional<int> shapeLeft, shapeTop, shapeRight, shapeBottom;
    size_t nameDepth = 0;
    std::string name;
    size_t shapesRead = 0; // bytes shapeHolds has looked at
    std::shared_ptr<Picture> held;
    size_t heldStart = 0, heldEnd = 0;
    // the picture last added to the text, which a {\nonshppict} right after
    // it writes again for older readers, and that group being read
    std::shared_ptr<Picture> last;
    size_t fallbackDepth = 0, fallbackStart = 0;
    size_t endBraces = 0; // written for groups the input left open
};

// ---------------------------------------------------------------- kept as read

// Where a group read as bytes goes.
enum class KeptPlace : std::uint8_t {
    Before,   // before the paragraph: document and section groups
    Inline,   // before the next text: bookmarks, comments
    Note,     // a footnote, on its mark
    Tables,   // the font and colour tables
    FieldInst // a field's instruction
};

struct Kept {
    bool capturing = false;
    size_t from = 0;  // the group's '{'
    size_t depth = 0; // the stack's depth outside the group
    KeptPlace place = KeptPlace::Before;
    size_t groupOpen = 0; // the last '{' read
    QByteArray before;    // for the paragraph being read
    QByteArray inline_;   // for the next text
    QByteArray tables;
    bool tablesGiven = false;
    bool borderWords = false; // a paragraph border's words go on
};

// ---------------------------------------------------------------- tables

// Tables nest this deep at most; a deeper \itap reads as this depth.
constexpr int MaxTableDepth = 64;

// A depth of tables: the row definition in force there and its row being read.
struct TableLevel {
    RowDef def;                           // as \trowd and the words after it defined it
    CellDef cell;                         // the cell being defined, until its \cellx
    int border = -1;                      // the cell's border the border words set; -1: none
    std::shared_ptr<const RowDef> shared; // the definition the last row ended with
    size_t cells = 0;                     // cells the open row has ended
};

struct Tables {
    std::vector<TableLevel> levels; // by depth - 1
    // Rows are open at depths 1 to this: each has paragraphs and no \row yet.
    int openDepth = 0;
    // The paragraphs of the open row of the outermost table (with those of
    // the tables nested in it), handed over when the row ends.
    std::vector<Paragraph> held;
    // A row has begun (\intbl in the text) and not ended: paragraphs out of
    // the table wait in `loose` until the row goes on (they are its cell's)
    // or ends otherwise (they follow it).
    bool begun = false;
    std::vector<Paragraph> loose;
};

// ---------------------------------------------------------------- text

struct TextState {
    std::string bytes;    // undecoded text bytes
    std::string flushing; // those being decoded
    int bytesCodePage = 1252;
    Document doc;
    Paragraph para;
    ParaState lastText; // the paragraph properties where text was last added
    QString runText;
    CharFormat runFormat;
    bool lastWasPar = false;
    size_t emitted = 0;
    // The last paragraph read waits for the next, so that what the file
    // keeps after its last paragraph (a final \sect) can go with it.
    std::optional<Paragraph> waiting;
};

// ---------------------------------------------------------------- the reader

bool isSymbolFontName(const QString &name);
int clampInt(long long v, int lo, int hi);

// What the shape or drawing object whose group is open at `from` (after its
// word) holds: a text box, whose paragraphs are the document's text; else a
// picture (its "pib" property); else neither (a line, a rectangle).
// `read` counts the bytes looked at; past twice the input's size (shapes
// nested in each other's text), a shape is read for its text unseen.
enum class ShapeHolds : std::uint8_t { Picture, Text, Other };
ShapeHolds shapeHolds(std::string_view in, size_t from, size_t &read);

class Reader {
public:
    Reader(const QByteArray &data, const std::function<void(Paragraph &&)> &sink,
           const std::function<bool(double)> &progress = {});
    bool cancelled() const { return cancelled_; }
    Document run();

private:
    // --- tokens (rtfreader.cpp)
    void token(const Token &t);
    void textToken(std::string_view bytes);
    void word(std::string_view name, bool hasParam, long long param);
    void symbol(char c);
    bool destination(const Word &w);
    void openGroup();
    void closeGroup();
    bool swallowedByFallback(bool endsFallback);
    void flushPendingSpaces();

public:
    // The font and colour tables read (readTables).
    FileTables fileTables() const;

private:
    // --- words by kind (rtftext.cpp)
    bool documentWord(const Word &w, long long param);
    bool characterWord(const Word &w, bool hasParam, long long param);
    bool paragraphWord(const Word &w, long long param);
    void unicode(bool hasParam, long long param);

    // --- text (rtftext.cpp)
    void addBytes(const char *b, size_t n);
    void addByte(char b) { addBytes(&b, 1); }
    void flushBytes();
    void addText(const QString &s);
    void addChar(char16_t c);
    void endRun();
    void endParagraph();
    void finishDocument();
    // Hands the paragraph over with the properties given; `inList`: it may be
    // a list item; `endsCell`: it ends a table's cell at its depth.
    void emitParagraph(const ParaState &props, bool inList, bool endsCell = false);
    void deliver(Paragraph &&p);
    void send(Paragraph &&p);
    // A field's group has closed (rtffields.cpp).
    void fieldClosed();

    // --- tables (rtftables.cpp)
    bool tableDestination(const Word &w);
    bool tableWord(const Word &w, long long param);
    bool otherTableWord(std::string_view name, bool hasParam, long long param);
    void endCell(int minDepth);
    void endRow(int depth);
    void tableParagraph(Paragraph &&p);
    void closeRows(int depth);
    void joinLoose();
    std::shared_ptr<const RowDef> rowDef(TableLevel &level);
    TableLevel &level(int depth);

    // --- pictures (rtfpicture.cpp)
    bool pictureDestination(const Word &w);
    void pictureWord(const Word &w, long long param);
    void pictureData(std::string_view bytes);
    void pictureBinary(std::string_view bytes);
    void shapeName(std::string_view bytes); // a held shape's \sn
    // A group at `depth` has closed at `end`; `outer` is the state it closed into.
    void pictureGroupClosed(size_t depth, size_t end, const State &outer);
    // Ends the picture groups the input left open.
    void endPictures();
    void addPicture(std::shared_ptr<Picture> p, const State &outer);

    // --- font and colour tables (rtffonts.cpp)
    void fontTableWord(const Word &w, long long param);
    void colorTableWord(const Word &w, long long param);
    void endFontEntry();
    void endColorEntry();
    void selectFont(int index);
    void endFontTable();
    int codePageOf(int font) const;
    int markerCodePage(int font) const;
    int currentCodePage() const;
    std::int32_t colorAt(long long index) const;

    // --- lists (rtflists.cpp)
    bool listDestination(const Word &w);
    bool markerDestination(const Word &w);
    void listTableWord(const Word &w, bool on, long long param);
    void levelTextWord(const Word &w, long long param);
    void levelTextBytes(std::string_view bytes);
    void overrideTableWord(const Word &w, long long param);
    void pnWord(const Word &w, long long param);
    void closeListGroups(Dest inner);
    void endOverride();
    ListItem listItem(const ParaState &para);
    ListItem pnItem(int pn);
    ListItem tableItem(const ListDef &list, int ls, int level);
    QString levelNumber(const ListDef &list, int ls, int level, int lv) const;
    bool levelTemplate(const ListDef &list, int ls, int level, QString &before,
                       QString &after) const;

    // --- fields, shapes and notes (rtffields.cpp)
    bool fieldDestination(const Word &w);
    void symbolField();
    void fieldResult();
    void shapeHeld(size_t groupOpen);
    void planShapeGroup(size_t groupOpen);
    void boxOpened();
    void groupBoxOpened();
    void quietShape(Dest dest);

    // --- what is kept as read (rtfkept.cpp)
    bool keptWord(std::string_view name, const Word *w, bool hasParam, long long param);
    void capture(KeptPlace place);
    void endCapture();

    Tokenizer tokens_;
    const std::function<void(Paragraph &&)> &sink_; // empty: paragraphs go to the document
    // (A copy: the constructor's default is a temporary.)
    const std::function<bool(double)> progress_; // told the share read; true: stop
    bool cancelled_ = false;
    bool done_ = false;
    State state_;
    std::vector<State> stack_;
    int skipChars_ = 0;
    bool star_ = false;       // \* before this word
    bool groupStart_ = false; // the next control word opens this group
    int pendingSpaces_ = 0;   // spaces at a group's start, before its first word

    FontsAndColors fonts_;
    Lists lists_;
    Fields fields_;
    Pictures pictures_;
    Kept kept_;
    Tables tables_;
    TextState text_;
};

} // namespace rtf::reader
