// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls: picture buttons and the hidden plain-text buffer
// (the rich-text editor has richedit.h).
#pragma once

#include "platform/forms.h"

class TMemo;

class TSpeedButton : public TControl {
public:
    explicit TSpeedButton(TComponent *owner);
    const TPicture &Glyph() const { return glyph_; }
    void SetGlyph(const TPicture &picture);
    void Click();
    TNotifyEvent OnClick;

private:
    TPicture glyph_;
};

// The lines of a memo: its text, a file, or nothing.
class TMemoLines {
public:
    explicit TMemoLines(TMemo *memo) : memo_(memo) {}
    QString Text() const; // each line followed by CR LF
    void SetText(const QString &text);
    void Clear();
    int Count() const;
    // Writes the text as UTF-8 with CR LF line breaks, nothing added.
    void SaveToFile(const QString &fileName) const;

private:
    TMemo *memo_;
};

class TMemo : public TWinControl {
public:
    explicit TMemo(TComponent *owner);
    ~TMemo() override;
    TMemoLines *Lines;

    // The text with '\n' between lines.
    QString Text() const;
    void SetText(const QString &text);
    void Clear() { SetText(QString()); }
    // Puts the clipboard's plain text in place of the selection (here: the text).
    void PasteFromClipboard();

private:
    QString text_;
};
