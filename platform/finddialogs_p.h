// SPDX-License-Identifier: GPL-3.0-or-later
// The find and replace dialogs' window.
#pragma once

#include <QDialog>

class QLineEdit;
class QCheckBox;
class QRadioButton;
class QPushButton;
class TFindDialog;
class TReplaceDialog;

class FindDialogWidget : public QDialog {
public:
    FindDialogWidget(QWidget *parent, TFindDialog *find, TReplaceDialog *replace);

    QLineEdit *findEdit;
    QLineEdit *replaceEdit = nullptr;
    QCheckBox *wholeWord;
    QCheckBox *matchCase;
    QRadioButton *up = nullptr;
    QRadioButton *down = nullptr;
    QPushButton *findNext;
    QPushButton *replaceButton = nullptr;
    QPushButton *replaceAll = nullptr;
    QPushButton *cancel;
};
