// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/targets.h"

#include "core/exception.h"
#include "core/rtf.h"
#include "core/textcodec.h"

#include <cstdlib>

void FuzzRtf(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const rtf::Document doc = rtf::read(bytes);
        if (holdsForbidden(doc.plainText())) std::abort();
        const QByteArray written = rtf::write(doc);
        for (char c : written) {
            if (static_cast<unsigned char>(c) >= 0x80) std::abort(); // the writer is 7-bit
        }
        // What we write we read back with the same text, and the same tables:
        // each paragraph in the same place of the same rows.
        const rtf::Document back = rtf::read(written);
        if (back.plainText() != doc.plainText()) std::abort();
        if (back.paragraphs.size() != doc.paragraphs.size()) std::abort();
        for (size_t i = 0; i < doc.paragraphs.size(); ++i) {
            const rtf::Paragraph &a = doc.paragraphs[i], &b = back.paragraphs[i];
            if (a.depth != b.depth || a.endsCell != b.endsCell || !a.endsRow != !b.endsRow ||
                (a.endsRow && !(*a.endsRow == *b.endsRow)))
                std::abort();
        }
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
