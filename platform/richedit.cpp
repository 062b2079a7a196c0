// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richedit.h"

#include "core/freememory.h"
#include "core/textcodec.h"
#include "platform/blocklayout.h"
#include "platform/clipdata.h"
#include "platform/commands.h"
#include "platform/documentfile.h"
#include "platform/editoraccess.h"
#include "platform/htmlpaste.h"
#include "platform/listformat.h"
#include "platform/pictures.h"
#include "platform/progress.h"
#include "platform/qtconvert.h"
#include "platform/richconvert.h"
#include "platform/richedit_p.h"
#include "platform/richeditaccess.h"
#include "platform/textformats.h"
#include "platform/winapi.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QTimer>

namespace {
// What a paste may need: the clipboard's data read into a document, then
// inserted (the toolkit's text classes do not survive a failed allocation).
constexpr qint64 PasteNeedPerByte = 8;
constexpr qint64 PasteReserve = qint64(16) << 20;

constexpr QChar LineSep(0x2028);
constexpr QChar ParaSep(0x2029);
// The toolkit's marks before each table cell and after a table's last: each
// ends a paragraph, as a paragraph separator does.
constexpr QChar CellStart(0xFDD0);
constexpr QChar TableEnd(0xFDD1);

// True when the key is the shortcut of one of the window's actions (the menu's
// entries): the editor then leaves it to the menu.
bool windowShortcut(const QWidget *editor, QKeyCombination key) {
    const QKeySequence sequence(key);
    for (const QAction *action : editor->window()->actions())
        if (action->shortcut() == sequence) return true;
    return false;
}
} // namespace

// ---------------------------------------------------------------------------
// RichEditWidget

RichEditWidget::RichEditWidget(TRichEdit *owner) : owner_(owner) {
    setAcceptRichText(true);
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The window's menu holds every command: no menu of the toolkit's own
    // (with its redo and insert-control-character entries) on a right click.
    setContextMenuPolicy(Qt::NoContextMenu);
    viewport()->setContextMenuPolicy(Qt::NoContextMenu);
    // The selection shows only while the editor has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Inactive, QPalette::Base));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Inactive, QPalette::Text));
    setPalette(pal);

    // Paragraphs laid out as they are shown, whatever the document's size.
    layout_ = new BlockLayout(document());
    qtrich::drawPictures(layout_);
    document()->setDocumentLayout(layout_);
    // Assistive technology reads the text from that layout too.
    installEditorAccessibility();

    map_.paragraphOf = [this](int q) { return document()->findBlock(q).blockNumber(); };
    map_.separatorsBefore = [this](int q) { return separators_.countBefore(q); };
    // The toolkit keeps the caret in view from the paragraph's top only;
    // inside a long paragraph the segments know where it is.
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        if (layout_->isSegmented(textCursor().block())) {
            QTimer::singleShot(0, this, [this] { showCaretInLongParagraph(); });
        } else if (controlFocus_ != hasFocus()) {
            // Out of a long paragraph: the toolkit hears of the focus now.
            QFocusEvent focus(hasFocus() ? QEvent::FocusIn : QEvent::FocusOut);
            tellFocus(&focus, hasFocus());
        }
    });
    // The toolkit's caret blink asks the paragraph's layout where the caret
    // is, which in a long paragraph means analysing all of it after each
    // edit: there the caret blinks from a timer of ours instead.
    for (QObject *child : children()) {
        if (QByteArray(child->metaObject()->className()) == "QWidgetTextControl") {
            textControl_ = child;
            child->installEventFilter(this);
            break;
        }
    }
    blink_.setInterval(QApplication::cursorFlashTime() / 2);
    connect(&blink_, &QTimer::timeout, this, [this] {
        layout_->setCaret(textCursor().position(), !layout_->caretShown());
        viewport()->update(
            layout_->caretRect(textCursor().position())
                .translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value())
                .toAlignedRect()
                .adjusted(-2, -2, 2, 2));
    });
    connect(document(), &QTextDocument::contentsChange, this,
            [this](int pos, int removed, int added) { onContentsChange(pos, removed, added); });
}

void RichEditWidget::onContentsChange(int pos, int removed, int added) {
    cacheValid_ = false;
    const int length = documentLength();
    map_.documentLength = length;
    // Qt may report a change reaching past the end; keep to the text.
    added = std::min(added, std::max(0, length - pos));
    std::vector<int> found;
    if (added > 0 && !loadingPlain_) {
        // The added range alone: a key typed into a long paragraph costs the
        // key, not the paragraph. A large part of the document (a file being
        // read) is found in the document's own characters, which are copied
        // a thousand times faster than a selection's text is made.
        QString text;
        int origin = 0; // the position of text's first character
        if (added > 4096 && qint64(added) * 64 >= length) {
            text = document()->toRawText();
        } else {
            QTextCursor range(document());
            range.setPosition(pos);
            range.setPosition(pos + added, QTextCursor::KeepAnchor);
            text = range.selectedText();
            origin = pos;
        }
        const qsizetype from = pos - origin, to = from + added;
        for (qsizetype i = text.indexOf(LineSep, from); i >= 0 && i < to;
             i = text.indexOf(LineSep, i + 1))
            found.push_back(origin + int(i));
    }
    separators_.update(pos, removed, added, found);
    if (added > (1 << 20) || removed > (1 << 20)) {
        searchText_.reset();
    } else {
        searchText_.update(pos, removed, added);
    }
    if (!loading_ && (removed || added)) modified_ = true;
}

int RichEditWidget::documentLength() const {
    return document()->characterCount() - 1;
}
int RichEditWidget::toEditor(int q) const {
    return map_.toEditor(q);
}
int RichEditWidget::toDocument(int e) const {
    return map_.toDocument(e);
}

int RichEditWidget::editorLength() const {
    return documentLength() + document()->blockCount() - 1 + separators_.size();
}

const QString &RichEditWidget::crlfText() const {
    if (!cacheValid_) {
        const QString raw = document()->toRawText();
        const int n = std::min<int>(raw.size(), documentLength());
        QString out;
        out.reserve(n + document()->blockCount() + separators_.size());
        int from = 0;
        for (int i = 0; i < n; ++i) {
            const QChar c = raw.at(i);
            if (c == ParaSep || c == LineSep || c == CellStart || c == TableEnd) {
                out.append(QStringView(raw).mid(from, i - from));
                out.append(QLatin1String("\r\n"));
                from = i + 1;
            }
        }
        out.append(QStringView(raw).mid(from, n - from));
        cache_ = std::move(out);
        cacheValid_ = true;
    }
    return cache_;
}

int RichEditWidget::findInDocument(const QString &text, int from, int to, Qt::CaseSensitivity cs) {
    return searchText_.find(text, from, to, cs, documentLength(), [this](int start, int length) {
        if (start == 0 && length == documentLength()) return document()->toRawText().left(length);
        QTextCursor cur(document());
        cur.setPosition(start);
        cur.setPosition(start + length, QTextCursor::KeepAnchor);
        return cur.selectedText(); // paragraph breaks as U+2029, as in the raw text
    });
}

rtf::Document RichEditWidget::extract(int from, int to) const {
    return qtrich::extract(document(), from, to, owner_->Font());
}

void RichEditWidget::load(const std::function<void()> &fill, bool plain) {
    loading_ = true;
    loadingPlain_ = plain;
    document()->setUndoRedoEnabled(false);
    // The page was painted blank while the document was being replaced (see
    // paintEvent), and the last pieces put in may lie below it: all of it is
    // painted again once the document is whole.
    const auto done = [this] {
        document()->setUndoRedoEnabled(true);
        loading_ = loadingPlain_ = false;
        viewport()->update();
    };
    try {
        fill();
    } catch (...) {
        done();
        throw;
    }
    done();
}

bool RichEditWidget::eventFilter(QObject *watched, QEvent *e) {
    if (watched == textControl_ && e->type() == QEvent::Timer) {
        const bool longParagraph = layout_->isSegmented(textCursor().block());
        if (longParagraph) {
            if (hasFocus() && QApplication::cursorFlashTime() > 0 && !blink_.isActive()) {
                layout_->setCaret(textCursor().position(), true);
                blink_.start();
            }
            return true; // the toolkit's blink, and its question, skipped
        }
        if (blink_.isActive()) {
            blink_.stop();
            layout_->setCaret(-1, true);
        }
    }
    return QTextEdit::eventFilter(watched, e);
}

void RichEditWidget::focusInEvent(QFocusEvent *e) {
    tellFocus(e, true);
}

void RichEditWidget::focusOutEvent(QFocusEvent *e) {
    tellFocus(e, false);
}

// When the focus comes or goes, the toolkit repaints around the caret, which
// it measures from the layout of the caret's whole paragraph (for a paragraph
// of millions of characters, seconds and hundreds of megabytes). In a long
// paragraph it is told only once the caret is in a short one again, and the
// caret shown there is ours.
void RichEditWidget::tellFocus(QFocusEvent *e, bool in) {
    if (!layout_->isSegmented(textCursor().block())) {
        controlFocus_ = in;
        if (in) {
            QTextEdit::focusInEvent(e);
        } else {
            QTextEdit::focusOutEvent(e);
        }
        return;
    }
    if (in) {
        QAbstractScrollArea::focusInEvent(e);
    } else {
        QAbstractScrollArea::focusOutEvent(e);
    }
    blink_.stop();
    layout_->setCaret(textCursor().position(), in);
    if (in && QApplication::cursorFlashTime() > 0) blink_.start();
    viewport()->update();
}

void RichEditWidget::paintEvent(QPaintEvent *e) {
    // A document being replaced is not shown half-made: the window around
    // it repaints, the page stays blank until it is whole.
    if (loading_) {
        QPainter painter(viewport());
        painter.fillRect(e->rect(), palette().brush(QPalette::Base));
        return;
    }
    QTextEdit::paintEvent(e);
}

bool RichEditWidget::event(QEvent *e) {
    if (e->type() == QEvent::ShortcutOverride) {
        auto *ke = static_cast<QKeyEvent *>(e);
        if (windowShortcut(this, ke->keyCombination())) {
            e->ignore(); // the menu runs it, once
            return true;
        }
    }
    return QTextEdit::event(e);
}

void RichEditWidget::keyPressEvent(QKeyEvent *e) {
    if (windowShortcut(this, e->keyCombination())) {
        e->ignore();
        return;
    }
    // Alt with a key is a command, never text (AltGr, or Ctrl+Alt where it
    // stands for AltGr, still types its characters).
    if ((e->modifiers() & Qt::AltModifier) && !(e->modifiers() & Qt::ControlModifier) &&
        !e->text().isEmpty()) {
        e->ignore();
        return;
    }
    // Typed text is held to what a document may hold, as pasted text is.
    if (!e->text().isEmpty()) {
        const QString clean = textcodec::cleanText(e->text());
        if (clean != e->text()) {
            // Sent on as the same key with the cleaned text, or not at all.
            if (!clean.isEmpty()) {
                QKeyEvent cleaned(e->type(), e->key(), e->modifiers(), clean, e->isAutoRepeat(),
                                  ushort(e->count()));
                QTextEdit::keyPressEvent(&cleaned);
            }
            e->accept();
            return;
        }
    }
    if (typeIntoLongParagraph(e)) return;
    if (typeOverCells(e)) return;
    if (extendCellSelection(e)) return;
    if (moveInLongParagraph(e)) return;
    // Undo is the menu's; there is no redo.
    if (e->matches(QKeySequence::Redo)) {
        e->accept();
        return;
    }
    // Tab belongs to focus navigation, even with nowhere else to go.
    const bool plainTab = (e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) &&
                          !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (plainTab) {
        e->ignore();
        return;
    }
    if (newListItem(e)) return;
    const QTextCursor before = textCursor();
    const int revision = document()->revision();
    QTextEdit::keyPressEvent(e);
    const QTextCursor after = textCursor();
    if (after.position() != before.position() || after.anchor() != before.anchor() ||
        document()->revision() != revision)
        keepCaretInView();
}

bool RichEditWidget::typeOverCells(QKeyEvent *e) {
    QTextCursor cur = textCursor();
    const QString text = e->text();
    if (isReadOnly() || text.isEmpty() || !cur.hasComplexSelection() ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); }))
        return false;
    QTextTable *table = cur.currentTable();
    int row = -1, rows = 0, column = -1, columns = 0;
    cur.selectedTableCells(&row, &rows, &column, &columns);
    if (!table || !table->cellAt(row, column).isValid()) return false;
    cur.beginEditBlock();
    cur.removeSelectedText();
    cur.setPosition(table->cellAt(row, column).firstPosition());
    cur.insertText(text);
    cur.endEditBlock();
    setTextCursor(cur);
    keepCaretInView();
    e->accept();
    return true;
}

// Shift with an arrow key while cells are selected: the selection grows or
// shrinks by a row or a column of cells. The toolkit puts the caret at the
// start of a cell once cells are selected, and then moves it line by line:
// down a cell of several lines it would go back to that start at each key,
// and left from the first column it would go to the row above.
bool RichEditWidget::extendCellSelection(QKeyEvent *e) {
    enum Move { Up, Down, Left, Right };
    static const struct {
        QKeySequence::StandardKey key;
        Move move;
    } keys[] = {{QKeySequence::SelectPreviousLine, Up},
                {QKeySequence::SelectNextLine, Down},
                {QKeySequence::SelectPreviousChar, Left},
                {QKeySequence::SelectNextChar, Right}};
    QTextCursor cur = textCursor();
    if (!cur.hasComplexSelection()) return false;
    const auto found = std::find_if(std::begin(keys), std::end(keys),
                                    [e](const auto &k) { return e->matches(k.key); });
    if (found == std::end(keys)) return false;
    QTextTable *table = cur.currentTable();
    if (!table) return false;
    const QTextTableCell at = table->cellAt(cur.position());
    const QTextTableCell anchor = table->cellAt(cur.anchor());
    if (!at.isValid() || !anchor.isValid()) return false;
    int row = at.row(), column = at.column();
    switch (found->move) {
    case Up:
        if (row == 0) return false; // out of the table: the toolkit's way
        --row;
        break;
    case Down:
        row += at.rowSpan();
        if (row >= table->rows()) return false;
        break;
    case Left:
        --column;
        break;
    case Right:
        column += at.columnSpan();
        break;
    }
    if (column >= 0 && column < table->columns()) {
        const QTextTableCell next = table->cellAt(row, column);
        // Back in the anchor's cell, the selection is text of that cell again.
        const bool back = next == anchor;
        const bool before = found->move == Up || found->move == Left;
        cur.setPosition(back && before ? next.lastPosition() : next.firstPosition(),
                        QTextCursor::KeepAnchor);
        setTextCursor(cur);
        ensureCursorVisible();
    } // beside the first or the last column, the selection stays as it is
    e->accept();
    return true;
}

// Return in a list item: a new item with the item's paragraph format and the
// list's spacing (the toolkit would take the space after the item away), or,
// in an empty item, the end of the list, as word processors do.
bool RichEditWidget::newListItem(QKeyEvent *e) {
    QTextCursor cur = textCursor();
    if (isReadOnly() || (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) ||
        (e->modifiers() & ~Qt::KeypadModifier) || !cur.currentList())
        return false;
    cur.beginEditBlock();
    cur.removeSelectedText();
    if (cur.block().length() == 1) {
        qtrich::endListAt(cur);
    } else {
        qtrich::splitItem(cur);
    }
    cur.endEditBlock();
    setTextCursor(cur);
    ensureCursorVisible();
    e->accept();
    return true;
}

// In a paragraph laid out in segments, the toolkit's own key handling asks
// the paragraph's whole layout for the caret's column after each edit, which
// analyses every character of it. Plain typing, Backspace and Delete are done
// here instead, inside one edit block (where that question is not asked), and
// the caret is kept in view from the segments' layout.
bool RichEditWidget::typeIntoLongParagraph(QKeyEvent *e) {
    QTextCursor cur = textCursor();
    if (isReadOnly() || !layout_->isSegmented(cur.block())) return false;
    // A modifier pressed alone changes nothing, but the toolkit would still
    // ask where the caret is.
    switch (e->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        e->accept();
        return true;
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (mods != Qt::NoModifier) return false;
    const bool back = e->key() == Qt::Key_Backspace;
    const bool del = e->key() == Qt::Key_Delete;
    const QString text = e->text();
    const bool printable = !back && !del && !text.isEmpty() && e->key() != Qt::Key_Return &&
                           e->key() != Qt::Key_Enter && e->key() != Qt::Key_Tab &&
                           e->key() != Qt::Key_Backtab &&
                           std::all_of(text.begin(), text.end(),
                                       [](QChar c) { return c.isPrint() || c.isSurrogate(); });
    if (!printable && !back && !del) return false;
    QTextCursor group(document());
    group.beginEditBlock();
    if (printable) {
        cur.insertText(text);
    } else if (cur.hasSelection()) {
        cur.removeSelectedText();
    } else {
        // One character, or both halves of a surrogate pair.
        const int p = cur.position();
        const QChar before = document()->characterAt(p - 1);
        const QChar after = document()->characterAt(p);
        const int bs = cur.block().position(), be = bs + cur.block().length() - 1;
        if (back && p > bs) {
            const int n =
                before.isLowSurrogate() && document()->characterAt(p - 2).isHighSurrogate() ? 2 : 1;
            cur.setPosition(p - n, QTextCursor::KeepAnchor);
        } else if (del && p < be) {
            const int n =
                after.isHighSurrogate() && document()->characterAt(p + 1).isLowSurrogate() ? 2 : 1;
            cur.setPosition(p + n, QTextCursor::KeepAnchor);
        } else {
            group.endEditBlock();
            return false; // across paragraphs: the toolkit's way
        }
        cur.removeSelectedText();
    }
    group.endEditBlock();
    e->accept();
    showCaretInLongParagraph();
    return true;
}

void RichEditWidget::showCaretInLongParagraph() {
    const QTextCursor cur = textCursor();
    if (!layout_->isSegmented(cur.block())) return;
    const QRectF caret = layout_->settledCaretRect(cur.position(), QSizeF(viewport()->size()));
    if (blink_.isActive()) layout_->setCaret(cur.position(), true); // shown while typing
    if (!caret.isValid()) return;
    scrollToShow(caret);
    viewport()->update();
}

void RichEditWidget::scrollToShow(const QRectF &caret) {
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRect seen = viewport()->rect().translated(offset);
    const QRect r = caret.toAlignedRect().adjusted(-4, 0, 4, 0);
    if (r.top() < seen.top()) verticalScrollBar()->setValue(r.top());
    if (r.bottom() > seen.bottom()) verticalScrollBar()->setValue(r.bottom() - seen.height() + 1);
    if (r.left() < seen.left()) horizontalScrollBar()->setValue(r.left());
    if (r.right() > seen.right()) horizontalScrollBar()->setValue(r.right() - seen.width() + 1);
}

void RichEditWidget::keepCaretInView() {
    const QTextCursor cur = textCursor();
    if (layout_->isSegmented(cur.block())) return; // its segments place it
    const QRectF caret = layout_->settledCaretRect(cur.position(), QSizeF(viewport()->size()));
    if (caret.isValid()) scrollToShow(caret);
}

// The toolkit's moves by line ask the paragraph's own layout, which a long
// paragraph does not have: they would jump over all of it. Here the segments'
// lines answer, as the toolkit moves elsewhere: the column kept from one move
// to the next, a page being the viewport's height with the view scrolled by
// as much.
bool RichEditWidget::moveInLongParagraph(QKeyEvent *e) {
    enum Move { Up, Down, PageUp, PageDown, Home, End };
    static const struct {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    } keys[] = {{QKeySequence::MoveToPreviousLine, Up, false},
                {QKeySequence::SelectPreviousLine, Up, true},
                {QKeySequence::MoveToNextLine, Down, false},
                {QKeySequence::SelectNextLine, Down, true},
                {QKeySequence::MoveToPreviousPage, PageUp, false},
                {QKeySequence::SelectPreviousPage, PageUp, true},
                {QKeySequence::MoveToNextPage, PageDown, false},
                {QKeySequence::SelectNextPage, PageDown, true},
                {QKeySequence::MoveToStartOfLine, Home, false},
                {QKeySequence::SelectStartOfLine, Home, true},
                {QKeySequence::MoveToEndOfLine, End, false},
                {QKeySequence::SelectEndOfLine, End, true}};
    const auto found = std::find_if(std::begin(keys), std::end(keys),
                                    [e](const auto &k) { return e->matches(k.key); });
    if (found == std::end(keys)) return false;
    const Move move = found->move;
    QTextCursor cur = textCursor();
    const QTextBlock block = cur.block();
    const int position = cur.position();
    const QSizeF screen(viewport()->size());
    const bool inLong = layout_->isSegmented(block);
    if (!inLong && (move == Home || move == End)) return false;
    if (!inLong && move == Up && !layout_->isSegmented(block.previous())) return false;
    if (!inLong && move == Down && !layout_->isSegmented(block.next())) return false;
    const QRectF caret = layout_->settledCaretRect(position, screen);
    if (!caret.isValid()) return false;
    if (goalFrom_ != position) goalX_ = caret.x();
    const double margin = document()->documentMargin();
    const double bottom = layout_->documentSize().height() - margin;
    const auto at = [&](double y) {
        return layout_->hitTest(QPointF(goalX_, std::clamp(y, margin, bottom - 0.5)), Qt::FuzzyHit);
    };
    int target = position;
    int scroll = 0;
    switch (move) {
    case Home:
        target = layout_->lineBounds(position).first;
        break;
    case End: {
        const auto [start, end] = layout_->lineBounds(position);
        target = end;
        // A wrapped line ends before the space it broke at.
        if (end > start && end < block.position() + block.length() - 1 &&
            document()->characterAt(end - 1).isSpace())
            --target;
        break;
    }
    case Up:
        if (caret.top() > margin + 0.5) target = at(caret.top() - 0.5);
        break;
    case Down:
        if (caret.bottom() < bottom - 0.5) target = at(caret.bottom() + 0.5);
        break;
    case PageUp:
    case PageDown: {
        // The first line a screen's height or more away, as the toolkit
        // walks line by line; short of it, the first or last line.
        const double page = screen.height();
        const double want = move == PageDown ? caret.top() + page : caret.top() - page;
        if (want < margin || want > bottom - 0.5) {
            target = at(want);
            break;
        }
        layout_->settledCaretRect(at(want), screen);
        target = at(want);
        const QRectF line = layout_->caretRect(target);
        if (move == PageDown && line.top() < want - 0.5 && line.bottom() < bottom - 0.5)
            target = at(line.bottom() + 0.5);
        scroll =
            move == PageDown ? verticalScrollBar()->pageStep() : -verticalScrollBar()->pageStep();
        break;
    }
    }
    if (!inLong && (move == PageUp || move == PageDown)) {
        // A page that crosses no long paragraph is the toolkit's.
        const int a = block.blockNumber(), b = document()->findBlock(target).blockNumber();
        bool crosses = false;
        for (QTextBlock k = document()->findBlockByNumber(std::min(a, b));
             k.isValid() && k.blockNumber() <= std::max(a, b) && !crosses; k = k.next())
            crosses = layout_->isSegmented(k);
        if (!crosses) return false;
    }
    cur.setPosition(target, found->select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
    // The toolkit would show the caret from the paragraph's top: the view
    // moves only as the page does, and then as far as the caret needs.
    const int x = horizontalScrollBar()->value(), y = verticalScrollBar()->value();
    setTextCursor(cur);
    if (inLong || layout_->isSegmented(cur.block())) {
        horizontalScrollBar()->setValue(x);
        verticalScrollBar()->setValue(y + scroll);
    } else if (scroll) {
        verticalScrollBar()->setValue(y + scroll);
    }
    goalFrom_ = move == Home || move == End ? -1 : target;
    e->accept();
    showCaretInLongParagraph();
    if (!layout_->isSegmented(cur.block())) ensureCursorVisible();
    return true;
}

// Input methods compose text in a long paragraph where the caret is, drawn by
// its segment; what they commit goes in as typed text does.
void RichEditWidget::composeInLongParagraph(QInputMethodEvent *e, const QString &commit) {
    QTextCursor cur = textCursor();
    if (!commit.isEmpty() || e->replacementLength() > 0) {
        QTextCursor group(document());
        group.beginEditBlock();
        if (e->replacementLength() > 0) {
            const int from = cur.position() + e->replacementStart();
            cur.setPosition(from);
            cur.setPosition(from + e->replacementLength(), QTextCursor::KeepAnchor);
        }
        cur.insertText(commit);
        group.endEditBlock();
        setTextCursor(cur);
    }
    int caret = int(e->preeditString().size());
    for (const QInputMethodEvent::Attribute &a : e->attributes())
        if (a.type == QInputMethodEvent::Cursor) caret = a.start;
    const int x = horizontalScrollBar()->value(), y = verticalScrollBar()->value();
    layout_->setPreedit(cur.position(), e->preeditString(), caret);
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
    e->accept();
    showCaretInLongParagraph();
}

QVariant RichEditWidget::inputMethodQuery(Qt::InputMethodQuery query) const {
    const QTextCursor cur = textCursor();
    if (!layout_->isSegmented(cur.block())) return QTextEdit::inputMethodQuery(query);
    // In a long paragraph the segments say where the caret is, and the text
    // around it is a few hundred characters, not the whole paragraph.
    const int bs = cur.block().position(), be = bs + cur.block().length() - 1;
    const int from = std::max(bs, cur.position() - 256);
    const int to = std::min(be, cur.position() + 256);
    switch (query) {
    case Qt::ImCursorRectangle:
        return layout_->caretRect(cur.position())
            .translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value())
            .translated(viewport()->pos());
    case Qt::ImSurroundingText: {
        QString text(to - from, Qt::Uninitialized);
        for (int k = from; k < to; ++k)
            text[k - from] = document()->characterAt(k);
        return text;
    }
    case Qt::ImCursorPosition:
        return cur.position() - from;
    case Qt::ImAnchorPosition:
        return std::clamp(cur.anchor(), from, to) - from;
    case Qt::ImTextBeforeCursor:
    case Qt::ImTextAfterCursor: {
        const bool before = query == Qt::ImTextBeforeCursor;
        const int a = before ? from : cur.position(), b = before ? cur.position() : to;
        QString text(b - a, Qt::Uninitialized);
        for (int k = a; k < b; ++k)
            text[k - a] = document()->characterAt(k);
        return text;
    }
    case Qt::ImCurrentSelection:
        return cur.selectedText();
    default:
        return QTextEdit::inputMethodQuery(query);
    }
}

void RichEditWidget::inputMethodEvent(QInputMethodEvent *e) {
    const QString clean = textcodec::cleanText(e->commitString());
    if (layout_->isSegmented(textCursor().block()) && !isReadOnly())
        return composeInLongParagraph(e, clean);
    if (clean == e->commitString()) return QTextEdit::inputMethodEvent(e);
    QInputMethodEvent cleaned(e->preeditString(), e->attributes());
    cleaned.setCommitString(clean, e->replacementStart(), e->replacementLength());
    QTextEdit::inputMethodEvent(&cleaned);
}

QMimeData *RichEditWidget::createMimeDataFromSelection() const {
    const QTextCursor cur = textCursor();
    int from = cur.selectionStart(), to = cur.selectionEnd();
    qtrich::CellColumns columns;
    if (cur.hasComplexSelection()) {
        // Cells selected: those cells, as a table.
        int row = 0, rows = 0, column = 0, count = 0;
        cur.selectedTableCells(&row, &rows, &column, &count);
        if (const QTextTable *table = cur.currentTable(); table && rows > 0 && count > 0) {
            from = table->cellAt(row, column).firstPosition();
            to = table->cellAt(row + rows - 1, column + count - 1).lastPosition();
            columns = {table, column, count};
        }
    }
    qtrich::Snapshot snapshot(document(), from, to, owner_->Font(), columns);
    QString plain = snapshot.plainText();
    return qtrich::makeMimeData(std::move(snapshot), plain, owner_->Font().Name);
}

bool RichEditWidget::canInsertFromMimeData(const QMimeData *source) const {
    return source && (!qtrich::rtfData(source).isEmpty() || qtrich::hasClipboardPicture(source) ||
                      source->hasHtml() || source->hasText());
}

void RichEditWidget::insertFromMimeData(const QMimeData *source) {
    if (!source) return;
    RunCommand([&] {
        TProgress progress(QStringLiteral("Collage..."), false);
        QTextCursor cur = textCursor();
        const QByteArray rtfBytes = qtrich::rtfData(source);
        // What the clipboard holds, read into a document and inserted.
        const qint64 size = !rtfBytes.isEmpty() ? rtfBytes.size()
                            : source->hasHtml() ? source->html().size() * 2
                                                : source->text().size() * 2;
        RequireMemory(PasteReserve + PasteNeedPerByte * size, QStringLiteral("coller"));
        if (!rtfBytes.isEmpty() || source->hasHtml()) {
            // Rich text as this editor holds it, from RTF or from HTML.
            const rtf::Document doc = !rtfBytes.isEmpty()
                                          ? rtf::read(rtfBytes)
                                          : qtrich::fromHtml(source->html(), owner_->Font());
            cur.beginEditBlock();
            cur.removeSelectedText();
            qtrich::insert(cur, doc, false);
            cur.endEditBlock();
        } else if (auto picture = qtrich::clipboardPicture(source)) {
            // An image another program copied.
            rtf::Document doc;
            doc.paragraphs[0].runs.push_back(
                rtf::Run{qtrich::resolve(cur.charFormat(), owner_->Font()),
                         QString(QChar::ObjectReplacementCharacter), std::move(picture)});
            cur.beginEditBlock();
            cur.removeSelectedText();
            qtrich::insert(cur, doc, false);
            cur.endEditBlock();
        } else if (source->hasText()) {
            const QString text = textcodec::cleanText(textcodec::foldLineEnds(source->text()));
            if (text.isEmpty()) return;
            cur.insertText(text);
        } else {
            return;
        }
        setTextCursor(cur);
        ensureCursorVisible();
        keepCaretInView();
    });
}

// ---------------------------------------------------------------------------
// TRichEdit

TRichEdit::TRichEdit(TComponent *owner)
    : TWinControl(owner), Lines(new TRichEditLines(this)), editor_(new RichEditWidget(this)) {
    SetWidget(editor_);
    // Screen readers name the text area after the document, as editors do.
    editor_->setAccessibleName(QStringLiteral("Document"));
    SetFont(font_);
    editor_->setModified(false);
}

TRichEdit::~TRichEdit() {
    delete Lines;
}

bool TRichEdit::Modified() const {
    return editor_->isModified();
}
void TRichEdit::SetModified(bool modified) {
    editor_->setModified(modified);
}

QString TRichEdit::Text() const {
    return editor_->crlfText();
}
int TRichEdit::GetTextLen() const {
    return editor_->editorLength();
}

void TRichEdit::SetText(const QString &text) {
    QTextCursor cur(editor_->document());
    cur.select(QTextCursor::Document);
    cur.insertText(textcodec::cleanText(textcodec::foldLineEnds(text)));
}

void TRichEdit::SelectAll() {
    editor_->selectAll();
}
void TRichEdit::CutToClipboard() {
    editor_->cut();
}
void TRichEdit::CopyToClipboard() {
    editor_->copy();
}
void TRichEdit::PasteFromClipboard() {
    editor_->paste();
}

int TRichEdit::SelStart() const {
    return editor_->toEditor(editor_->textCursor().selectionStart());
}

int TRichEdit::SelLength() const {
    const QTextCursor cur = editor_->textCursor();
    return editor_->toEditor(cur.selectionEnd()) - editor_->toEditor(cur.selectionStart());
}

void TRichEdit::SetSelStart(int start) {
    QTextCursor cur = editor_->textCursor();
    cur.setPosition(editor_->toDocument(std::max(0, start)));
    editor_->setTextCursor(cur);
}

void TRichEdit::SetSelLength(int length) {
    const int start = SelStart();
    QTextCursor cur = editor_->textCursor();
    cur.setPosition(editor_->toDocument(start));
    cur.setPosition(editor_->toDocument(std::max(start, start + length)), QTextCursor::KeepAnchor);
    editor_->setTextCursor(cur);
}

QString TRichEdit::SelText() const {
    const QTextCursor cur = editor_->textCursor();
    const int s = editor_->toEditor(cur.selectionStart());
    return Text().mid(s, editor_->toEditor(cur.selectionEnd()) - s);
}

void TRichEdit::SetSelText(const QString &text) {
    QTextCursor cur = editor_->textCursor();
    cur.insertText(textcodec::cleanText(textcodec::foldLineEnds(text)));
    editor_->setTextCursor(cur);
}

int TRichEdit::FindText(const QString &text, int start, int length, TSearchTypes options) const {
    if (text.isEmpty() || start < 0 || length <= 0) return -1;
    const Qt::CaseSensitivity cs =
        (options & stMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const int end = std::min(start + length, GetTextLen());
    if (start >= end) return -1;
    const auto isWord = [](const QString &s, qsizetype i) {
        return i >= 0 && i < s.size() &&
               (s.at(i).isLetterOrNumber() || s.at(i) == QLatin1Char('_'));
    };
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) &&
        !(options & stWholeWord)) {
        // Searched in the document's own text, kept up to date piece by piece.
        const int from = editor_->toDocument(start);
        const int to = editor_->toDocument(end);
        for (int at = editor_->findInDocument(text, from, to, cs); at >= 0;
             at = editor_->findInDocument(text, at + 1, to, cs)) {
            const int e = editor_->toEditor(at);
            if (e >= start && e + text.size() <= end) return e;
        }
        return -1;
    }
    const QString &all = Text();
    const QStringView range = QStringView(all).mid(start, end - start);
    for (qsizetype from = 0;;) {
        const qsizetype at = range.indexOf(text, from, cs);
        if (at < 0) return -1;
        if (!(options & stWholeWord) ||
            (!isWord(all, start + at - 1) && !isWord(all, start + at + text.size())))
            return int(start + at);
        from = at + 1;
    }
}

bool TRichEdit::WordWrap() const {
    return editor_->lineWrapMode() != QTextEdit::NoWrap;
}

void TRichEdit::SetWordWrap(bool wrap) {
    editor_->setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    // The view follows the caret as the lines move under it.
    editor_->ensureCursorVisible();
}

void TRichEdit::SetFont(const TFont &font) {
    font_ = font;
    editor_->setFont(ToQFont(font));
    QPalette pal = editor_->palette();
    const QColor color = ToQColor(font.Color, QApplication::palette());
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Text, color);
    }
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, color);
    editor_->setPalette(pal);
}

bool TRichEdit::WantTabs() const {
    return !editor_->tabChangesFocus();
}

LRESULT TRichEdit::WndProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_UNDO) {
        if (!editor_->document()->isUndoAvailable()) return 0;
        editor_->undo();
        return 1;
    }
    return TWinControl::WndProc(message, wparam, lparam);
}

// ---------------------------------------------------------------------------
// TRichEditLines

void TRichEditLines::Clear() {
    RichEditWidget *e = edit_->Editor();
    e->load([e] { e->document()->clear(); });
    e->setModified(false);
    e->setAccessibleName(QStringLiteral("Document"));
}

bool TRichEditLines::LoadFromFile(const QString &fileName) {
    return LoadDocumentFile(edit_->Editor(), fileName);
}

void TRichEditLines::SaveToFile(const QString &fileName) const {
    SaveDocumentFile(edit_->Editor(), edit_->Font().Name, fileName);
}

QString TRichEditLines::Text() const {
    const QString &all = edit_->Text();
    if (edit_->GetTextLen() == 0 && edit_->Editor()->document()->blockCount() == 1)
        return QString();
    return all + QLatin1String("\r\n");
}

int TRichEditLines::Count() const {
    const int n = edit_->Editor()->document()->blockCount();
    return edit_->GetTextLen() == 0 && n == 1 ? 0 : n;
}

QString TRichEditLines::Strings(int index) const {
    QTextBlock b = edit_->Editor()->document()->findBlockByNumber(index);
    return b.isValid() ? b.text() : QString();
}

// ---------------------------------------------------------------------------
// editoraccess

namespace editoraccess {

QTextEdit *Widget(const TRichEdit *edit) {
    return edit->Editor();
}

BlockLayout *Layout(const TRichEdit *edit) {
    return edit->Editor()->blockLayout();
}

rtf::Document Extract(const TRichEdit *edit) {
    return edit->Editor()->extract(0, edit->Editor()->documentLength());
}

int ToDocument(const TRichEdit *edit, int editorPosition) {
    return edit->Editor()->toDocument(editorPosition);
}

int ToEditor(const TRichEdit *edit, int documentPosition) {
    return edit->Editor()->toEditor(documentPosition);
}

} // namespace editoraccess
