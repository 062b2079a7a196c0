// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/menus.h"

#include "platform/commands.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QShortcut>

namespace {

QKeySequence toKeySequence(TShortCut sc) {
    if (!sc) return {};
    const int vk = sc & 0xFF;
    int key = 0;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        key = vk; // Qt::Key_A.. and Qt::Key_0.. share the ASCII codes
    } else if (vk >= 0x70 && vk <= 0x87) {
        key = Qt::Key_F1 + (vk - 0x70);
    } else {
        return {};
    }
    int mods = 0;
    if (sc & ssCtrl) mods |= Qt::ControlModifier;
    if (sc & ssShift) mods |= Qt::ShiftModifier;
    if (sc & ssAlt) mods |= Qt::AltModifier;
    return QKeySequence(key | mods);
}
} // namespace

TMenuItem::TMenuItem(TComponent *owner) : TComponent(owner), action_(new QAction) {
    QObject::connect(action_, &QAction::triggered, [this] { FireEvent(OnClick, this); });
}

TMenuItem::~TMenuItem() {
    delete menu_;
    delete action_;
}

void TMenuItem::SetCaption(const QString &caption) {
    caption_ = caption;
    // A "-" entry is a separator: a line, with no text to draw or announce.
    const bool separator = caption == QLatin1String("-");
    action_->setSeparator(separator);
    action_->setText(separator ? QString() : caption);
    if (menu_) menu_->setTitle(caption);
}

void TMenuItem::SetShortCut(TShortCut shortCut) {
    shortCut_ = shortCut;
    action_->setShortcut(toKeySequence(shortCut));
    action_->setShortcutContext(Qt::WindowShortcut);
}

void TMenuItem::SetBitmap(const TPicture &picture) {
    bitmap_ = picture;
    action_->setIcon(picture.Icon());
}

bool TMenuItem::Checked() const {
    return action_->isChecked();
}
bool TMenuItem::Enabled() const {
    return action_->isEnabled();
}
bool TMenuItem::Visible() const {
    return action_->isVisible();
}

void TMenuItem::ensureMenu() {
    if (menu_) return;
    menu_ = new QMenu(caption_);
    action_->setMenu(menu_);
}

void TMenuItem::Add(TMenuItem *item) {
    ensureMenu();
    item->parent_ = this;
    items_.push_back(item);
    menu_->addAction(item->action_);
}

void TMenuItem::Click() {
    action_->trigger();
}

namespace {
class MenuKeysStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *data) const override {
        if (hint == SH_MenuBar_AltKeyNavigation) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};
} // namespace

void UseMenuKeys() {
    if (QApplication::style()->property("pavelinMenuKeys").toBool()) return;
    auto *style = new MenuKeysStyle;
    style->setProperty("pavelinMenuKeys", true);
    QApplication::setStyle(style);
}

TMainMenu::TMainMenu(TComponent *owner) : TComponent(owner), bar_(new QMenuBar) {
    // F10 opens the first menu, the keyboard's way in when the menus carry
    // no letters to press with Alt (Alt alone does it too: the style says so).
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), bar_.data());
    f10->setContext(Qt::WindowShortcut);
    QObject::connect(f10, &QShortcut::activated, bar_.data(), [this] {
        if (!MenuBar()->actions().isEmpty())
            MenuBar()->setActiveAction(MenuBar()->actions().first());
    });
}

TMainMenu::~TMainMenu() {
    delete bar_.data();
}

QMenuBar *TMainMenu::MenuBar() const {
    return static_cast<QMenuBar *>(bar_.data());
}

void TMainMenu::Add(TMenuItem *item) {
    items_.push_back(item);
    MenuBar()->addAction(item->Action());
}
