// SPDX-License-Identifier: GPL-3.0-or-later
// Printing through a real CUPS queue (cups-pdf): the printer chosen in the
// setup dialog, the print dialog confirmed, the PDF the queue produced read back.
#include "helpers.h"
#include "platform/printing.h"

#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

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
