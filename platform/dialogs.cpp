// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dialogs.h"

#include "platform/commands.h"
#include "platform/forms.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QFileDialog>
#include <QTimer>

namespace {
// The file dialog fills its completion list as the folder is read, which may
// be after the dialog has closed: the list would then open on its own. It is
// not shown while its dialog is hidden.
class PopupGuard : public QObject {
public:
    explicit PopupGuard(QDialog *dialog) : QObject(dialog), dialog_(dialog) {}

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && !dialog_->isVisible()) {
            auto *popup = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, popup, [popup, dialog = dialog_] {
                if (!dialog->isVisible()) popup->hide();
            });
        }
        return false;
    }

private:
    QDialog *dialog_;
};

void guardPopupsOf(QDialog *dialog) {
    auto *guard = new PopupGuard(dialog);
    for (QCompleter *completer : dialog->findChildren<QCompleter *>()) {
        if (QAbstractItemView *popup = completer->popup()) popup->installEventFilter(guard);
    }
}

// A dialog closed by Return while its name completion was showing leaves the
// completion list open on its own: it would stay over the editor and take the
// next keys. Every popup of the dialog goes with it, and the window it belongs
// to gets the keyboard back.
void closePopupsOf(QDialog *dialog) {
    for (QCompleter *completer : dialog->findChildren<QCompleter *>()) {
        if (QAbstractItemView *popup = completer->popup(); popup && popup->isVisible())
            popup->hide();
    }
    for (int i = 0; i < 8; ++i) {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup) break;
        popup->close();
    }
    if (QWidget *owner = dialog->parentWidget()) {
        QWidget *top = owner->window();
        if (top->isVisible()) top->activateWindow();
    }
}
} // namespace

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
    if (Ending()) return false;
    auto *dialog = static_cast<QFileDialog *>(Dialog());
    if (!dialog) {
        dialog = new QFileDialog(ParentWidget());
        dialog->setObjectName(saving_ ? QStringLiteral("saveDialog")
                                      : QStringLiteral("openDialog"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        guardPopupsOf(dialog);
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
    const int result = dialog->exec();
    closePopupsOf(dialog);
    if (result != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    FileName = files.first();
    return true;
}
