// SPDX-License-Identifier: GPL-3.0-or-later
// The paste target: the editor itself, so the toolkit layer and a QApplication.
#include "fuzz/targets.h"

#include "core/textcodec.h"
#include "platform/richedit.h"
#include "platform/winapi.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstdlib>

void FuzzPaste(const std::uint8_t *data, std::size_t size) {
    static TComponent *owner = [] {
        if (!Application) {
            Application = new TApplication;
            Application->Initialize();
        }
        return new TComponent(nullptr);
    }();
    static TRichEdit *edit = new TRichEdit(owner);
    if (size == 0) return;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    auto *mime = new QMimeData;
    switch (data[0] % 3) {
    case 0:
        mime->setData(QStringLiteral("text/rtf"), bytes);
        break;
    case 1:
        mime->setHtml(QString::fromUtf8(bytes.left(4096)));
        break;
    default:
        mime->setText(QString::fromUtf8(bytes));
        break;
    }
    QApplication::clipboard()->setMimeData(mime);
    // Each input starts from an empty document with no undo history: what one
    // input leaves in the history is not held for the next hundred thousand.
    edit->Lines->Clear();
    edit->SetText(QStringLiteral("avant après"));
    edit->SetSelStart(6);
    edit->PasteFromClipboard();
    // Whatever came in, the text holds nothing of the toolkit's but a
    // picture's one position, and its length is the length positions count.
    const QString text = edit->Text();
    if (holdsForbidden(QString(text).remove(QChar::ObjectReplacementCharacter)) ||
        text.size() != edit->GetTextLen())
        std::abort();
    (void)edit->FindText(QStringLiteral("après"), 0, edit->GetTextLen(), stMatchCase);
    SendMessageA(edit->Handle(), WM_UNDO, 0, 0);
}
