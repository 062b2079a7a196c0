// SPDX-License-Identifier: GPL-3.0-or-later
// The rich-text editor and its lines.
#pragma once

#include "platform/forms.h"

class RichEditWidget;
class TRichEdit;

// The editor's lines, as a list of strings.
class TRichEditLines {
public:
    explicit TRichEditLines(TRichEdit *edit) : edit_(edit) {}
    // Empties the editor and clears its modified flag.
    void Clear();
    // Reads RTF with its formatting, anything else as plain text; false when
    // the user cancelled it. The editor is emptied first; a cancelled Open, a
    // file that can't be read or would not fit in memory leave it empty and
    // unmodified (the last two throw Exception with the reason in French).
    bool LoadFromFile(const QString &fileName);
    // Writes the whole content as RTF, replacing the file.
    void SaveToFile(const QString &fileName) const;
    // Every line followed by CR LF.
    QString Text() const;
    int Count() const;
    QString Strings(int index) const;

private:
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
