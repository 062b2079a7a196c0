// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dialogs.h"

#include "platform/commands.h"
#include "platform/forms.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
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
// The program keeps nothing between runs. The toolkit's file dialog would
// write its history and last folder to the user's settings and read them
// back at the next start: the settings of this process go to a folder that
// cannot exist (a folder under a device file), so they are neither read nor
// written.
void keepNoSettings() {
    static const bool done = [] {
        const QString nowhere = QStringLiteral("/dev/null/tavrolle");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
        return true;
    }();
    (void)done;
}

// File sizes in the program's language ("75 octets", "2,2 Ko"): the
// toolkit's model writes them in the system's, English under C.
class LocalSizes : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override {
        if (role == Qt::DisplayRole && index.column() == 1) {
            const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
            const QModelIndex source = mapToSource(index);
            if (files && !files->isDir(source))
                return QLocale().formattedDataSize(files->size(source), 1,
                                                   QLocale::DataSizeTraditionalFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }
};

// The toolkit greys the Open button from the list's selection, which after a
// few uses can be left from an earlier folder: a typed name of an existing
// file always leaves it enabled, and is what the dialog opens.
class OpenButtonGuard : public QObject {
public:
    OpenButtonGuard(QFileDialog *dialog, QLineEdit *name, QPushButton *button)
        : QObject(dialog), dialog_(dialog), name_(name), button_(button) {
        button->installEventFilter(this);
        connect(
            name, &QLineEdit::textChanged, this, [this] { check(); }, Qt::QueuedConnection);
    }

    // The typed name, when it names an existing file (absolute, or in the
    // dialog's folder).
    QString typedFile() const {
        const QString text = name_->text().trimmed();
        if (text.isEmpty() || text.contains(QLatin1Char('"'))) return {};
        const QFileInfo info(QDir(dialog_->directory()).absoluteFilePath(text));
        return info.isFile() ? info.absoluteFilePath() : QString();
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == button_ && event->type() == QEvent::EnabledChange) check();
        return false;
    }

private:
    void check() {
        if (!button_->isEnabled() && !typedFile().isEmpty()) button_->setEnabled(true);
    }
    QFileDialog *dialog_;
    QLineEdit *name_;
    QPushButton *button_;
};
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
        keepNoSettings();
        dialog = new QFileDialog(ParentWidget());
        dialog->setObjectName(saving_ ? QStringLiteral("saveDialog")
                                      : QStringLiteral("openDialog"));
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setProxyModel(new LocalSizes(dialog));
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
    OpenButtonGuard *guard = nullptr;
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    auto *box = dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QPushButton *button =
        box ? box->button(saving_ ? QDialogButtonBox::Save : QDialogButtonBox::Open) : nullptr;
    if (name && button) guard = new OpenButtonGuard(dialog, name, button);
    const int result = dialog->exec();
    const QString typed = guard ? guard->typedFile() : QString();
    delete guard;
    closePopupsOf(dialog);
    if (result != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (!typed.isEmpty()) {
        FileName = typed;
        return true;
    }
    if (files.isEmpty() || files.first().isEmpty()) return false;
    FileName = files.first();
    return true;
}
