// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls: picture buttons, the hidden plain-text buffer and the
// rich-text editor.
#pragma once

#include "platform/forms.h"

class RichEditWidget;
class TRichEdit;
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

// The editor's lines, as a list of strings.
class TRichEditLines {
public:
    explicit TRichEditLines(TRichEdit *edit) : edit_(edit) {}
    // Empties the editor and clears its modified flag.
    void Clear();
    // Reads RTF with its formatting, anything else as plain text. A file that
    // can't be read, or would not fit in memory, leaves the editor empty and
    // unmodified and throws Exception with the reason in French.
    void LoadFromFile(const QString &fileName);
    // Writes the whole content as RTF, replacing the file.
    void SaveToFile(const QString &fileName) const;
    // Every line followed by CR LF.
    QString Text() const;
    int Count() const;
    QString Strings(int index) const;

private:
    void loadFromFile(const QString &fileName);
    TRichEdit *edit_;
};

enum TSearchType : unsigned { stWholeWord = 1, stMatchCase = 2 };
using TSearchTypes = unsigned;

// Positions count a line break as two characters (CR LF), as in Text().
class TRichEdit : public TWinControl {
public:
    explicit TRichEdit(TComponent *owner);
    ~TRichEdit() override;
    TRichEditLines *Lines;

    bool Modified() const;
    void SetModified(bool modified);

    QString Text() const; // lines joined with CR LF
    int GetTextLen() const;
    void SetText(const QString &text); // plain text, '\n' or CR LF breaks

    void SelectAll();
    void CutToClipboard();
    void CopyToClipboard();
    void PasteFromClipboard();

    int SelStart() const;
    void SetSelStart(int start); // puts the caret there
    int SelLength() const;
    void SetSelLength(int length); // selects from SelStart
    QString SelText() const;
    void SetSelText(const QString &text);

    // The first match within [start, start + length), or -1.
    int FindText(const QString &text, int start, int length, TSearchTypes options) const;

    bool WordWrap() const;
    void SetWordWrap(bool wrap);
    const TFont &Font() const { return font_; }
    void SetFont(const TFont &font);

    // Prints the whole content on the current printer.
    void Print(const QString &caption);

    bool WantTabs() const;

    LRESULT WndProc(UINT message, WPARAM wparam, LPARAM lparam) override;

    RichEditWidget *Editor() const { return editor_; }

private:
    RichEditWidget *editor_;
    TFont font_;
};
