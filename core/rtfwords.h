// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF control words the reader knows: what each is (its kind) and what
// it does (its act), in one table. A new word is a row here and a case in the
// handler of its kind or destination.
#pragma once

#include <cstdint>
#include <string_view>

namespace rtf::reader {

// What a control word is: a destination (its group holds something other than
// text), a symbol (it stands for a character), a toggle (on, or off with 0), a
// value (it sets a number) or a flag (it sets a state or marks a point).
enum class Kind : std::uint8_t { Destination, Symbol, Toggle, Value, Flag };

enum class Act : std::uint8_t {
    None,
    // destinations
    Skip,        // not document text
    Show,        // its text is the document's (fields' results...)
    FieldInst,   // a field's instruction
    FieldResult, // a field's result as last computed
    Drawing,     // a shape or drawing object: only its text box holds text
    BoxText,     // a text box's text
    FontTable,
    ColorTable,
    ListTable,
    List,
    ListLevel,
    LevelText,
    OverrideTable,
    Override,
    OverrideLevel,
    ListText, // a list item's marker as text, for readers without lists
    Pn,       // an old-style list definition
    PnTextBefore,
    PnTextAfter,
    Footnote,
    Kept,            // kept as read, before the paragraph (headers, the style sheet...)
    KeptInline,      // kept as read, at its place in the text (bookmarks, comments)
    Picture,         // a picture (\pict): its words and data
    PictureHolder,   // a group around a picture (\shppict; value: 1 \object, 2 \shp, \shpgrp)
    ShapeProperty,   // a shape's \sp, its \sn and \sv; value: 0, 1, 2
    PictureFallback, // \nonshppict: the picture again, for readers without shapes
    PictureKind,     // \pngblip...; value: the rtf::PictureKind
    PictureSize,     // \picw...; value: the PictureField
    NestTableProps,  // a nested row's definition and its \nestrow
    // document
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    // fonts and colours
    Font,
    Family,
    Charset,
    Cpg,
    Red,
    Green,
    Blue,
    // characters
    Plain,
    FontSize,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Color,
    Highlight,
    Super,
    Sub,
    NoSuperSub,
    Up,
    Down,
    Uc,
    Unicode,
    // paragraphs
    Pard,
    Align,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    Par,
    Break, // page or section
    // lists
    Ls,
    Ilvl,
    ListId,
    LevelNfc,
    LevelStartAt,
    LevelLegal,
    PnLevel,
    PnStyle,
    PnStart,
    PnFont,
    // tables: rows and cells (rtftables.cpp)
    InTable,     // \intbl: the paragraph stands in a table
    TableLevel,  // \itapN: how deeply
    Cell,        // \cell: ends a cell
    NestCell,    // \nestcell: ends a cell of a nested table
    Row,         // \row
    NestRow,     // \nestrow
    RowReset,    // \trowd: a new row definition
    RowLeft,     // \trleft
    RowGap,      // \trgaph
    RowAlign,    // \trql, \trqc, \trqr; value: the Align
    RowHeight,   // \trrh
    RowHeader,   // \trhdr
    CellEdge,    // \cellx: ends the cell's definition
    CellBorder,  // \clbrdrt/l/b/r; value: which (0 top, 1 left, 2 bottom, 3 right)
    OtherBorder, // a paragraph's, a row's or a character's border: not a cell's
    BorderLine,  // \brdrs, \brdrdb...; value: the BorderStyle
    BorderWidth, // \brdrw
    BorderColor, // \brdrcf
    CellShading, // \clcbpat
    CellShadingPercent,
    CellVAlign,  // value: the CellAlign
    MergeAcross, // value: the Merge
    MergeDown,
};

struct Word {
    Kind kind;
    Act act;
    int value = 0;             // Symbol: the character; Align, Family, PnStyle: which
    bool endsFallback = false; // ends a \uN fallback rather than counting in it
};

constexpr int PnBullet = -1, PnCont = -2; // PnLevel values besides outline levels

// What a PictureSize word sets.
enum PictureField : int {
    PicWidth,
    PicHeight,
    PicGoalWidth,
    PicGoalHeight,
    PicScaleX,
    PicScaleY,
    PicCropLeft,
    PicCropRight,
    PicCropTop,
    PicCropBottom,
    PicBitsPerPixel,
    PicPlanes,
    PicWidthBytes,
    ObjWidth,
    ObjHeight,
    ObjScaleX,
    ObjScaleY,
    ShapeLeft, // \shpleft...: a shape's box, twips
    ShapeTop,
    ShapeRight,
    ShapeBottom
};

// The word's row; null for a word the reader does not know.
const Word *findWord(std::string_view name);

} // namespace rtf::reader
