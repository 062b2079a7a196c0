// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's document layout against the toolkit's own on the same
// documents: line breaks, caret rectangles, hit testing, alignment and
// indents as painted, the scroll range after edits, long paragraphs in
// segments, and printing.
#include "core/rtf.h"
#include "helpers.h"
#include "platform/blocklayout.h"
#include "platform/editoraccess.h"
#include "platform/listformat.h"
#include "platform/printing.h"
#include "platform/progress.h"
#include "platform/tableformat.h"

#include <QAccessible>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextTable>

using namespace testing;

namespace {
QTextEdit *editorOf(TForm1 *form) {
    return editoraccess::Widget(form->RichEdit1);
}
BlockLayout *layoutOf(TForm1 *form) {
    return editoraccess::Layout(form->RichEdit1);
}

// Paragraphs with every format the reader and the font dialog produce.
rtf::Document formattedDocument() {
    rtf::Document doc;
    doc.paragraphs.clear();
    const QString words = QStringLiteral(
        "Madame, nous avons bien reçu votre lettre du douze et vous en remercions vivement. ");
    const rtf::Align aligns[] = {rtf::Align::Left, rtf::Align::Center, rtf::Align::Right,
                                 rtf::Align::Justify};
    for (int i = 0; i < 12; ++i) {
        rtf::Paragraph p;
        p.format.align = aligns[i % 4];
        p.format.leftIndent = (i % 3) * 360;
        p.format.rightIndent = (i % 2) * 720;
        p.format.firstIndent = i % 5 == 0 ? 480 : 0;
        p.format.spaceBefore = (i % 3) * 120;
        p.format.spaceAfter = (i % 2) * 240;
        // Line spacing: double, exactly 20 points, at least 30 points.
        p.format.lineSpacing = i == 3 ? 480 : i == 8 ? -400 : i == 10 ? 600 : 0;
        p.format.lineMultiple = i == 3;
        rtf::CharFormat c;
        c.halfPoints = 20 + 4 * (i % 3);
        c.bold = i % 2;
        QString text = words.repeated(1 + i % 4);
        if (i == 6) text.insert(20, QChar(0x2028)); // a line break inside the paragraph
        if (i == 7) text = QStringLiteral("Nom\tPrénom\tVille");
        p.runs.push_back(rtf::Run{c, text});
        doc.paragraphs.push_back(p);
    }
    return doc;
}

void load(TForm1 *form, const QByteArray &rtfBytes, QTemporaryDir &dir) {
    const QString file = dir.filePath(QStringLiteral("doc.rtf"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(rtfBytes);
    out.close();
    form->RichEdit1->Lines->LoadFromFile(file);
}

// What the window shows of a widget now: its backing store, not a fresh paint
// (which grab() would make), so that a part left unpainted shows.
QImage shown(QWidget *w) {
    QWidget *top = w->window();
    const QPoint at = w->mapTo(top, QPoint(0, 0));
    return top->screen()
        ->grabWindow(top->winId(), at.x(), at.y(), w->width(), w->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Shows a document from top to bottom a screen at a time, so that long
// paragraphs are laid out from their start.
void scrollThrough(QTextEdit *editor) {
    QScrollBar *bar = editor->verticalScrollBar();
    for (int v = 0; v <= bar->maximum(); v += std::max(1, bar->pageStep())) {
        bar->setValue(v);
        editor->viewport()->repaint();
        QApplication::processEvents();
    }
}

// The columns holding ink in a band of rows of an image.
QPair<int, int> inkColumns(const QImage &image, int top, int bottom) {
    int left = image.width(), right = -1;
    for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return {left, right};
}
// A table of rows x columns at the end of the editor's text, each cell of a
// defined row given its definition by `def` (none: cells without definition).
QTextTable *appendTable(QTextEdit *editor, int rows, int columns,
                        const std::function<rtf::CellDef(int, int)> &def = {},
                        const rtf::RowDef &rowDef = {}) {
    QTextCursor cur(editor->document());
    cur.movePosition(QTextCursor::End);
    cur.beginEditBlock();
    QTextTable *table = cur.insertTable(rows, columns);
    if (def) {
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                QTextTableCellFormat f = cell.format().toTableCellFormat();
                qtrich::setCellDef(f, def(r, c));
                if (c == 0) qtrich::setRowDef(f, rowDef);
                cell.setFormat(f);
            }
        }
    }
    cur.endEditBlock();
    QApplication::processEvents();
    return table;
}

void typeInto(QTextEdit *editor, const QTextTableCell &cell, const QString &text) {
    editor->setTextCursor(cell.lastCursorPosition());
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QString(c), {});
    QApplication::processEvents();
}

rtf::Border line(int width, std::int32_t color = rtf::NoColor) {
    return rtf::Border{rtf::BorderStyle::Single, width, color};
}

// A bare toolkit editor showing a copy of our document, at our editor's size
// and font, to compare with what our layout does; true once it is shown.
bool showLikeOurs(QTextEdit &reference, const QTextEdit *ours) {
    reference.setDocument(ours->document()->clone(&reference));
    reference.setFont(ours->font());
    reference.setFixedSize(ours->size());
    reference.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reference.show();
    return QTest::qWaitForWindowExposed(&reference);
}
} // namespace

class TestDocLayout : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { QCOMPARE(missed, 0); }

    // Sums and searches agree with a plain walk, through updates.
    void extentTreeSumsAndFinds() {
        QRandomGenerator random(7);
        for (int n : {1, 2, 7, 64, 1000}) {
            std::vector<double> values(static_cast<size_t>(n));
            for (double &v : values)
                v = random.bounded(40) + 1;
            ExtentTree tree;
            tree.assign(values);
            for (int round = 0; round < 3; ++round) {
                double sum = 0;
                for (int i = 0; i < n; ++i) {
                    QCOMPARE(tree.prefix(size_t(i)), sum);
                    QCOMPARE(tree.find(sum), size_t(i));
                    QCOMPARE(tree.find(sum + values[size_t(i)] - 0.5), size_t(i));
                    sum += values[size_t(i)];
                }
                QCOMPARE(tree.total(), sum);
                QCOMPARE(tree.find(sum + 100), size_t(n - 1));
                const size_t at = size_t(random.bounded(n));
                values[at] = random.bounded(40) + 1;
                tree.set(at, values[at]);
            }
        }
    }

    // Same widget width, same document: the same lines, and the caret at
    // the same column, as the toolkit's own layout puts them. Hit testing
    // the caret's place gives the position back.
    void linesAndCaretsAsTheToolkitLaysThemOut() {
        FormFixture f;
        f.show();
        QTemporaryDir dir;
        load(f.form, rtf::write(formattedDocument()), dir);
        QTextEdit *ours = editorOf(f.form);
        QTextEdit reference;
        QVERIFY(showLikeOurs(reference, ours));
        QCOMPARE(reference.viewport()->width(), ours->viewport()->width());
        QTextDocument *theirs = reference.document();
        QVERIFY(theirs->documentLayout() != ours->document()->documentLayout());

        BlockLayout *layout = layoutOf(f.form);
        QTextBlock a = ours->document()->begin(), b = theirs->begin();
        for (; a.isValid() && b.isValid(); a = a.next(), b = b.next()) {
            const QRectF ra = layout->blockBoundingRect(a);
            theirs->documentLayout()->blockBoundingRect(b);
            QCOMPARE(a.layout()->lineCount(), b.layout()->lineCount());
            // Each line as far below the first as the toolkit puts it, line
            // spacing included (the toolkit lets the space between paragraphs
            // overlap, so that the first lines may differ).
            for (int i = 1; i < a.layout()->lineCount(); ++i) {
                const double ya = a.layout()->lineAt(i).y() - a.layout()->lineAt(0).y();
                const double yb = b.layout()->lineAt(i).y() - b.layout()->lineAt(0).y();
                QVERIFY2(std::abs(ya - yb) <= 1,
                         qPrintable(QStringLiteral("block %1 line %2: y %3, toolkit %4")
                                        .arg(a.blockNumber())
                                        .arg(i)
                                        .arg(ya)
                                        .arg(yb)));
            }
            for (int pos = a.position(); pos < a.position() + a.length(); pos += 7) {
                QTextCursor ca(ours->document()), cb(theirs);
                ca.setPosition(pos);
                cb.setPosition(pos);
                const QRect xa = ours->cursorRect(ca), xb = reference.cursorRect(cb);
                QVERIFY2(std::abs(xa.x() - xb.x()) <= 1,
                         qPrintable(QStringLiteral("block %1 pos %2: x %3, toolkit %4")
                                        .arg(a.blockNumber())
                                        .arg(pos)
                                        .arg(xa.x())
                                        .arg(xb.x())));
                QCOMPARE(xa.height(), xb.height());
                const QRectF caret = layout->caretRect(pos);
                QVERIFY(std::abs(caret.x() - (xa.x() + ours->horizontalScrollBar()->value())) <= 1);
                QCOMPARE(layout->hitTest(caret.center(), Qt::FuzzyHit), pos);
            }
            QVERIFY(ra.height() > 0);
        }
        QVERIFY(!a.isValid() && !b.isValid());
    }

    // Alignment and indents as painted: a centred line's ink is centred, a
    // right-aligned one ends at the right edge, an indented one starts after
    // its indent.
    void alignmentAndIndentsAsPainted() {
        FormFixture f;
        f.show();
        rtf::Document doc;
        doc.paragraphs.clear();
        const std::pair<rtf::Align, int> cases[] = {{rtf::Align::Left, 0},
                                                    {rtf::Align::Center, 0},
                                                    {rtf::Align::Right, 0},
                                                    {rtf::Align::Left, 1440}};
        for (const auto &[align, indent] : cases) {
            rtf::Paragraph p;
            p.format.align = align;
            p.format.leftIndent = indent;
            p.runs.push_back(rtf::Run{rtf::CharFormat{}, QStringLiteral("MMMMMMMMMM")});
            doc.paragraphs.push_back(p);
        }
        QTemporaryDir dir;
        load(f.form, rtf::write(doc), dir);
        QTextEdit *editor = editorOf(f.form);
        editor->moveCursor(QTextCursor::End);
        editor->clearFocus(); // no caret in the picture
        QTest::qWait(20);
        const QImage image = editor->viewport()->grab().toImage();
        const int width = editor->viewport()->width();
        BlockLayout *layout = layoutOf(f.form);
        QTextBlock b = editor->document()->begin();
        QList<QPair<int, int>> ink;
        for (; b.isValid(); b = b.next()) {
            const QRectF r = layout->blockBoundingRect(b);
            ink << inkColumns(image, int(r.top()) + 2, int(r.bottom()) - 2);
        }
        QCOMPARE(ink.size(), 4);
        const int textWidth = ink[0].second - ink[0].first;
        QVERIFY(ink[0].first < 12);                                             // left
        QVERIFY(std::abs((ink[1].first + ink[1].second) / 2 - width / 2) <= 6); // centred
        QVERIFY(width - ink[2].second < 14);                                    // right
        QVERIFY(std::abs(ink[3].first - ink[0].first - 96) <= 2);               // one inch in
        for (const auto &i : ink)
            QVERIFY(std::abs((i.second - i.first) - textWidth) <= 2);
    }

    // List items: the marker painted at the first line's indent and the text
    // after it; after edits that number the items anew, the same picture as
    // the same document opened afresh; Save As and Open keep the markers, and
    // printing prints them.
    void listsPaintedEditedAndPrinted() {
        FormFixture f;
        f.show();
        rtf::Document doc;
        doc.paragraphs.clear();
        const auto add = [&](const QString &text, rtf::ListItem list, int left, int first) {
            rtf::Paragraph p;
            p.format.spaceAfter = 120;
            p.format.leftIndent = left;
            p.format.firstIndent = first;
            p.list = std::move(list);
            p.runs.push_back(rtf::Run{rtf::CharFormat{}, text});
            doc.paragraphs.push_back(p);
        };
        rtf::ListItem numbered{1, 0, rtf::ListStyle::Decimal, {}, QStringLiteral("."), 1, 1};
        add(QStringLiteral("Avant"), {}, 0, 0);
        for (const QString &w :
             {QStringLiteral("un"), QStringLiteral("deux"), QStringLiteral("trois")}) {
            add(w, numbered, 1440, -720);
            ++numbered.number;
        }
        add(QStringLiteral("puce"), {2, 0, rtf::ListStyle::Bullet, QStringLiteral("•"), {}, 1, 1},
            0, 0);
        QTemporaryDir dir;
        load(f.form, rtf::write(doc), dir);
        QTextEdit *editor = editorOf(f.form);
        editor->clearFocus();
        QTest::qWait(20);
        BlockLayout *layout = layoutOf(f.form);
        const double margin = editor->document()->documentMargin();
        const auto saved = [&] {
            f.form->RichEdit1->SelectAll();
            f.form->RichEdit1->CopyToClipboard();
            return QApplication::clipboard()->text();
        };
        QCOMPARE(saved(), QStringLiteral("Avant\n1.\tun\n2.\tdeux\n3.\ttrois\n•\tpuce"));
        QCOMPARE(f.form->RichEdit1->Text(), QStringLiteral("Avant\r\nun\r\ndeux\r\ntrois\r\npuce"));

        // Marker half an inch in, text one inch in; without indents the text
        // follows the marker.
        const QImage image = shown(editor->viewport());
        QTextBlock item = editor->document()->findBlockByNumber(1);
        const QRectF r = layout->blockBoundingRect(item);
        QVERIFY(std::abs(inkColumns(image, int(r.top()) + 2, int(r.bottom()) - 2).first -
                         int(margin + 48)) <= 2);
        QVERIFY(std::abs(editor->cursorRect(QTextCursor(item)).x() - int(margin + 96)) <= 2);
        const QTextBlock bullet = editor->document()->lastBlock();
        const QRectF rb = layout->blockBoundingRect(bullet);
        const auto bulletInk = inkColumns(image, int(rb.top()) + 2, int(rb.bottom()) - 2);
        QVERIFY(bulletInk.first <= int(margin) + 2);
        QVERIFY(editor->cursorRect(QTextCursor(bullet)).x() > bulletInk.first + 6);

        // A new item after "un": those below are numbered anew, on screen too.
        QTextCursor cur(item);
        cur.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(cur);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("x"));
        // The text Save writes is `text`; saved as RTF and opened again, the
        // document has that text and looks the same.
        const QString file = dir.filePath(QStringLiteral("liste.rtf"));
        const auto sameWhenOpenedAgain = [&](const QString &text) {
            QCOMPARE(saved(), text);
            editor->clearFocus();
            QTest::qWait(20);
            const QImage before = shown(editor->viewport());
            f.form->RichEdit1->Lines->SaveToFile(file);
            f.form->RichEdit1->Lines->LoadFromFile(file);
            QCOMPARE(saved(), text);
            editor->clearFocus();
            QTest::qWait(20);
            QCOMPARE(shown(editor->viewport()), before);
        };
        sameWhenOpenedAgain(QStringLiteral("Avant\n1.\tun\n2.\tx\n3.\tdeux\n4.\ttrois\n•\tpuce"));

        // Backspace at an item's start takes it out of its list.
        editor->setFocus();
        QTextCursor second(editor->document()->findBlockByNumber(2));
        editor->setTextCursor(second);
        QTest::keyClick(editor, Qt::Key_Backspace);
        sameWhenOpenedAgain(QStringLiteral("Avant\n1.\tun\nx\n2.\tdeux\n3.\ttrois\n•\tpuce"));

        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QPrinter &printer = CurrentPrinter();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("liste.pdf")));
        f.form->RichEdit1->Print(QString());
        QProcess p;
        p.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-layout"), dir.filePath(QStringLiteral("liste.pdf")),
                 QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        const QString printed = QString::fromUtf8(p.readAllStandardOutput()).simplified();
        // (and the page's number at its foot)
        QCOMPARE(printed, QStringLiteral("Avant 1. un x 2. deux 3. trois • puce 1"));
        // Markers, text and indents stand in print where the screen shows
        // them: their distances from a paragraph without indents, pixels at
        // 96 to the inch on screen, points at 72 in the PDF.
        p.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), dir.filePath(QStringLiteral("liste.pdf")),
                 QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        QHash<QString, double> inPrint;
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
        for (const auto &m : word.globalMatch(QString::fromUtf8(p.readAllStandardOutput())))
            inPrint.insert(m.captured(2), m.captured(1).toDouble());
        editor->clearFocus();
        QTest::qWait(20);
        const QImage screen = shown(editor->viewport());
        const auto markerInk = [&](int n) {
            const QRectF rect = layout->blockBoundingRect(editor->document()->findBlockByNumber(n));
            return inkColumns(screen, int(rect.top()) + 2, int(rect.bottom()) - 2).first;
        };
        const auto textAt = [&](int n) {
            return editor->cursorRect(QTextCursor(editor->document()->findBlockByNumber(n))).x();
        };
        const int left = textAt(0);
        const struct {
            QString word;
            int onScreen;
        } placed[] = {{QStringLiteral("1."), markerInk(1)}, {QStringLiteral("un"), textAt(1)},
                      {QStringLiteral("trois"), textAt(4)}, {QStringLiteral("•"), markerInk(5)},
                      {QStringLiteral("puce"), textAt(5)},  {QStringLiteral("x"), textAt(2)}};
        for (const auto &[w, onScreen] : placed) {
            QVERIFY2(inPrint.contains(w), qPrintable(w));
            const double printed96 = (inPrint[w] - inPrint[QStringLiteral("Avant")]) * 96 / 72;
            QVERIFY2(std::abs(printed96 - (onScreen - left)) <= 3,
                     qPrintable(QStringLiteral("%1: %2 on screen, %3 in print")
                                    .arg(w)
                                    .arg(onScreen - left)
                                    .arg(printed96)));
        }

        // Return twice after the last item: a new item, then the list's end.
        // The paragraphs keep their space after them.
        const QTextBlock trois = editor->document()->findBlockByNumber(4);
        QCOMPARE(trois.text(), QStringLiteral("trois"));
        QTextCursor end(trois);
        end.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(end);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(qtrich::listMarker(editor->textCursor().block()), QStringLiteral("4."));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("fin"));
        QCOMPARE(saved(), QStringLiteral("Avant\n1.\tun\nx\n2.\tdeux\n3.\ttrois\nfin\n•\tpuce"));
        for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next())
            QCOMPARE(b.blockFormat().bottomMargin(), 8.0);
    }

    // A list as a word processor writes it: no space between the items, the
    // space after the list on its last item. Return at the end of the last
    // item keeps the spacing where it was, on screen too, and Return again in
    // the empty item gives it back.
    void returnAfterLastItemKeepsListSpacing() {
        FormFixture f;
        f.show();
        QTemporaryDir dir;
        load(f.form,
             "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Liberation Serif;}}\n"
             "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23\\levelnfcn23"
             "\\leveljc0\\levelstartat1\\levelfollow0{\\leveltext \\'01\\u8226 ?;}{\\levelnumbers;}"
             "\\fi-360\\li720}\\listid1}}\n"
             "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}\n"
             "\\pard\\plain\\sb240\\sa120 Ingr\\'e9dients :\\par\n"
             "\\pard\\plain\\ls1\\ilvl0\\li720\\fi-360\\sb0\\sa0{\\listtext\\'95\\tab}Farine\\par\n"
             "\\pard\\plain\\ls1\\ilvl0\\li720\\fi-360\\sb0\\sa0{\\listtext\\'95\\tab}Lait\\par\n"
             "\\pard\\plain\\ls1\\ilvl0\\li720\\fi-360\\sb0\\sa240{\\listtext\\'95\\tab}P\\'e2tes"
             "\\par\n"
             "\\pard\\plain\\sb0\\sa120 \\'c9tapes \\'e0 suivre :\\par\n}",
             dir);
        QTextEdit *editor = editorOf(f.form);
        QTextDocument *doc = editor->document();
        const auto top = [&](int n) {
            return editor->cursorRect(QTextCursor(doc->findBlockByNumber(n))).top();
        };
        QApplication::processEvents();
        const int between = top(2) - top(1), after = top(4) - top(3);
        QVERIFY(after - between >= 14); // 240 twips are 16 pixels
        QTextCursor end(doc->findBlockByNumber(3));
        end.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(end);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("Beurre doux"));
        QCOMPARE(qtrich::listMarker(doc->findBlockByNumber(4)), QStringLiteral("•"));
        QApplication::processEvents();
        QCOMPARE(top(4) - top(3), between);
        QCOMPARE(top(5) - top(4), after);
        QCOMPARE(doc->findBlockByNumber(5).text(), QStringLiteral("Étapes à suivre :"));
        // Return in the empty item after it ends the list where it was.
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        QVERIFY(!doc->findBlockByNumber(5).textList());
        QCOMPARE(top(5) - top(4), after);
        // Saved and opened again, the spacing stays.
        const QString file = dir.filePath(QStringLiteral("recette.rtf"));
        f.form->RichEdit1->Lines->SaveToFile(file);
        f.form->RichEdit1->Lines->LoadFromFile(file);
        QApplication::processEvents();
        QCOMPARE(top(4) - top(3), between);
        QCOMPARE(top(5) - top(4), after);
    }

    // The scroll range follows edits: paragraphs added and removed anywhere,
    // and the laid-out height is the toolkit's for plain lines.
    void scrollRangeFollowsEdits() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines << QStringLiteral("ligne %1").arg(i);
        f.form->RichEdit1->SetText(lines.join(QLatin1Char('\n')));
        QApplication::processEvents();
        BlockLayout *layout = layoutOf(f.form);
        const double line = layout->blockBoundingRect(editor->document()->begin()).height();
        const auto height = [&] { return layout->documentSize().height(); };
        const double before = height();
        QVERIFY(std::abs(before - (3000 * line + 2 * editor->document()->documentMargin())) < 1);
        // 500 paragraphs more in the middle, then 1000 fewer near the start.
        QTextCursor cur(editor->document());
        cur.setPosition(editor->document()->findBlockByNumber(1500).position());
        cur.insertText(QStringLiteral("nouvelle\n").repeated(500));
        QApplication::processEvents();
        QVERIFY(std::abs(height() - (before + 500 * line)) < 1);
        cur.setPosition(editor->document()->findBlockByNumber(10).position());
        cur.setPosition(editor->document()->findBlockByNumber(1010).position(),
                        QTextCursor::KeepAnchor);
        cur.removeSelectedText();
        QApplication::processEvents();
        QVERIFY(std::abs(height() - (before - 500 * line)) < 1);
        QCOMPARE(editor->verticalScrollBar()->maximum(),
                 int(std::ceil(height())) - editor->viewport()->height());
        // The last paragraph is where the sum says, and shows there.
        editor->moveCursor(QTextCursor::End);
        QApplication::processEvents();
        const QRectF last = layout->blockBoundingRect(editor->document()->lastBlock());
        QVERIFY(std::abs(last.bottom() + editor->document()->documentMargin() - height()) < 1);
        QVERIFY(editor->cursorRect().bottom() <= editor->viewport()->height());
        QVERIFY(editor->cursorRect().top() >= 0);
        // Against the toolkit on the same text.
        QTextDocument plain;
        plain.setDefaultFont(editor->document()->defaultFont());
        plain.setPlainText(editor->toPlainText());
        plain.setTextWidth(editor->document()->textWidth());
        QVERIFY(std::abs(plain.size().height() - height()) < 2);
        QVERIFY(layout->laidOutBlocks() < 200); // only what was shown
    }

    // A paragraph of a million characters is laid out in segments: typing
    // at its end, Backspace and Delete, the caret in view, a click giving
    // the position under it.
    void longParagraphInSegments() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        TRichEdit *edit = f.form->RichEdit1;
        const QString word = QStringLiteral("abcdefghi ");
        edit->SetText(QStringLiteral("début\n") + word.repeated(100000) + QStringLiteral("\nfin"));
        QApplication::processEvents();
        BlockLayout *layout = layoutOf(f.form);
        const QTextBlock giant = editor->document()->findBlockByNumber(1);
        QVERIFY(layout->isSegmented(giant));
        QVERIFY(!layout->isSegmented(editor->document()->begin()));
        for (bool wrap : {true, false}) {
            edit->SetWordWrap(wrap);
            QApplication::processEvents();
            QTextCursor cur(editor->document());
            cur.setPosition(giant.position() + giant.length() - 1);
            editor->setTextCursor(cur);
            editor->setFocus();
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QStringLiteral("Z"), {});
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QStringLiteral("\U0001F600"),
                                {});
            QTest::keyClick(editor, Qt::Key_Backspace); // both halves of the pair
            QApplication::processEvents();
            QCOMPARE(edit->Text().right(8), QStringLiteral("i Z\r\nfin"));
            const QRectF caret = layout->caretRect(editor->textCursor().position());
            const QRect seen = editor->viewport()->rect().translated(
                editor->horizontalScrollBar()->value(), editor->verticalScrollBar()->value());
            QVERIFY2(
                seen.contains(caret.center().toPoint()),
                qPrintable(QStringLiteral("caret at %1,%2, view from %3,%4 (max %5), height %6")
                               .arg(caret.center().x())
                               .arg(caret.center().y())
                               .arg(seen.x())
                               .arg(seen.y())
                               .arg(editor->verticalScrollBar()->maximum())
                               .arg(layout->documentSize().height())));
            QCOMPARE(layout->hitTest(caret.center(), Qt::FuzzyHit),
                     editor->textCursor().position());
            QTest::keyClick(editor, Qt::Key_Backspace);
            QVERIFY(edit->Text().endsWith(QStringLiteral("i \r\nfin")));
            // In the middle: Delete takes the character after the caret.
            cur.setPosition(giant.position() + 500000);
            editor->setTextCursor(cur);
            QTest::keyClick(editor, Qt::Key_Delete);
            const int at = 7 + 500000 - 1; // in the text with CR LF, the space before
            QCOMPARE(edit->Text().mid(at, 3), QStringLiteral(" bc"));
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QStringLiteral("a"), {});
            QCOMPARE(edit->Text().mid(at, 3), QStringLiteral(" ab"));
            QCOMPARE(edit->Text().size(), 7 + word.size() * 100000 + 5);
            // Undo takes back the last edit.
            f.form->Dfaire1->Click();
            QCOMPARE(edit->Text().mid(at, 3), QStringLiteral(" bc"));
            edit->SetText(QStringLiteral("début\n") + word.repeated(100000) +
                          QStringLiteral("\nfin"));
        }
        // Laid out from the top, the segments break lines where one layout of
        // the whole paragraph would: no short line at a cut.
        edit->SetWordWrap(true);
        editor->moveCursor(QTextCursor::Start);
        QApplication::processEvents();
        {
            const QTextBlock g = editor->document()->findBlockByNumber(1);
            const int n = 3 * BlockLayout::SegmentLength;
            QTextLayout whole(g.text().left(n + 2000), editor->document()->defaultFont());
            QTextOption option = editor->document()->defaultTextOption();
            whole.setTextOption(option);
            whole.beginLayout();
            const double width =
                editor->document()->textWidth() - 2 * editor->document()->documentMargin();
            QList<int> starts;
            for (QTextLine line = whole.createLine(); line.isValid(); line = whole.createLine()) {
                line.setLineWidth(width);
                if (line.textStart() < n) starts << line.textStart();
            }
            whole.endLayout();
            QVERIFY(starts.size() > 20);
            double previousY = -1;
            for (int start : starts) {
                const QRectF at = layout->caretRect(g.position() + start);
                QVERIFY2(
                    std::abs(at.x() - editor->document()->documentMargin()) < 1,
                    qPrintable(QStringLiteral("line at %1 starts at x %2").arg(start).arg(at.x())));
                QVERIFY(at.y() > previousY); // one line each
                previousY = at.y();
            }
        }
        // The height of the wrapped paragraph is its lines', once shown.
        edit->SetWordWrap(true);
        editor->moveCursor(QTextCursor::End);
        QApplication::processEvents();
        QVERIFY(layout->documentSize().height() >
                1000 * layout->blockBoundingRect(editor->document()->begin()).height());
    }

    // A picture in a paragraph laid out in segments takes its room and is
    // drawn there, wrapping or not; the caret steps over it as one position.
    void pictureInLongParagraph() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        BlockLayout *layout = layoutOf(f.form);
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(QColor(255, 0, 0));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        const QByteArray words = QByteArray("abcdefghi ").repeated(4000);
        QTemporaryDir dir;
        load(f.form,
             "{\\rtf1\\ansi " + words.left(100) + "{\\pict\\pngblip\\picwgoal600\\pichgoal450 " +
                 png.toHex() + "}" + words + "}",
             dir);
        const QTextBlock giant = editor->document()->begin();
        QVERIFY(layout->isSegmented(giant));
        const int at = giant.position() + 100;
        QVERIFY(editor->document()->characterAt(at) == QChar::ObjectReplacementCharacter);
        for (bool wrap : {true, false}) {
            f.form->RichEdit1->SetWordWrap(wrap);
            QApplication::processEvents();
            editor->moveCursor(QTextCursor::Start);
            QTextCursor cur(editor->document());
            cur.setPosition(at + 1); // the view follows the caret
            editor->setTextCursor(cur);
            QApplication::processEvents();
            editor->viewport()->repaint();
            const QImage image = shown(editor->viewport());
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    count += image.pixel(x, y) == qRgb(255, 0, 0);
            QVERIFY2(count >= 40 * 30 - 2 * (40 + 30) && count <= 40 * 30,
                     qPrintable(QString::number(count)));
            const QRectF before = layout->caretRect(at), after = layout->caretRect(at + 1);
            QVERIFY2(std::abs(after.x() - before.x() - 40) < 1.5,
                     qPrintable(QStringLiteral("%1 %2").arg(before.x()).arg(after.x())));
            QVERIFY(layout->blockBoundingRect(giant).height() > 0);
            QCOMPARE(layout->hitTest(after.center() + QPointF(1, 0), Qt::FuzzyHit), at + 1);
        }
    }

    // In a paragraph laid out in segments, Up, Down, Page Up, Page Down, Home
    // and End, with and without Shift, go where they go in the same paragraph
    // laid out by the toolkit in an editor of the same width, wrapping or
    // not; the caret stays in view.
    void movesByLineAndPageInLongParagraph() {
        FormFixture f;
        f.show();
        QTextEdit *ours = editorOf(f.form);
        TRichEdit *edit = f.form->RichEdit1;
        QString words;
        for (int i = 0; words.size() < 100000; ++i)
            words += QStringLiteral("mot%1 ").arg(i * 7919 % 100000);
        edit->SetText(QStringLiteral("début du texte\n") + words + QStringLiteral("\nfin"));
        QApplication::processEvents();
        BlockLayout *layout = layoutOf(f.form);
        const QTextBlock giant = ours->document()->findBlockByNumber(1);
        QVERIFY(layout->isSegmented(giant));
        QTextEdit reference;
        reference.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QVERIFY(showLikeOurs(reference, ours));
        QCOMPARE(reference.viewport()->size(), ours->viewport()->size());
        const Qt::KeyboardModifier none = Qt::NoModifier, shift = Qt::ShiftModifier;
        const QList<QPair<Qt::Key, Qt::KeyboardModifier>> keys = {
            {Qt::Key_Down, none},     {Qt::Key_Down, none},     {Qt::Key_End, none},
            {Qt::Key_Down, none},     {Qt::Key_Home, none},     {Qt::Key_Up, none},
            {Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}, {Qt::Key_Down, none},
            {Qt::Key_PageUp, none},   {Qt::Key_Down, shift},    {Qt::Key_Down, shift},
            {Qt::Key_End, shift},     {Qt::Key_Up, shift},      {Qt::Key_PageDown, shift},
            {Qt::Key_Home, shift},    {Qt::Key_Up, none},       {Qt::Key_Up, none},
            {Qt::Key_Up, none},       {Qt::Key_Down, none}};
        for (bool wrap : {true, false}) {
            edit->SetWordWrap(wrap);
            reference.setLineWrapMode(wrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
            QApplication::processEvents();
            // Straight into the middle of the paragraph, where nothing is laid
            // out yet: Down goes one line down, Up back to the same place.
            QTextCursor middle(ours->document());
            middle.setPosition(giant.position() + 70007);
            ours->setTextCursor(middle);
            QApplication::processEvents();
            const QRectF from = layout->caretRect(middle.position());
            QTest::keyClick(ours, Qt::Key_Down);
            const QRectF down = layout->caretRect(ours->textCursor().position());
            QCOMPARE(ours->document()->findBlock(ours->textCursor().position()).blockNumber(),
                     wrap ? 1 : 2);
            if (wrap) {
                QCOMPARE(down.top(), from.bottom());
                QVERIFY(std::abs(down.x() - from.x()) < 12);
            }
            QTest::keyClick(ours, Qt::Key_Up);
            QCOMPARE(ours->textCursor().position(), middle.position());
            // Laid out from its top, the paragraph breaks where the toolkit
            // does: the same moves from its second character, from one far
            // into it, and from the paragraph before it.
            scrollThrough(ours);
            for (int start : {1, 60011, 2 - giant.position()}) {
                QTextCursor a(ours->document()), b(reference.document());
                a.setPosition(giant.position() + start);
                b.setPosition(giant.position() + start);
                ours->setTextCursor(a);
                reference.setTextCursor(b);
                ours->setFocus();
                QApplication::processEvents();
                int step = 0;
                // From the paragraph before, a page down lands inside it.
                const auto sequence = start > 0 ? keys : keys.mid(6);
                for (const auto &[key, mods] : sequence) {
                    QTest::keyClick(ours, key, mods);
                    QTest::keyClick(&reference, key, mods);
                    QApplication::processEvents();
                    const QTextCursor x = ours->textCursor(), y = reference.textCursor();
                    QVERIFY2(x.position() == y.position() && x.anchor() == y.anchor(),
                             qPrintable(QStringLiteral("wrap %1, from %2, key %3: at %4 (anchor "
                                                       "%5), the toolkit at %6 (anchor %7)")
                                            .arg(wrap)
                                            .arg(start)
                                            .arg(step)
                                            .arg(x.position())
                                            .arg(x.anchor())
                                            .arg(y.position())
                                            .arg(y.anchor())));
                    const QRectF caret = layout->caretRect(x.position());
                    const QRect seen = ours->viewport()->rect().translated(
                        ours->horizontalScrollBar()->value(), ours->verticalScrollBar()->value());
                    QVERIFY2(seen.contains(caret.center().toPoint()),
                             qPrintable(QStringLiteral("wrap %1, key %2: caret at %3,%4 out of "
                                                       "the view at %5,%6")
                                            .arg(wrap)
                                            .arg(step)
                                            .arg(caret.x())
                                            .arg(caret.y())
                                            .arg(seen.x())
                                            .arg(seen.y())));
                    ++step;
                }
            }
        }
    }

    // What assistive technology is told of the text: each character's
    // rectangle holds its ink as the window shows it (at the top, far down
    // after scrolling, inside a long paragraph), and the line read at an
    // offset is the visual line the toolkit would give.
    void charactersAndLinesForAssistiveTechnology() {
        FormFixture f;
        f.show();
        QTextEdit *ours = editorOf(f.form);
        TRichEdit *edit = f.form->RichEdit1;
        QString text = QStringLiteral("\n   M   \n");
        for (int i = 0; i < 400; ++i)
            text += QStringLiteral("ligne %1\n").arg(i);
        text += QStringLiteral("\n   M   \n\n");
        QString words;
        for (int i = 0; words.size() < 60000; ++i)
            words += i == 3000 ? QStringLiteral("   M   ") : QStringLiteral("mot%1 ").arg(i);
        text += words + QStringLiteral("\nfin");
        edit->SetText(text);
        QApplication::processEvents();
        BlockLayout *layout = layoutOf(f.form);
        QAccessibleInterface *access = QAccessible::queryAccessibleInterface(ours);
        QVERIFY(access && access->textInterface());
        QAccessibleTextInterface *reader = access->textInterface();
        const QString all = ours->document()->toRawText();
        QList<int> ms;
        for (qsizetype at = all.indexOf(QLatin1Char('M')); at >= 0;
             at = all.indexOf(QLatin1Char('M'), at + 1))
            ms << int(at);
        QCOMPARE(ms.size(), 3);
        QVERIFY(layout->isSegmented(ours->document()->findBlock(ms[2])));
        const QFontMetricsF metrics(ours->document()->defaultFont());
        for (int m : ms) {
            QTextCursor cur(ours->document());
            cur.setPosition(m);
            ours->setTextCursor(cur);
            QApplication::processEvents();
            QTest::qWait(50);
            const QRect global = reader->characterRect(m);
            QVERIFY(global.isValid());
            const QRect r = global.translated(-ours->viewport()->mapToGlobal(QPoint(0, 0)));
            ours->setFocus();
            ours->viewport()->repaint();
            const QImage image = shown(ours->viewport());
            // The ink within the rectangle's rows and a few pixels to each
            // side of it (nothing but spaces there).
            int left = image.width(), right = -1, top = image.height(), bottom = -1;
            for (int y = std::max(0, r.top()); y <= std::min(image.height() - 1, r.bottom()); ++y)
                for (int x = std::max(0, r.left() - 5);
                     x <= std::min(image.width() - 1, r.right() + 5); ++x)
                    if (qGray(image.pixel(x, y)) < 128) {
                        left = std::min(left, x), right = std::max(right, x);
                        top = std::min(top, y), bottom = std::max(bottom, y);
                    }
            const QString where =
                QStringLiteral("M at %1: rectangle %2,%3 %4x%5, ink %6-%7 x %8-%9")
                    .arg(m)
                    .arg(r.x())
                    .arg(r.y())
                    .arg(r.width())
                    .arg(r.height())
                    .arg(left)
                    .arg(right)
                    .arg(top)
                    .arg(bottom);
            QVERIFY2(right >= 0, qPrintable(where));
            QVERIFY2(left >= r.left() - 1 && right <= r.right() + 1, qPrintable(where));
            // The letter stands on the line's baseline, whole.
            const double baseline = r.top() + metrics.ascent();
            QVERIFY2(std::abs(bottom - baseline) <= 2, qPrintable(where));
            QVERIFY2(bottom - top + 1 >= metrics.capHeight() - 2, qPrintable(where));
            QCOMPARE(reader->offsetAtPoint(global.center()), m);
        }
        // Lines: in the long paragraph as the toolkit breaks the same text.
        QTextEdit reference;
        QVERIFY(showLikeOurs(reference, ours));
        QAccessibleTextInterface *theirs =
            QAccessible::queryAccessibleInterface(&reference)->textInterface();
        const QTextBlock giant = ours->document()->findBlock(ms[2]);
        scrollThrough(ours);
        for (int offset : {giant.position() + 1, ms[2], giant.position() + 40000}) {
            int s1 = 0, e1 = 0, s2 = 0, e2 = 0;
            const QString line = reader->textAtOffset(offset, QAccessible::LineBoundary, &s1, &e1);
            const QString expected =
                theirs->textAtOffset(offset, QAccessible::LineBoundary, &s2, &e2);
            QCOMPARE(line, expected);
            QCOMPARE(s1, s2);
            QVERIFY(line.size() > 20 && line.size() < 200);
            // The next line begins after the space this one broke at.
            int s3 = 0, e3 = 0;
            const QString next =
                reader->textAfterOffset(offset, QAccessible::LineBoundary, &s3, &e3);
            QCOMPARE(s3, e1 + 1);
            QVERIFY(next.size() > 20 && next.size() < 200);
            int s4 = 0, e4 = 0;
            reader->textBeforeOffset(s3, QAccessible::LineBoundary, &s4, &e4);
            QCOMPARE(s4, s1);
        }
    }

    // Text an input method composes in a long paragraph shows at the caret,
    // and the view stays where it is while composing and after the commit.
    void preeditInLongParagraph() {
        FormFixture f;
        f.show();
        QTextEdit *ours = editorOf(f.form);
        TRichEdit *edit = f.form->RichEdit1;
        edit->SetText(QStringLiteral("abcdefghi ").repeated(30000));
        QApplication::processEvents();
        BlockLayout *layout = layoutOf(f.form);
        QVERIFY(layout->isSegmented(ours->document()->begin()));
        QTextCursor cur(ours->document());
        cur.setPosition(150003);
        ours->setTextCursor(cur);
        ours->setFocus();
        QApplication::processEvents();
        QTest::qWait(50);
        const int scroll = ours->verticalScrollBar()->value();
        QVERIFY(scroll > 1000);
        const QRectF caret = layout->caretRect(150003);
        ours->viewport()->repaint();
        const QImage before = shown(ours->viewport());
        QInputMethodEvent compose(QStringLiteral("WWW"), {});
        QApplication::sendEvent(ours, &compose);
        QApplication::processEvents();
        QCOMPARE(ours->verticalScrollBar()->value(), scroll);
        ours->viewport()->repaint();
        const QImage during = shown(ours->viewport());
        // The line changes from the caret on, and the lines above do not.
        const int y = int(caret.y()) - scroll;
        QVERIFY(y >= 0 && y < before.height());
        int changedFrom = before.width(), changedAbove = 0;
        for (int row = 0; row < std::min(before.height(), y + int(caret.height())); ++row)
            for (int x = 0; x < before.width(); ++x)
                if (before.pixel(x, row) != during.pixel(x, row)) {
                    if (row < y - 1) {
                        ++changedAbove;
                    } else {
                        changedFrom = std::min(changedFrom, x);
                    }
                }
        QCOMPARE(changedAbove, 0);
        const int caretX = int(caret.x()) - ours->horizontalScrollBar()->value();
        QVERIFY2(
            std::abs(changedFrom - caretX) <= 3,
            qPrintable(
                QStringLiteral("changed from x %1, caret at %2").arg(changedFrom).arg(caretX)));
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("é"));
        QApplication::sendEvent(ours, &commit);
        QApplication::processEvents();
        QCOMPARE(ours->verticalScrollBar()->value(), scroll);
        QCOMPARE(edit->Text().mid(150000, 5), QStringLiteral("abcéd"));
        QCOMPARE(ours->textCursor().position(), 150004);
    }

    // Plain text goes in by pieces of 4 M characters, with the window
    // repainted between them: whatever the size, once Open is over the page
    // shows what the same first lines show when opened from a small file.
    void everyOpenPaintsItsFirstPage() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("lignes.txt"));
        const auto open = [&](const QByteArray &bytes) {
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return QImage();
            out.write(bytes);
            out.close();
            f.form->RichEdit1->Lines->LoadFromFile(file);
            editor->clearFocus();
            QTest::qWait(20); // a frame
            return shown(editor->viewport());
        };
        const QStringList words =
            QStringLiteral("alpha beta gamma delta epsilon zeta eta theta").split(QLatin1Char(' '));
        QByteArray text;
        for (int i = 0; text.size() < (12 << 20) + 200; ++i)
            text += words.mid(0, 3 + i % 6).join(QLatin1Char(' ')).toLatin1() + ' ' +
                    QByteArray::number(i) + '\n';
        const QImage small = open(text.left(8000));
        // Lines down to the bottom of the page.
        QVERIFY(inkColumns(small, small.height() - 20, small.height()).second > 0);
        TProgress::SetTimings(0, 0); // every step repaints the window
        constexpr int Piece = 4 << 20;
        for (int size : {Piece - 3, Piece + 3, Piece + 100, 2 * Piece + 100, 3 * Piece + 100}) {
            const QImage page = open(text.left(size));
            QVERIFY2(page == small, qPrintable(QStringLiteral("%1 characters").arg(size)));
        }
        TProgress::SetTimings(500, 50);
    }

    // One line of 8 M characters opens by pieces, the progress window moving
    // between them, and nothing has the toolkit analyse the whole line (tens
    // of bytes a character): not placing the caret, not the focus going to
    // the progress window and coming back, not typing. It takes no more than
    // twice the memory of the same text in paragraphs.
    void oneLineOpensByPiecesWithoutWholeAnalysis() {
        const QByteArray word = "abcdefg ";
        const int n = 8 << 20;
        const QByteArray line = "\xc3\xa9" + word.repeated(n / word.size());
        QByteArray paragraphs = line;
        for (int i = 600; i < paragraphs.size(); i += 600)
            paragraphs[i] = '\n';
        // The peak of the process's memory while the text is opened, the
        // focus comes back and a key is typed.
        const auto peakOpening = [&](const QByteArray &bytes, QList<int> *progress) -> qint64 {
            FormFixture f;
            f.show();
            QTextEdit *editor = editorOf(f.form);
            TRichEdit *edit = f.form->RichEdit1;
            QApplication::setActiveWindow(f.form->Widget());
            editor->setFocus();
            if (!QTest::qWaitForWindowActive(f.form->Widget())) return -1;
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("texte.txt"));
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) return -1;
            out.close();
            const auto status = [](const char *key) {
                QFile in(QStringLiteral("/proc/self/status"));
                if (!in.open(QIODevice::ReadOnly)) return qint64(-1);
                for (const QByteArray &l : in.readAll().split('\n'))
                    if (l.startsWith(key))
                        return l.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong()
                               << 10;
                return qint64(-1);
            };
            QFile reset(QStringLiteral("/proc/self/clear_refs"));
            if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1) return -1;
            reset.close();
            const qint64 before = status("VmRSS:");
            bool focusLeft = false;
            QTimer watch;
            connect(&watch, &QTimer::timeout, [&] {
                focusLeft = focusLeft || (QApplication::activeModalWidget() && !editor->hasFocus());
                if (auto *p = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget()))
                    *progress << p->value();
            });
            watch.start(0);
            TProgress::SetTimings(0, 0);
            edit->Lines->LoadFromFile(file);
            TProgress::SetTimings(500, 50);
            watch.stop();
            if (!focusLeft) return -1;
            QApplication::setActiveWindow(f.form->Widget()); // as the window manager does
            QTest::qWait(50);
            if (!editor->hasFocus() || edit->SelStart() != 0) return -1;
            QTest::keyClicks(editor, QStringLiteral("Z"));
            QTest::qWait(50);
            if (!edit->Text().startsWith(QStringLiteral("Zé"))) return -1;
            if (edit->GetTextLen() != 1 + bytes.size() - 1 + bytes.count('\n')) return -1;
            return status("VmHWM:") - before;
        };
        QList<int> progress, ignored;
        const qint64 inParagraphs = peakOpening(paragraphs, &ignored);
        const qint64 inOneLine = peakOpening(line, &progress);
        QVERIFY(inParagraphs > 0);
        QVERIFY(inOneLine > 0);
        QVERIFY2(
            std::any_of(progress.begin(), progress.end(), [](int v) { return v > 250 && v < 950; }),
            qPrintable(QStringLiteral("%1 steps of progress seen").arg(progress.size())));
        QVERIFY2(inOneLine < 2 * inParagraphs,
                 qPrintable(QStringLiteral("%1 MB at most for one line, %2 MB in paragraphs")
                                .arg(inOneLine >> 20)
                                .arg(inParagraphs >> 20)));
    }

    // A table as its definitions place it: each cell from its left edge to
    // its \cellx, text inset by the gap and wrapped in the cell, rows as tall
    // as their tallest cell, a cell merged across as wide as the cells it
    // takes, a nested table inside its cell, cells without definition in equal
    // shares. Clicks land in the cell under them, the caret is drawn where the
    // layout says, typing in a cell grows its row only, and the arrows go
    // from cell to cell.
    void tableCellsPlacedHitAndEdited() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        BlockLayout *layout = layoutOf(f.form);
        f.form->RichEdit1->SetText(QStringLiteral("avant"));
        // Cells of 100, 100 and 200 pixels (1500, 3000, 6000 twips), a gap
        // of 5 pixels; in the second row the first two cells merged.
        rtf::RowDef rowDef;
        rowDef.gap = 75;
        const int rights[] = {1500, 3000, 6000};
        QTextTable *table = appendTable(
            editor, 2, 3,
            [&](int r, int c) {
                rtf::CellDef d;
                d.right = rights[c];
                if (r == 1 && c == 0) d.across = rtf::Merge::First;
                if (r == 1 && c == 1) d.across = rtf::Merge::Next;
                return d;
            },
            rowDef);
        {
            QTextCursor after(editor->document());
            after.movePosition(QTextCursor::End);
            after.insertText(QStringLiteral("après"));
        }
        const QString words = QStringLiteral("mot ").repeated(30);
        table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("A"));
        table->cellAt(0, 1).firstCursorPosition().insertText(words);
        table->cellAt(0, 2).firstCursorPosition().insertText(QStringLiteral("C"));
        table->cellAt(1, 0).firstCursorPosition().insertText(words);
        QApplication::processEvents();
        const double m = editor->document()->documentMargin();
        const auto rectOf = [&](int r, int c) {
            return layout->blockBoundingRect(table->cellAt(r, c).firstCursorPosition().block());
        };
        // Left edges from the definitions (the first cell from the margin).
        QCOMPARE(rectOf(0, 0).x(), m + 5);
        QCOMPARE(rectOf(0, 1).x(), m + 100 + 5);
        QCOMPARE(rectOf(0, 2).x(), m + 200 + 5);
        // Wrapped in its cell: several lines no wider than the cell's text.
        const QTextBlock wrapped = table->cellAt(0, 1).firstCursorPosition().block();
        QVERIFY(wrapped.layout()->lineCount() > 3);
        QVERIFY(rectOf(0, 1).width() <= 90 + 0.5);
        // The row as tall as its tallest cell (a pixel of padding above and
        // below), the cells of a row side by side.
        QCOMPARE(rectOf(0, 0).y(), rectOf(0, 1).y());
        const double rowHeight = rectOf(1, 0).y() - rectOf(0, 0).y();
        QVERIFY(std::abs(rowHeight - (rectOf(0, 1).height() + 2)) < 0.5);
        // Merged across: the text wraps in both cells' width.
        QVERIFY(rectOf(1, 0).width() > 100);
        QVERIFY(rectOf(1, 0).width() <= 190 + 0.5);
        QVERIFY(table->cellAt(1, 0).firstCursorPosition().block().layout()->lineCount() <
                wrapped.layout()->lineCount());
        // The paragraph after the table starts below its last row.
        const QTextBlock afterBlock = editor->document()->lastBlock();
        QVERIFY(layout->blockBoundingRect(afterBlock).y() >= rectOf(1, 0).bottom());

        // Clicks: the caret's place gives the position back, in every cell;
        // below a cell's text, still that cell; the toolkit's caret where ours is.
        for (auto [r, c] : {std::pair{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 2}}) {
            const QTextTableCell cell = table->cellAt(r, c);
            for (int pos = cell.firstPosition(); pos <= cell.lastPosition(); pos += 11) {
                const QRectF caret = layout->caretRect(pos);
                QCOMPARE(layout->hitTest(caret.center(), Qt::FuzzyHit), pos);
                QTextCursor cur(editor->document());
                cur.setPosition(pos);
                const QRect shownAt = editor->cursorRect(cur).translated(
                    editor->horizontalScrollBar()->value(), editor->verticalScrollBar()->value());
                QVERIFY(std::abs(shownAt.x() - caret.x()) <= 1);
                QVERIFY(std::abs(shownAt.y() - caret.y()) <= 1);
            }
        }
        const QRectF c02 = rectOf(0, 2);
        const int below =
            layout->hitTest(QPointF(c02.center().x(), c02.bottom() + 20), Qt::FuzzyHit);
        QVERIFY(below >= table->cellAt(0, 2).firstPosition() &&
                below <= table->cellAt(0, 2).lastPosition());

        // Typing in a cell of the last row grows that row only.
        const double row0Top = rectOf(0, 0).y(), row1Top = rectOf(1, 0).y();
        const double afterTop = layout->blockBoundingRect(afterBlock).y();
        typeInto(editor, table->cellAt(1, 2), words + words);
        QCOMPARE(rectOf(0, 0).y(), row0Top);
        QCOMPARE(rectOf(1, 0).y(), row1Top);
        const double grown = layout->blockBoundingRect(afterBlock).y() - afterTop;
        QVERIFY(grown > 2 * layout->caretRect(0).height());
        // The caret shows at the end of what was typed, in the cell.
        const QRectF caret = layout->caretRect(editor->textCursor().position());
        QVERIFY(caret.x() > m + 200 && caret.x() <= m + 400);

        // The arrows: Down from the first row's cell to the one below, Right
        // at a cell's end into the next cell, Up back.
        editor->setTextCursor(table->cellAt(0, 2).lastCursorPosition());
        QTest::keyClick(editor, Qt::Key_Down);
        QCOMPARE(table->cellAt(editor->textCursor()).row(), 1);
        QCOMPARE(table->cellAt(editor->textCursor()).column(), 2);
        QTest::keyClick(editor, Qt::Key_Up);
        QCOMPARE(table->cellAt(editor->textCursor()).row(), 0);
        QCOMPARE(table->cellAt(editor->textCursor()).column(), 2);
        editor->setTextCursor(table->cellAt(0, 0).lastCursorPosition());
        QTest::keyClick(editor, Qt::Key_Right);
        QCOMPARE(table->cellAt(editor->textCursor()).column(), 1);

        // A table in a cell stands inside it; cells without definition share
        // the width they have.
        QTextCursor inCell = table->cellAt(0, 2).lastCursorPosition();
        QTextTable *nested = inCell.insertTable(2, 2);
        nested->cellAt(1, 1).firstCursorPosition().insertText(words);
        QApplication::processEvents();
        const QRectF outerCell(m + 200, rectOf(0, 2).y(), 200, 0);
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < 2; ++c) {
                const QRectF in =
                    layout->blockBoundingRect(nested->cellAt(r, c).firstCursorPosition().block());
                QVERIFY(in.x() >= outerCell.left() + 5);
                QVERIFY(in.right() <= outerCell.right() - 5 + 0.5);
                QVERIFY(in.y() > outerCell.top());
            }
        }
        const QRectF n00 =
            layout->blockBoundingRect(nested->cellAt(0, 0).firstCursorPosition().block());
        const QRectF n01 =
            layout->blockBoundingRect(nested->cellAt(0, 1).firstCursorPosition().block());
        QVERIFY(std::abs((n01.x() - n00.x()) - 95) < 1); // halves of 190
        // The outer row holds the nested table's rows.
        const QRectF n11 =
            layout->blockBoundingRect(nested->cellAt(1, 1).firstCursorPosition().block());
        QVERIFY(rectOf(1, 0).y() >= n11.bottom());
        QCOMPARE(
            layout->hitTest(layout->caretRect(nested->cellAt(1, 1).firstPosition() + 3).center(),
                            Qt::FuzzyHit),
            nested->cellAt(1, 1).firstPosition() + 3);
    }

    // A cell merged down spans the rows of the cells it takes, the last of
    // them growing to hold its text; rows at least as tall as their \trrh;
    // text aligned to the bottom of its cell, a merged one's to the middle of
    // all its rows; typing in the row of a merged cell keeps its text inside
    // the span, and Undo gives the row its height back.
    void tableMergedDownAlignedAndUndone() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        BlockLayout *layout = layoutOf(f.form);
        f.form->RichEdit1->SetText(QStringLiteral("avant"));
        rtf::RowDef rowDef;
        rowDef.height = 600; // 40 pixels at least
        QTextTable *table = appendTable(
            editor, 3, 3,
            [](int r, int c) {
                rtf::CellDef d;
                d.right = (c + 1) * 1500;
                if (c != 1) d.down = r == 0 ? rtf::Merge::First : rtf::Merge::Next;
                if (c == 1 && r == 1) d.align = rtf::CellAlign::Bottom;
                if (c == 2) d.align = rtf::CellAlign::Center;
                return d;
            },
            rowDef);
        {
            QTextCursor after(editor->document());
            after.movePosition(QTextCursor::End);
            after.insertText(QStringLiteral("après"));
        }
        table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("mot ").repeated(40));
        table->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("bas"));
        table->cellAt(0, 2).firstCursorPosition().insertText(QStringLiteral("milieu"));
        QApplication::processEvents();
        editor->viewport()->repaint();
        const auto rectOf = [&](int r, int c) {
            return layout->blockBoundingRect(table->cellAt(r, c).firstCursorPosition().block());
        };
        const QTextBlock afterBlock = editor->document()->lastBlock();
        const QRectF merged = rectOf(0, 0);
        QVERIFY(merged.height() > 3 * 40); // taller than the three rows' least
        // Rows 0 and 1 at their least; the last grown to the merged cell's text.
        QVERIFY(std::abs(rectOf(1, 1).bottom() - (rectOf(0, 1).top() + 78)) < 0.5);
        QVERIFY(std::abs(rectOf(2, 1).top() - (rectOf(0, 1).top() + 80)) < 0.5);
        QVERIFY(std::abs(layout->blockBoundingRect(afterBlock).top() - (merged.bottom() + 1)) <
                0.5);
        // The span's middle, where the text of the first column fills it.
        QVERIFY2(
            std::abs(rectOf(0, 2).center().y() - merged.center().y()) < 2,
            qPrintable(
                QStringLiteral("%1 %2").arg(rectOf(0, 2).center().y()).arg(merged.center().y())));
        // Typing in the merged cell's row: the rows below move, the span still
        // holds the cell's text.
        const double lastTop = rectOf(2, 1).top();
        typeInto(editor, table->cellAt(0, 1), QStringLiteral("mot ").repeated(30));
        editor->viewport()->repaint();
        QApplication::processEvents();
        QVERIFY(rectOf(2, 1).top() > lastTop);
        QVERIFY(layout->blockBoundingRect(afterBlock).top() >= rectOf(0, 0).bottom() + 1 - 0.5);
        QVERIFY(layout->blockBoundingRect(afterBlock).top() >= rectOf(0, 1).bottom() + 1 - 0.5);
        // The middle of the taller span: between the first row's top and the
        // paragraph after the table.
        const auto centredInSpan = [&] {
            const double middle =
                (rectOf(0, 1).top() + layout->blockBoundingRect(afterBlock).top()) / 2;
            QVERIFY2(
                std::abs(rectOf(0, 2).center().y() - middle) < 4,
                qPrintable(QStringLiteral("%1 %2").arg(rectOf(0, 2).center().y()).arg(middle)));
        };
        centredInSpan();
        f.form->Dfaire1->Click();
        editor->viewport()->repaint();
        QApplication::processEvents();
        QCOMPARE(table->cellAt(0, 1).firstCursorPosition().block().text(), QString());
        QCOMPARE(rectOf(2, 1).top(), lastTop);
        // Typing in a row the merged cells go through: still in the middle.
        typeInto(editor, table->cellAt(1, 1), QStringLiteral(" mot").repeated(60));
        editor->viewport()->repaint();
        QApplication::processEvents();
        centredInSpan();
        f.form->Dfaire1->Click();

        // Rows of different cells: the cell below a merged one is the one
        // under it (the same right edge), not the one at the same place in
        // its row; the merged cell's text counts in the last row.
        QTemporaryDir dir;
        load(f.form,
             "{\\rtf1\\ansi\\trowd\\cellx3000\\clvmgf\\cellx4500\\pard\\intbl haut\\cell " +
                 QByteArray("mot ").repeated(40) +
                 "\\cell\\row\\trowd\\cellx1500\\cellx3000\\clvmrg\\cellx4500\\pard\\intbl gauche"
                 "\\cell milieu\\cell\\cell\\row\\pard apres\\par}",
             dir);
        editor->viewport()->repaint();
        QApplication::processEvents();
        QTextDocument *doc = editor->document();
        const auto blockRect = [&](const QString &text) {
            return layout->blockBoundingRect(doc->findBlock(doc->find(text).selectionStart()));
        };
        const QRectF haut = blockRect(QStringLiteral("haut")),
                     a = blockRect(QStringLiteral("gauche"));
        const QRectF words = blockRect(QStringLiteral("mot mot"));
        QVERIFY2(a.top() - haut.top() < 3 * haut.height(),
                 qPrintable(QStringLiteral("%1 %2").arg(haut.top()).arg(a.top())));
        QVERIFY(words.bottom() > a.bottom() + 2 * a.height());
        QVERIFY(blockRect(QStringLiteral("apres")).top() >= words.bottom());
    }

    // A table wider than the window makes the view scroll across, wrapping
    // or not; borders and shading are painted as defined, a cell without
    // borders only faintly, and a selection across cells selects whole cells.
    void tableWidthBordersShadingAndCellSelection() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        BlockLayout *layout = layoutOf(f.form);
        f.form->RichEdit1->SetText(QStringLiteral("avant"));
        QTextTable *table = appendTable(editor, 2, 3, [](int r, int c) {
            rtf::CellDef d;
            d.right = (c + 1) * 2250; // 150 pixels each
            if (r == 0 && c == 1) {
                d.top = d.left = d.bottom = d.rightBorder = line(30); // 2 pixels
                d.shading = 0xFFCC00;
            }
            return d;
        });
        table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("un"));
        QApplication::processEvents();
        const double m = editor->document()->documentMargin();
        editor->clearFocus();
        editor->setTextCursor(QTextCursor(editor->document()));
        QTest::qWait(20);
        const auto viewOf = [&](const QRectF &doc) {
            return doc.translated(-editor->horizontalScrollBar()->value(),
                                  -editor->verticalScrollBar()->value());
        };
        const QRectF shaded =
            viewOf(layout->blockBoundingRect(table->cellAt(0, 1).firstCursorPosition().block()));
        QImage image = editor->viewport()->grab().toImage();
        const QRgb inside =
            image.pixel(QPoint(int(m + 225), int(shaded.bottom()) - 1)); // cell (0,1), no text
        QCOMPARE(qRed(inside), 0xFF);
        QCOMPARE(qGreen(inside), 0xCC);
        QCOMPARE(qBlue(inside), 0x00);
        // The cell's left border at x = margin + 150: dark, two pixels wide at most.
        const int y = int(shaded.center().y());
        int dark = 0;
        for (int x = int(m + 150) - 3; x <= int(m + 150) + 3; ++x)
            dark += qGray(image.pixel(x, y)) < 80 ? 1 : 0;
        QVERIFY(dark >= 1 && dark <= 3);
        // The borderless cells' edge (x = margin + 300, row 1): faint, not dark.
        const QRectF plain =
            viewOf(layout->blockBoundingRect(table->cellAt(1, 2).firstCursorPosition().block()));
        int faint = 0;
        for (int x = int(m + 300) - 2; x <= int(m + 300) + 2; ++x) {
            const int g = qGray(image.pixel(x, int(plain.center().y())));
            QVERIFY(g > 150);
            faint += g < 250 ? 1 : 0;
        }
        QVERIFY(faint >= 1);

        // Cells (0,0) to (1,0) selected: both cells are painted selected
        // over their width, not just their text; (0,2) is not.
        QTextCursor cells = table->cellAt(0, 0).firstCursorPosition();
        cells.setPosition(table->cellAt(1, 0).firstPosition(), QTextCursor::KeepAnchor);
        QVERIFY(cells.hasComplexSelection() || cells.hasSelection());
        editor->setTextCursor(cells);
        editor->setFocus();
        QTest::qWait(20);
        image = editor->viewport()->grab().toImage();
        const QColor highlight = editor->palette().color(QPalette::Active, QPalette::Highlight);
        const QRectF r10 =
            viewOf(layout->blockBoundingRect(table->cellAt(1, 0).firstCursorPosition().block()));
        const QRgb selected = image.pixel(QPoint(int(m + 120), int(r10.center().y())));
        QCOMPARE(QColor(selected), highlight);
        const QRgb other = image.pixel(QPoint(int(m + 420), int(r10.center().y())));
        QVERIFY(QColor(other) != highlight);

        // Wider than the window: 2,000 pixels, with wrapping and without.
        f.form->RichEdit1->SetText(QString());
        appendTable(editor, 3, 2, [](int, int c) {
            rtf::CellDef d;
            d.right = (c + 1) * 15000;
            return d;
        });
        for (bool wrap : {true, false}) {
            f.form->RichEdit1->SetWordWrap(wrap);
            QApplication::processEvents();
            editor->viewport()->repaint();
            QApplication::processEvents();
            QVERIFY2(layout->documentSize().width() >= 2000,
                     qPrintable(QString::number(layout->documentSize().width())));
            QVERIFY(editor->horizontalScrollBar()->maximum() >= 2000 - editor->viewport()->width());
        }

        // A cell's text wraps in its cell, the editor wrapping or not.
        f.form->RichEdit1->SetText(QString());
        QTextTable *narrow = appendTable(editor, 1, 2, [](int, int c) {
            rtf::CellDef d;
            d.right = (c + 1) * 1500; // 100 pixels each
            return d;
        });
        narrow->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("mot ").repeated(30));
        for (bool wrap : {true, false}) {
            f.form->RichEdit1->SetWordWrap(wrap);
            QApplication::processEvents();
            editor->viewport()->repaint();
            const QTextBlock text = narrow->cellAt(0, 0).firstCursorPosition().block();
            QVERIFY(text.layout()->lineCount() > 5);
            const QRectF r = layout->blockBoundingRect(text);
            const QRectF next =
                layout->blockBoundingRect(narrow->cellAt(0, 1).firstCursorPosition().block());
            QVERIFY2(r.right() <= next.left(),
                     qPrintable(QStringLiteral("%1 %2").arg(r.right()).arg(next.left())));
        }
    }

    // 100,000 rows: scrolling to the end and typing in the last row lay out a
    // screenful, the estimate of the rows not laid out keeps the scroll range
    // near the rows' real height.
    void hundredThousandRowsLaidOutByScreen() {
        FormFixture f;
        f.show();
        QTextEdit *editor = editorOf(f.form);
        BlockLayout *layout = layoutOf(f.form);
        f.form->RichEdit1->SetText(QString());
        QTextTable *table = appendTable(editor, 100000, 4);
        QVERIFY(layout->laidOutBlocks() < 400);
        const double estimated = layout->documentSize().height();
        editor->setTextCursor(table->cellAt(99999, 3).firstCursorPosition());
        QApplication::processEvents();
        editor->viewport()->repaint();
        QApplication::processEvents();
        QVERIFY2(layout->laidOutBlocks() < 800,
                 qPrintable(QString::number(layout->laidOutBlocks())));
        QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QStringLiteral("z"), {});
        QApplication::processEvents();
        editor->viewport()->repaint();
        QApplication::processEvents();
        QVERIFY(layout->laidOutBlocks() < 800);
        QCOMPARE(table->cellAt(99999, 3).firstCursorPosition().block().text(), QStringLiteral("z"));
        // The caret in view, and the click on it gives it back.
        const QRectF caret = layout->caretRect(editor->textCursor().position());
        const QRect seen = editor->viewport()->rect().translated(
            editor->horizontalScrollBar()->value(), editor->verticalScrollBar()->value());
        QVERIFY(seen.contains(caret.center().toPoint()));
        QCOMPARE(layout->hitTest(caret.center(), Qt::FuzzyHit), editor->textCursor().position());
        // Empty rows laid out are as tall as estimated; the paragraph after
        // the table follows the last row, and ends the document.
        QVERIFY(std::abs(layout->documentSize().height() - estimated) < 50);
        const QRectF last =
            layout->blockBoundingRect(table->cellAt(99999, 0).firstCursorPosition().block());
        const QRectF end = layout->blockBoundingRect(editor->document()->lastBlock());
        QVERIFY(std::abs(end.top() - (last.bottom() + 1)) < 0.5);
        QVERIFY(std::abs(end.bottom() + editor->document()->documentMargin() -
                         layout->documentSize().height()) < 0.5);

        // Bordered rows of small text, taller than estimated until laid out:
        // one Ctrl+End shows the caret at the end, and typing after the table
        // leaves the last row's bottom border drawn.
        QByteArray rtfBytes("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 "
                            "Facture\\par ");
        const QByteArray sides = "\\clbrdrt\\brdrs\\clbrdrl\\brdrs\\clbrdrb\\brdrs\\clbrdrr\\brdrs";
        for (int r = 1; r <= 10000; ++r)
            rtfBytes += "\\trowd\\trgaph108" + sides + "\\cellx1500" + sides + "\\cellx6000\\pard" +
                        "\\intbl " + QByteArray::number(r) + "\\cell Article " +
                        QByteArray::number(r) + "\\cell\\row\n";
        rtfBytes += "\\pard Fin\\par}";
        QTemporaryDir dir;
        load(f.form, rtfBytes, dir);
        editor->setFocus();
        QApplication::processEvents();
        editor->viewport()->repaint();
        QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
        QApplication::processEvents();
        editor->viewport()->repaint();
        QApplication::processEvents();
        const auto inView = [&] {
            const QRectF at = layout->caretRect(editor->textCursor().position());
            return editor->viewport()
                ->rect()
                .translated(editor->horizontalScrollBar()->value(),
                            editor->verticalScrollBar()->value())
                .contains(at.center().toPoint());
        };
        QCOMPARE(editor->textCursor().position(), editor->document()->characterCount() - 1);
        QVERIFY(inView());
        QTest::keyClicks(editor, QStringLiteral(" 12 EUR"));
        QApplication::processEvents();
        QVERIFY(inView());
        const QList<QTextFrame *> frames = editor->document()->rootFrame()->childFrames();
        QVERIFY(!frames.isEmpty());
        auto *bordered = qobject_cast<QTextTable *>(frames.last());
        QVERIFY(bordered);
        const QRectF lastRow = layout->blockBoundingRect(
            bordered->cellAt(bordered->rows() - 1, 1).firstCursorPosition().block());
        const QImage now = shown(editor->viewport());
        const int x = int(lastRow.left() + 20 - editor->horizontalScrollBar()->value());
        const int bottom = int(lastRow.bottom()) - editor->verticalScrollBar()->value();
        int dark = 0;
        for (int y = bottom - 3; y <= bottom + 6; ++y)
            dark += qGray(now.pixel(x, y)) < 128 ? 1 : 0;
        QVERIFY2(dark >= 1, qPrintable(QString::number(bottom)));
    }

    // Printing gives the pages the toolkit's layout gives the same document.
    void printsAsTheToolkitDoes() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            QSKIP("pdfinfo (poppler-utils) is not installed");
        FormFixture f;
        QTemporaryDir dir;
        rtf::Document doc = formattedDocument();
        for (int i = 0; i < 4; ++i)
            doc.paragraphs.insert(doc.paragraphs.end(), doc.paragraphs.begin(),
                                  doc.paragraphs.begin() + 12);
        load(f.form, rtf::write(doc), dir);
        const auto pages = [](const QString &pdf) {
            QProcess p;
            p.start(QStringLiteral("pdfinfo"), {pdf});
            p.waitForFinished(30000);
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            return out.mid(out.indexOf(QStringLiteral("Pages:")) + 6)
                .section(QLatin1Char('\n'), 0, 0)
                .trimmed()
                .toInt();
        };
        QPrinter &printer = CurrentPrinter();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("ours.pdf")));
        f.form->RichEdit1->Print(QString());
        QTextDocument fresh; // never had the editor's layout
        fresh.setDefaultFont(editorOf(f.form)->document()->defaultFont());
        QTextCursor into(&fresh);
        into.insertFragment(QTextDocumentFragment(editorOf(f.form)->document()));
        printer.setOutputFileName(dir.filePath(QStringLiteral("theirs.pdf")));
        fresh.print(&printer);
        const int ours = pages(dir.filePath(QStringLiteral("ours.pdf")));
        QVERIFY(ours >= 2);
        QCOMPARE(ours, pages(dir.filePath(QStringLiteral("theirs.pdf"))));
    }
};

QTEST_MAIN(TestDocLayout)
#include "test_doclayout.moc"
