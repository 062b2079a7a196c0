// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richeditaccess.h"

#include "core/textcodec.h"
#include "platform/blocklayout.h"
#include "platform/richedit_p.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace {

// The editor's text as assistive technology reads it. The toolkit's own
// interface for a text edit asks each paragraph's layout, which places every
// paragraph at the document's top and knows no line of a paragraph laid out
// in segments; this one asks the editor's layout.
class EditorAccessible : public QAccessibleWidget,
                         public QAccessibleTextInterface,
                         public QAccessibleEditableTextInterface {
public:
    explicit EditorAccessible(RichEditWidget *editor)
        : QAccessibleWidget(editor, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface *>(this);
        if (t == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.selectableText = true;
        s.multiLine = true;
        if (editor()->isReadOnly()) {
            s.readOnly = true;
        } else {
            s.editable = true;
        }
        return s;
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return text(0, characterCount());
        return QAccessibleWidget::text(t);
    }

    // Selection and caret.
    void selection(int index, int *start, int *end) const override {
        const QTextCursor cur = editor()->textCursor();
        *start = *end = 0;
        if (index != 0 || !cur.hasSelection()) return;
        *start = cur.selectionStart();
        *end = cur.selectionEnd();
    }
    int selectionCount() const override { return editor()->textCursor().hasSelection() ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int index) override {
        if (index != 0) return;
        QTextCursor cur = editor()->textCursor();
        cur.clearSelection();
        editor()->setTextCursor(cur);
    }
    void setSelection(int index, int start, int end) override {
        if (index != 0) return;
        QTextCursor cur = editor()->textCursor();
        cur.setPosition(clamped(start));
        cur.setPosition(clamped(end), QTextCursor::KeepAnchor);
        editor()->setTextCursor(cur);
    }
    int cursorPosition() const override { return editor()->textCursor().position(); }
    void setCursorPosition(int position) override {
        QTextCursor cur = editor()->textCursor();
        cur.setPosition(clamped(position));
        editor()->setTextCursor(cur);
    }

    // Text.
    int characterCount() const override { return document()->characterCount() - 1; }
    QString text(int start, int end) const override {
        start = clamped(start);
        end = clamped(end);
        if (end <= start) return QString();
        QTextCursor cur(document());
        cur.setPosition(start);
        cur.setPosition(end, QTextCursor::KeepAnchor);
        QString s = cur.selectedText();
        s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        s.replace(QChar::LineSeparator, QLatin1Char('\n'));
        return s;
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start,
                         int *end) const override {
        return answer(boundaries(clamped(offset), type), start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start,
                             int *end) const override {
        const auto here = boundaries(clamped(offset), type);
        if (here.first <= 0) return answer({0, 0}, start, end);
        return answer(boundaries(here.first - 1, type), start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start,
                            int *end) const override {
        offset = clamped(offset);
        int next = boundaries(offset, type).second;
        const QTextBlock block = document()->findBlock(offset);
        const int blockEnd = block.position() + block.length() - 1;
        if (type == QAccessible::LineBoundary) next = layout()->lineBounds(offset).second;
        // From a paragraph's last line or the paragraph itself, the next
        // begins after its end.
        if ((type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) &&
            next >= blockEnd)
            next = blockEnd + 1;
        if (next >= characterCount() || type == QAccessible::NoBoundary)
            return answer({characterCount(), characterCount()}, start, end);
        return answer(boundaries(next, type), start, end);
    }

    // Where the characters are.
    QRect characterRect(int offset) const override {
        if (offset < 0 || offset > characterCount()) return QRect();
        const QRectF r = layout()->characterRect(offset);
        if (!r.isValid()) return QRect();
        return r.translated(-scroll())
            .translated(editor()->viewport()->mapToGlobal(QPointF(0, 0)))
            .toAlignedRect();
    }
    int offsetAtPoint(const QPoint &point) const override {
        const QPointF p = QPointF(editor()->viewport()->mapFromGlobal(point)) + scroll();
        return layout()->hitTest(p, Qt::ExactHit);
    }
    void scrollToSubstring(int start, int end) override {
        RichEditWidget *e = editor();
        const QSizeF screen(e->viewport()->size());
        QRectF r = layout()->settledCaretRect(clamped(start), screen);
        r = r.united(layout()->caretRect(clamped(end)));
        const QRectF seen(scroll(), screen);
        if (r.bottom() > seen.bottom())
            e->verticalScrollBar()->setValue(int(r.bottom() - screen.height()));
        if (r.top() < seen.top() || r.height() > screen.height())
            e->verticalScrollBar()->setValue(int(r.top()));
        if (r.left() < seen.left() || r.right() > seen.right())
            e->horizontalScrollBar()->setValue(int(std::max(0.0, r.left() - screen.width() / 2)));
    }

    QString attributes(int offset, int *start, int *end) const override {
        if (offset == -2) offset = cursorPosition();
        const int count = characterCount();
        if (offset == -1 || offset == count) offset = count - 1;
        if (offset < 0 || offset > count) {
            *start = *end = -1;
            return QString();
        }
        const QTextBlock block = document()->findBlock(offset);
        QTextCharFormat format = block.charFormat();
        *start = block.position();
        *end = block.position() + block.length();
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.contains(offset)) {
                format = f.charFormat();
                *start = f.position();
                *end = f.position() + f.length();
                break;
            }
        }
        const QFont font = format.font().resolve(document()->defaultFont());
        QString family = font.family();
        for (const char *special : {"\\", ":", ",", "=", ";", "\""})
            family.replace(QLatin1String(special), QLatin1String("\\") + QLatin1String(special));
        QString out = QStringLiteral("font-family:\"%1\";").arg(family);
        if (font.pointSizeF() > 0) out += QStringLiteral("font-size:%1pt;").arg(font.pointSizeF());
        out += QStringLiteral("font-style:%1;").arg(font.italic() ? "italic" : "normal");
        out += QStringLiteral("font-weight:%1;").arg(font.bold() ? "bold" : "normal");
        if (font.underline()) out += QStringLiteral("text-underline-style:solid;");
        if (format.foreground().style() == Qt::SolidPattern) {
            const QColor c = format.foreground().color();
            out += QStringLiteral("color:rgb(%1,%2,%3);").arg(c.red()).arg(c.green()).arg(c.blue());
        }
        return out;
    }

    // Editing, as a paste of plain text.
    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString &text) override {
        if (editor()->isReadOnly()) return;
        QTextCursor cur(document());
        cur.setPosition(clamped(start));
        cur.setPosition(clamped(end), QTextCursor::KeepAnchor);
        cur.insertText(textcodec::cleanText(textcodec::foldLineEnds(text)));
    }

private:
    RichEditWidget *editor() const { return static_cast<RichEditWidget *>(widget()); }
    QTextDocument *document() const { return editor()->document(); }
    BlockLayout *layout() const { return editor()->blockLayout(); }
    QPointF scroll() const {
        return QPointF(editor()->horizontalScrollBar()->value(),
                       editor()->verticalScrollBar()->value());
    }
    int clamped(int offset) const { return std::clamp(offset, 0, characterCount()); }

    QString answer(std::pair<int, int> range, int *start, int *end) const {
        *start = range.first;
        *end = range.second;
        return text(range.first, range.second);
    }

    // A stretch of the text read a character at a time: a cursor's selection
    // inside a long paragraph would have the toolkit analyse all of it.
    QString piece(int from, int to) const {
        QString s(std::max(0, to - from), Qt::Uninitialized);
        for (int k = from; k < to; ++k)
            s[k - from] = document()->characterAt(k);
        return s;
    }

    std::pair<int, int> boundaries(int offset, QAccessible::TextBoundaryType type) const {
        const int count = characterCount();
        const QTextBlock block = document()->findBlock(offset);
        const int bs = block.position(), be = bs + block.length() - 1;
        switch (type) {
        case QAccessible::CharBoundary: {
            if (offset >= count) return {count, count};
            const bool pair = document()->characterAt(offset).isHighSurrogate() &&
                              document()->characterAt(offset + 1).isLowSurrogate();
            return {offset, offset + (pair ? 2 : 1)};
        }
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary: {
            // Words and sentences within reach of the offset.
            const bool word = type == QAccessible::WordBoundary;
            const int reach = word ? 256 : 4096;
            const int from = std::max(bs, offset - reach), to = std::min(be, offset + reach);
            const QString text = piece(from, to);
            QTextBoundaryFinder finder(
                word ? QTextBoundaryFinder::Word : QTextBoundaryFinder::Sentence, text);
            finder.setPosition(offset - from);
            qsizetype start = finder.isAtBoundary() ? offset - from : finder.toPreviousBoundary();
            finder.setPosition(offset - from);
            qsizetype end = finder.toNextBoundary();
            if (start < 0) start = 0;
            if (end < 0) end = text.size();
            return {from + int(start), from + int(end)};
        }
        case QAccessible::LineBoundary: {
            // The visual line, without the space it broke at (as the
            // toolkit's end of line).
            auto [start, end] = layout()->lineBounds(offset);
            if (end > start && end < be && document()->characterAt(end - 1).isSpace()) --end;
            return {start, end};
        }
        case QAccessible::ParagraphBoundary:
            return {bs, be};
        case QAccessible::NoBoundary:
            break;
        }
        return {0, count};
    }
};

QAccessibleInterface *editorInterface(const QString &, QObject *object) {
    if (auto *editor = dynamic_cast<RichEditWidget *>(object)) return new EditorAccessible(editor);
    return nullptr;
}

} // namespace

void installEditorAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(editorInterface);
}
