#include "platform/dialogs.h"

#include "platform/forms.h"
#include "platform/private.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>

TCommonDialog::~TCommonDialog() {
    delete dialog_.data();
}

QDialog *TCommonDialog::Dialog() const {
    return static_cast<QDialog *>(dialog_.data());
}

void TCommonDialog::SetDialog(QDialog *dialog) {
    dialog_ = dialog;
}

QWidget *TCommonDialog::ParentWidget() const {
    for (TComponent *c = Owner(); c; c = c->Owner()) {
        if (auto *control = dynamic_cast<TControl *>(c)) return control->Widget();
    }
    return nullptr;
}

bool TOpenDialog::Execute() {
    if (Application && Application->Terminated()) return false;
    auto *dialog = static_cast<QFileDialog *>(Dialog());
    if (!dialog) {
        dialog = new QFileDialog(ParentWidget());
        dialog->setObjectName(saving_ ? QStringLiteral("saveDialog")
                                      : QStringLiteral("openDialog"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        SetDialog(dialog);
    }
    dialog->setAcceptMode(saving_ ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A name is accepted whether or not the file exists; no overwrite question.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setDefaultSuffix(DefaultExt);
    dialog->setNameFilter(Filter);
    dialog->setWindowTitle(!Title.isEmpty() ? Title
                           : saving_        ? QFileDialog::tr("Save As")
                                            : QFileDialog::tr("Open"));
    if (!InitialDir.isEmpty()) dialog->setDirectory(InitialDir);
    if (!FileName.isEmpty()) {
        const QFileInfo info(FileName);
        dialog->setDirectory(info.absolutePath());
        dialog->selectFile(info.fileName());
    } else {
        dialog->selectFile(QString());
    }
    dialog->setWindowModality(Qt::ApplicationModal);
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    FileName = files.first();
    return true;
}
