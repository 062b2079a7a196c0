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
#include <QTextCursor>
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
    // The toolkit numbers lists its own way, and lays out a paragraph's left
    // and right indents and first-line indent in the printer's dots, not in
    // the document's pixels as it does the space above and below: a copy
    // holds the markers as text and the indents in dots.
    bool lists = false, indents = false;
    for (QTextBlock b = doc->begin(); b.isValid() && !(lists && indents); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        lists = lists || b.textList() != nullptr;
        indents = indents || f.leftMargin() != 0 || f.rightMargin() != 0 || f.textIndent() != 0;
    }
    if (!lists && !indents) {
        doc->print(&printer);
    } else {
        std::unique_ptr<QTextDocument> copy(doc->clone());
        if (lists) qtrich::markersToText(copy.get());
        const double dots = printer.logicalDpiX() / 96.0;
        QTextCursor cur(copy.get());
        cur.beginEditBlock();
        for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
            QTextBlockFormat f = b.blockFormat();
            if (f.leftMargin() == 0 && f.rightMargin() == 0 && f.textIndent() == 0) continue;
            f.setLeftMargin(f.leftMargin() * dots);
            f.setRightMargin(f.rightMargin() * dots);
            f.setTextIndent(f.textIndent() * dots);
            cur.setPosition(b.position());
            cur.setBlockFormat(f);
        }
        cur.endEditBlock();
        copy->print(&printer);
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
