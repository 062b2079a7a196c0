// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/blocklayout.h"

#include "platform/listformat.h"
#include "platform/tableformat.h"
#include "platform/textformats.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

// ---------------------------------------------------------------------------
// ExtentTree: a Fenwick tree over a copy of the values.

void ExtentTree::assign(const std::vector<double> &values) {
    values_ = values;
    const size_t n = values_.size();
    tree_.assign(n + 1, 0.0);
    for (size_t i = 1; i <= n; ++i) { // built in O(n)
        tree_[i] += values_[i - 1];
        const size_t parent = i + (i & (~i + 1));
        if (parent <= n) tree_[parent] += tree_[i];
    }
}

void ExtentTree::set(size_t i, double value) {
    const double delta = value - values_[i];
    if (delta == 0) return;
    values_[i] = value;
    for (size_t k = i + 1; k < tree_.size(); k += k & (~k + 1))
        tree_[k] += delta;
}

double ExtentTree::prefix(size_t n) const {
    double sum = 0;
    for (size_t k = std::min(n, values_.size()); k > 0; k -= k & (~k + 1))
        sum += tree_[k];
    return sum;
}

size_t ExtentTree::find(double offset) const {
    const size_t n = values_.size();
    if (n == 0) return 0;
    size_t pos = 0;
    size_t step = 1;
    while (step * 2 <= n)
        step *= 2;
    double rest = offset;
    for (; step > 0; step /= 2) {
        if (pos + step <= n && tree_[pos + step] <= rest) {
            pos += step;
            rest -= tree_[pos];
        }
    }
    return std::min(pos, n - 1);
}

// ---------------------------------------------------------------------------
// BlockLayout

namespace {
// Wide enough for any line of a paragraph laid out without wrapping.
constexpr double NoWrapWidth = 1e7;

// How far a line of a paragraph with a line height of its own (\sl) moves
// the next one down, and how far above its place its text is drawn, as the
// toolkit's layout (and so the print) has them: a proportional height adds
// room below the text, an exact one centres the text's ascent in 4/5 of
// it, an "at least" one puts the room above.
std::pair<double, double> lineStep(const QTextBlockFormat &format, const QTextLine &line) {
    const int type = format.lineHeightType();
    if (type == QTextBlockFormat::SingleHeight) return {line.height(), 0};
    const double raw = std::ceil(line.ascent() + line.descent() + line.leading());
    const double height = format.lineHeight(raw, 1);
    if (type == QTextBlockFormat::FixedHeight)
        return {height, line.ascent() + std::max(line.leading(), 0.0) - height * 4 / 5};
    if (type == QTextBlockFormat::MinimumHeight) return {height, line.height() - height};
    return {height, 0};
}

// Breaks a layout into lines of `width` from `top` down, the first indented
// by `indent`, each as high as the paragraph's line height says; gives the
// bottom and the widest line's right end.
std::pair<double, double> layLines(QTextLayout *tl, const QTextBlockFormat &format, double left,
                                   double indent, double width, double top) {
    double y = top, widest = 0;
    bool first = true;
    tl->beginLayout();
    for (QTextLine line = tl->createLine(); line.isValid(); line = tl->createLine()) {
        line.setLeadingIncluded(true);
        const double x = left + (first ? indent : 0);
        line.setLineWidth(std::max(1.0, width - (first ? indent : 0)));
        const auto [step, raise] = lineStep(format, line);
        line.setPosition(QPointF(x, y - raise));
        y += step;
        widest = std::max(widest, x + line.naturalTextWidth());
        first = false;
    }
    tl->endLayout();
    return {y, widest};
}

// The format of a letter standing in for a picture: its font as high above
// the baseline as the picture, spaced to the picture's width, not painted.
QTextCharFormat pictureStandIn(const QTextCharFormat &picture) {
    const QTextImageFormat image = picture.toImageFormat();
    const double width = std::max(1.0, image.width()), height = std::max(1.0, image.height());
    QTextCharFormat f;
    QFont font = picture.font();
    font.setPixelSize(100);
    const QFontMetricsF at100(font);
    font.setPixelSize(std::max(1, int(std::ceil(height * 100 / std::max(1.0, at100.ascent())))));
    const QFontMetricsF metrics(font);
    font.setLetterSpacing(QFont::AbsoluteSpacing,
                          width - metrics.horizontalAdvance(QLatin1Char('X')));
    f.setFont(font);
    f.setForeground(Qt::transparent);
    return f;
}
} // namespace

namespace {
constexpr double CellPadding = 1;         // above and below a cell's text
constexpr double BorderReach = 4;         // how far a drawn border may stand outside its row
constexpr double MinCellWidth = 8;        // a cell whose right edge goes back still shows
constexpr double UndefinedGap = 3;        // the text inset of cells without definition
constexpr double DefaultTableWidth = 624; // shared by such cells without wrapping: 6.5 in
constexpr int MaxMergedRows = 1000;       // how far a merge down is followed

double px(int twips) {
    return twips / qtrich::TwipsPerPixel;
}

// How the cell of `row` under a cell of another row (its `column` there,
// its right edge `edge`) is merged down: the cell below is the one with the
// same right edge, whatever its place among its row's cells (rows split
// into different cells, as a header over several columns), or at the same
// place when the rows have no edges.
rtf::Merge mergedDown(QTextTable *table, int row, int column, int edge) {
    const auto at = [&](int c, bool byEdge) -> std::optional<rtf::Merge> {
        const QTextTableCellFormat f = qtrich::cellFormat(table, row, c);
        if (qtrich::isAbsent(f)) return std::nullopt;
        const rtf::CellDef d = qtrich::cellDef(f);
        if (byEdge && (!f.hasProperty(qtrich::CellRightProperty) || d.right != edge))
            return std::nullopt;
        return d.down;
    };
    if (edge == 0 || column >= table->columns()) {
        if (column >= table->columns()) return rtf::Merge::None;
        return at(column, false).value_or(rtf::Merge::None);
    }
    if (const auto m = at(column, true)) return *m;
    for (int c = 0; c < table->columns(); ++c)
        if (c != column)
            if (const auto m = at(c, true)) return *m;
    return rtf::Merge::None;
}
rtf::Merge mergedDown(QTextTable *table, int row, int column) {
    const QTextTableCellFormat f = qtrich::cellFormat(table, row, column);
    return qtrich::isAbsent(f) ? rtf::Merge::None : qtrich::cellDef(f).down;
}

// True when a cell of the row continues a cell merged down from above.
bool continuesMerge(QTextTable *table, int row) {
    for (int c = 0; c < table->columns(); ++c) {
        if (mergedDown(table, row, c) == rtf::Merge::Next) return true;
    }
    return false;
}
} // namespace

BlockLayout::BlockLayout(QTextDocument *doc) : QAbstractTextDocumentLayout(doc) {}

BlockLayout::~BlockLayout() = default;

double BlockLayout::margin() const {
    return document()->documentMargin();
}

bool BlockLayout::wrapping() const {
    return document()->defaultTextOption().wrapMode() != QTextOption::NoWrap &&
           document()->textWidth() > 0;
}

double BlockLayout::availableWidth() const {
    const double w = document()->textWidth();
    return w > 0 ? std::max(1.0, w - 2 * margin()) : NoWrapWidth;
}

double BlockLayout::top(int blockNumber) const {
    return margin() + heights_.prefix(size_t(blockNumber));
}

QTextOption BlockLayout::optionFor(const QTextBlock &block) const {
    QTextOption option = document()->defaultTextOption();
    const QTextBlockFormat format = block.blockFormat();
    Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
    option.setAlignment(align ? align : Qt::AlignLeft);
    if (format.hasProperty(QTextFormat::TabPositions)) option.setTabs(format.tabPositions());
    option.setTextDirection(block.textDirection());
    return option;
}

void BlockLayout::noteWidth(double width) const {
    if (width > widest_) widest_ = width;
}

double BlockLayout::estimate(const QTextBlock &block) const {
    if (const RowRef row = rowAt(block); row.table) {
        if (row.first != block) return 0;
        const QTextBlock next = row.last.next();
        const int end = next.isValid() ? next.position() : document()->characterCount();
        return rowEstimate(end - block.position(), row.table->columns(), tableWidth(row.table));
    }
    const int length = block.length() - 1;
    if (length > GiantBlock) {
        segment(block);
        return giantHeight(block, *giants_[size_t(block.blockNumber())]);
    }
    double lines = 1;
    // Without wrapping the widest line sets the horizontal scroll range: an
    // estimate until the paragraph is laid out.
    if (!wrapping()) noteWidth(block.blockFormat().leftMargin() + length * charWidth_);
    if (wrapping() && length > 0)
        lines = std::max(1.0, std::ceil(length * charWidth_ / availableWidth()));
    return lines * lineHeight_;
}

QFont BlockLayout::markerFont(const QTextBlock &block) const {
    return qtrich::leadingCharFormat(block).font().resolve(document()->defaultFont());
}

// Where a list item's marker stands, from the paragraph's left indent: at the
// first line's indent, but never left of the page's margin.
namespace {
double markerStart(const QTextBlockFormat &format) {
    return std::max(format.textIndent(), -format.leftMargin());
}
} // namespace

double BlockLayout::markerRoom(const QTextBlock &block, const QTextBlockFormat &format) const {
    if (!block.textList()) return 0;
    // The text follows the marker at the left indent when the marker fits
    // before it, as after a tab; otherwise after the marker and a gap.
    const QFontMetricsF m(markerFont(block));
    const double marker =
        m.horizontalAdvance(numbering_.marker(block)) + 2 * m.horizontalAdvance(QLatin1Char(' '));
    const double start = markerStart(format);
    const double text = -start >= marker ? 0 : start + marker;
    return text - format.textIndent();
}

void BlockLayout::drawMarker(QPainter *painter, const QTextBlock &block, const QTextLayout *tl,
                             const QPointF &at, double left) const {
    if (!block.textList() || tl->lineCount() == 0) return;
    const QTextLine line = tl->lineAt(0);
    const QTextCharFormat f = qtrich::leadingCharFormat(block);
    painter->save();
    painter->setFont(markerFont(block));
    if (f.foreground().style() != Qt::NoBrush) painter->setPen(f.foreground().color());
    painter->drawText(
        at + QPointF(left + markerStart(block.blockFormat()), line.y() + line.ascent()),
        numbering_.marker(block));
    painter->restore();
}

std::pair<double, double> BlockLayout::layoutText(const QTextBlock &block, double width,
                                                  bool inCell) const {
    QTextLayout *tl = block.layout();
    const QTextBlockFormat format = block.blockFormat();
    tl->setCacheEnabled(true); // shaped once, painted many times
    QTextOption option = optionFor(block);
    if (inCell && option.wrapMode() == QTextOption::NoWrap)
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    tl->setTextOption(option);
    const double indent = format.textIndent() + markerRoom(block, format);
    const auto [y, widest] =
        layLines(tl, format, format.leftMargin(), indent,
                 width - format.leftMargin() - format.rightMargin(), format.topMargin());
    return {y + format.bottomMargin(), widest + format.rightMargin()};
}

double BlockLayout::layoutBlock(const QTextBlock &block) const {
    const auto [height, widest] = layoutText(block, availableWidth());
    block.layout()->setPosition(QPointF(0, 0));
    noteWidth(widest);
    return height;
}

bool BlockLayout::ensureLaidOut(const QTextBlock &block) const {
    const size_t n = size_t(block.blockNumber());
    if (n >= laid_.size() || laid_[n] == 1 || giants_[n]) return false;
    // A paragraph of a table is laid out with its row: 2 marks those laid
    // out but the row's first, whose mark tells whether the row is.
    if (const RowRef row = rowAt(block); row.table) {
        if (laid_[size_t(row.first.blockNumber())] == 1) return false;
        return layoutRow(row);
    }
    const double h = layoutBlock(block);
    laid_[n] = 1;
    if (h == heights_.at(n)) return false;
    heights_.set(n, h);
    return true;
}

int BlockLayout::laidOutBlocks() const {
    int n = 0;
    for (char c : laid_)
        n += c ? 1 : 0;
    return n;
}

bool BlockLayout::isSegmented(const QTextBlock &block) const {
    const size_t n = size_t(block.blockNumber());
    return n < giants_.size() && giants_[n];
}

void BlockLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    QTextDocument *doc = document();
    // A line of the default font, measured as paragraphs are laid out, so
    // that a one-line paragraph's estimate is its height.
    const QFontMetricsF metrics(doc->defaultFont());
    QTextLayout sample(QStringLiteral("x"), doc->defaultFont());
    sample.beginLayout();
    QTextLine line = sample.createLine();
    line.setLeadingIncluded(true);
    sample.endLayout();
    const double lineHeight = line.height();
    const double charWidth = std::max(1.0, metrics.averageCharWidth());
    const int count = doc->blockCount();
    const int old = int(heights_.size());
    // A new width, wrapping or font changes every paragraph; so does a
    // document replaced whole (a new one, one opened), whose widths are new.
    const bool everything = old == 0 || lineHeight != lineHeight_ || charWidth != charWidth_ ||
                            (from == 0 && charsAdded >= doc->characterCount() - 1) ||
                            availableWidth() != lastWidth_ || wrapping() != lastWrap_;
    const QSizeF sizeBefore = documentSize();
    lineHeight_ = lineHeight;
    charWidth_ = charWidth;
    lastWidth_ = availableWidth();
    lastWrap_ = wrapping();
    numbering_.forgetFrom(from);

    QTextBlock first = doc->findBlock(from);
    if (!first.isValid()) first = doc->lastBlock();
    // An edit in a table lays its row out again, from the row's first paragraph.
    if (!everything) {
        if (const RowRef row = rowAt(first); row.table) first = row.first;
    }
    QTextBlock last = doc->findBlock(from + charsAdded);
    if (!last.isValid()) last = doc->lastBlock();
    const int f = everything ? 0 : first.blockNumber();
    const int l = everything ? count - 1 : std::max(f, last.blockNumber());
    const int delta = count - old;
    if (everything) first = doc->begin();

    const RowRef edited = everything || delta != 0 ? RowRef() : rowAt(first);
    if (edited.table && laid_[size_t(f)] == 1 && rowAt(last).first == edited.first) {
        // A key typed in a cell of a row that is shown: the row laid out
        // again now, and only it repainted when its height stays.
        const double before = heights_.at(size_t(f));
        laid_[size_t(f)] = 0;
        layoutRow(edited);
        const bool below = forgetMergedBelow(edited);
        if (heights_.at(size_t(f)) == before && !below) {
            emit update(QRectF(0, top(f), 1e9, before));
            return;
        }
    } else if (!everything && delta == 0 && f == l && giants_[size_t(f)] &&
               first.length() - 1 > GiantBlock / 2) {
        // An edit inside one long paragraph: only its segments change.
        editSegments(first, from - first.position(), charsRemoved, charsAdded);
        heights_.set(size_t(f), giantHeight(first, *giants_[size_t(f)]));
    } else if (!everything && delta == 0 && f == l && laid_[size_t(f)] && !giants_[size_t(f)] &&
               first.length() - 1 <= GiantBlock) {
        // A key typed into a paragraph that is shown: laid out again now, and
        // when its height stays, only it is repainted.
        const double before = heights_.at(size_t(f));
        laid_[size_t(f)] = 0;
        ensureLaidOut(first);
        if (heights_.at(size_t(f)) == before) {
            emit update(QRectF(0, top(f), 1e9, before));
            return;
        }
    } else if (!everything && delta == 0) {
        // Formats changed, or cells filled: their rows estimated a row at a time.
        for (int n = f; n <= l; ++n) {
            giants_[size_t(n)].reset();
            laid_[size_t(n)] = 0;
        }
        std::vector<double> values(size_t(l - f + 1), 0.0);
        estimateBlocks(first, l, values, f);
        for (int n = f; n <= l; ++n)
            heights_.set(size_t(n), values[size_t(n - f)]);
    } else {
        // Paragraphs came or went: old entries [f, l - delta] are new [f, l];
        // those before stay, those after move by delta.
        const int tail = everything ? 0 : count - 1 - l;
        const int oldTail = old - tail;
        std::vector<double> values(size_t(count), 0.0);
        std::vector<char> laid(size_t(count), 0);
        std::vector<std::unique_ptr<Giant>> giants(static_cast<size_t>(count));
        for (int i = 0; i < f; ++i) {
            values[size_t(i)] = heights_.at(size_t(i));
            laid[size_t(i)] = laid_[size_t(i)];
            giants[size_t(i)] = std::move(giants_[size_t(i)]);
        }
        for (int j = 0; j < tail; ++j) {
            const size_t to = size_t(l + 1 + j), at = size_t(oldTail + j);
            values[to] = heights_.at(at);
            laid[to] = laid_[at];
            giants[to] = std::move(giants_[at]);
        }
        giants_.swap(giants);
        laid_.swap(laid);
        if (everything) {
            widest_ = 0;
            tableWidest_ = 0;
        }
        estimateBlocks(first, l, values);
        heights_.assign(values);
    }

    emit update(QRectF(0, top(f), 1e9, 1e9));
    if (documentSize() != sizeBefore) announceSize();
}

QRectF BlockLayout::settledCaretRect(int position, const QSizeF &reach) {
    QRectF caret = caretRect(position);
    for (int round = 0; round < 4 && caret.isValid(); ++round) {
        ensureRange(QRectF(caret.x() - reach.width(), caret.y() - reach.height(), 2 * reach.width(),
                           2 * reach.height()));
        const QRectF again = caretRect(position);
        if (again == caret) break;
        caret = again;
    }
    announceSize();
    return caret;
}

void BlockLayout::announceSize() {
    const QSizeF size = documentSize();
    if (size == announced_) return;
    announced_ = size;
    emit documentSizeChanged(size);
}

QSizeF BlockLayout::documentSize() const {
    const double textWidth = document()->textWidth();
    double width = textWidth > 0 ? textWidth : widest_ + 2 * margin();
    if (!wrapping()) width = std::max(width, widest_ + 2 * margin());
    // A table wider than the window scrolls, wrapping or not.
    width = std::max(width, tableWidest_ + 2 * margin());
    return QSizeF(width, heights_.total() + 2 * margin());
}

QRectF BlockLayout::frameBoundingRect(QTextFrame *frame) const {
    if (frame == document()->rootFrame()) return QRectF(QPointF(0, 0), documentSize());
    // A table spans the width, from its first row's top to its last's bottom
    // (a nested one: its body row's).
    auto *table = qobject_cast<QTextTable *>(frame);
    if (!table || size_t(document()->blockCount()) != heights_.size()) return QRectF();
    QTextDocument *doc = document();
    const RowRef first = rowAt(doc->findBlock(table->firstPosition()));
    const RowRef last = rowAt(doc->findBlock(table->lastPosition()));
    if (!first.table || !last.table) return QRectF();
    ensureLaidOut(last.first);
    const double y0 = top(first.first.blockNumber());
    const double y1 = top(last.first.blockNumber()) + heights_.at(size_t(last.first.blockNumber()));
    return QRectF(0, y0, documentSize().width(), y1 - y0);
}

QRectF BlockLayout::blockBoundingRect(const QTextBlock &block) const {
    if (!block.isValid() || size_t(block.blockNumber()) >= heights_.size()) return QRectF();
    ensureLaidOut(block);
    if (const RowRef row = rowAt(block); row.table) {
        // Where the paragraph stands in its cell.
        const QTextLayout *tl = block.layout();
        const QRectF lines = tl->boundingRect();
        const QTextBlockFormat format = block.blockFormat();
        return QRectF(QPointF(margin(), top(row.first.blockNumber())) + tl->position(),
                      QSizeF(std::max(1.0, lines.right() + format.rightMargin()),
                             lines.bottom() + format.bottomMargin()));
    }
    const size_t n = size_t(block.blockNumber());
    return QRectF(margin(), top(int(n)), availableWidth(), heights_.at(n));
}

std::pair<double, double> BlockLayout::spanIn(const Giant &g, double top,
                                              const QRectF &area) const {
    if (wrapping()) {
        const double y = top + g.topMargin;
        return {std::max(0.0, area.top() - y), area.bottom() - y};
    }
    const double x = margin() + g.leftMargin;
    return {std::max(0.0, area.left() - x), area.right() - x};
}

BlockLayout::Part BlockLayout::segmentPart(const QTextBlock &block, Giant &g, size_t i) const {
    if (!g.segments[i].laid || !g.segments[i].layout) layoutSegment(block, g, i);
    heights_.set(size_t(block.blockNumber()), giantHeight(block, g));
    return {g.segments[i].layout.get(), segmentOrigin(g, i), g.segments[i].start};
}

BlockLayout::Part BlockLayout::blockPart(const QTextBlock &block) const {
    ensureLaidOut(block);
    // In a table the layout stands where its cell puts it in the row.
    return {block.layout(), block.layout()->position(), 0};
}

void BlockLayout::ensureRange(const QRectF &area) const {
    const double y1 = area.bottom();
    QTextDocument *doc = document();
    if (heights_.size() == 0) return;
    const size_t start = heights_.find(std::max(0.0, area.top() - margin()));
    for (QTextBlock b = doc->findBlockByNumber(int(start)); b.isValid(); b = b.next()) {
        const size_t n = size_t(b.blockNumber());
        const double t = top(int(n));
        if (t >= y1) break;
        if (Giant *g = giants_[n].get()) {
            const auto [from, to] = spanIn(*g, t, area);
            for (size_t i = g->extents.find(from);
                 i < g->segments.size() && g->extents.prefix(i) < to; ++i) {
                if (!g->segments[i].laid) layoutSegment(b, *g, i);
            }
            heights_.set(n, giantHeight(b, *g));
        } else if (const RowRef row = rowAt(b); row.table) {
            ensureLaidOut(row.first);
            b = row.last;
        } else {
            ensureLaidOut(b);
        }
    }
}

void BlockLayout::draw(QPainter *painter, const PaintContext &context) {
    QTextDocument *doc = document();
    if (int(heights_.size()) != doc->blockCount()) documentChanged(0, 0, doc->characterCount());
    const QSizeF sizeBefore = documentSize();
    const QRectF clip = context.clip.isValid() ? context.clip : QRectF(0, 0, 1e9, 1e9);
    ensureRange(clip);
    const int cursorWidth = property("cursorWidth").isValid() ? property("cursorWidth").toInt() : 1;

    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    // A row's borders stand on its edges, partly outside it: the rows just
    // beside the area are drawn too.
    const size_t start = heights_.find(std::max(0.0, clip.top() - margin() - BorderReach));
    QTextBlock from = doc->findBlockByNumber(int(start));
    if (RowRef row = rowAt(from); row.table) {
        // A cell merged down from a row above the area shows in it too.
        for (int k = 0; k < 1000 && row.row > 0 && continuesMerge(row.table, row.row); ++k)
            row = rowRef(row.table, row.row - 1);
        from = row.first;
    }
    for (QTextBlock b = from; b.isValid(); b = b.next()) {
        const size_t n = size_t(b.blockNumber());
        const double t = top(int(n));
        if (t >= clip.bottom() + BorderReach) break;
        if (const RowRef row = rowAt(b); row.table) {
            drawRow(painter, row, QPointF(margin(), top(row.first.blockNumber())), context, clip,
                    cursorWidth);
            b = row.last;
            continue;
        }
        const QTextBlockFormat format = b.blockFormat();
        const QPointF origin(margin(), t);
        if (format.background().style() != Qt::NoBrush)
            painter->fillRect(QRectF(origin, QSizeF(availableWidth(), heights_.at(n))),
                              format.background());
        if (format.hasProperty(qtrich::ParaBoxProperty))
            drawParaBox(painter, b, QRectF(origin, QSizeF(availableWidth(), heights_.at(n))));
        const int bs = b.position();
        const int be = bs + b.length();
        const auto selectionsIn = [&](int from, int to) {
            QList<QTextLayout::FormatRange> ranges;
            for (const Selection &s : context.selections) {
                const int a = s.cursor.selectionStart();
                const int e = s.cursor.selectionEnd();
                if (e <= from || a >= to || a == e) continue;
                QTextLayout::FormatRange r;
                r.start = std::max(a, from) - from;
                r.length = std::min(e, to) - from - r.start;
                r.format = s.format;
                ranges << r;
            }
            return ranges;
        };
        if (Giant *g = giants_[n].get()) {
            const int c = ownCaret_ < 0 ? context.cursorPosition : caretShown_ ? ownCaret_ : -1;
            const auto [from, to] = spanIn(*g, t, clip);
            for (size_t i = g->extents.find(from);
                 i < g->segments.size() && g->extents.prefix(i) < to; ++i) {
                const Part part = segmentPart(b, *g, i);
                const QPointF at = origin + part.origin;
                const int s0 = bs + part.start, length = g->segments[i].length;
                part.layout->draw(painter, at, selectionsIn(s0, s0 + length + 1), clip);
                drawSegmentPictures(painter, b, g->segments[i], at);
                if (i == 0) drawMarker(painter, b, part.layout, at, 0);
                const bool last = i + 1 == g->segments.size();
                if (c >= s0 && (c < s0 + length || (last && c == s0 + length))) {
                    const bool composing =
                        c == preeditAt_ && !part.layout->preeditAreaText().isEmpty();
                    part.layout->drawCursor(painter, at, c - s0 + (composing ? preeditCursor_ : 0),
                                            cursorWidth);
                }
            }
            continue;
        }
        QTextLayout *tl = b.layout();
        tl->draw(painter, origin, selectionsIn(bs, be), clip);
        drawMarker(painter, b, tl, origin, format.leftMargin());
        if (context.cursorPosition >= bs && context.cursorPosition < be)
            tl->drawCursor(painter, origin, context.cursorPosition - bs, cursorWidth);
    }
    painter->restore();
    if (documentSize() != sizeBefore) {
        // The scroll bars follow once this paint is over.
        QTimer::singleShot(0, this, [this] { announceSize(); });
    }
}

int BlockLayout::hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const {
    QTextDocument *doc = document();
    if (heights_.size() == 0) return accuracy == Qt::ExactHit ? -1 : 0;
    if (point.y() > heights_.total() + margin())
        return accuracy == Qt::ExactHit ? -1 : doc->characterCount() - 1;
    const QTextBlock block =
        doc->findBlockByNumber(int(heights_.find(std::max(0.0, point.y() - margin()))));
    if (!block.isValid()) return -1;
    if (const RowRef row = rowAt(block); row.table)
        return hitRow(row, point - QPointF(margin(), top(row.first.blockNumber())), accuracy);
    const size_t n = size_t(block.blockNumber());
    const QPointF inBlock = point - QPointF(margin(), top(int(n)));
    Giant *g = giants_[n].get();
    const Part part = g ? segmentPart(block, *g, segmentAt(*g, inBlock)) : blockPart(block);
    QTextLayout *tl = part.layout;
    const QPointF local = inBlock - part.origin;
    const int base = block.position() + part.start;
    for (int i = 0; i < tl->lineCount(); ++i) {
        const QTextLine line = tl->lineAt(i);
        if (local.y() >= line.y() + line.height() && i + 1 < tl->lineCount()) continue;
        if (accuracy == Qt::ExactHit && !line.naturalTextRect().contains(local)) return -1;
        return base + line.xToCursor(local.x());
    }
    return accuracy == Qt::ExactHit ? -1 : base;
}

std::pair<BlockLayout::Part, int> BlockLayout::partAt(int position) const {
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid() || size_t(block.blockNumber()) >= heights_.size())
        return {Part{nullptr, QPointF(), 0}, 0};
    const size_t n = size_t(block.blockNumber());
    int relative = position - block.position();
    Giant *g = giants_[n].get();
    Part part = g ? segmentPart(block, *g, segmentOf(*g, relative)) : blockPart(block);
    // Laying a segment out may move its cut past the position.
    if (g && part.start != g->segments[segmentOf(*g, relative)].start)
        part = segmentPart(block, *g, segmentOf(*g, relative));
    part.origin += QPointF(margin(), anchorTop(block));
    part.start += block.position();
    relative = position - part.start;
    // Text being composed comes before what follows it in the layout.
    const int pre = part.layout->preeditAreaPosition();
    if (!part.layout->preeditAreaText().isEmpty() && relative > pre)
        relative += int(part.layout->preeditAreaText().size());
    return {part, relative};
}

QRectF BlockLayout::caretRect(int position) const {
    auto [part, relative] = partAt(position);
    if (!part.layout) return QRectF();
    if (position == preeditAt_ && !part.layout->preeditAreaText().isEmpty())
        relative += preeditCursor_;
    const QTextLine line = part.layout->lineForTextPosition(relative);
    if (!line.isValid()) return QRectF(part.origin, QSizeF(1, lineHeight_));
    return QRectF(part.origin.x() + line.cursorToX(relative), part.origin.y() + line.y(), 1,
                  line.height());
}

QRectF BlockLayout::characterRect(int position) const {
    const auto [part, relative] = partAt(position);
    if (!part.layout) return QRectF();
    const QTextLine line = part.layout->lineForTextPosition(relative);
    if (!line.isValid()) return QRectF(part.origin, QSizeF(1, lineHeight_));
    const double a = line.cursorToX(relative, QTextLine::Leading);
    const double b = line.cursorToX(relative, QTextLine::Trailing);
    return QRectF(part.origin.x() + std::min(a, b), part.origin.y() + line.y(),
                  std::max(1.0, std::abs(b - a)), line.height());
}

std::pair<int, int> BlockLayout::lineBounds(int position) const {
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid()) return {position, position};
    const int bs = block.position(), be = bs + block.length() - 1;
    if (isSegmented(block) && !wrapping()) return {bs, be};
    const auto [part, relative] = partAt(position);
    if (!part.layout) return {bs, be};
    const QTextLine line = part.layout->lineForTextPosition(relative);
    if (!line.isValid()) return {bs, be};
    const int pre = part.layout->preeditAreaPosition();
    const int composed = int(part.layout->preeditAreaText().size());
    const int partStart = part.start; // a lambda may not take a structured binding
    const auto inDocument = [&](int r) {
        if (composed > 0 && r > pre) r = std::max(pre, r - composed);
        return std::clamp(partStart + r, bs, be);
    };
    return {inDocument(line.textStart()), inDocument(line.textStart() + line.textLength())};
}

void BlockLayout::setPreedit(int position, const QString &text, int cursor) {
    if (text.isEmpty()) position = -1;
    if (position == preeditAt_ && text == preedit_ && cursor == preeditCursor_) return;
    dropPreeditSegment(); // laid out again without the old text
    preeditAt_ = position;
    preedit_ = text;
    preeditCursor_ = cursor;
    dropPreeditSegment(); // and with the new
}

void BlockLayout::dropPreeditSegment() {
    if (preeditAt_ < 0) return;
    const QTextBlock block = document()->findBlock(preeditAt_);
    if (!block.isValid() || !isSegmented(block)) return;
    Giant &g = *giants_[size_t(block.blockNumber())];
    Segment &s = g.segments[segmentOf(g, preeditAt_ - block.position())];
    s.laid = false;
    s.layout.reset();
}

// ---------------------------------------------------------------------------
// Long paragraphs, in segments

void BlockLayout::segment(const QTextBlock &block) const {
    // Lines the paragraph's own layout kept from when it was short would have
    // the toolkit measure the whole paragraph to place the caret on them.
    block.layout()->clearLayout();
    auto g = std::make_unique<Giant>();
    const int length = block.length() - 1;
    for (int start = 0; start < length; start += SegmentLength) {
        Segment s;
        s.start = start;
        s.length = std::min(SegmentLength, length - start);
        g->segments.push_back(std::move(s));
    }
    const QTextBlockFormat format = block.blockFormat();
    g->topMargin = format.topMargin();
    g->leftMargin = format.leftMargin();
    g->lineHeight = lineHeight_;
    std::vector<double> extents;
    extents.reserve(g->segments.size());
    for (const Segment &s : g->segments)
        extents.push_back(estimateSegment(s.length));
    g->extents.assign(extents);
    const size_t n = size_t(block.blockNumber());
    if (giants_.size() <= n) giants_.resize(n + 1);
    giants_[n] = std::move(g);
}

double BlockLayout::estimateSegment(int length) const {
    if (!wrapping()) return length * charWidth_;
    return std::max(1.0, std::ceil(length * charWidth_ / availableWidth())) * lineHeight_;
}

void BlockLayout::editSegments(const QTextBlock &block, int at, int removed, int added) const {
    Giant &g = *giants_[size_t(block.blockNumber())];
    const QTextBlockFormat format = block.blockFormat();
    g.topMargin = format.topMargin();
    g.leftMargin = format.leftMargin();
    // Every segment the old range [at, at + removed] touches becomes one,
    // laid out again when needed; those after it only move.
    const size_t i = segmentOf(g, at);
    const size_t j = segmentOf(g, at + removed);
    const int start = g.segments[i].start;
    const int oldEnd = g.segments[j].start + g.segments[j].length;
    const int length = oldEnd - start - removed + added;
    const int shift = added - removed;
    std::vector<Segment> merged;
    int done = 0;
    do {
        Segment seg;
        seg.start = start + done;
        // Pieces of about SegmentLength; a short rest stays with the last one.
        seg.length = length - done < 2 * SegmentLength ? length - done : SegmentLength;
        done += seg.length;
        merged.push_back(std::move(seg));
    } while (done < length);
    if (length == 0 && g.segments.size() > j - i + 1) merged.clear();
    std::vector<double> extents;
    extents.reserve(g.segments.size() + merged.size());
    std::vector<Segment> segments;
    segments.reserve(g.segments.size() + merged.size());
    for (size_t k = 0; k < i; ++k) {
        extents.push_back(g.extents.at(k));
        segments.push_back(std::move(g.segments[k]));
    }
    for (Segment &seg : merged) {
        extents.push_back(estimateSegment(seg.length));
        segments.push_back(std::move(seg));
    }
    for (size_t k = j + 1; k < g.segments.size(); ++k) {
        g.segments[k].start += shift;
        extents.push_back(g.extents.at(k));
        segments.push_back(std::move(g.segments[k]));
    }
    g.segments.swap(segments);
    g.extents.assign(extents);
}

size_t BlockLayout::segmentOf(const Giant &g, int relative) const {
    auto it = std::upper_bound(g.segments.begin(), g.segments.end(), relative,
                               [](int r, const Segment &s) { return r < s.start; });
    if (it == g.segments.begin()) return 0;
    return size_t(it - g.segments.begin()) - 1;
}

size_t BlockLayout::segmentAt(const Giant &g, const QPointF &inBlock) const {
    return wrapping() ? g.extents.find(std::max(0.0, inBlock.y() - g.topMargin))
                      : g.extents.find(std::max(0.0, inBlock.x() - g.leftMargin));
}

QPointF BlockLayout::segmentOrigin(const Giant &g, size_t i) const {
    if (wrapping()) return QPointF(g.leftMargin, g.topMargin + g.extents.prefix(i));
    return QPointF(g.leftMargin + g.extents.prefix(i), g.topMargin);
}

namespace {
// Moves the cut between two segments by `by` characters (forward when
// positive); the next segment's layout no longer fits its text.
template <class Segments> void moveCut(Segments &segments, size_t i, int by) {
    segments[i].length += by;
    segments[i + 1].start += by;
    segments[i + 1].length -= by;
    segments[i + 1].laid = false;
    segments[i + 1].layout.reset();
}
} // namespace

void BlockLayout::layoutSegment(const QTextBlock &block, Giant &g, size_t i) const {
    Segment &seg = g.segments[i];
    const int bs = block.position();
    QTextDocument *doc = document();
    const bool last = i + 1 == g.segments.size();
    // No word is cut in two: the cut goes after the next space (a word of
    // more than 512 letters is cut anyway).
    if (!last && !doc->characterAt(bs + seg.start + seg.length - 1).isSpace()) {
        const Segment &next = g.segments[i + 1];
        for (int k = 0; k < std::min(512, next.length - 1); ++k) {
            if (doc->characterAt(bs + next.start + k).isSpace()) {
                moveCut(g.segments, i, k + 1);
                break;
            }
        }
    }
    const QTextBlockFormat format = block.blockFormat();
    const double width = availableWidth() - format.leftMargin() - format.rightMargin();
    const double indent = i == 0 ? format.textIndent() + markerRoom(block, format) : 0;
    std::unique_ptr<QTextLayout> tl;
    double y = 0, widest = 0;
    for (int pass = 0; pass < 2; ++pass) {
        // The range alone, a character at a time: a cursor placed in the
        // paragraph would have the toolkit analyse all of it.
        QString text(seg.length, Qt::Uninitialized);
        for (int k = 0; k < seg.length; ++k)
            text[k] = doc->characterAt(bs + seg.start + k);
        QList<QTextLayout::FormatRange> formats;
        seg.pictures.clear();
        const int s0 = seg.start, s1 = seg.start + seg.length;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = frag.position() - bs, fe = fs + frag.length();
            if (fe <= s0) continue;
            if (fs >= s1) break;
            QTextLayout::FormatRange r;
            r.start = std::max(fs, s0) - s0;
            r.length = std::min(fe, s1) - s0 - r.start;
            r.format = frag.charFormat();
            if (r.format.objectType() == QTextFormat::ImageObject) {
                // A layout of part of a paragraph has no document to ask a
                // picture's size of: each picture is a letter made as wide
                // and as high as the picture, not painted, and the picture
                // is drawn over it.
                for (int k = r.start; k < r.start + r.length; ++k) {
                    text[k] = QLatin1Char('X');
                    seg.pictures.emplace_back(k, r.format);
                    formats << QTextLayout::FormatRange{k, 1, pictureStandIn(r.format)};
                }
                continue;
            }
            formats << r;
        }
        tl = std::make_unique<QTextLayout>(text, doc->defaultFont());
        QTextOption option = optionFor(block);
        if (!wrapping()) option.setAlignment(Qt::AlignLeft);
        tl->setTextOption(option);
        tl->setCacheEnabled(true);
        // Text an input method is composing here shows where it will go,
        // underlined, in the format of the text before it; what follows
        // moves along.
        const bool composing = preeditAt_ >= bs && preeditAt_ < bs + block.length() &&
                               segmentOf(g, preeditAt_ - bs) == i;
        if (composing) {
            const int pre = preeditAt_ - bs - seg.start;
            const int n = int(preedit_.size());
            QTextCharFormat underlined;
            for (QTextLayout::FormatRange &r : formats) {
                if (r.start >= pre) {
                    r.start += n;
                } else if (r.start + r.length >= pre) {
                    r.length += n;
                    underlined = r.format;
                }
            }
            underlined.setFontUnderline(true);
            formats << QTextLayout::FormatRange{pre, n, underlined};
            tl->setPreeditArea(pre, preedit_);
        }
        tl->setFormats(formats);
        std::tie(y, widest) =
            layLines(tl.get(), format, 0, indent, wrapping() ? width : NoWrapWidth, 0);
        // With wrapping, the last (short) line goes to the next segment (laid
        // out again when next needed, if it was), so that the cut falls where
        // a line breaks anyway and the paragraph reads as one: moves by line
        // and the lines read out are those of the whole paragraph.
        if (pass > 0 || last || !wrapping() || tl->lineCount() < 2 || composing) break;
        const QTextLine tail = tl->lineAt(tl->lineCount() - 1);
        if (g.segments[i + 1].laid) {
            // A full last line stays (the next segment keeps its layout);
            // one the next segment's first word would still fit on goes.
            const Segment &next = g.segments[i + 1];
            QString word;
            for (int k = 0; k < std::min(64, next.length); ++k) {
                const QChar c = doc->characterAt(bs + next.start + k);
                if (c.isSpace()) break;
                word += c;
            }
            const double room = tail.width() - tail.naturalTextWidth();
            if (QFontMetricsF(doc->defaultFont()).horizontalAdvance(word) > room) break;
        }
        const int lastStart = tail.textStart();
        if (lastStart <= 0 || lastStart >= seg.length) break;
        moveCut(g.segments, i, lastStart - seg.length);
    }
    seg.layout = std::move(tl);
    seg.laid = true;
    if (wrapping()) {
        g.extents.set(i, y);
    } else {
        g.extents.set(i, widest);
        g.lineHeight = std::max(g.lineHeight, y);
        noteWidth(g.leftMargin + g.extents.total() + format.rightMargin());
    }
}

void BlockLayout::drawSegmentPictures(QPainter *painter, const QTextBlock &block,
                                      const Segment &seg, const QPointF &at) const {
    if (seg.pictures.empty() || !seg.layout) return;
    QTextObjectInterface *handler = handlerForObject(QTextFormat::ImageObject);
    if (!handler) return;
    for (const auto &[k, format] : seg.pictures) {
        const QTextLine line = seg.layout->lineForTextPosition(k);
        if (!line.isValid()) continue;
        const QTextImageFormat f = format.toImageFormat();
        const QSizeF size(f.width(), f.height());
        const QPointF topLeft(line.cursorToX(k), line.y() + line.ascent() - size.height());
        handler->drawObject(painter, QRectF(at + topLeft, size), document(),
                            block.position() + seg.start + k, format);
    }
}

double BlockLayout::giantHeight(const QTextBlock &block, const Giant &g) const {
    const QTextBlockFormat format = block.blockFormat();
    const double body = wrapping() ? g.extents.total() : g.lineHeight;
    return format.topMargin() + body + format.bottomMargin();
}

// ---------------------------------------------------------------------------
// Tables

struct BlockLayout::CellBox {
    QRectF rect; // in the coordinates of the body row holding it
    rtf::CellDef def;
    QTextTable *table = nullptr;
    int row = 0;
    int column = 0;
    bool absent = false;
    bool merged = false; // continues a merged cell: no border or shading of its own
    double content = 0;  // the height of its text
    double shift = 0;    // how far its text was moved down, aligned in the rows it spans
};

// A laid-out body row's cells, nested ones after the cell holding them; kept
// on the row's first paragraph.
class BlockLayout::RowShape : public QTextBlockUserData {
public:
    std::vector<CellBox> boxes;
};

BlockLayout::RowRef BlockLayout::rowAt(const QTextBlock &block) const {
    if (!block.isValid()) return {};
    QTextDocument *doc = document();
    QTextFrame *root = doc->rootFrame();
    QTextFrame *f = doc->frameAt(block.position());
    if (!f || f == root) return {};
    while (f->parentFrame() && f->parentFrame() != root)
        f = f->parentFrame();
    auto *table = qobject_cast<QTextTable *>(f);
    if (!table) return {};
    const QTextTableCell cell = table->cellAt(block.position());
    if (!cell.isValid()) return {};
    return rowRef(table, cell.row());
}

BlockLayout::RowRef BlockLayout::rowRef(QTextTable *table, int row) const {
    QTextDocument *doc = document();
    RowRef r;
    r.table = table;
    r.row = row;
    r.first = doc->findBlock(table->cellAt(row, 0).firstPosition());
    r.last = doc->findBlock(table->cellAt(row, table->columns() - 1).lastPosition());
    return r;
}

double BlockLayout::anchorTop(const QTextBlock &block) const {
    const RowRef row = rowAt(block);
    return top((row.table ? row.first : block).blockNumber());
}

double BlockLayout::tableWidth(QTextTable *table) const {
    const double shared = wrapping() ? availableWidth() : DefaultTableWidth;
    const QTextTableCellFormat first = qtrich::cellFormat(table, 0, 0);
    double right = 0;
    for (int c = 0; c < table->columns(); ++c) {
        const QTextTableCellFormat f = qtrich::cellFormat(table, 0, c);
        if (qtrich::isAbsent(f)) continue;
        if (!f.hasProperty(qtrich::CellRightProperty)) return shared;
        right = std::max(right, px(f.intProperty(qtrich::CellRightProperty)));
    }
    const double left = px(first.intProperty(qtrich::RowLeftProperty));
    return right > left ? right - left : shared;
}

double BlockLayout::rowEstimate(int characters, int columns, double width) const {
    columns = std::max(1, columns);
    const double perCell = std::max(0, characters - columns) / double(columns);
    const double cellWidth = std::max(MinCellWidth, width / columns - 2 * UndefinedGap);
    const double lines = std::max(1.0, std::ceil(perCell * charWidth_ / cellWidth));
    return lines * lineHeight_ + 2 * CellPadding;
}

void BlockLayout::estimateBlocks(QTextBlock b, int last, std::vector<double> &values,
                                 int base) const {
    QTextDocument *doc = document();
    while (b.isValid() && b.blockNumber() <= last) {
        const RowRef row = rowAt(b);
        if (!row.table) {
            values[size_t(b.blockNumber() - base)] = estimate(b);
            b = b.next();
            continue;
        }
        // A table a row at a time: the row's first paragraph holds its
        // estimate, the others nothing.
        QTextTable *t = row.table;
        const int rows = t->rows(), columns = t->columns();
        const double width = tableWidth(t);
        if (row.row == 0) tableWidest_ = std::max(tableWidest_, width);
        const int from = b.blockNumber();
        int start = t->cellAt(row.row, 0).firstPosition();
        int firstNumber = row.first.blockNumber();
        int next = from + 1;
        for (int r = row.row; r < rows; ++r) {
            const bool lastRow = r + 1 == rows;
            const int end = lastRow ? t->lastPosition() + 1 : t->cellAt(r + 1, 0).firstPosition();
            next = lastRow ? doc->findBlock(t->lastPosition()).blockNumber() + 1
                           : doc->findBlock(end).blockNumber();
            for (int k = std::max(firstNumber, from); k < std::min(next, last + 1); ++k)
                values[size_t(k - base)] = 0;
            if (firstNumber >= from && firstNumber <= last)
                values[size_t(firstNumber - base)] = rowEstimate(end - start, columns, width);
            if (next > last) break;
            start = end;
            firstNumber = next;
        }
        b = doc->findBlockByNumber(std::max(next, from + 1));
    }
}

bool BlockLayout::layoutRow(const RowRef &row) const {
    auto shape = std::make_unique<RowShape>();
    const double width = wrapping() ? availableWidth() : DefaultTableWidth;
    double height = layoutTableRow(row.table, row.row, 0, 0, width, shape->boxes);
    struct Span {
        int row;         // where the cell begins
        double above;    // the height of the rows from there to this one
        RowShape *shape; // the first row's
        size_t box;      // the cell's in it
    };
    std::vector<Span> spanning;
    // The last row a cell is merged down to grows to hold the cell's text.
    for (const CellBox &box : shape->boxes) {
        if (box.table != row.table || box.absent || box.def.down != rtf::Merge::Next) continue;
        const int edge = box.def.right;
        if (row.row + 1 < row.table->rows() &&
            mergedDown(row.table, row.row + 1, box.column, edge) == rtf::Merge::Next)
            continue;
        double above = 0;
        int r = row.row - 1;
        for (; r >= 0 && row.row - r <= MaxMergedRows; --r) {
            const RowRef up = rowRef(row.table, r);
            ensureLaidOut(up.first);
            above += heights_.at(size_t(up.first.blockNumber()));
            if (mergedDown(row.table, r, box.column, edge) != rtf::Merge::Next) break;
        }
        if (r < 0 || mergedDown(row.table, r, box.column, edge) != rtf::Merge::First) continue;
        auto *up = static_cast<RowShape *>(rowRef(row.table, r).first.userData());
        if (!up) continue;
        for (size_t k = 0; k < up->boxes.size(); ++k) {
            CellBox &b = up->boxes[k];
            if (b.table != row.table || b.absent || b.def.down != rtf::Merge::First ||
                (edge ? b.def.right != edge : b.column != box.column))
                continue;
            height = std::max(height, b.content + 2 * CellPadding - above);
            spanning.push_back({r, above, up, k});
        }
    }
    // The text of a cell merged down stands at the top, middle or bottom of
    // all the rows it spans: its paragraphs, laid out in its first row, move
    // there now that the span's height is known.
    for (const Span &span : spanning) {
        CellBox &b = span.shape->boxes[span.box];
        const double room = span.above + height - 2 * CellPadding - b.content;
        const double dy = std::max(0.0, b.def.align == rtf::CellAlign::Center   ? room / 2
                                        : b.def.align == rtf::CellAlign::Bottom ? room
                                                                                : 0.0);
        if (dy == b.shift) continue;
        const QTextTableCell cell = row.table->cellAt(span.row, b.column);
        const int end = cell.lastPosition();
        const QPointF by(0, dy - b.shift);
        for (QTextBlock t = document()->findBlock(cell.firstPosition());
             t.isValid() && t.position() <= end; t = t.next())
            t.layout()->setPosition(t.layout()->position() + by);
        // Tables in the cell, whose boxes follow its own.
        for (size_t k = span.box + 1;
             k < span.shape->boxes.size() && span.shape->boxes[k].table != row.table; ++k)
            span.shape->boxes[k].rect.translate(by);
        b.shift = dy;
    }
    double right = 0;
    for (CellBox &box : shape->boxes) {
        if (box.table != row.table) continue;
        box.rect.setHeight(height);
        if (!box.absent) right = std::max(right, box.rect.right());
    }
    tableWidest_ = std::max(tableWidest_, right);
    QTextBlock first = row.first;
    first.setUserData(shape.release());
    const size_t n = size_t(first.blockNumber());
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        const size_t k = size_t(b.blockNumber());
        laid_[k] = k == n ? 1 : 2;
        if (k != n && heights_.at(k) != 0) heights_.set(k, 0);
        if (b == row.last) break;
    }
    if (heights_.at(n) == height) return false;
    heights_.set(n, height);
    return true;
}

double BlockLayout::layoutTableRow(QTextTable *table, int row, double x, double y, double width,
                                   std::vector<CellBox> &boxes) const {
    const int columns = table->columns();
    const bool outer = table->parentFrame() == document()->rootFrame();
    std::vector<QTextTableCell> cells;
    std::vector<rtf::CellDef> defs;
    std::vector<char> absent;
    bool defined = true;
    int present = 0;
    for (int c = 0; c < columns; ++c) {
        cells.push_back(table->cellAt(row, c));
        const QTextTableCellFormat f = qtrich::cellFormat(table, row, c);
        defs.push_back(qtrich::cellDef(f));
        absent.push_back(qtrich::isAbsent(f) ? 1 : 0);
        if (absent.back()) continue;
        ++present;
        defined = defined && f.hasProperty(qtrich::CellRightProperty);
    }
    defined = defined && present > 0;
    const QTextTableCellFormat f0 = qtrich::cellFormat(table, row, 0);
    const rtf::RowDef def =
        f0.boolProperty(qtrich::RowDefinedProperty) ? qtrich::rowDef(f0) : rtf::RowDef{};

    // The cells' edges: from the row's left edge and each cell's right edge
    // (one that goes back still gets some room), or equal shares.
    const size_t count = static_cast<size_t>(columns);
    std::vector<double> left(count), right(count);
    const double start = defined ? px(def.left) : 0;
    const double share = width / std::max(1, present);
    double edge = start;
    for (size_t c = 0; c < count; ++c) {
        left[c] = right[c] = edge;
        if (absent[c]) continue;
        right[c] = defined ? std::max(px(defs[c].right), edge + MinCellWidth) : edge + share;
        edge = right[c];
    }
    double shift = 0;
    if (defined && def.align == rtf::Align::Center) shift = (width - (edge - start)) / 2 - start;
    if (defined && def.align == rtf::Align::Right) shift = width - edge;
    // A row reaching left of the margin (as Word writes them, by the gap)
    // stays on the page.
    shift = std::max(shift, (outer ? -margin() : 0.0) - start);
    std::vector<char> merged(count, 0);
    for (size_t c = 0; c < count; ++c) {
        if (absent[c]) continue;
        if (defs[c].down == rtf::Merge::Next) merged[c] = 1;
        if (defs[c].across != rtf::Merge::First) continue;
        for (size_t k = c + 1; k < count && !absent[k] && defs[k].across == rtf::Merge::Next; ++k) {
            right[c] = right[k];
            merged[k] = 1;
        }
    }
    const double gap = defined ? px(def.gap) : UndefinedGap;

    double height = 0;
    std::vector<size_t> at(count), nestedEnd(count);
    std::vector<char> spans(count, 0);
    for (size_t c = 0; c < count; ++c) {
        CellBox box;
        box.rect = QRectF(x + shift + left[c], y, right[c] - left[c], 0);
        box.def = defs[c];
        box.table = table;
        box.row = row;
        box.column = int(c);
        box.absent = absent[c];
        box.merged = merged[c];
        at[c] = boxes.size();
        boxes.push_back(box);
        const double inset = std::clamp(gap, 0.0, std::max(0.0, box.rect.width() / 2 - 1));
        const double content = layoutCell(table, cells[c], box.rect.left() + inset, y + CellPadding,
                                          std::max(1.0, box.rect.width() - 2 * inset), boxes);
        nestedEnd[c] = boxes.size();
        boxes[at[c]].content = content;
        if (absent[c]) continue;
        // A cell merged down counts in the last row it spans (body tables).
        spans[c] = outer && defs[c].down == rtf::Merge::First && row + 1 < table->rows() &&
                   mergedDown(table, row + 1, int(c), defs[c].right) == rtf::Merge::Next;
        if (!spans[c]) height = std::max(height, content + 2 * CellPadding);
    }
    if (height == 0) height = lineHeight_ + 2 * CellPadding;
    if (def.height > 0) height = std::max(height, px(def.height));
    if (def.height < 0) height = px(-def.height);

    // Heights, and the text of cells aligned to their middle or bottom.
    QTextDocument *doc = document();
    for (size_t c = 0; c < count; ++c) {
        CellBox &box = boxes[at[c]];
        box.rect.setHeight(height);
        if (box.absent || spans[c]) continue;
        const double room = height - 2 * CellPadding - box.content;
        const double dy = box.def.align == rtf::CellAlign::Center   ? room / 2
                          : box.def.align == rtf::CellAlign::Bottom ? room
                                                                    : 0;
        if (dy <= 0) continue;
        const int end = cells[c].lastPosition();
        for (QTextBlock b = doc->findBlock(cells[c].firstPosition());
             b.isValid() && b.position() <= end; b = b.next())
            b.layout()->setPosition(b.layout()->position() + QPointF(0, dy));
        for (size_t k = at[c] + 1; k < nestedEnd[c]; ++k)
            boxes[k].rect.translate(0, dy);
    }
    return height;
}

double BlockLayout::layoutCell(QTextTable *table, const QTextTableCell &cell, double x, double y,
                               double width, std::vector<CellBox> &boxes) const {
    QTextDocument *doc = document();
    const double top = y;
    const int end = cell.lastPosition();
    for (QTextBlock b = doc->findBlock(cell.firstPosition()); b.isValid() && b.position() <= end;) {
        QTextFrame *f = doc->frameAt(b.position());
        while (f && f != table && f->parentFrame() != table)
            f = f->parentFrame();
        if (auto *inner = qobject_cast<QTextTable *>(f); inner && inner != table) {
            // A table in the cell, its rows down the cell's width.
            for (int r = 0; r < inner->rows(); ++r)
                y += layoutTableRow(inner, r, x, y, width, boxes);
            b = doc->findBlock(inner->lastPosition()).next();
            continue;
        }
        const double height = layoutText(b, width, true).first;
        b.layout()->setPosition(QPointF(x, y));
        y += height;
        b = b.next();
    }
    return y - top;
}

double BlockLayout::spannedHeight(const RowRef &row, const CellBox &box) const {
    double h = heights_.at(size_t(row.first.blockNumber()));
    for (int r = row.row + 1; r < row.table->rows() && r - row.row <= MaxMergedRows; ++r) {
        if (mergedDown(row.table, r, box.column, box.def.right) != rtf::Merge::Next) break;
        const RowRef below = rowRef(row.table, r);
        ensureLaidOut(below.first);
        h += heights_.at(size_t(below.first.blockNumber()));
    }
    return h;
}

bool BlockLayout::forgetMergedBelow(const RowRef &row) const {
    bool any = false;
    const int rows = row.table->rows();
    for (int c = 0; c < row.table->columns(); ++c) {
        // A cell merged down from this row or through it: the span's last
        // row holds what its text needs of the rows above.
        const rtf::Merge m = mergedDown(row.table, row.row, c);
        if (m != rtf::Merge::First && m != rtf::Merge::Next) continue;
        const QTextTableCellFormat f = qtrich::cellFormat(row.table, row.row, c);
        const int edge = f.hasProperty(qtrich::CellRightProperty) ? qtrich::cellDef(f).right : 0;
        int r = row.row + 1;
        while (r < rows && r - row.row <= MaxMergedRows &&
               mergedDown(row.table, r, c, edge) == rtf::Merge::Next)
            ++r;
        if (r == row.row + 1) continue;
        laid_[size_t(rowRef(row.table, r - 1).first.blockNumber())] = 0;
        any = true;
    }
    return any;
}

namespace {
QColor shadingOf(const rtf::CellDef &d) {
    const double p = std::clamp(d.shadingPercent / 10000.0, 0.0, 1.0);
    if (d.shading == rtf::NoColor) {
        if (p <= 0) return QColor();
        const int v = int(std::lround(255 * (1 - p)));
        return QColor(v, v, v);
    }
    // The pattern's share darkens the background, as with a black pattern.
    const QColor c = QColor::fromRgb(QRgb(d.shading));
    return QColor(int(c.red() * (1 - p)), int(c.green() * (1 - p)), int(c.blue() * (1 - p)));
}

void drawEdge(QPainter *painter, const QLineF &line, const rtf::Border &b, const QColor &text) {
    if (b.style == rtf::BorderStyle::None) {
        // Cells without borders show faint edges on the screen (never in
        // print): the caret goes from cell to cell, and the grid shows where.
        painter->setPen(QPen(QColor(0xD0, 0xD0, 0xD0), 1));
        painter->drawLine(line);
        return;
    }
    double w = b.style == rtf::BorderStyle::Hairline ? 1 : std::max(1.0, px(b.width));
    if (b.style == rtf::BorderStyle::Thick) w = std::max(2.0, 2 * w);
    QPen pen(b.color == rtf::NoColor ? text : QColor::fromRgb(QRgb(b.color)), w);
    pen.setCapStyle(Qt::SquareCap);
    if (b.style == rtf::BorderStyle::Dotted) pen.setStyle(Qt::DotLine);
    if (b.style == rtf::BorderStyle::Dashed) pen.setStyle(Qt::DashLine);
    painter->setPen(pen);
    if (b.style != rtf::BorderStyle::Double) {
        painter->drawLine(line);
        return;
    }
    // Two lines, one each side of the edge.
    const QPointF normal = QPointF(-(line.dy()), line.dx()) / std::max(1.0, line.length()) * w;
    painter->drawLine(line.translated(normal));
    painter->drawLine(line.translated(-normal));
}

void drawSide(QPainter *painter, const QLineF &line, const rtf::Border &b, const QColor &text) {
    if (b.style != rtf::BorderStyle::None) drawEdge(painter, line, b, text);
}
} // namespace

void BlockLayout::drawParaBox(QPainter *painter, const QTextBlock &block,
                              const QRectF &rect) const {
    const QTextBlockFormat format = block.blockFormat();
    const rtf::ParaBox box = qtrich::paraBoxOf(format);
    // Paragraphs that follow each other with the same borders share one box.
    const auto same = [this, &box](const QTextBlock &other) {
        return other.isValid() && !rowAt(other).table &&
               qtrich::paraBoxOf(other.blockFormat()) == box;
    };
    const bool joinsAbove = same(block.previous()), joinsBelow = same(block.next());
    // Around the text, the border's spacing away from it, within the paragraph.
    const double space = px(box.space);
    QRectF r(rect.left() + format.leftMargin() - space,
             rect.top() + (joinsAbove ? 0 : format.topMargin() - space),
             rect.width() - format.leftMargin() - format.rightMargin() + 2 * space, 0);
    r.setBottom(rect.bottom() - (joinsBelow ? 0 : format.bottomMargin() - space));
    r = r.intersected(rect.adjusted(0, 0, 0, -1));
    if (box.shading != rtf::NoColor) painter->fillRect(r, QColor::fromRgb(QRgb(box.shading)));
    painter->save();
    const QColor text = painter->pen().color();
    if (!joinsAbove) drawSide(painter, QLineF(r.topLeft(), r.topRight()), box.top, text);
    if (!joinsBelow) drawSide(painter, QLineF(r.bottomLeft(), r.bottomRight()), box.bottom, text);
    drawSide(painter, QLineF(r.topLeft(), r.bottomLeft()), box.left, text);
    drawSide(painter, QLineF(r.topRight(), r.bottomRight()), box.right, text);
    painter->restore();
}

namespace {
// Where a layout's lines hold a point (relative to the layout's origin):
// the position in the layout, or -1 (an exact hit off the text).
int hitLines(const QTextLayout *tl, const QPointF &local, Qt::HitTestAccuracy accuracy) {
    for (int i = 0; i < tl->lineCount(); ++i) {
        const QTextLine line = tl->lineAt(i);
        if (local.y() >= line.y() + line.height() && i + 1 < tl->lineCount()) continue;
        if (accuracy == Qt::ExactHit && !line.naturalTextRect().contains(local)) return -1;
        return line.xToCursor(local.x());
    }
    return accuracy == Qt::ExactHit ? -1 : 0;
}
} // namespace

void BlockLayout::drawRow(QPainter *painter, const RowRef &row, const QPointF &origin,
                          const PaintContext &context, const QRectF &clip, int cursorWidth) const {
    ensureLaidOut(row.first);
    const auto *shape = static_cast<const RowShape *>(row.first.userData());
    if (!shape) return;
    QTextDocument *doc = document();
    // Selections across cells (the toolkit's "complex" ones) select whole
    // cells: those of their table in the rows and columns they span.
    struct Cells {
        QTextTable *table = nullptr;
        int row = -1, rows = 0, column = -1, columns = 0;
        bool holds(const QTextTable *t, int r, int c) const {
            return t == table && r >= row && r < row + rows && c >= column && c < column + columns;
        }
    };
    std::vector<Cells> cells;
    for (const Selection &s : context.selections) {
        Cells c;
        if (s.cursor.hasComplexSelection() && (c.table = s.cursor.currentTable()))
            s.cursor.selectedTableCells(&c.row, &c.rows, &c.column, &c.columns);
        cells.push_back(c);
    }
    const auto rectOf = [&](const CellBox &box) {
        QRectF r = box.rect.translated(origin);
        if (box.table == row.table && box.def.down == rtf::Merge::First)
            r.setHeight(spannedHeight(row, box));
        return r;
    };
    for (const CellBox &box : shape->boxes) {
        if (box.absent || box.merged) continue;
        const QRectF r = rectOf(box);
        if (const QColor shade = shadingOf(box.def); shade.isValid()) painter->fillRect(r, shade);
        for (size_t i = 0; i < cells.size(); ++i) {
            if (cells[i].holds(box.table, box.row, box.column))
                painter->fillRect(r, context.selections[i].format.background());
        }
    }
    const int caret = context.cursorPosition;
    for (QTextBlock b = row.first; b.isValid(); b = b.next()) {
        const int bs = b.position(), be = bs + b.length();
        auto *inner = qobject_cast<QTextTable *>(doc->frameAt(bs));
        if (!inner || !qtrich::isAbsent(inner->cellAt(bs).format().toTableCellFormat())) {
            QList<QTextLayout::FormatRange> ranges;
            for (size_t i = 0; i < cells.size(); ++i) {
                const Selection &s = context.selections[i];
                if (const Cells &c = cells[i]; c.table) {
                    if (bs < c.table->firstPosition() || bs > c.table->lastPosition()) continue;
                    const QTextTableCell in = c.table->cellAt(bs);
                    if (c.holds(c.table, in.row(), in.column()))
                        ranges << QTextLayout::FormatRange{0, b.length(), s.format};
                    continue;
                }
                const int a = s.cursor.selectionStart(), e = s.cursor.selectionEnd();
                if (e <= bs || a >= be || a == e) continue;
                const int from = std::max(a, bs) - bs;
                ranges << QTextLayout::FormatRange{from, std::min(e, be) - bs - from, s.format};
            }
            QTextLayout *tl = b.layout();
            tl->draw(painter, origin, ranges, clip);
            drawMarker(painter, b, tl, origin + tl->position(), b.blockFormat().leftMargin());
            if (caret >= bs && caret < be) tl->drawCursor(painter, origin, caret - bs, cursorWidth);
        }
        if (b == row.last) break;
    }
    const QColor text = context.palette.color(QPalette::Text);
    painter->save();
    for (const CellBox &box : shape->boxes) {
        if (box.absent || box.merged) continue;
        const QRectF r = rectOf(box);
        drawEdge(painter, QLineF(r.topLeft(), r.topRight()), box.def.top, text);
        drawEdge(painter, QLineF(r.bottomLeft(), r.bottomRight()), box.def.bottom, text);
        drawEdge(painter, QLineF(r.topLeft(), r.bottomLeft()), box.def.left, text);
        drawEdge(painter, QLineF(r.topRight(), r.bottomRight()), box.def.rightBorder, text);
    }
    painter->restore();
}

int BlockLayout::hitRow(const RowRef &row, const QPointF &inRow,
                        Qt::HitTestAccuracy accuracy) const {
    ensureLaidOut(row.first);
    const auto *shape = static_cast<const RowShape *>(row.first.userData());
    if (!shape) return accuracy == Qt::ExactHit ? -1 : row.first.position();
    // The innermost cell under the point; beside the row, its nearest cell.
    const CellBox *hit = nullptr;
    double nearest = 1e300;
    for (const CellBox &box : shape->boxes) {
        if (box.absent || box.def.across == rtf::Merge::Next) continue;
        const QRectF &r = box.rect;
        if (r.left() <= inRow.x() && inRow.x() < r.right() && r.top() <= inRow.y() &&
            inRow.y() < r.bottom()) {
            hit = &box;
            nearest = -1;
        } else if (nearest >= 0 && box.table == row.table) {
            const double d = std::max(r.left() - inRow.x(), inRow.x() - r.right());
            if (d < nearest) {
                nearest = d;
                hit = &box;
            }
        }
    }
    if (!hit) return accuracy == Qt::ExactHit ? -1 : row.first.position();
    if (accuracy == Qt::ExactHit && nearest >= 0) return -1;
    // The cell's paragraph at that height (those of a table in the cell
    // have cells of their own).
    QTextDocument *doc = document();
    const QTextTableCell cell = hit->table->cellAt(hit->row, hit->column);
    QTextBlock chosen;
    for (QTextBlock b = doc->findBlock(cell.firstPosition());
         b.isValid() && b.position() <= cell.lastPosition(); b = b.next()) {
        if (doc->frameAt(b.position()) != hit->table) continue;
        chosen = b;
        const QTextLayout *tl = b.layout();
        if (inRow.y() < tl->position().y() + tl->boundingRect().bottom()) break;
    }
    if (!chosen.isValid()) return accuracy == Qt::ExactHit ? -1 : cell.firstPosition();
    const QTextLayout *tl = chosen.layout();
    const int at = hitLines(tl, inRow - tl->position(), accuracy);
    return at < 0 ? -1 : chosen.position() + at;
}
