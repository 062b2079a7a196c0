#include "fuzz/targets.h"

#include "platform/controls.h"
#include "platform/rtf.h"
#include "platform/sysutils.h"
#include "platform/textcodec.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstdlib>

namespace {
// True when the text holds something no document may: what cleanText would
// change.
bool holdsForbidden(const QString &text) {
    return textcodec::cleanText(text) != text;
}
} // namespace

void FuzzRtf(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const rtf::Document doc = rtf::read(bytes);
        if (holdsForbidden(doc.plainText())) std::abort();
        const QByteArray written = rtf::write(doc);
        for (char c : written) {
            if (static_cast<unsigned char>(c) >= 0x80) std::abort(); // the writer is 7-bit
        }
        // What we write we read back with the same text.
        if (rtf::read(written).plainText() != doc.plainText()) std::abort();
    } catch (const Exception &) {
        // Nesting too deep: reported, not a fault.
    }
}

void FuzzPlainText(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = textcodec::decodePlainText(bytes);
    if (text.contains(QLatin1Char('\r'))) std::abort(); // every line end became '\n'
    if (holdsForbidden(text)) std::abort();
    const QByteArray encoded = textcodec::encodeCrLf(text);
    if (textcodec::decodePlainText(encoded) != text) std::abort();
}

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
    edit->SetText(QStringLiteral("avant après"));
    edit->SetSelStart(6);
    edit->PasteFromClipboard();
    // Whatever came in, the text holds nothing of the toolkit's, and its
    // length is the length positions count.
    const QString text = edit->Text();
    if (holdsForbidden(text) || text.size() != edit->GetTextLen()) std::abort();
    (void)edit->FindText(QStringLiteral("après"), 0, edit->GetTextLen(), stMatchCase);
    SendMessageA(edit->Handle(), WM_UNDO, 0, 0);
}
