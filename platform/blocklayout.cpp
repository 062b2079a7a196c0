// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/blocklayout.h"

#include "platform/listformat.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTimer>
#include <algorithm>
#include <cmath>

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

// Breaks a layout into lines of `width` from `top` down, the first indented
// by `indent`; gives the bottom and the widest line's right end.
std::pair<double, double> layLines(QTextLayout *tl, double left, double indent, double width,
                                   double top) {
    double y = top, widest = 0;
    bool first = true;
    tl->beginLayout();
    for (QTextLine line = tl->createLine(); line.isValid(); line = tl->createLine()) {
        line.setLeadingIncluded(true);
        const double x = left + (first ? indent : 0);
        line.setLineWidth(std::max(1.0, width - (first ? indent : 0)));
        line.setPosition(QPointF(x, y));
        y += line.height();
        widest = std::max(widest, x + line.naturalTextWidth());
        first = false;
    }
    tl->endLayout();
    return {y, widest};
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

double BlockLayout::layoutBlock(const QTextBlock &block) const {
    QTextLayout *tl = block.layout();
    const QTextBlockFormat format = block.blockFormat();
    tl->setCacheEnabled(true); // shaped once, painted many times
    tl->setTextOption(optionFor(block));
    const double width = availableWidth() - format.leftMargin() - format.rightMargin();
    const double indent = format.textIndent() + markerRoom(block, format);
    const auto [y, widest] = layLines(tl, format.leftMargin(), indent, width, format.topMargin());
    tl->setPosition(QPointF(0, 0));
    noteWidth(widest + format.rightMargin());
    return y + format.bottomMargin();
}

bool BlockLayout::ensureLaidOut(const QTextBlock &block) const {
    const size_t n = size_t(block.blockNumber());
    if (n >= laid_.size() || laid_[n] || giants_[n]) return false;
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
    // A new width, wrapping or font changes every paragraph.
    const bool everything = old == 0 || lineHeight != lineHeight_ || charWidth != charWidth_ ||
                            availableWidth() != lastWidth_ || wrapping() != lastWrap_;
    const QSizeF sizeBefore = documentSize();
    lineHeight_ = lineHeight;
    charWidth_ = charWidth;
    lastWidth_ = availableWidth();
    lastWrap_ = wrapping();
    numbering_.forgetFrom(from);

    QTextBlock first = doc->findBlock(from);
    if (!first.isValid()) first = doc->lastBlock();
    QTextBlock last = doc->findBlock(from + charsAdded);
    if (!last.isValid()) last = doc->lastBlock();
    const int f = everything ? 0 : first.blockNumber();
    const int l = everything ? count - 1 : std::max(f, last.blockNumber());
    const int delta = count - old;
    if (everything) first = doc->begin();

    if (!everything && delta == 0 && f == l && giants_[size_t(f)] &&
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
        for (QTextBlock b = first; b.isValid() && b.blockNumber() <= l; b = b.next()) {
            const size_t n = size_t(b.blockNumber());
            giants_[n].reset();
            laid_[n] = 0;
            heights_.set(n, estimate(b));
        }
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
        QTextBlock b = first;
        for (int i = f; i <= l && b.isValid(); ++i, b = b.next())
            values[size_t(i)] = estimate(b);
        heights_.assign(values);
        if (everything) widest_ = 0;
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
    return QSizeF(width, heights_.total() + 2 * margin());
}

QRectF BlockLayout::frameBoundingRect(QTextFrame *frame) const {
    if (frame != document()->rootFrame()) return QRectF();
    return QRectF(QPointF(0, 0), documentSize());
}

QRectF BlockLayout::blockBoundingRect(const QTextBlock &block) const {
    if (!block.isValid() || size_t(block.blockNumber()) >= heights_.size()) return QRectF();
    ensureLaidOut(block);
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
    return {block.layout(), QPointF(), 0};
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
    const size_t start = heights_.find(std::max(0.0, clip.top() - margin()));
    for (QTextBlock b = doc->findBlockByNumber(int(start)); b.isValid(); b = b.next()) {
        const size_t n = size_t(b.blockNumber());
        const double t = top(int(n));
        if (t >= clip.bottom()) break;
        const QTextBlockFormat format = b.blockFormat();
        const QPointF origin(margin(), t);
        if (format.background().style() != Qt::NoBrush)
            painter->fillRect(QRectF(origin, QSizeF(availableWidth(), heights_.at(n))),
                              format.background());
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
    part.origin += QPointF(margin(), top(int(n)));
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
        std::tie(y, widest) = layLines(tl.get(), 0, indent, wrapping() ? width : NoWrapWidth, 0);
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

double BlockLayout::giantHeight(const QTextBlock &block, const Giant &g) const {
    const QTextBlockFormat format = block.blockFormat();
    const double body = wrapping() ? g.extents.total() : g.lineHeight;
    return format.topMargin() + body + format.bottomMargin();
}
