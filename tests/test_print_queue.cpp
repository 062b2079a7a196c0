// SPDX-License-Identifier: GPL-3.0-or-later
// Printing through a real CUPS queue (cups-pdf): the printer chosen in the
// setup dialog, the print dialog confirmed, the PDF the queue produced read back;
// and what needs no queue, tables printed to a PDF file.
#include "core/rtf.h"
#include "helpers.h"
#include "platform/printing.h"
#include "platform/richconvert.h"
#include "platform/richeditprint.h"
#include "platform/tableformat.h"
#include "platform/textformats.h"

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QHash>
#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

using namespace testing;

namespace {
// PDFs the queue wrote after `since`, newest first.
QStringList newPdfs(const QDateTime &since) {
    QStringList found;
    for (const QString &root :
         {QDir::homePath() + QStringLiteral("/PDF"), QStringLiteral("/var/spool/cups-pdf")}) {
        QDirIterator it(root, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString f = it.next();
            if (QFileInfo(f).lastModified() >= since) found << f;
        }
    }
    return found;
}
} // namespace

class TestPrintQueue : public QObject {
    Q_OBJECT

private slots:
    void printsThroughTheQueue() {
        if (!QPrinterInfo::availablePrinterNames().contains(QStringLiteral("PavelinPDF")))
            QSKIP("no CUPS queue named PavelinPDF");
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        FormFixture f;
        TForm1 *form = f.form;
        form->RichEdit1->SetText(QStringLiteral("Imprimé par la file PDF\nSeconde ligne"));

        answerModal([](QDialog *d) {
            auto *printer = d->findChild<QComboBox *>(QStringLiteral("printer"));
            printer->setCurrentIndex(printer->findData(QStringLiteral("PavelinPDF")));
            QMetaObject::invokeMethod(d, "accept");
        });
        form->Configurationdelimprimante1->Click();
        QCOMPARE(CurrentPrinter().outputFormat(), QPrinter::NativeFormat);
        QCOMPARE(CurrentPrinter().printerName(), QStringLiteral("PavelinPDF"));

        // The queue's PDF draws the text as glyphs without a text layer
        // (Ghostscript's Type 3 fonts), so the check is on the page itself:
        // one page, with ink, and more ink for more text.
        const int shortInk = printAndMeasure(form);
        QVERIFY(shortInk > 0);
        form->RichEdit1->SetText(
            QStringLiteral("Imprimé par la file PDF\nSeconde ligne\n").repeated(6));
        const int longInk = printAndMeasure(form);
        QVERIFY2(longInk > 3 * shortInk,
                 qPrintable(QStringLiteral("%1 vs %2").arg(longInk).arg(shortInk)));
    }

    // A table printed to a PDF file: every cell's text where its column
    // stands, the grid and the header's shading drawn, the header row on
    // each page, a row as high as its definition asks, and a row too tall
    // for what is left of a page moved whole to the next one.
    void printsTablesToPdf() {
        for (const char *tool : {"pdftotext", "pdftoppm"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP("poppler-utils is not installed");
        FormFixture f;
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("tableau.pdf"));
        CurrentPrinter().setOutputFormat(QPrinter::PdfFormat);
        CurrentPrinter().setOutputFileName(pdf);
        CurrentPrinter().setPageSize(QPageSize(QPageSize::A4));

        // Three columns with right edges at 2880, 5760 and 8640 twips; one
        // row whose second cell ends at 7200, an edge no other row has; one
        // row of two cells merged across. Row 30 holds 30 lines: more than the first
        // page has left under rows 1 to 29, less than a page.
        const int tall = 30, rows = 90;
        const QRgb headerShade = 0xC0D0FF;
        // The table as the reader hands it over: rows alike share their
        // definition.
        rtf::Document model;
        model.paragraphs.clear();
        const auto paragraph = [&](const QString &text, int depth) -> rtf::Paragraph & {
            rtf::Paragraph p;
            p.depth = depth;
            if (!text.isEmpty()) p.runs.push_back(rtf::Run{{}, text, nullptr});
            model.paragraphs.push_back(std::move(p));
            return model.paragraphs.back();
        };
        paragraph(QStringLiteral("Inventaire"), 0);
        const rtf::Border line{rtf::BorderStyle::Single, 15, rtf::NoColor};
        std::shared_ptr<const rtf::RowDef> ordinary;
        for (int r = 0; r < rows; ++r) {
            rtf::RowDef def;
            def.gap = 108;
            def.header = r == 0;
            if (r == 3) def.height = 1440; // an inch at least
            std::vector<int> rights = {2880, 5760, 8640};
            if (r == 5) rights = {2880, 7200, 8640};
            for (int c = 0; c < 3; ++c) {
                rtf::CellDef cell;
                cell.right = rights[size_t(c)];
                cell.top = cell.left = cell.bottom = cell.rightBorder = line;
                if (r == 0) cell.shading = std::int32_t(headerShade);
                if (r == 7 && c == 1) cell.across = rtf::Merge::First;
                if (r == 7 && c == 2) cell.across = rtf::Merge::Next;
                if (r == 3 && c == 1) cell.align = rtf::CellAlign::Center;
                def.cells.push_back(cell);
            }
            const bool alike = r != 0 && r != 3 && r != 5 && r != 7;
            if (alike && !ordinary) ordinary = std::make_shared<const rtf::RowDef>(def);
            const auto shared = alike ? ordinary : std::make_shared<const rtf::RowDef>(def);
            for (int c = 0; c < 3; ++c) {
                QStringList texts;
                if (r == 0) {
                    texts << QStringList{"Désignation", "Quantité", "Prix"}[c];
                } else if (r == tall && c == 0) {
                    for (int n = 1; n <= 30; ++n)
                        texts << QStringLiteral("haute %1").arg(n);
                } else {
                    texts << (r == 7 && c == 2 ? QString()
                                               : QStringLiteral("r%1c%2").arg(r).arg(c));
                }
                for (const QString &text : texts)
                    paragraph(text, 1);
                model.paragraphs.back().endsCell = true;
            }
            model.paragraphs.back().endsRow = shared;
        }
        QTextDocument doc;
        QTextCursor cur(&doc);
        qtrich::insert(cur, model, true);
        // After it, two paragraphs in one box, red rules above and below it
        // and none at its sides, then a paragraph out of it.
        const QRgb rule = 0xFF0000;
        rtf::ParaFormat boxed;
        boxed.box.top = boxed.box.bottom = {rtf::BorderStyle::Single, 30, std::int32_t(rule)};
        boxed.box.space = 60;
        boxed.leftIndent = 720;
        QTextCursor end(&doc);
        // A box first in the document too, as a letterhead's rule.
        end.insertBlock(QTextBlockFormat());
        end.movePosition(QTextCursor::Start);
        end.setBlockFormat(qtrich::blockFormatOf(boxed));
        end.insertText(QStringLiteral("En-tête"));
        end.movePosition(QTextCursor::End);
        end.insertBlock(qtrich::blockFormatOf(boxed));
        end.insertText(QStringLiteral("Total général"));
        end.insertBlock(qtrich::blockFormatOf(boxed));
        end.insertText(QStringLiteral("Signé"));
        end.insertBlock(QTextBlockFormat());
        end.insertText(QStringLiteral("Fin du document"));
        PrintDocument(&doc, QStringLiteral("Inventaire"));

        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        const QStringList pages =
            QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
        const QString all = pages.join(QLatin1Char('\n'));
        for (int r = 1; r < rows; ++r)
            for (int c = 0; c < 3; ++c)
                if (r != tall && !(r == 7 && c == 2))
                    QVERIFY2(all.contains(QStringLiteral("r%1c%2").arg(r).arg(c)),
                             qPrintable(QStringLiteral("r%1c%2").arg(r).arg(c)));
        // The tall row on one page, which starts with the header and the row.
        int tallPage = -1;
        for (int i = 0; i < pages.size(); ++i)
            if (pages[i].contains(QRegularExpression(QStringLiteral("\\bhaute 1\\b"))))
                tallPage = i;
        QVERIFY2(tallPage > 0, qPrintable(all));
        for (int n = 1; n <= 30; ++n)
            QVERIFY2(pages[tallPage].contains(
                         QRegularExpression(QStringLiteral("\\bhaute %1\\b").arg(n))),
                     qPrintable(pages[tallPage]));
        const QStringList onTallPage = pages[tallPage].simplified().split(QLatin1Char(' '));
        QCOMPARE(onTallPage.mid(0, 4), (QStringList{"Désignation", "Quantité", "Prix", "haute"}));
        // It was moved: the page before it ends with the row above it.
        QVERIFY2(pages[tallPage - 1].simplified().endsWith(
                     QStringLiteral("r%1c2 %2").arg(tall - 1).arg(tallPage)),
                 qPrintable(pages[tallPage - 1]));
        QVERIFY(pages.size() >= 3);
        QVERIFY2(pages[pages.size() - 2].simplified().contains(
                     QStringLiteral("Total général Signé Fin du document")),
                 qPrintable(pages[pages.size() - 2]));
        for (int i = 0; i < pages.size() - 1; ++i) // (the last is what follows the last \f)
            QVERIFY2(pages[i].simplified().startsWith(
                         i == 0 ? QStringLiteral("En-tête Inventaire Désignation Quantité Prix")
                                : QStringLiteral("Désignation Quantité Prix")),
                     qPrintable(pages[i]));

        // Where the words stand, in points (20 twips): each cell's text starts
        // its gap (108 twips) right of its left edge.
        p.start(QStringLiteral("pdftotext"),
                {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                 QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        QHash<QString, double> x, y;
        static const QRegularExpression word(
            QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
        for (const auto &m : word.globalMatch(QString::fromUtf8(p.readAllStandardOutput()))) {
            x.insert(m.captured(3), m.captured(1).toDouble());
            y.insert(m.captured(3), m.captured(2).toDouble());
        }
        // Row 3 an inch high (72 points), its middle cell's text in its middle.
        const double lineStep = y.value(QStringLiteral("r3c0")) - y.value(QStringLiteral("r2c0"));
        QVERIFY2(lineStep > 5 && lineStep < 30, qPrintable(QString::number(lineStep)));
        const double row3 = y.value(QStringLiteral("r4c0")) - y.value(QStringLiteral("r3c0"));
        QVERIFY2(std::abs(row3 - 72) < 3, qPrintable(QString::number(row3)));
        const double middle = y.value(QStringLiteral("r3c1")) - y.value(QStringLiteral("r3c0"));
        QVERIFY2(std::abs(middle - (72 - lineStep) / 2) < 3, qPrintable(QString::number(middle)));
        const double left = x.value(QStringLiteral("r1c0"));
        QVERIFY(left > 0);
        const auto at = [&](const char *w, int twips) {
            QVERIFY2(std::abs(x.value(QString::fromLatin1(w)) - left - twips / 20.0) < 1.5,
                     qPrintable(QStringLiteral("%1 at %2, expected %3")
                                    .arg(QLatin1String(w))
                                    .arg(x.value(QString::fromLatin1(w)) - left)
                                    .arg(twips / 20.0)));
        };
        at("r1c1", 2880);
        at("r1c2", 5760);
        at("r5c1", 2880);
        at("r5c2", 7200);
        at("r7c1", 2880);

        // The grid and the shading: render pages 1 and 2; the header's colour
        // is on both, and the edge between the first two columns is a line
        // of ink down the page.
        for (int page = 1; page <= 2; ++page) {
            const QString prefix = dir.filePath(QStringLiteral("page%1").arg(page));
            QProcess render;
            render.start(QStringLiteral("pdftoppm"),
                         {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"),
                          QString::number(page), QStringLiteral("-l"), QString::number(page),
                          QStringLiteral("-singlefile"), pdf, prefix});
            QVERIFY(render.waitForFinished(30000));
            const QImage image(prefix + QStringLiteral(".ppm"));
            QVERIFY(!image.isNull());
            int shaded = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int xx = 0; xx < image.width(); ++xx)
                    shaded += qAbs(qRed(image.pixel(xx, y)) - qRed(headerShade)) < 12 &&
                              qAbs(qGreen(image.pixel(xx, y)) - qGreen(headerShade)) < 12 &&
                              qAbs(qBlue(image.pixel(xx, y)) - qBlue(headerShade)) < 12;
            QVERIFY2(shaded > 500, qPrintable(QString::number(shaded)));
            // One point a pixel: the edge at 2880 twips stands 144 - 5.4 points
            // right of the first column's text.
            const int edge = qRound(left + 144 - 5.4);
            int inked = 0;
            for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y) {
                bool dark = false;
                for (int dx = -2; dx <= 2; ++dx)
                    dark = dark || qGray(image.pixel(edge + dx, y)) < 128;
                inked += dark;
            }
            QVERIFY2(inked > image.height() / 2 - 10, qPrintable(QString::number(inked)));
        }
        // The box's rules on the last page: two red lines across, from its
        // indent less its spacing (36 - 3 points right of the page's text
        // edge, which is the first column's text less its gap).
        const QString last = dir.filePath(QStringLiteral("last"));
        QProcess render;
        render.start(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"),
                      QString::number(pages.size() - 1), QStringLiteral("-l"),
                      QString::number(pages.size() - 1), QStringLiteral("-singlefile"), pdf, last});
        QVERIFY(render.waitForFinished(30000));
        const QImage image(last + QStringLiteral(".ppm"));
        QVERIFY(!image.isNull());
        const auto red = [&](int xx, int y) {
            const QRgb c = image.pixel(xx, y);
            return qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) < 90;
        };
        std::vector<int> rules, starts;
        for (int y = 0; y < image.height(); ++y) {
            int n = 0, from = -1;
            for (int xx = 0; xx < image.width(); ++xx) {
                if (!red(xx, y)) continue;
                ++n;
                if (from < 0) from = xx;
            }
            if (n > image.width() / 2 && (rules.empty() || y > rules.back() + 1)) {
                rules.push_back(y);
                starts.push_back(from);
            }
        }
        QCOMPARE(rules.size(), size_t(2));
        QVERIFY2(rules[1] - rules[0] > 20, qPrintable(QString::number(rules[1] - rules[0])));
        for (int from : starts)
            QVERIFY2(std::abs(from - (left - 5.4 + 36 - 3)) < 3,
                     qPrintable(QStringLiteral("%1, text at %2").arg(from).arg(left)));
        int sides = 0; // no rule down its sides
        for (int y = rules[0] + 3; y < rules[1] - 2; ++y)
            sides += red(starts[0], y);
        QCOMPARE(sides, 0);
    }

private:
    // Prints through the dialog; the dark pixels of the page the queue wrote.
    int printAndMeasure(TForm1 *form) {
        const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
        answerModal([](QDialog *d) { QMetaObject::invokeMethod(d, "accept"); });
        form->Imprimer1->Click();
        QStringList pdfs;
        for (int i = 0; i < 600 && (pdfs = newPdfs(since)).isEmpty(); ++i)
            QTest::qWait(100);
        if (pdfs.isEmpty()) {
            qWarning("the queue wrote no PDF");
            return -1;
        }
        QTest::qWait(1000); // the queue may still be finishing the file
        QTemporaryDir dir;
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdfs.first()});
        info.waitForFinished(30000);
        if (!QString::fromUtf8(info.readAllStandardOutput())
                 .contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) {
            qWarning("not a one-page PDF: %s", qPrintable(pdfs.first()));
            return -1;
        }
        QProcess render;
        render.start(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-gray"),
                      QStringLiteral("-singlefile"), pdfs.first(),
                      dir.filePath(QStringLiteral("page"))});
        render.waitForFinished(30000);
        const QImage page(dir.filePath(QStringLiteral("page.pgm")));
        int ink = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                ink += qGray(page.pixel(x, y)) < 160;
        qInfo("%s: %d dark pixels", qPrintable(pdfs.first()), ink);
        QFile::copy(pdfs.first(), QDir::temp().filePath(QStringLiteral("pavelin-queue-last.pdf")));
        QFile::remove(pdfs.first());
        return ink;
    }

private slots:
    void cleanupTestCase() { QCOMPARE(missed, 0); }
};

QTEST_MAIN(TestPrintQueue)
#include "test_print_queue.moc"
