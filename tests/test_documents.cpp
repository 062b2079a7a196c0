// SPDX-License-Identifier: GPL-3.0-or-later
// New, Open, Save and Save As through the real dialogs: the save prompt, the
// save name, the modified flag, encodings, and saving that never loses a file.
// Run as an ordinary user (see CMakeLists.txt), so that permissions hold.
#include "core/docfile.h"
#include "core/rtf.h"
#include "helpers.h"
#include "platform/blocklayout.h"
#include "platform/editoraccess.h"
#include "platform/listformat.h"
#include "platform/printing.h"
#include "platform/progress.h"
#include "platform/richconvert.h"
#include "platform/tableformat.h"
#include "procfiles.h"

#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextList>
#include <QTextTable>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing;

namespace {
QByteArray readFile(const QString &name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
void writeFile(const QString &name, const QByteArray &data) {
    QVERIFY2(procfiles::writeFile(name, data), qPrintable(name));
}
using procfiles::peakMemoryKiB;

// Types into the editor as a user would, which sets the modified flag.
// A paragraph of the model: text, its depth in tables, the cell and row it ends.
rtf::Paragraph para(const QString &text, int depth = 0, bool endsCell = false,
                    std::shared_ptr<const rtf::RowDef> endsRow = nullptr) {
    rtf::Paragraph p;
    if (!text.isEmpty()) p.runs.push_back(rtf::Run{rtf::CharFormat{}, text});
    p.depth = depth;
    p.endsCell = endsCell || endsRow;
    p.endsRow = std::move(endsRow);
    return p;
}

// A row of `cells` cells 1440 twips wide from `left`, the second with a border
// and shading, the first of its row marked as a header.
std::shared_ptr<const rtf::RowDef> rowOf(int cells, int left = 0) {
    auto row = std::make_shared<rtf::RowDef>();
    row->left = left;
    row->gap = 108;
    row->header = true;
    for (int c = 0; c < cells; ++c) {
        rtf::CellDef cell;
        cell.right = left + 1440 * (c + 1);
        if (c == 1) {
            cell.top = {rtf::BorderStyle::Single, 15, 0x112233};
            cell.shading = 0xEEDDCC;
            cell.align = rtf::CellAlign::Center;
        }
        row->cells.push_back(cell);
    }
    return row;
}

QString textOf(const rtf::Paragraph &p) {
    QString t;
    for (const rtf::Run &r : p.runs)
        t += r.text;
    return t;
}

// The paragraphs as "text|depth|cell|row" lines, a row's definition by its cells' edges.
QStringList shape(const rtf::Document &doc) {
    QStringList out;
    for (const rtf::Paragraph &p : doc.paragraphs) {
        QString line = QStringLiteral("%1|%2|%3").arg(textOf(p)).arg(p.depth).arg(p.endsCell);
        if (p.endsRow) {
            line += QLatin1Char('|');
            for (const rtf::CellDef &c : p.endsRow->cells)
                line += QString::number(c.right) + QLatin1Char(' ');
        }
        out << line;
    }
    return out;
}

void type(TForm1 *form, const QString &text) {
    auto *editor = editoraccess::Widget(form->RichEdit1);
    QTextCursor cur = editor->textCursor();
    cur.movePosition(QTextCursor::End);
    editor->setTextCursor(cur);
    for (QChar c : text) {
        if (c == QLatin1Char('\n')) {
            QTest::keyClick(editor, Qt::Key_Return);
        } else {
            QTest::sendKeyEvent(QTest::Press, editor, Qt::Key_unknown, QString(c), {});
        }
    }
}
} // namespace

class TestDocuments : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }

    // The process's address space is bounded to what it uses now and `more`
    // bytes; the bound can be lifted again (up to the hard limit).
    static void boundMemory(qint64 more) {
        QFile statm(QStringLiteral("/proc/self/statm"));
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const qint64 used =
            statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
        QVERIFY(used > 0);
        struct rlimit limit {};
        QCOMPARE(::getrlimit(RLIMIT_AS, &limit), 0);
        limit.rlim_cur = more < 0 ? limit.rlim_max : rlim_t(used + more);
        QCOMPARE(::setrlimit(RLIMIT_AS, &limit), 0);
    }

    // The bounded side of memoryRunsOut: one task, in this process alone.
    void underMemoryBound(const QString &task) {
        const QString file = qEnvironmentVariable("PAVELIN_MEMORY_FILE");
        const qint64 megabytes = qEnvironmentVariableIntValue("PAVELIN_MEMORY_MB");
        const QString target = path(QStringLiteral("lettre.txt"));
        writeFile(target, "ancien");
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        BoxWatch boxes(QMessageBox::No);
        if (task == QLatin1String("open")) {
            type(form, QStringLiteral("travail en cours"));
            boundMemory(qint64(200) << 20);
            answerFileDialog(file);
            form->Ouvrir1->Click();
            if (megabytes < 10) {           // fits: opened whole
                QCOMPARE(boxes.count(), 1); // the save prompt alone
                QVERIFY(form->RichEdit1->GetTextLen() > (megabytes << 20) / 2);
            } else {
                QCOMPARE(boxes.count(), 2);
                QVERIFY2(boxes.texts[1].startsWith(
                             QStringLiteral("Mémoire insuffisante pour ouvrir « %1 »")
                                 .arg(QFileInfo(file).fileName())),
                         qPrintable(boxes.texts[1]));
                QCOMPARE(form->RichEdit1->Text(), QString());
                QVERIFY(!form->RichEdit1->Modified());
            }
        } else {
            // A document that fits, whose copies for saving do not.
            form->RichEdit1->Lines->LoadFromFile(file);
            type(form, QStringLiteral("fin"));
            const int length = form->RichEdit1->GetTextLen();
            QVERIFY(length > (megabytes << 20) / 2);
            boundMemory(qint64(100) << 20);
            form->SaveDialog1->FileName = target;
            if (task == QLatin1String("saveas")) answerFileDialog(target);
            (task == QLatin1String("save") ? form->Enregistrer1 : form->EnregistrerSous1)->Click();
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.texts[0].startsWith(
                         QStringLiteral("Mémoire insuffisante pour enregistrer « lettre.txt »")),
                     qPrintable(boxes.texts[0]));
            QCOMPARE(readFile(target), QByteArray("ancien"));
            QCOMPARE(form->RichEdit1->GetTextLen(), length);
            QVERIFY(form->RichEdit1->Modified());
            form->RichEdit1->Lines->Clear();
        }
        // The program goes on: a short letter is typed and saved.
        boundMemory(-1);
        type(form, QStringLiteral("après"));
        answerFileDialog(target);
        form->EnregistrerSous1->Click();
        QVERIFY(readFile(target).contains("apr\\'e8s"));
        QVERIFY(!Application->Terminated());
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        if (::geteuid() == 0) qWarning("running as root: permission cases prove less");
    }
    void cleanupTestCase() { QCOMPARE(missed, 0); }

    void newWithoutChangesAsksNothing() {
        FormFixture f;
        TForm1 *form = f.form;
        form->RichEdit1->SetText(QStringLiteral("texte"));
        form->RichEdit1->SetModified(false);
        form->SaveDialog1->FileName = path(QStringLiteral("nom.rtf"));
        BoxWatch boxes(QMessageBox::No);
        form->Nouveau1->Click();
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(form->RichEdit1->Text(), QString());
        QVERIFY(form->SaveDialog1->FileName.isEmpty());
        QVERIFY(!form->RichEdit1->Modified());
    }

    void newAnsweredNoDropsTheChanges() {
        FormFixture f;
        TForm1 *form = f.form;
        type(form, QStringLiteral("brouillon"));
        QVERIFY(form->RichEdit1->Modified());
        BoxWatch boxes(QMessageBox::No);
        form->Nouveau1->Click();
        QCOMPARE(boxes.texts,
                 QStringList{QStringLiteral("Voulez-vous enregistrer les modifications ?")});
        QCOMPARE(boxes.captions, QStringList{QStringLiteral("Pavelin")});
        QCOMPARE(form->RichEdit1->Text(), QString());
        QVERIFY(!form->RichEdit1->Modified());
    }

    // Yes, then the Save As dialog cancelled: the document stays.
    void newYesThenCancelKeepsTheDocument() {
        FormFixture f;
        TForm1 *form = f.form;
        type(form, QStringLiteral("précieux"));
        BoxWatch boxes(QMessageBox::Yes);
        answerFileDialog(QString());
        form->Nouveau1->Click();
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("précieux"));
        QVERIFY(form->RichEdit1->Modified());
        // Open stops there too, before its own dialog.
        QString title;
        answerModal([&](QDialog *d) {
            title = d->windowTitle();
            d->reject();
        });
        form->Ouvrir1->Click();
        QCOMPARE(title, QStringLiteral("Enregistrer sous..."));
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("précieux"));
    }

    // Yes with a save name: the Save As dialog comes, pre-filled, never a silent save.
    void newYesShowsSaveAsWithTheName() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString first = path(QStringLiteral("premier.rtf"));
        form->SaveDialog1->FileName = first;
        type(form, QStringLiteral("lettre"));
        BoxWatch boxes(QMessageBox::Yes);
        QString title, prefilled;
        const QString second = path(QStringLiteral("second.rtf"));
        answerFileDialog(second, &title, &prefilled);
        form->Nouveau1->Click();
        QCOMPARE(title, QStringLiteral("Enregistrer sous..."));
        QCOMPARE(prefilled, first);
        QVERIFY(!QFile::exists(first));
        QVERIFY(readFile(second).startsWith("{\\rtf1"));
        QCOMPARE(form->RichEdit1->Text(), QString());
        QVERIFY(form->SaveDialog1->FileName.isEmpty());
    }

    void openKeepsTheSaveNameAndClearsTheFlag() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString saved = path(QStringLiteral("enregistre.txt"));
        const QString other = path(QStringLiteral("autre.rtf"));
        writeFile(other, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Autre {\\b texte}\\par fin}");
        form->SaveDialog1->FileName = saved;
        BoxWatch boxes(QMessageBox::No);
        answerFileDialog(other);
        form->Ouvrir1->Click();
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("Autre texte\r\nfin"));
        QVERIFY(!form->RichEdit1->Modified());
        QCOMPARE(form->SaveDialog1->FileName, saved);
        QCOMPARE(form->OpenDialog1->FileName, other);
        // Cancelling the dialog keeps everything.
        type(form, QStringLiteral("!"));
        answerFileDialog(QString());
        form->Ouvrir1->Click(); // prompt answered No
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("Autre texte\r\nfin!"));
        QVERIFY(form->RichEdit1->Modified());
        // Save now writes the opened text, as plain text, to the earlier name.
        form->Enregistrer1->Click();
        QCOMPARE(readFile(saved), QByteArray("Autre texte\r\nfin!"));
    }

    void openedFileIsNotOfferedBySave() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString file = path(QStringLiteral("ouvert.txt"));
        writeFile(file, "contenu");
        answerFileDialog(file);
        form->Ouvrir1->Click();
        type(form, QStringLiteral(" modifié"));
        QString prefilled = QStringLiteral("unchanged");
        answerFileDialog(QString(), nullptr, &prefilled);
        form->Enregistrer1->Click();
        QCOMPARE(prefilled, QString());
        QCOMPARE(readFile(file), QByteArray("contenu"));
    }

    void saveWritesPlainTextThroughTheClipboard() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString file = path(QStringLiteral("plain.txt"));
        form->SaveDialog1->FileName = file;
        type(form, QStringLiteral("Ligne une, été\nLigne deux €"));
        QTextCursor cur(editoraccess::Widget(form->RichEdit1)->document());
        cur.setPosition(0);
        cur.setPosition(5, QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cur.mergeCharFormat(bold);
        form->Enregistrer1->Click();
        const QByteArray expected("Ligne une, \xc3\xa9t\xc3\xa9\r\nLigne deux \xe2\x82\xac");
        QCOMPARE(readFile(file), expected);
        // The flag stays set, the whole text stays selected, the clipboard holds
        // the document in plain and rich form, and the buffer holds the text.
        QVERIFY(form->RichEdit1->Modified());
        QCOMPARE(form->RichEdit1->SelStart(), 0);
        QCOMPARE(form->RichEdit1->SelLength(), form->RichEdit1->GetTextLen());
        const QMimeData *clip = QApplication::clipboard()->mimeData();
        QCOMPARE(clip->text(), QStringLiteral("Ligne une, été\nLigne deux €"));
        QVERIFY(clip->data(QStringLiteral("text/rtf")).startsWith("{\\rtf1"));
        QVERIFY(clip->data(QStringLiteral("text/rtf")).contains("\\b "));
        QVERIFY(!clip->hasHtml());
        QCOMPARE(form->Memo1->Text(), QStringLiteral("Ligne une, été\nLigne deux €"));
        // Twice gives the same bytes.
        form->Enregistrer1->Click();
        QCOMPARE(readFile(file), expected);
        // Edit, Save, New: the prompt comes, since Save left the flag set.
        BoxWatch boxes(QMessageBox::No);
        form->Nouveau1->Click();
        QCOMPARE(boxes.count(), 1);
    }

    // Tables between the model and the editor's document: rows of different
    // widths, a cell of two paragraphs with a list item, a table nested in a
    // cell, a row wider than the table can hold; the document's grid, the
    // definitions kept in the cells' formats, and the same rows given back
    // for Save As, as lines with tabs for Save.
    void tablesGoIntoTheEditorAndComeBack() {
        FormFixture f;
        TForm1 *form = f.form;
        QTextDocument *doc = editoraccess::Widget(form->RichEdit1)->document();
        rtf::Document model;
        model.paragraphs.clear();
        model.paragraphs.push_back(para(QStringLiteral("Avant")));
        model.paragraphs.push_back(para(QStringLiteral("A1"), 1, true));
        model.paragraphs.push_back(para(QStringLiteral("B1"), 1));
        rtf::Paragraph item = para(QStringLiteral("point"), 1, false);
        item.list = {1, 0, rtf::ListStyle::Bullet, QString(QChar(0x2022)), QString(), 1, 1};
        model.paragraphs.push_back(item);
        model.paragraphs.push_back(para(QStringLiteral("fin B1"), 1, false, rowOf(2)));
        model.paragraphs.push_back(para(QStringLiteral("A2"), 1, true));
        model.paragraphs.push_back(para(QStringLiteral("x"), 2, true));
        model.paragraphs.push_back(para(QStringLiteral("y"), 2, false, rowOf(2, 1440)));
        model.paragraphs.push_back(para(QString(), 1, true));
        model.paragraphs.push_back(para(QStringLiteral("C2"), 1, false, rowOf(3)));
        model.paragraphs.push_back(para(QStringLiteral("Après")));
        QTextCursor cur(doc);
        qtrich::insert(cur, model, true);

        // The grid: as many columns as the widest row, the short row padded.
        QTextTable *table = nullptr;
        for (QTextFrame *child : doc->rootFrame()->childFrames())
            table = qobject_cast<QTextTable *>(child);
        QVERIFY(table);
        QCOMPARE(table->rows(), 2);
        QCOMPARE(table->columns(), 3);
        QVERIFY(qtrich::isAbsent(table->cellAt(0, 2).format().toTableCellFormat()));
        QVERIFY(!qtrich::isAbsent(table->cellAt(1, 2).format().toTableCellFormat()));
        const QTextTableCellFormat b1 = qtrich::cellFormat(table, 0, 1);
        QCOMPARE(qtrich::cellDef(b1), rowOf(2)->cells[1]);
        const rtf::RowDef first = qtrich::rowDef(qtrich::cellFormat(table, 0, 0));
        QCOMPARE(first.gap, 108);
        QVERIFY(first.header);
        // A cell's paragraphs keep their list; the nested row is a table in its cell.
        const QTextTableCell cellB1 = table->cellAt(0, 1);
        QTextBlock b = doc->findBlock(cellB1.firstPosition());
        QCOMPARE(b.text(), QStringLiteral("B1"));
        QVERIFY(b.next().textList());
        QCOMPARE(b.next().next().text(), QStringLiteral("fin B1"));
        QCOMPARE(table->cellAt(1, 1).lastCursorPosition().currentTable(), table);
        QTextCursor inner(doc);
        inner.setPosition(table->cellAt(1, 1).firstPosition() + 1);
        QVERIFY(inner.currentTable() && inner.currentTable() != table);
        QCOMPARE(inner.currentTable()->columns(), 2);

        // Given back as read, for Save As and the clipboard's RTF.
        const QStringList expected = shape(model);
        QCOMPARE(shape(editoraccess::Extract(form->RichEdit1)), expected);
        // The editor's text: a paragraph a line, each cell's too (the empty
        // paragraph the toolkit keeps before a table at the start of a cell
        // is one).
        QCOMPARE(form->RichEdit1->Text(),
                 QStringLiteral("Avant\r\nA1\r\nB1\r\npoint\r\nfin B1\r\n\r\nA2\r\n\r\nx\r\ny"
                                "\r\n\r\nC2\r\nAprès"));
        // Save: a row a line, its cells separated by a tab, a cell's paragraphs by a space.
        const QString file = path(QStringLiteral("tableau.txt"));
        form->SaveDialog1->FileName = file;
        form->Enregistrer1->Click();
        QCOMPARE(QString::fromUtf8(readFile(file)),
                 QStringLiteral("Avant\r\nA1\tB1 \u2022\tpoint fin B1\r\nA2\tx y\tC2\r\nAprès"));

        // A document that is a table alone comes back without the paragraphs
        // the toolkit keeps around it.
        rtf::Document alone;
        alone.paragraphs = {para(QStringLiteral("seul"), 1, false, rowOf(1))};
        form->RichEdit1->Lines->Clear();
        QTextCursor again(doc);
        qtrich::insert(again, alone, true);
        QCOMPARE(doc->blockCount(), 3);
        QCOMPARE(shape(editoraccess::Extract(form->RichEdit1)), shape(alone));
        // An empty paragraph of the document before it is one, with what it keeps.
        rtf::Document after = alone;
        after.paragraphs.insert(after.paragraphs.begin(), para(QString()));
        after.paragraphs.front().format.before = "\\sectd\\pgwsxn11906";
        form->RichEdit1->Lines->Clear();
        QTextCursor emptyFirst(doc);
        qtrich::insert(emptyFirst, after, true);
        const rtf::Document afterBack = editoraccess::Extract(form->RichEdit1);
        QCOMPARE(shape(afterBack), shape(after));
        QCOMPARE(afterBack.paragraphs.front().format.before, QByteArray("\\sectd\\pgwsxn11906"));

        // Empty cells after text keep their definitions: a merge across,
        // the edges, the row's own (on an empty first cell).
        auto merged = std::make_shared<rtf::RowDef>(*rowOf(2));
        merged->cells[0].across = rtf::Merge::First;
        merged->cells[1].across = rtf::Merge::Next;
        rtf::Document empties;
        empties.paragraphs = {para(QStringLiteral("a"), 1, true), para(QString(), 1, false, merged),
                              para(QString(), 1, true), para(QString(), 1, false, rowOf(2, 70))};
        form->RichEdit1->Lines->Clear();
        QTextCursor e(doc);
        qtrich::insert(e, empties, true);
        const rtf::Document kept = editoraccess::Extract(form->RichEdit1);
        QCOMPARE(shape(kept), shape(empties));
        QCOMPARE(*kept.paragraphs.at(1).endsRow, *merged);
        QCOMPARE(*kept.paragraphs.at(3).endsRow, *rowOf(2, 70));

        // A row of 70 cells: 64 columns, the last holding the text of the
        // cells past it, reaching as far.
        rtf::Document wide;
        wide.paragraphs.clear();
        for (int c = 0; c < 69; ++c)
            wide.paragraphs.push_back(para(QString::number(c), 1, true));
        wide.paragraphs.push_back(para(QStringLiteral("69"), 1, false, rowOf(70)));
        form->RichEdit1->Lines->Clear();
        QTextCursor w(doc);
        qtrich::insert(w, wide, true);
        const rtf::Document back = editoraccess::Extract(form->RichEdit1);
        QCOMPARE(int(back.paragraphs.size()), 70);
        QCOMPARE(int(back.paragraphs.back().endsRow->cells.size()), qtrich::MaxTableColumns);
        QCOMPARE(back.paragraphs.back().endsRow->cells.back().right, 1440 * 70);
        QCOMPARE(textOf(back.paragraphs[63]), QStringLiteral("63"));
        QCOMPARE(textOf(back.paragraphs.back()), QStringLiteral("69"));
        QVERIFY(!back.paragraphs[62].endsRow && back.paragraphs[63].depth == 1);

        // A table made otherwise, with no definitions: equal shares of the page.
        form->RichEdit1->Lines->Clear();
        QTextCursor plain(doc);
        plain.insertTable(1, 4);
        const rtf::Document shares = editoraccess::Extract(form->RichEdit1);
        const auto end = std::find_if(shares.paragraphs.begin(), shares.paragraphs.end(),
                                      [](const rtf::Paragraph &p) { return bool(p.endsRow); });
        QVERIFY(end != shares.paragraphs.end());
        QCOMPARE(end->endsRow->cells.size(), size_t(4));
        QCOMPARE(end->endsRow->cells[1].right, qtrich::DefaultTextWidth / 2);

        // A long table, handed over a paragraph at a time as a file is read:
        // one table, a row wider than those before it far down (its column
        // absent above), a cell holding a nested table and a line break, and
        // a last row that never ended.
        rtf::Document tall;
        tall.paragraphs.push_back(para(QStringLiteral("Début")));
        const auto four = rowOf(4), five = rowOf(5);
        const int tallRows = 30000;
        for (int r = 0; r < tallRows; ++r) {
            const int cells = r == 25000 ? 5 : 4;
            for (int c = 0; c < cells; ++c) {
                const QString text = QStringLiteral("%1.%2").arg(r).arg(c);
                if (r == 20000 && c == 1) {
                    tall.paragraphs.push_back(para(QStringLiteral("n1"), 2, true));
                    tall.paragraphs.push_back(para(QStringLiteral("n2"), 2, false, rowOf(2)));
                    tall.paragraphs.push_back(para(text + QChar(0x2028) + text, 1, true));
                } else {
                    tall.paragraphs.push_back(
                        para(text, 1, c + 1 < cells,
                             c + 1 < cells ? nullptr : (cells == 5 ? five : four)));
                }
            }
        }
        tall.paragraphs.push_back(para(QStringLiteral("reste"), 1, true));
        tall.paragraphs.push_back(para(QStringLiteral("Fin")));
        // Made as its rows come; made whole from its rows counted beforehand,
        // as Open does; and from a count too high, the rows not filled gone.
        qtrich::RowCounter counter;
        for (const rtf::Paragraph &p : tall.paragraphs)
            counter.add(p);
        const std::vector<int> counted = counter.finish();
        QCOMPARE(counted, std::vector<int>{tallRows + 1});
        for (const std::vector<int> &expected :
             {std::vector<int>{}, counted, std::vector<int>{tallRows + 100}}) {
            form->RichEdit1->Lines->Clear();
            {
                QTextCursor t(doc);
                qtrich::Inserter in(t, true);
                in.expectRows(expected);
                for (rtf::Paragraph p : tall.paragraphs)
                    in.add(std::move(p));
                in.finish();
            }
            QTextTable *big = nullptr;
            int tables = 0;
            for (QTextFrame *child : doc->rootFrame()->childFrames()) {
                big = qobject_cast<QTextTable *>(child);
                tables += big != nullptr;
            }
            QCOMPARE(tables, 1);
            QCOMPARE(big->rows(), tallRows + 1);
            QCOMPARE(big->columns(), 5);
            QVERIFY(qtrich::isAbsent(big->cellAt(24999, 4).format().toTableCellFormat()));
            QCOMPARE(doc->findBlock(big->cellAt(25000, 4).firstPosition()).text(),
                     QStringLiteral("25000.4"));
            QCOMPARE(doc->findBlock(big->cellAt(tallRows - 1, 3).firstPosition()).text(),
                     QStringLiteral("29999.3"));
            const QStringList tallBack = shape(editoraccess::Extract(form->RichEdit1));
            const QStringList tallWanted = shape(tall);
            QCOMPARE(tallBack.size(), tallWanted.size());
            QCOMPARE(tallBack.mid(0, tallBack.size() - 2),
                     tallWanted.mid(0, tallWanted.size() - 2));
            // The cell that never ended ends the last row.
            QVERIFY2(tallBack.at(tallBack.size() - 2).startsWith(QStringLiteral("reste|1|1|")),
                     qPrintable(tallBack.at(tallBack.size() - 2)));
            QCOMPARE(tallBack.last(), QStringLiteral("Fin|0|0"));
            // The line break is where the editor's text has it, the last of its cell.
            const QString text = form->RichEdit1->Text();
            QVERIFY(text.contains(QStringLiteral("20000.1\r\n20000.1\r\n20000.2")));
        }

        // Cells whose text begins with a table, as Word writes them: the
        // outer cell holds the inner table first, three deep, and Save As
        // writes them again so.
        const QByteArray deep =
            "{\\rtf1\\ansi\\trowd\\cellx5000\\cellx8000\\pard\\intbl\\itap2 deux\\par"
            "\\pard\\intbl\\itap3 A\\nestcell B\\nestcell{\\*\\nesttableprops\\trowd\\cellx2000"
            "\\cellx4000\\nestrow}{\\nonesttables\\par}\\pard\\intbl\\itap2 apres\\nestcell"
            "{\\*\\nesttableprops\\trowd\\cellx4500\\nestrow}{\\nonesttables\\par}\\pard\\intbl"
            "\\itap1 fin\\cell droite\\cell\\row\\pard hors\\par}";
        QTemporaryDir deepDir;
        const QString deepFile = deepDir.filePath(QStringLiteral("profond.rtf"));
        writeFile(deepFile, deep);
        form->RichEdit1->Lines->LoadFromFile(deepFile);
        const QStringList deepRead = shape(rtf::read(deep));
        QCOMPARE(deepRead.first(), QStringLiteral("deux|2|0"));
        QCOMPARE(shape(editoraccess::Extract(form->RichEdit1)), deepRead);
        QTextTable *outer = nullptr;
        for (QTextFrame *child : doc->rootFrame()->childFrames())
            outer = outer ? outer : qobject_cast<QTextTable *>(child);
        QVERIFY(outer);
        QCOMPARE(outer->rows(), 1);
        QCOMPARE(outer->columns(), 2);
        auto *second = qobject_cast<QTextTable *>(
            doc->frameAt(doc->find(QStringLiteral("deux")).selectionStart()));
        QVERIFY(second && second->parentFrame() == outer);
        auto *third = qobject_cast<QTextTable *>(
            doc->frameAt(doc->find(QStringLiteral("B")).selectionStart()));
        QVERIFY(third && third->parentFrame() == second);
        QCOMPARE(third->columns(), 2);
        const QString deepSaved = deepDir.filePath(QStringLiteral("copie.rtf"));
        form->RichEdit1->Lines->SaveToFile(deepSaved);
        QFile deepBack(deepSaved);
        QVERIFY(deepBack.open(QIODevice::ReadOnly));
        QCOMPARE(shape(rtf::read(deepBack.readAll())), deepRead);
    }

    void savingAnEmptyDocumentWritesNothing() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString file = path(QStringLiteral("vide.txt"));
        writeFile(file, "ancien contenu");
        QApplication::clipboard()->setText(QStringLiteral("autre chose"));
        form->SaveDialog1->FileName = file;
        form->Enregistrer1->Click();
        QCOMPARE(QFileInfo(file).size(), 0);
        QVERIFY(form->Memo1->Text().isEmpty());
    }

    void saveAsThenOpenKeepsTheFormatting() {
        FormFixture f;
        TForm1 *form = f.form;
        type(form, QStringLiteral("Titre\nnormal et gras"));
        QTextCursor cur(editoraccess::Widget(form->RichEdit1)->document());
        cur.setPosition(0);
        cur.setPosition(5, QTextCursor::KeepAnchor);
        QTextCharFormat big;
        big.setFontPointSize(18);
        big.setForeground(QColor(0x12, 0x34, 0x56));
        cur.mergeCharFormat(big);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        cur.mergeBlockFormat(centred);
        cur.setPosition(16);
        cur.setPosition(20, QTextCursor::KeepAnchor);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cur.mergeCharFormat(bold);
        const QString file = path(QStringLiteral("forme.rtf"));
        answerFileDialog(file);
        form->EnregistrerSous1->Click();
        QVERIFY(!form->RichEdit1->Modified());
        QCOMPARE(form->SaveDialog1->FileName, file);
        QVERIFY(readFile(file).startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));

        answerFileDialog(file);
        form->Nouveau1->Click();
        form->Ouvrir1->Click();
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("Titre\r\nnormal et gras"));
        QTextDocument *doc = editoraccess::Widget(form->RichEdit1)->document();
        const QTextBlock first = doc->firstBlock();
        QCOMPARE(first.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        const QTextCharFormat titre = first.begin().fragment().charFormat();
        QCOMPARE(titre.fontPointSize(), 18.0);
        QCOMPARE(titre.foreground().color(), QColor(0x12, 0x34, 0x56));
        QTextCursor at(doc);
        at.setPosition(18);
        QVERIFY(at.charFormat().fontWeight() >= QFont::Bold);
        at.setPosition(8);
        QVERIFY(at.charFormat().fontWeight() < QFont::Bold);
        QCOMPARE(at.charFormat().fontFamilies().toStringList().value(0),
                 QStringLiteral("MS Sans Serif"));
    }

    // A letter as a word processor writes it: what the editor does not show
    // (the header, the page setup, a bookmark, a note, the style sheet) and
    // the link it shows outlive a word changed and text typed in the link.
    void aLetterKeepsWhatItDoesNotShow() {
        FormFixture f;
        TForm1 *form = f.form;
        const QString in = path(QStringLiteral("lettre.rtf"));
        writeFile(in,
                  "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f3\\fswiss "
                  "Arial;}}{\\colortbl;\\red0\\green0\\blue255;\\red255\\green255\\blue0;}"
                  "{\\stylesheet{\\s0\\f3 Normal;}}{\\info{\\author Jeanne}}"
                  "\\paperw11906\\paperh16838\\margl1134\\margr1134 "
                  "{\\header\\pard\\plain\\f3\\cf1 Cabinet Dupont\\par}"
                  "\\pard\\plain\\f3 Voici {\\*\\bkmkstart ici}le {\\field{\\*\\fldinst HYPERLINK "
                  "\"https://example.org/\"}{\\fldrslt{\\cf1\\ul site}}} et une note"
                  "{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn} Texte de la note.}."
                  "{\\*\\bkmkend ici}\\par"
                  "\\pard\\sl480\\slmult1\\sb600\\box\\brdrs\\brdrw30\\brdrcf1\\brsp60\\cbpat2"
                  "\\plain\\f3 Cadre{\\v cache}\\par"
                  "\\pard\\sb600\\plain\\f3 Cadre{\\field{\\*\\fldinst TOC}}\\par\\sect}");
        answerFileDialog(in);
        form->Ouvrir1->Click();
        QCOMPARE(form->RichEdit1->Text(),
                 QStringLiteral("Voici le site et une note1.\r\nCadrecache\r\nCadre"));
        QTextEdit *editor = editoraccess::Widget(form->RichEdit1);
        QTextDocument *doc = editor->document();

        // Shown: double line spacing, the box and its shading, the hidden
        // text taking no room and drawn nowhere.
        BlockLayout *layout = editoraccess::Layout(form->RichEdit1);
        editor->clearFocus();
        QApplication::processEvents();
        const QTextBlock boxed = doc->begin().next(), plain = boxed.next();
        const QRectF r1 = layout->blockBoundingRect(boxed), r2 = layout->blockBoundingRect(plain);
        QVERIFY2(r1.height() - 40 > 1.8 * (r2.height() - 40) &&
                     r1.height() - 40 < 2.2 * (r2.height() - 40),
                 qPrintable(QStringLiteral("%1 %2").arg(r1.height()).arg(r2.height())));
        const int at = boxed.position() + 5; // "cache"
        QVERIFY(std::abs(layout->caretRect(at).x() - layout->caretRect(at + 5).x()) < 1);
        QVERIFY(layout->caretRect(at).x() > layout->caretRect(at - 5).x() + 10);
        const QImage image = editor->viewport()->grab().toImage();
        const int y = int(r1.bottom()) - 12 - editor->verticalScrollBar()->value();
        const int middle = int(r1.center().x());
        QCOMPARE(QColor(image.pixel(middle, y)), QColor(0xFF, 0xFF, 0x00)); // shading
        int blue = 0;
        for (int x = 0; x < middle; ++x)
            blue += image.pixel(x, y) == qRgb(0, 0, 0xFF) ? 1 : 0;
        QVERIFY(blue >= 1 && blue <= 3); // the left border
        // The same line laid out without the hidden text: the same ink.
        const int ink = [&] {
            int n = 0;
            for (int row = int(r1.top()); row < int(r1.bottom()); ++row)
                for (int x = 0; x < image.width(); ++x)
                    n += qGray(image.pixel(x, row - editor->verticalScrollBar()->value())) < 100
                             ? 1
                             : 0;
            return n;
        }();
        QTextCursor hidden(doc);
        hidden.setPosition(at);
        hidden.setPosition(at + 5, QTextCursor::KeepAnchor);
        QTextCharFormat visible = hidden.charFormat();
        visible.clearProperty(QTextFormat::FontLetterSpacing);
        visible.setForeground(QColor(Qt::black));
        hidden.setCharFormat(visible);
        QApplication::processEvents();
        const QImage shownText = editor->viewport()->grab().toImage();
        int inkShown = 0;
        for (int row = int(r1.top()); row < int(r1.bottom()); ++row)
            for (int x = 0; x < shownText.width(); ++x)
                inkShown +=
                    qGray(shownText.pixel(x, row - editor->verticalScrollBar()->value())) < 100 ? 1
                                                                                                : 0;
        QVERIFY2(inkShown > ink + 20, qPrintable(QStringLiteral("%1 %2").arg(ink).arg(inkShown)));
        editor->document()->undo();
        QApplication::processEvents();
        // Printed without the hidden text.
        if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
            QPrinter &printer = CurrentPrinter();
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(path(QStringLiteral("lettre.pdf")));
            form->RichEdit1->Print(QString());
            QProcess pdf;
            pdf.start(QStringLiteral("pdftotext"),
                      {path(QStringLiteral("lettre.pdf")), QStringLiteral("-")});
            QVERIFY(pdf.waitForFinished(60000));
            const QString printed = QString::fromUtf8(pdf.readAllStandardOutput()).simplified();
            QVERIFY2(printed.contains(QStringLiteral("Voici le site et une note1. Cadre Cadre")),
                     qPrintable(printed));
        }
        QTextCursor link(doc);
        link.setPosition(11); // inside "site"
        QCOMPARE(link.charFormat().anchorHref(), QStringLiteral("https://example.org/"));
        editor->setTextCursor(link);
        QTest::keyClicks(editor, QStringLiteral("-web"));
        QTextCursor word(doc);
        word.setPosition(0);
        word.setPosition(5, QTextCursor::KeepAnchor);
        editor->setTextCursor(word);
        QTest::keyClicks(editor, QStringLiteral("Voila"));
        QCOMPARE(form->RichEdit1->Text(),
                 QStringLiteral("Voila le si-webte et une note1.\r\nCadrecache\r\nCadre"));

        const QString out = path(QStringLiteral("lettre-copie.rtf"));
        answerFileDialog(out);
        form->EnregistrerSous1->Click();
        const QByteArray saved = readFile(out);
        for (const char *kept :
             {"{\\stylesheet{\\s0\\f3 Normal;}}", "{\\info{\\author Jeanne}}",
              "\\paperw11906\\paperh16838\\margl1134\\margr1134",
              "{\\header\\pard\\plain\\f3\\cf1 Cabinet Dupont\\par}", "{\\*\\bkmkstart ici}",
              "{\\*\\bkmkend ici}", "{\\f3\\fswiss\\fcharset0 Arial;}",
              "{\\field{\\*\\fldinst HYPERLINK \"https://example.org/\"}{\\fldrslt ",
              "{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn} Texte de la note.}",
              "\\sl480\\slmult1", "\\box\\brdrs\\brdrw30\\brdrcf1\\brsp60\\cbpat2", "\\v cache",
              "Cadre{\\field{\\*\\fldinst TOC}}", "\\sect"})
            QVERIFY2(QByteArray(saved).replace("\r\n", "").contains(kept), kept);
        QCOMPARE(saved.count("HYPERLINK"), 1);
        // The typed text is in the link's result, which reads back whole.
        const rtf::Document back = rtf::read(saved);
        QCOMPARE(back.plainText(),
                 QStringLiteral("Voila le si-webte et une note1.\nCadrecache\nCadre"));
        QString linked;
        for (const rtf::Run &r : back.paragraphs[0].runs)
            if (r.format.link == QLatin1String("https://example.org/")) linked += r.text;
        QCOMPARE(linked, QStringLiteral("si-webte"));
    }

    // Many distinct formats (more than the open path keeps built at once),
    // paragraph formats changing, a paragraph with nothing in it: Open then
    // Save As gives every run back as it was written.
    void manyFormatsSurviveOpenAndSaveAs() {
        rtf::Document doc;
        doc.paragraphs.clear();
        const QString faces[] = {QStringLiteral("Arial"), QStringLiteral("Times New Roman"),
                                 QStringLiteral("Courier New")};
        for (int p = 0; p < 60; ++p) {
            rtf::Paragraph para;
            para.format.align = p % 3 == 1 ? rtf::Align::Center : rtf::Align::Left;
            para.format.leftIndent = (p % 4) * 360;
            if (p % 7 != 6) {
                for (int r = 0; r < 100; ++r) {
                    const int n = p * 100 + r;
                    rtf::CharFormat f;
                    f.font = faces[n % 3];
                    f.halfPoints = 16 + 2 * (n % 5);
                    f.bold = n % 2;
                    f.italic = n % 3 == 0;
                    f.color = n % 4 == 0 ? rtf::NoColor
                                         : std::int32_t((std::uint32_t(n) * 2654435u) & 0xFFFFFFu);
                    para.runs.push_back(rtf::Run{f, QStringLiteral("m%1 ").arg(n)});
                }
            }
            doc.paragraphs.push_back(para);
        }
        const QString in = path(QStringLiteral("formats.rtf")),
                      out = path(QStringLiteral("formats-bis.rtf"));
        writeFile(in, rtf::write(doc, QStringLiteral("Arial")));
        FormFixture f;
        f.form->RichEdit1->Lines->LoadFromFile(in);
        f.form->RichEdit1->Lines->SaveToFile(out);
        const rtf::Document back = rtf::read(readFile(out));
        QCOMPARE(back.paragraphs.size(), doc.paragraphs.size());
        for (size_t p = 0; p < doc.paragraphs.size(); ++p) {
            const rtf::Paragraph &a = doc.paragraphs[p], &b = back.paragraphs[p];
            QCOMPARE(b.format.align, a.format.align);
            QCOMPARE(b.format.leftIndent, a.format.leftIndent);
            QCOMPARE(b.runs.size(), a.runs.size());
            for (size_t r = 0; r < a.runs.size(); ++r) {
                QCOMPARE(b.runs[r].text, a.runs[r].text);
                QCOMPARE(b.runs[r].format.font, a.runs[r].format.font);
                QCOMPARE(b.runs[r].format.halfPoints, a.runs[r].format.halfPoints);
                QCOMPARE(b.runs[r].format.bold, a.runs[r].format.bold);
                QCOMPARE(b.runs[r].format.italic, a.runs[r].format.italic);
                QCOMPARE(b.runs[r].format.color, a.runs[r].format.color);
            }
        }
    }

    void openReadsEveryEncoding_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("cp1252") << QByteArray("Cr\xe8me br\xfbl\xe9"
                                              "e\r\n\x80 5")
                                << QStringLiteral("Crème brûlée\r\n€ 5");
        QTest::newRow("utf-16") << QByteArray("\xff\xfe"
                                              "\xe9\x00"
                                              "\n\x00"
                                              "a\x00",
                                              8)
                                << QStringLiteral("é\r\na");
        QTest::newRow("utf-8 bom, lone cr") << QByteArray("\xef\xbb\xbf"
                                                          "a\rb\nc")
                                            << QStringLiteral("a\r\nb\r\nc");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("looks rtf later")
            << QByteArray(" {\\rtf1 x}") << QStringLiteral(" {\\rtf1 x}");
    }
    void openReadsEveryEncoding() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        FormFixture f;
        const QString file = path(QStringLiteral("encodage.txt"));
        writeFile(file, bytes);
        answerFileDialog(file);
        f.form->Ouvrir1->Click();
        QCOMPARE(f.form->RichEdit1->Text(), text);
        QVERIFY(!f.form->RichEdit1->Modified());
    }

    // Each row: a target that cannot be written. The exception box names the
    // file and the reason; the old file is untouched. Save As goes through the
    // dialog where the dialog takes such a name.
    void failedSavesLoseNothing_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("viaDialog");
        QTest::newRow("full disk")
            << QStringLiteral("/dev/full") << QStringLiteral("plus de place") << true;
        QTest::newRow("a folder") << QStringLiteral("@dir") << QStringLiteral("dossier") << false;
        QTest::newRow("missing folder")
            << QStringLiteral("@dir/absent/x.rtf") << QStringLiteral("n'existe pas") << false;
        QTest::newRow("read-only file")
            << QStringLiteral("@dir/lecture-seule.rtf") << QStringLiteral("permission") << true;
        QTest::newRow("closed folder")
            << QStringLiteral("@dir/ferme/nouveau.rtf") << QStringLiteral("permission") << true;
    }
    void failedSavesLoseNothing() {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QFETCH(bool, viaDialog);
        // A file made read-only is refused to root too; a closed folder is not.
        if (::geteuid() == 0 && target.contains(QLatin1String("ferme")))
            QSKIP("root ignores permissions: run as an ordinary user for this row");
        QTemporaryDir area;
        target.replace(QStringLiteral("@dir"), area.path());
        const QString readOnly = area.filePath(QStringLiteral("lecture-seule.rtf"));
        writeFile(readOnly, "ancien");
        ::chmod(QFile::encodeName(readOnly).constData(), 0444);
        const QString closed = area.filePath(QStringLiteral("ferme"));
        QDir(area.path()).mkpath(QStringLiteral("ferme"));
        ::chmod(QFile::encodeName(closed).constData(), 0555);

        FormFixture f;
        TForm1 *form = f.form;
        type(form, QStringLiteral("nouveau texte"));
        BoxWatch boxes(QMessageBox::Ok);
        const auto checkLastBox = [&] {
            const QString text = boxes.texts.value(boxes.count() - 1);
            QVERIFY2(text.startsWith(QStringLiteral("Impossible d'enregistrer")), qPrintable(text));
            QVERIFY2(text.contains(QFileInfo(target).fileName()), qPrintable(text));
            QVERIFY2(text.contains(reason), qPrintable(text));
        };
        if (viaDialog) {
            answerFileDialog(target);
            form->EnregistrerSous1->Click();
            QCOMPARE(boxes.count(), 1);
            checkLastBox();
            // The save name is the chosen one; the document is still modified.
            QCOMPARE(form->SaveDialog1->FileName, target);
            QVERIFY(form->RichEdit1->Modified());
        } else {
            form->SaveDialog1->FileName = target;
        }
        // Save (plain text) fails the same way.
        form->Enregistrer1->Click();
        QCOMPARE(boxes.count(), viaDialog ? 2 : 1);
        checkLastBox();
        QVERIFY(form->RichEdit1->Modified());
        QCOMPARE(readFile(readOnly), QByteArray("ancien"));
        struct stat st {};
        QCOMPARE(::stat("/dev/full", &st), 0);
        QVERIFY(S_ISCHR(st.st_mode)); // never replaced by a regular file
        ::chmod(QFile::encodeName(closed).constData(), 0755);
        QCOMPARE(QDir(closed).entryList(QDir::Files | QDir::Hidden).size(), 0);
        QCOMPARE(QDir(area.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 1); // no temporary left
    }

    void savingKeepsLinksAndPermissions() {
        FormFixture f;
        TForm1 *form = f.form;
        QDir(dir.path()).mkpath(QStringLiteral("vrai"));
        const QString real = path(QStringLiteral("vrai/document.txt"));
        const QString link = path(QStringLiteral("lien.txt"));
        writeFile(real, "avant");
        ::chmod(QFile::encodeName(real).constData(), 0640);
        QVERIFY(QFile::link(real, link));
        form->SaveDialog1->FileName = link;
        type(form, QStringLiteral("après"));
        form->Enregistrer1->Click();
        QCOMPARE(readFile(real), QByteArray("apr\xc3\xa8s"));
        QVERIFY(QFileInfo(link).isSymLink());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
        // Only the file writable, not its folder: written in place.
        ::chmod(QFile::encodeName(path(QStringLiteral("vrai"))).constData(), 0555);
        type(form, QStringLiteral(" encore"));
        form->Enregistrer1->Click();
        ::chmod(QFile::encodeName(path(QStringLiteral("vrai"))).constData(), 0755);
        QCOMPARE(readFile(real), QByteArray("apr\xc3\xa8s encore"));
        QCOMPARE(QDir(path(QStringLiteral("vrai"))).entryList(QDir::Files).size(), 1);
    }

    // A file whose folder is closed can only be rewritten. The new content is
    // first written whole to a copy in the temporary folder: a process killed
    // at any moment leaves the old file, the new file, or the complete copy;
    // where no copy can be made, the save is refused and nothing is touched.
    void rewritingInAClosedFolderKeepsACopy() {
        if (::geteuid() == 0) QSKIP("root ignores the closed folder: run as an ordinary user");
        QTemporaryDir area, temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const QString folder = area.filePath(QStringLiteral("ferme"));
        QDir(area.path()).mkpath(QStringLiteral("ferme"));
        const QString file = folder + QStringLiteral("/lettre.txt");
        const QByteArray folderName = QFile::encodeName(folder);
        const auto copies = [&] {
            return QDir(temp.path()).entryList({QStringLiteral("tavrolle-*")}, QDir::Files);
        };

        // No temporary folder: refused, the file as it was.
        writeFile(file, "ancien");
        ::chmod(folderName.constData(), 0555);
        qputenv("TMPDIR", QFile::encodeName(area.filePath(QStringLiteral("absent"))));
        {
            FormFixture f;
            type(f.form, QStringLiteral("nouveau"));
            f.form->SaveDialog1->FileName = file;
            BoxWatch boxes(QMessageBox::Ok);
            f.form->Enregistrer1->Click();
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.texts[0].contains(QStringLiteral("copie de sûreté")),
                     qPrintable(boxes.texts[0]));
            QVERIFY(f.form->RichEdit1->Modified());
        }
        QCOMPARE(readFile(file), QByteArray("ancien"));
        qputenv("TMPDIR", QFile::encodeName(temp.path()));

        // Killed while saving: whenever it happens, nothing is lost.
        QByteArray fresh(48 << 20, 'n');
        for (qsizetype i = 0; i < fresh.size(); i += 4096)
            fresh[i] = char('a' + (i / 4096) % 26);
        int caughtRewriting = 0;
        for (int trial = 0; trial < 3; ++trial) {
            ::chmod(folderName.constData(), 0755);
            writeFile(file, "ancien");
            for (const QString &c : copies())
                QFile::remove(temp.filePath(c));
            ::chmod(folderName.constData(), 0555);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                try {
                    SafeWriteFile(file, fresh);
                } catch (...) {
                    ::_exit(1);
                }
                ::_exit(0);
            }
            // The moment the file starts to change, with more than one core;
            // else as soon as it can.
            struct stat st {};
            for (int spin = 0; spin < 2000000; ++spin)
                if (::stat(QFile::encodeName(file).constData(), &st) == 0 && st.st_size > 6) break;
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            const QByteArray now = readFile(file);
            const QStringList left = copies();
            if (now == "ancien" || now == fresh) {
                QVERIFY(left.size() <= 1);
                continue;
            }
            ++caughtRewriting;
            QCOMPARE(left.size(), 1);
            QVERIFY2(readFile(temp.filePath(left[0])) == fresh, "the copy is incomplete");
        }
        qInfo("killed while rewriting the file: %d of 3", caughtRewriting);

        // A save that completes leaves no copy behind.
        for (const QString &c : copies())
            QFile::remove(temp.filePath(c));
        SafeWriteFile(file, "fini");
        QCOMPARE(readFile(file), QByteArray("fini"));
        QCOMPARE(copies().size(), 0);
        ::chmod(folderName.constData(), 0755);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
        if (oldTemp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTemp);
    }

    // Saving as root onto another user's file keeps its owner, group and mode.
    void savingKeepsTheOwner() {
        if (::geteuid() != 0) QSKIP("only root can replace a file of another user");
        QTemporaryDir area;
        const QString file = area.filePath(QStringLiteral("autrui.txt"));
        const QByteArray native = QFile::encodeName(file);
        writeFile(file, "ancien");
        QCOMPARE(::chown(native.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(native.constData(), 0664), 0);
        FormFixture f;
        TForm1 *form = f.form;
        type(form, QStringLiteral("nouveau"));
        form->SaveDialog1->FileName = file;
        form->Enregistrer1->Click();
        QCOMPARE(readFile(file), QByteArray("nouveau"));
        answerFileDialog(file);
        form->EnregistrerSous1->Click();
        QVERIFY(readFile(file).startsWith("{\\rtf1"));
        struct stat st {};
        QCOMPARE(::stat(native.constData(), &st), 0);
        QCOMPARE(int(st.st_uid), 65534);
        QCOMPARE(int(st.st_gid), 65534);
        QCOMPARE(int(st.st_mode & 07777), 0664);
    }

    // Hostile and broken files: each gives a clear error in the exception box
    // or a sensible document; never a crash, a hang or a memory blow-up, and
    // the file on disk is never changed.
    void hostileFilesOpen_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error"); // part of the message, or empty: no error
        QTest::addColumn<QString>("text");  // part of the document shown
        const QByteArray none;
        QTest::newRow("missing") << QStringLiteral("absent.txt") << none
                                 << QStringLiteral("n'existe pas") << QString();
        QTest::newRow("folder") << QStringLiteral("dossier/") << none << QStringLiteral("dossier")
                                << QString();
        QTest::newRow("unreadable") << QStringLiteral("secret.txt") << QByteArray("x")
                                    << QStringLiteral("permission") << QString();
        QTest::newRow("2 GiB sparse") << QStringLiteral("enorme.txt") << none
                                      << QStringLiteral("trop volumineux") << QString();
        QTest::newRow("one byte too large") << QStringLiteral("limite.txt") << none
                                            << QStringLiteral("268435457 octets") << QString();
        QTest::newRow("device") << QStringLiteral("/dev/zero") << none
                                << QStringLiteral("n'est pas un fichier ordinaire") << QString();
        QTest::newRow("random device")
            << QStringLiteral("/dev/urandom") << none
            << QStringLiteral("n'est pas un fichier ordinaire") << QString();
        QTest::newRow("named pipe")
            << QStringLiteral("tube") << none << QStringLiteral("n'est pas un fichier ordinaire")
            << QString();
        QTest::newRow("empty") << QStringLiteral("vide.txt") << QByteArray("") << QString()
                               << QString();
        QTest::newRow("binary with NULs") << QStringLiteral("binaire.bin")
                                          << QByteArray("\x7f"
                                                        "ELF\x00\x00\x01\x02\xff\xfe\x00z",
                                                        12)
                                          << QString() << QStringLiteral("ELF");
        QTest::newRow("invalid utf-8")
            << QStringLiteral("latin.txt") << QByteArray("d\xe9j\xe0 \xc3(") << QString()
            << QStringLiteral("déjà");
        QTest::newRow("truncated rtf")
            << QStringLiteral("coupe.rtf")
            << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 d\\'e9but {\\b gr") << QString()
            << QStringLiteral("début gr");
        QTest::newRow("nested a million deep")
            << QStringLiteral("profond.rtf") << QByteArray("{\\rtf1 a") + QByteArray(1000000, '{')
            << QStringLiteral("imbriqués") << QString();
        QTest::newRow("too deep after paragraphs")
            << QStringLiteral("profond2.rtf")
            << QByteArray("{\\rtf1 premier\\par second\\par ") + QByteArray(rtf::MaxDepth + 5, '{')
            << QStringLiteral("imbriqués") << QString();
        // A mail saved as RTF nests its groups thousands deep.
        QTest::newRow("nested as mailers do") << QStringLiteral("courriel.rtf")
                                              << QByteArray("{\\rtf1 ") + QByteArray(3000, '{') +
                                                     "Bonjour Marie" + QByteArray(3000, '}') + "}"
                                              << QString() << QStringLiteral("Bonjour Marie");
        QTest::newRow("huge bin") << QStringLiteral("bin.rtf")
                                  << QByteArray("{\\rtf1 avant\\bin4294967295 apres}") << QString()
                                  << QStringLiteral("avant");
        QTest::newRow("u out of range")
            << QStringLiteral("u.rtf") << QByteArray("{\\rtf1 a\\u99999999999?b\\u-99999?c}")
            << QString() << QStringLiteral("a\uFFFDb\uFFFDc");
        QTest::newRow("fs and cf out of range")
            << QStringLiteral("fs.rtf")
            << QByteArray("{\\rtf1 \\fs99999999 grand \\cf2147483647 couleur \\fs-5 \\cf-3 fin}")
            << QString() << QStringLiteral("grand couleur fin");
        QByteArray colours("{\\rtf1{\\colortbl;");
        for (int i = 0; i < 1000000; ++i)
            colours += "\\red9\\green9\\blue9;";
        QTest::newRow("million colours")
            << QStringLiteral("couleurs.rtf") << colours + "}\\cf999999 texte}" << QString()
            << QStringLiteral("texte");
    }
    void hostileFilesOpen() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(QString, text);
        if (::geteuid() == 0 && error == QLatin1String("permission"))
            QSKIP("root ignores permissions: run as an ordinary user for this row");
        QTemporaryDir area;
        const QString file = name.startsWith(QLatin1Char('/')) ? name : area.filePath(name);
        if (name.endsWith(QLatin1Char('/'))) {
            QDir(area.path()).mkpath(name);
        } else if (name == QLatin1String("tube")) {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (name == QLatin1String("enorme.txt") || name == QLatin1String("limite.txt")) {
            QFile big(file); // sparse: refused before it is read
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(name == QLatin1String("limite.txt")
                                   ? qint64(256) * 1024 * 1024 + 1
                                   : qint64(2) * 1024 * 1024 * 1024));
        } else if (!content.isNull()) {
            writeFile(file, content);
        }
        if (name == QLatin1String("secret.txt")) ::chmod(QFile::encodeName(file).constData(), 0);
        const bool sparse =
            name == QLatin1String("enorme.txt") || name == QLatin1String("limite.txt");
        const QByteArray before =
            QFileInfo(file).isFile() && !sparse ? readFile(file) : QByteArray();
        const qint64 peakBefore = peakMemoryKiB();
        QVERIFY2(peakBefore > 0, "the peak memory can't be read from /proc/self/status");

        FormFixture f;
        TForm1 *form = f.form;
        form->SaveDialog1->FileName = area.filePath(QStringLiteral("nom.rtf"));
        form->RichEdit1->SetText(QStringLiteral("ancien"));
        form->RichEdit1->SetModified(false);
        BoxWatch boxes(QMessageBox::Ok);
        if (name.endsWith(QLatin1Char('/'))) {
            // The dialog itself walks into a folder: give the name directly.
            form->RichEdit1->Lines->Clear();
            try {
                form->RichEdit1->Lines->LoadFromFile(file);
            } catch (const Exception &e) {
                boxes.texts << e.Message;
            }
        } else {
            answerFileDialog(file);
            form->Ouvrir1->Click();
        }
        if (error.isEmpty()) {
            QCOMPARE(boxes.count(), 0);
            QVERIFY2(form->RichEdit1->Text().contains(text),
                     qPrintable(form->RichEdit1->Text().left(200)));
        } else {
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(
                boxes.texts.at(0).startsWith(QStringLiteral("Impossible d'ouvrir le fichier")) ||
                    boxes.texts.at(0).startsWith(QStringLiteral("Le fichier RTF est illisible")),
                qPrintable(boxes.texts.at(0)));
            // Figures are grouped by thousands with a (narrow) no-break space.
            QString said = boxes.texts.at(0), wanted = error;
            said.remove(QChar(0x202F)).remove(QChar(0x00A0));
            if (wanted.front().isDigit()) {
                said.remove(QLatin1Char(' '));
                wanted.remove(QLatin1Char(' '));
            }
            QVERIFY2(said.contains(wanted), qPrintable(boxes.texts.at(0)));
            // The editor was emptied before the read, and stays so.
            QCOMPARE(form->RichEdit1->Text(), QString());
        }
        QVERIFY(!form->RichEdit1->Modified());
        QCOMPARE(form->SaveDialog1->FileName, area.filePath(QStringLiteral("nom.rtf")));
        QVERIFY2(peakMemoryKiB() - peakBefore < 512 * 1024, "memory grew past 512 MB");
        if (!before.isEmpty()) QCOMPARE(readFile(file), before);
        QCOMPARE(QFileInfo::exists(area.filePath(QStringLiteral("nom.rtf"))), false);
    }

    // The prompt of New, Open and closing waits for Oui or Non: Escape and a
    // close request (the frame's button, Alt+F4) leave it open and lose
    // nothing. Then Oui with the Save As dialog cancelled keeps the document.
    void promptIgnoresEscapeAndClose_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("Nouveau") << 0;
        QTest::newRow("Ouvrir") << 1;
        QTest::newRow("fermer la fenêtre") << 2;
    }
    void promptIgnoresEscapeAndClose() {
        QFETCH(int, command);
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        type(form, QStringLiteral("lettre en cours"));
        int shown = 0;
        bool openAfterEscape = false, openAfterClose = false;
        QString textMeanwhile;
        whenShown([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
                  [&](QWidget *w) {
                      auto *box = static_cast<QMessageBox *>(w);
                      ++shown;
                      QTest::keyClick(box, Qt::Key_Escape);
                      QTest::qWait(20);
                      openAfterEscape = box->isVisible();
                      box->close();
                      QTest::qWait(20);
                      openAfterClose = box->isVisible();
                      textMeanwhile = form->RichEdit1->Text();
                      answerFileDialog(QString()); // Save As, cancelled
                      box->button(QMessageBox::Yes)->click();
                  });
        if (command == 0) form->Nouveau1->Click();
        if (command == 1) form->Ouvrir1->Click();
        if (command == 2) form->Widget()->close();
        QCOMPARE(shown, 1);
        QVERIFY(openAfterEscape);
        QVERIFY(openAfterClose);
        QCOMPARE(textMeanwhile, QStringLiteral("lettre en cours"));
        QCOMPARE(form->RichEdit1->Text(), QStringLiteral("lettre en cours"));
        QVERIFY(form->RichEdit1->Modified());
        QVERIFY(form->Widget()->isVisible());
        QVERIFY(!Application->Terminated());
    }

    // A long Open shows its progress with the file's name under a wait
    // cursor, and can be cancelled: the editor is then empty, as after a
    // failed Open, and the save name has not changed. Save As shows its own.
    void longOpenShowsProgressAndCancels_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("longue.txt");
        QTest::newRow("rtf") << QStringLiteral("longue.rtf");
    }
    void longOpenShowsProgressAndCancels() {
        QFETCH(QString, name);
        TProgress::SetTimings(0, 0); // the window at once, every step
        const QString file = path(name);
        QByteArray content = name.endsWith(QLatin1String(".rtf")) ? "{\\rtf1\\ansi " : "";
        for (int i = 0; i < 400000; ++i)
            content += name.endsWith(QLatin1String(".rtf")) ? "ligne \\'e9t\\'e9\\par\n"
                                                            : "ligne \xc3\xa9t\xc3\xa9\n";
        writeFile(file, content);
        FormFixture f;
        f.show();
        TForm1 *form = f.form;
        form->SaveDialog1->FileName = path(QStringLiteral("nom.rtf"));
        type(form, QStringLiteral("avant"));
        QString label;
        bool waitCursor = false, modal = false;
        whenShown([](QWidget *w) { return w->objectName() == QLatin1String("progressDialog"); },
                  [&](QWidget *w) {
                      auto *dialog = static_cast<QProgressDialog *>(w);
                      label = dialog->labelText();
                      modal = dialog->isModal();
                      waitCursor = QApplication::overrideCursor() &&
                                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                      dialog->cancel();
                  });
        BoxWatch boxes(QMessageBox::No);
        answerFileDialog(file);
        form->Ouvrir1->Click();
        TProgress::SetTimings(500, 50);
        QCOMPARE(label, QStringLiteral("Ouverture de « %1 »...").arg(name));
        QVERIFY(waitCursor);
        QVERIFY(modal);
        QCOMPARE(boxes.count(), 1); // the save prompt, nothing else
        QCOMPARE(form->RichEdit1->Text(), QString());
        QVERIFY(!form->RichEdit1->Modified());
        QCOMPARE(form->SaveDialog1->FileName, path(QStringLiteral("nom.rtf")));
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        // Not cancelled: the whole document.
        form->RichEdit1->Lines->LoadFromFile(file);
        QCOMPARE(form->RichEdit1->Lines->Count(),
                 name.endsWith(QLatin1String(".rtf")) ? 400000 : 400001);
        // Save As says what it writes; it has nothing to cancel.
        TProgress::SetTimings(0, 0);
        bool cancelButton = true;
        whenShown([](QWidget *w) { return w->objectName() == QLatin1String("progressDialog"); },
                  [&](QWidget *w) {
                      label = static_cast<QProgressDialog *>(w)->labelText();
                      cancelButton = w->findChild<QPushButton *>() != nullptr;
                  });
        form->RichEdit1->Lines->SaveToFile(path(QStringLiteral("copie.rtf")));
        TProgress::SetTimings(500, 50);
        QCOMPARE(label, QStringLiteral("Enregistrement de « copie.rtf »..."));
        QVERIFY(!cancelButton);
    }

    // A long list opens as one list, numbered to its end: its markers as the
    // editor shows them, the text Save writes, the RTF of Save As (one list)
    // and the print, also after an item is added and one taken out in the
    // middle. The toolkit's list marks all of its items changed when one is
    // added, so that no list object of the toolkit's may hold more than a
    // few dozen items: that makes Open linear. Opening steps the progress
    // window every few hundred items, so that Annuler answers at once.
    // Lists of the list table as word processors write them, and old-style
    // \pn lists, at two lengths.
    void longListsOpenAsOneList_data() {
        QTest::addColumn<bool>("table");
        QTest::addColumn<int>("items");
        QTest::newRow("list table, 3000") << true << 3000;
        QTest::newRow("list table, 6000") << true << 6000;
        QTest::newRow("pn, 3000") << false << 3000;
        QTest::newRow("pn, 6000") << false << 6000;
    }
    void longListsOpenAsOneList() {
        QFETCH(bool, table);
        QFETCH(int, items);
        QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}";
        if (table) {
            rtf += "{\\*\\listtable{\\list{\\listlevel\\levelnfc0\\levelstartat1"
                   "{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}"
                   "\\listid5}}{\\*\\listoverridetable{\\listoverride\\listid5"
                   "\\listoverridecount0\\ls1}}\n";
        }
        QString expected; // as Save writes it
        for (int i = 1; i <= items; ++i) {
            const QByteArray n = QByteArray::number(i);
            rtf += table ? "{\\listtext " + n + ".\\tab}\\pard\\fi-360\\li720\\ls1 article " + n +
                               "\\par\n"
                         : "{\\pntext " + n +
                               ".\\tab}\\pard\\fi-360\\li720{\\*\\pn\\pnlvlbody"
                               "\\pndec\\pnstart1{\\pntxta .}}article " +
                               n + "\\par\n";
            expected += QStringLiteral("%1.\tarticle %1\n").arg(i);
        }
        rtf += "}";
        const QString file = path(QStringLiteral("liste.rtf"));
        writeFile(file, rtf);
        FormFixture f;
        f.show();
        TRichEdit *edit = f.form->RichEdit1;
        QTextEdit *editor = editoraccess::Widget(edit);
        QTextDocument *doc = editor->document();
        // Paragraphs read between two steps of the progress window.
        TProgress::SetTimings(0, 0);
        int lastCount = 0, mostBetweenSteps = 0, steps = 0;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] {
            ++steps;
            mostBetweenSteps = std::max(mostBetweenSteps, doc->blockCount() - lastCount);
            lastCount = doc->blockCount();
        });
        sample.start(0);
        edit->Lines->LoadFromFile(file);
        sample.stop();
        TProgress::SetTimings(500, 50);
        QVERIFY2(steps > items / 1000 && mostBetweenSteps <= 1000,
                 qPrintable(QStringLiteral("%1 steps, up to %2 paragraphs between two")
                                .arg(steps)
                                .arg(mostBetweenSteps)));

        const auto copied = [&] {
            edit->SelectAll();
            edit->CopyToClipboard();
            return QApplication::clipboard()->text();
        };
        // Every item in a list, numbered in order; a list object of the
        // toolkit's holds a few dozen items at most.
        const auto numberedInOrder = [&](int count) {
            QCOMPARE(doc->blockCount(), count);
            int largest = 0, number = 0;
            for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
                QVERIFY(b.textList());
                largest = std::max(largest, b.textList()->count());
                QCOMPARE(qtrich::listMarker(b), QStringLiteral("%1.").arg(++number));
            }
            QVERIFY2(largest <= 64, qPrintable(QString::number(largest)));
        };
        numberedInOrder(items);
        expected.chop(1);
        QCOMPARE(copied(), expected);

        // An item added after the tenth, the twentieth taken out of the list.
        QTextCursor cur(doc->findBlockByNumber(9));
        cur.movePosition(QTextCursor::EndOfBlock);
        editor->setTextCursor(cur);
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::keyClicks(editor, QStringLiteral("nouveau"));
        numberedInOrder(items + 1);
        editor->setTextCursor(QTextCursor(doc->findBlockByNumber(20)));
        QTest::keyClick(editor, Qt::Key_Backspace);
        const QString text = copied();
        QVERIFY(text.startsWith(QStringLiteral("1.\tarticle 1\n")));
        QVERIFY(
            text.contains(QStringLiteral("\n10.\tarticle 10\n11.\tnouveau\n12.\tarticle 11\n")));
        QVERIFY(text.contains(QStringLiteral("\n19.\tarticle 18\n20.\tarticle 19\narticle 20\n"
                                             "21.\tarticle 21\n")));
        QVERIFY(text.endsWith(QStringLiteral("\n%1.\tarticle %1").arg(items)));

        // Save As writes one list; the file opens with the same markers.
        const QString saved = path(QStringLiteral("copie.rtf"));
        edit->Lines->SaveToFile(saved);
        const rtf::Document back = rtf::read(readFile(saved));
        QCOMPARE(int(back.paragraphs.size()), items + 1);
        QVERIFY(back.paragraphs.front().list.id);
        for (const rtf::Paragraph &p : back.paragraphs) {
            if (p.runs.front().text == QLatin1String("article 20")) {
                QCOMPARE(p.list.id, 0);
            } else {
                QCOMPARE(p.list.id, back.paragraphs.front().list.id);
            }
        }
        edit->Lines->LoadFromFile(saved);
        QCOMPARE(copied(), text);

        // Printed with the same markers (a copy of the document, numbered
        // on its own).
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QPrinter &printer = CurrentPrinter();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path(QStringLiteral("liste.pdf")));
        edit->Print(QString());
        QProcess pdf;
        pdf.start(
            QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), path(QStringLiteral("liste.pdf")), QStringLiteral("-")});
        QVERIFY(pdf.waitForFinished(60000));
        const QString printed = QString::fromUtf8(pdf.readAllStandardOutput());
        for (const QString &line : {QStringLiteral("11. nouveau"), QStringLiteral("20. article 19"),
                                    QStringLiteral("%1. article %1").arg(items)})
            QVERIFY2(printed.simplified().contains(line), qPrintable(line));
    }

    // Open, Save and Save As in a process whose address space is bounded, as
    // on a desktop with little memory: a task that can't fit is refused with
    // a French message, the editor as it was (empty after a refused Open),
    // and the program goes on working. Each row runs in a process of its own
    // (this program, started again on the row below), so that the bound
    // holds for that process alone.
    void memoryRunsOut_data() {
        QTest::addColumn<QString>("task");
        QTest::addColumn<int>("megabytes"); // of the file, or of the document
        QTest::newRow("open plain") << QStringLiteral("open") << 40;
        QTest::newRow("open utf-16") << QStringLiteral("open") << 60;
        QTest::newRow("open rtf") << QStringLiteral("open") << 40;
        QTest::newRow("open table rtf") << QStringLiteral("open") << 12; // empty cells, many
        QTest::newRow("open what fits") << QStringLiteral("open") << 2;
        QTest::newRow("save") << QStringLiteral("save") << 20;
        QTest::newRow("save as") << QStringLiteral("saveas") << 20;
    }
    void memoryRunsOut() {
        QFETCH(QString, task);
        QFETCH(int, megabytes);
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        if (qEnvironmentVariableIsSet("PAVELIN_MEMORY_ROW")) {
            if (row == qEnvironmentVariable("PAVELIN_MEMORY_ROW")) underMemoryBound(task);
            return;
        }
        // The file, written here so that the bounded process does not make it.
        const QString file = path(QStringLiteral("grand-%1.%2")
                                      .arg(QString(row).replace(QLatin1Char(' '), QLatin1Char('-')),
                                           row.endsWith(QLatin1String("rtf")) ? "rtf" : "txt"));
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            const bool utf16 = row.endsWith(QLatin1String("utf-16"));
            const bool rtf = row.endsWith(QLatin1String("rtf"));
            QByteArray line = rtf ? "alpha {\\b b\\'eata} gamma \\'e9t\\'e9 delta\\par\n"
                                  : "alpha beta gamma \xc3\xa9t\xc3\xa9 delta epsilon\n";
            if (row.contains(QLatin1String("table")))
                line = "\\intbl" + QByteArray("\\cell").repeated(20) + "\\row\n";
            if (utf16) {
                const QString text = QString::fromUtf8(line);
                line = QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
                out.write("\xff\xfe");
            }
            if (rtf) out.write("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Arial;}}\n");
            QByteArray block;
            while (block.size() < (1 << 20))
                block += line;
            for (int i = 0; i < megabytes; ++i)
                out.write(block);
            if (rtf) out.write("}");
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PAVELIN_MEMORY_ROW"), row);
        env.insert(QStringLiteral("PAVELIN_MEMORY_FILE"), file);
        env.insert(QStringLiteral("PAVELIN_MEMORY_MB"), QString::number(megabytes));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("memoryRunsOut:") + row});
        QVERIFY(child.waitForFinished(240000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 output.right(3000).constData());
        QVERIFY2(output.contains("PASS   : TestDocuments::memoryRunsOut(" + row.toLatin1() + ")"),
                 output.right(3000).constData());
        QFile::remove(file);
    }

    // Closing asks about unsaved changes; only No or a completed save close.
    void closingAsksFirst() {
        {
            FormFixture f;
            f.show();
            type(f.form, QStringLiteral("non enregistré"));
            BoxWatch boxes(QMessageBox::Yes);
            answerFileDialog(QString());
            f.form->Quitter1->Click();
            QCOMPARE(boxes.count(), 1);
            QVERIFY(f.form->Widget()->isVisible());
            QVERIFY(!Application->Terminated());
            QCOMPARE(f.form->RichEdit1->Text(), QStringLiteral("non enregistré"));
            // Yes and a completed Save As: saved, then closed.
            const QString file = path(QStringLiteral("fermeture.rtf"));
            answerFileDialog(file);
            f.form->Widget()->close(); // the close box
            QCOMPARE(boxes.count(), 2);
            QVERIFY(!f.form->Widget()->isVisible());
            QVERIFY(Application->Terminated());
            QVERIFY(readFile(file).contains("non enregistr\\'e9"));
        }
        {
            FormFixture f;
            f.show();
            type(f.form, QStringLiteral("jeté"));
            BoxWatch boxes(QMessageBox::No);
            f.form->Quitter1->Click();
            QCOMPARE(boxes.count(), 1);
            QVERIFY(!f.form->Widget()->isVisible());
            QVERIFY(Application->Terminated());
        }
        {
            FormFixture f;
            f.show();
            BoxWatch boxes(QMessageBox::No);
            f.form->Quitter1->Click();
            QCOMPARE(boxes.count(), 0); // nothing to save: no question
            QVERIFY(Application->Terminated());
        }
    }
};

QTEST_MAIN(TestDocuments)
#include "test_documents.moc"
