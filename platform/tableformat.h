// SPDX-License-Identifier: GPL-3.0-or-later
// How a table of the document model stands in the toolkit's text document.
// A table is a QTextTable with as many columns as its widest row; each cell's
// format holds the cell's definition as the file gave it (its right edge,
// borders, shading, merging), and the first cell of each row holds the row's
// (its left edge, gap, alignment, height, header flag). Most rows of a table
// share one definition: the table's format holds the formats of that usual
// row's cells once, and the cells of rows alike hold none of their own
// (giving each cell of many rows its format took a fifth of the time of
// making a table); cellFormat() reads either. A row with fewer cells than the
// table is padded with absent cells, which take no room, are not drawn and
// are not written; an absent cell always holds its own format. The editor's
// layout places cells from these definitions, not from the table's column
// widths, so that rows of different cells, merged cells and spans keep their
// shape and are written back as read.
#pragma once

#include "core/rtf.h"

#include <QTextFormat>

#include <vector>

class QTextTable;

namespace qtrich {

// Property numbers of the cell formats (UserProperty + n).
enum TableProperty : int {
    CellRightProperty = QTextFormat::UserProperty + 0x100, // int, twips
    CellBorderTopProperty,                                 // qlonglong, packBorder
    CellBorderLeftProperty,
    CellBorderBottomProperty,
    CellBorderRightProperty,
    CellShadingProperty,        // int, 0xRRGGBB or rtf::NoColor
    CellShadingPercentProperty, // int
    CellAlignProperty,          // int, rtf::CellAlign
    CellAcrossProperty,         // int, rtf::Merge
    CellDownProperty,           // int, rtf::Merge
    CellAbsentProperty,         // bool: pads a short row
    RowLeftProperty,            // int, twips; on the row's first cell
    RowGapProperty,
    RowAlignProperty,       // int, rtf::Align
    RowHeightProperty,      // int, twips
    RowHeaderProperty,      // bool
    RowDefinedProperty,     // bool: the first cell holds the row's definition
    CellExtraProperty,      // QByteArray: the cell's words not modelled
    RowExtraProperty,       // QByteArray: the row's words not modelled
    TableUsualCellsProperty // QVariantList of QTextFormat, on the table: its usual row's cells
};

qlonglong packBorder(const rtf::Border &b);
rtf::Border unpackBorder(qlonglong v);

void setCellDef(QTextTableCellFormat &f, const rtf::CellDef &c);
rtf::CellDef cellDef(const QTextTableCellFormat &f);
// The row's definition without its cells, kept on the row's first cell.
void setRowDef(QTextTableCellFormat &f, const rtf::RowDef &r);
rtf::RowDef rowDef(const QTextTableCellFormat &firstCell);

void setAbsent(QTextTableCellFormat &f);
bool isAbsent(const QTextTableCellFormat &f);

// Gives the table the formats of its usual row's cells, the first of them
// holding the row's definition.
void setUsualCells(QTextTableFormat &f, const std::vector<QTextTableCellFormat> &cells);
// The format of the cell at `row`, `column`: its own, with the usual row's
// cell of that column where it holds no definition of its own.
QTextTableCellFormat cellFormat(const QTextTable *table, int row, int column);

} // namespace qtrich
