// SPDX-License-Identifier: GPL-3.0-or-later
// The editor widget behind TRichEdit.
#pragma once

#include "core/positions.h"
#include "core/rtf.h"
#include "core/searchtext.h"

#include <QTextEdit>
#include <QTimer>

class TRichEdit;
class BlockLayout;

class RichEditWidget : public QTextEdit {
public:
    explicit RichEditWidget(TRichEdit *owner);

    int toEditor(int q) const;
    int toDocument(int e) const;
    int documentLength() const;
    int editorLength() const;
    // The whole text with CR LF breaks; built once per change of the text.
    const QString &crlfText() const;
    // The first match within document positions [from, to), or -1.
    int findInDocument(const QString &text, int from, int to, Qt::CaseSensitivity cs);

    // The rich text between two document positions, every format resolved
    // against the editor's font.
    rtf::Document extract(int from, int to) const;

    // Replaces the whole content without touching the modified flag or leaving
    // anything to undo. `plain`: what `fill` puts in holds no line separator
    // (U+2028), so the new text need not be searched for them.
    void load(const std::function<void()> &fill, bool plain = false);

    // Set by any change of the text but a load; cleared by Open and Save As.
    bool isModified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }
    BlockLayout *blockLayout() const { return layout_; }

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void onContentsChange(int pos, int removed, int added);
    bool newListItem(QKeyEvent *e);
    bool typeIntoLongParagraph(QKeyEvent *e);
    // Text typed over cells selected: they are emptied, the text goes into
    // the first of them (the toolkit would put it into the last).
    bool typeOverCells(QKeyEvent *e);
    // Shift and an arrow key among selected cells, a row or a column at a time.
    bool extendCellSelection(QKeyEvent *e);
    // Up, Down, Page Up, Page Down, Home and End (with Shift too) by visual
    // line and by screen where a long paragraph is involved.
    bool moveInLongParagraph(QKeyEvent *e);
    void composeInLongParagraph(QInputMethodEvent *e, const QString &commit);
    void showCaretInLongParagraph();
    // Scrolls the least that shows `caret` (document coordinates).
    void scrollToShow(const QRectF &caret);
    // The toolkit scrolls to the caret where the rows above it were only
    // estimated: once those around it are laid out, it may stand elsewhere.
    void keepCaretInView();
    void tellFocus(QFocusEvent *e, bool in);

    TRichEdit *owner_;
    BlockLayout *layout_ = nullptr;
    QObject *textControl_ = nullptr; // the toolkit's text control inside
    QTimer blink_;                   // the caret's blink in a long paragraph
    double goalX_ = 0;               // the column Up and Down keep
    int goalFrom_ = -1;              // where the last move up or down left the caret
    SeparatorIndex separators_;
    PositionMap map_;
    bool controlFocus_ = false; // what the toolkit was last told of the focus
    bool modified_ = false;
    bool loading_ = false;
    bool loadingPlain_ = false;
    mutable QString cache_;
    TextCache searchText_;
    mutable bool cacheValid_ = false;
};
