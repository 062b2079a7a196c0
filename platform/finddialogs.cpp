// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/commands.h"
#include "platform/dialogs.h"
#include "platform/finddialogs_p.h"
#include "platform/forms.h"
#include "platform/placement.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

FindDialogWidget::FindDialogWidget(QWidget *parent, TFindDialog *find, TReplaceDialog *replace)
    : QDialog(parent) {
    setWindowTitle(replace ? QStringLiteral("Remplacer") : QStringLiteral("Rechercher"));
    setObjectName(replace ? QStringLiteral("replaceDialog") : QStringLiteral("findDialog"));
    setModal(false);

    auto *fields = new QGridLayout;
    findEdit = new QLineEdit;
    findEdit->setObjectName(QStringLiteral("findText"));
    // Each mnemonic once per dialog: the replace dialog's R is its button's.
    auto *findLabel =
        new QLabel(replace ? QStringLiteral("Rec&hercher :") : QStringLiteral("&Rechercher :"));
    findLabel->setBuddy(findEdit);
    fields->addWidget(findLabel, 0, 0);
    fields->addWidget(findEdit, 0, 1);
    if (replace) {
        replaceEdit = new QLineEdit;
        replaceEdit->setObjectName(QStringLiteral("replaceText"));
        auto *replaceLabel = new QLabel(QStringLiteral("Rem&placer par :"));
        replaceLabel->setBuddy(replaceEdit);
        fields->addWidget(replaceLabel, 1, 0);
        fields->addWidget(replaceEdit, 1, 1);
    }

    wholeWord = new QCheckBox(QStringLiteral("Mot &entier"));
    matchCase = new QCheckBox(QStringLiteral("Respecter la &casse"));
    auto *options = new QVBoxLayout;
    options->addWidget(wholeWord);
    options->addWidget(matchCase);
    auto *lower = new QHBoxLayout;
    lower->addLayout(options);
    if (!replace) {
        auto *direction = new QGroupBox(QStringLiteral("Direction"));
        up = new QRadioButton(QStringLiteral("&Haut"));
        down = new QRadioButton(QStringLiteral("&Bas"));
        down->setChecked(true);
        auto *dirLayout = new QHBoxLayout(direction);
        dirLayout->addWidget(up);
        dirLayout->addWidget(down);
        lower->addWidget(direction);
    }

    auto *left = new QVBoxLayout;
    left->addLayout(fields);
    left->addLayout(lower);
    left->addStretch();

    auto *buttons = new QVBoxLayout;
    findNext = new QPushButton(QStringLiteral("&Suivant"));
    findNext->setObjectName(QStringLiteral("findNext"));
    findNext->setDefault(true);
    buttons->addWidget(findNext);
    if (replace) {
        replaceButton = new QPushButton(QStringLiteral("&Remplacer"));
        replaceButton->setObjectName(QStringLiteral("replace"));
        replaceAll = new QPushButton(QStringLiteral("Remplacer &tout"));
        replaceAll->setObjectName(QStringLiteral("replaceAll"));
        buttons->addWidget(replaceButton);
        buttons->addWidget(replaceAll);
    }
    cancel = new QPushButton(QStringLiteral("Annuler"));
    cancel->setObjectName(QStringLiteral("cancel"));
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(findNext, &QPushButton::clicked, this, [find] { FireEvent(find->OnFind, find); });
    if (replace) {
        const auto fireReplace = [replace] { FireEvent(replace->OnReplace, replace); };
        connect(replaceButton, &QPushButton::clicked, this, fireReplace);
        connect(replaceAll, &QPushButton::clicked, this, fireReplace);
    }
}

TFindDialog::TFindDialog(TComponent *owner) : TCommonDialog(owner) {}

FindDialogWidget *TFindDialog::Create() {
    return new FindDialogWidget(ParentWidget(), this, nullptr);
}

FindDialogWidget *TFindDialog::Widget() {
    auto *w = static_cast<FindDialogWidget *>(Dialog());
    if (!w) {
        w = Create();
        w->findEdit->setText(findText_);
        w->wholeWord->setChecked(options_ & frWholeWord);
        w->matchCase->setChecked(options_ & frMatchCase);
        SetDialog(w);
    }
    return w;
}

bool TFindDialog::Execute() {
    if (Ending()) return false;
    FindDialogWidget *w = Widget();
    if (!w->isVisible()) {
        w->show();
        if (position_.x >= 0 && position_.y >= 0) SetPosition(position_);
    }
    // Opened or opened again: in front, with the keys, its text ready to be
    // typed over.
    w->raise();
    w->activateWindow();
    w->findEdit->setFocus(Qt::ActiveWindowFocusReason);
    w->findEdit->selectAll();
    return true;
}

void TFindDialog::CloseDialog() {
    if (Dialog()) Dialog()->hide();
}

QString TFindDialog::FindText() const {
    auto *w = static_cast<FindDialogWidget *>(Dialog());
    return w ? w->findEdit->text() : findText_;
}

void TFindDialog::SetFindText(const QString &text) {
    findText_ = text;
    if (auto *w = static_cast<FindDialogWidget *>(Dialog())) w->findEdit->setText(text);
}

TFindOptions TFindDialog::Options() const {
    auto *w = static_cast<FindDialogWidget *>(Dialog());
    if (!w) return options_;
    TFindOptions o = 0;
    if (!w->up || !w->up->isChecked()) o |= frDown;
    if (w->wholeWord->isChecked()) o |= frWholeWord;
    if (w->matchCase->isChecked()) o |= frMatchCase;
    return o;
}

TPoint TFindDialog::Position() const {
    if (auto *w = Dialog(); w && w->isVisible())
        return {w->frameGeometry().x(), w->frameGeometry().y()};
    return position_;
}

void TFindDialog::SetPosition(TPoint point) {
    position_ = point;
    if (auto *w = Dialog()) {
        SettleFrame(w, [w, point](const QRect &frame) {
            // Where asked, moved back as little as needed to lie wholly on
            // the screen of the window it belongs to.
            const QWidget *owner = w->parentWidget() ? w->parentWidget()->window() : w;
            const QScreen *screen = owner->screen();
            if (!screen) return QPoint(point.x, point.y);
            const QRect area = screen->availableGeometry();
            const int x = std::min(point.x, area.x() + area.width() - frame.width());
            const int y = std::min(point.y, area.y() + area.height() - frame.height());
            return QPoint(std::max(x, area.x()), std::max(y, area.y()));
        });
    }
}

FindDialogWidget *TReplaceDialog::Create() {
    auto *w = new FindDialogWidget(ParentWidget(), this, this);
    w->replaceEdit->setText(replaceText_);
    return w;
}

QString TReplaceDialog::ReplaceText() const {
    auto *w = static_cast<FindDialogWidget *>(Dialog());
    return w ? w->replaceEdit->text() : replaceText_;
}

void TReplaceDialog::SetReplaceText(const QString &text) {
    replaceText_ = text;
    if (auto *w = static_cast<FindDialogWidget *>(Dialog())) w->replaceEdit->setText(text);
}
