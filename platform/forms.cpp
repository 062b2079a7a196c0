// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/forms.h"

#include "platform/commands.h"
#include "platform/menus.h"
#include "platform/placement.h"
#include "platform/qtconvert.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPrinter>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <unordered_map>

TApplication *Application = nullptr;

// ---------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent *owner) : TComponent(owner) {}

TControl::~TControl() {
    delete guard_.data();
}

void TControl::SetWidget(QWidget *widget) {
    widget_ = widget;
    guard_ = widget;
}

// A hidden control stays out of its parent's window until it is shown, so
// that assistive technology, which lists hidden children too, never sees it.
void TControl::SetParent(TWinControl *parent) {
    parent_ = parent;
    if (widget_ && parent) placeWidget();
}

void TControl::placeWidget() {
    QWidget *host = visible_ ? parent_->ClientWidget() : nullptr;
    if (widget_->parentWidget() != host) widget_->setParent(host);
    widget_->setVisible(visible_);
}

int TControl::Left() const {
    return widget_ ? widget_->x() : 0;
}
int TControl::Top() const {
    return widget_ ? widget_->y() : 0;
}
int TControl::Width() const {
    return widget_ ? widget_->width() : 0;
}
int TControl::Height() const {
    return widget_ ? widget_->height() : 0;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (!widget_) return;
    widget_->setFixedSize(width, height);
    widget_->move(left, top);
}

void TControl::SetVisible(bool visible) {
    visible_ = visible;
    if (widget_ && parent_) placeWidget();
}

void TControl::SetHint(const QString &hint) {
    hint_ = hint;
    UpdateHint();
}

void TControl::SetShowHint(bool show) {
    showHint_ = show;
    UpdateHint();
}

void TControl::UpdateHint() {
    if (!widget_) return;
    widget_->setToolTip(showHint_ ? hint_ : QString());
    // A screen reader announces the hint even where no tooltip is shown.
    widget_->setAccessibleName(hint_);
}

// ---------------------------------------------------------------------------
// TWinControl

namespace {
std::uintptr_t nextHandle = 0x100; // handles stay unique for the process's life
} // namespace

TWinControl::TWinControl(TComponent *owner)
    : TControl(owner), handle_(reinterpret_cast<HWND>(nextHandle += 4)) {
    if (Application) Application->Handles()[handle_] = this;
}

TWinControl::~TWinControl() {
    if (Application) Application->Handles().erase(handle_);
}

TWinControl *TWinControl::FromHandle(HWND handle) {
    if (!Application) return nullptr;
    auto it = Application->Handles().find(handle);
    return it == Application->Handles().end() ? nullptr : it->second;
}

void TWinControl::SetTabOrder(int order) {
    tabOrder_ = order;
}

void TWinControl::SetFocus() {
    if (!Widget()) return;
    QWidget *top = Widget()->window();
    Widget()->setFocus(Qt::OtherFocusReason);
    if (!top->isVisible()) return;
    top->raise();
    top->activateWindow();
    // A dialog of ours shown in the same command is mapped later and may take
    // the activation: take it back from it, never from other programs.
    const QPointer<QWidget> target = Widget();
    for (int ms : {50, 200}) {
        QTimer::singleShot(ms, top, [top, target] {
            QWidget *active = QApplication::activeWindow();
            if (!target || active == top || !active || active->parentWidget() != top) return;
            top->activateWindow();
            target->setFocus(Qt::OtherFocusReason);
        });
    }
}

bool TWinControl::Focused() const {
    return Widget() && Widget()->hasFocus();
}

LRESULT TWinControl::WndProc(UINT, WPARAM, LPARAM) {
    return 0;
}

// ---------------------------------------------------------------------------
// TForm

// The form's top-level window: a client area for the controls, and the close
// request asked of the form first.
class FormWindow : public QMainWindow {
public:
    explicit FormWindow(TForm *form);
    QWidget *client() const { return client_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TForm *form_;
    QWidget *client_;
};

FormWindow::FormWindow(TForm *form) : form_(form) {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setBackgroundRole(QPalette::Button);
    client_->setAutoFillBackground(true);
    setCentralWidget(client_);
    // The window encloses its controls exactly and cannot be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void FormWindow::closeEvent(QCloseEvent *event) {
    if (form_->QueryClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

TForm::TForm(TComponent *owner) : TWinControl(owner), window_(new FormWindow(this)) {
    SetWidget(window_);
    SetFont(font_);
    SetColor(color_);
}

TForm::~TForm() {
    // Controls go first, while the window they live in still exists.
    DestroyComponents();
}

QWidget *TForm::ClientWidget() const {
    return window_->client();
}

QString TForm::Caption() const {
    return window_->windowTitle();
}
void TForm::SetCaption(const QString &caption) {
    window_->setWindowTitle(caption);
}

void TForm::SetClientSize(int width, int height) {
    window_->client()->setFixedSize(width, height);
}
int TForm::ClientWidth() const {
    return window_->client()->width();
}
int TForm::ClientHeight() const {
    return window_->client()->height();
}

void TForm::SetColor(TColor color) {
    color_ = color;
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, ToQColor(color, pal));
    window_->setPalette(pal);
    window_->client()->setBackgroundRole(QPalette::Window);
}

void TForm::SetFont(const TFont &font) {
    font_ = font;
    window_->setFont(ToQFont(font));
}

void TForm::SetMenu(TMainMenu *menu) {
    menu_ = menu;
    window_->setMenuBar(menu ? menu->MenuBar() : nullptr);
    if (!menu) return;
    // The entries' shortcuts work wherever the focus is in the window.
    std::function<void(TMenuItem *)> addLeaves = [&](TMenuItem *entry) {
        if (entry->Count() == 0) window_->addAction(entry->Action());
        for (int i = 0; i < entry->Count(); ++i)
            addLeaves(entry->Items(i));
    };
    for (int i = 0; i < menu->Count(); ++i)
        addLeaves(menu->Items(i));
}

void TForm::Show() {
    window_->adjustSize();
    window_->show();
    // Centred as a user sees it: the frame included. A window larger than
    // the screen's free area starts at its top-left corner, so that the title
    // bar, the menu and the buttons are always on the screen.
    SettleFrame(window_, [w = window_](const QRect &frame) {
        QScreen *s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
        if (!s) return frame.topLeft();
        const QRect area = s->availableGeometry();
        const QPoint centred =
            s->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2) + QPoint(1, 1);
        return QPoint(std::clamp(centred.x(), area.left(),
                                 std::max(area.left(), area.right() + 1 - frame.width())),
                      std::clamp(centred.y(), area.top(),
                                 std::max(area.top(), area.bottom() + 1 - frame.height())));
    });
}

void TForm::Close() {
    window_->close();
}

bool TForm::QueryClose() {
    if (closing_) return false; // a close already waits on its question
    bool canClose = true;
    if (closeQueryObject_ && closeQuery_) {
        closing_ = true;
        bool failed = true;
        RunCommand([&] {
            (closeQueryObject_->*closeQuery_)(this, canClose);
            failed = false;
        });
        closing_ = false;
        if (failed) canClose = false; // a failed save keeps the document open
    }
    if (canClose && Application && Application->MainForm() == this) Application->Terminate();
    return canClose;
}

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    DestroyComponents();
    delete loop_;
    delete printer_;
    if (translator_) {
        QCoreApplication::removeTranslator(translator_);
        delete translator_;
    }
    if (Application == this) Application = nullptr;
    delete ownApp_;
}

void TApplication::AddOpenBox(QDialog *box) {
    openBoxes_.push_back(box);
}

void TApplication::RemoveOpenBox(QDialog *box) {
    std::erase_if(openBoxes_, [&](const QPointer<QDialog> &p) { return !p || p == box; });
}

void TApplication::Initialize() {
    if (!qApp) {
        // The program reads no command line: the toolkit sees only its name.
        static int argc = 1;
        static char name[] = "tavrolle";
        static char *argv[] = {name, nullptr};
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        ownApp_ = new QApplication(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    UseMenuKeys();
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    if (!translator_) {
        translator_ = new QTranslator;
        if (translator_->load(QStringLiteral("qtbase_fr"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(translator_);
    }
    terminated_ = false;
}

void TApplication::SetIcon(const TPicture &icon) {
    // The installed scalable icon where there is one, else the picture.
    if (icon.Xpm)
        QApplication::setWindowIcon(
            QIcon::fromTheme(QStringLiteral("tavrolle"), QIcon(QPixmap(icon.Xpm))));
}

QString TApplication::Title() const {
    return title_.isEmpty() ? QCoreApplication::applicationName() : title_;
}

void TApplication::Run() {
    if (!mainForm_ || terminated_) return;
    mainForm_->Show();
    if (!loop_) loop_ = new QEventLoop;
    loop_->exec();
}

void TApplication::Terminate() {
    terminated_ = true;
    for (const QPointer<QDialog> &box : openBoxes_)
        if (box) box->done(-1);
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal)) dialog->reject();
    }
    if (depth_ == 0 && loop_) loop_->quit();
}

void TApplication::LeaveCommand() {
    --depth_;
    if (depth_ == 0 && terminated_ && loop_) loop_->quit();
}

QPrinter &TApplication::Printer() {
    if (!printer_) {
        printer_ = new QPrinter(QPrinter::HighResolution);
        if (printer_->outputFormat() == QPrinter::PdfFormat && printer_->outputFileName().isEmpty())
            printer_->setOutputFileName(QDir::home().filePath(QStringLiteral("impression.pdf")));
    }
    return *printer_;
}

void TApplication::ShowException(const Exception &e) {
    QMessageBox box(QMessageBox::Critical, Title(), e.Message, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("exceptionBox"));
    box.exec();
}
