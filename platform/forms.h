// SPDX-License-Identifier: GPL-3.0-or-later
// Controls, forms and the application object.
#pragma once

#include "core/exception.h"
#include "platform/classes.h"
#include "platform/commands.h"
#include "platform/wintypes.h"

#include <QPointer>
#include <QString>
#include <unordered_map>
#include <vector>

class QDialog;
class QPrinter;
class QTranslator;
class QWidget;
class TForm;
class TMainMenu;
class FormWindow;

// A visible element placed in its parent by a rectangle in pixels at 96 dpi.
class TControl : public TComponent {
public:
    explicit TControl(TComponent *owner);
    ~TControl() override;

    void SetParent(class TWinControl *parent);
    class TWinControl *Parent() const {
        return parent_;
    }

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetBounds(int left, int top, int width, int height);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    QString Hint() const { return hint_; }
    void SetHint(const QString &hint);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);

    QWidget *Widget() const { return widget_; }

protected:
    void SetWidget(QWidget *widget);
    virtual void UpdateHint();

private:
    void placeWidget();
    class TWinControl *parent_ = nullptr;
    QWidget *widget_ = nullptr;
    QPointer<QObject> guard_; // the widget, unless its parent widget deleted it
    bool visible_ = true;
    bool showHint_ = false;
    QString hint_;
};

// A control with a window handle that can take the focus and receive messages.
class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent *owner);
    ~TWinControl() override;

    HWND Handle() const { return handle_; }
    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int order);
    void SetFocus();
    bool Focused() const;

    virtual LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam);
    static TWinControl *FromHandle(HWND handle);

    // The widget that holds this control's children.
    virtual QWidget *ClientWidget() const { return Widget(); }

private:
    HWND handle_;
    int tabOrder_ = -1;
};

using TCloseQueryEvent = void (TObject::*)(TObject *, bool &);

class TForm : public TWinControl {
public:
    explicit TForm(TComponent *owner);
    ~TForm() override;

    QString Caption() const;
    void SetCaption(const QString &caption);
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const TFont &Font() const { return font_; }
    void SetFont(const TFont &font);
    TMainMenu *Menu() const { return menu_; }
    void SetMenu(TMainMenu *menu);

    // Asked before the window closes; setting the flag to false keeps it open.
    template <class T> void SetOnCloseQuery(T *object, void (T::*method)(TObject *, bool &)) {
        closeQueryObject_ = object;
        closeQuery_ = static_cast<TCloseQueryEvent>(method);
    }

    void Show();
    void Close();
    QWidget *ClientWidget() const override;

private:
    friend class FormWindow;
    bool QueryClose();

    FormWindow *window_;
    TMainMenu *menu_ = nullptr;
    TColor color_ = clBtnFace;
    TFont font_;
    TObject *closeQueryObject_ = nullptr;
    TCloseQueryEvent closeQuery_ = nullptr;
    bool closing_ = false;
};

class TApplication : public TComponent, public TCommandHost {
public:
    TApplication();
    ~TApplication() override;

    // Brings up the toolkit (unless a test did already) with its French texts.
    void Initialize();
    template <class T> void CreateForm(T *&reference) {
        reference = new T(this);
        if (!mainForm_) mainForm_ = reference;
    }
    // Shows the main form centred and runs the loop until it has closed.
    void Run();
    // Ends the loop once every running command has returned; boxes and dialogs
    // still open answer as if cancelled.
    void Terminate();
    bool Terminated() const override { return terminated_; }
    void ShowException(const Exception &e) override;

    TForm *MainForm() const { return mainForm_; }
    QString Title() const;
    void SetTitle(const QString &title) { title_ = title; }
    // The program's icon, shown by its windows and the task bar.
    void SetIcon(const TPicture &icon);

    // Commands currently on the stack; the loop ends only at depth 0.
    int CommandDepth() const { return depth_; }
    void EnterCommand() override { ++depth_; }
    void LeaveCommand() override;

    // What the process holds once belongs to the application object, so that
    // a new one (a test's) starts afresh: the controls by handle, the message
    // boxes waiting for an answer (Terminate answers them), the printer (made
    // when first asked for).
    std::unordered_map<HWND, class TWinControl *> &Handles() { return handles_; }
    void AddOpenBox(QDialog *box);
    void RemoveOpenBox(QDialog *box);
    QPrinter &Printer();

private:
    class QApplication *ownApp_ = nullptr;
    class QEventLoop *loop_ = nullptr;
    TForm *mainForm_ = nullptr;
    QString title_;
    int depth_ = 0;
    bool terminated_ = false;
    std::unordered_map<HWND, class TWinControl *> handles_;
    std::vector<QPointer<QDialog>> openBoxes_;
    QPrinter *printer_ = nullptr;
    QTranslator *translator_ = nullptr;
};

extern TApplication *Application;
