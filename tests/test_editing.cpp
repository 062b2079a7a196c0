// SPDX-License-Identifier: GPL-3.0-or-later
// Edit commands, find and replace, word wrap, font and printing, through the
// real dialogs and keys; the earlier configuration's one-shot Replace.
#include "core/rtf.h"
#include "core/rtfpicture.h"
#include "helpers.h"
#include "platform/editoraccess.h"
#include "platform/finddialogs_p.h"
#include "platform/printing.h"
#include "platform/richconvert.h"

#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextTable>

using namespace testing;

namespace {
QTextEdit *editorOf(TForm1 *form) {
    return editoraccess::Widget(form->RichEdit1);
}

QString pdfText(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString &pdf) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const qsizetype at = out.indexOf(QStringLiteral("Pages:"));
    return at < 0 ? -1 : out.mid(at + 6).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
}

// The find dialog's window, its find field and buttons.
FindDialogWidget *findWidget(TFindDialog *dialog) {
    return static_cast<FindDialogWidget *>(dialog->Dialog());
}

// The find and replace dialogs open at the editor's top-right corner taken
// as screen coordinates, (800, 24), moved back as little as needed to lie
// wholly on the main window's screen.
void checkDialogPlace(const QWidget *dialog, const QWidget *main) {
    const QRect area = main->screen()->availableGeometry();
    const QRect frame = dialog->frameGeometry();
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(frame.width())
                                                  .arg(frame.height())));
    QCOMPARE(frame.topLeft(), QPoint(std::min(800, area.x() + area.width() - frame.width()), 24));
}
} // namespace

class TestEditing : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { QCOMPARE(missed, 0); }

    void undoCutCopyPasteSelectAll() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        edit->SetText(QStringLiteral("un deux trois"));
        edit->SetModified(false);
        QApplication::clipboard()->clear();
        // Paste with nothing on the clipboard changes nothing.
        form->Coller1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("un deux trois"));
        QVERIFY(!edit->Modified());
        // Select all and copy leave the flag alone.
        form->Slectionnertout1->Click();
        QCOMPARE(edit->SelLength(), 13);
        form->Copier1->Click();
        QVERIFY(!edit->Modified());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("un deux trois"));
        QVERIFY(QApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("text/rtf")));
        // Cut sets it.
        edit->SetSelStart(2);
        edit->SetSelLength(5);
        form->Couper1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("un trois"));
        QVERIFY(edit->Modified());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral(" deux"));
        // Paste sets it; Undo right after removes exactly the pasted text.
        edit->SetModified(false);
        edit->SetSelStart(8);
        form->Coller1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("un trois deux"));
        QVERIFY(edit->Modified());
        form->Dfaire1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("un trois"));
        form->Dfaire1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("un deux trois"));
        // Rich text pasted from another program goes through our reader.
        auto *rich = new QMimeData;
        rich->setData(QStringLiteral("text/rtf"),
                      "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\cf1\\b rouge\\par ligne}");
        rich->setText(QStringLiteral("ignored"));
        QApplication::clipboard()->setMimeData(rich);
        edit->SetSelStart(0);
        form->Coller1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("rouge\r\nligneun deux trois"));
        QTextCursor at(editorOf(form)->document());
        at.setPosition(2);
        QVERIFY(at.charFormat().fontWeight() >= QFont::Bold);
        QCOMPARE(at.charFormat().foreground().color(), QColor(255, 0, 0));
        form->Dfaire1->Click(); // one step
        QCOMPARE(edit->Text(), QStringLiteral("un deux trois"));
    }

    // A picture is one position of the text: shown at its size, stepped over
    // by the caret, removed by Backspace and brought back by Undo, no text
    // for plain-text copies, kept by Save As, copied and pasted as a picture,
    // printed; an image another program copied pastes as a picture.
    void picturesAreOnePosition() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        QTextEdit *editor = editorOf(form);
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(QColor(255, 0, 0));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(red.save(&buffer, "PNG"));
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("logo.rtf"));
        QFile file(in);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // 600 x 450 twips: 40 x 30 pixels.
        file.write("{\\rtf1\\ansi a{\\pict\\pngblip\\picw40\\pich30\\picwgoal600\\pichgoal450 " +
                   png.toHex() + "}b\\par}");
        file.close();
        QVERIFY(edit->Lines->LoadFromFile(in));
        QCOMPARE(edit->GetTextLen(), 3);
        // Shown at its size: 40 x 30 red pixels on the screen.
        const auto redArea = [&] {
            QApplication::processEvents();
            const QImage shot = editor->viewport()->grab().toImage();
            QRect box;
            int count = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x)
                    if (shot.pixel(x, y) == qRgb(255, 0, 0)) {
                        ++count;
                        box |= QRect(x, y, 1, 1);
                    }
            return std::make_pair(count, box.size());
        };
        auto [count, size] = redArea();
        QCOMPARE(size, QSize(40, 30));
        QVERIFY2(count >= 40 * 30 - 2 * (40 + 30), qPrintable(QString::number(count)));
        // One position: Right steps over it, Backspace removes it, Undo brings it back.
        edit->SetSelStart(1);
        QTest::keyClick(editor, Qt::Key_Right);
        QCOMPARE(edit->SelStart(), 2);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(edit->Text(), QStringLiteral("ab"));
        QCOMPARE(redArea().first, 0);
        form->Dfaire1->Click();
        QCOMPARE(edit->GetTextLen(), 3);
        QCOMPARE(redArea().second, QSize(40, 30));
        // Plain text has nothing for it (Save goes through the clipboard's text).
        form->Slectionnertout1->Click();
        form->Copier1->Click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ab"));
        // Save As writes its bytes and its size.
        const QString out = dir.filePath(QStringLiteral("copie.rtf"));
        edit->Lines->SaveToFile(out);
        QFile saved(out);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const rtf::Document doc = rtf::read(saved.readAll());
        QCOMPARE(doc.plainText(), QStringLiteral("ab"));
        const auto pictureAt = [](const rtf::Document &d, size_t n) -> const rtf::Picture * {
            for (const rtf::Paragraph &p : d.paragraphs)
                for (const rtf::Run &r : p.runs)
                    if (r.picture && n-- == 0) return r.picture.get();
            return nullptr;
        };
        const rtf::Picture *kept = pictureAt(doc, 0);
        QVERIFY(kept);
        QCOMPARE(kept->data, png);
        QCOMPARE(kept->goalWidth, 600);
        QCOMPARE(kept->goalHeight, 450);
        // Copied and pasted in the editor: a second picture.
        edit->SetSelStart(3);
        form->Coller1->Click();
        QCOMPARE(edit->GetTextLen(), 6);
        QVERIFY(pictureAt(editoraccess::Extract(edit), 1));
        QCOMPARE(pictureAt(editoraccess::Extract(edit), 1)->data, png);
        // An image from another program: a PNG picture at its size.
        QImage green(20, 10, QImage::Format_RGB32);
        green.fill(QColor(0, 255, 0));
        auto *image = new QMimeData;
        image->setImageData(green);
        QApplication::clipboard()->setMimeData(image);
        edit->SetSelStart(0);
        form->Coller1->Click();
        const rtf::Picture *pasted = pictureAt(editoraccess::Extract(edit), 0);
        QVERIFY(pasted);
        QCOMPARE(int(pasted->kind), int(rtf::PictureKind::Png));
        QCOMPARE(pasted->shownWidth(), 300);
        QCOMPARE(pasted->shownHeight(), 150);
        QVERIFY(rtf::write(editoraccess::Extract(edit)).contains("\\pngblip"));
        // Printed: the pictures are in the PDF.
        if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty()) return;
        const QString pdf = dir.filePath(QStringLiteral("sortie.pdf"));
        CurrentPrinter().setOutputFormat(QPrinter::PdfFormat);
        CurrentPrinter().setOutputFileName(pdf);
        edit->Print(QString());
        QProcess list;
        list.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
        list.waitForFinished(30000);
        const QStringList lines = QString::fromUtf8(list.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() - 2 >= 3, qPrintable(lines.join(QLatin1Char('\n'))));
    }

    // HTML from another program arrives as text this editor holds: a table
    // as a table (a nested table inside its cell), list items with their
    // marker, images as nothing. No character of the toolkit's own reaches
    // the text, the positions or the files.
    void pastedHtmlHoldsNoToolkitCharacters() {
        FormFixture f;
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        auto *html = new QMimeData;
        html->setHtml(QStringLiteral(
            "<p>Avant <img src=\"data:image/png;base64,iVBORw0KGgo=\" alt=\"logo\"> le "
            "tableau</p>"
            "<table border=1><tr><td>A1</td><td><b>B1</b></td></tr>"
            "<tr><td>A2</td><td><table><tr><td>x</td><td>y</td></tr></table></td></tr></table>"
            "<ul><li>pomme</li><li>poire</li></ul><ol><li>un</li><li>deux</li></ol>"
            "<p>Fin</p>"));
        QApplication::clipboard()->setMimeData(html);
        form->Coller1->Click();
        const QString text = edit->Text();
        // Each cell's paragraph is a line of the editor's text; the nested
        // table has the empty paragraphs the toolkit keeps around it in its cell.
        QCOMPARE(text,
                 QStringLiteral("Avant  le tableau\r\nA1\r\nB1\r\nA2\r\n\r\nx\r\ny\r\n\r\n"
                                "\u2022\tpomme\r\n\u2022\tpoire\r\n1.\tun\r\n2.\tdeux\r\nFin"));
        const rtf::Document model = editoraccess::Extract(edit);
        QCOMPARE(model.paragraphs.size(), size_t(12));
        QCOMPARE(model.paragraphs[2].depth, 1); // B1
        QVERIFY(model.paragraphs[2].endsRow);
        QCOMPARE(model.paragraphs[2].endsRow->cells.size(), size_t(2));
        QCOMPARE(model.paragraphs[2].endsRow->cells[0].left.style, rtf::BorderStyle::Single);
        QCOMPARE(model.paragraphs[5].depth, 2); // y, ending the nested row
        QVERIFY(model.paragraphs[5].endsRow);
        QVERIFY(model.paragraphs[6].endsRow && model.paragraphs[6].depth == 1);
        QCOMPARE(edit->GetTextLen(), int(text.size()));
        // Positions after the table agree with the text.
        const int fin = int(text.indexOf(QStringLiteral("Fin")));
        QCOMPARE(edit->FindText(QStringLiteral("Fin"), 0, edit->GetTextLen(), {}), fin);
        edit->SetSelStart(fin);
        edit->SetSelLength(3);
        QCOMPARE(edit->SelText(), QStringLiteral("Fin"));
        // The formatting of a cell survives.
        QTextCursor at(editorOf(form)->document());
        at.setPosition(
            editoraccess::ToDocument(form->RichEdit1, int(text.indexOf(QStringLiteral("B1"))) + 1));
        QVERIFY(at.charFormat().fontWeight() >= QFont::Bold);
        // Nothing of the toolkit's in the document (but its table marks), the
        // files or the clipboard.
        const QString raw = editorOf(form)->document()->toRawText();
        QVERIFY(!raw.contains(QChar(0xFFFC)));
        QTemporaryDir dir;
        const QString rtfFile = dir.filePath(QStringLiteral("colle.rtf"));
        form->RichEdit1->Lines->SaveToFile(rtfFile);
        QFile in(rtfFile);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray rtfBytes = in.readAll();
        for (const char *escape : {"\\u-1072", "\\u-1071", "\\u-4"})
            QVERIFY2(!rtfBytes.contains(escape), escape);
        QVERIFY(rtfBytes.contains("\\cell") && rtfBytes.contains("\\row"));
        form->Slectionnertout1->Click();
        form->Copier1->Click();
        // A row a line, its cells by a tab, the nested table's cells by a space.
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("Avant  le tableau\nA1\tB1\nA2\tx y\n"
                                "\u2022\tpomme\n\u2022\tpoire\n1.\tun\n2.\tdeux\nFin"));

        // Plain text and typed text are held to the same: U+FFFC goes, a
        // non-character becomes U+FFFD.
        edit->SetText(QString());
        auto *plain = new QMimeData;
        plain->setText(QStringLiteral("a\uFFFCb\uFDD0c\uFFFF"));
        QApplication::clipboard()->setMimeData(plain);
        form->Coller1->Click();
        QTest::sendKeyEvent(QTest::Press, editorOf(form), Qt::Key_unknown,
                            QStringLiteral("\uFFFEd"), {});
        QCOMPARE(edit->Text(), QStringLiteral("ab\uFFFDc\uFFFD\uFFFDd"));
    }

    // The menus hold every command: a right click shows no menu of the
    // toolkit's own, and no key redoes what Undo undid.
    // Keys in a table's cells through the widget: Backspace at a cell's start
    // and Delete at its end leave the cells apart, Return makes a paragraph
    // in the cell, Undo takes typing back; Find sees the cells in reading
    // order and no word across two of them; cells selected copy as a table
    // (tab-separated plain text) and cut empties them keeping the grid; a
    // table pasted into a cell gives its text, and Undo of a pasted table
    // takes all of it away.
    void editingInCellsKeepsTheGrid() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        QTextEdit *editor = editorOf(form);
        QTextDocument *doc = editor->document();
        auto row = std::make_shared<rtf::RowDef>();
        for (int c = 1; c <= 2; ++c) {
            rtf::CellDef cell;
            cell.right = 2000 * c;
            row->cells.push_back(cell);
        }
        rtf::Document model;
        model.paragraphs.clear();
        const auto add = [&](const QString &text, int depth, bool endsCell, bool endsRow) {
            rtf::Paragraph p;
            p.runs.push_back(rtf::Run{rtf::CharFormat{}, text});
            p.depth = depth;
            p.endsCell = endsCell;
            if (endsRow) p.endsRow = row;
            model.paragraphs.push_back(p);
        };
        add(QStringLiteral("Titre"), 0, false, false);
        add(QStringLiteral("chat"), 1, true, false);
        add(QStringLiteral("noir"), 1, true, true);
        add(QStringLiteral("lune"), 1, true, false);
        add(QStringLiteral("pleine"), 1, true, true);
        add(QStringLiteral("Fin"), 0, false, false);
        QTextCursor into(doc);
        qtrich::insert(into, model, true);
        edit->SetModified(false);
        QTextTable *table = qobject_cast<QTextTable *>(doc->rootFrame()->childFrames().value(0));
        QVERIFY(table);
        const auto cellText = [&](int r, int c) {
            const QTextTableCell cell = table->cellAt(r, c);
            QTextCursor cur(doc);
            cur.setPosition(cell.firstPosition());
            cur.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
            return cur.selectedText();
        };
        const auto caretAt = [&](int position) {
            QTextCursor cur(doc);
            cur.setPosition(position);
            editor->setTextCursor(cur);
        };
        const QString grid = QStringLiteral("Titre\r\nchat\r\nnoir\r\nlune\r\npleine\r\nFin");
        QCOMPARE(edit->Text(), grid);

        // Backspace at the start of the second cell, Delete at the end of the first.
        caretAt(table->cellAt(0, 1).firstPosition());
        QTest::keyClick(editor, Qt::Key_Backspace);
        caretAt(table->cellAt(0, 0).lastPosition());
        QTest::keyClick(editor, Qt::Key_Delete);
        QCOMPARE(edit->Text(), grid);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(cellText(0, 0), QStringLiteral("chat"));
        // Return makes a paragraph inside the cell; typing there, then Undo.
        caretAt(table->cellAt(0, 1).firstPosition() + 2);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("xy"));
        QCOMPARE(cellText(0, 1), QStringLiteral("no\u2029xyir"));
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 2);
        QCOMPARE(editoraccess::Extract(edit).paragraphs.size(), size_t(7));
        QVERIFY(edit->Modified());
        while (cellText(0, 1) != QStringLiteral("noir") && doc->isUndoAvailable())
            form->Dfaire1->Click();
        QCOMPARE(edit->Text(), grid);

        // Find: reading order, and no match across a cell boundary.
        QCOMPARE(edit->FindText(QStringLiteral("lune"), 0, edit->GetTextLen(), {}),
                 int(grid.indexOf(QStringLiteral("lune"))));
        QCOMPARE(edit->FindText(QStringLiteral("chatnoir"), 0, edit->GetTextLen(), {}), -1);
        QCOMPARE(edit->FindText(QStringLiteral("noir"), 0, edit->GetTextLen(), stWholeWord),
                 int(grid.indexOf(QStringLiteral("noir"))));
        edit->SetSelStart(int(grid.indexOf(QStringLiteral("pleine"))));
        edit->SetSelLength(6);
        QCOMPARE(edit->SelText(), QStringLiteral("pleine"));

        // Cells selected: copied as a table, cut empties them.
        QTextCursor cells(doc);
        cells.setPosition(table->cellAt(0, 1).firstPosition());
        cells.setPosition(table->cellAt(1, 1).lastPosition(), QTextCursor::KeepAnchor);
        editor->setTextCursor(cells);
        QVERIFY(editor->textCursor().hasComplexSelection());
        form->Copier1->Click();
        const QMimeData *clip = QApplication::clipboard()->mimeData();
        QCOMPARE(clip->text(), QStringLiteral("noir\npleine"));
        const rtf::Document copied = rtf::read(clip->data(QStringLiteral("text/rtf")));
        QCOMPARE(copied.paragraphs.front().depth, 1);
        QVERIFY(copied.paragraphs.front().endsRow);
        QCOMPARE(copied.paragraphs.front().endsRow->cells.size(), size_t(1));
        // Two rows of two cells: a row a line, its cells by a tab, in the
        // text and in the RTF alike.
        QTextCursor square(doc);
        square.setPosition(table->cellAt(0, 0).firstPosition());
        square.setPosition(table->cellAt(1, 1).lastPosition(), QTextCursor::KeepAnchor);
        editor->setTextCursor(square);
        form->Copier1->Click();
        const QString rows = QStringLiteral("chat\tnoir\nlune\tpleine");
        QCOMPARE(QApplication::clipboard()->mimeData()->text(), rows);
        QCOMPARE(rtf::read(QApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf")))
                     .plainText(),
                 rows);
        editor->setTextCursor(cells);
        form->Couper1->Click();
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 2);
        QCOMPARE(edit->Text(), QStringLiteral("Titre\r\nchat\r\n\r\nlune\r\n\r\nFin"));
        form->Dfaire1->Click();
        QCOMPARE(edit->Text(), grid);

        // A table pasted into a cell: its text, as paragraphs of the cell.
        auto *html = new QMimeData;
        html->setHtml(QStringLiteral("<table><tr><td>un</td><td>deux</td></tr></table>"));
        QApplication::clipboard()->setMimeData(html);
        caretAt(table->cellAt(1, 0).lastPosition());
        form->Coller1->Click();
        QCOMPARE(doc->rootFrame()->childFrames().size(), 1);
        QVERIFY(table->childFrames().isEmpty());
        QCOMPARE(cellText(1, 0), QStringLiteral("luneun\u2029deux"));
        form->Dfaire1->Click();
        QCOMPARE(edit->Text(), grid);
        // Pasted after the table: a table of its own, gone whole with Undo.
        html = new QMimeData;
        html->setHtml(QStringLiteral("<table><tr><td>un</td><td>deux</td></tr></table>"));
        QApplication::clipboard()->setMimeData(html);
        caretAt(doc->characterCount() - 1);
        form->Coller1->Click();
        QCOMPARE(doc->rootFrame()->childFrames().size(), 2);
        form->Dfaire1->Click();
        QCOMPARE(doc->rootFrame()->childFrames().size(), 1);
        QCOMPARE(edit->Text(), grid);
    }

    // Cells selected with Shift and the arrow keys, from inside a cell of a
    // table read from RTF, in a document much longer than the table: each
    // Shift+Down adds a row and Shift+Up takes one back, Shift+Left and
    // Shift+Right a column; Ctrl+C copies the cells selected, a row a line
    // and its cells by a tab, the bold words bold and nothing else bold, and
    // the RTF a table of those cells.
    void cellSelectionByKeys() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        QTextEdit *editor = editorOf(form);
        QTemporaryDir dir;
        const QString in = dir.filePath(QStringLiteral("grille.rtf"));
        QFile file(in);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray rtf = "{\\rtf1\\ansi Avant le tableau\\par\n";
        const char *cells[4][3] = {{"a1", "{\\b gras} b1", "c1"},
                                   {"a2", "b2 {\\b fort}\\par fin", "c2"},
                                   {"a3", "b3", "c3"},
                                   {"a4", "b4", "c4"}};
        for (const auto &row : cells) {
            rtf += "\\trowd\\cellx2000\\cellx4000\\cellx6000\n";
            for (const char *cell : row)
                rtf += QByteArray("\\intbl ") + cell + "\\cell\n";
            rtf += "\\row\n";
        }
        rtf += "\\pard ";
        for (int k = 0; k < 40; ++k)
            rtf += "Un paragraphe apr\\'e8s le tableau, pour que la grille en soit une petite "
                   "part.\\par\n";
        file.write(rtf + "}");
        file.close();
        QVERIFY(edit->Lines->LoadFromFile(in));
        QTextDocument *doc = editor->document();
        QTextTable *table = qobject_cast<QTextTable *>(doc->rootFrame()->childFrames().value(0));
        QVERIFY(table);
        QCOMPARE(table->rows(), 4);
        QCOMPARE(table->columns(), 3);
        // The cells the editor's selection covers: "row rows column columns".
        const auto selected = [&] {
            int row = -1, rows = 0, column = -1, columns = 0;
            editor->textCursor().selectedTableCells(&row, &rows, &column, &columns);
            return QStringLiteral("%1 %2 %3 %4").arg(row).arg(rows).arg(column).arg(columns);
        };
        editor->setFocus();
        QTextCursor start(doc);
        start.setPosition(table->cellAt(0, 0).firstPosition() + 1);
        editor->setTextCursor(start);
        // Each step: Shift with an arrow so many times, then the cells selected.
        const struct {
            Qt::Key key;
            int times;
            const char *cells;
        } steps[] = {
            {Qt::Key_Right, 2, "0 1 0 2"}, // the end of "a1", then into the next cell
            {Qt::Key_Down, 1, "0 2 0 2"},  {Qt::Key_Down, 1, "0 3 0 2"},
            {Qt::Key_Down, 1, "0 4 0 2"},  {Qt::Key_Up, 2, "0 2 0 2"},
            {Qt::Key_Right, 1, "0 2 0 3"}, {Qt::Key_Left, 2, "0 2 0 1"},
            {Qt::Key_Left, 1, "0 2 0 1"}, // the first column: nowhere further left
            {Qt::Key_Right, 1, "0 2 0 2"},
        };
        for (const auto &step : steps) {
            for (int k = 0; k < step.times; ++k)
                QTest::keyClick(editor, step.key, Qt::ShiftModifier);
            QCOMPARE(selected(), QLatin1String(step.cells));
        }

        QApplication::clipboard()->clear();
        QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
        const QMimeData *clip = QApplication::clipboard()->mimeData();
        QVERIFY(clip);
        QCOMPARE(clip->text(), QStringLiteral("a1\tgras b1\na2\tb2 fort fin"));
        const rtf::Document copied = rtf::read(clip->data(QStringLiteral("text/rtf")));
        QString bold;
        QStringList rows;
        QString line;
        for (const rtf::Paragraph &p : copied.paragraphs) {
            QCOMPARE(p.depth, 1);
            for (const rtf::Run &r : p.runs) {
                line += r.text;
                if (r.format.bold) bold += QLatin1Char('[') + r.text + QLatin1Char(']');
            }
            if (p.endsCell) line += QLatin1Char('|');
            if (p.endsRow) {
                QCOMPARE(p.endsRow->cells.size(), size_t(2));
                rows << line;
                line.clear();
            }
        }
        QCOMPARE(rows,
                 QStringList({QStringLiteral("a1|gras b1|"), QStringLiteral("a2|b2 fortfin|")}));
        QCOMPARE(bold, QStringLiteral("[gras][fort]"));

        // A letter typed over the cells selected empties them and goes into
        // the first of them; Undo gives them back at once.
        QTest::keyClicks(editor, QStringLiteral("Z"));
        QCOMPARE(table->rows(), 4);
        const auto cellText = [&](int r, int c) {
            QTextCursor in = table->cellAt(r, c).firstCursorPosition();
            in.setPosition(table->cellAt(r, c).lastPosition(), QTextCursor::KeepAnchor);
            return in.selectedText();
        };
        QCOMPARE(cellText(0, 0), QStringLiteral("Z"));
        QCOMPARE(cellText(0, 1) + cellText(1, 0) + cellText(1, 1), QString());
        QCOMPARE(cellText(0, 2), QStringLiteral("c1"));
        QCOMPARE(editor->textCursor().position(), table->cellAt(0, 0).firstPosition() + 1);
        form->Dfaire1->Click();
        QCOMPARE(cellText(0, 0) + cellText(0, 1), QStringLiteral("a1gras b1"));
    }

    void noContextMenuNorRedo() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        QTextEdit *editor = editorOf(form);
        editor->setFocus();
        QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QStringLiteral("mot"), {});
        form->Dfaire1->Click();
        QCOMPARE(form->RichEdit1->Text(), QString());
        for (const QKeySequence &redo : QKeySequence::keyBindings(QKeySequence::Redo)) {
            QTest::keySequence(editor, redo);
            QCOMPARE(form->RichEdit1->Text(), QString());
        }
        bool menuShown = false;
        QTimer::singleShot(200, [&] {
            if (QWidget *popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        const QPoint at = editor->viewport()->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->viewport()->mapToGlobal(at));
        QApplication::sendEvent(editor->viewport(), &event);
        QTest::qWait(300);
        QVERIFY(!menuShown);
    }

    // Copy puts the range as it was on the clipboard, whatever happens to the
    // document afterwards: for ranges starting and ending inside runs, across
    // paragraphs, just after a break, each character keeps its text and format.
    void copiedRichTextIsTheRangeAsCopied() {
        FormFixture f;
        TForm1 *form = f.form;
        rtf::Document source;
        source.paragraphs.clear();
        for (int p = 0; p < 5; ++p) {
            rtf::Paragraph para;
            para.format.align = p == 2 ? rtf::Align::Center : rtf::Align::Left;
            for (int r = 0; p != 3 && r < 4; ++r) {
                rtf::CharFormat c;
                c.bold = (p + r) % 2;
                c.color = r == 2 ? 0x0000C0 : rtf::NoColor;
                c.halfPoints = 20 + 4 * r;
                QString text = QStringLiteral("p%1r%2 été").arg(p).arg(r);
                if (p == 1 && r == 1) text += QChar(0x2028) + QStringLiteral("suite");
                para.runs.push_back(rtf::Run{c, text});
            }
            source.paragraphs.push_back(para);
        }
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("source.rtf"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(rtf::write(source));
        out.close();
        form->RichEdit1->Lines->LoadFromFile(file);

        QTextEdit *editor = editorOf(form);
        QTextDocument *doc = editor->document();
        const int length = doc->characterCount() - 1;
        // Each character of [from, to): the character, bold, colour and size;
        // a paragraph break as '|'.
        const auto characters = [](QTextDocument *d, int from, int to) {
            QStringList out;
            for (int p = from; p < to; ++p) {
                const QChar c = d->characterAt(p);
                if (c == QChar::ParagraphSeparator) {
                    out << QStringLiteral("|");
                    continue;
                }
                QTextCursor at(d);
                at.setPosition(p + 1);
                const QTextCharFormat cf = at.charFormat();
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(c == QChar::LineSeparator ? QChar(u'/') : c)
                           .arg(cf.fontWeight() >= QFont::Bold)
                           .arg(cf.foreground().style() == Qt::NoBrush
                                    ? QStringLiteral("auto")
                                    : cf.foreground().color().name())
                           .arg(cf.fontPointSize());
            }
            return out;
        };
        const int secondBreak = doc->findBlockByNumber(2).position();
        const QList<QPair<int, int>> ranges{{0, length},
                                            {3, 17},
                                            {5, secondBreak + 4},
                                            {secondBreak - 1, secondBreak},
                                            {secondBreak, length - 2},
                                            {length - 1, length}};
        for (const auto &[from, to] : ranges) {
            const QStringList expected = characters(doc, from, to);
            QTextCursor cur(doc);
            cur.setPosition(from);
            cur.setPosition(to, QTextCursor::KeepAnchor);
            editor->setTextCursor(cur);
            form->Copier1->Click();
            // The document changes before anybody pastes.
            const QString before = form->RichEdit1->Text();
            const auto toEditor = [&](int p) { return editoraccess::ToEditor(form->RichEdit1, p); };
            const QString plain = before.mid(toEditor(from), toEditor(to) - toEditor(from))
                                      .replace(QLatin1String("\r\n"), QLatin1String("\n"));
            form->RichEdit1->SetSelStart(0);
            form->RichEdit1->SetSelText(QStringLiteral("changé "));

            const QByteArray copied =
                QApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf"));
            QTextDocument pasted;
            QTextCursor into(&pasted);
            qtrich::insert(into, rtf::read(copied), true);
            QCOMPARE(characters(&pasted, 0, pasted.characterCount() - 1), expected);
            QCOMPARE(QApplication::clipboard()->text(), plain);
            form->Dfaire1->Click();
            QCOMPARE(form->RichEdit1->Text(), before);
        }

        // Text copied out of a text box is text: its shape goes along only
        // with all of the box's text, and a paste of part of it makes no
        // second shape in the file.
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("{\\rtf1\\ansi avant {\\shp{\\*\\shpinst\\shpleft0\\shpright2000{\\shptxt "
                  "dans la boite\\par encore\\par}}}apres\\par}");
        out.close();
        form->RichEdit1->Lines->LoadFromFile(file);
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("avant dans la boite\r\nencore\r\napres"));
        const auto copy = [&](int from, int to) {
            form->RichEdit1->SetSelStart(from);
            form->RichEdit1->SetSelLength(to - from);
            form->Copier1->Click();
            return QApplication::clipboard()->mimeData()->data(QStringLiteral("text/rtf"));
        };
        const QByteArray part = copy(11, 24); // "la boite", the break, "enc"
        QVERIFY2(!part.contains("shp") && part.contains("la boite") && part.contains("enc"),
                 part.constData());
        QVERIFY(!copy(0, 8).contains("shp"));   // "avant da"
        QVERIFY(!copy(24, 32).contains("shp")); // "ore", the break, "apr"
        QVERIFY(copy(0, form->RichEdit1->GetTextLen()).contains("\\shptxt"));
        copy(11, 24);
        form->RichEdit1->SetSelStart(form->RichEdit1->GetTextLen());
        form->Coller1->Click();
        QCOMPARE(form->RichEdit1->Text(),
                 QStringLiteral("avant dans la boite\r\nencore\r\napresla boite\r\nenc"));
        const QString saved = dir.filePath(QStringLiteral("copie.rtf"));
        form->RichEdit1->Lines->SaveToFile(saved);
        QFile back(saved);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll().count("\\shptxt"), 1);
    }

    // The menu's keys work wherever the focus is, and run once.
    void shortcutsReachTheMenuOnce() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        QWidget *window = form->Widget();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        for (bool focused : {false, true}) {
            edit->SetText(QStringLiteral("abc"));
            editorOf(form)->document()->clearUndoRedoStacks();
            if (focused) {
                edit->SetFocus();
                QVERIFY(edit->Focused());
            } else if (QWidget *w = QApplication::focusWidget()) {
                w->clearFocus();
            }
            QCOMPARE(edit->Focused(), focused);
            QWidget *target = focused ? edit->Widget() : window;
            QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(edit->SelLength(), 3);
            QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc"));
            edit->SetSelStart(3);
            QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(edit->Text(), QStringLiteral("abcabc")); // pasted once
            QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(edit->Text(), QStringLiteral("abc")); // one step undone
            QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(target, Qt::Key_X, Qt::ControlModifier);
            QCOMPARE(edit->Text(), QString());
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc"));
            QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(edit->Text(), QStringLiteral("abc"));
        }
    }

    void findWalksThroughMatches() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        edit->SetText(QStringLiteral("Le chat.\nUn Chat noir\n\nle chat, encore un chat"));
        // The first Find searches for the empty text: nothing changes.
        edit->SetSelStart(3);
        form->Chercher1->Click();
        QCOMPARE(edit->SelStart(), 3);
        QCOMPARE(edit->SelLength(), 0);
        FindDialogWidget *w = findWidget(form->FindDialog1);
        QVERIFY(w && w->isVisible());
        checkDialogPlace(w, form->Widget());
        if (QTest::currentTestFailed()) return;
        QCOMPARE(form->FindDialog1->Position(),
                 (TPoint{w->frameGeometry().x(), w->frameGeometry().y()}));
        // The dialog people know, in French.
        QStringList labels;
        for (QLabel *l : w->findChildren<QLabel *>())
            labels << l->text().remove(QLatin1Char('&'));
        QVERIFY(labels.contains(QStringLiteral("Rechercher :")));
        QCOMPARE(w->wholeWord->text().remove(QLatin1Char('&')), QStringLiteral("Mot entier"));
        QCOMPARE(w->matchCase->text().remove(QLatin1Char('&')),
                 QStringLiteral("Respecter la casse"));
        QCOMPARE(w->up->text().remove(QLatin1Char('&')), QStringLiteral("Haut"));
        QCOMPARE(w->down->text().remove(QLatin1Char('&')), QStringLiteral("Bas"));
        QCOMPARE(w->findNext->text().remove(QLatin1Char('&')), QStringLiteral("Suivant"));
        QCOMPARE(w->cancel->text(), QStringLiteral("Annuler"));

        // Type a text: successive Finds walk through the matches, case-sensitive
        // whatever the box says, across line breaks.
        w->findEdit->setText(QStringLiteral("chat"));
        w->matchCase->setChecked(false);
        const QString all = edit->Text();
        QList<int> expected;
        for (int i = int(all.indexOf(QStringLiteral("chat"))); i >= 0;
             i = int(all.indexOf(QStringLiteral("chat"), i + 1)))
            expected << i;
        QCOMPARE(expected.size(), 3);
        edit->SetSelStart(0);
        edit->SetSelLength(0);
        for (int at : expected) {
            form->Chercher1->Click();
            QCOMPARE(edit->SelStart(), at);
            QCOMPARE(edit->SelLength(), 4);
            QCOMPARE(edit->SelText(), QStringLiteral("chat"));
            QVERIFY(edit->Focused());
        }
        // After the last: nothing moves, no wrap-around.
        form->Chercher1->Click();
        QCOMPARE(edit->SelStart(), expected.last());
        QCOMPARE(edit->SelLength(), 4);
        // The find-next button starts nothing; the dialog stays with its text.
        edit->SetSelStart(0);
        w->findNext->click();
        QCOMPARE(edit->SelLength(), 0);
        QVERIFY(w->isVisible());
        QCOMPARE(form->FindDialog1->FindText(), QStringLiteral("chat"));
        // With nothing selected the search starts at the beginning, not the caret.
        edit->SetSelStart(int(all.size()) - 2);
        form->Chercher1->Click();
        QCOMPARE(edit->SelStart(), expected.first());
        // A text found only in another case is not found.
        w->findEdit->setText(QStringLiteral("CHAT"));
        edit->SetSelStart(0);
        form->Chercher1->Click();
        QCOMPARE(edit->SelLength(), 0);
        QCOMPARE(edit->SelStart(), 0);
        // Opened again from the document, still open or closed before: in
        // front with the keys, its text selected to be typed over.
        QTest::qWait(300); // the editor's last taking back of the keys from a Find is over
        for (bool closed : {false, true}) {
            if (closed) w->cancel->click();
            w->findEdit->deselect();
            form->Widget()->activateWindow();
            editorOf(form)->setFocus();
            QTRY_VERIFY(form->Widget()->isActiveWindow());
            form->Chercher1->Click();
            QTRY_VERIFY(w->isActiveWindow());
            QTRY_VERIFY(w->findEdit->hasFocus());
            QCOMPARE(w->findEdit->selectedText(), QStringLiteral("CHAT"));
        }
    }

#ifndef PAVELIN_EARLIER
    void replaceActsOnTheSelection() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        edit->SetText(QStringLiteral("Bonjour Salut\nmonde"));
        form->Remplacer1->Click();
        FindDialogWidget *w = findWidget(form->ReplaceDialog1);
        QVERIFY(w && w->isVisible());
        checkDialogPlace(w, form->Widget());
        if (QTest::currentTestFailed()) return;
        QCOMPARE(w->findEdit->text(), QStringLiteral("Salut"));
        QCOMPARE(w->replaceEdit->text(), QStringLiteral("l"));
        QStringList labels;
        for (QLabel *l : w->findChildren<QLabel *>())
            labels << l->text().remove(QLatin1Char('&'));
        QVERIFY(labels.contains(QStringLiteral("Remplacer par :")));
        QCOMPARE(w->replaceButton->text().remove(QLatin1Char('&')), QStringLiteral("Remplacer"));
        QCOMPARE(w->replaceAll->text().remove(QLatin1Char('&')), QStringLiteral("Remplacer tout"));
        // Replace: the selected word becomes the replace text, whatever the find text.
        edit->SetSelStart(0);
        edit->SetSelLength(7);
        w->replaceEdit->setText(QStringLiteral("Bonsoir"));
        w->replaceButton->click();
        QCOMPARE(edit->Text(), QStringLiteral("Bonsoir Salut\r\nmonde"));
        QVERIFY(edit->Modified());
        // Replace All with nothing selected inserts once at the caret.
        edit->SetSelStart(15);
        w->replaceEdit->setText(QStringLiteral("le "));
        w->replaceAll->click();
        QCOMPARE(edit->Text(), QStringLiteral("Bonsoir Salut\r\nle monde"));
        QCOMPARE(edit->SelStart(), 18);
        // An empty replace text deletes the selection; the find-next button does nothing.
        edit->SetSelStart(7);
        edit->SetSelLength(6);
        w->replaceEdit->clear();
        w->findNext->click();
        QCOMPARE(edit->Text(), QStringLiteral("Bonsoir Salut\r\nle monde"));
        w->replaceButton->click();
        QCOMPARE(edit->Text(), QStringLiteral("Bonsoir\r\nle monde"));
        // Both dialogs stay open and keep their texts.
        form->SpeedButton11->Click();
        QCOMPARE(w->findEdit->text(), QStringLiteral("Salut"));
        QVERIFY(w->isVisible());
        w->cancel->click();
        QVERIFY(!w->isVisible());
        form->SpeedButton11->Click();
        QVERIFY(w->isVisible());
    }
#else
    void earlierReplaceIsOneShot() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        edit->SetText(QStringLiteral("Salut Paul.\nsalut et Salut encore, Salut !"));
        edit->SetModified(false);
        if (QWidget *focus = QApplication::focusWidget()) focus->clearFocus();
        form->Remplacer1->Click();
        FindDialogWidget *w = findWidget(form->ReplaceDialog1);
        QVERIFY(w && w->isVisible());
        QCOMPARE(edit->Text(), QStringLiteral("l Paul.\r\nsalut et Salut encore, Salut !"));
        QVERIFY(edit->Modified());
        QVERIFY(!edit->Focused());
        // Each use replaces the first remaining occurrence, case-sensitively,
        // positions agreeing across the line break.
        form->Remplacer1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("l Paul.\r\nsalut et l encore, Salut !"));
        form->Remplacer1->Click();
        form->Remplacer1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("l Paul.\r\nsalut et l encore, l !"));
        // Texts typed into the dialog apply from the next use.
        w->findEdit->setText(QStringLiteral("Paul"));
        w->replaceEdit->setText(QStringLiteral("Pierre"));
        form->Remplacer1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("l Pierre.\r\nsalut et l encore, l !"));
        // The dialog's own buttons do nothing in this configuration.
        edit->SetSelStart(0);
        edit->SetSelLength(1);
        w->replaceButton->click();
        w->replaceAll->click();
        QCOMPARE(edit->Text(), QStringLiteral("l Pierre.\r\nsalut et l encore, l !"));
        // An empty find text or one not present changes nothing.
        w->findEdit->clear();
        form->Remplacer1->Click();
        w->findEdit->setText(QStringLiteral("absent"));
        form->Remplacer1->Click();
        QCOMPARE(edit->Text(), QStringLiteral("l Pierre.\r\nsalut et l encore, l !"));
    }
#endif

    void wordWrapTogglesAndKeepsEverything() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        TRichEdit *edit = form->RichEdit1;
        edit->SetText(QString(300, QLatin1Char('x')) + QStringLiteral(" fin"));
        QTextCursor cur(editorOf(form)->document());
        cur.setPosition(0);
        cur.setPosition(3, QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cur.mergeCharFormat(bold);
        edit->SetModified(true);
        QVERIFY(edit->WordWrap());
        form->Retourautomatiquelaligne1->Click();
        QVERIFY(!edit->WordWrap());
        QVERIFY(edit->Modified());
        QApplication::processEvents();
        QVERIFY(editorOf(form)->horizontalScrollBar()->maximum() > 0); // long lines scroll
        form->Retourautomatiquelaligne1->Click();
        QVERIFY(edit->WordWrap());
        QVERIFY(edit->Modified());
        QCOMPARE(edit->Text(), QString(300, QLatin1Char('x')) + QStringLiteral(" fin"));
        QTextCursor at(editorOf(form)->document());
        at.setPosition(1);
        QVERIFY(at.charFormat().fontWeight() >= QFont::Bold);
        edit->SetModified(false);
        form->Retourautomatiquelaligne1->Click();
        QVERIFY(!edit->Modified());
        QVERIFY(!form->Retourautomatiquelaligne1->Checked());
        // The view stays on the caret, far down a long text, both ways.
        QStringList lines;
        for (int i = 0; i < 400; ++i)
            lines << QStringLiteral("ligne %1 ").arg(i).repeated(40);
        edit->SetText(lines.join(QLatin1Char('\n')));
        QTextEdit *view = editorOf(form);
        view->moveCursor(QTextCursor::End);
        view->ensureCursorVisible();
        for (int toggle = 0; toggle < 2; ++toggle) {
            form->Retourautomatiquelaligne1->Click();
            QApplication::processEvents();
            QVERIFY2(view->viewport()->rect().contains(view->cursorRect().center()),
                     qPrintable(QStringLiteral("wrap %1: caret at %2, view %3 high")
                                    .arg(edit->WordWrap())
                                    .arg(view->cursorRect().y())
                                    .arg(view->viewport()->height())));
        }
        // A wide table, then a new document: nothing left to scroll to.
        form->Retourautomatiquelaligne1->Click();
        QVERIFY(edit->WordWrap());
        QTemporaryDir dir;
        QFile wide(dir.filePath(QStringLiteral("large.rtf")));
        QVERIFY(wide.open(QIODevice::WriteOnly));
        wide.write("{\\rtf1\\trowd\\cellx30000\\pard\\intbl large\\cell\\row}");
        wide.close();
        QVERIFY(edit->Lines->LoadFromFile(wide.fileName()));
        QApplication::processEvents();
        QVERIFY(view->horizontalScrollBar()->maximum() > 0);
        form->Nouveau1->Click();
        QApplication::processEvents();
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
    }

    void fontDialogCancelAndConfirm() {
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        QString shownFace, shownSize, letters;
        bool sizeFits = false;
        answerModal([&](QDialog *d) {
            shownFace = d->findChild<QComboBox *>(QStringLiteral("face"))->currentText();
            auto *size = d->findChild<QComboBox *>(QStringLiteral("size"));
            shownSize = size->currentText();
            sizeFits = size->lineEdit()->width() >=
                       size->lineEdit()->fontMetrics().horizontalAdvance(QStringLiteral("1638"));
            // The letters that Alt takes to each field.
            for (const QWidget *w : d->findChildren<QWidget *>()) {
                const auto *label = qobject_cast<const QLabel *>(w);
                const auto *box = qobject_cast<const QAbstractButton *>(w);
                const QString text = label ? label->text() : box ? box->text() : QString();
                const qsizetype amp = text.indexOf(QLatin1Char('&'));
                if (amp >= 0 && amp + 1 < text.size()) letters += text[amp + 1].toLower();
            }
            d->reject();
        });
        form->Police1->Click();
        QCOMPARE(shownFace, QStringLiteral("MS Sans Serif"));
        QCOMPARE(shownSize, QStringLiteral("8"));
        QVERIFY(sizeFits);
        QVERIFY2(letters.size() >= 7, qPrintable(letters));
        for (QChar c : letters)
            QVERIFY2(letters.count(c) == 1, qPrintable(letters));
        QCOMPARE(form->RichEdit1->Font(), TFont{});

        // Confirm DejaVu Serif 14, bold italic, underlined, struck out, red, Greek.
        answerModal([&](QDialog *d) {
            d->findChild<QComboBox *>(QStringLiteral("face"))
                ->setCurrentText(QStringLiteral("DejaVu Serif"));
            d->findChild<QComboBox *>(QStringLiteral("size"))->setCurrentText(QStringLiteral("14"));
            d->findChild<QListWidget *>(QStringLiteral("style"))->setCurrentRow(3);
            d->findChild<QCheckBox *>(QStringLiteral("underline"))->setChecked(true);
            d->findChild<QCheckBox *>(QStringLiteral("strike"))->setChecked(true);
            auto *color = d->findChild<QComboBox *>(QStringLiteral("color"));
            color->setCurrentIndex(color->findText(QStringLiteral("Rouge")));
            auto *script = d->findChild<QComboBox *>(QStringLiteral("script"));
            script->setCurrentIndex(script->findText(QStringLiteral("Grec")));
            QMetaObject::invokeMethod(d, "accept");
        });
        form->SpeedButton7->Click();
        const TFont font = form->RichEdit1->Font();
        QCOMPARE(font.Name, QStringLiteral("DejaVu Serif"));
        QCOMPARE(font.Size(), 14);
        QCOMPARE(font.Style, TFontStyles(fsBold | fsItalic | fsUnderline | fsStrikeOut));
        QCOMPARE(font.Color, clRed);
        QCOMPARE(font.Charset, 161);
        const QFont shown = editorOf(form)->font();
        QCOMPARE(shown.family(), QStringLiteral("DejaVu Serif"));
        QVERIFY(shown.bold() && shown.italic() && shown.underline() && shown.strikeOut());
        QCOMPARE(editorOf(form)->palette().color(QPalette::Text), QColor(255, 0, 0));

        // Cancel now: nothing changes; reopening shows the last confirmed font.
        answerModal([&](QDialog *d) {
            shownFace = d->findChild<QComboBox *>(QStringLiteral("face"))->currentText();
            d->findChild<QComboBox *>(QStringLiteral("face"))
                ->setCurrentText(QStringLiteral("DejaVu Sans"));
            d->reject();
        });
        form->Police1->Click();
        QCOMPARE(shownFace, QStringLiteral("DejaVu Serif"));
        QCOMPARE(form->RichEdit1->Font(), font);
        QCOMPARE(form->FontDialog1->Font, font);
    }

    void printToPdfThroughTheDialog() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        FormFixture f;
        TForm1 *form = f.form;
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("sortie.pdf"));
        CurrentPrinter().setOutputFormat(QPrinter::PdfFormat);
        CurrentPrinter().setOutputFileName(pdf);
        form->RichEdit1->SetText(QStringLiteral("Lettre à imprimer\nDeuxième ligne"));
        // Cancelled: nothing printed.
        answerModal([](QDialog *d) { d->reject(); });
        form->Imprimer1->Click();
        QVERIFY(!QFile::exists(pdf));
        // Confirmed: the whole text is printed, with an empty job title.
        bool wasPrintDialog = false;
        answerModal([&](QDialog *d) {
            wasPrintDialog = qobject_cast<QPrintDialog *>(d) != nullptr;
            QMetaObject::invokeMethod(d, "accept");
        });
        form->SpeedButton9->Click();
        QVERIFY(wasPrintDialog);
        QVERIFY(QFile::exists(pdf));
        const QString text = pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("Lettre à imprimer")) &&
                     text.contains(QStringLiteral("Deuxième ligne")),
                 qPrintable(text));
        QCOMPARE(CurrentPrinter().docName(), QString());

        // A page range past the end, or several copies, chosen in the dialog:
        // still the whole document, once.
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()) return;
        QString letter;
        for (int i = 0; i < 150; ++i)
            letter += QStringLiteral("Ligne %1 de la lettre\n").arg(i);
        form->RichEdit1->SetText(letter);
        form->RichEdit1->Print(QString());
        const int pages = pdfPages(pdf);
        QVERIFY(pages >= 2);
        QFile::remove(pdf);
        answerModal([&](QDialog *d) {
            if (auto *range = d->findChild<QRadioButton *>(QStringLiteral("printRange")))
                range->setChecked(true);
            if (auto *from = d->findChild<QSpinBox *>(QStringLiteral("from")))
                from->setValue(pages + 10);
            if (auto *to = d->findChild<QSpinBox *>(QStringLiteral("to"))) to->setValue(pages + 20);
            if (auto *copies = d->findChild<QSpinBox *>(QStringLiteral("copies")))
                copies->setValue(3);
            QMetaObject::invokeMethod(d, "accept");
        });
        form->Imprimer1->Click();
        QCOMPARE(pdfPages(pdf), pages);
        QVERIFY(pdfText(pdf).contains(QStringLiteral("Ligne 149")));
    }

    void printerSetupChangesLaterPrinting() {
        FormFixture f;
        TForm1 *form = f.form;
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("paysage.pdf"));
        CurrentPrinter().setOutputFormat(QPrinter::PdfFormat);
        CurrentPrinter().setOutputFileName(pdf);
        for (int use = 0; use < 2; ++use) {
            answerModal([&](QDialog *d) {
                QCOMPARE(d->objectName(), QStringLiteral("printerSetupDialog"));
                d->findChild<QRadioButton *>(QStringLiteral("landscape"))->setChecked(use == 0);
                d->findChild<QRadioButton *>(QStringLiteral("portrait"))->setChecked(use == 1);
                auto *paper = d->findChild<QComboBox *>(QStringLiteral("paper"));
                paper->setCurrentIndex(
                    paper->findData(int(use == 0 ? QPageSize::A5 : QPageSize::Letter)));
                d->findChild<QDoubleSpinBox *>(QStringLiteral("left"))->setValue(30 + use);
                QMetaObject::invokeMethod(d, "accept");
            });
            form->SpeedButton10->Click();
            const QPageLayout layout = CurrentPrinter().pageLayout();
            QCOMPARE(layout.orientation(),
                     use == 0 ? QPageLayout::Landscape : QPageLayout::Portrait);
            QCOMPARE(layout.pageSize().id(), use == 0 ? QPageSize::A5 : QPageSize::Letter);
            QCOMPARE(qRound(layout.margins(QPageLayout::Millimeter).left()), 30 + use);
        }
        // Cancelled: the settings stay.
        answerModal([](QDialog *d) { d->reject(); });
        form->Configurationdelimprimante1->Click();
        QCOMPARE(CurrentPrinter().pageLayout().pageSize().id(), QPageSize::Letter);
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty()) return;
        form->RichEdit1->SetText(QStringLiteral("Page lettre US"));
        form->RichEdit1->Print(QString());
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        info.waitForFinished(30000);
        QVERIFY(
            QString::fromUtf8(info.readAllStandardOutput()).contains(QStringLiteral("612 x 792")));
    }
};

QTEST_MAIN(TestEditing)
#include "test_editing.moc"
