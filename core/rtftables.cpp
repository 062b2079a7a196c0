// SPDX-License-Identifier: GPL-3.0-or-later
// The reader's tables. RTF marks a table's paragraphs (\intbl, \itapN), ends
// each cell (\cell, \nestcell) and each row (\row, \nestrow), and defines a
// row with \trowd and the words after it, before its cells or after them, up
// to its \row. The paragraphs of a row are held until the row ends, so that
// its last one carries the row's definition, then handed over: memory holds
// one row of the outermost table, however long the table.
#include "core/rtfreader_p.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace rtf::reader {

namespace {
// Edges and indents beyond this (88 inches) are read as this.
constexpr int MaxEdge = 126720;
// The width of a cell that has no \cellx of its own, or whose \cellx does not
// stand right of the cell before it: an inch.
constexpr int DefaultCellWidth = 1440;
// Paragraphs out of the table that wait, within a row begun, to be read as
// its cell's: at most this many, then the row ends before them.
constexpr size_t MaxLoose = 64;
// The most bytes of words not modelled kept with a row or a cell.
constexpr qsizetype MaxKeptTableWords = 1024;

Border &side(CellDef &c, int which) {
    switch (which) {
    case 0:
        return c.top;
    case 1:
        return c.left;
    case 2:
        return c.bottom;
    default:
        return c.rightBorder;
    }
}
} // namespace

TableLevel &Reader::level(int depth) {
    const size_t d = size_t(std::clamp(depth, 1, MaxTableDepth));
    if (tables_.levels.size() < d) tables_.levels.resize(d);
    return tables_.levels[d - 1];
}

bool Reader::tableDestination(const Word &w) {
    if (w.act != Act::NestTableProps || state_.dest != Dest::Text) return false;
    // A nested row's definition, then its \nestrow: for the deepest row open.
    state_.tableLevel = std::clamp(state_.para.depth, 2, std::max(2, tables_.openDepth));
    return true;
}

bool Reader::tableWord(const Word &w, long long param) {
    ParaState &para = state_.para;
    switch (w.act) {
    case Act::InTable:
        para.depth = std::max(para.depth, 1);
        if (state_.dest == Dest::Text) tables_.begun = true;
        return true;
    case Act::TableLevel:
        para.depth = clampInt(param, 0, MaxTableDepth);
        if (para.depth > 0 && state_.dest == Dest::Text) tables_.begun = true;
        return true;
    case Act::Cell:
        endCell(1);
        return true;
    case Act::NestCell:
        endCell(2);
        return true;
    case Act::Row:
        endRow(1);
        return true;
    case Act::NestRow:
        endRow(std::clamp(para.depth, 2, std::max(2, tables_.openDepth)));
        return true;
    default:
        break;
    }
    TableLevel &lv = level(state_.tableLevel);
    RowDef &row = lv.def;
    CellDef &cell = lv.cell;
    switch (w.act) {
    case Act::RowReset:
        row = RowDef{};
        cell = CellDef{};
        lv.border = -1;
        return true;
    case Act::RowLeft:
        row.left = clampInt(param, -MaxEdge, MaxEdge);
        return true;
    case Act::RowGap:
        row.gap = clampInt(param, 0, 31680);
        return true;
    case Act::RowAlign:
        row.align = rtf::Align(w.value);
        return true;
    case Act::RowHeight:
        row.height = clampInt(param, -31680, 31680);
        return true;
    case Act::RowHeader:
        row.header = true;
        return true;
    case Act::CellEdge:
        cell.right = clampInt(param, -MaxEdge, MaxEdge);
        row.cells.push_back(cell);
        cell = CellDef{};
        lv.border = -1;
        return true;
    case Act::CellBorder:
        lv.border = w.value;
        return true;
    case Act::OtherBorder:
        lv.border = -1;
        return true;
    case Act::BorderLine:
        if (lv.border >= 0) side(cell, lv.border).style = rtf::BorderStyle(w.value);
        return true;
    case Act::BorderWidth:
        if (lv.border >= 0) side(cell, lv.border).width = clampInt(param, 0, 255);
        return true;
    case Act::BorderColor:
        if (lv.border >= 0) side(cell, lv.border).color = colorAt(param);
        return true;
    case Act::CellShading:
        cell.shading = colorAt(param);
        return true;
    case Act::CellShadingPercent:
        cell.shadingPercent = clampInt(param, 0, 10000);
        return true;
    case Act::CellVAlign:
        cell.align = CellAlign(w.value);
        return true;
    case Act::MergeAcross:
        cell.across = Merge(w.value);
        return true;
    case Act::MergeDown:
        cell.down = Merge(w.value);
        return true;
    default:
        return false;
    }
}

// A row's or a cell's word the reader does not model (\trwWidth, \tblind,
// \clpadl...): kept as read with the definition it belongs to.
bool Reader::otherTableWord(std::string_view name, bool hasParam, long long param) {
    const bool row =
        (name.starts_with("tr") && !name.starts_with("trunc")) || name.starts_with("tbl");
    if (!row && !name.starts_with("cl")) return false;
    TableLevel &lv = level(state_.tableLevel);
    QByteArray &extra = row ? lv.def.extra : lv.cell.extra;
    if (extra.size() >= MaxKeptTableWords) return true;
    extra.append('\\').append(name.data(), qsizetype(name.size()));
    if (hasParam) extra.append(QByteArray::number(param));
    return true;
}

// \cell, \nestcell: the paragraph ends a cell, in a table even without \intbl.
void Reader::endCell(int minDepth) {
    flushBytes();
    if (state_.dest != Dest::Text) return;
    endRun();
    ParaState props = state_.para;
    props.depth = std::max(props.depth, minDepth);
    emitParagraph(props, true, true);
    text_.para = Paragraph{};
    text_.lastWasPar = true;
}

// \row, \nestrow: text after the last \cell is a paragraph of the last cell.
void Reader::endRow(int depth) {
    flushBytes();
    if (state_.dest != Dest::Text) return;
    endRun();
    joinLoose();
    if (!text_.para.runs.empty()) {
        ParaState props = state_.para;
        props.depth = std::max(props.depth, depth);
        emitParagraph(props, true);
        text_.para = Paragraph{};
        text_.lastWasPar = true;
    }
    if (tables_.openDepth >= depth) closeRows(depth - 1);
}

// Every paragraph passes here: a table's are held until their row ends.
void Reader::tableParagraph(Paragraph &&p) {
    // A table nests in a cell of the one around it; a paragraph deeper than
    // the rows open begins the cells around it too (an outer cell whose text
    // begins with a table in it), as its \itap says. A text box's
    // paragraphs stand in the cell its shape stands in.
    p.depth = std::max(p.depth, state_.boxDepth);
    // A paragraph out of the table within a row begun: read as LibreOffice
    // reads it, it is a paragraph of the cell the row goes on with.
    if (p.depth == 0 && (tables_.begun || tables_.openDepth > 0) && tables_.loose.size() < MaxLoose)
        return tables_.loose.push_back(std::move(p));
    if (p.depth > 0) joinLoose(); // which ends the rows nested in that cell
    closeRows(p.depth);           // rows deeper than this one ended without their \row
    if (p.depth == 0) return deliver(std::move(p));
    tables_.openDepth = p.depth;
    if (p.endsCell) ++level(p.depth).cells;
    tables_.held.push_back(std::move(p));
}

// Ends the rows open deeper than `depth`, the deepest first; the outermost
// row ended, its paragraphs are handed over.
void Reader::closeRows(int depth) {
    std::vector<Paragraph> &held = tables_.held;
    for (int d = tables_.openDepth; d > depth; --d) {
        TableLevel &lv = level(d);
        // The row ends with a paragraph of its depth, which ends its last
        // cell; after a nested table, one more, empty, as word processors
        // write it.
        if (held.empty() || held.back().depth != d || held.back().endsRow) {
            Paragraph empty;
            empty.depth = d;
            held.push_back(std::move(empty));
        }
        Paragraph &last = held.back();
        if (!last.endsCell) {
            // What follows the row's last \cell belongs to that cell: the
            // row has as many cells as the file ended.
            auto end = std::find_if(held.rbegin() + 1, held.rend(), [d](const Paragraph &p) {
                return p.depth <= d && (p.depth < d || p.endsCell);
            });
            if (lv.cells && end != held.rend() && end->depth == d) {
                end->endsCell = false;
            } else {
                ++lv.cells;
            }
            last.endsCell = true;
        }
        last.endsRow = rowDef(lv);
        lv.cells = 0;
    }
    tables_.openDepth = std::min(tables_.openDepth, depth);
    if (tables_.openDepth == 0) {
        for (Paragraph &p : held)
            deliver(std::move(p));
        held.clear();
        // The row ended without them: they follow it.
        tables_.begun = false;
        for (Paragraph &p : tables_.loose)
            deliver(std::move(p));
        tables_.loose.clear();
    }
}

// The row goes on: the paragraphs that waited are its cell's.
void Reader::joinLoose() {
    if (tables_.loose.empty()) return;
    // They stand after the rows nested in it, which end without their \nestrow.
    if (tables_.openDepth > 1) closeRows(1);
    for (Paragraph &p : tables_.loose) {
        p.depth = 1;
        tables_.held.push_back(std::move(p));
    }
    tables_.loose.clear();
    tables_.openDepth = std::max(tables_.openDepth, 1);
}

// The definition of the row ending at `lv`, one cell per cell it holds: cells
// without a \cellx get the width of the one before, and an edge that does
// not stand right of the one before is put an inch right of it. The last
// row's definition is shared when this one is the same.
std::shared_ptr<const RowDef> Reader::rowDef(TableLevel &lv) {
    // As given, with a cell for each cell ended: the row's own fields, then
    // only the cells ended (a definition may hold far more than its rows use).
    const size_t n = lv.cells;
    RowDef def;
    std::vector<CellDef> given = std::exchange(lv.def.cells, {});
    def = lv.def;
    lv.def.cells = std::move(given);
    def.cells.assign(lv.def.cells.begin(),
                     lv.def.cells.begin() + std::ptrdiff_t(std::min(n, lv.def.cells.size())));
    static constexpr long long Largest = std::numeric_limits<int>::max() / 2;
    // An edge `width` right of `prev`, no further than a \cellx is read; past
    // that, an inch right of the one before, as a \cellx not right of it is.
    // So the edges made here are read back the same.
    const auto after = [](long long prev, long long width) {
        const long long edge = std::min(prev + width, (long long)MaxEdge);
        return int(edge > prev ? edge : std::min(prev + DefaultCellWidth, Largest));
    };
    long long prev = def.left;
    long long width = DefaultCellWidth;
    for (size_t i = 0; i < n; ++i) {
        if (i == def.cells.size()) {
            CellDef c = i ? def.cells[i - 1] : CellDef{};
            c.across = c.down = Merge::None;
            c.right = after(prev, width);
            def.cells.push_back(c);
        }
        CellDef &c = def.cells[i];
        if (c.right <= prev) c.right = after(prev, DefaultCellWidth);
        if (c.right > prev) width = c.right - prev;
        prev = c.right;
    }
    if (lv.shared && *lv.shared == def) return lv.shared;
    lv.shared = std::make_shared<const RowDef>(std::move(def));
    return lv.shared;
}

} // namespace rtf::reader
