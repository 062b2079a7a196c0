// SPDX-License-Identifier: GPL-3.0-or-later
// The standard dialogs. Each is created once with the window and reused: it
// keeps its values (file names, font, texts) between uses. Cancelling is a
// false result, never an exception.
#pragma once

#include "platform/classes.h"

#include <QPointer>

class QDialog;
class QWidget;
class FindDialogWidget;

class TCommonDialog : public TComponent {
public:
    explicit TCommonDialog(TComponent *owner) : TComponent(owner) {}
    ~TCommonDialog() override;
    // Shows the dialog; true when the user confirmed it.
    virtual bool Execute() = 0;
    // The dialog's window, once it has been shown (for tests and placement).
    QDialog *Dialog() const;

protected:
    QWidget *ParentWidget() const;
    void SetDialog(QDialog *dialog);

private:
    QPointer<QObject> dialog_;
};

class TOpenDialog : public TCommonDialog {
public:
    explicit TOpenDialog(TComponent *owner) : TCommonDialog(owner) {}
    // True when the user confirmed a name, whether or not the file exists.
    bool Execute() override;
    QString FileName;
    QString Title;
    QString Filter;
    QString DefaultExt;
    QString InitialDir;

protected:
    bool saving_ = false;
};

// Opens pre-filled with its file name; never asks before overwriting.
class TSaveDialog : public TOpenDialog {
public:
    explicit TSaveDialog(TComponent *owner) : TOpenDialog(owner) { saving_ = true; }
};

class TFontDialog : public TCommonDialog {
public:
    explicit TFontDialog(TComponent *owner) : TCommonDialog(owner) {}
    // Opens with Font; on confirmation Font is the chosen one.
    bool Execute() override;
    TFont Font;
    int MinFontSize = 0;
    int MaxFontSize = 0;
};

// Prints on the current printer, which this dialog may change.
class TPrintDialog : public TCommonDialog {
public:
    explicit TPrintDialog(TComponent *owner) : TCommonDialog(owner) {}
    bool Execute() override;
};

// Changes the current printer's settings: printer, paper, orientation, margins.
class TPrinterSetupDialog : public TCommonDialog {
public:
    explicit TPrinterSetupDialog(TComponent *owner) : TCommonDialog(owner) {}
    bool Execute() override;
};

enum TFindOption : unsigned { frDown = 1, frWholeWord = 2, frMatchCase = 4 };
using TFindOptions = unsigned;

// Modeless: Execute shows the dialog (or brings it to the front) and returns true.
class TFindDialog : public TCommonDialog {
public:
    explicit TFindDialog(TComponent *owner);
    bool Execute() override;
    void CloseDialog();

    QString FindText() const;
    void SetFindText(const QString &text);
    TFindOptions Options() const;
    // The dialog's top-left corner on the screen.
    TPoint Position() const;
    void SetPosition(TPoint point);

    TNotifyEvent OnFind; // the find-next button

protected:
    virtual FindDialogWidget *Create();
    FindDialogWidget *Widget();
    QString findText_;
    TFindOptions options_ = frDown;
    TPoint position_{-1, -1};
};

class TReplaceDialog : public TFindDialog {
public:
    explicit TReplaceDialog(TComponent *owner) : TFindDialog(owner) {}
    QString ReplaceText() const;
    void SetReplaceText(const QString &text);

    TNotifyEvent OnReplace; // the Replace and Replace All buttons

protected:
    FindDialogWidget *Create() override;

private:
    QString replaceText_;
    friend class FindDialogWidget;
};
