// SPDX-License-Identifier: GPL-3.0-or-later
// The main menu and its entries.
#pragma once

#include "platform/classes.h"

#include <QPointer>

class QAction;
class QMenu;
class QMenuBar;
class TForm;

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent *owner);
    ~TMenuItem() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString &caption); // "-" makes a separator
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut shortCut);
    const TPicture &Bitmap() const { return bitmap_; }
    void SetBitmap(const TPicture &picture);
    QString Hint() const { return hint_; }
    void SetHint(const QString &hint) { hint_ = hint; }
    bool Checked() const;
    bool Enabled() const;
    bool Visible() const;

    void Add(TMenuItem *item);
    int Count() const { return int(items_.size()); }
    TMenuItem *Items(int index) const { return items_.at(size_t(index)); }
    TMenuItem *Parent() const { return parent_; }

    // Runs the entry as if the user chose it.
    void Click();

    TNotifyEvent OnClick;

    QAction *Action() const { return action_; }

private:
    void ensureMenu();

    QString caption_;
    QString hint_;
    TShortCut shortCut_ = 0;
    TPicture bitmap_;
    QAction *action_;
    QMenu *menu_ = nullptr;
    TMenuItem *parent_ = nullptr;
    std::vector<TMenuItem *> items_;
};

// Has the toolkit's style put the keys in the menu bar when Alt is pressed
// and released alone, as desktops do; once for the application.
void UseMenuKeys();

class TMainMenu : public TComponent {
public:
    explicit TMainMenu(TComponent *owner);
    ~TMainMenu() override;

    // The top-level entries; each opens its submenu.
    void Add(TMenuItem *item);
    int Count() const { return int(items_.size()); }
    TMenuItem *Items(int index) const { return items_.at(size_t(index)); }

    QMenuBar *MenuBar() const;

private:
    QPointer<QObject> bar_;
    std::vector<TMenuItem *> items_;
};
