// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/tableformat.h"

#include <QTextTable>

#include <algorithm>

namespace qtrich {

// style in bits 0-7, width in 8-23, colour + 1 in 24-48 (0: automatic).
qlonglong packBorder(const rtf::Border &b) {
    const qlonglong width = std::clamp(b.width, 0, 0xFFFF);
    const qlonglong color = b.color == rtf::NoColor ? 0 : qlonglong(b.color & 0xFFFFFF) + 1;
    return qlonglong(b.style) | width << 8 | color << 24;
}

rtf::Border unpackBorder(qlonglong v) {
    rtf::Border b;
    const int style = int(v & 0xFF);
    b.style =
        style <= int(rtf::BorderStyle::Other) ? rtf::BorderStyle(style) : rtf::BorderStyle::Other;
    b.width = int((v >> 8) & 0xFFFF);
    const qlonglong color = (v >> 24) & 0x1FFFFFF;
    b.color = color == 0 ? rtf::NoColor : std::int32_t(color - 1);
    return b;
}

void setCellDef(QTextTableCellFormat &f, const rtf::CellDef &c) {
    f.setProperty(CellRightProperty, c.right);
    f.setProperty(CellBorderTopProperty, packBorder(c.top));
    f.setProperty(CellBorderLeftProperty, packBorder(c.left));
    f.setProperty(CellBorderBottomProperty, packBorder(c.bottom));
    f.setProperty(CellBorderRightProperty, packBorder(c.rightBorder));
    f.setProperty(CellShadingProperty, c.shading);
    f.setProperty(CellShadingPercentProperty, c.shadingPercent);
    f.setProperty(CellAlignProperty, int(c.align));
    f.setProperty(CellAcrossProperty, int(c.across));
    f.setProperty(CellDownProperty, int(c.down));
    if (!c.extra.isEmpty()) f.setProperty(CellExtraProperty, c.extra);
}

namespace {
template <typename E> E enumOf(const QTextFormat &f, int property, E last) {
    const int v = f.intProperty(property);
    return v >= 0 && v <= int(last) ? E(v) : E(0);
}
} // namespace

rtf::CellDef cellDef(const QTextTableCellFormat &f) {
    rtf::CellDef c;
    c.right = f.intProperty(CellRightProperty);
    c.top = unpackBorder(f.property(CellBorderTopProperty).toLongLong());
    c.left = unpackBorder(f.property(CellBorderLeftProperty).toLongLong());
    c.bottom = unpackBorder(f.property(CellBorderBottomProperty).toLongLong());
    c.rightBorder = unpackBorder(f.property(CellBorderRightProperty).toLongLong());
    c.shading =
        f.hasProperty(CellShadingProperty) ? f.intProperty(CellShadingProperty) : rtf::NoColor;
    c.shadingPercent = f.intProperty(CellShadingPercentProperty);
    c.align = enumOf(f, CellAlignProperty, rtf::CellAlign::Bottom);
    c.across = enumOf(f, CellAcrossProperty, rtf::Merge::Next);
    c.down = enumOf(f, CellDownProperty, rtf::Merge::Next);
    c.extra = f.property(CellExtraProperty).toByteArray();
    return c;
}

void setRowDef(QTextTableCellFormat &f, const rtf::RowDef &r) {
    f.setProperty(RowDefinedProperty, true);
    f.setProperty(RowLeftProperty, r.left);
    f.setProperty(RowGapProperty, r.gap);
    f.setProperty(RowAlignProperty, int(r.align));
    f.setProperty(RowHeightProperty, r.height);
    f.setProperty(RowHeaderProperty, r.header);
    if (!r.extra.isEmpty()) f.setProperty(RowExtraProperty, r.extra);
}

rtf::RowDef rowDef(const QTextTableCellFormat &firstCell) {
    rtf::RowDef r;
    r.left = firstCell.intProperty(RowLeftProperty);
    r.gap = firstCell.intProperty(RowGapProperty);
    r.align = enumOf(firstCell, RowAlignProperty, rtf::Align::Justify);
    r.height = firstCell.intProperty(RowHeightProperty);
    r.header = firstCell.boolProperty(RowHeaderProperty);
    r.extra = firstCell.property(RowExtraProperty).toByteArray();
    return r;
}

void setAbsent(QTextTableCellFormat &f) {
    f.setProperty(CellAbsentProperty, true);
}

bool isAbsent(const QTextTableCellFormat &f) {
    return f.boolProperty(CellAbsentProperty);
}

void setUsualCells(QTextTableFormat &f, const std::vector<QTextTableCellFormat> &cells) {
    QVariantList list;
    list.reserve(qsizetype(cells.size()));
    for (const QTextTableCellFormat &c : cells)
        list.push_back(QVariant::fromValue(QTextFormat(c)));
    f.setProperty(TableUsualCellsProperty, list);
}

QTextTableCellFormat cellFormat(const QTextTable *table, int row, int column) {
    QTextTableCellFormat f = table->cellAt(row, column).format().toTableCellFormat();
    if (f.hasProperty(CellRightProperty) || f.hasProperty(CellAbsentProperty) ||
        f.hasProperty(RowDefinedProperty))
        return f;
    const QVariant usual = table->format().property(TableUsualCellsProperty);
    if (!usual.isValid()) return f;
    const QVariantList cells = usual.toList();
    if (column < 0 || column >= cells.size()) return f;
    f.merge(cells[column].value<QTextFormat>());
    return f;
}

} // namespace qtrich
