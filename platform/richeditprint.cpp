// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richeditprint.h"

#include "platform/printing.h"
#include "platform/richedit.h"

#include "core/exception.h"
#include "platform/listformat.h"
#include "platform/richedit_p.h"
#include "platform/tableformat.h"
#include "platform/textformats.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QPrinter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QTextTable>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

namespace {
// Marks a table of the print copy that already holds the toolkit's formats.
constexpr int PrintFormatsProperty = QTextFormat::UserProperty + 0x1F0;
// A table's rows' least heights in twips (0 for none), which the toolkit's
// table formats cannot hold.
constexpr int PrintRowHeightsProperty = QTextFormat::UserProperty + 0x1F1;
constexpr double TwipsPerPx = 15.0;
// The narrowest cell kept from a row whose right edges go backwards.
constexpr int NarrowestCellTwips = 90;

// A cell of the print copy's grid: where it stands, what borders, shading
// and alignment it draws; a filler stands where a row has no cell.
struct GridCell {
    int row = 0, col = 0, rows = 1, cols = 1;
    rtf::CellDef def;
    int gap = 0;
    bool filler = false;
    bool absorbed = false;
};

// Every table of `doc` (and of its cells), outer tables before inner ones.
QList<QTextTable *> tablesOf(QTextFrame *frame) {
    QList<QTextTable *> out;
    for (QTextFrame *child : frame->childFrames()) {
        if (auto *t = qobject_cast<QTextTable *>(child)) out << t;
        out << tablesOf(child);
    }
    return out;
}

QBrush borderBrush(const rtf::Border &b) {
    return b.color == rtf::NoColor ? QBrush(Qt::black) : QBrush(QColor::fromRgb(QRgb(b.color)));
}

QTextFrameFormat::BorderStyle borderStyle(rtf::BorderStyle s) {
    switch (s) {
    case rtf::BorderStyle::None:
        return QTextFrameFormat::BorderStyle_None;
    case rtf::BorderStyle::Double:
        return QTextFrameFormat::BorderStyle_Double;
    case rtf::BorderStyle::Dotted:
        return QTextFrameFormat::BorderStyle_Dotted;
    case rtf::BorderStyle::Dashed:
        return QTextFrameFormat::BorderStyle_Dashed;
    default:
        return QTextFrameFormat::BorderStyle_Solid;
    }
}

// Border width in pixels: a border the file draws is at least a hairline.
double borderWidth(const rtf::Border &b) {
    if (b.style == rtf::BorderStyle::None) return 0;
    const double px = b.width / TwipsPerPx * (b.style == rtf::BorderStyle::Thick ? 2 : 1);
    return std::max(px, b.style == rtf::BorderStyle::Hairline ? 0.5 : 0.75);
}

// The cell's background: its colour (white by default) darkened by the
// shading percentage, as a pattern of black dots would.
QBrush shadingBrush(const rtf::CellDef &c) {
    if (c.shading == rtf::NoColor && c.shadingPercent <= 0) return QBrush(Qt::NoBrush);
    QColor base = c.shading == rtf::NoColor ? QColor(Qt::white) : QColor::fromRgb(QRgb(c.shading));
    const double dark = std::clamp(c.shadingPercent / 10000.0, 0.0, 1.0);
    base.setRgbF(float(base.redF() * (1 - dark)), float(base.greenF() * (1 - dark)),
                 float(base.blueF() * (1 - dark)));
    return QBrush(base);
}

// A cell's four borders: width, style and colour of each side.
void setBorders(QTextTableCellFormat &f, const rtf::Border &top, const rtf::Border &left,
                const rtf::Border &bottom, const rtf::Border &right) {
    f.setTopBorder(borderWidth(top));
    f.setLeftBorder(borderWidth(left));
    f.setBottomBorder(borderWidth(bottom));
    f.setRightBorder(borderWidth(right));
    f.setTopBorderStyle(borderStyle(top.style));
    f.setLeftBorderStyle(borderStyle(left.style));
    f.setBottomBorderStyle(borderStyle(bottom.style));
    f.setRightBorderStyle(borderStyle(right.style));
    f.setTopBorderBrush(borderBrush(top));
    f.setLeftBorderBrush(borderBrush(left));
    f.setBottomBorderBrush(borderBrush(bottom));
    f.setRightBorderBrush(borderBrush(right));
}

void applyCellFormat(QTextTable *t, const GridCell &g) {
    QTextTableCell cell = t->cellAt(g.row, g.col);
    QTextTableCellFormat f = cell.format().toTableCellFormat();
    const rtf::CellDef none;
    const rtf::CellDef &d = g.filler ? none : g.def;
    setBorders(f, d.top, d.left, d.bottom, d.rightBorder);
    const QBrush shade = shadingBrush(d);
    if (shade.style() == Qt::NoBrush) {
        f.clearBackground();
    } else {
        f.setBackground(shade);
    }
    f.setVerticalAlignment(d.align == rtf::CellAlign::Center   ? QTextCharFormat::AlignMiddle
                           : d.align == rtf::CellAlign::Bottom ? QTextCharFormat::AlignBottom
                                                               : QTextCharFormat::AlignTop);
    const double gap = g.gap / TwipsPerPx;
    f.setLeftPadding(gap);
    f.setRightPadding(gap);
    f.setTopPadding(0);
    f.setBottomPadding(0);
    cell.setFormat(f);
}

// Moves the text of one cell into an empty cell of the same row.
void moveCellText(QTextTable *t, int row, int from, int to) {
    const QTextTableCell src = t->cellAt(row, from);
    QTextCursor sel = src.firstCursorPosition();
    const QTextBlockFormat blockFormat = sel.blockFormat();
    const QTextCharFormat charFormat = sel.blockCharFormat();
    sel.setPosition(src.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    QTextCursor into = t->cellAt(row, to).firstCursorPosition();
    into.setBlockFormat(blockFormat);
    into.setBlockCharFormat(charFormat);
    if (!sel.hasSelection()) return;
    const QTextDocumentFragment text = sel.selection();
    sel.removeSelectedText();
    into.insertFragment(text);
}

// Gives a table of the print copy the toolkit's own formats from the cell
// and row definitions its cells hold: column widths from the cells' right
// edges (the union of every row's), cells spanning columns and rows merged,
// borders, shading, vertical alignment, padding from the gap, and the
// leading header rows repeated on each page.
void giveTableFormats(QTextTable *t) {
    const int rows = t->rows(), columns = t->columns();
    struct Row {
        rtf::RowDef def;
        bool defined = false;
        std::vector<rtf::CellDef> cells;
        std::vector<int> edges; // twips: the left edge, then each cell's right edge
    };
    std::vector<Row> shape(static_cast<size_t>(rows));
    bool anyDefined = false;
    int low = INT_MAX, high = INT_MIN;
    for (int r = 0; r < rows; ++r) {
        Row &row = shape[size_t(r)];
        const QTextTableCellFormat first = qtrich::cellFormat(t, r, 0);
        row.defined = first.boolProperty(qtrich::RowDefinedProperty);
        row.def = qtrich::rowDef(first);
        for (int c = 0; c < columns; ++c) {
            const QTextTableCellFormat f = qtrich::cellFormat(t, r, c);
            if (qtrich::isAbsent(f)) break;
            row.cells.push_back(qtrich::cellDef(f));
        }
        if (row.cells.empty()) row.cells.emplace_back(); // keeps its first cell's text
        if (!row.defined) continue;
        anyDefined = true;
        int x = row.def.left;
        row.edges.push_back(x);
        for (const rtf::CellDef &c : row.cells) {
            x = std::max(c.right, x + NarrowestCellTwips);
            row.edges.push_back(x);
        }
        low = std::min(low, row.edges.front());
        high = std::max(high, row.edges.back());
    }
    if (!anyDefined) {
        // Nothing says where the cells stand: the toolkit's widths, a plain grid.
        low = 0;
        high = columns * 1440;
    }
    // A row without a definition shares the table's width evenly.
    for (Row &row : shape) {
        if (row.defined) continue;
        const int n = int(row.cells.size());
        for (int k = 0; k <= n; ++k)
            row.edges.push_back(low + int(qint64(high - low) * k / n));
        if (!anyDefined)
            for (rtf::CellDef &c : row.cells)
                c.top = c.left = c.bottom = c.rightBorder = {rtf::BorderStyle::Single, 15};
    }
    std::vector<int> edges;
    for (const Row &row : shape)
        edges.insert(edges.end(), row.edges.begin(), row.edges.end());
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    const int wanted = int(edges.size()) - 1;
    const auto column = [&](int x) {
        return int(std::lower_bound(edges.begin(), edges.end(), x) - edges.begin());
    };

    // Each cell's text moves to the column its left edge stands at.
    if (wanted > columns) t->appendColumns(wanted - columns);
    for (int r = 0; r < rows; ++r) {
        const Row &row = shape[size_t(r)];
        for (int k = int(row.cells.size()) - 1; k >= 0; --k) {
            const int to = column(row.edges[size_t(k)]);
            if (to != k) moveCellText(t, r, k, to);
        }
    }

    // The grid: fillers where a row has no cell, cells merged across, then down.
    std::vector<std::vector<GridCell>> grid(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        const Row &row = shape[size_t(r)];
        std::vector<GridCell> &line = grid[size_t(r)];
        const int start = column(row.edges.front());
        if (start > 0) line.push_back({r, 0, 1, start, {}, 0, true, false});
        for (size_t k = 0; k < row.cells.size(); ++k) {
            const int from = column(row.edges[k]), to = column(row.edges[k + 1]);
            if (row.cells[k].across == rtf::Merge::Next && !line.empty() && !line.back().filler &&
                line.back().def.across == rtf::Merge::First) {
                line.back().cols = to - line.back().col;
                line.back().def.rightBorder = row.cells[k].rightBorder;
                continue;
            }
            line.push_back({r, from, 1, to - from, row.cells[k], row.def.gap, false, false});
        }
        const int end = column(row.edges.back());
        if (end < wanted) line.push_back({r, end, 1, wanted - end, {}, 0, true, false});
    }
    for (int r = 0; r < rows; ++r) {
        for (GridCell &g : grid[size_t(r)]) {
            if (g.filler || g.absorbed || g.def.down != rtf::Merge::First) continue;
            for (int below = r + 1; below < rows; ++below) {
                auto next = std::find_if(
                    grid[size_t(below)].begin(), grid[size_t(below)].end(), [&](const GridCell &n) {
                        return !n.filler && n.col == g.col && n.cols == g.cols &&
                               n.def.down == rtf::Merge::Next;
                    });
                if (next == grid[size_t(below)].end()) break;
                next->absorbed = true;
                g.rows += 1;
                g.def.bottom = next->def.bottom;
            }
        }
    }
    for (const std::vector<GridCell> &line : grid) {
        for (const GridCell &g : line) {
            if (g.absorbed) continue;
            applyCellFormat(t, g);
            if (g.rows > 1 || g.cols > 1) t->mergeCells(g.row, g.col, g.rows, g.cols);
        }
    }

    QTextTableFormat f = t->format();
    QList<QTextLength> widths;
    for (int c = 0; c < wanted; ++c)
        widths << QTextLength(QTextLength::FixedLength,
                              (edges[size_t(c) + 1] - edges[size_t(c)]) / TwipsPerPx);
    f.setColumnWidthConstraints(widths);
    f.setBorder(0);
    f.setBorderCollapse(true);
    f.setCellSpacing(0);
    f.setCellPadding(0);
    f.setMargin(0);
    f.setLeftMargin(std::max(0, edges.front()) / TwipsPerPx);
    f.setWidth(QTextLength());
    const rtf::Align align = shape.front().def.align;
    f.setAlignment(align == rtf::Align::Center  ? Qt::AlignHCenter
                   : align == rtf::Align::Right ? Qt::AlignRight
                                                : Qt::AlignLeft);
    int headers = 0;
    while (headers < rows && shape[size_t(headers)].def.header)
        ++headers;
    f.setHeaderRowCount(headers < rows ? headers : 0);
    // A row "exactly" so high is printed at least so high: its text is not cut.
    QList<int> least;
    bool anyLeast = false;
    for (const Row &row : shape) {
        least << (row.defined ? std::abs(row.def.height) : 0);
        anyLeast = anyLeast || least.back() > 0;
    }
    if (anyLeast) f.setProperty(PrintRowHeightsProperty, QVariant::fromValue(least));
    f.setProperty(PrintFormatsProperty, true);
    t->setFormat(f);
}

// A paragraph's borders, which the toolkit's paragraphs do not have: the
// paragraphs that follow each other with the same borders (out of tables)
// move into a table of one cell with those borders, standing where their
// box does in the editor (their indents less the border's spacing, their
// space before and after outside it).
void boxBorderedParagraphs(QTextDocument *copy) {
    struct Group {
        int first = 0, last = 0; // block numbers
        rtf::ParaBox box;
    };
    std::vector<Group> groups;
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
        const rtf::ParaBox box = qtrich::paraBoxOf(b.blockFormat());
        const bool bordered = !(box.top == rtf::Border{} && box.left == rtf::Border{} &&
                                box.bottom == rtf::Border{} && box.right == rtf::Border{});
        if (!bordered || QTextCursor(b).currentFrame() != copy->rootFrame()) continue;
        if (!groups.empty() && groups.back().last + 1 == b.blockNumber() &&
            groups.back().box == box) {
            groups.back().last = b.blockNumber();
        } else {
            groups.push_back({b.blockNumber(), b.blockNumber(), box});
        }
    }
    QTextCursor cur(copy);
    cur.beginEditBlock();
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
        const QTextBlock first = copy->findBlockByNumber(g->first);
        const QTextBlock last = copy->findBlockByNumber(g->last);
        std::vector<QTextBlockFormat> formats;
        double left = 1e9, right = 1e9;
        for (QTextBlock b = first; b.isValid() && b.blockNumber() <= g->last; b = b.next()) {
            formats.push_back(b.blockFormat());
            left = std::min(left, formats.back().leftMargin());
            right = std::min(right, formats.back().rightMargin());
        }
        const QTextBlock after = last.next();
        const bool atStart = first.position() == 0;
        // The paragraphs go with the end of the one before them, so that the
        // table stands in their place.
        cur.setPosition(atStart ? 0 : first.position() - 1);
        cur.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
        const QTextDocumentFragment text = cur.selection();
        cur.removeSelectedText();

        const double space = g->box.space / TwipsPerPx;
        QTextTableFormat tf;
        tf.setBorder(0);
        tf.setBorderCollapse(true);
        tf.setCellSpacing(0);
        tf.setCellPadding(0);
        tf.setMargin(0);
        tf.setLeftMargin(std::max(0.0, left - space));
        tf.setRightMargin(std::max(0.0, right - space));
        tf.setTopMargin(std::max(0.0, formats.front().topMargin() - space));
        tf.setBottomMargin(std::max(0.0, formats.back().bottomMargin() - space));
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tf.setProperty(PrintFormatsProperty, true);
        QTextTable *t = cur.insertTable(1, 1, tf);
        QTextTableCell cell = t->cellAt(0, 0);
        QTextTableCellFormat cf = cell.format().toTableCellFormat();
        const rtf::ParaBox &box = g->box;
        setBorders(cf, box.top, box.left, box.bottom, box.right);
        if (box.shading != rtf::NoColor) cf.setBackground(QColor::fromRgb(QRgb(box.shading)));
        cf.setPadding(space);
        cell.setFormat(cf);
        QTextCursor in = cell.firstCursorPosition();
        in.insertFragment(text);
        // The fragment began with the separator before the paragraphs: the
        // cell's first block is empty.
        if (!atStart) {
            in = cell.firstCursorPosition();
            in.deleteChar();
        }
        // Each paragraph's own format, within the box.
        size_t k = 0;
        for (QTextBlock b = cell.firstCursorPosition().block();
             b.isValid() && b.position() <= cell.lastPosition() && k < formats.size();
             b = b.next(), ++k) {
            QTextBlockFormat f = formats[k];
            f.setLeftMargin(f.leftMargin() - left);
            f.setRightMargin(f.rightMargin() - right);
            if (k == 0) f.setTopMargin(0);
            if (k + 1 == formats.size()) f.setBottomMargin(0);
            f.clearBackground();
            in.setPosition(b.position());
            in.setBlockFormat(f);
        }
        // The toolkit puts an empty paragraph after the table: the one that
        // followed the box takes its place.
        if (after.isValid()) {
            QTextCursor end(copy);
            end.setPosition(t->lastPosition() + 1);
            const QTextBlock next = end.block().next();
            if (end.block().length() == 1 && next.isValid() &&
                QTextCursor(next).currentFrame() == copy->rootFrame()) {
                const QTextBlockFormat keep = end.block().next().blockFormat();
                end.deleteChar();
                end.setBlockFormat(keep);
            }
        }
    }
    cur.endEditBlock();
}

// What the editor shows of the RTF it keeps, in the toolkit's terms: hidden
// text goes, a paragraph's shading becomes its background, and its borders a
// box around it.
void showKept(QTextDocument *copy) {
    QTextCursor cur(copy);
    cur.beginEditBlock();
    for (QTextBlock b = copy->lastBlock(); b.isValid(); b = b.previous()) {
        std::vector<std::pair<int, int>> hidden;
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (frag.charFormat().boolProperty(qtrich::HiddenProperty))
                hidden.emplace_back(frag.position(), frag.length());
        }
        for (auto h = hidden.rbegin(); h != hidden.rend(); ++h) {
            cur.setPosition(h->first);
            cur.setPosition(h->first + h->second, QTextCursor::KeepAnchor);
            cur.removeSelectedText();
        }
        const rtf::ParaBox box = qtrich::paraBoxOf(b.blockFormat());
        if (box.shading == rtf::NoColor) continue;
        QTextBlockFormat f = b.blockFormat();
        f.setBackground(QColor::fromRgb(QRgb(box.shading)));
        cur.setPosition(b.position());
        cur.setBlockFormat(f);
    }
    cur.endEditBlock();
    boxBorderedParagraphs(copy);
}

void giveTablesFormats(QTextDocument *copy) {
    QList<QPointer<QTextTable>> tables;
    for (QTextTable *t : tablesOf(copy->rootFrame()))
        tables << t;
    QTextCursor edit(copy);
    edit.beginEditBlock();
    // Moving a cell's text re-creates the tables in it: look for them again.
    for (qsizetype i = 0; i < tables.size(); ++i) {
        if (!tables[i]) {
            tables.clear();
            for (QTextTable *t : tablesOf(copy->rootFrame()))
                if (!t->format().boolProperty(PrintFormatsProperty)) tables << t;
            i = -1;
            continue;
        }
        if (!tables[i]->format().boolProperty(PrintFormatsProperty)) giveTableFormats(tables[i]);
    }
    edit.endEditBlock();
}

// The toolkit breaks a table row across pages whenever one of its cells
// starts above the page's foot (QTextDocumentLayout::layoutTable moves a
// row to the next page only when none does), and has no setting to keep a
// row whole. So the copy is laid out first as QTextDocument::print will lay
// it out; a row found cut by a page's foot that fits one page is pushed to
// the next page by stretching the tallest cell of the row above it down to
// the foot (as the toolkit itself stretches a row it moves), or, for a
// table's first rows, by starting the table on a new page. Each push moves
// what follows, so the copy is laid out again after each one.
class RowKeeper {
public:
    RowKeeper(QTextDocument *copy, QPrinter &printer) : copy_(copy) {
        // As QTextDocument::print sets up its own clone.
        QMarginsF m = printer.pageLayout().margins(QPageLayout::Millimeter);
        if (m.isNull()) printer.setPageMargins(QMarginsF(2, 2, 2, 2), QPageLayout::Millimeter);
        const QScreen *screen = QGuiApplication::primaryScreen();
        const double dpiX = screen ? std::round(screen->logicalDotsPerInchX()) : 96;
        const double dpiY = screen ? std::round(screen->logicalDotsPerInchY()) : 96;
        scale_ = printer.logicalDpiY() / dpiY;
        trial_.reset(copy->clone());
        trial_->documentLayout()->setPaintDevice(&printer);
        QTextFrameFormat root = trial_->rootFrame()->frameFormat();
        const int across = int((2 / 2.54) * dpiX), down = int((2 / 2.54) * dpiY);
        root.setLeftMargin(across);
        root.setRightMargin(across);
        root.setTopMargin(down);
        root.setBottomMargin(down);
        trial_->rootFrame()->setFrameFormat(root);
        pageHeight_ = printer.height();
        trial_->setPageSize(QSizeF(printer.width(), pageHeight_));
        top_ = down * scale_;
    }

    // Rows as high as the file asks at least: the tallest cell of a row
    // that is not gets room below, above or both, as its text is aligned,
    // and the toolkit aligns the others in the taller row. All the rows'
    // heights are measured first, so the copy is laid out again once.
    void heightenRows() {
        const QList<QTextTable *> ours = tablesOf(copy_->rootFrame());
        const QList<QTextTable *> theirs = tablesOf(trial_->rootFrame());
        if (ours.size() != theirs.size()) return;
        struct Room {
            QTextTable *trial, *copy;
            int row, column;
            double px;
        };
        std::vector<Room> rooms;
        for (qsizetype i = 0; i < theirs.size(); ++i) {
            QTextTable *t = theirs[i];
            const QList<int> least =
                t->format().property(PrintRowHeightsProperty).value<QList<int>>();
            for (int r = 0; r < std::min(t->rows(), int(least.size())); ++r) {
                if (least[r] <= 0) continue;
                int tallest = -1;
                const double h = naturalHeight(t, r, &tallest);
                const double wanted = least[r] / TwipsPerPx * scale_;
                if (tallest >= 0 && h < wanted)
                    rooms.push_back({t, ours[i], r, tallest, (wanted - h) / scale_});
            }
        }
        // In one edit each: a cell's new format would otherwise lay the
        // whole table out again, row after row.
        QTextCursor trialEdit(trial_.get()), copyEdit(copy_);
        trialEdit.beginEditBlock();
        copyEdit.beginEditBlock();
        for (const Room &room : rooms) {
            for (QTextTable *t : {room.trial, room.copy}) {
                QTextTableCell cell = t->cellAt(room.row, room.column);
                QTextTableCellFormat f = cell.format().toTableCellFormat();
                const QTextCharFormat::VerticalAlignment align = f.verticalAlignment();
                const double above = align == QTextCharFormat::AlignMiddle   ? room.px / 2
                                     : align == QTextCharFormat::AlignBottom ? room.px
                                                                             : 0;
                f.setTopPadding(f.topPadding() + above);
                f.setBottomPadding(f.bottomPadding() + room.px - above);
                cell.setFormat(f);
            }
        }
        copyEdit.endEditBlock();
        trialEdit.endEditBlock();
    }

    void keepRowsWhole() {
        QList<QTextTable *> ours, theirs;
        for (QTextFrame *f : copy_->rootFrame()->childFrames())
            if (auto *t = qobject_cast<QTextTable *>(f)) ours << t;
        for (QTextFrame *f : trial_->rootFrame()->childFrames())
            if (auto *t = qobject_cast<QTextTable *>(f)) theirs << t;
        if (ours.size() != theirs.size()) return;
        QElapsedTimer spent;
        spent.start();
        for (qsizetype i = 0; i < ours.size(); ++i) {
            QTextTable *t = theirs[i];
            const int headers = t->format().headerRowCount();
            double headerHeight = 0;
            for (int r = 0; r < headers; ++r)
                headerHeight += naturalHeight(t, r);
            const double room = pageHeight_ - 2 * top_ - headerHeight;
            for (int r = 0; r < t->rows(); ++r) {
                // Enough pushes for any document one would print; a larger
                // one prints as the toolkit breaks it.
                if (spent.elapsed() > 20000) return;
                const Extent e = extent(t, r);
                if (!e.valid || page(e.top) == page(e.bottom - 1)) continue;
                if (naturalHeight(t, r) > room) continue;
                if (r <= headers) {
                    // The table's first rows: the table starts on a new page,
                    // unless it already does.
                    if (e.top - page(e.top) * pageHeight_ <= top_ + headerHeight + 2 * scale_)
                        continue;
                    for (QTextTable *each : {t, ours[i]}) {
                        QTextTableFormat f = each->format();
                        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                        each->setFormat(f);
                    }
                    r = -1;
                    continue;
                }
                stretchAbove(t, ours[i], r, (page(e.top) + 1) * pageHeight_ - top_);
            }
        }
    }

private:
    struct Extent {
        double top = 0, bottom = 0;
        bool valid = false;
    };

    int page(double y) const { return int(std::floor(y / pageHeight_)); }

    // The cells starting in row r: from their first line's top to the bottom
    // of their text.
    Extent extent(QTextTable *t, int r) const {
        Extent e;
        const QAbstractTextDocumentLayout *layout = trial_->documentLayout();
        for (int c = 0; c < t->columns(); ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            if (cell.row() != r || cell.column() != c || cell.rowSpan() > 1) continue;
            const QTextBlock first = cell.firstCursorPosition().block();
            const QTextBlock last = cell.lastCursorPosition().block();
            const QRectF a = layout->blockBoundingRect(first);
            const QRectF b = layout->blockBoundingRect(last);
            const QTextLayout *l = first.layout();
            const double top = a.top() + (l && l->lineCount() ? l->lineAt(0).y() : 0);
            e.top = e.valid ? std::min(e.top, top) : top;
            e.bottom = e.valid ? std::max(e.bottom, b.bottom()) : b.bottom();
            e.valid = true;
        }
        return e;
    }

    // A row's height without page breaks: its tallest cell's lines (that
    // cell's column in `which`, of those spanning no other row).
    double naturalHeight(QTextTable *t, int r, int *which = nullptr) const {
        double tallest = 0;
        for (int c = 0; c < t->columns(); ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) continue;
            double h = 0;
            for (QTextBlock b = cell.firstCursorPosition().block();
                 b.isValid() && b.position() <= cell.lastPosition(); b = b.next()) {
                const QTextBlockFormat f = b.blockFormat();
                h += (f.topMargin() + f.bottomMargin()) * scale_;
                if (const QTextLayout *l = b.layout())
                    for (int n = 0; n < l->lineCount(); ++n)
                        h += l->lineAt(n).height();
            }
            if (which && cell.rowSpan() == 1 && (*which < 0 || h > tallest)) *which = c;
            tallest = std::max(tallest, h);
        }
        return tallest;
    }

    // The tallest cell of the row above r reaches past `foot`.
    void stretchAbove(QTextTable *trial, QTextTable *copy, int r, double foot) {
        const QAbstractTextDocumentLayout *layout = trial_->documentLayout();
        int tallest = -1;
        double bottom = 0;
        for (int c = 0; c < trial->columns(); ++c) {
            const QTextTableCell cell = trial->cellAt(r - 1, c);
            if (cell.row() != r - 1 || cell.column() != c || cell.rowSpan() > 1) continue;
            const double b = layout->blockBoundingRect(cell.lastCursorPosition().block()).bottom();
            if (tallest < 0 || b > bottom) tallest = c, bottom = b;
        }
        if (tallest < 0 || bottom >= foot) return;
        // An empty paragraph of a tiny font whose line is followed by the
        // room left: the toolkit breaks a page before a line by the line's
        // own height (a cell's bottom padding would move its text instead).
        QTextBlockFormat room;
        room.setLineHeight((foot - bottom) / scale_ + 2, QTextBlockFormat::LineDistanceHeight);
        QTextCharFormat tiny;
        tiny.setFontPointSize(1);
        for (QTextTable *t : {trial, copy})
            t->cellAt(r - 1, tallest).lastCursorPosition().insertBlock(room, tiny);
    }

    QTextDocument *copy_;
    std::unique_ptr<QTextDocument> trial_;
    double pageHeight_ = 0, top_ = 0, scale_ = 1;
};
} // namespace

void PrintDocument(const QTextDocument *doc, const QString &title) {
    QPrinter &printer = CurrentPrinter();
    printer.setDocName(title);
    // Every print is the whole document once, whatever the dialog last held.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);
    printer.setCopyCount(1);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        // QTextDocument::print reports nothing: make sure the file can be written.
        QFile out(printer.outputFileName());
        if (printer.outputFileName().isEmpty() || !out.open(QIODevice::WriteOnly)) {
            throw Exception(QStringLiteral("Impossible d'imprimer dans le fichier « %1 » : %2.")
                                .arg(printer.outputFileName(), out.errorString()));
        }
    }
    // The toolkit numbers lists its own way, and lays out a paragraph's left
    // and right indents and first-line indent in the printer's dots, not in
    // the document's pixels as it does the space above and below: a copy
    // holds the markers as text and the indents in dots.
    // Tables hold their geometry in properties of our own, which the
    // toolkit's layout does not read: a copy holds it in the toolkit's formats.
    // Hidden text, borders and shading are in properties of our own too.
    bool lists = false, indents = false, tables = false, kept = false;
    for (QTextFrame *f : doc->rootFrame()->childFrames())
        tables = tables || qobject_cast<QTextTable *>(f) != nullptr;
    for (QTextBlock b = doc->begin(); b.isValid() && !(lists && indents && kept); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        lists = lists || b.textList() != nullptr;
        indents = indents || f.leftMargin() != 0 || f.rightMargin() != 0 || f.textIndent() != 0;
        kept = kept || f.hasProperty(qtrich::ParaBoxProperty);
        for (QTextBlock::iterator it = b.begin(); !kept && !it.atEnd(); ++it)
            kept = it.fragment().charFormat().boolProperty(qtrich::HiddenProperty);
    }
    if (!lists && !indents && !tables && !kept) {
        doc->print(&printer);
    } else {
        std::unique_ptr<QTextDocument> copy(doc->clone());
        copy->setUndoRedoEnabled(false);
        if (kept) showKept(copy.get());
        if (lists) qtrich::markersToText(copy.get());
        const double dots = printer.logicalDpiX() / 96.0;
        QTextCursor cur(copy.get());
        cur.beginEditBlock();
        for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
            QTextBlockFormat f = b.blockFormat();
            if (f.leftMargin() == 0 && f.rightMargin() == 0 && f.textIndent() == 0) continue;
            f.setLeftMargin(f.leftMargin() * dots);
            f.setRightMargin(f.rightMargin() * dots);
            f.setTextIndent(f.textIndent() * dots);
            cur.setPosition(b.position());
            cur.setBlockFormat(f);
        }
        cur.endEditBlock();
        if (tables) {
            giveTablesFormats(copy.get());
            RowKeeper keeper(copy.get(), printer);
            keeper.heightenRows();
            keeper.keepRowsWhole();
        }
        copy->print(&printer);
    }
    if (printer.printerState() == QPrinter::Error) {
        throw Exception(QStringLiteral("L'impression sur « %1 » a échoué.")
                            .arg(printer.outputFormat() == QPrinter::PdfFormat
                                     ? printer.outputFileName()
                                     : printer.printerName()));
    }
}

void TRichEdit::Print(const QString &caption) {
    PrintDocument(editor_->document(), caption);
}
