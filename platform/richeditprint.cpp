// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/richeditprint.h"

#include "platform/printing.h"
#include "platform/richedit.h"

#include "core/exception.h"
#include "platform/listformat.h"
#include "platform/richedit_p.h"

#include <QFile>
#include <QPrinter>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>

void PrintDocument(const QTextDocument *doc, const QString &title) {
    QPrinter &printer = CurrentPrinter();
    printer.setDocName(title);
    // Every print is the whole document once, whatever the dialog last held.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);
    printer.setCopyCount(1);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        // QTextDocument::print reports nothing: make sure the file can be written.
        QFile out(printer.outputFileName());
        if (printer.outputFileName().isEmpty() || !out.open(QIODevice::WriteOnly)) {
            throw Exception(QStringLiteral("Impossible d'imprimer dans le fichier « %1 » : %2.")
                                .arg(printer.outputFileName(), out.errorString()));
        }
    }
    // The toolkit numbers lists its own way: a copy holds the markers as text.
    bool lists = false;
    for (QTextBlock b = doc->begin(); b.isValid() && !lists; b = b.next())
        lists = b.textList() != nullptr;
    if (lists) {
        std::unique_ptr<QTextDocument> copy(doc->clone());
        qtrich::markersToText(copy.get());
        copy->print(&printer);
    } else {
        doc->print(&printer);
    }
    if (printer.printerState() == QPrinter::Error) {
        throw Exception(QStringLiteral("L'impression sur « %1 » a échoué.")
                            .arg(printer.outputFormat() == QPrinter::PdfFormat
                                     ? printer.outputFileName()
                                     : printer.printerName()));
    }
}

void TRichEdit::Print(const QString &caption) {
    PrintDocument(editor_->document(), caption);
}
