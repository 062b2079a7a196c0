// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/printing.h"

#include "platform/commands.h"
#include "platform/dialogs.h"
#include "platform/listformat.h"
#include "platform/qtconvert.h"
#include "platform/richedit.h"
#include "platform/richedit_p.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

QPrinter &CurrentPrinter() {
    return Application->Printer();
}

bool TPrintDialog::Execute() {
    if (Ending()) return false;
    auto *dialog = static_cast<QPrintDialog *>(Dialog());
    if (!dialog) {
        dialog = new QPrintDialog(&CurrentPrinter(), ParentWidget());
        dialog->setObjectName(QStringLiteral("printDialog"));
        // The document is printed whole and once: the dialog offers no page
        // range, selection or copy count that printing would not honour.
        dialog->setOptions(QAbstractPrintDialog::PrintToFile |
                           QAbstractPrintDialog::PrintShowPageSize);
        for (const char *name : {"copies", "copiesLabel", "collate", "reverse"}) {
            if (auto *w = dialog->findChild<QWidget *>(QString::fromLatin1(name)))
                w->setEnabled(false);
        }
        SetDialog(dialog);
    }
    dialog->setWindowModality(Qt::ApplicationModal);
    return dialog->exec() == QDialog::Accepted;
}

namespace {
// Printer, paper, orientation and margins: works for system printers and for
// PDF output alike.
class PrinterSetupWidget : public QDialog {
public:
    explicit PrinterSetupWidget(QWidget *parent) : QDialog(parent) {
        setObjectName(QStringLiteral("printerSetupDialog"));
        setWindowTitle(QStringLiteral("Configuration de l'impression"));
        printer = new QComboBox;
        printer->setObjectName(QStringLiteral("printer"));
        fileName = new QLineEdit;
        fileName->setObjectName(QStringLiteral("fileName"));
        paper = new QComboBox;
        paper->setObjectName(QStringLiteral("paper"));
        for (auto id : {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::Letter,
                        QPageSize::Legal, QPageSize::Executive, QPageSize::B5}) {
            paper->addItem(QPageSize::name(id), int(id));
        }
        portrait = new QRadioButton(QStringLiteral("Portrait"));
        portrait->setObjectName(QStringLiteral("portrait"));
        landscape = new QRadioButton(QStringLiteral("Paysage"));
        landscape->setObjectName(QStringLiteral("landscape"));
        auto *orientation = new QGroupBox(QStringLiteral("Orientation"));
        auto *orientationLayout = new QHBoxLayout(orientation);
        orientationLayout->addWidget(portrait);
        orientationLayout->addWidget(landscape);
        auto *margins = new QGroupBox(QStringLiteral("Marges (mm)"));
        auto *marginsLayout = new QFormLayout(margins);
        const char *names[] = {"Gauche :", "Droite :", "Haut :", "Bas :"};
        const char *ids[] = {"left", "right", "top", "bottom"};
        for (int i = 0; i < 4; ++i) {
            margin[i] = new QDoubleSpinBox;
            margin[i]->setObjectName(QString::fromLatin1(ids[i]));
            margin[i]->setRange(0, 100);
            margin[i]->setDecimals(1);
            marginsLayout->addRow(QString::fromUtf8(names[i]), margin[i]);
        }
        auto *form = new QFormLayout;
        form->addRow(QStringLiteral("&Imprimante :"), printer);
        form->addRow(QStringLiteral("&Fichier PDF :"), fileName);
        form->addRow(QStringLiteral("&Papier :"), paper);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(printer, &QComboBox::currentIndexChanged, this,
                [this] { fileName->setEnabled(printer->currentData().toString().isEmpty()); });
        auto *layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addWidget(orientation);
        layout->addWidget(margins);
        layout->addWidget(buttons);
    }

    void load(const QPrinter &p) {
        printer->clear();
        printer->addItem(QStringLiteral("Fichier PDF"), QString());
        for (const QString &name : QPrinterInfo::availablePrinterNames())
            printer->addItem(name, name);
        const bool pdf = p.outputFormat() == QPrinter::PdfFormat;
        const int pi = pdf ? 0 : printer->findData(p.printerName());
        printer->setCurrentIndex(pi < 0 ? 0 : pi);
        fileName->setText(p.outputFileName());
        fileName->setEnabled(printer->currentIndex() == 0);
        const int paperIndex = paper->findData(int(p.pageLayout().pageSize().id()));
        if (paperIndex >= 0) paper->setCurrentIndex(paperIndex);
        (p.pageLayout().orientation() == QPageLayout::Landscape ? landscape : portrait)
            ->setChecked(true);
        const QMarginsF m = p.pageLayout().margins(QPageLayout::Millimeter);
        margin[0]->setValue(m.left());
        margin[1]->setValue(m.right());
        margin[2]->setValue(m.top());
        margin[3]->setValue(m.bottom());
    }

    void apply(QPrinter &p) const {
        const QString name = printer->currentData().toString();
        if (name.isEmpty()) {
            p.setOutputFormat(QPrinter::PdfFormat);
            p.setOutputFileName(fileName->text());
        } else {
            p.setOutputFormat(QPrinter::NativeFormat);
            p.setPrinterName(name);
        }
        p.setPageSize(QPageSize(QPageSize::PageSizeId(paper->currentData().toInt())));
        p.setPageOrientation(landscape->isChecked() ? QPageLayout::Landscape
                                                    : QPageLayout::Portrait);
        p.setPageMargins(QMarginsF(margin[0]->value(), margin[2]->value(), margin[1]->value(),
                                   margin[3]->value()),
                         QPageLayout::Millimeter);
    }

    QComboBox *printer, *paper;
    QLineEdit *fileName;
    QRadioButton *portrait, *landscape;
    QDoubleSpinBox *margin[4];
};
} // namespace

bool TPrinterSetupDialog::Execute() {
    if (Ending()) return false;
    auto *dialog = static_cast<PrinterSetupWidget *>(Dialog());
    if (!dialog) {
        dialog = new PrinterSetupWidget(ParentWidget());
        SetDialog(dialog);
    }
    dialog->load(CurrentPrinter());
    dialog->setWindowModality(Qt::ApplicationModal);
    if (dialog->exec() != QDialog::Accepted) return false;
    dialog->apply(CurrentPrinter());
    return true;
}
