// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's document layout: paragraphs laid out only when somebody needs
// them (to paint them, to place the caret, to hit-test a click), the heights
// of the others estimated, all of them summed in a Fenwick tree so that "where
// is paragraph n" and "which paragraph is at y" cost O(log n) whatever the
// document's size. A paragraph of more than a few thousand characters is cut
// into segments laid out one by one, so that a single line of fifty million
// characters costs what its visible part costs. A table row counts as one
// entry of the tree, on its first paragraph (its other paragraphs count
// nothing), and is laid out whole: its cells side by side, each cell's
// paragraphs and nested tables down it.
#pragma once

#include "platform/listformat.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <memory>
#include <vector>

// Sums of a sequence of non-negative extents with O(log n) update and search.
class ExtentTree {
public:
    void assign(const std::vector<double> &values);
    size_t size() const { return values_.size(); }
    double at(size_t i) const { return values_[i]; }
    void set(size_t i, double value);
    // The sum of the first n values.
    double prefix(size_t n) const;
    double total() const { return prefix(values_.size()); }
    // The index of the value that covers `offset` (the last one past the end).
    size_t find(double offset) const;

private:
    std::vector<double> values_;
    std::vector<double> tree_;
};

class QTextTable;
class QTextTableCell;

class BlockLayout : public QAbstractTextDocumentLayout {
public:
    // Blocks longer than this are laid out in segments of about this size.
    static constexpr int SegmentLength = 4096;
    static constexpr int GiantBlock = 4 * SegmentLength;

    explicit BlockLayout(QTextDocument *doc);
    ~BlockLayout() override;

    void draw(QPainter *painter, const PaintContext &context) override;
    int hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame *frame) const override;
    QRectF blockBoundingRect(const QTextBlock &block) const override;

    // The caret's rectangle at a document position, in document coordinates;
    // right inside long paragraphs too, where the toolkit only knows the
    // paragraph's top.
    QRectF caretRect(int position) const;
    // The caret's rectangle once everything within `reach` around it (a
    // screen's width and height) is laid out, so that showing it there does not move it.
    QRectF settledCaretRect(int position, const QSizeF &reach);
    // Tells the scroll bars the document's size if it changed since they last
    // heard it (laying out on demand changes it).
    void announceSize();
    // The caret of a long paragraph, where the widget blinks it itself: its
    // position (-1: the toolkit's caret as usual) and whether it shows now.
    void setCaret(int position, bool shown) {
        ownCaret_ = position;
        caretShown_ = shown;
    }
    bool caretShown() const { return caretShown_; }
    // The visual line holding a document position: its first position and
    // the position after its last character, the space it broke at included
    // (without wrapping, a long paragraph is one line).
    std::pair<int, int> lineBounds(int position) const;
    // Where the character at a document position is drawn, in document
    // coordinates: from its edge to the next character's, its line's height.
    QRectF characterRect(int position) const;
    // Text an input method is composing at a position of a long paragraph
    // (empty: none), drawn there with the caret `cursor` characters into it.
    void setPreedit(int position, const QString &text, int cursor);
    // True for a paragraph laid out in segments.
    bool isSegmented(const QTextBlock &block) const;
    // How many paragraphs have been laid out, and how many are estimated.
    int laidOutBlocks() const;

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    // A row of a table of the body (not nested): the table, its row number,
    // its first and last paragraphs.
    struct RowRef {
        QTextTable *table = nullptr;
        int row = -1;
        QTextBlock first, last;
    };
    struct CellBox;
    class RowShape;
    RowRef rowAt(const QTextBlock &block) const;
    RowRef rowRef(QTextTable *table, int row) const;
    // The top of a block's row, or of the block itself out of tables.
    double anchorTop(const QTextBlock &block) const;
    // Lays a row of the body out: its cells, their paragraphs and nested
    // tables; true when its height changed.
    bool layoutRow(const RowRef &row) const;
    // Lays row `row` of `table` out from (x, y) in the coordinates of the
    // body row holding it, `width` wide when its cells say nothing of
    // theirs; gives its height and appends its cells (and nested ones).
    double layoutTableRow(QTextTable *table, int row, double x, double y, double width,
                          std::vector<CellBox> &boxes) const;
    double layoutCell(QTextTable *table, const QTextTableCell &cell, double x, double y,
                      double width, std::vector<CellBox> &boxes) const;
    // Lays a paragraph's lines out `width` wide; gives its height and its
    // widest line's right end.
    // `inCell`: wrapped in its cell's width whether the editor wraps or not.
    std::pair<double, double> layoutText(const QTextBlock &block, double width,
                                         bool inCell = false) const;
    // What a row not laid out yet is estimated at.
    double rowEstimate(int characters, int columns, double width) const;
    double tableWidth(QTextTable *table) const;
    // Estimates blocks from `block` to number `last` into `values`.
    void estimateBlocks(QTextBlock block, int last, std::vector<double> &values,
                        int base = 0) const;
    // The height a cell merged down from this row spans.
    double spannedHeight(const RowRef &row, const CellBox &box) const;
    void drawRow(QPainter *painter, const RowRef &row, const QPointF &origin,
                 const PaintContext &context, const QRectF &clip, int cursorWidth) const;
    int hitRow(const RowRef &row, const QPointF &inRow, Qt::HitTestAccuracy accuracy) const;
    // The rows where cells merged down from or through `row` end are laid
    // out again when next needed; true if there are any.
    bool forgetMergedBelow(const RowRef &row) const;

    struct Segment {
        int start = 0; // in the block
        int length = 0;
        bool laid = false;
        std::unique_ptr<QTextLayout> layout;
        // Pictures in it (their places in the layout's text), drawn over the
        // room their stand-ins take.
        std::vector<std::pair<int, QTextFormat>> pictures;
    };
    struct Giant {
        std::vector<Segment> segments;
        ExtentTree extents; // heights with wrapping, widths without
        double lineHeight = 0;
        double topMargin = 0;
        double leftMargin = 0;
    };

    // A laid-out layout for part of a block: the whole block's, or one
    // segment's with where it stands in the block and where its text starts.
    struct Part {
        QTextLayout *layout;
        QPointF origin;
        int start;
    };
    Part blockPart(const QTextBlock &block) const;
    void drawSegmentPictures(QPainter *painter, const QTextBlock &block, const Segment &seg,
                             const QPointF &at) const;
    // The laid-out part holding a document position, and the position
    // within it.
    std::pair<Part, int> partAt(int position) const;
    // Lays the segment holding the pre-edit text out again.
    void dropPreeditSegment();
    Part segmentPart(const QTextBlock &block, Giant &g, size_t i) const;
    // Where an area begins and ends along a long paragraph's segments (down
    // them with wrapping, across without), for the block whose top is `top`.
    std::pair<double, double> spanIn(const Giant &g, double top, const QRectF &area) const;

    double margin() const;
    double availableWidth() const;
    bool wrapping() const;
    double top(int blockNumber) const;
    double estimate(const QTextBlock &block) const;
    // Lays the block out if it is not; true when its height changed.
    bool ensureLaidOut(const QTextBlock &block) const;
    double layoutBlock(const QTextBlock &block) const;
    // List items: the marker's font, the room it takes before the first
    // line's text, and the marker drawn there.
    QFont markerFont(const QTextBlock &block) const;
    double markerRoom(const QTextBlock &block, const QTextBlockFormat &format) const;
    void drawMarker(QPainter *painter, const QTextBlock &block, const QTextLayout *tl,
                    const QPointF &at, double left) const;
    // A paragraph's borders and shading, around its lines (and those of
    // the paragraphs next to it with the same ones), in `rect`, the
    // paragraph's place; drawn before its text.
    void drawParaBox(QPainter *painter, const QTextBlock &block, const QRectF &rect) const;
    // Lays out every block (and segment) that intersects the area.
    void ensureRange(const QRectF &area) const;
    QTextOption optionFor(const QTextBlock &block) const;
    void noteWidth(double width) const;

    // Segmented blocks.
    void segment(const QTextBlock &block) const;
    double estimateSegment(int length) const;
    void editSegments(const QTextBlock &block, int at, int removed, int added) const;
    void layoutSegment(const QTextBlock &block, Giant &g, size_t i) const;
    double giantHeight(const QTextBlock &block, const Giant &g) const;
    QPointF segmentOrigin(const Giant &g, size_t i) const;
    size_t segmentAt(const Giant &g, const QPointF &inBlock) const;
    size_t segmentOf(const Giant &g, int relative) const;

    mutable qtrich::ListNumbering numbering_; // list markers' numbers
    mutable ExtentTree heights_;
    mutable std::vector<char> laid_;
    mutable std::vector<std::unique_ptr<Giant>> giants_; // per block, null for most
    mutable double widest_ = 0;
    mutable double tableWidest_ = 0; // the right end of the widest table row
    double lineHeight_ = 0;
    double charWidth_ = 0;
    double lastWidth_ = -1;
    bool lastWrap_ = false;
    QSizeF announced_;
    bool caretShown_ = true;
    int ownCaret_ = -1;
    int preeditAt_ = -1; // document position of the pre-edit text
    QString preedit_;
    int preeditCursor_ = 0;
};
